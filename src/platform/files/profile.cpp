#include "platform/files/profile.h"

#include <algorithm>
#include <initializer_list>

#include "platform/text/gbk.h"
#include "platform/text/gbk_unicode.h"
#include "platform/text/utf.h"

namespace tolvane {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\v' || c == '\f'; }
bool IsLineBreak(char c) { return c == '\r' || c == '\n'; }

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

std::string_view Unquote(std::string_view value) {
  if (value.size() >= 2 && value.front() == value.back() && (value.front() == '"' || value.front() == '\''))
    return value.substr(1, value.size() - 2);
  return value;
}

char FoldAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// ASCII letters fold; the trail byte of a GBK character is compared as it is,
// since it may fall in the letter range and still name a different character.
bool NamesEqual(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size();) {
    const std::size_t length = GbkCharLength(a, i);
    if (length == 2) {
      if (a[i] != b[i] || a[i + 1] != b[i + 1]) return false;
    } else if (FoldAscii(a[i]) != FoldAscii(b[i])) {
      return false;
    }
    i += length;
  }
  return true;
}

struct Line {
  std::size_t begin;  // content
  std::size_t end;    // content end, where the line break starts
  std::size_t next;   // after the line break
};

std::vector<Line> SplitLines(std::string_view text) {
  std::vector<Line> lines;
  std::size_t begin = 0;
  while (begin < text.size()) {
    std::size_t end = begin;
    while (end < text.size() && !IsLineBreak(text[end])) ++end;
    std::size_t next = end;
    if (next < text.size()) {
      next += (text[next] == '\r' && next + 1 < text.size() && text[next + 1] == '\n') ? 2 : 1;
    }
    lines.push_back({begin, end, next});
    begin = next;
  }
  return lines;
}

enum class Kind { Blank, Comment, Section, Entry, Other };

struct Parsed {
  Kind kind = Kind::Other;
  std::string_view name;   // section or key, trimmed
  std::string_view value;  // as written after "=", trimmed, quotes still on
};

Parsed Classify(std::string_view content) {
  std::string_view s = content;
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  if (s.empty()) return {Kind::Blank, {}, {}};
  if (s.front() == ';') return {Kind::Comment, {}, {}};
  if (s.front() == '[') {
    s.remove_prefix(1);
    std::size_t close = 0;
    while (close < s.size() && s[close] != ']') close += GbkCharLength(s, close);
    return {Kind::Section, Trim(s.substr(0, close)), {}};
  }
  const auto equals = s.find('=');  // '=' is never a GBK trail byte
  if (equals == std::string_view::npos) return {Kind::Other, {}, {}};
  return {Kind::Entry, Trim(s.substr(0, equals)), Trim(s.substr(equals + 1))};
}

// The text's own line break, CR LF for a text that has none yet.
std::string_view LineBreakOf(std::string_view text) {
  const auto at = text.find_first_of("\r\n");
  if (at == std::string_view::npos) return "\r\n";
  if (text[at] == '\n') return "\n";
  return at + 1 < text.size() && text[at + 1] == '\n' ? "\r\n" : "\r";
}

struct Location {
  std::optional<std::size_t> section;  // index of the first matching section line
  std::optional<std::size_t> key;      // index of the first matching key line in it
  std::size_t lastContent = 0;         // last line of the section that is neither blank nor comment
  std::string_view value;
  std::string_view keyAsWritten;
};

Location Locate(std::string_view text, const std::vector<Line>& lines, std::string_view section,
                std::string_view key) {
  Location at;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const Parsed line = Classify(text.substr(lines[i].begin, lines[i].end - lines[i].begin));
    if (!at.section) {
      if (line.kind == Kind::Section && NamesEqual(line.name, section)) at.section = at.lastContent = i;
      continue;
    }
    if (line.kind == Kind::Section) break;  // later duplicates of the section are not looked at
    if (line.kind != Kind::Blank && line.kind != Kind::Comment) at.lastContent = i;
    if (line.kind == Kind::Entry && NamesEqual(line.name, key)) {
      at.key = i;
      at.value = line.value;
      at.keyAsWritten = line.name;
      break;
    }
  }
  return at;
}

