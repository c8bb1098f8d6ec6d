#pragma once
// The Win32 host: builds the real window from its definition and mirrors the
// control properties onto the HWNDs.
#include <windows.h>

#include <map>
#include <string>
#include <vector>

#include "ui/control_host.h"
#include "ui/keyboard.h"
#include "ui/text_colours.h"
#include "ui/tray.h"
#include "win32/accessibility.h"

namespace tolvane::win32 {

inline constexpr UINT kTrayCallbackMessage = 0x8064;
inline constexpr UINT kDeferredDestroyMessage = 0x8065;
inline constexpr UINT kPickerChangedMessage = WM_APP + 0x66;
inline constexpr UINT kTrayIconId = 100;
inline constexpr int kFirstMenuCommand = 2000;
// How long after the system clock's whole second a one-second timer is due: enough for
// the clock read in the tick to be in the new second.
inline constexpr std::uint32_t kSecondTickLagMs = 5;
inline constexpr wchar_t kLabelClass[] = L"TolvaneLabel";

inline COLORREF ToColorRef(ui::Colour c) { return RGB(c.red, c.green, c.blue); }

class Win32Host : public ui::ControlHost, private ui::TrayBackend {
 public:
  explicit Win32Host(HINSTANCE instance);
  ~Win32Host() override;

  // Builds the window hidden, raises created and position changed, then shows it.
  // False when the window could not be built.
  bool Build();
  int RunMessageLoop();

  void ActivateWindow() override;
  void CloseWindow() override;
  bool WindowExists() const override { return window_ != nullptr; }
  void PopupMenu(std::string_view menu) override;
  void SetTrayIcon(ByteView iconFile, const std::string& tip) override;
  void ShowOpenDialog(std::string_view name) override;
  std::uint32_t TickCount() const override { return GetTickCount(); }

 protected:
  void Push(ui::ControlState& control, ui::Prop prop) override;
  void Pull(ui::ControlState& control, ui::Prop prop) override;
  void RestartTimer(ui::ControlState& timer) override;
  // Sets the timer's next tick (a one-second timer's to the clock's next second).
  void ArmTimer(const ui::ControlState& timer);
  // At a one-second timer's tick: set it again only where it strayed from the second.
  void KeepSecondTimerOnTime(const ui::ControlState& timer);

 private:
  // The host of the main window, or of a label (through its parent): CreateWindowExW
  // hands it to the main window, which keeps it in its user data.
  static Win32Host* HostOf(HWND window);
  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  static LRESULT CALLBACK LabelProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  static LRESULT CALLBACK NumberEditProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id, DWORD_PTR data);
  LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
  void HandleCommand(WORD id, WORD code);
  LRESULT HandleNotify(NMHDR* header);
  LRESULT ControlColour(HDC dc, HWND control);
  void ReadSystemColours();
  // The user changed the system's colours or the contrast theme (WM_SYSCOLORCHANGE or
  // WM_SETTINGCHANGE): the window is painted anew.
  void SystemColoursChanged(UINT message);
  void PaintLabel(HWND hwnd);
  void RedrawLabelNow(HWND hwnd);
  void DrawLabel(HWND hwnd, HDC dc);
  void CreateControls();
  HWND CreateControl(const ui::ControlDef& def);
  void PlaceControl(const ui::ControlDef& def, HWND hwnd);
  void RescaleControls();
  // The window moved to a monitor of another DPI: its suggested rectangle taken,
  // fonts, controls and icons remade at the new scale.
  void ApplyDpi(int dpi, const RECT& suggested);
  void ApplyWindowIcons();
  // The window's outer size at `dpi` for a size in the definition's 96-DPI units, and back.
  SIZE OuterSize(int width, int height, int dpi) const;
  SIZE DefinitionSize(int width, int height) const;
  HFONT FontFor(const ui::FontDef& font);
  ui::ControlState* ControlByHwnd(HWND hwnd);
  ui::ControlState* ControlById(int id);
  HWND Hwnd(const ui::ControlState& control) const;
  void AnnotateForScreenReaders();
  void ScreenReaderSettingChanged();
  void Annotate(const ui::ControlState& control);
  // Keyboard navigation in the layout's order; true when the key was handled.
  bool HandleKey(const MSG& msg);
  std::vector<ui::FocusCandidate> FocusCandidates();
  ui::ControlState* FocusedControl();
  void NormaliseOnLeave(HWND edit);
  void SpinEdit(HWND edit, int direction);
  void ApplyWindowState(int state);
  void Centre();
  // The notification area.
  IconHandle CreateIcon(ByteView iconFile, int preferredWidth) override;
  void DestroyIcon(IconHandle icon) override;
  void Notify(ui::TrayCommand command, IconHandle icon, const std::string& tip) override;

  HINSTANCE instance_;
  HWND window_ = nullptr;
  std::map<std::string, HWND, std::less<>> hwnds_;
  HWND focusedLabel_ = nullptr;  // the label holding the keyboard focus, if one does
  std::map<UINT_PTR, std::uint32_t> armedMs_;  // each running timer's period as last set
  std::map<std::string, HWND, std::less<>> spins_;  // the up-down of each number box
  int dpi_ = 96;  // the window's; the definition is in 96-DPI units
  std::map<std::string, HFONT> fonts_;
  HICON windowIconSmall_ = nullptr, windowIconBig_ = nullptr;
  ui::TrayIcon tray_{*this};
  UINT taskbarCreatedMessage_ = 0;
  HBRUSH whiteBrush_ = nullptr;
  ui::SystemColours colours_;
  AccessibleNames accessible_;
  bool annotating_ = false;  // a screen reader has shown itself: names are kept up to date
  bool eventsLive_ = false;  // events flow once the window's controls all exist
};

// Shared by the host's source files.
std::wstring WindowTextOf(HWND hwnd);
// Gives a date-time picker its display format (GBK text). Sent as UTF-16 so the
// picker reads correctly whatever the system code page.
void SetPickerFormat(HWND picker, const std::string& gbkFormat);

}  // namespace tolvane::win32
