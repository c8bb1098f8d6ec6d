// Start-up with and without config.ini, the two roads out, the sound chooser,
// and the tray.
#include <gtest/gtest.h>

#include "app/settings.h"
#include "resources/resources.h"
#include "world.h"

namespace tolvane::testing {
namespace {

using namespace ui::names;
using namespace std::string_literals;

const std::string kConfig = "C:\\Tolvane\\config.ini";

std::string Typical(const std::string& soundPath) {
  return "[系统设置]\r\n自定提示声=" + soundPath + "\r\n提示开始=5\r\n提示间隔=30\r\n启用自定义=真\r\n";
}

struct Prepared : World {
  explicit Prepared(const std::string& config) : World(false) {
    files.PutFile(kConfig, config);
    host.Build();
  }
};

TEST(Lifecycle, FirstStartKeepsTheLayoutsValuesAndWritesNothing) {
  World w;
  EXPECT_EQ(w.host.Content(编辑框2), "0");
  EXPECT_EQ(w.host.Content(编辑框3), "0");
  EXPECT_EQ(w.host.Content(编辑框4), "声音文件");
  EXPECT_FALSE(w.host.Checked(选择框4));
  EXPECT_TRUE(w.host.Disabled(按钮4));
  EXPECT_TRUE(w.host.TrayIconShown());
  EXPECT_EQ(w.host.State(窗口1).iconFile.size(), resources::programIcon().size());
  EXPECT_EQ(w.host.State(日期框1).pickerFormat, "yyyy年MM月dd日  HH:mm:ss");
  EXPECT_EQ(w.host.State(日期框3).pickerFormat, "HH:mm:ss");
  w.host.Advance(5000);
  EXPECT_FALSE(w.files.FileText(kConfig));
}

TEST(Lifecycle, TheTypicalFileFillsTheReminderPanel) {
  Prepared w(Typical("D:\\声音\\提醒.wav"));
  EXPECT_EQ(w.host.Content(编辑框2), "5");
  EXPECT_EQ(w.host.Content(编辑框3), "30");
  EXPECT_EQ(w.host.Content(编辑框4), "提醒.wav");
  EXPECT_TRUE(w.host.Checked(选择框4));
  EXPECT_TRUE(w.host.Disabled(按钮4));  // the file itself is not there
  EXPECT_EQ(w.program.customSoundPath(), "D:\\声音\\提醒.wav");
}

TEST(Lifecycle, AReadableSoundEnablesThePreviewWhichPlaysIt) {
  World w(false);
  w.files.PutFile("D:\\声音\\提醒.wav", "RIFF\x04\0\0\0WAVExxxx"s);
  w.files.PutFile(kConfig, Typical("D:\\声音\\提醒.wav"));
  w.host.Build();
  EXPECT_FALSE(w.host.Disabled(按钮4));
  w.host.Click(按钮4);
  ASSERT_EQ(w.sound.plays.size(), 1u);
  EXPECT_EQ(w.sound.plays[0].bytes, 16u);
}

TEST(Lifecycle, MissingAndGarbledKeysFallBackAsDocumented) {
  Prepared w("[系统设置]\n提示间隔=abc\n启用自定义=是\n");
  EXPECT_EQ(w.host.Content(编辑框2), " 0");
  EXPECT_EQ(w.host.Content(编辑框3), "abc");
  EXPECT_EQ(w.host.Content(编辑框4), "");
  EXPECT_FALSE(w.host.Checked(选择框4));
}

TEST(Lifecycle, TheFileNameScanStepsOverTwoByteCharacters) {
  EXPECT_EQ(FileNameOfPath("C:\\a\\b.wav", '\\'), "b.wav");
  EXPECT_EQ(FileNameOfPath("b.wav", '\\'), "b.wav");
  EXPECT_EQ(FileNameOfPath("", '\\'), "");
  EXPECT_EQ(FileNameOfPath("/home/李/铃声.wav", '/'), "铃声.wav");
  EXPECT_EQ(FileNameOfPath("C:/a/b.wav", '\\'), "C:/a/b.wav");  // Windows: only "\" ends a folder
  EXPECT_EQ(FileNameOfPath("C:\\乗.wav", '\\'), "乗.wav");  // 乗 ends in the byte of "\"
  EXPECT_EQ(FileNameOfPath("C:\\声音\\乗", '\\'), "乗");
  // 0x80 (the euro sign) is a character of its own: the "\" after it ends a folder.
  EXPECT_EQ(FileNameOfPath("C:\\\x80\\b.wav", '\\'), "b.wav");
  EXPECT_EQ(FileNameOfPath("C:\\a\x80\\\x80.wav", '\\'), "\x80.wav");
  Prepared w(Typical("D:\\乗\\乗乗.mid"));
  EXPECT_EQ(w.host.Content(编辑框4), "乗乗.mid");
}

TEST(Lifecycle, LongValuesAreCutAt10239Bytes) {
  Prepared w("[系统设置]\r\n提示开始=" + std::string(10239, '7') + "\r\n提示间隔=" + std::string(10240, '8') + "\r\n");
  EXPECT_EQ(w.host.Content(编辑框2).size(), 10239u);
  EXPECT_EQ(w.host.Content(编辑框3).size(), 10239u);
}

TEST(Lifecycle, ACloseRequestSavesThreeKeysAndQuitSavesNothing) {
  World w;
  w.host.SetContent(编辑框2, "3");
  w.host.SelectMenuItem(菜单项_退出程序);
  EXPECT_TRUE(w.host.Destroyed());
  EXPECT_FALSE(w.host.TrayIconShown());
  EXPECT_FALSE(w.files.FileText(kConfig));

  World second;
  second.StartCountdown(600);
  second.host.SetContent(编辑框2, "3");
  second.host.SetContent(编辑框3, "15");
  second.host.RequestClose();
  EXPECT_TRUE(second.host.Destroyed());
  EXPECT_TRUE(second.power.requests.empty());
  EXPECT_FALSE(second.power.keptAwake);  // cancelled on the way out
  EXPECT_EQ(second.files.FileText(kConfig), "[系统设置]\r\n自定提示声=\r\n提示开始=3\r\n提示间隔=15\r\n");
  second.program.ExitCleanUp();
  EXPECT_EQ(second.sound.stops, 1);
}

// The session only asks whether it may end: the user may still cancel the desktop's dialog.
TEST(Lifecycle, TheSessionsQuestionSavesTheSettingsAndTheScheduleGoesOn) {
  World w;
  w.StartCountdown(600);
  w.host.SetContent(编辑框2, "3");
  w.host.Raise(ui::kWindowName, ui::Event::SessionEndQuery);
  EXPECT_NE(w.files.FileText(kConfig)->find("提示开始=3\r\n"), std::string::npos);
  EXPECT_FALSE(w.host.Destroyed());
  EXPECT_TRUE(w.power.keptAwake);
}

TEST(Lifecycle, QuitLeavesTheOldStartMinutesInTheFile) {
  Prepared w(Typical(""));
  w.host.SetContent(编辑框2, "9");
  w.host.SelectMenuItem(菜单项_退出程序);
  EXPECT_NE(w.files.FileText(kConfig)->find("提示开始=5"), std::string::npos);
}

TEST(Lifecycle, CustomEnabledIsSavedOnEveryClick) {
  World w;
  w.host.Click(选择框4);
  EXPECT_EQ(w.files.FileText(kConfig), "[系统设置]\r\n启用自定义=真\r\n");
  w.host.Click(选择框4);
  EXPECT_EQ(w.files.FileText(kConfig), "[系统设置]\r\n启用自定义=假\r\n");
}

TEST(Lifecycle, TheChooserRemembersItsLastPathAcrossACancel) {
  World w;
  w.host.ScriptDialog("");  // cancel on the first opening
  w.host.Click(按钮3);
  EXPECT_EQ(w.host.State(通用对话框1).filter, "声音文件(*.wav;*.mid;)|*.wav;*.mid;||");
  EXPECT_EQ(w.program.customSoundPath(), "");
  EXPECT_FALSE(w.files.FileText(kConfig));

  w.files.PutFile("E:\\铃声\\a.mid", "MThd\0\0\0\6"s);
  w.host.ScriptDialog("E:\\铃声\\a.mid");
  w.host.Click(按钮3);
  EXPECT_EQ(w.program.customSoundPath(), "E:\\铃声\\a.mid");
  EXPECT_EQ(w.host.Content(编辑框4), "a.mid");
  EXPECT_FALSE(w.host.Disabled(按钮4));
  EXPECT_EQ(w.files.FileText(kConfig), "[系统设置]\r\n自定提示声=E:\\铃声\\a.mid\r\n");

  // A later cancel applies the same path again, re-reading the file.
  w.files.PutFile("E:\\铃声\\a.mid", "MThd\0\0\0\6\0\1"s);
  w.host.ScriptDialog("");
  w.host.Click(按钮3);
  EXPECT_EQ(w.program.customSoundData().size(), 10u);
  EXPECT_EQ(w.host.State(通用对话框1).initialDirectory, "E:\\铃声\\a.mid");
}

TEST(Lifecycle, AnUnreadableChoiceIsStillSavedAndPlaysTheBuiltInClip) {
  World w;
  w.host.ScriptDialog("E:\\gone.wav");
  w.host.Click(按钮3);
  EXPECT_EQ(w.program.customSoundPath(), "E:\\gone.wav");
  EXPECT_TRUE(w.host.Disabled(按钮4));
  EXPECT_NE(w.files.FileText(kConfig)->find("E:\\gone.wav"), std::string::npos);
}

// A chosen path the settings file cannot hold: kept by the name the file system offers
// (which the next start opens), or, when there is none, played for this run only, the
// user told, and nothing of it stored.
TEST(Lifecycle, AChoiceGbkCannotWriteIsKeptByAnotherNameOrTheUserIsTold) {
  const std::string chosen = "\xFF" "C:\\Users\\Jo\xC3\xB6rg\\a.wav";  // only the file system reads it
  World w;
  w.files.PutFile(chosen, "RIFF\0\0\0\0WAVE"s);
  w.files.SetKeptPath(chosen, {"C:\\Users\\JRG~1\\a.wav", "C:\\Users\\JRG~1\\a.wav"});
  w.host.ScriptDialog(chosen);
  w.host.Click(按钮3);
  EXPECT_EQ(w.program.customSoundData().size(), 12u);
  EXPECT_EQ(w.files.FileText(kConfig), "[系统设置]\r\n自定提示声=C:\\Users\\JRG~1\\a.wav\r\n");
  EXPECT_TRUE(w.boxes.shown.empty());

  w.files.SetKeptPath(chosen, {"", "C:\\Users\\Jo?rg\\a?.wav"});
  w.host.ScriptDialog(chosen);
  w.host.Click(按钮3);
  EXPECT_EQ(w.program.customSoundData().size(), 12u);
  EXPECT_FALSE(w.host.Disabled(按钮4));
  EXPECT_EQ(w.host.Content(编辑框4), "a?.wav");
  EXPECT_EQ(w.files.FileText(kConfig), "[系统设置]\r\n自定提示声=\r\n");
  ASSERT_EQ(w.boxes.shown.size(), 1u);
  EXPECT_NE(w.boxes.shown[0].text.find("下次启动时程序无法找回它"), std::string::npos);
  w.host.RequestClose();
  EXPECT_EQ(w.files.FileText(kConfig)->find("\xFF"), std::string::npos);
}

// The next start shows a kept path's file name as the file system shows it, as the
// choice did, not the stored form's.
TEST(Lifecycle, AKeptPathShowsAtTheNextStartAsWhenItWasChosen) {
  const std::string kept = "file:///%EC%9D%8C%EC%95%85/Bj%C3%B6rk.wav";
  World w(false);
  w.files.SetKeptPath("D:\\Bj\xC3\xB6rk.wav", {kept, "D:\\音乐\\Bj?rk.wav"});
  w.files.PutFile(kConfig, Typical(kept));
  w.host.Build();
  EXPECT_EQ(w.host.Content(编辑框4), "Bj?rk.wav");
  EXPECT_EQ(w.program.customSoundPath(), kept);
}

TEST(Lifecycle, MinimisingHidesToTheTrayAndAClickBringsItBack) {
  World w;
  EXPECT_TRUE(w.host.Disabled(菜单项_显示窗口));
  w.host.Minimise();
  EXPECT_FALSE(w.host.Visible(窗口1));
  EXPECT_FALSE(w.host.Disabled(菜单项_显示窗口));
  EXPECT_EQ(w.host.TrayCalls().back().command, ui::TrayCommand::Modify);
  EXPECT_EQ(w.host.TrayCalls().back().tip, "Tolvane");
  w.host.TrayMouse(1);
  EXPECT_TRUE(w.host.Visible(窗口1));
  EXPECT_EQ(w.host.WindowState(), ui::kStateNormal);
  EXPECT_TRUE(w.host.Disabled(菜单项_显示窗口));
  w.host.TrayMouse(3);
  EXPECT_EQ(w.host.Popups(), 1);
  EXPECT_EQ(w.host.LiveIcons(), 1);  // replaced icons were freed
}

TEST(Lifecycle, TheIconComesBackAfterExplorerRestarts) {
  World w;
  const auto before = w.host.TrayCalls().size();
  w.host.ExplorerRestarted();
  ASSERT_EQ(w.host.TrayCalls().size(), before + 1);
  EXPECT_EQ(w.host.TrayCalls().back().command, ui::TrayCommand::Add);
}

TEST(Lifecycle, AReadOnlyFolderIsIgnoredSilently) {
  World w;
  w.files.SetReadOnlyDirectory("C:\\Tolvane");
  w.host.RequestClose();
  EXPECT_TRUE(w.host.Destroyed());
  EXPECT_TRUE(w.boxes.shown.empty());
  EXPECT_FALSE(w.files.FileText(kConfig));
}

}  // namespace
}  // namespace tolvane::testing
