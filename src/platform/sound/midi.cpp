#include "platform/sound/midi.h"
#include "platform/text/byte_order.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace tolvane::sound {
namespace {

// A variable-length number: 7 bits a byte, high bit set on all but the last, at
// most four bytes.
bool ReadNumber(const std::vector<std::uint8_t>& bytes, std::size_t& pos, std::size_t end, std::uint32_t& value) {
  value = 0;
  for (int i = 0; i < 4; ++i) {
    if (pos >= end) return false;
    const std::uint8_t b = bytes[pos++];
    value = value << 7 | (b & 0x7Fu);
    if ((b & 0x80) == 0) return true;
  }
  return false;
}

}  // namespace

bool MidiSequence::Open(ByteView file) {
  Close();
  if (file.size() < 14 || std::memcmp(file.data(), "MThd", 4) != 0 || Be32(file.data() + 4) != 6) return false;
  const std::uint32_t trackCount = Be16(file.data() + 10);
  const std::uint16_t division = static_cast<std::uint16_t>(Be16(file.data() + 12));

  std::vector<Track> tracks;
  std::uint64_t pos = 14;
  for (std::uint32_t i = 0; i < trackCount; ++i) {
    if (pos + 8 > file.size() || std::memcmp(file.data() + pos, "MTrk", 4) != 0) return false;
    const std::uint64_t length = Be32(file.data() + pos + 4);
    Track t;
    t.begin = t.pos = static_cast<std::size_t>(pos + 8);
    t.end = static_cast<std::size_t>(std::min<std::uint64_t>(t.begin + length, file.size()));
    tracks.push_back(t);
    pos = t.begin + length;
  }

  bytes_.assign(file.begin(), file.end());
  tracks_ = std::move(tracks);
  for (Track& t : tracks_) {
    if (t.begin == t.end) {
      t.ended = true;
      continue;
    }
    Track probe = t;
    Event first;
    if (!ReadDelta(probe) || !ReadEvent(probe, first)) {
      Close();
      return false;
    }
  }
  division_ = division;
  Restart(false);
  return true;
}

void MidiSequence::Close() {
  bytes_.clear();
  tracks_.clear();
  division_ = 0;
  base_ = passTime_ = lastEmitted_ = 0;
  passEmitted_ = false;
}

bool MidiSequence::ReadDelta(Track& t) const {
  std::uint32_t delta = 0;
  if (!ReadNumber(bytes_, t.pos, t.end, delta)) return false;
  t.time += delta;
  return true;
}

bool MidiSequence::ReadEvent(Track& t, Event& e) const {
  if (t.pos >= t.end) return false;
  std::uint8_t status = bytes_[t.pos];
  if (status < 0x80) {
    if (t.running == 0) return false;  // data byte with no status to repeat
    status = t.running;
  } else {
    ++t.pos;
  }

  if (status < 0xF0) {
    const std::size_t count = (status & 0xF0) == 0xC0 || (status & 0xF0) == 0xD0 ? 1 : 2;
    if (t.end - t.pos < count) return false;
    const std::uint8_t d1 = bytes_[t.pos];
    const std::uint8_t d2 = count == 2 ? bytes_[t.pos + 1] : 0;
    if (d1 >= 0x80 || d2 >= 0x80) return false;
    t.pos += count;
    t.running = status;
    e.kind = Event::Kind::Short;
    e.word = status | static_cast<std::uint32_t>(d1) << 8 | static_cast<std::uint32_t>(d2) << 16;
    return true;
  }

  // Running status is left as it was across system-exclusive and meta events: a
  // well-formed file always restates it afterwards, and some writers rely on it
  // surviving.
  if (status == 0xF0 || status == 0xF7) {
    std::uint32_t length = 0;
    if (!ReadNumber(bytes_, t.pos, t.end, length) || t.end - t.pos < length) return false;
    t.pos += length;
    e.kind = Event::Kind::Skip;
    return true;
  }
  if (status == 0xFF) {
    if (t.pos >= t.end) return false;
    const std::uint8_t type = bytes_[t.pos++];
    std::uint32_t length = 0;
    if (!ReadNumber(bytes_, t.pos, t.end, length) || t.end - t.pos < length) return false;
    const std::uint8_t* body = bytes_.data() + t.pos;
    t.pos += length;
    if (type == 0x2F) {
      e.kind = Event::Kind::End;
    } else if (type == 0x51 && length >= 3) {
      e.kind = Event::Kind::Tempo;
      e.word = static_cast<std::uint32_t>(body[0]) << 16 | static_cast<std::uint32_t>(body[1]) << 8 | body[2];
    } else {
      e.kind = Event::Kind::Skip;
    }
    return true;
  }
  return false;  // system common and real-time bytes have no place in a file
}

void MidiSequence::StartTrack(Track& t) const {
  t.pos = t.begin;
  t.time = 0;
  t.running = 0;
  t.ended = t.begin == t.end || !ReadDelta(t);
}

void MidiSequence::Restart(bool keepTime) {
  if (keepTime) {
    base_ += passTime_;
  } else {
    base_ = 0;
    lastEmitted_ = 0;
  }
  passTime_ = 0;
  passEmitted_ = false;
  for (Track& t : tracks_) StartTrack(t);
}

void MidiSequence::Rewind() { Restart(false); }

bool MidiSequence::ended() const {
  return std::all_of(tracks_.begin(), tracks_.end(), [](const Track& t) { return t.ended; });
}

