#include "ui/tray.h"

namespace tolvane::ui {

TrayIcon::~TrayIcon() {
  if (current_ != nullptr) backend_.DestroyIcon(current_);
}

void TrayIcon::Set(ByteView iconFile, const std::string& tip) {
  TrayBackend::IconHandle icon = nullptr;
  if (!iconFile.empty()) {
    icon = backend_.CreateIcon(iconFile, 16);
    if (icon == nullptr) icon = backend_.CreateIcon(iconFile, 32);
  }
  tip_ = tip.substr(0, kTrayTipBytes);  // may split a two-byte character, as the system field would
  if (current_ != nullptr) {
    backend_.Notify(icon != nullptr ? TrayCommand::Modify : TrayCommand::Delete, icon, tip_);
    backend_.DestroyIcon(current_);
  } else if (icon != nullptr) {
    backend_.Notify(TrayCommand::Add, icon, tip_);
  }
  current_ = icon;
  file_.assign(iconFile.begin(), iconFile.end());
}

void TrayIcon::Refresh() {
  if (current_ == nullptr) return;
  const std::vector<std::uint8_t> file = file_;
  Set(ByteView(file.data(), file.size()), tip_);
}

void TrayIcon::AddAgain() {
  if (current_ != nullptr) backend_.Notify(TrayCommand::Add, current_, tip_);
}

int TrayOperationFor(std::uint32_t mouseMessage) {
  switch (mouseMessage) {
    case 0x0202: return 1;  // WM_LBUTTONUP
    case 0x0203: return 2;  // WM_LBUTTONDBLCLK
    case 0x0205:            // WM_RBUTTONUP
    case 0x007B: return 3;  // WM_CONTEXTMENU
    default: return 0;
  }
}

}  // namespace tolvane::ui
