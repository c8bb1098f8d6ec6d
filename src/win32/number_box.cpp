// The number boxes: an edit control that takes digits only, keeps a whole number in
// range when the focus leaves it, and steps with its spin arrows and the arrow keys.
#include "platform/text/text_win32.h"
#include "ui/number_entry.h"
#include "win32/common_controls.h"
#include "win32/win32_host.h"

namespace tolvane::win32 {

void Win32Host::NormaliseOnLeave(HWND edit) {
  const std::wstring old = WindowTextOf(edit);
  const std::string normalised = ui::NormaliseWholeNumber(WideToGbk(old));
  const std::wstring replacement = GbkToWide(normalised);
  if (replacement == old) return;
  DWORD start = 0;
  SendMessageW(edit, EM_GETSEL, reinterpret_cast<WPARAM>(&start), 0);
  SetWindowTextW(edit, replacement.c_str());
  SendMessageW(edit, EM_SETSEL, start, start);
}

void Win32Host::SpinEdit(HWND edit, int direction) {
  ui::ControlState* control = ControlByHwnd(edit);
  if (control == nullptr || !control->def->spin || !IsWindowEnabled(edit) || !IsWindowVisible(edit)) return;
  const std::string next = ui::SpinWholeNumber(WideToGbk(WindowTextOf(edit)), *control->def->spin, direction);
  SetWindowTextW(edit, GbkToWide(next).c_str());
  SendMessageW(edit, EM_SETSEL, 0, -1);
  SendMessageW(edit, EM_SCROLLCARET, 0, 0);
  SetFocus(edit);
}

LRESULT CALLBACK Win32Host::NumberEditProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR data) {
  auto* host = reinterpret_cast<Win32Host*>(data);
  if (message == WM_CHAR && !ui::AcceptTypedCharacter(static_cast<unsigned int>(wParam))) return 0;
  if (message == WM_KILLFOCUS) {
    const LRESULT result = DefaultSubclassProc(hwnd, message, wParam, lParam);
    host->NormaliseOnLeave(hwnd);
    return result;
  }
  if (message == WM_GETOBJECT) host->AnnotateForScreenReaders();
  if (message == WM_NCDESTROY) RemoveControlSubclass(hwnd, NumberEditProc, 1);
  return DefaultSubclassProc(hwnd, message, wParam, lParam);
}

}  // namespace tolvane::win32
