#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "platform/idle/idle.h"
#include "platform/system/bind.h"
#include "platform/system/tick_count.h"

namespace tolvane {
namespace {

TEST(IdleSecondsBetween, WholeSecondsTruncated) {
  EXPECT_EQ(IdleSecondsBetween(5000, 5000), 0);
  EXPECT_EQ(IdleSecondsBetween(10999, 10000), 0);
  EXPECT_EQ(IdleSecondsBetween(11000, 10000), 1);
  EXPECT_EQ(IdleSecondsBetween(3'600'500, 0), 3600);  // a failed query: idle since start-up
}

TEST(IdleSecondsBetween, DifferenceIsTakenModulo2To32) {
  EXPECT_EQ(IdleSecondsBetween(16, 4294967280u), 0);           // counter wrapped, 32 ms
  EXPECT_EQ(IdleSecondsBetween(2147483664u, 2147483632u), 0);  // across the signed boundary
  // Beyond 2^31 ms the difference reads as negative; it must not overflow.
  EXPECT_EQ(IdleSecondsBetween(0x80000000u, 0), -2147483);
  EXPECT_EQ(IdleSecondsBetween(0, 1), 0);
  EXPECT_EQ(IdleSecondsBetween(0, 1000), -1);
}

TEST(ChooseIdleSource, X11ExtensionFirstThenTheDesktopsThenNone) {
  using S = IdleSource;
  const struct {
    IdleSourceProbe probe;
    IdleSource expected;
  } cases[] = {
      {{false, true, true, true}, S::XScreenSaver},
      {{false, false, true, true}, S::MutterIdleMonitor},  // an X server without the extension
      {{true, true, true, true}, S::MutterIdleMonitor},    // Wayland: the extension sees only X clients
      {{true, true, false, true}, S::FreedesktopScreenSaver},
      {{true, true, false, false}, S::None},
      {{false, false, false, false}, S::None},
  };
  for (const auto& c : cases) EXPECT_EQ(ChooseIdleSource(c.probe), c.expected);
}

TEST(ParseOrdinal, DecimalAfterHashWithinSixteenBits) {
  EXPECT_EQ(ParseOrdinal("#1"), 1);
  EXPECT_EQ(ParseOrdinal("#0042"), 42);
  EXPECT_EQ(ParseOrdinal("#65535"), 65535);
  for (const char* bad : {"#65536", "#99999999999999999999", "#0", "#", "#-1", "#+5", "# 5", "#5x", "#0x10", "12",
                          "SendMessageW", ""}) {
    EXPECT_EQ(ParseOrdinal(bad), std::nullopt) << bad;
  }
  EXPECT_TRUE(NamesOrdinal("#70000"));
  EXPECT_FALSE(NamesOrdinal("GetTickCount"));
}

TEST(BindFailureMessage, NamesLibraryWhenOneWasGiven) {
  EXPECT_EQ(BindFailureMessage("user32", "SendMessageW"), "无法找到指定DLL库文件“user32”中的输出命令“SendMessageW”");
  EXPECT_EQ(BindFailureMessage("", "GetLastInputInfo"), "无法找到指定DLL库文件中的输出命令“GetLastInputInfo”");
}

TEST(WithLibraryExtension, AddsDllOnlyWhenTheNameHasNoExtension) {
  EXPECT_EQ(WithLibraryExtension("user32"), "user32.dll");
  EXPECT_EQ(WithLibraryExtension("powrprof.dll"), "powrprof.dll");
  EXPECT_EQ(WithLibraryExtension("a.b\\winmm"), "a.b\\winmm.dll");
}

// A loader over a made-up set of libraries, logging what it is asked.
class FakeLoader : public ExportLoader {
 public:
  std::map<std::string, std::vector<std::string>> exports;  // library -> names, "#n" for ordinals
  std::vector<std::string> log;
  int loaded = 0;

  void* Load(std::string_view library) override {
    log.push_back("load " + std::string(library));
    auto it = exports.find(std::string(library));
    if (it == exports.end()) return nullptr;
    ++loaded;
    return &it->second;
  }
  void* FindByName(void* module, std::string_view function) override { return Find(module, std::string(function)); }
  void* FindByOrdinal(void* module, std::uint16_t ordinal) override {
    return Find(module, "#" + std::to_string(ordinal));
  }
  void Release(void* module) override {
    --loaded;
    for (auto& [name, names] : exports)
      if (&names == module) log.push_back("release " + name);
  }

