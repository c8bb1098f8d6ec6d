#pragma once
// Standard MIDI File playback without system calls: the file is checked and its
// tracks merged into the stream events a MIDI stream device plays, and a player
// keeps two stream buffers topped up through a small device interface. Windows
// supplies its MIDI stream, Linux a synthesizer that plays the same events
// (synth_linux.h); tests supply a recording device.
#include <array>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <span>
#include <vector>

#include "resources/resources.h"

namespace tolvane::sound {

// A stream event is three little-endian 32-bit words: delta ticks, stream id (0)
// and the event word, whose high byte is the event type.
inline constexpr std::size_t kMidiEventBytes = 12;
inline constexpr std::uint32_t kMevtShortMsg = 0x00;  // low 24 bits: status, data 1, data 2
inline constexpr std::uint32_t kMevtTempo = 0x01;     // low 24 bits: microseconds per quarter note

// The merged events of one Standard MIDI File.
class MidiSequence {
 public:
  // Checks the header ("MThd", length 6, format, track count, division) and every
  // track chunk ("MTrk" and a length), and that each non-empty track's first event
  // parses. Keeps a copy of the bytes. A track length running past the end of the
  // data is cut to the bytes present. False when refused; the sequence is then
  // empty.
  bool Open(ByteView file);
  void Close();

  std::uint16_t division() const { return division_; }
  std::size_t trackCount() const { return tracks_.size(); }

  // Per cent of the file's own speed applied to its tempo events: 200 plays twice
  // as fast, 50 half as fast. Values below 1 count as 1.
  void setTempoScale(std::uint32_t percent) { tempoScale_ = percent < 1 ? 1 : percent; }

  // Writes whole stream events into out until it has no room for another or every
  // track has ended; returns the bytes written. With loop, an ended tune starts
  // over within the same call, keeping the time from the last event to the end of
  // the tune so the repeat stays in rhythm. A tune with no events to play stops
  // even with loop.
  std::size_t Fill(std::span<std::uint8_t> out, bool loop);

  bool ended() const;
  // Back to the start of every track.
  void Rewind();

 private:
  struct Track {
    std::size_t begin = 0, end = 0, pos = 0;
    std::uint64_t time = 0;  // ticks of the next event from the start of the tune
    std::uint8_t running = 0;
    bool ended = false;
  };
  struct Event {
    enum class Kind { Short, Tempo, Skip, End } kind = Kind::Skip;
    std::uint32_t word = 0;
  };
  bool ReadDelta(Track& t) const;
  bool ReadEvent(Track& t, Event& e) const;
  void StartTrack(Track& t) const;
  void Restart(bool keepTime);

  std::vector<std::uint8_t> bytes_;
  std::vector<Track> tracks_;
  std::uint16_t division_ = 0;
  std::uint32_t tempoScale_ = 100;
  std::uint64_t base_ = 0;         // ticks of the earlier passes of a looping tune
  std::uint64_t passTime_ = 0;     // time of the last event taken in this pass
  std::uint64_t lastEmitted_ = 0;  // absolute time of the last event written
  bool passEmitted_ = false;
};

// What opening a MIDI stream came to.
enum class MidiOpen {
  Opened,
  NoDevice,  // the system has no MIDI output that can play the stream
  Failed,    // anything else; the next tune tries again
};

// A MIDI stream device, reduced to what the player needs. It follows the Windows
// MIDI stream calls one for one (midiStreamOpen, midiStreamProperty with the time
// division, midiOutPrepareHeader, midiStreamOut, midiStreamRestart, midiStreamStop,
// midiOutReset, midiOutUnprepareHeader, midiStreamClose), and the events are the
// Windows stream's own format; another system's device imitates that stream.
// Buffers are known by their index, 0 or 1.
class MidiStreamDevice {
 public:
  virtual ~MidiStreamDevice() = default;
  // How many MIDI outputs the system has now. An open that found no device is
  // not tried again until this number changes.
  virtual unsigned OutputCount() = 0;
  // Opens the stream (on Windows, the MIDI mapper's); done is called with a
  // buffer's index each time the device hands one back, possibly on another thread.
  virtual MidiOpen Open(std::function<void(int)> done) = 0;
  virtual bool SetTimeDivision(std::uint32_t division) = 0;
  virtual bool Prepare(int buffer, std::uint8_t* data, std::size_t capacity) = 0;
  virtual bool Out(int buffer, std::size_t bytes) = 0;
  virtual bool Restart() = 0;
  virtual void Stop() = 0;
  virtual void Reset() = 0;
  virtual void Unprepare(int buffer) = 0;
  virtual void Close() = 0;
};

// One tune at a time through two stream buffers. Every call but BufferDone is
// made on one thread, the one that plays: the device's callback only hands a
// buffer back and wakes that thread, which refills it (Refill). A multimedia
// call from inside the system's callback may deadlock, so none is made there.
class MidiPlayer {
 public:
  static constexpr std::size_t kBufferBytes = 1024;

  // returned: called from the device's callback each time a buffer comes back,
  // with the player's lock held, so it must only wake the playing thread.
  // stopWaitMs: how long Stop waits for the device to hand the buffers back.
  explicit MidiPlayer(MidiStreamDevice& device, std::function<void()> returned = {}, unsigned stopWaitMs = 2000);
  ~MidiPlayer();
  MidiPlayer(const MidiPlayer&) = delete;
  MidiPlayer& operator=(const MidiPlayer&) = delete;

  // Stops the tune that is playing, then copies and opens file and starts it.
  // False when the data is refused, the device fails or was abandoned; the old
  // tune is stopped either way. Once an open has found no device, the device is
  // left alone (and the tune is silent) until the system's number of MIDI outputs
  // changes: a system whose MIDI mapper has nothing to map to is not asked again
  // and again.
  bool Play(ByteView file, bool loop);
  // Stops the stream, waits a while for both buffers to come back, then closes
  // it. A device that keeps a buffer past the wait may still call back into it:
  // it is abandoned as it is, neither unprepared nor closed, and the player
  // plays no more (abandoned()); its owner keeps both alive for good.
  void Stop();
  // Refills and queues again each buffer handed back since; once the tune is
  // over and both buffers are back, rewinds it.
  void Refill();
  // The device's completion callback: notes the buffer as back and wakes the
  // playing thread. Makes no call on the device.
  void BufferDone(int buffer);

  void setTempoScale(std::uint32_t percent);
  bool streamOpen() const;
  bool playing() const;  // some buffer is still with the device
  bool abandoned() const;

 private:
  void Queue(int buffer);

  MidiStreamDevice& device_;
  const unsigned stopWaitMs_;
  // Guards what the callback shares: returned_, queued_, back_, stopping_,
  // abandoned_. Never held across a call on the device.
  mutable std::mutex mutex_;
  std::condition_variable cameBack_;
  std::function<void()> returned_;
  // The playing thread's own.
  MidiSequence sequence_;
  std::array<std::array<std::uint8_t, kBufferBytes>, 2> buffers_{};
  std::array<bool, 2> prepared_{};
  std::uint32_t tempoScale_ = 100;
  bool open_ = false;
  bool loop_ = false;
  // The number of MIDI outputs when an open last found no device.
  std::optional<unsigned> noDeviceAt_;
  // Shared with the callback.
  std::array<bool, 2> queued_{};  // with the device
  std::array<bool, 2> back_{};    // handed back and not yet refilled
  bool stopping_ = false;
  bool abandoned_ = false;
};

}  // namespace tolvane::sound
