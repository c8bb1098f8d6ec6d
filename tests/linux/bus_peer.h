// What the Linux system tests share: the main loop run until a condition holds, and a
// peer of the test's own on the test's private bus.
#pragma once
#include <gio/gio.h>

#include <atomic>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace tolvane::testing {

// Runs the main loop until the condition holds, for at most ten seconds (or as told).
template <typename Condition>
bool MainLoopUntil(Condition condition, gint64 seconds = 10) {
  const gint64 deadline = g_get_monotonic_time() + seconds * G_USEC_PER_SEC;
  while (!condition()) {
    if (g_get_monotonic_time() > deadline) return false;
    g_main_context_iteration(nullptr, FALSE);
    g_usleep(1000);
  }
  return true;
}

// Owns names on the session bus and answers calls on a thread and main context of its
// own, as another process would. Each object has one interface, given as its XML;
// `answer` runs on the peer's thread for every call and must answer (or keep) the
// invocation. Every call is logged as "path method arguments".
class BusPeer {
 public:
  struct Object {
    std::string path, interfaceXml;
  };
  using Answer = std::function<void(const std::string& path, const std::string& method, GVariant* arguments,
                                    GDBusMethodInvocation* invocation)>;

  BusPeer(std::vector<std::string> names, std::vector<Object> objects, Answer answer)
      : names_(std::move(names)), objects_(std::move(objects)), answer_(std::move(answer)) {
    thread_ = std::thread([this] { Serve(); });
    while (!ready_) std::this_thread::yield();
  }
  ~BusPeer() { Leave(); }

  // Leaves the bus, as a process that ends.
  void Leave() {
    if (!thread_.joinable()) return;
    g_main_context_invoke(context_, [](gpointer loop) -> gboolean {
      g_main_loop_quit(static_cast<GMainLoop*>(loop));
      return G_SOURCE_REMOVE;
    }, loop_);
    thread_.join();
  }

  std::vector<std::string> Calls() {
    std::lock_guard<std::mutex> lock(mutex_);
    return calls_;
  }

 private:
  void Serve() {
    context_ = g_main_context_new();
    g_main_context_push_thread_default(context_);
    loop_ = g_main_loop_new(context_, FALSE);
    GDBusConnection* bus = g_dbus_connection_new_for_address_sync(
        std::getenv("DBUS_SESSION_BUS_ADDRESS"),
        static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                          G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
        nullptr, nullptr, nullptr);
    std::vector<GDBusNodeInfo*> nodes;
    static const GDBusInterfaceVTable vtable = {Called, nullptr, nullptr, {}};
    for (const Object& object : objects_) {
      nodes.push_back(g_dbus_node_info_new_for_xml(("<node>" + object.interfaceXml + "</node>").c_str(), nullptr));
      g_dbus_connection_register_object(bus, object.path.c_str(), nodes.back()->interfaces[0], &vtable, this, nullptr,
                                        nullptr);
    }
    for (const std::string& name : names_) {
      GVariant* owned = g_dbus_connection_call_sync(bus, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                                                    "org.freedesktop.DBus", "RequestName",
                                                    g_variant_new("(su)", name.c_str(), 0u), nullptr,
                                                    G_DBUS_CALL_FLAGS_NONE, -1, nullptr, nullptr);
      if (owned != nullptr) g_variant_unref(owned);
    }
    ready_ = true;
    g_main_loop_run(loop_);
    g_dbus_connection_close_sync(bus, nullptr, nullptr);
    g_object_unref(bus);
    for (GDBusNodeInfo* node : nodes) g_dbus_node_info_unref(node);
    g_main_loop_unref(loop_);
    g_main_context_pop_thread_default(context_);
    g_main_context_unref(context_);
  }

  static void Called(GDBusConnection*, const gchar*, const gchar* path, const gchar*, const gchar* method,
                     GVariant* arguments, GDBusMethodInvocation* invocation, gpointer data) {
    auto* self = static_cast<BusPeer*>(data);
    gchar* printed = g_variant_print(arguments, FALSE);
    {
      std::lock_guard<std::mutex> lock(self->mutex_);
      self->calls_.push_back(std::string(path) + " " + method + " " + printed);
    }
    g_free(printed);
    self->answer_(path, method, arguments, invocation);
  }

  std::vector<std::string> names_;
  std::vector<Object> objects_;
  Answer answer_;
  std::mutex mutex_;
  std::vector<std::string> calls_;
  std::atomic<bool> ready_ = false;
  GMainContext* context_ = nullptr;
  GMainLoop* loop_ = nullptr;
  std::thread thread_;
};

}  // namespace tolvane::testing
