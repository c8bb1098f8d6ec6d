#include "win32/common_controls.h"

#include "platform/system/bind_win32.h"

namespace tolvane::win32 {
namespace {
DeclaredFunction initCommonControlsEx{"comctl32.dll", "InitCommonControlsEx"};
DeclaredFunction setWindowSubclass{"comctl32.dll", "SetWindowSubclass"};
DeclaredFunction defSubclassProc{"comctl32.dll", "DefSubclassProc"};
DeclaredFunction removeWindowSubclass{"comctl32.dll", "RemoveWindowSubclass"};
}  // namespace

void LoadCommonControls(DWORD classes) {
  INITCOMMONCONTROLSEX icc{sizeof(icc), classes};
  BindAs<decltype(&::InitCommonControlsEx)>(initCommonControlsEx)(&icc);
}

BOOL SubclassControl(HWND hwnd, SUBCLASSPROC proc, UINT_PTR id, DWORD_PTR data) {
  return BindAs<decltype(&::SetWindowSubclass)>(setWindowSubclass)(hwnd, proc, id, data);
}

LRESULT DefaultSubclassProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  return BindAs<decltype(&::DefSubclassProc)>(defSubclassProc)(hwnd, message, wParam, lParam);
}

BOOL RemoveControlSubclass(HWND hwnd, SUBCLASSPROC proc, UINT_PTR id) {
  return BindAs<decltype(&::RemoveWindowSubclass)>(removeWindowSubclass)(hwnd, proc, id);
}

}  // namespace tolvane::win32
