#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <thread>
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
      {{true, false, false, true, true}, S::WaylandIdleNotify},  // KDE, whose screen saver says no on Wayland
      {{true, false, true, false, true}, S::MutterIdleMonitor},
      {{false, false, false, false, true}, S::None},  // X11: no Wayland protocol to ask
  };
  for (const auto& c : cases) EXPECT_EQ(ChooseIdleSource(c.probe), c.expected);
}

TEST(IdleSecondsSinceIdled, ZeroUntilIdledThenSecondsSinceTheLastInput) {
  EXPECT_EQ(IdleSecondsSinceIdled(false, 50000, 0, 1000), 0);
  EXPECT_EQ(IdleSecondsSinceIdled(true, 50000, 50000, 1000), 1);  // told just now
  EXPECT_EQ(IdleSecondsSinceIdled(true, 53999, 50000, 1000), 4);
  EXPECT_EQ(IdleSecondsSinceIdled(true, 500, 4294967000u, 1000), 1);  // the tick count wrapped
  EXPECT_EQ(IdleSecondsSinceIdled(true, 49000, 50000, 1000), 1);  // a clock read before the event: still idle
}

// Readings one second apart (a tick's question and its answer 10 ms later), each followed
// by the tick's answer; a reading of -1 is a question whose answer failed.
TEST(IdleReadings, AnInputBetweenTwoReadingsIsInputHoweverLateTheSecondComes) {
  const struct {
    const char* what;
    std::uint64_t unitMs;
    std::vector<std::int64_t> idleMs;
    std::vector<std::int32_t> answers;
  } rows[] = {
      {"idle throughout", 1, {5000, 6000, 7000}, {5, 6, 7}},
      {"input within the last second", 1, {5000, 400, 1400}, {5, 0, 1}},
      {"a short input in the second of a failed answer", 1, {5000, -1, 1500, 2500}, {5, 5, 0, 2}},
      {"the same, told in whole seconds", 1000, {5000, -1, 1000, 2000}, {5, 5, 0, 2}},
      {"whole seconds cut short are no input", 1000, {5000, 5000, 7000}, {5, 5, 7}},
      {"a late tick after a short input", 1, {5000, 1040}, {5, 0}},
      {"an answer read twice", 1, {300}, {0}},
  };
  for (const auto& row : rows) {
    IdleReadings readings(row.unitMs);
    std::vector<std::int32_t> answers;
    std::int64_t askedUs = 0;
    for (const std::int64_t idle : row.idleMs) {
      if (idle >= 0) readings.Take({static_cast<std::uint64_t>(idle), askedUs, askedUs + 10'000});
      answers.push_back(readings.IdleSeconds());
      askedUs += 1'000'000;
    }
    EXPECT_EQ(answers, row.answers) << row.what;
  }
  IdleReadings wild(1);  // no answer, however wrong, overflows
  wild.Take({~0ull, 0, 0});
  EXPECT_EQ(wild.IdleSeconds(), 0x7fffffff);
  wild.Take({5000, 1'000'000, 1'000'000});
  EXPECT_EQ(wild.IdleSeconds(), 0);
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

// The table of bindings is the process's own: these tests bind names nothing else binds.
TEST(DeclaredFunction, SearchedForOnceAlsoWhenMissingAndDeniedWhileADenialLives) {
  FakeLoader loader;
  loader.exports = {{"User32.dll", {"FakeLastInputInfo"}}, {"user32", {"FakeSendMessage"}}};
  DeclaredFunction searched{"", "FakeLastInputInfo"}, missing{"user32", "FakeMissing"};
  DeclaredFunction named{"user32", "FakeSendMessage"}, namedAgain{"USER32.DLL", "FakeSendMessage"};
  void* found = searched.Address(loader);
  void* sent = named.Address(loader);
  ASSERT_NE(found, nullptr);
  EXPECT_EQ(missing.Address(loader), nullptr);
  const Log firstUses = loader.log;
  for (int use = 0; use < 2; ++use) {
    EXPECT_EQ(searched.Address(loader), found);
    EXPECT_EQ(missing.Address(loader), nullptr);
    EXPECT_EQ(namedAgain.Address(loader), sent);
  }
  {
    DeniedFunction deny("FakeSendMessage"), again("FakeSendMessage"), other("FakeLastInputInfo");
    std::optional<DeniedFunction> ended(std::in_place, "FakeSendMessage");
    ended.reset();
    EXPECT_EQ(named.Address(loader), nullptr);
    EXPECT_EQ(namedAgain.Address(loader), nullptr);
    EXPECT_TRUE(IsDenied("FakeSendMessage"));
  }
  EXPECT_EQ(named.Address(loader), sent);
  EXPECT_EQ(loader.log, firstUses);
}

// A made-up tick count. `onRead`, when set, runs once inside the next reading, after the
// count was taken: what other threads do while a reader is held up.
std::atomic<std::uint32_t> fakeTicks{0};
std::atomic<void (*)()> onRead{nullptr};
TickWidener* heldUp = nullptr;

std::uint32_t ReadFakeTicks() {
  const std::uint32_t now = fakeTicks.load();
  if (onRead.load() != nullptr) {
    if (auto during = onRead.exchange(nullptr)) during();
  }
  return now;
}

TEST(TickWidener, StartsAtTheFirstReadingAndCarriesEachWrapAlsoPastAReaderHeldUp) {
  const std::vector<std::pair<std::uint32_t, std::uint64_t>> runs[] = {
      // First read within a minute of the wrap; then 24.8 days on, and past the next wrap.
      {{0xFFFFFF00u, 0xFFFFFF00u}, {0x100, 0x100000100u}, {0x7FFFFFFFu, 0x17FFFFFFFu}, {0x300, 0x200000300u}},
      {{0, 0}, {0x10, 0x10}},
  };
  for (const auto& run : runs) {
    TickWidener widener{ReadFakeTicks};
    for (const auto& [now, widened] : run) {
      fakeTicks = now;
      EXPECT_EQ(widener.Now(), widened) << std::hex << now;
    }
  }
  // A reader takes 0xFFFFF000 and is held up while two minutes pass and another reader
  // moves the count on past the wrap.
  TickWidener widener{ReadFakeTicks};
  heldUp = &widener;
  fakeTicks = 0xFFFF0000u;
  widener.Now();
  fakeTicks = 0xFFFFF000u;
  onRead = [] {
    fakeTicks += 120'000;
    heldUp->Now();
  };
  EXPECT_EQ(widener.Now(), std::uint64_t{0xFFFFF000u} + 120'000);
}

TEST(TickWidener, ConcurrentReadersAcrossTheWrapShareOneCountThatNeverGoesBack) {
  fakeTicks = 0xFFFF0000u;
  TickWidener widener{ReadFakeTicks};
  const std::uint64_t start = widener.Now();
  constexpr std::uint32_t kSteps = 0x40000, kStep = 64;  // past the wrap, 4.6 hours on
  std::atomic<bool> done{false};
  std::atomic<int> wrong{0};  // readings that went back or beyond the clock
  std::vector<std::thread> readers;
  for (int i = 0; i < 4; ++i) {
    readers.emplace_back([&] {
      for (std::uint64_t last = start, now; !done.load(); last = now) {
        now = widener.Now();
        if (now < last || now > start + std::uint64_t{kSteps} * kStep) ++wrong;
      }
    });
  }
  for (std::uint32_t step = 0; step < kSteps; ++step) fakeTicks += kStep;
  done = true;
  for (auto& reader : readers) reader.join();
  EXPECT_EQ(wrong.load(), 0);
  EXPECT_EQ(widener.Now(), start + std::uint64_t{kSteps} * kStep);
}

}  // namespace
}  // namespace tolvane
