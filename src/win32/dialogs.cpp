// The file chooser. Its library is bound at the first use: it brings the print system
// with it, which a user who never presses "浏 览" should not pay for at start.
#include "win32/win32_host.h"

#include <commdlg.h>

#include <algorithm>
#include <vector>

#include "platform/files/files_win32.h"
#include "platform/system/bind_win32.h"
#include "platform/text/text_win32.h"

namespace tolvane::win32 {

void Win32Host::ShowOpenDialog(std::string_view name) {
  static DeclaredFunction getOpenFileName{"comdlg32.dll", "GetOpenFileNameW"};
  // Without the library the chooser cannot open; as if the user had cancelled it.
  const auto openFileName = TryBindAs<decltype(&::GetOpenFileNameW)>(getOpenFileName);
  if (openFileName == nullptr) return;
  ui::ControlState& dialog = State(name);
  // "description|pattern|...||" becomes the dialog's double-zero-terminated list.
  std::wstring filter = GbkToWide(dialog.filter);
  for (auto& ch : filter) {
    if (ch == L'|') ch = L'\0';
  }
  filter.push_back(L'\0');
  std::vector<wchar_t> file(32768, L'\0');
  const std::wstring initialName = PathToWide(dialog.fileName);
  initialName.copy(file.data(), std::min(initialName.size(), file.size() - 1));
  const std::wstring initialDirectory = PathToWide(dialog.initialDirectory);
  OPENFILENAMEW ofn{};
  ofn.lStructSize = sizeof(ofn);
  ofn.hwndOwner = window_;
  ofn.lpstrFilter = filter.c_str();
  ofn.nFilterIndex = 1;
  ofn.lpstrFile = file.data();
  ofn.nMaxFile = static_cast<DWORD>(file.size());
  ofn.lpstrInitialDir = initialDirectory.empty() ? nullptr : initialDirectory.c_str();
  ofn.Flags = OFN_HIDEREADONLY | OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST;
  if (!openFileName(&ofn)) return;
  // Whatever its name, the file opens; what the settings keep of it is the program's call.
  if (window_ != nullptr) State(name).fileName = PathFromWide(file.data());
}
}  // namespace tolvane::win32
