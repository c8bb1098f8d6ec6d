#include "platform/sound/sound_service.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#endif

#include "bytes.h"

namespace tolvane {
namespace {

using namespace bytes;
using namespace std::chrono_literals;

// The smallest WAVE file that plays: two bytes of samples.
Bytes SmallWave() { return Wave(Fmt(1, 1, 16, 11025), {1, 2}); }

struct FakeWave final : sound::WaveOutput {
  int started = 0;
  bool hung = false;  // every thread holds on to its device for the whole wait
  std::vector<std::chrono::milliseconds> stops;
  bool Start(const sound::WaveChunks& wave, bool) override {
    EXPECT_EQ(wave.samples.size(), 2u);
    ++started;
    return true;
  }
  void StopAll(std::chrono::milliseconds wait) override {
    stops.push_back(wait);
    if (hung) std::this_thread::sleep_for(wait);
  }
};

#ifdef _WIN32
constexpr sound::ThreadGuard kGuard = &sound::GuardSoundThread;
void Fault() {
  volatile int* volatile nowhere = nullptr;
  *nowhere = 1;
}
#else
// Where a fault cannot end a thread, the guard is played: the thread reports its
// end as the system's guard has it do, and never comes back.
thread_local void (*t_ended)(void*) = nullptr;
thread_local void* t_endedContext = nullptr;
void PlayedGuard(void (*ended)(void*), void* context) {
  t_ended = ended;
  t_endedContext = context;
}
constexpr sound::ThreadGuard kGuard = &PlayedGuard;
void Fault() {
  if (t_ended != nullptr) t_ended(t_endedContext);
  for (;;) std::this_thread::sleep_for(1h);
}
#endif

// Every MIDI device the service makes in one test, and what the driver does: opens
// may hang (as a broken driver's may), throw or fault; buffers come back at a
// reset, or when the test hands one back from its own thread.
struct MidiDevices : std::enable_shared_from_this<MidiDevices> {
  enum class OpenDoes { Open, Hang, Throw, Fault };
  std::mutex lock;
  std::condition_variable changed;
  std::deque<OpenDoes> next;  // what the next opens do; after these they open
  bool released = false;      // hung opens go on
  int made = 0, opens = 0;
  std::thread::id openedOn;
  std::vector<std::thread::id> outOn;
  std::function<void(int)> done;  // the last opened device's

  sound::MidiDeviceMaker Maker();
  // Waits (with a generous limit against a deadlock) until `ready` holds.
  template <typename Ready>
  bool WaitUntil(Ready ready) {
    std::unique_lock held(lock);
    return changed.wait_for(held, 20s, ready);
  }
  void Release() {
    std::lock_guard held(lock);
    released = true;
    changed.notify_all();
  }
  void Return(int buffer) {
    std::function<void(int)> handBack;
    {
      std::lock_guard held(lock);
      handBack = done;
    }
    handBack(buffer);
  }
};

struct FakeMidiDevice final : sound::MidiStreamDevice {
  explicit FakeMidiDevice(std::shared_ptr<MidiDevices> all) : d(std::move(all)) {}
  std::shared_ptr<MidiDevices> d;  // outlives the test: a thread left in a device may still come back

