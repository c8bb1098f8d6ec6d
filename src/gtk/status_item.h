#pragma once
// The program's item in a panel's notification area: a StatusNotifierItem object
// on the session bus, registered with the panel's StatusNotifierWatcher (again
// whenever a watcher appears, as after a panel restart), its menu served over
// com.canonical.dbusmenu from the GTK menu it is given. The item counts as shown
// only while the watcher has accepted it and reports a panel (a host) that draws
// items: a watcher may run with no host at all.
#include <gio/gio.h>
#include <gtk/gtk.h>

#include <functional>
#include <string>

typedef struct _DbusmenuServer DbusmenuServer;

namespace tolvane::gtk {

class StatusItem {
 public:
  struct Handlers {
    std::function<void()> activate;                       // a left click (or the middle one)
    std::function<void()> contextMenu;                    // a right click where the panel leaves the menu to us
    std::function<void(const std::string&)> activationToken;  // the panel's token for the activation that follows
    // A panel now shows the item, or no longer does. Told at the first verdict and at
    // each change; while the first answers are awaited the item is not shown.
    std::function<void(bool)> shownChanged;
  };

  StatusItem(GtkWidget* menu, Handlers handlers);
  ~StatusItem();
  StatusItem(const StatusItem&) = delete;
  StatusItem& operator=(const StatusItem&) = delete;

  // The icon as ARGB images of several sizes (an a(iiay) value, taken) and the tip.
  void Set(GVariant* pixmaps, const std::string& tip);
  bool OnBus() const { return bus_ != nullptr; }

 private:
  static void MethodCall(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar* method,
                         GVariant* parameters, GDBusMethodInvocation* invocation, gpointer self);
  static GVariant* GetProperty(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar* property,
                               GError**, gpointer self);
  // A watcher's answers: none yet, or yes or no.
  enum class Answer { Awaited, No, Yes };

  void WatcherAppeared(const gchar* owner);
  void WatcherGone();
  void Forget();  // the watcher, its signals, calls and answers
  void ReadHost();
  static void Registered(GObject* bus, GAsyncResult* result, gpointer self);
  static void HostRead(GObject* bus, GAsyncResult* result, gpointer self);
  static void WatcherSignal(GDBusConnection*, const gchar*, const gchar*, const gchar* interface, const gchar* signal,
                            GVariant* parameters, gpointer self);
  void SetHost(Answer host);
  // Tells the handler when the verdict changed; the item may be gone afterwards.
  void Settle();
  void Emit(const char* signal);

  GtkWidget* menu_;
  Handlers handlers_;
  GDBusConnection* bus_ = nullptr;
  std::string name_;  // our well-known name on the bus
  guint object_ = 0;
  guint owner_ = 0;
  guint watch_ = 0;
  // The watcher on the bus now: its unique name, its signals, the calls made to it
  // (cancelled when it goes, so no late reply from it is taken for a later one's),
  // the latest read of its host (cancelled by any newer news of the host), its answers.
  std::string watcher_;
  guint watcherSignals_ = 0;
  GCancellable* calls_ = nullptr;
  GCancellable* hostRead_ = nullptr;
  Answer registration_ = Answer::No;
  Answer host_ = Answer::No;
  bool reported_ = false;  // a verdict has been told
  bool shown_ = false;     // the verdict told last
  DbusmenuServer* menuServer_ = nullptr;
  GVariant* pixmaps_ = nullptr;
  std::string tip_;
};

}  // namespace tolvane::gtk
