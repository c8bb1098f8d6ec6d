#pragma once
// The final-seconds prompt as a desktop notification, for when the window cannot
// come to the front: one critical notification with the program's icon, updated in
// place each second, with a 取消 action and a default action that brings the
// window, withdrawn when the schedule ends.
#include <gio/gio.h>

#include <functional>
#include <string>

namespace tolvane::gtk {

class PromptNotice {
 public:
  struct Handlers {
    std::function<void()> cancel;
    std::function<void(const std::string& token)> show;  // the activation token, or empty
  };

  // icon: an (iiibiiay) image, taken; may be null.
  PromptNotice(Handlers handlers, GVariant* icon);
  ~PromptNotice();
  PromptNotice(const PromptNotice&) = delete;
  PromptNotice& operator=(const PromptNotice&) = delete;

  // Posts the notification, or updates the one already shown (unless the user closed it).
  void Post(const std::string& body);
  void Withdraw();

 private:
  void Signal(const gchar* name, GVariant* parameters);

  Handlers handlers_;
  GVariant* icon_ = nullptr;
  GDBusConnection* bus_ = nullptr;
  guint signals_ = 0;
  guint32 id_ = 0;          // the notification shown, 0 for none
  bool dismissed_ = false;  // the user closed it: not shown again until withdrawn
  std::string sent_;        // the text shown
  std::string token_;       // from the server, for the action that follows
};

}  // namespace tolvane::gtk
