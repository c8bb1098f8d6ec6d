#pragma once
// The notification-area icon: one per window, added, replaced or removed, with
// the window owning the handle of the icon it last put there.
#include <cstdint>
#include <string>
#include <vector>

#include "platform/text/byte_view.h"

namespace tolvane::ui {

inline constexpr std::size_t kTrayTipBytes = 62;

enum class TrayCommand { Add, Modify, Delete };

// The system side: icon handles and the notification-area calls.
class TrayBackend {
 public:
  using IconHandle = void*;
  virtual ~TrayBackend() = default;
  // An icon from .ico or .cur bytes preferring the given width; nullptr when none.
  virtual IconHandle CreateIcon(ByteView iconFile, int preferredWidth) = 0;
  virtual void DestroyIcon(IconHandle icon) = 0;
  // tip is already cut to its 62 bytes.
  virtual void Notify(TrayCommand command, IconHandle icon, const std::string& tip) = 0;
};

class TrayIcon {
 public:
  explicit TrayIcon(TrayBackend& backend) : backend_(backend) {}
  ~TrayIcon();
  TrayIcon(const TrayIcon&) = delete;
  TrayIcon& operator=(const TrayIcon&) = delete;

  // Puts the icon up, replaces it, or (empty bytes, or bytes that hold no icon) removes it.
  void Set(ByteView iconFile, const std::string& tip);
  // Explorer restarted and forgot every icon: add the current one again.
  void AddAgain();
  // The display's scale changed: the icon made again from its file at the new size.
  void Refresh();
  bool Shown() const { return current_ != nullptr; }

 private:
  TrayBackend& backend_;
  TrayBackend::IconHandle current_ = nullptr;
  std::string tip_;
  std::vector<std::uint8_t> file_;  // the icon file shown, for Refresh
};

// The tray event's operation type for a mouse message of the icon's callback:
// 1 left button up, 2 left double-click, 3 right button up or context menu; 0 ignored.
int TrayOperationFor(std::uint32_t mouseMessage);

}  // namespace tolvane::ui
