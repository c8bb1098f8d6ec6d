// Settings file reading and writing on arbitrary input.
// Input: three length bytes, then that many bytes of section, key and value,
// then the file's bytes.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "app/profile.h"
#include "headless/memory_files.h"
#include "platform/files/gbk_unicode.h"

namespace {

using tolvane::headless::MemoryFileSystem;

const std::string kPath = "C:\\Tolvane\\config.ini";

void Check(bool condition) {
  if (!condition) std::abort();
}

// clang (the libFuzzer build) cannot compile the program's names to GBK; there a
// Unicode file may rightly refuse them, so only the GBK build insists on success.
const bool kGbkTexts = std::string_view("系") == "\xCF\xB5";

std::string Take(std::string_view& input, std::size_t length) {
  const std::string part(input.substr(0, length));
  input.remove_prefix(part.size());
  return part;
}

// How the program sees a name: up to its first zero, leading controls and
// surrounding blanks dropped, ASCII letters folded.
std::string NameKey(const std::string& name) {
  std::string_view s(name.c_str());
  while (!s.empty() && static_cast<unsigned char>(s.front()) <= 0x20) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\v' || s.back() == '\f'))
    s.remove_suffix(1);
  std::string key(s);
  for (char& c : key)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return key;
}

void WriteAndReadBack(const std::string& file, const std::string& section, const std::string& key,
                      const std::string& value, bool mustSucceed) {
  MemoryFileSystem files;
  files.PutFile(kPath, file);
  const std::string probeSection = "另一节", probeKey = "探针";
  const std::string sameSectionBefore = tolvane::ReadProfileString(files, kPath, section, probeKey, "-");
  const std::string otherSectionBefore = tolvane::ReadProfileString(files, kPath, probeSection, key, "-");

  if (!tolvane::WriteProfileString(files, kPath, section, key, value)) {
    Check(!mustSucceed);
    Check(files.FileText(kPath) == file);  // a refused write leaves the file alone
    return;
  }
  std::string expected(value.c_str());
  if (expected.size() > tolvane::kProfileValueLimit) expected.resize(tolvane::kProfileValueLimit);
  Check(tolvane::ReadProfileString(files, kPath, section, key, "-") == expected);

  // Nothing else moved.
  if (NameKey(key) != NameKey(probeKey))
    Check(tolvane::ReadProfileString(files, kPath, section, probeKey, "-") == sameSectionBefore);
  if (NameKey(section) != NameKey(probeSection))
    Check(tolvane::ReadProfileString(files, kPath, probeSection, key, "-") == otherSectionBefore);

  // Writing the same value again writes nothing.
  const int replaces = files.ReplaceCount();
  Check(tolvane::WriteProfileString(files, kPath, section, key, value));
  Check(files.ReplaceCount() == replaces);
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
  const auto decoded = tolvane::DecodeProfileFile(std::span(reinterpret_cast<const std::uint8_t*>(file.data()), file.size()));
  (void)tolvane::FindProfileValue(decoded.text, section, key);
  std::string text = decoded.text;
  if (tolvane::SetProfileValue(text, section, key, value) != tolvane::ProfileEdit::Refused)
    Check(tolvane::FindProfileValue(text, section, key) == value);

  WriteAndReadBack(file, section, key, value, false);
  // With plain names, any one-line value must be stored in any file that can
  // be rewritten without loss (in a Unicode file, if it is valid GBK).
  const std::string_view line(value.c_str());
  bool validGbk = true;
  tolvane::GbkToCodePoints(line, &validGbk);
  const bool storable = line.find_first_of("\r\n") == std::string_view::npos && decoded.lossless &&
                        (validGbk || decoded.encoding == tolvane::ProfileEncoding::Gbk) &&
                        file.size() <= tolvane::kMaxProfileFileBytes && kGbkTexts;
  WriteAndReadBack(file, "系统设置", "提示开始", value, storable);
  return 0;
}