bool NeedsQuotes(std::string_view value) {
  if (value.empty()) return false;
  return IsBlank(value.front()) || IsBlank(value.back()) || Unquote(value).size() != value.size();
}

// A text as the program passes texts around: it ends at its first zero byte.
std::string_view AsText(const std::string& s) { return std::string_view(s.c_str()); }

std::string_view SkipLeadingControls(std::string_view s) {
  while (!s.empty() && static_cast<unsigned char>(s.front()) <= 0x20) s.remove_prefix(1);
  return s;
}

}  // namespace

ProfileText DecodeProfileFile(std::span<const std::uint8_t> bytes) {
  ProfileText result;
  const auto startsWith = [&](std::initializer_list<std::uint8_t> mark) {
    return bytes.size() >= mark.size() && std::equal(mark.begin(), mark.end(), bytes.begin());
  };
  bool valid = true;
  std::u32string unicode;
  if (startsWith({0xEF, 0xBB, 0xBF})) {
    result.encoding = ProfileEncoding::Utf8;
    unicode = DecodeUtf8(bytes.subspan(3), &valid);
  } else if (startsWith({0xFF, 0xFE})) {
    result.encoding = ProfileEncoding::Utf16Le;
    unicode = DecodeUtf16(bytes.subspan(2), false, &valid);
  } else if (startsWith({0xFE, 0xFF})) {
    result.encoding = ProfileEncoding::Utf16Be;
    unicode = DecodeUtf16(bytes.subspan(2), true, &valid);
  } else {
    result.text.assign(bytes.begin(), bytes.end());
    return result;
  }
  bool mapped = true;
  result.text = CodePointsToGbk(unicode, &mapped);
  result.lossless = valid && mapped;
  return result;
}

std::vector<std::uint8_t> EncodeProfileFile(ProfileEncoding encoding, std::string_view text, bool* lossless) {
  if (lossless) *lossless = true;
  if (encoding == ProfileEncoding::Gbk) return std::vector<std::uint8_t>(text.begin(), text.end());
  const std::u32string unicode = GbkToCodePoints(text, lossless);
  std::vector<std::uint8_t> out;
  out.reserve(unicode.size() * 2 + 3);
  switch (encoding) {
    case ProfileEncoding::Utf8:
      out = {0xEF, 0xBB, 0xBF};
      for (const char32_t c : unicode) AppendUtf8(out, c);
      break;
    case ProfileEncoding::Utf16Le:
    case ProfileEncoding::Utf16Be: {
      const bool bigEndian = encoding == ProfileEncoding::Utf16Be;
      out = bigEndian ? std::vector<std::uint8_t>{0xFE, 0xFF} : std::vector<std::uint8_t>{0xFF, 0xFE};
      for (const char32_t c : unicode) AppendUtf16(out, c, bigEndian);
      break;
    }
    case ProfileEncoding::Gbk:
      break;
  }
  return out;
}

std::optional<std::string> FindProfileValue(std::string_view text, std::string_view section, std::string_view key) {
  const Location at = Locate(text, SplitLines(text), Trim(section), Trim(key));
  if (!at.key) return std::nullopt;
  return std::string(Unquote(at.value));
}

