#pragma once
// Names and values for screen readers through Dynamic Annotation. COM and the
// annotation service are bound at run time; without them controls stay unannotated.
#include <windows.h>

#include <string>

struct IAccPropServices;

namespace tolvane::win32 {

class AccessibleNames {
 public:
  AccessibleNames() = default;
  ~AccessibleNames();
  AccessibleNames(const AccessibleNames&) = delete;
  AccessibleNames& operator=(const AccessibleNames&) = delete;

  // The name a screen reader announces for the control, and its value when given.
  void Set(HWND control, const std::wstring& name, const std::wstring* value = nullptr);
  // Whether the annotation service could be started (tried once).
  bool Ready();

 private:
  IAccPropServices* services_ = nullptr;
  bool tried_ = false;
  bool comStarted_ = false;
};

}  // namespace tolvane::win32
