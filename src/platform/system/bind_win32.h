#pragma once
// Run-time binding against the system's own libraries (Windows only).
#include "platform/system/bind.h"

namespace tolvane {

// Loads libraries only from the Windows system directory, never from the
// program's folder or the current directory, where a planted copy would run.
ExportLoader& SystemExportLoader();

// Makes every later library load, including those the system's own libraries make,
// search only the system directory (quietly not on a Windows 7 without the loader
// update, which lacks the function), and loads from there at once the libraries that
// system libraries load by name on their own.
void RestrictLibrarySearchToSystem();

// The bound address of `function`, or nullptr when the system lacks it.
void* TryBind(DeclaredFunction& function);
// The bound address of `function`; a function the system lacks is a fatal error.
void* Bind(DeclaredFunction& function);

template <typename Fn>
Fn TryBindAs(DeclaredFunction& function) {
  return reinterpret_cast<Fn>(TryBind(function));
}
template <typename Fn>
Fn BindAs(DeclaredFunction& function) {
  return reinterpret_cast<Fn>(Bind(function));
}

}  // namespace tolvane
