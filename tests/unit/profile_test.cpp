#include "platform/files/profile.h"

#include <gtest/gtest.h>

#include "headless/memory_files.h"

namespace tolvane {
namespace {

using headless::MemoryFileSystem;

const std::string kPath = "C:\\Tolvane\\config.ini";
const std::string kSection = "系统设置";

std::optional<std::string> Find(std::string_view text, std::string_view key, std::string_view section = kSection) {
  return FindProfileValue(text, section, key);
}

std::string Bytes(std::initializer_list<std::uint8_t> prefix, std::string_view rest = {}) {
  std::string s(prefix.begin(), prefix.end());
  return s + std::string(rest);
}

TEST(ProfileRead, NamesMatchWithoutAsciiCaseAndBlanksAroundThemAndValues) {
  const std::string text = "  [ Settings ]\r\n  Interval  =  30  \r\n\tMode\t=\tfast\r\n";
  EXPECT_EQ(Find(text, "interval", "SETTINGS"), "30");
  EXPECT_EQ(Find(text, "MODE", "settings"), "fast");
  EXPECT_EQ(Find(text, " Interval ", " Settings "), "30");
  EXPECT_EQ(Find(text, "Interva", "Settings"), std::nullopt);
}

TEST(ProfileRead, GbkTrailBytesAreNotCaseFolded) {
  // 癆 is B0 41 and 癮 is B0 61: folding the trail byte would make them one name.
  const std::string text = "[系统设置]\r\n癆=1\r\n[A癮]\r\nk=2\r\n";
  EXPECT_EQ(Find(text, "癆"), "1");
  EXPECT_EQ(Find(text, "癮"), std::nullopt);
  EXPECT_EQ(Find(text, "k", "a癮"), "2");
  EXPECT_EQ(Find(text, "k", "A癆"), std::nullopt);
}

TEST(ProfileRead, OnePairOfMatchingQuotesIsRemoved) {
  const std::string text =
      "[s]\na=\" 0\"\nb='x y'\nc=\"x'\nd=\"\"\ne=\"\nf=\"\"q\"\"\ng=  \"padded\"  \n";
  EXPECT_EQ(Find(text, "a", "s"), " 0");
  EXPECT_EQ(Find(text, "b", "s"), "x y");
  EXPECT_EQ(Find(text, "c", "s"), "\"x'");
  EXPECT_EQ(Find(text, "d", "s"), "");
  EXPECT_EQ(Find(text, "e", "s"), "\"");
  EXPECT_EQ(Find(text, "f", "s"), "\"q\"");
  EXPECT_EQ(Find(text, "g", "s"), "padded");
}

TEST(ProfileRead, FirstOfDuplicateSectionsAndKeysWins) {
  const std::string text = "[s]\nk=first\nK=second\n[other]\nk=other\n[S]\nk=third\nonly=later\n";
  EXPECT_EQ(Find(text, "k", "s"), "first");
  EXPECT_EQ(Find(text, "only", "s"), std::nullopt);  // the duplicate section is not searched
  EXPECT_EQ(Find(text, "k", "other"), "other");
}

TEST(ProfileRead, EveryLineEndingSplitsLines) {
  for (const std::string eol : {"\r\n", "\n", "\r"}) {
    const std::string text = "[s]" + eol + "a=1" + eol + "b=2" + eol + "[t]" + eol + "a=3";
    EXPECT_EQ(Find(text, "a", "s"), "1") << int(eol.size());
    EXPECT_EQ(Find(text, "b", "s"), "2");
    EXPECT_EQ(Find(text, "a", "t"), "3");
  }
  EXPECT_EQ(Find("[s]\r\r\na=1\n\rb=2", "b", "s"), "2");  // mixed endings and blank lines
}

TEST(ProfileRead, CommentsOtherLinesAndKeysOutsideSectionsAreNotKeys) {
  const std::string text = "k=before\n[s]\n;k=comment\n  ; j=comment\nk\nj = \n[t\nx=1\n[u] trailing\ny=2\n";
  EXPECT_EQ(Find(text, "k", "s"), std::nullopt);
  EXPECT_EQ(Find(text, "j", "s"), "");  // present and empty is not missing
  EXPECT_EQ(Find(text, "x", "t"), "1");  // a section line without ']' still names its section
  EXPECT_EQ(Find(text, "y", "u"), "2");
}

TEST(ProfileRead, SectionNameScanStepsOverGbkCharacters) {
  // 乗 is 81 5D: its trail byte is ']' and must not end the name.
  const std::string name = "\x81\x5d";
  EXPECT_EQ(Find("[" + name + "]\nk=1\n", "k", name), "1");
}

TEST(ProfileRead, SettingFromFileWithDefaultsAndLimits) {
  MemoryFileSystem files;
  EXPECT_EQ(ReadProfileString(files, kPath, kSection, "提示开始", " 0"), " 0");  // no file

  files.PutFile(kPath, "[系统设置]\r\n提示间隔=30\r\n空=\r\n");
  EXPECT_EQ(ReadProfileString(files, kPath, kSection, "提示间隔", "0"), "30");
  EXPECT_EQ(ReadProfileString(files, kPath, kSection, "空", "x"), "");
  EXPECT_EQ(ReadProfileString(files, kPath, kSection, "提示开始", " 0"), " 0");
  EXPECT_EQ(ReadProfileString(files, kPath, kSection, "提示开始", "5  "), "5");  // default loses trailing blanks
  EXPECT_EQ(ReadProfileString(files, kPath, "其他", "提示间隔", "0"), "0");

  files.SetUnreadable(kPath);
  EXPECT_EQ(ReadProfileString(files, kPath, kSection, "提示间隔", "0"), "0");
  files.SetUnreadable(kPath, false);

  files.PutFile(kPath, "[系统设置]\r\n提示间隔=30\r\n" + std::string(kMaxProfileFileBytes, ';'));
  EXPECT_EQ(ReadProfileString(files, kPath, kSection, "提示间隔", "0"), "0");
}

TEST(ProfileRead, ValueIsCutAt10239Bytes) {
  MemoryFileSystem files;
  const std::string fits(kProfileValueLimit, 'a');
  files.PutFile(kPath, "[s]\r\nfits=" + fits + "\r\nlong=" + fits + "bc\r\n");
  EXPECT_EQ(ReadProfileString(files, kPath, "s", "fits", ""), fits);
  EXPECT_EQ(ReadProfileString(files, kPath, "s", "long", ""), fits);
  EXPECT_EQ(ReadProfileString(files, kPath, "s", "none", std::string(kProfileValueLimit + 1, 'd')),
            std::string(kProfileValueLimit, 'd'));
}

TEST(ProfileRead, LeadingControlBytesSkippedAndEmptyNamesReadNothing) {
  MemoryFileSystem files;
  files.PutFile(kPath, "[s]\r\nk=v\r\n");
  EXPECT_EQ(ReadProfileString(files, " \t\x01" + kPath, "\x1f s", "\r\nk", "d"), "v");
  const int reads = files.ReadCount();
  EXPECT_EQ(ReadProfileString(files, kPath, " \x10", "k", "d"), "");
  EXPECT_EQ(ReadProfileString(files, kPath, "s", "", "d"), "");
  EXPECT_EQ(ReadProfileString(files, "  ", "s", "k", "d"), "");
  EXPECT_EQ(files.ReadCount(), reads);
}

TEST(ProfileWrite, NewFileHoldsTheSectionLineThenTheKey) {
  MemoryFileSystem files;
  ASSERT_TRUE(WriteProfileString(files, kPath, kSection, "键", "值"));
  EXPECT_EQ(files.FileText(kPath), "[系统设置]\r\n键=值\r\n");
  ASSERT_TRUE(WriteProfileString(files, kPath, kSection, "提示间隔", "30"));
  ASSERT_TRUE(WriteProfileString(files, kPath, "其他", "a", "1"));
  EXPECT_EQ(files.FileText(kPath), "[系统设置]\r\n键=值\r\n提示间隔=30\r\n[其他]\r\na=1\r\n");
}

TEST(ProfileWrite, UpdatesOneLineAndKeepsEverythingElseByteForByte) {
  const std::string before =
      "; settings\n[Other]\nk = keep  \n\n[系统设置]\n  提示间隔 = \"30\"\n; note\nweird line\n\n; next\n[Last]\nx=1";
  MemoryFileSystem files;
  files.PutFile(kPath, before);

  ASSERT_TRUE(WriteProfileString(files, kPath, kSection, "提示间隔", "45"));
  EXPECT_EQ(files.FileText(kPath),
            "; settings\n[Other]\nk = keep  \n\n[系统设置]\n提示间隔=45\n; note\nweird line\n\n; next\n[Last]\nx=1");

  // A new key goes after the section's last entry, ahead of the blank line and
  // the comment that lead into the next section.
  ASSERT_TRUE(WriteProfileString(files, kPath, kSection, "提示开始", "5"));
  EXPECT_EQ(files.FileText(kPath),
            "; settings\n[Other]\nk = keep  \n\n[系统设置]\n提示间隔=45\n; note\nweird line\n提示开始=5\n\n; next\n"
            "[Last]\nx=1");

  // The last line has no line break: the new key still gets a line of its own.
  ASSERT_TRUE(WriteProfileString(files, kPath, "LAST", "y", "2"));
  EXPECT_EQ(files.FileText(kPath),
            "; settings\n[Other]\nk = keep  \n\n[系统设置]\n提示间隔=45\n; note\nweird line\n提示开始=5\n\n; next\n"
            "[Last]\nx=1\ny=2");
}

TEST(ProfileWrite, KeepsTheFilesLineEndingsAndKeySpelling) {
  MemoryFileSystem files;
  files.PutFile(kPath, "[S]\rInterval=1\r");
  ASSERT_TRUE(WriteProfileString(files, kPath, "s", "INTERVAL", "2"));
  ASSERT_TRUE(WriteProfileString(files, kPath, "s", "mode", "x"));
  ASSERT_TRUE(WriteProfileString(files, kPath, "t", "k", "v"));
  EXPECT_EQ(files.FileText(kPath), "[S]\rInterval=2\rmode=x\r[t]\rk=v\r");
}

TEST(ProfileWrite, SameValueWritesNothing) {
  MemoryFileSystem files;
  files.PutFile(kPath, "[系统设置]\r\n提示开始 = \" 0\"\r\n启用自定义=真\r\n");
  EXPECT_TRUE(WriteProfileString(files, kPath, kSection, "提示开始", " 0"));
  EXPECT_TRUE(WriteProfileString(files, kPath, "系统设置", "启用自定义", "真"));
  EXPECT_EQ(files.ReplaceCount(), 0);
}

TEST(ProfileWrite, ValuesReadBackExactlyAsWritten) {
  MemoryFileSystem files;
  for (const std::string value : {" 0", "5分 ", "\"quoted\"", "'a'", "\"", "a=b;c", "[x]", "D:\\声音\\提醒.wav", ""}) {
    ASSERT_TRUE(WriteProfileString(files, kPath, kSection, "k", value)) << value;
    EXPECT_EQ(ReadProfileString(files, kPath, kSection, "k", "default"), value);
  }
}

TEST(ProfileWrite, RefusesWhatCouldNotBeReadBack) {
  std::string text = "[s]\nk=1\n";
  EXPECT_EQ(SetProfileValue(text, "s", "k", "two\r\nlines"), ProfileEdit::Refused);
  EXPECT_EQ(SetProfileValue(text, "s", ";k", "1"), ProfileEdit::Refused);
  EXPECT_EQ(SetProfileValue(text, "s", "[k]", "1"), ProfileEdit::Refused);
  EXPECT_EQ(SetProfileValue(text, "s", "a=b", "1"), ProfileEdit::Refused);
  EXPECT_EQ(SetProfileValue(text, "a]b", "k", "1"), ProfileEdit::Refused);
  EXPECT_EQ(SetProfileValue(text, "\x81", "k", "1"), ProfileEdit::Refused);  // lone lead byte would swallow ']'
  EXPECT_EQ(SetProfileValue(text, "  ", "k", "1"), ProfileEdit::Refused);
  EXPECT_EQ(text, "[s]\nk=1\n");
}

TEST(ProfileWrite, NeverOverwritesWhatItCannotRead) {
  MemoryFileSystem files;
  files.PutFile(kPath, "[系统设置]\r\n提示间隔=30\r\n");
  files.SetUnreadable(kPath);
  EXPECT_FALSE(WriteProfileString(files, kPath, kSection, "提示开始", "5"));
  files.SetUnreadable(kPath, false);
  EXPECT_EQ(files.FileText(kPath), "[系统设置]\r\n提示间隔=30\r\n");

  const std::string big = "[s]\r\n" + std::string(kMaxProfileFileBytes, ';');
  files.PutFile(kPath, big);
  EXPECT_FALSE(WriteProfileString(files, kPath, "s", "k", "v"));
  EXPECT_EQ(files.FileText(kPath), big);

  files.RemoveFile(kPath);
  files.SetReadOnlyDirectory("C:\\Tolvane");
  EXPECT_FALSE(WriteProfileString(files, kPath, kSection, "提示开始", "5"));
  EXPECT_FALSE(files.Exists(kPath));
}

TEST(ProfileUnicodeFiles, ReadInTheirEncodingAndWrittenBackInIt) {
  struct Case {
    const char* name;
    std::string bom;
    std::string (*encode)(std::u32string_view);
  };
  const auto utf8 = [](std::u32string_view s) {
    std::string out;
    for (char32_t c : s) {
      if (c < 0x80) {
        out += static_cast<char>(c);
      } else {  // only BMP characters in these tests
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
      }
    }
    return out;
  };
  const auto le = [](std::u32string_view s) {
    std::string out;
    for (char32_t c : s) out += {static_cast<char>(c & 0xFF), static_cast<char>(c >> 8)};
    return out;
  };
  const auto be = [](std::u32string_view s) {
    std::string out;
    for (char32_t c : s) out += {static_cast<char>(c >> 8), static_cast<char>(c & 0xFF)};
    return out;
  };
  const Case cases[] = {{"UTF-8", Bytes({0xEF, 0xBB, 0xBF}), utf8},
                        {"UTF-16 LE", Bytes({0xFF, 0xFE}), le},
                        {"UTF-16 BE", Bytes({0xFE, 0xFF}), be}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    MemoryFileSystem files;
    files.PutFile(kPath, c.bom + c.encode(U"[系统设置]\r\n自定提示声=D:\\声音\\提醒.wav\r\n"));
    EXPECT_EQ(ReadProfileString(files, kPath, kSection, "自定提示声", ""), "D:\\声音\\提醒.wav");

    ASSERT_TRUE(WriteProfileString(files, kPath, kSection, "启用自定义", "真"));
    EXPECT_EQ(files.FileText(kPath),
              c.bom + c.encode(U"[系统设置]\r\n自定提示声=D:\\声音\\提醒.wav\r\n启用自定义=真\r\n"));
  }
}

TEST(ProfileUnicodeFiles, CharactersOutsideGbkAreReadAsQuestionMarksAndTheFileIsNotRewritten) {
  MemoryFileSystem files;
  // U+20000 is outside GBK; "€" is inside it (code page 936 byte 80).
  const std::string file = Bytes({0xEF, 0xBB, 0xBF}, "[s]\r\nk=\xF0\xA0\x80\x80\r\ne=\xE2\x82\xAC\r\n");
  files.PutFile(kPath, file);
  EXPECT_EQ(ReadProfileString(files, kPath, "s", "k", ""), "?");
  EXPECT_EQ(ReadProfileString(files, kPath, "s", "e", ""), "\x80");
  EXPECT_FALSE(WriteProfileString(files, kPath, "s", "n", "1"));
  EXPECT_EQ(files.FileText(kPath), file);

  // Broken UTF-16 (an unpaired surrogate) is likewise read but left alone.
  const std::string broken = Bytes({0xFF, 0xFE, '[', 0, 's', 0, ']', 0, '\n', 0, 'k', 0, '=', 0, 0x00, 0xD8});
  files.PutFile(kPath, broken);
  EXPECT_EQ(ReadProfileString(files, kPath, "s", "k", "d"), "?");
  EXPECT_FALSE(WriteProfileString(files, kPath, "s", "k", "1"));
  EXPECT_EQ(files.FileText(kPath), broken);
}

}  // namespace
}  // namespace tolvane
