#include "platform/sound/sound_service.h"

#include <algorithm>
#include <condition_variable>
#include <exception>
#include <new>
#include <thread>
#include <utility>
#include <vector>

namespace tolvane {
namespace {

// MIDI devices given up while they may still call back: kept, never freed.
struct AbandonedMidiDevice {
  std::unique_ptr<sound::MidiStreamDevice> device;
  std::unique_ptr<sound::MidiPlayer> player;
};
struct AbandonedMidiDevices {
  std::mutex mutex;
  std::vector<AbandonedMidiDevice> list;
};
void Abandon(AbandonedMidiDevice abandoned) {
  static auto* const devices = new AbandonedMidiDevices;
  std::lock_guard held(devices->mutex);
  try {
    devices->list.push_back(std::move(abandoned));
  } catch (const std::bad_alloc&) {
    (void)abandoned.device.release();
    (void)abandoned.player.release();
  }
}

}  // namespace

// The MIDI player and the one thread that makes every call on it and its device.
// Requests are not queued: a tune asked for while the device is busy replaces any
// tune still waiting, and a stop drops it.
struct PlaybackService::MidiWorker {
  struct Tune {
    std::vector<std::uint8_t> bytes;
    bool loop = false;
  };

  MidiWorker(sound::MidiDeviceMaker maker, sound::ThreadGuard guard)
      : newDevice(std::move(maker)), guardThread(guard) {}

  // Both called with mutex held.
  bool NothingToDo() const { return !pending && !stop && !busy; }
  bool SettledOrEnded() const { return !running || NothingToDo(); }

  // The window's side.

  // False when the thread could not be started.
  bool Play(Tune tune, const std::shared_ptr<MidiWorker>& self) {
    std::lock_guard held(mutex);
    pending = std::move(tune);
    if (!running) {
      try {
        std::thread([self] { self->Run(); }).detach();
      } catch (const std::exception&) {
        pending.reset();
        return false;
      }
      running = true;
    }
    wake.notify_all();
    return true;
  }

  // Drops any tune still waiting and stops the one playing; waits until then, or
  // until the deadline, and with quit until the thread has ended.
  void Stop(Clock::time_point deadline, bool andQuit) {
    std::unique_lock held(mutex);
    pending.reset();
    if (!running) return;
    stop = true;
    quit = quit || andQuit;
    wake.notify_all();
    settled.wait_until(held, deadline, [this, andQuit] { return andQuit ? !running : SettledOrEnded(); });
  }

  bool EndedByGuard() {
    std::lock_guard held(mutex);
    return endedByGuard;
  }

  // The thread's side.

  void Run() {
    if (guardThread != nullptr) guardThread(&EndedOnFault, this);
    std::unique_lock held(mutex);
    for (;;) {
      wake.wait(held, [this] { return pending || stop || quit || refill; });
      if (stop) {
        stop = false;  // a tune asked for since the stop still plays
        refill = false;
        Work(held, [this] {
          if (player) player->Stop();
        });
      } else if (pending) {
        Tune tune = std::move(*pending);
        pending.reset();
        refill = false;
        Work(held, [this, &tune] { StartTune(tune); });
      } else if (refill) {
        refill = false;
        Work(held, [this] {
          if (player) player->Refill();
        });
      } else {
        running = false;
        settled.notify_all();
        return;
      }
      if (NothingToDo()) settled.notify_all();
    }
  }

  // Whatever the device does, the thread goes on: a failure is a silent tune.
  template <typename Do>
  void Work(std::unique_lock<std::mutex>& held, Do work) {
    busy = true;
    held.unlock();
    try {
      work();
    } catch (...) {
    }
    // A device that kept its buffers is never used again, nor freed.
    if (player && player->abandoned()) Abandon({std::move(device), std::move(player)});
    held.lock();
    busy = false;
  }

