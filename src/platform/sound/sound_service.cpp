#include "platform/sound/sound_service.h"

#include <condition_variable>
#include <exception>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

namespace tolvane {

// The MIDI player and the one thread that makes every call on it. Requests are
// not queued: a tune asked for while the device is busy replaces any tune still
// waiting, and a stop drops it.
struct PlaybackService::MidiWorker {
  struct Tune {
    std::vector<std::uint8_t> bytes;
    bool loop = false;
  };

  MidiWorker(std::unique_ptr<sound::MidiStreamDevice> d, void (*guard)())
      : device(std::move(d)), player(*device), guardThread(guard) {}

  std::unique_ptr<sound::MidiStreamDevice> device;
  sound::MidiPlayer player;
  void (*const guardThread)();
  std::mutex lock;
  std::condition_variable wake;  // work for the thread
  std::condition_variable idle;  // the thread has nothing left to do
  std::optional<Tune> pending;
  bool stop = false;
  bool quit = false;
  bool busy = false;
  bool running = false;  // the thread has been started and has not ended

  bool Idle() const { return !pending && !stop && !busy; }

  // Whatever the device does, the thread goes on: a failure is a silent tune.
  void Run() {
    if (guardThread != nullptr) guardThread();
    std::unique_lock guard(lock);
    for (;;) {
      wake.wait(guard, [this] { return pending || stop || quit; });
      if (stop) {
        stop = false;  // a tune asked for since the stop still plays
        busy = true;
        guard.unlock();
        try {
          player.Stop();
        } catch (...) {
        }
        guard.lock();
      } else if (pending) {
        Tune tune = std::move(*pending);
        pending.reset();
        busy = true;
        guard.unlock();
        try {
          player.Play(ByteView(tune.bytes), tune.loop);
        } catch (...) {
        }
        guard.lock();
      } else {
        running = false;
        idle.notify_all();
        return;
      }
      busy = false;
      if (Idle()) idle.notify_all();
    }
  }

  // Called with the lock held.
  bool EnsureThread(const std::shared_ptr<MidiWorker>& self) {
    if (running) return true;
    try {
      std::thread([self] { self->Run(); }).detach();
    } catch (const std::exception&) {
      return false;
    }
    running = true;
    return true;
  }

  // Called with the lock held; true when the thread has nothing left to do by then.
  bool WaitIdle(std::unique_lock<std::mutex>& guard, std::chrono::milliseconds wait) {
    return idle.wait_for(guard, wait, [this] { return !running || Idle(); });
  }
};

PlaybackService::PlaybackService(std::unique_ptr<sound::WaveOutput> wave,
                                 std::unique_ptr<sound::MidiStreamDevice> midi, void (*guardThread)(),
                                 std::chrono::milliseconds stopWait)
    : wave_(std::move(wave)), stopWait_(stopWait), midi_(std::make_shared<MidiWorker>(std::move(midi), guardThread)) {}

PlaybackService::~PlaybackService() {
  std::unique_lock guard(midi_->lock);
  if (!midi_->running) return;
  midi_->stop = true;
  midi_->quit = true;
  midi_->wake.notify_all();
  // A thread stuck in the device keeps its own share of the player and ends, if
  // ever, on its own.
  midi_->idle.wait_for(guard, stopWait_, [this] { return !midi_->running; });
}

bool PlaybackService::StartSound(ByteView data, bool loop) {
  if (data.empty()) return false;
  switch (sound::RecogniseSound(data)) {
    case sound::SoundKind::Wave: {
      const auto chunks = sound::FindWaveChunks(data);
      return chunks && wave_->Start(*chunks, loop);
    }
    case sound::SoundKind::Midi: {
      MidiWorker::Tune tune;
      try {
        tune.bytes.assign(data.begin(), data.end());
      } catch (const std::bad_alloc&) {
        return false;
      }
      tune.loop = loop;
      std::lock_guard guard(midi_->lock);
      midi_->pending = std::move(tune);
      // The tune playing is stopped first whatever the new data holds: the
      // player does that as it takes the request.
      if (midi_->EnsureThread(midi_)) midi_->wake.notify_all();
      return true;
    }
    case sound::SoundKind::None:
      break;
  }
  return false;
}

void PlaybackService::StopAllSounds(bool wait) {
  {
    std::unique_lock guard(midi_->lock);
    midi_->pending.reset();
    if (midi_->running) {
      midi_->stop = true;
      midi_->wake.notify_all();
      if (wait) midi_->WaitIdle(guard, stopWait_);
    }
  }
  wave_->StopAll(wait ? stopWait_ : std::chrono::milliseconds(0));
}

}  // namespace tolvane
