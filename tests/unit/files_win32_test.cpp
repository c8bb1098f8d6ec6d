// Real files on Windows in folders whose names GBK cannot write: the settings file
// opens by its wide name, and a chosen file is kept by a GBK path that opens it again.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "platform/files/files_win32.h"
#include "platform/files/profile.h"

namespace tolvane {
namespace {

// A fresh folder of that name in the temporary folder, removed with what it holds.
class Folder {
 public:
  explicit Folder(const std::wstring& name) {
    wchar_t temp[MAX_PATH];
    const DWORD length = GetTempPathW(MAX_PATH, temp);
    path_ = std::wstring(temp, length) + name;
    Clear();
    CreateDirectoryW(path_.c_str(), nullptr);
  }
  ~Folder() { Clear(); }
  const std::wstring& Path() const { return path_; }

 private:
  void Clear() {
    WIN32_FIND_DATAW found;
    const HANDLE search = FindFirstFileW((path_ + L"\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
      do {
        DeleteFileW((path_ + L"\\" + found.cFileName).c_str());
      } while (FindNextFileW(search, &found));
      FindClose(search);
    }
    RemoveDirectoryW(path_.c_str());
  }
  std::wstring path_;
};

TEST(Win32Paths, SettingsAndSoundsInFoldersGbkCannotWrite) {
  for (const wchar_t* name : {L"김민수", L"Jörg"}) {
    SCOPED_TRACE(PathFromWide(name));
    const Folder folder(name);
    Win32FileSystem files;
    const std::string config = PathFromWide(folder.Path() + L"\\config.ini");
    ASSERT_TRUE(WriteSetting(files, config, "系统设置", "提示开始", "5"));
    EXPECT_TRUE(files.Exists(config));
    EXPECT_EQ(ReadSetting(files, config, "系统设置", "提示开始", " 0"), "5");
    EXPECT_NE(GetFileAttributesW((folder.Path() + L"\\config.ini").c_str()), INVALID_FILE_ATTRIBUTES);

    // A sound file whose own name GBK cannot write either: kept by short names, which
    // open the same bytes.
    const std::wstring wideSound = folder.Path() + L"\\" + name + L".wav";
    const std::string sound = PathFromWide(wideSound);
    const std::vector<std::uint8_t> bytes = {'R', 'I', 'F', 'F', 1, 2, 3};
    ASSERT_TRUE(files.ReplaceFileAtomically(sound, bytes));
    const FileSystem::KeptPath kept = files.PathToKeep(sound);
    ASSERT_FALSE(kept.path.empty()) << "Wine's volumes have short names";
    EXPECT_EQ(kept.shown, kept.path);
    EXPECT_EQ(files.ReadWholeFile(kept.path, 100), bytes);
    EXPECT_EQ(PathFromWide(PathToWide(kept.path)), kept.path);  // plain GBK text
  }
  // A path GBK writes stays the same GBK text; one that names nothing cannot be kept.
  Win32FileSystem files;
  EXPECT_EQ(PathFromWide(L"C:\\张三\\a.wav"), "C:\\张三\\a.wav");
  EXPECT_EQ(files.PathToKeep("C:\\张三\\a.wav").path, "C:\\张三\\a.wav");
  const FileSystem::KeptPath gone = files.PathToKeep(PathFromWide(L"C:\\没有\\Jörg.wav"));
  EXPECT_EQ(gone.path, "");
  EXPECT_EQ(gone.shown, "C:\\没有\\J?rg.wav");
}

// Writes the bytes to a file opened as disposition says, in place.
void Put(const std::wstring& path, const std::string& bytes, DWORD disposition) {
  const HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, disposition, 0, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  DWORD written = 0;
  EXPECT_TRUE(WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr));
  CloseHandle(file);
}

// Sets a file's last-write time to `base` moved by `seconds`.
void Stamp(const std::wstring& path, FILETIME base, int seconds) {
  ULARGE_INTEGER time{{base.dwLowDateTime, base.dwHighDateTime}};
  time.QuadPart += static_cast<ULONGLONG>(seconds * 10'000'000LL);
  const FILETIME stamp{time.LowPart, time.HighPart};
  const HANDLE file = CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  EXPECT_TRUE(SetFileTime(file, nullptr, nullptr, &stamp));
  CloseHandle(file);
}

// Settled, a config.ini.saving newer than the file takes its place (written into it where
// it has a second name, as Scoop's persist link, even half written just after the copy);
// an older one goes. Reads never take such a copy for the file.
TEST(Win32Paths, ASaveCutShortIsFinishedOrDropped) {
  const Folder folder(L"pending");
  const std::wstring config = folder.Path() + L"\\config.ini", other = folder.Path() + L"\\persisted.ini";
  Win32FileSystem files;
  for (const int later : {-60, 1, 60}) {  // config.ini's time after the copy's, in seconds
    SCOPED_TRACE(later);
    DeleteFileW(other.c_str());
    Put(config + L".saving", "[系统设置]\r\n提示开始=9\r\n", CREATE_ALWAYS);
    Put(config, later == 1 ? "[系统" : "[系统设置]\r\n提示开始=5\r\n", CREATE_ALWAYS);
    EXPECT_TRUE(later < 0 || CreateHardLinkW(other.c_str(), config.c_str(), nullptr));
    WIN32_FILE_ATTRIBUTE_DATA pending;
    ASSERT_TRUE(GetFileAttributesExW((config + L".saving").c_str(), GetFileExInfoStandard, &pending));
    Stamp(config, pending.ftLastWriteTime, later);
    EXPECT_TRUE(files.FinishInterruptedSave(PathFromWide(config)));
    for (const std::wstring& name : later > 0 ? std::vector{config, other} : std::vector{config}) {
      EXPECT_EQ(ReadSetting(files, PathFromWide(name), "系统设置", "提示开始", ""), later < 10 ? "9" : "5");
    }
    EXPECT_EQ(GetFileAttributesW((config + L".saving").c_str()), INVALID_FILE_ATTRIBUTES);
  }
  const std::wstring sound = folder.Path() + L"\\a.wav";
  Put(sound + L".saving", "MThd", CREATE_NEW);
  EXPECT_FALSE(files.Exists(PathFromWide(sound)));
  Put(sound, "RIFF", CREATE_NEW);
  EXPECT_EQ(files.ReadWholeFile(PathFromWide(sound), 100), (std::vector<std::uint8_t>{'R', 'I', 'F', 'F'}));
}

}  // namespace
}  // namespace tolvane
