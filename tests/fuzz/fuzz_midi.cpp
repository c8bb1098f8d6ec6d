// MIDI file checks, track merge and the stream player on arbitrary bytes: never
// read past the input, only whole events, a looping tune repeats its pass exactly
// (or stops when it has nothing to play), and the player hands the device the
// whole tune once, then stops.
//
// The work per input follows the tune's length, not a fixed number of full
// buffers: one pass, a little over two looping passes through a buffer of a few
// events, and as many player refills as the pass needs. The sequence, device and
// player live across inputs, as they do in the program.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <vector>

#include "platform/sound/midi.h"

namespace {

using namespace tolvane::sound;

void Check(bool condition) {
  if (!condition) std::abort();
}

std::uint32_t Le32(const std::uint8_t* p) {
  return p[0] | static_cast<std::uint32_t>(p[1]) << 8 | static_cast<std::uint32_t>(p[2]) << 16 |
         static_cast<std::uint32_t>(p[3]) << 24;
}

struct StreamEvent {
  std::uint32_t delta, word;
};

// Checks the bytes one Fill wrote and appends their events.
void TakeEvents(const std::uint8_t* bytes, std::size_t written, std::size_t room, std::vector<StreamEvent>& into) {
  Check(written % kMidiEventBytes == 0 && written <= room);
  for (std::size_t at = 0; at < written; at += kMidiEventBytes) {
    Check(Le32(bytes + at + 4) == 0);  // stream id
    into.push_back({Le32(bytes + at), Le32(bytes + at + 8)});
  }
}

// A device with nothing to play: it keeps what it is given until the harness
// hands it back, and hands everything back on reset, as the real one does.
class EchoDevice : public MidiStreamDevice {
 public:
  unsigned OutputCount() override { return 1; }
  MidiOpen Open(std::function<void(int)> done) override {
    done_ = std::move(done);
    return MidiOpen::Opened;
  }
  bool SetTimeDivision(std::uint32_t) override { return true; }
  bool Prepare(int, std::uint8_t*, std::size_t) override { return true; }
  bool Out(int buffer, std::size_t bytes) override {
    Check(bytes != 0 && bytes % kMidiEventBytes == 0 && bytes <= MidiPlayer::kBufferBytes && !queued_[buffer]);
    queued_[buffer] = true;
    events += bytes / kMidiEventBytes;
    return true;
  }
  bool Restart() override { return true; }
  void Stop() override {}
  void Reset() override {
    Return(0);
    Return(1);
  }
  void Unprepare(int buffer) override { Check(!queued_[buffer]); }
  void Close() override {}
  void Return(int buffer) {
    if (!queued_[buffer]) return;
    queued_[buffer] = false;
    done_(buffer);
  }

  std::size_t events = 0;

 private:
  std::function<void(int)> done_;
  bool queued_[2] = {};
};

MidiSequence sequence;
EchoDevice device;
MidiPlayer player(device, {}, 0);
std::vector<StreamEvent> pass, looped;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const tolvane::ByteView input(data, size);
  if (!sequence.Open(input)) return 0;

  // One pass. Every event costs the file at least one byte, so it ends.
  pass.clear();
  std::uint8_t buffer[MidiPlayer::kBufferBytes];
  for (std::size_t written; (written = sequence.Fill(buffer, false)) != 0;) TakeEvents(buffer, written, sizeof buffer, pass);
  Check(sequence.ended());

  // Looping, through a buffer with room for five events and a bit: the same
  // events again and again, with the same spacing except where a pass starts over.
  sequence.Rewind();
  looped.clear();
  const std::span<std::uint8_t> small(buffer, 5 * kMidiEventBytes + 7);
  while (looped.size() < 2 * pass.size() + 1) {
    const std::size_t written = sequence.Fill(small, true);
    // A looping tune with events fills every buffer; one without stops at once.
    Check(written == (pass.empty() ? 0 : 5 * kMidiEventBytes));
    if (written == 0) break;
    TakeEvents(buffer, written, small.size(), looped);
  }
  for (std::size_t i = 0; i < looped.size(); ++i) {
    const StreamEvent& want = pass[i % pass.size()];
    Check(looped[i].word == want.word);
    if (i < pass.size() || i % pass.size() != 0) Check(looped[i].delta == want.delta);
  }

  // The player, from a file copy of its own, refilled as the device hands the
  // buffers back; a tune played once reaches the device whole, then stops.
  const bool loop = size % 2 == 1;
  player.setTempoScale(data[size / 2] + 1u);
  device.events = 0;
  if (!player.Play(input, loop)) return 0;
  // Enough refills to finish the tune and hand both buffers back; looping, one
  // pass and the start of the next.
  const std::size_t refills = pass.size() / (MidiPlayer::kBufferBytes / kMidiEventBytes) + (loop ? 1 : 4);
  for (std::size_t i = 0; i < refills && player.playing(); ++i) {
    device.Return(static_cast<int>(i % 2));
    player.Refill();  // the playing thread's part, woken by the callback
  }
  if (loop) {
    Check(player.playing() == !pass.empty());
  } else {
    Check(!player.playing() && device.events == pass.size());
  }
  player.Stop();
  Check(!player.playing() && !player.streamOpen());
  return 0;
}