ProfileEdit SetProfileValue(std::string& text, std::string_view section, std::string_view key,
                            std::string_view value) {
  section = Trim(section);
  key = Trim(key);
  if (section.empty() || key.empty()) return ProfileEdit::Refused;
  for (const std::string_view part : {section, key, value}) {
    if (part.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos) return ProfileEdit::Refused;
  }

  std::string header = "[" + std::string(section) + "]";
  std::string entry = std::string(key) + "=";
  if (NeedsQuotes(value)) {
    entry += '"';
    entry += value;
    entry += '"';
  } else {
    entry += value;
  }
  // Whatever is written must read back as given: a key that looks like a
  // comment or a section, a section name with a ']' in it and the like are refused.
  const Parsed headerRead = Classify(header);
  const Parsed entryRead = Classify(entry);
  if (headerRead.kind != Kind::Section || headerRead.name != section || entryRead.kind != Kind::Entry ||
      entryRead.name != key || Unquote(entryRead.value) != value)
    return ProfileEdit::Refused;

  const std::vector<Line> lines = SplitLines(text);
  const Location at = Locate(text, lines, section, key);
  const std::string lineBreak(LineBreakOf(text));

  if (at.key) {
    if (Unquote(at.value) == value) return ProfileEdit::Unchanged;
    // The file's own spelling of the key is kept.
    const Line& line = lines[*at.key];
    text.replace(line.begin, line.end - line.begin, std::string(at.keyAsWritten) + entry.substr(key.size()));
    return ProfileEdit::Changed;
  }
  if (at.section) {
    // After the section's last entry, so blank lines and comments that lead
    // into the next section stay with it.
    const Line& line = lines[at.lastContent];
    if (line.next == line.end) {
      text.insert(line.end, lineBreak + entry);
    } else {
      text.insert(line.next, entry + lineBreak);
    }
    return ProfileEdit::Changed;
  }
  if (!text.empty() && !IsLineBreak(text.back())) text += lineBreak;
  text += header + lineBreak + entry + lineBreak;
  return ProfileEdit::Changed;
}

std::string ReadSetting(const FileSystem& files, const std::string& path, const std::string& section,
                        const std::string& key, const std::string& defaultValue) {
  const std::string_view file = SkipLeadingControls(AsText(path));
  const std::string_view sectionName = SkipLeadingControls(AsText(section));
  const std::string_view keyName = SkipLeadingControls(AsText(key));
  if (file.empty() || sectionName.empty() || keyName.empty()) return {};

  std::optional<std::string> value;
  if (const auto bytes = files.ReadWholeFile(std::string(file), kMaxProfileFileBytes)) {
    value = FindProfileValue(DecodeProfileFile(*bytes).text, sectionName, keyName);
  }
  std::string result;
  if (value) {
    result = AsText(*value);
  } else {
    std::string_view fallback = AsText(defaultValue);
    while (!fallback.empty() && (fallback.back() == ' ' || fallback.back() == '\t')) fallback.remove_suffix(1);
    result = fallback;
  }
  if (result.size() > kProfileValueLimit) result.resize(kProfileValueLimit);
  return result;
}

bool WriteSetting(FileSystem& files, const std::string& path, const std::string& section, const std::string& key,
                  const std::string& value) {
  const std::string file(SkipLeadingControls(AsText(path)));
  const std::string_view sectionName = SkipLeadingControls(AsText(section));
  const std::string_view keyName = SkipLeadingControls(AsText(key));
  if (file.empty() || sectionName.empty() || keyName.empty()) return false;
  // Even a save that changes nothing settles one cut short before it; this one then
  // builds on what that one wrote.
  if (!files.FinishInterruptedSave(file)) return false;

  ProfileText document;
  if (const auto bytes = files.ReadWholeFile(file, kMaxProfileFileBytes)) {
    document = DecodeProfileFile(*bytes);
    if (!document.lossless) return false;
  } else if (files.Exists(file)) {
    return false;  // there but unreadable: writing would throw away what it holds
  }

  switch (SetProfileValue(document.text, sectionName, keyName, AsText(value))) {
    case ProfileEdit::Refused: return false;
    case ProfileEdit::Unchanged: return true;
    case ProfileEdit::Changed: break;
  }
  bool encoded = true;
  const std::vector<std::uint8_t> bytes = EncodeProfileFile(document.encoding, document.text, &encoded);
  return encoded && files.ReplaceFileAtomically(file, bytes);
}

}  // namespace tolvane
