#pragma once
// The program's item in a panel's notification area: a StatusNotifierItem object
// on the session bus, registered with the panel's StatusNotifierWatcher (again
// whenever a watcher appears, as after a panel restart), its menu served over
// com.canonical.dbusmenu from the GTK menu it is given.
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
    std::function<void(bool)> watcherChanged;             // a panel to show the item came or went
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
  void BusReady(GDBusConnection* bus);
  void Register();
  void Emit(const char* signal);

  GtkWidget* menu_;
  Handlers handlers_;
  GDBusConnection* bus_ = nullptr;
  GCancellable* cancellable_ = nullptr;
  std::string name_;  // our well-known name on the bus
  guint object_ = 0;
  guint owner_ = 0;
  guint watch_ = 0;
  DbusmenuServer* menuServer_ = nullptr;
  GVariant* pixmaps_ = nullptr;
  std::string tip_;
};

}  // namespace tolvane::gtk