  unsigned OutputCount() override { return 1; }
  sound::MidiOpen Open(std::function<void(int)> done) override {
    auto does = MidiDevices::OpenDoes::Open;
    {
      std::unique_lock held(d->lock);
      ++d->opens;
      if (!d->next.empty()) {
        does = d->next.front();
        d->next.pop_front();
      }
      d->done = std::move(done);
      d->openedOn = std::this_thread::get_id();
      d->changed.notify_all();
      if (does == MidiDevices::OpenDoes::Hang) d->changed.wait(held, [this] { return d->released; });
    }
    if (does == MidiDevices::OpenDoes::Throw) throw std::runtime_error("driver fault");
    if (does == MidiDevices::OpenDoes::Fault) Fault();
    return sound::MidiOpen::Opened;
  }
  bool SetTimeDivision(std::uint32_t) override { return true; }
  bool Prepare(int, std::uint8_t*, std::size_t) override { return true; }
  bool Out(int, std::size_t) override {
    std::lock_guard held(d->lock);
    d->outOn.push_back(std::this_thread::get_id());
    d->changed.notify_all();
    return true;
  }
  bool Restart() override { return true; }
  void Stop() override {}
  void Reset() override {
    d->Return(0);
    d->Return(1);
  }
  void Unprepare(int) override {}
  void Close() override {}
};

sound::MidiDeviceMaker MidiDevices::Maker() {
  return [self = shared_from_this()]() -> std::unique_ptr<sound::MidiStreamDevice> {
    {
      std::lock_guard held(self->lock);
      ++self->made;
    }
    return std::make_unique<FakeMidiDevice>(self);
  };
}

TEST(PlaybackService, TellsTheKindsApartAndRefusesWhatIsNotSound) {
  auto wave = std::make_unique<FakeWave>();
  FakeWave& w = *wave;
  auto devices = std::make_shared<MidiDevices>();
  PlaybackService service(std::move(wave), devices->Maker());
  EXPECT_TRUE(service.StartSound(SmallWave()));
  EXPECT_EQ(w.started, 1);
  Bytes shortWave = SmallWave();
  shortWave.resize(35);
  EXPECT_FALSE(service.StartSound(shortWave));
  EXPECT_FALSE(service.StartSound(Bytes{}));
  EXPECT_FALSE(service.StartSound(Bytes{'M', 'T', 'h', 'd'}));  // not more than 4 bytes
  EXPECT_FALSE(service.StartSound(Bytes(40, 'x')));
  EXPECT_EQ(w.started, 1);
  Bytes badMidi = Tune(60, 1);
  badMidi[14] = 'X';  // a track that is not "MTrk" still counts as started
  EXPECT_TRUE(service.StartSound(badMidi));
  service.StopAllSounds(true);
  ASSERT_EQ(w.stops.size(), 1u);
  EXPECT_LE(w.stops[0], PlaybackService::kStopWait);
  EXPECT_GT(w.stops[0], 0ms);
}

// The window's thread asks for sounds while the MIDI device hangs in an open: the
// requests return at once, only the newest tune waits its turn, and stopping gives
// up at its deadline instead of hanging with the device, leaving the WAVE sounds
// no more time than is left of it.
TEST(PlaybackService, AHungMidiDeviceNeverHoldsTheCaller) {
  auto devices = std::make_shared<MidiDevices>();
  devices->next = {MidiDevices::OpenDoes::Hang};
  auto wave = std::make_unique<FakeWave>();
  FakeWave& w = *wave;
  PlaybackService service(std::move(wave), devices->Maker(), nullptr, 50ms);

  EXPECT_TRUE(service.StartSound(Tune(60, 1)));
  ASSERT_TRUE(devices->WaitUntil([&] { return devices->opens == 1; }));
  EXPECT_TRUE(service.StartSound(Tune(61, 1)));
  EXPECT_TRUE(service.StartSound(Tune(62, 1)));
  EXPECT_TRUE(service.StartSound(SmallWave()));  // WAVE goes on meanwhile
  EXPECT_EQ(w.started, 1);
  service.StopAllSounds(true);  // returns although the open still hangs
  EXPECT_EQ(w.stops, std::vector<std::chrono::milliseconds>{0ms});

  EXPECT_TRUE(service.StartSound(Tune(63, 1)));
  devices->Release();
  ASSERT_TRUE(devices->WaitUntil([&] { return devices->opens == 2; }));
  service.StopAllSounds(true);
  std::lock_guard held(devices->lock);
  EXPECT_EQ(devices->opens, 2);  // 61 and 62 were dropped by the stop; 63 came after it
}

// A device whose open throws, or faults so that the guard ends the worker's thread,
// is followed by a tune that plays: on the same worker, or on a new one with a
// new device.
TEST(PlaybackService, AFaultInTheMidiDeviceLeavesThePlayerWorking) {
  for (const auto does : {MidiDevices::OpenDoes::Throw, MidiDevices::OpenDoes::Fault}) {
    SCOPED_TRACE(does == MidiDevices::OpenDoes::Throw ? "throw" : "fault");
    auto devices = std::make_shared<MidiDevices>();
    devices->next = {does};
    PlaybackService service(std::make_unique<FakeWave>(), devices->Maker(), kGuard, 20s);
    EXPECT_TRUE(service.StartSound(Tune(60, 1)));
    ASSERT_TRUE(devices->WaitUntil([&] { return devices->opens == 1; }));
    service.StopAllSounds(true);  // until the worker is done with the open, or gone
    EXPECT_TRUE(service.StartSound(Tune(61, 1)));
    ASSERT_TRUE(devices->WaitUntil([&] { return devices->outOn.size() == 1; }));  // one buffer holds the tune
    std::lock_guard held(devices->lock);
    EXPECT_EQ(devices->made, does == MidiDevices::OpenDoes::Throw ? 1 : 2);
  }
}

// The device hands a buffer back on a thread of its own (here the test's); the
// worker, not that thread, refills it.
TEST(PlaybackService, TheWorkerRefillsWhatTheDeviceHandsBack) {
  auto devices = std::make_shared<MidiDevices>();
  PlaybackService service(std::make_unique<FakeWave>(), devices->Maker());
  EXPECT_TRUE(service.StartSound(Tune(0, 300)));
  ASSERT_TRUE(devices->WaitUntil([&] { return devices->outOn.size() == 2; }));
  devices->Return(0);
  ASSERT_TRUE(devices->WaitUntil([&] { return devices->outOn.size() == 3; }));
  {
    std::lock_guard held(devices->lock);
    EXPECT_EQ(devices->outOn[2], devices->openedOn);
    EXPECT_NE(devices->outOn[2], std::this_thread::get_id());
  }
  service.StopAllSounds(true);
}

// One deadline for a stop and the destruction after it, whatever hangs: with the
// MIDI open and every WAVE thread stuck, the program still ends soon after the
// stop wait. Waits that added up would take at least twice it; the bound lies
// halfway, so a busy machine does not reach it.
TEST(PlaybackService, AStopWithEveryKindHungEndsWithinTheStopWait) {
  auto devices = std::make_shared<MidiDevices>();
  devices->next = {MidiDevices::OpenDoes::Hang};
  auto wave = std::make_unique<FakeWave>();
  wave->hung = true;
  const auto start = std::chrono::steady_clock::now();
  {
    PlaybackService service(std::move(wave), devices->Maker());
    EXPECT_TRUE(service.StartSound(Tune(60, 1)));
    ASSERT_TRUE(devices->WaitUntil([&] { return devices->opens == 1; }));
    service.StopAllSounds(true);
  }
  EXPECT_LT(std::chrono::steady_clock::now() - start, PlaybackService::kStopWait * 3 / 2);
  devices->Release();
}

// Buffers hold whole blocks, about 15360 bytes of them, and at least one: GSM 6.10,
// ADPCM at 44.1 kHz stereo, 16-bit stereo PCM, no block size (as 1), one block over.
TEST(WaveBuffers, HoldWholeBlocks) {
  const std::pair<std::uint16_t, std::size_t> rows[] = {
      {65, 15340}, {2048, 14336}, {4, 15360}, {0, 15360}, {20000, 20000}};
  for (const auto& [block, bytes] : rows) {
    Bytes format(20, 0);
    format[12] = block & 0xFF, format[13] = block >> 8;
    EXPECT_EQ(sound::WaveBufferBytes(format), bytes) << block;
  }
  EXPECT_EQ(sound::WaveBufferBytes(Bytes(13, 65)), 15360u);  // cut before the block size's last byte
}

#ifdef _WIN32
DWORD WINAPI FaultingSoundThread(void*) {
  sound::GuardSoundThread();
  volatile int* volatile nowhere = nullptr;
  *nowhere = 1;
  return 0;
}

// A fault that nothing handles on a sound thread ends that thread, and the program
// (here the test) goes on.
TEST(SoundThreadGuard, AFaultOnASoundThreadEndsOnlyThatThread) {
  HANDLE thread = CreateThread(nullptr, 0, &FaultingSoundThread, nullptr, 0, nullptr);
  ASSERT_NE(thread, nullptr);
  ASSERT_EQ(WaitForSingleObject(thread, 30000), WAIT_OBJECT_0);
  DWORD code = 0;
  GetExitCodeThread(thread, &code);
  CloseHandle(thread);
  EXPECT_EQ(code, 1u);
}
#endif

}  // namespace
}  // namespace tolvane
