#include "platform/sound/sound_service.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <stdexcept>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#endif

namespace tolvane {
namespace {

using Bytes = std::vector<std::uint8_t>;
using namespace std::chrono_literals;

// The smallest WAVE file that plays: "fmt " then two bytes of "data".
Bytes Wave() {
  Bytes b = {'R', 'I', 'F', 'F', 38, 0, 0, 0, 'W', 'A', 'V', 'E', 'f', 'm', 't', ' ', 16, 0, 0, 0,
             1,   0,   1,   0,   0x11, 0x2B, 0, 0, 0x22, 0x56, 0, 0, 2, 0, 16, 0, 'd', 'a', 't', 'a', 2, 0, 0, 0, 1, 2};
  return b;
}
Bytes Midi(std::uint8_t note) {
  return {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1, 0, 96,  'M', 'T', 'r', 'k', 0, 0, 0, 8,
          0,   0x90, note, 1, 0, 0xFF, 0x2F, 0};
}

struct FakeWave final : sound::WaveOutput {
  int started = 0;
  std::vector<std::chrono::milliseconds> stops;
  bool Start(const sound::WaveChunks& wave, bool) override {
    EXPECT_EQ(wave.samples.size(), 2u);
    ++started;
    return true;
  }
  void StopAll(std::chrono::milliseconds wait) override { stops.push_back(wait); }
};

// A MIDI stream whose open can hang (as a broken driver's may) or throw.
struct StuckDevice final : sound::MidiStreamDevice {
  std::mutex lock;
  std::condition_variable changed;
  bool hang = false;
  bool fail = false;
  int opens = 0;

  void Release() {
    std::lock_guard guard(lock);
    hang = false;
    changed.notify_all();
  }
  // Waits (with a generous limit against a deadlock) until n opens have begun.
  bool WaitOpens(int n) {
    std::unique_lock guard(lock);
    return changed.wait_for(guard, 20s, [&] { return opens >= n; });
  }

  unsigned OutputCount() override { return 1; }
  sound::MidiOpen Open(std::function<void(int)> done) override {
    done_ = std::move(done);
    std::unique_lock guard(lock);
    ++opens;
    changed.notify_all();
    changed.wait(guard, [this] { return !hang; });
    if (fail) throw std::runtime_error("driver fault");
    return sound::MidiOpen::Opened;
  }
  bool SetTimeDivision(std::uint32_t) override { return true; }
  bool Prepare(int, std::uint8_t*, std::size_t) override { return true; }
  bool Out(int buffer, std::size_t) override {
    queued_[buffer] = true;
    return true;
  }
  bool Restart() override { return true; }
  void Stop() override {}
  // Hands the queued buffers back, as the system's stream does.
  void Reset() override {
    for (int b = 0; b < 2; ++b) {
      if (queued_[b]) done_(b);
      queued_[b] = false;
    }
  }
  void Unprepare(int) override {}
  void Close() override {}

 private:
  std::function<void(int)> done_;
  bool queued_[2] = {};
};

TEST(PlaybackService, TellsTheKindsApartAndRefusesWhatIsNotSound) {
  auto wave = std::make_unique<FakeWave>();
  FakeWave& w = *wave;
  PlaybackService service(std::move(wave), std::make_unique<StuckDevice>());
  EXPECT_TRUE(service.StartSound(Wave()));
  EXPECT_EQ(w.started, 1);
  Bytes shortWave = Wave();
  shortWave.resize(35);
  EXPECT_FALSE(service.StartSound(shortWave));
  EXPECT_FALSE(service.StartSound(Bytes{}));
  EXPECT_FALSE(service.StartSound(Bytes{'M', 'T', 'h', 'd'}));  // not more than 4 bytes
  EXPECT_FALSE(service.StartSound(Bytes(40, 'x')));
  EXPECT_EQ(w.started, 1);
  Bytes badMidi = Midi(60);
  badMidi[14] = 'X';  // a track that is not "MTrk" still counts as started
  EXPECT_TRUE(service.StartSound(badMidi));
  service.StopAllSounds(true);
  EXPECT_EQ(w.stops, std::vector<std::chrono::milliseconds>{PlaybackService::kStopWait});
}

// The window's thread asks for sounds while the MIDI device hangs in an open: the
// requests return at once, only the newest tune waits its turn, and stopping gives
// up after its wait instead of hanging with the device.
TEST(PlaybackService, AHungMidiDeviceNeverHoldsTheCaller) {
  auto owned = std::make_unique<StuckDevice>();
  StuckDevice& device = *owned;
  device.hang = true;
  auto wave = std::make_unique<FakeWave>();
  FakeWave& w = *wave;
  PlaybackService service(std::move(wave), std::move(owned), nullptr, 50ms);

  EXPECT_TRUE(service.StartSound(Midi(60)));
  ASSERT_TRUE(device.WaitOpens(1));
  EXPECT_TRUE(service.StartSound(Midi(61)));
  EXPECT_TRUE(service.StartSound(Midi(62)));
  EXPECT_TRUE(service.StartSound(Wave()));  // WAVE goes on meanwhile
  EXPECT_EQ(w.started, 1);
  service.StopAllSounds(true);  // returns although the open still hangs
  EXPECT_EQ(w.stops, std::vector<std::chrono::milliseconds>{50ms});

  EXPECT_TRUE(service.StartSound(Midi(63)));
  device.Release();
  ASSERT_TRUE(device.WaitOpens(2));
  service.StopAllSounds(true);
  std::lock_guard guard(device.lock);
  EXPECT_EQ(device.opens, 2);  // 61 and 62 were dropped by the stop; 63 came after it
}

TEST(PlaybackService, AFaultInTheMidiDeviceLeavesThePlayerWorking) {
  auto owned = std::make_unique<StuckDevice>();
  StuckDevice& device = *owned;
  device.fail = true;
  PlaybackService service(std::make_unique<FakeWave>(), std::move(owned), nullptr, 50ms);
  EXPECT_TRUE(service.StartSound(Midi(60)));
  ASSERT_TRUE(device.WaitOpens(1));
  {
    std::lock_guard guard(device.lock);
    device.fail = false;
  }
  EXPECT_TRUE(service.StartSound(Midi(61)));
  ASSERT_TRUE(device.WaitOpens(2));
  service.StopAllSounds(true);
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
