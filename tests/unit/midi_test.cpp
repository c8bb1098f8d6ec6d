#include "platform/sound/midi.h"
#include "platform/sound/soundfont.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "bytes.h"

namespace tolvane::sound {
namespace {

using namespace bytes;
const Bytes& kEnd = kEndOfTrack;

struct StreamEvent {
  std::uint32_t delta, type, word;
  bool operator==(const StreamEvent&) const = default;
};
std::ostream& operator<<(std::ostream& o, const StreamEvent& e) {
  return o << "{" << e.delta << ", " << e.type << ", 0x" << std::hex << e.word << std::dec << "}";
}

std::vector<StreamEvent> Decode(const std::uint8_t* p, std::size_t bytes) {
  std::vector<StreamEvent> out;
  for (std::size_t at = 0; at + 12 <= bytes; at += 12) {
    EXPECT_EQ(Le32(p + at + 4), 0u);  // stream id
    const std::uint32_t e = Le32(p + at + 8);
    out.push_back({Le32(p + at), e >> 24, e & 0xFFFFFF});
  }
  return out;
}
std::vector<StreamEvent> All(MidiSequence& s, bool loop = false, std::size_t room = 4096) {
  Bytes buf(room);
  return Decode(buf.data(), s.Fill(buf, loop));
}
constexpr std::uint32_t Note(std::uint8_t status, std::uint8_t key, std::uint8_t velocity = 0) {
  return status | key << 8 | velocity << 16;
}

TEST(MidiFile, RefusesBadHeadersAndTracks) {
  MidiSequence s;
  Bytes good = Song({0, 0x90, 60, 100, 0, 0xFF, 0x2F, 0});
  EXPECT_TRUE(s.Open(good));
  EXPECT_FALSE(s.Open(ByteView(good).first(13)));

  Bytes longHeader = Smf(1, 96, 7);
  longHeader.push_back(0);
  Track(longHeader, kEnd);
  EXPECT_FALSE(s.Open(longHeader));

  Bytes alien = Smf(1);
  Track(alien, kEnd, "MTrx");
  EXPECT_FALSE(s.Open(alien));

  Bytes missing = Smf(2);
  Track(missing, kEnd);
  EXPECT_FALSE(s.Open(missing));

  Bytes noStatus = Song({0, 60, 100});  // data bytes with no status to run on
  EXPECT_FALSE(s.Open(noStatus));

  Bytes longNumber = Song({0x81, 0x80, 0x80, 0x80, 0x00, 0x90, 60, 1});  // five-byte delta
  EXPECT_FALSE(s.Open(longNumber));

  Bytes cutShort = Song({0, 0x90, 60});
  EXPECT_FALSE(s.Open(cutShort));
  EXPECT_EQ(s.trackCount(), 0u);  // a refused file leaves nothing behind
}

TEST(MidiFile, EmptyAndOverlongTracksAreAccepted) {
  MidiSequence s;
  Bytes file = Smf(2);
  Track(file, {});
  Track(file, {0, 0x90, 60, 100});
  file[file.size() - 5] = 0x7F;  // length claims far more than is present
  ASSERT_TRUE(s.Open(file));
  EXPECT_EQ(All(s), (std::vector<StreamEvent>{{0, kMevtShortMsg, Note(0x90, 60, 100)}}));
  EXPECT_TRUE(s.ended());
}

TEST(MidiFile, RunningStatusAndVariableLengthNumbers) {
  MidiSequence s;
  Bytes file = Song({0, 0x90, 60, 100,
               0x81, 0x00, 62, 100,                     // 128 ticks, running status
               0x83, 0xE8, 0x00, 0xC0, 5,               // 62464 ticks, one data byte
               0, 7,                                    // running status with one data byte
               0xFF, 0xFF, 0xFF, 0x7F, 0x80, 60, 0,     // the largest delta: 0x0FFFFFFF
               0, 0xFF, 0x2F, 0,
               0, 0x90, 1, 1});                         // after the end: never played
  ASSERT_TRUE(s.Open(file));
  EXPECT_EQ(s.division(), 96);
  EXPECT_EQ(All(s), (std::vector<StreamEvent>{{0, 0, Note(0x90, 60, 100)},
                                               {128, 0, Note(0x90, 62, 100)},
                                               {62464, 0, Note(0xC0, 5)},
                                               {0, 0, Note(0xC0, 7)},
                                               {0x0FFFFFFF, 0, Note(0x80, 60)}}));
}

TEST(MidiFile, TracksMergeInTimeOrderAndSkippedEventsKeepTheirTime) {
  MidiSequence s;
  Bytes file = Smf(3);
  Track(file, {0, 0xFF, 0x51, 3, 0x07, 0xA1, 0x20,              // tempo 500000 at 0
               10, 0xF0, 3, 1, 2, 0xF7,                          // sysex at 10
               20, 0xFF, 0x01, 2, 'h', 'i',                      // text at 30
               10, 0xFF, 0x2F, 0});
  Track(file, {5, 0x91, 40, 1, 20, 0x81, 40, 0, 0, 0xFF, 0x2F, 0});  // 5, 25
  Track(file, {5, 0x92, 50, 1, 30, 0x82, 50, 0});                     // 5, 35; no end event
  ASSERT_TRUE(s.Open(file));
  EXPECT_EQ(All(s), (std::vector<StreamEvent>{{0, kMevtTempo, 500000},
                                               {5, 0, Note(0x91, 40, 1)},
                                               {0, 0, Note(0x92, 50, 1)},  // a tie goes to the earlier track
                                               {20, 0, Note(0x81, 40)},
                                               {10, 0, Note(0x82, 50)}}));
}

TEST(MidiFile, TempoScale) {
  Bytes file = Song({0, 0xFF, 0x51, 3, 0x07, 0xA1, 0x20, 0, 0xFF, 0x51, 3, 0, 0, 1, 0, 0xFF, 0x2F, 0});
  for (auto [percent, first, second] : {std::tuple{100u, 500000u, 1u}, {200u, 250000u, 1u}, {50u, 1000000u, 2u}}) {
    MidiSequence s;
    s.setTempoScale(percent);
    ASSERT_TRUE(s.Open(file));
    EXPECT_EQ(All(s), (std::vector<StreamEvent>{{0, kMevtTempo, first}, {0, kMevtTempo, second}})) << percent;
  }
}

TEST(MidiFile, FillsWholeEventsAndContinuesWhereItStopped) {
  Bytes events;
  for (int i = 0; i < 100; ++i) events.insert(events.end(), {1, 0x90, static_cast<std::uint8_t>(i), 1});
  Bytes file = Song(events);
  MidiSequence s;
  ASSERT_TRUE(s.Open(file));
  Bytes buf(MidiPlayer::kBufferBytes);
  EXPECT_EQ(s.Fill(buf, false), 1020u);  // 85 events
  EXPECT_EQ(s.Fill(std::span(buf).first(11), false), 0u);
  const auto rest = All(s);
  ASSERT_EQ(rest.size(), 15u);
  EXPECT_EQ(rest.front(), (StreamEvent{1, 0, Note(0x90, 85, 1)}));
  EXPECT_TRUE(s.ended());
}

TEST(MidiFile, LoopKeepsTheRhythmAcrossTheRepeat) {
  Bytes file = Song({10, 0x90, 60, 1, 20, 0x80, 60, 0, 30, 0xFF, 0x2F, 0});  // tune of 60 ticks
  MidiSequence s;
  ASSERT_TRUE(s.Open(file));
  const auto events = All(s, true, 12 * 5);
  EXPECT_EQ(events, (std::vector<StreamEvent>{{10, 0, Note(0x90, 60, 1)},
                                               {20, 0, Note(0x80, 60)},
                                               {40, 0, Note(0x90, 60, 1)},  // 30 to the end, 10 into the repeat
                                               {20, 0, Note(0x80, 60)},
                                               {40, 0, Note(0x90, 60, 1)}}));

  // Nothing to play: a loop must not spin.
  Bytes silent = Song({0, 0xFF, 0x01, 1, 'x', 0, 0xFF, 0x2F, 0});
  ASSERT_TRUE(s.Open(silent));
  EXPECT_TRUE(All(s, true).empty());
}

// Records what the player asks of the stream; buffers come back only when the test
// (playing the driver) says so, or at a reset when resetReturns is set.
class RecordingDevice : public MidiStreamDevice {
 public:
  std::vector<std::string> calls;
  std::vector<std::vector<StreamEvent>> sent;  // every Out, decoded
  std::set<int> queued;
  bool resetReturns = true;
  std::uint32_t division = 0;
  unsigned outputs = 1;
  MidiOpen opens = MidiOpen::Opened;

