#pragma once
// Holding automatic suspend off on a Linux desktop while a schedule runs: one of the
// desktop's inhibitors (power_linux_map.h says which and why), asked without waiting;
// a late answer is adopted while the lock is still wanted and given back otherwise.
#include <cstddef>
#include <cstdint>
#include <string>

typedef struct _GCancellable GCancellable;
typedef struct _GDBusConnection GDBusConnection;

namespace tolvane {

enum class AwakeInhibitor;

class LinuxKeepAwake {
 public:
  // Either bus may be missing; the inhibitors on it are then not asked.
  LinuxKeepAwake(GDBusConnection* session, GDBusConnection* system);
  ~LinuxKeepAwake();
  LinuxKeepAwake(const LinuxKeepAwake&) = delete;
  LinuxKeepAwake& operator=(const LinuxKeepAwake&) = delete;

  // `secondsAhead`: the time left until the action (power_linux_map.h: Xfce).
  void KeepSystemAwake(bool awake, double secondsAhead = 0);

  // What holds automatic suspend off: one of the inhibitors, while held.
  struct Lock {
    AwakeInhibitor kind{};
    bool held = false;
    std::uint32_t cookie = 0;  // the session manager's or the power manager's
    std::string handle;        // the portal's request object
    int fd = -1;               // logind keeps its lock while this stays open
  };

 private:
  void TryInhibitor(std::size_t index);
  void AskXfceFirst(std::size_t index);
  void Ask(std::size_t index, std::size_t remembered);
  void Release(Lock& lock);

  GDBusConnection* session_ = nullptr;
  GDBusConnection* system_ = nullptr;
  GCancellable* cancellable_ = nullptr;  // cancelled only when this goes
  bool wanted_ = false;
  bool asking_ = false;  // an inhibitor call has not been answered yet
  Lock lock_;
  std::size_t firstInhibitor_ = 0;  // the first of kAwakeInhibitors that answered
  double secondsAhead_ = 0;
};

}  // namespace tolvane
