// The label window class: labels painted by the program in the layout's colours, each
// new caption drawn at once, a click reported with where it fell and the keys held.
#include "platform/text/text_win32.h"
#include "ui/text_colours.h"
#include "win32/win32_host.h"

namespace tolvane::win32 {

void Win32Host::PaintLabel(HWND hwnd) {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(hwnd, &ps);
  DrawLabel(hwnd, dc);
  EndPaint(hwnd, &ps);
}

// A new caption is drawn at once rather than through an invalidated area and a later
// WM_PAINT: the clock and the board change every second, and each paint round costs a
// handful of calls into the window system. A label that cannot be seen now is drawn
// when it is shown again.
void Win32Host::RedrawLabelNow(HWND hwnd) {
  if (IsIconic(window_) || !IsWindowVisible(hwnd)) return;
  if (HDC dc = GetDC(hwnd)) {
    DrawLabel(hwnd, dc);
    ReleaseDC(hwnd, dc);
  }
}

void Win32Host::DrawLabel(HWND hwnd, HDC dc) {
  ui::ControlState* label = ControlByHwnd(hwnd);
  RECT r;
  GetClientRect(hwnd, &r);
  if (label != nullptr) {
    const ui::ControlDef& def = *label->def;
    const ui::TextPaint paint = ui::PaintText(label->textColour, def.background, label->disabled, colours_);
    HBRUSH brush = CreateSolidBrush(ToColorRef(paint.background));
    FillRect(dc, &r, brush);
    DeleteObject(brush);
    if (def.sunkenBorder) DrawEdge(dc, &r, EDGE_SUNKEN, BF_RECT | BF_ADJUST);
    if (focusedLabel_ == hwnd) {
      RECT focus = r;
      InflateRect(&focus, -1, -1);
      DrawFocusRect(dc, &focus);
    }
    if (!label->caption.empty()) {
      // Chosen once into the label's own context, which keeps it between paints.
      HGDIOBJ font = reinterpret_cast<HGDIOBJ>(GetWindowLongPtrW(hwnd, 0));
      if (font != nullptr && GetCurrentObject(dc, OBJ_FONT) != font) SelectObject(dc, font);
      SetBkMode(dc, TRANSPARENT);
      SetTextColor(dc, ToColorRef(paint.text));
      std::wstring text = GbkToWide(label->caption);
      DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &r,
                DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | (def.align == ui::Align::Centre ? DT_CENTER : DT_LEFT));
    }
  }
}

LRESULT CALLBACK Win32Host::LabelProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (Win32Host* host = HostOf(GetParent(hwnd))) {
    switch (message) {
      case WM_PAINT:
        host->PaintLabel(hwnd);
        return 0;
      case WM_ERASEBKGND:
        return 1;
      case WM_SETFONT:
        // The label's own context lets go of the font it held, so a font replaced after
        // a scale change is not still chosen there when it is deleted. The new font is
        // chosen at the next paint: made ready now, it would slow the start.
        if (HDC dc = GetDC(hwnd)) {
          if (GetCurrentObject(dc, OBJ_FONT) == reinterpret_cast<HGDIOBJ>(GetWindowLongPtrW(hwnd, 0))) {
            SelectObject(dc, GetStockObject(SYSTEM_FONT));
          }
          ReleaseDC(hwnd, dc);
        }
        SetWindowLongPtrW(hwnd, 0, static_cast<LONG_PTR>(wParam));
        if (LOWORD(lParam)) InvalidateRect(hwnd, nullptr, TRUE);
        return 0;
      case WM_GETFONT:
        return GetWindowLongPtrW(hwnd, 0);
      case WM_GETOBJECT:
        host->AnnotateForScreenReaders();
        break;
      case WM_SETFOCUS:
      case WM_KILLFOCUS:
        // Kept here, so painting need not ask the system where the focus is.
        host->focusedLabel_ = message == WM_SETFOCUS ? hwnd : nullptr;
        InvalidateRect(hwnd, nullptr, FALSE);
        return 0;
      case WM_LBUTTONDOWN:
      case WM_LBUTTONDBLCLK:
        if (ui::ControlState* label = host->ControlByHwnd(hwnd)) {
          ui::EventArgs args;
          args.x = static_cast<short>(LOWORD(lParam));
          args.y = static_cast<short>(HIWORD(lParam));
          args.keys = ((wParam & MK_CONTROL) ? 1 : 0) | ((wParam & MK_SHIFT) ? 2 : 0) | (GetKeyState(VK_MENU) < 0 ? 4 : 0);
          const std::string name = label->def->name;
          host->Raise(name, message == WM_LBUTTONDOWN ? ui::Event::LeftButtonDown : ui::Event::LeftDoubleClick, args);
        }
        return 0;
      default:
        break;
    }
  }
  return DefWindowProcW(hwnd, message, wParam, lParam);
}

}  // namespace tolvane::win32