  void Return(int buffer) {
    queued.erase(buffer);
    done_(buffer);
  }

  unsigned OutputCount() override { return outputs; }
  MidiOpen Open(std::function<void(int)> done) override {
    calls.push_back("open");
    done_ = std::move(done);
    return opens;
  }
  bool SetTimeDivision(std::uint32_t d) override {
    division = d;
    calls.push_back("division");
    return true;
  }
  bool Prepare(int buffer, std::uint8_t* data, std::size_t capacity) override {
    EXPECT_EQ(capacity, 1024u);
    data_[buffer] = data;
    calls.push_back("prepare" + std::to_string(buffer));
    return true;
  }
  bool Out(int buffer, std::size_t bytes) override {
    EXPECT_TRUE(queued.insert(buffer).second) << "buffer queued twice";
    sent.push_back(Decode(data_[buffer], bytes));
    calls.push_back("out" + std::to_string(buffer));
    return true;
  }
  bool Restart() override {
    calls.push_back("restart");
    return true;
  }
  void Stop() override { calls.push_back("stop"); }
  void Reset() override {
    calls.push_back("reset");
    if (resetReturns) {
      for (int b : std::set<int>(queued)) Return(b);
    }
  }
  void Unprepare(int buffer) override { calls.push_back("unprepare" + std::to_string(buffer)); }
  void Close() override { calls.push_back("close"); }

