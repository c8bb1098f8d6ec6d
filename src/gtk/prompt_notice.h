#pragma once
// The final-seconds prompt as a desktop notification, for when the window cannot
// come to the front: one critical notification with the program's icon, updated in
// place each second, with a 取消 action and a default action that brings the
// window, withdrawn when the schedule ends.
//
// No call waits for the notification server: a server still starting, or a busy
// shell, answers when it can. While a Notify is unanswered the newest text waits
// for its turn, signals about a notice whose id is not yet known are kept until the
// answer tells it, and a notice that is no longer wanted when its answer comes is
// withdrawn then.
#include <gio/gio.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace tolvane::gtk {

class PromptNotice {
 public:
  struct Handlers {
    std::function<void()> cancel;
    std::function<void(const std::string& token)> show;  // the activation token, or empty
  };

  // icon: an (iiibiiay) image, taken; may be null.
  PromptNotice(Handlers handlers, GVariant* icon);
  // Withdraws the notice; an unanswered Notify is waited for a bounded time, so the
  // notice it put up can be withdrawn too.
  ~PromptNotice();
  PromptNotice(const PromptNotice&) = delete;
  PromptNotice& operator=(const PromptNotice&) = delete;

  // Shows the notice with this text, in place of the one shown (unless the user
  // dismissed it during this schedule).
  void Post(const std::string& body);
  void Withdraw();

 private:
  void Send();
  void Answered(GVariant* reply);  // null: the call failed
  void Close();
  void Signal(const gchar* name, GVariant* parameters);
  void Handle(const gchar* name, GVariant* parameters);
  void WaitForAnswer();

  Handlers handlers_;
  GVariant* icon_ = nullptr;
  GDBusConnection* bus_ = nullptr;
  GCancellable* cancellable_ = nullptr;  // cancelled when this object goes
  guint signals_ = 0;
  guint32 id_ = 0;          // the notification shown, 0 for none (or not yet known)
  bool pending_ = false;    // a Notify awaits its answer
  bool dismissed_ = false;  // the user dismissed it: not shown again until withdrawn
  // An action closes the notice too, with the same reason as a dismissal, and the
  // server may tell the close before the action: the notice last acted on, and the
  // one last closed by the user, whose action may still be on its way.
  guint32 actedOn_ = 0;
  guint32 closedByUser_ = 0;
  std::string wanted_;      // the text the notice should show, empty for none
  std::string sent_;        // the text of the latest Notify
  std::string token_;       // from the server, for the action that follows
  // Signals about an id other than id_ that came while a Notify was unanswered.
  std::vector<std::pair<std::string, GVariant*>> early_;
};

}  // namespace tolvane::gtk
