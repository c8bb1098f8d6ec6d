#include <gtest/gtest.h>

#include "platform/files/profile.h"
#include "headless/memory_files.h"
#include "platform/files/settings_location.h"

namespace tolvane {
namespace {

using headless::MemoryFileSystem;
using Interruption = MemoryFileSystem::Interruption;

const std::string kPath = "C:\\Tolvane\\config.ini";

std::vector<std::uint8_t> Bytes(std::string_view s) { return {s.begin(), s.end()}; }

constexpr Interruption kEveryInterruption[] = {
    Interruption::CrashAfterCreatingTemporary, Interruption::CrashAfterWritingHalf, Interruption::CrashBeforeRename,
    Interruption::WriteFails, Interruption::RenameFails};

TEST(AtomicReplace, FileIsEitherOldOrNewWhereverTheReplaceStops) {
  for (const Interruption where : kEveryInterruption) {
    SCOPED_TRACE(static_cast<int>(where));
    MemoryFileSystem files;
    files.PutFile(kPath, "old contents");
    files.InterruptNextReplace(where);
    EXPECT_FALSE(files.ReplaceFileAtomically(kPath, Bytes("new contents, longer than the old")));
    EXPECT_EQ(files.FileText(kPath), "old contents");

    // Whatever a crash left beside it, the next replace goes through.
    EXPECT_TRUE(files.ReplaceFileAtomically(kPath, Bytes("new")));
    EXPECT_EQ(files.FileText(kPath), "new");

    MemoryFileSystem empty;
    empty.InterruptNextReplace(where);
    EXPECT_FALSE(empty.ReplaceFileAtomically(kPath, Bytes("new")));
    EXPECT_FALSE(empty.Exists(kPath));
  }
}

TEST(AtomicReplace, SettingsSurviveAnInterruptedWrite) {
  for (const Interruption where : kEveryInterruption) {
    SCOPED_TRACE(static_cast<int>(where));
    MemoryFileSystem files;
    ASSERT_TRUE(WriteProfileString(files, kPath, "系统设置", "提示间隔", "30"));
    ASSERT_TRUE(WriteProfileString(files, kPath, "系统设置", "提示开始", "5"));

    files.InterruptNextReplace(where);
    EXPECT_FALSE(WriteProfileString(files, kPath, "系统设置", "提示开始", "10"));
    EXPECT_EQ(ReadProfileString(files, kPath, "系统设置", "提示间隔", "0"), "30");
    EXPECT_EQ(ReadProfileString(files, kPath, "系统设置", "提示开始", " 0"), "5");

    EXPECT_TRUE(WriteProfileString(files, kPath, "系统设置", "提示开始", "10"));
    EXPECT_EQ(ReadProfileString(files, kPath, "系统设置", "提示开始", " 0"), "10");
    EXPECT_EQ(ReadProfileString(files, kPath, "系统设置", "提示间隔", "0"), "30");
  }
}

// A save cut short before its rename leaves the new contents pending. The next save,
// even one that changes nothing, puts them in place, or drops them when the file was
// edited clearly after them (more than the 10 s of one save).
TEST(AtomicReplace, ASaveThatChangesNothingStillSettlesOneCutShort) {
  for (const int editedAfter : {0, 10, 11}) {  // seconds after the pending copy; 0: never
    SCOPED_TRACE(editedAfter);
    MemoryFileSystem files;
    ASSERT_TRUE(WriteProfileString(files, kPath, "系统设置", "提示开始", "5"));
    files.InterruptNextReplace(Interruption::CrashBeforeRename);
    EXPECT_FALSE(WriteProfileString(files, kPath, "系统设置", "提示开始", "7"));
    files.PassTime(std::chrono::seconds(editedAfter));
    if (editedAfter > 0) files.PutFile(kPath, "[系统设置]\r\n提示开始=9\r\n");
    const std::string kept = editedAfter > 10 ? "9" : "7";
    EXPECT_TRUE(WriteProfileString(files, kPath, "系统设置", "提示开始", kept));
    EXPECT_EQ(files.ReplaceCount(), 1);  // the file held it already
    EXPECT_EQ(files.FilePaths(), std::vector<std::string>{kPath});
  }
}

TEST(AtomicReplace, ReadOnlyDirectoryOrADirectoryInTheWayRefusesTheWrite) {
  MemoryFileSystem files;
  files.PutFile(kPath, "old");
  files.SetReadOnlyDirectory("c:/tolvane/");
  EXPECT_FALSE(files.ReplaceFileAtomically(kPath, Bytes("new")));
  EXPECT_EQ(files.FilePaths(), std::vector<std::string>{kPath});  // no temporary left behind
  EXPECT_TRUE(files.ReplaceFileAtomically("C:\\Other\\config.ini", Bytes("x")));

  files.AddDirectory("C:\\Tolvane\\sub");
  EXPECT_FALSE(files.ReplaceFileAtomically("C:\\Tolvane\\Sub", Bytes("x")));
}

TEST(MemoryFiles, PathsCompareAsOnWindowsButGbkCharactersStayDistinct) {
  MemoryFileSystem files;
  files.PutFile("D:\\声音\\Alarm.WAV", "a");
  EXPECT_TRUE(files.Exists("d:/声音/alarm.wav"));
  EXPECT_EQ(files.ReadWholeFile("D:\\声音\\ALARM.wav", 10), Bytes("a"));

  // 癆 (B0 41) and 癮 (B0 61) differ only in an ASCII-case trail byte.
  files.PutFile("D:\\癆.wav", "1");
  files.PutFile("D:\\癮.wav", "2");
  EXPECT_EQ(files.FileText("D:\\癆.wav"), "1");
  EXPECT_EQ(files.FileText("D:\\癮.wav"), "2");
}

TEST(ChooseSettingsPath, BesideAWritableProgramElseTheUsersConfigurationFolder) {
  struct Case {
    std::string_view dir;
    bool writable;
    std::string_view xdg, home, expected;
  } const cases[] = {
      {"/home/li/tolvane", true, "/x", "/home/li", "/home/li/tolvane/config.ini"},
      {"/home/li/tolvane", false, "/x/cfg/", "/home/li", "/x/cfg/tolvane/config.ini"},
      {"/opt/tolvane", false, "", "/home/li", "/home/li/.config/tolvane/config.ini"},
      {"/opt/tolvane", false, "relative/cfg", "/home/li", "/home/li/.config/tolvane/config.ini"},
      // Installed by a package: never a portable copy, even where root may write.
      {"/usr/bin", true, "", "/root", "/root/.config/tolvane/config.ini"},
      {"/usr/local/bin", true, "", "/root", "/root/.config/tolvane/config.ini"},
      {"/usrdata/tolvane", true, "", "/root", "/usrdata/tolvane/config.ini"},
      {"/", true, "", "/root", "/config.ini"},
      {"", true, "", "/home/li", "/home/li/.config/tolvane/config.ini"},
      {"/opt/tolvane", false, "", "", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.dir) + " " + std::string(c.xdg));
    EXPECT_EQ(ChooseSettingsPath(c.dir, c.writable, c.xdg, c.home), c.expected);
  }
}

}  // namespace
}  // namespace tolvane