 private:
  std::function<void(int)> done_;
  std::uint8_t* data_[2] = {};
};


// The device's callback only wakes the playing thread; the refill is that thread's.
TEST(MidiPlayer, RefillsEachReturnedBufferUntilTheTuneEnds) {
  RecordingDevice device;
  int wakes = 0;
  MidiPlayer player(device, [&wakes] { ++wakes; });
  ASSERT_TRUE(player.Play(Tune(0, 200, 480), false));
  EXPECT_EQ(device.calls, (std::vector<std::string>{"open", "division", "prepare0", "out0", "prepare1", "out1", "restart"}));
  EXPECT_EQ(device.division, 480u);

  device.Return(0);  // 85 + 85 were sent
  EXPECT_EQ(wakes, 1);
  EXPECT_EQ(device.sent.size(), 2u);  // no call on the device from its callback
  player.Refill();                    // refilled with the last 30
  EXPECT_EQ(device.sent.size(), 3u);
  player.Refill();  // nothing came back since
  EXPECT_EQ(device.sent.size(), 3u);
  device.Return(1);  // nothing left: stays back while the other still plays
  player.Refill();
  EXPECT_TRUE(player.playing());
  device.Return(0);
  player.Refill();
  EXPECT_FALSE(player.playing());
  ASSERT_EQ(device.sent.size(), 3u);
  std::vector<std::uint32_t> keys;
  for (const auto& buffer : device.sent) {
    for (const auto& e : buffer) keys.push_back(e.word >> 8 & 0x7F);
  }
  ASSERT_EQ(keys.size(), 200u);
  for (std::uint32_t i = 0; i < 200; ++i) EXPECT_EQ(keys[i], i % 128);
}

TEST(MidiPlayer, LoopKeepsBothBuffersGoing) {
  RecordingDevice device;
  MidiPlayer player(device);
  ASSERT_TRUE(player.Play(Tune(0, 3, 480), true));
  for (int round = 0; round < 6; ++round) {
    device.Return(round % 2);
    player.Refill();
  }
  EXPECT_TRUE(player.playing());
  ASSERT_EQ(device.sent.size(), 8u);
  for (const auto& buffer : device.sent) EXPECT_EQ(buffer.size(), 85u);
}

TEST(MidiPlayer, ANewTuneStopsTheOldOneEvenWhenItIsBad) {
  RecordingDevice device;
  MidiPlayer player(device);
  ASSERT_TRUE(player.Play(Tune(0, 200, 480), false));
  device.calls.clear();
  Bytes bad = Tune(0, 3, 480);
  bad[7] = 7;  // header length
  EXPECT_FALSE(player.Play(bad, false));
  EXPECT_EQ(device.calls, (std::vector<std::string>{"stop", "reset", "unprepare0", "unprepare1", "close"}));
  EXPECT_FALSE(player.streamOpen());
}

// A device that keeps its buffers past the stop's wait may still call back into
// them: it is neither unprepared nor closed, nothing is refilled, and the player
// plays no more on it.
TEST(MidiPlayer, AStopThatTimesOutAbandonsTheDevice) {
  RecordingDevice slow;
  slow.resetReturns = false;
  int wakes = 0;
  MidiPlayer patient(slow, [&wakes] { ++wakes; }, 10);
  ASSERT_TRUE(patient.Play(Tune(0, 200, 480), false));
  patient.Stop();
  EXPECT_TRUE(patient.abandoned());
  slow.Return(0);
  patient.Refill();
  EXPECT_EQ(wakes, 0);
  EXPECT_EQ(slow.sent.size(), 2u);
  EXPECT_FALSE(patient.Play(Tune(0, 3, 480), false));
  patient.Stop();
  EXPECT_EQ(slow.calls.back(), "reset");
  EXPECT_EQ(std::count(slow.calls.begin(), slow.calls.end(), "close"), 0);
}

// A system whose MIDI mapper has nothing to map to is asked once, not at every
// reminder, until a MIDI output comes or goes; other failures are tried again.
TEST(MidiPlayer, AnOpenThatFoundNoDeviceWaitsForTheOutputsToChange) {
  RecordingDevice device;
  MidiPlayer player(device);
  const auto opens = [&device] { return std::count(device.calls.begin(), device.calls.end(), "open"); };
  device.opens = MidiOpen::NoDevice;
  EXPECT_FALSE(player.Play(Tune(0, 3, 480), false));
  EXPECT_FALSE(player.Play(Tune(0, 3, 480), false));
  EXPECT_EQ(opens(), 1);
  EXPECT_FALSE(player.streamOpen());

  device.outputs = 2;
  device.opens = MidiOpen::Failed;
  EXPECT_FALSE(player.Play(Tune(0, 3, 480), false));
  EXPECT_FALSE(player.Play(Tune(0, 3, 480), false));
  EXPECT_EQ(opens(), 3);

  device.opens = MidiOpen::Opened;
  EXPECT_TRUE(player.Play(Tune(0, 3, 480), false));
  EXPECT_EQ(opens(), 4);

  // No output at all: nothing to open.
  player.Stop();
  device.outputs = 0;
  EXPECT_FALSE(player.Play(Tune(0, 3, 480), false));
  EXPECT_EQ(opens(), 4);
}

TEST(SoundFont, DefaultsInEveryDataFolderBeforeNamedSetsAndTheUsersFolderFirst) {
  EXPECT_EQ(SoundFontDataDirs("", "/home/li", ""),
            (std::vector<std::string>{"/home/li/.local/share", "/usr/local/share", "/usr/share"}));
  EXPECT_EQ(SoundFontDataDirs("/d/", "/home/li", "rel:/usr/share/::/usr/share:/e"),
            (std::vector<std::string>{"/d", "/usr/share", "/e"}));

  const auto candidates = SoundFontCandidates({"/home/li/.local/share", "/usr/share"});
  std::set<std::string> present = {"/usr/share/sounds/sf2/TimGM6mb.sf2", "/usr/share/sounds/sf2/FluidR3_GM.sf2"};
  const auto readable = [&present](const std::string& file) { return present.count(file) > 0; };
  EXPECT_EQ(FindSoundFont(candidates, readable), "/usr/share/sounds/sf2/FluidR3_GM.sf2");
  present.insert("/home/li/.local/share/sounds/sf2/TimGM6mb.sf2");
  EXPECT_EQ(FindSoundFont(candidates, readable), "/home/li/.local/share/sounds/sf2/TimGM6mb.sf2");
  // Debian's alternative names whichever General MIDI set the system prefers.
  present.insert("/usr/share/sounds/sf2/default-GM.sf2");
  EXPECT_EQ(FindSoundFont(candidates, readable), "/usr/share/sounds/sf2/default-GM.sf2");
  present.insert("/home/li/.local/share/soundfonts/default.sf2");
  EXPECT_EQ(FindSoundFont(candidates, readable), "/home/li/.local/share/soundfonts/default.sf2");
  EXPECT_EQ(FindSoundFont(candidates, [](const std::string&) { return false; }), std::nullopt);
}

}  // namespace
}  // namespace tolvane::sound