std::size_t MidiSequence::Fill(std::span<std::uint8_t> out, bool loop) {
  std::size_t written = 0;
  while (out.size() - written >= kMidiEventBytes) {
    Track* next = nullptr;
    for (Track& t : tracks_) {
      if (!t.ended && (next == nullptr || t.time < next->time)) next = &t;
    }
    if (next == nullptr) {
      if (!loop || !passEmitted_) break;  // a tune with nothing to play must not spin
      Restart(true);
      continue;
    }

    passTime_ = next->time;
    Event e;
    if (!ReadEvent(*next, e) || e.kind == Event::Kind::End) {
      next->ended = true;  // a damaged track ends where the damage starts
      continue;
    }
    if (!ReadDelta(*next)) next->ended = true;  // no end-of-track event: ends anyway
    if (e.kind == Event::Kind::Skip) continue;

    std::uint32_t word = e.word;
    std::uint32_t type = kMevtShortMsg;
    if (e.kind == Event::Kind::Tempo) {
      type = kMevtTempo;
      const std::uint64_t scaled = static_cast<std::uint64_t>(word) * 100 / tempoScale_;
      word = static_cast<std::uint32_t>(std::clamp<std::uint64_t>(scaled, 1, 0xFFFFFF));
    }
    const std::uint64_t at = base_ + passTime_;
    const std::uint64_t delta = std::min<std::uint64_t>(at - lastEmitted_, std::numeric_limits<std::uint32_t>::max());
    lastEmitted_ = at;
    passEmitted_ = true;

    std::uint8_t* p = out.data() + written;
    PutLe32(p, static_cast<std::uint32_t>(delta));
    PutLe32(p + 4, 0);
    PutLe32(p + 8, type << 24 | word);
    written += kMidiEventBytes;
  }
  return written;
}

MidiPlayer::MidiPlayer(MidiStreamDevice& device, std::function<void()> returned, unsigned stopWaitMs)
    : device_(device), stopWaitMs_(stopWaitMs), returned_(std::move(returned)) {}

MidiPlayer::~MidiPlayer() { Stop(); }

void MidiPlayer::setTempoScale(std::uint32_t percent) {
  tempoScale_ = percent;
  sequence_.setTempoScale(percent);
}

bool MidiPlayer::streamOpen() const {
  std::lock_guard lock(mutex_);
  return open_;
}

bool MidiPlayer::playing() const {
  std::lock_guard lock(mutex_);
  return queued_[0] || queued_[1];
}

bool MidiPlayer::abandoned() const {
  std::lock_guard lock(mutex_);
  return abandoned_;
}

// Marked as queued before the call: the device may hand it back before Out returns.
void MidiPlayer::Queue(int buffer) {
  const std::size_t bytes = sequence_.Fill(buffers_[buffer], loop_);
  if (bytes == 0) return;
  {
    std::lock_guard lock(mutex_);
    queued_[buffer] = true;
  }
  if (device_.Out(buffer, bytes)) return;
  std::lock_guard lock(mutex_);
  queued_[buffer] = false;
}

bool MidiPlayer::Play(ByteView file, bool loop) {
  Stop();
  if (abandoned()) return false;
  sequence_.setTempoScale(tempoScale_);
  if (!sequence_.Open(file)) return false;
  loop_ = loop;
  const unsigned outputs = device_.OutputCount();
  MidiOpen opened = MidiOpen::NoDevice;
  if (outputs != 0 && noDeviceAt_ != outputs) opened = device_.Open([this](int buffer) { BufferDone(buffer); });
  if (opened == MidiOpen::NoDevice) noDeviceAt_ = outputs;
  if (opened != MidiOpen::Opened) {
    sequence_.Close();
    return false;
  }
  noDeviceAt_.reset();
  {
    std::lock_guard lock(mutex_);
    open_ = true;
  }
  // The stream stays paused until the restart, so nothing plays while it is set up.
  bool ok = device_.SetTimeDivision(sequence_.division());
  for (int i = 0; i < 2 && ok; ++i) {
    ok = prepared_[i] = device_.Prepare(i, buffers_[i].data(), kBufferBytes);
    if (ok) Queue(i);
  }
  if (ok && device_.Restart()) return true;
  Stop();
  return false;
}

void MidiPlayer::Stop() {
  {
    std::lock_guard lock(mutex_);
    if (!open_ || abandoned_) return;
    stopping_ = true;
  }
  // The device hands the queued buffers back from inside these calls or from its
  // own thread.
  device_.Stop();
  device_.Reset();
  {
    std::unique_lock lock(mutex_);
    const auto allBack = [this] { return !queued_[0] && !queued_[1]; };
    if (!cameBack_.wait_for(lock, std::chrono::milliseconds(stopWaitMs_), allBack)) {
      abandoned_ = true;
      returned_ = nullptr;  // its owner may be gone by the time a late buffer comes back
      return;
    }
  }
  for (int i = 0; i < 2; ++i) {
    if (prepared_[i]) device_.Unprepare(i);
  }
  device_.Close();
  prepared_ = {};
  sequence_.Close();
  std::lock_guard lock(mutex_);
  back_ = {};
  open_ = false;
  stopping_ = false;
}

void MidiPlayer::Refill() {
  std::array<bool, 2> back{};
  {
    std::lock_guard lock(mutex_);
    if (!open_ || stopping_ || abandoned_) return;
    std::swap(back, back_);
  }
  for (int i = 0; i < 2; ++i) {
    if (back[i]) Queue(i);
  }
  std::lock_guard lock(mutex_);
  // Nothing with the device and nothing to refill: the tune is over.
  if (queued_ == std::array<bool, 2>{} && back_ == std::array<bool, 2>{}) sequence_.Rewind();
}

void MidiPlayer::BufferDone(int buffer) {
  if (buffer != 0 && buffer != 1) return;
  std::lock_guard lock(mutex_);
  queued_[buffer] = false;
  back_[buffer] = true;
  cameBack_.notify_all();
  if (!stopping_ && returned_) returned_();
}

}  // namespace tolvane::sound
