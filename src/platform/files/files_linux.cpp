#include "platform/files/files_linux.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "platform/files/profile.h"
#include "platform/files/settings_location.h"
#include "platform/text/text_linux.h"

namespace tolvane {

namespace {

class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  ~Descriptor() { Close(); }
  bool Valid() const { return fd_ >= 0; }
  int Get() const { return fd_; }
  bool Close() {
    if (!Valid()) return true;
    const bool closed = close(fd_) == 0;
    fd_ = -1;
    return closed;
  }

 private:
  int fd_;
};

// The directory part of a path, "." when there is none.
std::string DirectoryOf(const std::string& path) {
  const auto slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

// A path given as program text, as the system names it; empty when it names none.
std::string SystemPath(const std::string& text) { return TextToFileName(text); }

bool WriteAll(int fd, std::span<const std::uint8_t> bytes) {
  while (!bytes.empty()) {
    const ssize_t written = write(fd, bytes.data(), bytes.size());
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    bytes = bytes.subspan(static_cast<std::size_t>(written));
  }
  return true;
}

// Makes the folder and any missing parents; private to the user, as settings
// folders are.
bool MakeDirectories(const std::string& dir) {
  struct stat st {};
  if (stat(dir.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
  const std::string parent = DirectoryOf(dir);
  if (parent != dir && !MakeDirectories(parent)) return false;
  return mkdir(dir.c_str(), 0700) == 0 || errno == EEXIST;
}

// The folder holding the program file, as the system names it.
std::string ProgramFolder() {
  std::string path(256, '\0');
  for (;;) {
    const ssize_t length = readlink("/proc/self/exe", path.data(), path.size());
    if (length <= 0) return {};
    if (static_cast<std::size_t>(length) < path.size()) {
      path.resize(static_cast<std::size_t>(length));
      break;
    }
    if (path.size() >= 65536) return {};
    path.resize(path.size() * 2);
  }
  return DirectoryOf(path);
}

std::string HomeFolder() {
  if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') return home;
  const passwd* user = getpwuid(getuid());
  return user != nullptr && user->pw_dir != nullptr ? user->pw_dir : "";
}

std::string Environment(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}

}  // namespace

std::optional<std::vector<std::uint8_t>> LinuxFileSystem::ReadWholeFile(const std::string& path,
                                                                        std::size_t maxBytes) const {
  const std::string name = SystemPath(path);
  if (name.empty()) return std::nullopt;
  Descriptor file(open(name.c_str(), O_RDONLY | O_CLOEXEC));
  if (!file.Valid()) return std::nullopt;
  struct stat st {};
  if (fstat(file.Get(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_size < 0 ||
      static_cast<unsigned long long>(st.st_size) > maxBytes)
    return std::nullopt;

  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(st.st_size));
  std::size_t filled = 0;
  while (filled < bytes.size()) {
    const ssize_t got = read(file.Get(), bytes.data() + filled, bytes.size() - filled);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return std::nullopt;
    if (got == 0) break;  // shorter than announced: keep what is there
    filled += static_cast<std::size_t>(got);
  }
  bytes.resize(filled);
  return bytes;
}

bool LinuxFileSystem::Exists(const std::string& path) const {
  const std::string name = SystemPath(path);
  struct stat st {};
  return !name.empty() && stat(name.c_str(), &st) == 0;
}

bool LinuxFileSystem::ReplaceFileAtomically(const std::string& path, std::span<const std::uint8_t> bytes) {
  const std::string target = SystemPath(path);
  if (target.empty()) return false;
  const std::string dir = DirectoryOf(target);
  if (!MakeDirectories(dir)) return false;

  // The temporary file lives in the target's folder so the rename stays on one
  // file system and is atomic.
  std::string temporary = dir + "/.config.ini.XXXXXX";
  Descriptor file(mkstemp(temporary.data()));
  if (!file.Valid()) return false;
  struct stat old {};
  const mode_t mode = stat(target.c_str(), &old) == 0 ? (old.st_mode & 07777) : 0644;
  bool done = fchmod(file.Get(), mode) == 0 && WriteAll(file.Get(), bytes) && fsync(file.Get()) == 0 && file.Close();
  done = done && rename(temporary.c_str(), target.c_str()) == 0;
  if (!done) {
    unlink(temporary.c_str());
    return false;
  }
  // The rename itself reaches the disk only with the folder.
  Descriptor folder(open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (folder.Valid()) fsync(folder.Get());
  return true;
}

std::string LinuxFileSystem::ProgramDirectory() const { return FileNameToText(ProgramFolder()); }

std::string LinuxFileSystem::SettingsPath() const {
  const std::string program = ProgramFolder();
  const bool writable = !program.empty() && access(program.c_str(), W_OK) == 0;
  // The settings path is only opened, never shown or stored, so it keeps the
  // folder's bytes as they are, whatever characters the home folder has.
  return FileNameToUri(ChooseSettingsPath(program, writable, Environment("XDG_CONFIG_HOME"), HomeFolder()));
}

FileSystem::KeptPath LinuxFileSystem::PathToKeep(const std::string& path) const {
  // A path the settings file would cut is not kept: it would name another file.
  return {path.size() <= kProfileValueLimit ? path : std::string(), ShownPath(path)};
}

std::string LinuxFileSystem::ShownPath(const std::string& path) const { return FileNameTextShown(path); }

}  // namespace tolvane
