// File names (the system's bytes) as the program's GBK text and back.
#include <gtest/gtest.h>

#include <string>

#include "platform/text/text_linux.h"

namespace tolvane {
namespace {

std::string Bytes(std::u8string_view utf8) { return {utf8.begin(), utf8.end()}; }

TEST(FileNames, PlainGbkWhereItWritesTheNameElseAFileUriOfItsBytes) {
  struct Case {
    std::string name, text, shown;
  } const cases[] = {
      {Bytes(u8"/home/li/定时关机/提醒.wav"), "/home/li/定时关机/提醒.wav", "/home/li/定时关机/提醒.wav"},
      {"/tmp/50% off;#1.wav", "/tmp/50% off;#1.wav", "/tmp/50% off;#1.wav"},
      {Bytes(u8"/home/음악/Björk.wav"), "file:///home/%EC%9D%8C%EC%95%85/Bj%C3%B6rk.wav", "/home/?\?/Bj?rk.wav"},
      {"/tmp/a#b%c d\xF6.wav", "file:///tmp/a%23b%25c%20d%F6.wav", "/tmp/a#b%c d?.wav"},  // bytes in no encoding
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(FileNameToText(c.name), c.text);
    EXPECT_EQ(TextToFileName(c.text), c.name);
    EXPECT_EQ(FileNameTextShown(c.text), c.shown);
  }
  EXPECT_EQ(FileNameToText("file:x.wav"), "");  // a relative name that would read back as a URI
}

// Text from the settings file that starts with "file:" is a local file URI or names
// nothing: it is never opened as some other file.
TEST(FileNames, TextThatIsNoLocalFileUriNamesNothing) {
  EXPECT_EQ(TextToFileName("FILE://localhost/tmp/a.wav"), "/tmp/a.wav");
  for (const char* text : {"file:///tmp/%G1.wav", "file:///tmp/a%", "file:///tmp/a%4", "file:///tmp/a%2Fb.wav",
                           "file:///tmp/a%00.wav", "file://server/tmp/a.wav", "file:a.wav", "file:///tmp/提醒.wav",
                           "/tmp/\x81.wav"}) {
    EXPECT_EQ(TextToFileName(text), "") << text;
  }
}

}  // namespace
}  // namespace tolvane
