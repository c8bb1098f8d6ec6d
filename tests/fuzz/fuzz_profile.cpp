// Settings file reading and writing on arbitrary input.
// Input: three length bytes, then that many bytes of section, key and value,
// then the file's bytes.
//
// Decoding a Unicode file converts it a character at a time, which is most of
// the cost of an input: each step decodes the file only where the code under
// test must, and the checks compare bytes instead of reading the file again.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "platform/files/profile.h"
#include "platform/text/gbk_unicode.h"

// The harness's own byte comparisons are no coverage for the fuzzer to chase.
#if defined(__clang__)
#define NOT_COVERED __attribute__((no_sanitize("coverage")))
#else
#define NOT_COVERED
#endif

namespace {

const std::string kPath = "C:\\Tolvane\\config.ini";

void Check(bool condition) {
  if (!condition) std::abort();
}

// The settings file and nothing else: all that the settings functions reach,
// without a file table to look paths up in.
class OneFile final : public tolvane::FileSystem {
 public:
  std::optional<std::vector<std::uint8_t>> ReadWholeFile(const std::string& path, std::size_t maxBytes) const override {
    Check(path == kPath);
    if (bytes.size() > maxBytes) return std::nullopt;
    return std::vector<std::uint8_t>(bytes.begin(), bytes.end());
  }
  bool Exists(const std::string& path) const override { return path == kPath; }
  bool ReplaceFileAtomically(const std::string& path, std::span<const std::uint8_t> written) override {
    Check(path == kPath);
    bytes.assign(written.begin(), written.end());
    ++replaces;
    return true;
  }
  std::string ProgramDirectory() const override { return "C:\\Tolvane"; }
  char PathSeparator() const override { return '\\'; }

  std::string bytes;
  int replaces = 0;
};

// clang (the libFuzzer build) cannot compile the program's names to GBK; there a
// Unicode file may rightly refuse them, so only the GBK build insists on success.
const bool kGbkTexts = std::string_view("系") == "\xCF\xB5";

std::string Take(std::string_view& input, std::size_t length) {
  const std::string part(input.substr(0, length));
  input.remove_prefix(part.size());
  return part;
}

// An update rewrites at most part of one line and adds lines: what the write
// took out of the file holds no line break. Compared on the file's bytes, in its
// own code units (a lossless file encodes its unchanged text to the same bytes).
NOT_COVERED bool OnlyOneLineTouched(std::string_view before, std::string_view after, tolvane::ProfileEncoding encoding) {
  const bool wide = encoding == tolvane::ProfileEncoding::Utf16Le || encoding == tolvane::ProfileEncoding::Utf16Be;
  const std::size_t unit = wide ? 2 : 1;
  const std::size_t shorter = std::min(before.size(), after.size()) / unit * unit;
  std::size_t prefix = 0, suffix = 0;
  while (prefix < shorter && before[prefix] == after[prefix]) ++prefix;
  prefix -= prefix % unit;
  while (prefix + suffix < shorter && before[before.size() - 1 - suffix] == after[after.size() - 1 - suffix]) ++suffix;
  suffix = std::min(suffix - suffix % unit, shorter - prefix);
  for (std::size_t at = prefix; at + suffix < before.size(); at += unit) {
    const std::string_view code = before.substr(at, unit);
    const char c = !wide ? code[0] : encoding == tolvane::ProfileEncoding::Utf16Le ? (code[1] == 0 ? code[0] : 'x')
                                                                                   : (code[0] == 0 ? code[1] : 'x');
    if (c == '\r' || c == '\n') return false;
  }
  return true;
}

// The settings functions on one file in a world of its own, reused across inputs.
void WriteAndReadBack(const std::string& file, const tolvane::ProfileText& decoded, const std::string& section,
                      const std::string& key, const std::string& value, bool mustSucceed) {
  static OneFile files;
  files.bytes = file;
  if (!tolvane::WriteProfileString(files, kPath, section, key, value)) {
    Check(!mustSucceed);
    Check(files.bytes == file);  // a refused write leaves the file alone
    return;
  }
  std::string expected(value.c_str());
  if (expected.size() > tolvane::kProfileValueLimit) expected.resize(tolvane::kProfileValueLimit);
  Check(tolvane::ReadProfileString(files, kPath, section, key, "-") == expected);

  // Nothing else moved, and the file keeps its encoding (a byte-order mark is
  // never added or lost: the start of the file is never rewritten).
  Check(OnlyOneLineTouched(file, files.bytes, decoded.encoding));
  Check(files.bytes.compare(0, 3, file, 0, 3) == 0 || file.size() < 3);

  // Writing the same value again writes nothing.
  const int replaces = files.replaces;
  Check(tolvane::WriteProfileString(files, kPath, section, key, value));
  Check(files.replaces == replaces);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view input(reinterpret_cast<const char*>(data), size);
  if (input.size() < 3) return 0;
  const std::size_t sectionLength = static_cast<unsigned char>(input[0]) % 24;
  const std::size_t keyLength = static_cast<unsigned char>(input[1]) % 24;
  const std::size_t valueLength = static_cast<unsigned char>(input[2]);
  input.remove_prefix(3);
  const std::string section = Take(input, sectionLength);
  const std::string key = Take(input, keyLength);
  const std::string value = Take(input, valueLength);
  const std::string file(input);

  // The pure layer straight on the text, with the same names.
  // The file is decoded once here and shared with the checks below.
  const auto decoded = tolvane::DecodeProfileFile(std::span(reinterpret_cast<const std::uint8_t*>(file.data()), file.size()));
  const auto before = tolvane::FindProfileValue(decoded.text, section, key);
  std::string text = decoded.text;
  switch (tolvane::SetProfileValue(text, section, key, value)) {
    case tolvane::ProfileEdit::Refused: Check(text == decoded.text); break;
    case tolvane::ProfileEdit::Unchanged: Check(before == value && text == decoded.text); break;
    case tolvane::ProfileEdit::Changed:
      Check(tolvane::FindProfileValue(text, section, key) == value && before != value);
      Check(OnlyOneLineTouched(decoded.text, text, tolvane::ProfileEncoding::Gbk));
      break;
  }

  WriteAndReadBack(file, decoded, section, key, value, false);
  // With plain names, any one-line value must be stored in any file that can
  // be rewritten without loss (in a Unicode file, if it is valid GBK).
  const std::string_view line(value.c_str());
  bool validGbk = true;
  tolvane::GbkToCodePoints(line, &validGbk);
  const bool storable = line.find_first_of("\r\n") == std::string_view::npos && decoded.lossless &&
                        (validGbk || decoded.encoding == tolvane::ProfileEncoding::Gbk) &&
                        file.size() <= tolvane::kMaxProfileFileBytes && kGbkTexts;
  WriteAndReadBack(file, decoded, "系统设置", "提示开始", value, storable);
  return 0;
}
