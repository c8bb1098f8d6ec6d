#pragma once
// GBK <-> UTF-8 at the boundary to GTK and D-Bus, through the portable converter;
// file names (the system's bytes) <-> the program's GBK text.
#include <string>
#include <string_view>

namespace tolvane {

std::string GbkToUtf8(std::string_view gbk);
// *lossless is false when a character has no GBK form (it becomes '?') or the
// UTF-8 is malformed.
std::string Utf8ToGbk(std::string_view utf8, bool* lossless = nullptr);

// A file name is bytes, usually UTF-8 (G_FILENAME_ENCODING may say otherwise). As
// program text it is the GBK path where GBK writes it exactly, so settings stay as
// they always were; otherwise (a Korean folder, Björk.wav, bytes in no encoding) a
// file: URI with the bytes percent-escaped, plain ASCII that GBK and the settings
// file keep. Empty for a relative name that GBK cannot write.
std::string FileNameToText(std::string_view fileName);
// Always the URI: for paths the program only opens, never shows or stores.
std::string FileNameToUri(std::string_view fileName);
// The file name a program text names: a file: URI's bytes, else the GBK path in
// the system's encoding. Empty when it names none: text that is not GBK, or text
// that starts with "file:" but is no local file URI (a malformed escape, a host,
// an escaped "/" or NUL), which is never opened as a plain name instead.
std::string TextToFileName(std::string_view text);
// The path for the user to read: a URI decoded, '?' where GBK has no character.
std::string FileNameTextShown(std::string_view text);

}  // namespace tolvane
