#pragma once
// The common controls library, bound at run time from the system instead of imported:
// when it is loaded at start-up it loads the theme library by name before the program
// can keep the loader away from its own folder. The manifest still gets version 6.
#include <windows.h>
#include <commctrl.h>

namespace tolvane::win32 {

// Registers the control classes; binds the library (a fatal report when it is missing).
void LoadCommonControls(DWORD classes);
BOOL SubclassControl(HWND hwnd, SUBCLASSPROC proc, UINT_PTR id, DWORD_PTR data);
LRESULT DefaultSubclassProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
BOOL RemoveControlSubclass(HWND hwnd, SUBCLASSPROC proc, UINT_PTR id);

}  // namespace tolvane::win32