  void StartTune(const Tune& tune) {
    if (!player) {
      device = newDevice ? newDevice() : nullptr;
      if (!device) return;
      player = std::make_unique<sound::MidiPlayer>(*device, [this] { RefillSoon(); });
    }
    player->Play(ByteView(tune.bytes), tune.loop);
  }

  // From the player, inside the device's callback: only wakes the thread.
  void RefillSoon() {
    std::lock_guard held(mutex);
    refill = true;
    wake.notify_all();
  }

  // From the guard, on this thread as a fault ends it. The thread holds mutex
  // only between calls on the device, never in one.
  static void EndedOnFault(void* context) {
    auto* self = static_cast<MidiWorker*>(context);
    std::lock_guard held(self->mutex);
    self->running = false;
    self->endedByGuard = true;
    self->settled.notify_all();
  }

  const sound::MidiDeviceMaker newDevice;
  const sound::ThreadGuard guardThread;
  std::mutex mutex;
  std::condition_variable wake;     // work for the thread
  std::condition_variable settled;  // the thread has nothing left to do, or has ended
  std::optional<Tune> pending;
  bool stop = false;
  bool quit = false;
  bool refill = false;
  bool busy = false;
  bool running = false;       // the thread has been started and has not ended
  bool endedByGuard = false;  // a fault ended the thread: never used again
  // The thread's own.
  std::unique_ptr<sound::MidiStreamDevice> device;
  std::unique_ptr<sound::MidiPlayer> player;
};

PlaybackService::PlaybackService(std::unique_ptr<sound::WaveOutput> wave, sound::MidiDeviceMaker newMidiDevice,
                                 sound::ThreadGuard guardThread, std::chrono::milliseconds stopWait)
    : wave_(std::move(wave)),
      newMidiDevice_(std::move(newMidiDevice)),
      guardThread_(guardThread),
      stopWait_(stopWait) {}

PlaybackService::~PlaybackService() {
  std::shared_ptr<MidiWorker> midi;
  Clock::time_point deadline;
  {
    std::lock_guard held(mutex_);
    midi = std::move(midi_);
    deadline = stopDeadline_.value_or(Clock::now() + stopWait_);
  }
  if (midi) midi->Stop(deadline, true);
}

bool PlaybackService::StartSound(ByteView data, bool loop) {
  if (data.empty()) return false;
  switch (sound::RecogniseSound(data)) {
    case sound::SoundKind::Wave: {
      const auto chunks = sound::FindWaveChunks(data);
      if (!chunks || !wave_->Start(*chunks, loop)) return false;
      std::lock_guard held(mutex_);
      stopDeadline_.reset();
      return true;
    }
    case sound::SoundKind::Midi:
      try {
        MidiWorker::Tune tune{std::vector<std::uint8_t>(data.begin(), data.end()), loop};
        std::lock_guard held(mutex_);
        stopDeadline_.reset();
        // A worker whose thread a fault ended is left to it; the next tune gets a
        // new one.
        if (!midi_ || midi_->EndedByGuard()) midi_ = std::make_shared<MidiWorker>(newMidiDevice_, guardThread_);
        // The tune playing is stopped first whatever the new data holds: the
        // player does that as it takes the request.
        return midi_->Play(std::move(tune), midi_);
      } catch (const std::bad_alloc&) {
        return false;
      }
    case sound::SoundKind::None:
      break;
  }
  return false;
}

void PlaybackService::StopAllSounds(bool wait) {
  std::shared_ptr<MidiWorker> midi;
  Clock::time_point deadline = Clock::now();
  {
    std::lock_guard held(mutex_);
    midi = midi_;
    if (wait) {
      if (!stopDeadline_) stopDeadline_ = deadline + stopWait_;
      deadline = *stopDeadline_;
    }
  }
  if (midi) midi->Stop(deadline, false);
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
  wave_->StopAll(std::max(left, std::chrono::milliseconds(0)));
}

}  // namespace tolvane
