// MIDI file checks, track merge and the stream player on arbitrary bytes: never
// read past the input, only whole events, and a looping tune always makes progress
// or stops.
#include <cstdint>
#include <cstdlib>
#include <functional>

#include "platform/sound/midi.h"

namespace {

// Hands every buffer straight back, as a device with nothing to play would.
class EchoDevice : public tolvane::sound::MidiStreamDevice {
 public:
  bool Open(std::function<void(int)> done) override {
    done_ = std::move(done);
    return true;
  }
  bool SetTimeDivision(std::uint32_t) override { return true; }
  bool Prepare(int, std::uint8_t*, std::size_t) override { return true; }
  bool Out(int buffer, std::size_t bytes) override {
    if (bytes == 0 || bytes % 12 != 0 || bytes > 1024 || queued_[buffer]) std::abort();
    queued_[buffer] = true;
    return true;
  }
  bool Restart() override { return true; }
  void Stop() override {}
  void Reset() override {}
  void Unprepare(int) override {}
  void Close() override {}
  void Return(int buffer) {
    if (!queued_[buffer]) return;
    queued_[buffer] = false;
    done_(buffer);
  }

 private:
  std::function<void(int)> done_;
  bool queued_[2] = {};
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace tolvane::sound;
  const tolvane::ByteView input(data, size);
  MidiSequence sequence;
  if (!sequence.Open(input)) return 0;
  std::uint8_t buffer[1024];
  // Every event costs the file at least one byte, so a tune without loop ends.
  for (std::size_t written; (written = sequence.Fill(buffer, false)) != 0;) {
    if (written % kMidiEventBytes != 0 || written > sizeof buffer) std::abort();
  }
  if (!sequence.ended()) std::abort();
  sequence.Rewind();
  for (int i = 0; i < 4; ++i) sequence.Fill(buffer, true);

  EchoDevice device;
  MidiPlayer player(device, 0);
  player.setTempoScale(data[size / 2] + 1u);
  if (!player.Play(input, size % 2 == 1)) return 0;
  for (int i = 0; i < 16 && player.playing(); ++i) device.Return(i % 2);
  player.Stop();
  return 0;
}