 private:
  void* Find(void* module, const std::string& function) {
    auto& names = *static_cast<std::vector<std::string>*>(module);
    for (auto& name : names)
      if (name == function) return &name;
    return nullptr;
  }
};

using Log = std::vector<std::string>;

TEST(ResolveExport, SearchesInOrderAndReleasesLibrariesWithoutTheFunction) {
  FakeLoader loader;
  loader.exports = {{"Kernel32.dll", {"GetTickCount"}},
                    {"Gdi32.dll", {}},
                    {"User32.dll", {"GetLastInputInfo"}},
                    {"Shell32.dll", {"GetLastInputInfo"}}};
  const BoundExport bound = ResolveExport(loader, "", "GetLastInputInfo");
  ASSERT_NE(bound.address, nullptr);
  EXPECT_EQ(bound.module, &loader.exports["User32.dll"]);
  EXPECT_EQ(loader.log, (Log{"load Kernel32.dll", "release Kernel32.dll", "load Gdi32.dll", "release Gdi32.dll",
                             "load User32.dll"}));
  EXPECT_EQ(loader.loaded, 1);  // only the supplier stays loaded
}

TEST(ResolveExport, NamedLibraryOrdinalsAndFailures) {
  FakeLoader loader;
  loader.exports = {{"user32", {"SendMessageW", "#2005"}}, {"Kernel32.dll", {"#7"}}, {"Mpr.dll", {}}};
  EXPECT_NE(ResolveExport(loader, "user32", "SendMessageW").address, nullptr);
  EXPECT_EQ(loader.log, Log{"load user32"});  // no search when a library is named
  EXPECT_NE(ResolveExport(loader, "user32", "#2005").address, nullptr);
  EXPECT_NE(ResolveExport(loader, "", "#007").address, nullptr);
  EXPECT_EQ(ResolveExport(loader, "user32", "#67541").address, nullptr);  // 2005 + 65536 is not 2005
  loader.loaded = 0;
  EXPECT_EQ(ResolveExport(loader, "", "Missing").address, nullptr);
  EXPECT_EQ(ResolveExport(loader, "user32", "SendMessageA").address, nullptr);
  EXPECT_EQ(loader.loaded, 0);  // whatever was loaded for nothing was released
}

TEST(DeclaredFunction, BindsOnceAndKeepsTheBinding) {
  FakeLoader loader;
  loader.exports = {{"User32.dll", {"GetLastInputInfo"}}};
  DeclaredFunction function{"", "GetLastInputInfo"};
  void* first = function.Address(loader);
  ASSERT_NE(first, nullptr);
  const std::size_t callsAfterFirst = loader.log.size();
  EXPECT_EQ(function.Address(loader), first);
  EXPECT_EQ(loader.log.size(), callsAfterFirst);
  {
    // Denied, it is missing even though bound; the denial ends with its scope.
    DeniedFunction deny("GetLastInputInfo");
    DeniedFunction other("SendMessageW");
    EXPECT_EQ(function.Address(loader), nullptr);
  }
  EXPECT_EQ(function.Address(loader), first);
}

TEST(TickWidener, CarriesTheWrapAndNeverGoesBack) {
  TickWidener widener;
  const std::pair<std::uint32_t, std::uint64_t> readings[] = {
      {1000, 1000},
      {1000, 1000},
      {0x80000000u, 0x80000000u},
      {0xFFFFFF00u, 0xFFFFFF00u},
      {0x00000100u, 0x100000100u},        // wrapped: the count goes on
      {0xFFFFFFF0u, 0x100000100u},        // a late reading from before the wrap
      {0x00000100u - 60000, 0x100000100u},  // up to a minute late
      {0x00000200u, 0x100000200u},
      {0x7FFFFFFFu, 0x17FFFFFFFu},        // 24.8 days on
      {0x00000300u, 0x200000300u},        // and again past the next wrap
  };
  for (const auto& [now, widened] : readings) EXPECT_EQ(widener.Widen(now), widened) << std::hex << now;
}

}  // namespace
}  // namespace tolvane
