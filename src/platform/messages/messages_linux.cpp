#include "platform/messages/messages_linux.h"

#include <gtk/gtk.h>

#include <cstdlib>

#include "platform/messages/fatal.h"
#include "platform/text/text_linux.h"

namespace tolvane {
namespace {

// The Windows box's return codes, used as the dialog's response ids.
enum : int { kIdOk = 1, kIdCancel = 2, kIdAbort = 3, kIdRetry = 4, kIdIgnore = 5, kIdYes = 6, kIdNo = 7 };

struct ButtonSpec {
  const char* label;  // GBK
  int id;
};

void AddButtons(GtkDialog* dialog, std::int32_t style) {
  static const ButtonSpec kOk[] = {{"确定", kIdOk}};
  static const ButtonSpec kOkCancel[] = {{"确定", kIdOk}, {"取消", kIdCancel}};
  static const ButtonSpec kAbortRetryIgnore[] = {{"中止", kIdAbort}, {"重试", kIdRetry}, {"忽略", kIdIgnore}};
  static const ButtonSpec kYesNoCancel[] = {{"是", kIdYes}, {"否", kIdNo}, {"取消", kIdCancel}};
  static const ButtonSpec kYesNo[] = {{"是", kIdYes}, {"否", kIdNo}};
  static const ButtonSpec kRetryCancel[] = {{"重试", kIdRetry}, {"取消", kIdCancel}};
  struct Set {
    const ButtonSpec* buttons;
    int count;
  };
  static const Set kSets[] = {{kOk, 1}, {kOkCancel, 2}, {kAbortRetryIgnore, 3}, {kYesNoCancel, 3}, {kYesNo, 2}, {kRetryCancel, 2}};
  const int index = style & 0xF;
  const Set set = index < 6 ? kSets[index] : kSets[0];
  for (int i = 0; i < set.count; ++i) {
    gtk_dialog_add_button(dialog, GbkToUtf8(set.buttons[i].label).c_str(), set.buttons[i].id);
  }
  gtk_dialog_set_default_response(dialog, set.buttons[0].id);
}

GtkMessageType TypeFor(std::int32_t style) {
  switch (style & 0xF0) {
    case 0x10: return GTK_MESSAGE_ERROR;
    case 0x20: return GTK_MESSAGE_QUESTION;
    case 0x30: return GTK_MESSAGE_WARNING;
    case 0x40: return GTK_MESSAGE_INFO;
    default: return GTK_MESSAGE_OTHER;
  }
}

// What closing the box without a button means: Cancel where there is one, else
// OK for a lone OK button, as Windows answers Escape.
int ClosedAnswer(std::int32_t style) {
  switch (style & 0xF) {
    case 0: return kIdOk;
    case 1: case 3: case 5: return kIdCancel;
    default: return 0;
  }
}

void ShowFatalReportAndExit(const std::string& reportText) {
  LinuxMessageBoxService().ShowBox(reportText, "错误", 0x10);
  RunBeforeFatalExit();
  std::_Exit(-1);
}

}  // namespace

int LinuxMessageBoxService::ShowBox(const std::string& text, const std::string& title, std::int32_t style) {
  GtkWidget* dialog = gtk_message_dialog_new(nullptr, GTK_DIALOG_MODAL, TypeFor(style), GTK_BUTTONS_NONE, "%s",
                                             GbkToUtf8(text).c_str());
  if (dialog == nullptr) return 0;
  gtk_window_set_title(GTK_WINDOW(dialog), GbkToUtf8(title).c_str());
  gtk_window_set_position(GTK_WINDOW(dialog), GTK_WIN_POS_CENTER);
  // Boxes with no owner window would otherwise open behind the program's window.
  gtk_window_set_keep_above(GTK_WINDOW(dialog), TRUE);
  AddButtons(GTK_DIALOG(dialog), style);
  // The dialog's own main loop runs nested: the program's timers keep ticking.
  int answer = gtk_dialog_run(GTK_DIALOG(dialog));
  gtk_widget_destroy(dialog);
  if (answer < kIdOk || answer > kIdNo) answer = ClosedAnswer(style);
  return answer;
}

void InstallLinuxFatalErrorHandler() { SetFatalErrorHandler(&ShowFatalReportAndExit); }

}  // namespace tolvane
