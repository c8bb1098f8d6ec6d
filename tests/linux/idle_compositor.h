#pragma once
// A small Wayland compositor for the idle tests: a seat and the idle notifier,
// nothing to show. Its notices come as bytes on a file descriptor: the unit tests
// write them from the test thread, the end-to-end tests through its standard input.
#include <linux/sockios.h>
#include <sys/ioctl.h>
#include <unistd.h>
#include <wayland-server.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <vector>

#include "ext-idle-notify-v1-server-protocol.h"

namespace tolvane::testing {

enum Notice : char {
  kIdled = 'i',
  kResumed = 'r',
  kDrop = 'd',   // closes every connection that holds a notification
  kReply = '?',  // writes "!\n" to the reply descriptor once all before it is read
  kStop = 's',
};

class IdleCompositor {
 public:
  // Listens on `socket` under XDG_RUNTIME_DIR.
  IdleCompositor(const char* socket, bool offersNotifier, int notices, int replies = -1) : replies_(replies) {
    display_ = wl_display_create();
    listening = wl_display_add_socket(display_, socket) == 0;
    wl_global_create(display_, &wl_seat_interface, 1, this, [](wl_client* client, void*, std::uint32_t version,
                                                               std::uint32_t id) {
      // The program only names the seat; it asks nothing of it.
      wl_resource_create(client, &wl_seat_interface, static_cast<int>(version), id);
    });
    if (offersNotifier) wl_global_create(display_, &ext_idle_notifier_v1_interface, 1, this, BindNotifier);
    wl_event_loop_add_fd(wl_display_get_event_loop(display_), notices, WL_EVENT_READABLE, Woken, this);
  }
  ~IdleCompositor() {
    wl_display_destroy_clients(display_);
    wl_display_destroy(display_);
  }

  // Until kStop or the end of the notices.
  void Run() { wl_display_run(display_); }

  bool listening = false;
  std::vector<std::uint32_t> timeouts;  // as asked for by the program
  std::atomic<int> handled = 0;         // notices read

 private:
  static void BindNotifier(wl_client* client, void* self, std::uint32_t version, std::uint32_t id) {
    static const struct ext_idle_notifier_v1_interface implementation = {
        [](wl_client*, wl_resource* notifier) { wl_resource_destroy(notifier); },
        [](wl_client* client, wl_resource* notifier, std::uint32_t id, std::uint32_t timeout, wl_resource*) {
          auto* compositor = static_cast<IdleCompositor*>(wl_resource_get_user_data(notifier));
          static const struct ext_idle_notification_v1_interface notice = {
              [](wl_client*, wl_resource* resource) { wl_resource_destroy(resource); }};
          wl_resource* resource = wl_resource_create(client, &ext_idle_notification_v1_interface, 1, id);
          wl_resource_set_implementation(resource, &notice, compositor, [](wl_resource* gone) {
            auto* owner = static_cast<IdleCompositor*>(wl_resource_get_user_data(gone));
            std::erase(owner->notifications_, gone);
          });
          compositor->notifications_.push_back(resource);
          compositor->timeouts.push_back(timeout);
        }};
    wl_resource* resource = wl_resource_create(client, &ext_idle_notifier_v1_interface, static_cast<int>(version), id);
    wl_resource_set_implementation(resource, &implementation, self, nullptr);
  }

  static int Woken(int fd, std::uint32_t, void* data) {
    auto* self = static_cast<IdleCompositor*>(data);
    char notice = kStop;
    if (read(fd, &notice, 1) != 1) notice = kStop;
    for (wl_resource* resource : self->notifications_) {
      if (notice == kIdled) ext_idle_notification_v1_send_idled(resource);
      if (notice == kResumed) ext_idle_notification_v1_send_resumed(resource);
    }
    if (notice == kDrop) {
      // As a compositor that gives up on a client.
      std::vector<wl_client*> clients;
      for (wl_resource* resource : self->notifications_) clients.push_back(wl_resource_get_client(resource));
      std::sort(clients.begin(), clients.end());
      clients.erase(std::unique(clients.begin(), clients.end()), clients.end());
      for (wl_client* client : clients) wl_client_destroy(client);
    }
    // Each notice is a write of its own, as each pause of the user is.
    wl_display_flush_clients(self->display_);
    if (notice == kReply) {
      self->AwaitReaders();
      if (write(self->replies_, "!\n", 2) != 2) notice = kStop;
    }
    if (notice == kStop) wl_display_terminate(self->display_);
    ++self->handled;
    return 0;
  }

  // Until every client has read what was sent to it, for at most two seconds: a
  // client that does not read is what the tests look for, not a reason to hang.
  void AwaitReaders() {
    for (int wait = 0; wait < 2000; ++wait) {
      int unread = 0;
      wl_client* client = nullptr;
      wl_client_for_each(client, wl_display_get_client_list(display_)) {
        int queued = 0;
        if (ioctl(wl_client_get_fd(client), SIOCOUTQ, &queued) == 0) unread += queued;
      }
      if (unread == 0) return;
      usleep(1000);
    }
  }

  wl_display* display_ = nullptr;
  int replies_;
  std::vector<wl_resource*> notifications_;
};

}  // namespace tolvane::testing
