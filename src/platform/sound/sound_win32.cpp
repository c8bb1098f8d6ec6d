#include "platform/sound/sound_win32.h"

#include <windows.h>
#include <mmsystem.h>

#include <algorithm>
#include <cstring>
#include <new>
#include <string_view>
#include <vector>

#include "platform/sound/midi.h"
#include "platform/sound/wave_chunks.h"
#include "platform/sound/wave_convert.h"
#include "platform/system/bind_win32.h"

namespace tolvane {
namespace {

// winmm.dll is not one of the libraries Windows always takes from its own
// directory, so it is bound from there at first use instead of imported: a copy
// planted beside the program is never loaded. A function that cannot be bound
// fails as a missing device does, and the sound is silent.
template <typename Fn, MMRESULT kUnbound = MMSYSERR_NODRIVER>
class WinmmFunction {
 public:
  constexpr explicit WinmmFunction(std::string_view name) : declared_("winmm.dll", name) {}
  template <typename... Args>
  MMRESULT operator()(Args... args) {
    const auto function = TryBindAs<Fn*>(declared_);
    return function != nullptr ? function(args...) : kUnbound;
  }

 private:
  DeclaredFunction declared_;
};

namespace winmm {
WinmmFunction<decltype(::waveOutGetNumDevs), 0> waveOutGetNumDevs{"waveOutGetNumDevs"};
WinmmFunction<decltype(::waveOutOpen)> waveOutOpen{"waveOutOpen"};
WinmmFunction<decltype(::waveOutPrepareHeader)> waveOutPrepareHeader{"waveOutPrepareHeader"};
WinmmFunction<decltype(::waveOutWrite)> waveOutWrite{"waveOutWrite"};
WinmmFunction<decltype(::waveOutUnprepareHeader)> waveOutUnprepareHeader{"waveOutUnprepareHeader"};
WinmmFunction<decltype(::waveOutPause)> waveOutPause{"waveOutPause"};
WinmmFunction<decltype(::waveOutReset)> waveOutReset{"waveOutReset"};
WinmmFunction<decltype(::waveOutClose)> waveOutClose{"waveOutClose"};
WinmmFunction<decltype(::midiStreamOpen)> midiStreamOpen{"midiStreamOpen"};
WinmmFunction<decltype(::midiStreamProperty)> midiStreamProperty{"midiStreamProperty"};
WinmmFunction<decltype(::midiOutPrepareHeader)> midiOutPrepareHeader{"midiOutPrepareHeader"};
WinmmFunction<decltype(::midiStreamOut)> midiStreamOut{"midiStreamOut"};
WinmmFunction<decltype(::midiStreamRestart)> midiStreamRestart{"midiStreamRestart"};
WinmmFunction<decltype(::midiStreamStop)> midiStreamStop{"midiStreamStop"};
WinmmFunction<decltype(::midiOutReset)> midiOutReset{"midiOutReset"};
WinmmFunction<decltype(::midiOutUnprepareHeader)> midiOutUnprepareHeader{"midiOutUnprepareHeader"};
WinmmFunction<decltype(::midiStreamClose)> midiStreamClose{"midiStreamClose"};
}  // namespace winmm

constexpr int kWaveBuffers = 20;
constexpr std::size_t kWaveBufferBytes = 15360;
// With no buffer finished for this long the device is taken to be dead (or was
// never opened) and the sound gives up.
constexpr DWORD kWaveIdleTimeoutMs = 8888;
// The rate nearly every device takes, for a file whose own rate is refused.
constexpr std::uint32_t kFallbackRate = 44100;

// One playing WAVE sound, owned by its playback thread.
struct WavePlayback {
  std::unique_ptr<std::uint8_t[]> samples;
  std::size_t sampleCount = 0;
  const std::uint8_t* playing = nullptr;  // the samples, or their conversion
  // The "fmt " body when the device refused it: the thread plays a conversion.
  std::vector<std::uint8_t> refusedFormat;
  std::vector<std::int16_t> converted;
  HWAVEOUT device = nullptr;
  // All headers, then all buffers, in one block.
  std::unique_ptr<std::uint8_t[]> block;
  WAVEHDR* headers = nullptr;
  LONG freeBuffers = kWaveBuffers;
  int nextBuffer = 0;
  std::size_t position = 0;
  HANDLE bufferFree = nullptr;  // counting semaphore, one count per buffer handed back
  HANDLE stop = nullptr;        // manual reset
  CRITICAL_SECTION lock;        // guards freeBuffers
  bool loop = false;
  HANDLE thread = nullptr;
  DWORD threadId = 0;
};

// Every WAVE sound playing in the process. Never destroyed: playback threads may
// still reach it while the process tears down its statics.
struct ActiveWaves {
  CRITICAL_SECTION lock;
  std::vector<WavePlayback*> list;
  ActiveWaves() { InitializeCriticalSection(&lock); }
};

ActiveWaves& Active() {
  static ActiveWaves* active = new ActiveWaves;
  return *active;
}

class ActiveLock {
 public:
  ActiveLock() { EnterCriticalSection(&Active().lock); }
  ~ActiveLock() { LeaveCriticalSection(&Active().lock); }
  ActiveLock(const ActiveLock&) = delete;
  ActiveLock& operator=(const ActiveLock&) = delete;
};

LONG FreeBuffers(WavePlayback* p) {
  EnterCriticalSection(&p->lock);
  const LONG n = p->freeBuffers;
  LeaveCriticalSection(&p->lock);
  return n;
}

// Runs in the driver's context: only count and signal, all buffer work is the
// playback thread's.
void CALLBACK WaveDone(HWAVEOUT, UINT message, DWORD_PTR instance, DWORD_PTR, DWORD_PTR) {
  if (message != WOM_DONE) return;
  auto* p = reinterpret_cast<WavePlayback*>(instance);
  EnterCriticalSection(&p->lock);
  ++p->freeBuffers;
  LeaveCriticalSection(&p->lock);
  ReleaseSemaphore(p->bufferFree, 1, nullptr);
}

void UnprepareAll(WavePlayback* p) {
  for (int i = 0; i < kWaveBuffers; ++i) {
    if (p->device != nullptr && (p->headers[i].dwFlags & WHDR_PREPARED) != 0) {
      winmm::waveOutUnprepareHeader(p->device, &p->headers[i], sizeof(WAVEHDR));
    }
  }
}

// Frees everything but the object's list entry, which the caller has dealt with.
void Destroy(WavePlayback* p) {
  if (p->device != nullptr) winmm::waveOutClose(p->device);
  if (p->thread != nullptr) CloseHandle(p->thread);
  if (p->bufferFree != nullptr) CloseHandle(p->bufferFree);
  if (p->stop != nullptr) CloseHandle(p->stop);
  DeleteCriticalSection(&p->lock);
  delete p;
}

void Finish(WavePlayback* p) {
  {
    ActiveLock lock;
    auto& list = Active().list;
    list.erase(std::remove(list.begin(), list.end(), p), list.end());
  }
  Destroy(p);
}

// Handles one free buffer; false when the sound has played out.
bool FillNextBuffer(WavePlayback* p) {
  const LONG freeBuffers = FreeBuffers(p);
  if (freeBuffers < 1) return true;
  WAVEHDR& header = p->headers[p->nextBuffer];
  if (p->device != nullptr && (header.dwFlags & WHDR_PREPARED) != 0) {
    winmm::waveOutUnprepareHeader(p->device, &header, sizeof(WAVEHDR));
  }
  const std::size_t bytes = std::min(p->sampleCount - p->position, kWaveBufferBytes);
  if (bytes == 0) {
    if (freeBuffers < kWaveBuffers) return true;  // the last buffers are still playing
    if (!p->loop) {
      UnprepareAll(p);
      return false;
    }
    // Start over. Wake-ups still pending from the end of the last round are
    // dropped first, or the release of all 20 would overflow the semaphore.
    while (WaitForSingleObject(p->bufferFree, 0) == WAIT_OBJECT_0) {
    }
    EnterCriticalSection(&p->lock);
    p->position = 0;
    p->nextBuffer = 0;
    p->freeBuffers = kWaveBuffers;
    LeaveCriticalSection(&p->lock);
    ReleaseSemaphore(p->bufferFree, kWaveBuffers, nullptr);
    return true;
  }

  std::memcpy(header.lpData, p->playing + p->position, bytes);
  header.dwBufferLength = static_cast<DWORD>(bytes);
  header.dwFlags = 0;
  p->position += bytes;
  if (p->device != nullptr && winmm::waveOutPrepareHeader(p->device, &header, sizeof(WAVEHDR)) == MMSYSERR_NOERROR) {
    winmm::waveOutWrite(p->device, &header, sizeof(WAVEHDR));
  }
  // Counted as in use even when the device refused it: a sound whose device
  // failed then runs into the idle timeout and cleans itself up.
  EnterCriticalSection(&p->lock);
  --p->freeBuffers;
  LeaveCriticalSection(&p->lock);
  p->nextBuffer = (p->nextBuffer + 1) % kWaveBuffers;
  return true;
}

MMRESULT OpenDevice(WavePlayback* p, const std::vector<std::uint8_t>& format) {
  const MMRESULT result =
      winmm::waveOutOpen(&p->device, WAVE_MAPPER, reinterpret_cast<const WAVEFORMATEX*>(format.data()),
                         reinterpret_cast<DWORD_PTR>(&WaveDone), reinterpret_cast<DWORD_PTR>(p), CALLBACK_FUNCTION);
  if (result != MMSYSERR_NOERROR) p->device = nullptr;
  return result;
}

// The device refused the file's own format: play its samples as 16-bit PCM, at
// the file's rate or, when that is refused too, at the fallback rate. Anything
// that still fails leaves the sound silent, to end by the idle timeout.
void OpenConverted(WavePlayback* p) {
  try {
    auto wave = sound::ConvertToPcm16(p->refusedFormat, ByteView(p->samples.get(), p->sampleCount));
    if (!wave) return;
    MMRESULT result = OpenDevice(p, sound::Pcm16FormatBlock(*wave));
    if (result == WAVERR_BADFORMAT && wave->rate != kFallbackRate) {
      wave = sound::Resample(*wave, kFallbackRate);
      if (!wave) return;
      result = OpenDevice(p, sound::Pcm16FormatBlock(*wave));
    }
    if (result != MMSYSERR_NOERROR) return;
    p->converted = std::move(wave->samples);
    p->samples.reset();
    p->playing = reinterpret_cast<const std::uint8_t*>(p->converted.data());
    p->sampleCount = p->converted.size() * sizeof(std::int16_t);
  } catch (const std::bad_alloc&) {
    if (p->device != nullptr) winmm::waveOutClose(p->device);
    p->device = nullptr;
  }
}

DWORD WINAPI WaveThread(void* parameter) {
  auto* p = static_cast<WavePlayback*>(parameter);
  if (!p->refusedFormat.empty()) OpenConverted(p);
  const HANDLE waits[2] = {p->bufferFree, p->stop};
  for (;;) {
    const DWORD result = WaitForMultipleObjects(2, waits, FALSE, kWaveIdleTimeoutMs);
    if (result == WAIT_OBJECT_0) {
      if (!FillNextBuffer(p)) break;
      continue;
    }
    // Stop request, a dead device, or handles that can no longer be waited on
    // (which would otherwise spin this loop).
    if (result == WAIT_OBJECT_0 + 1 || result == WAIT_TIMEOUT || result == WAIT_FAILED) {
      if (p->device != nullptr) {
        winmm::waveOutPause(p->device);
        winmm::waveOutReset(p->device);
      }
      UnprepareAll(p);
      break;
    }
  }
  Finish(p);
  return 0;
}

bool StartWave(ByteView data, bool loop) {
  const auto chunks = sound::FindWaveChunks(data);
  if (!chunks) return false;

  auto* p = new (std::nothrow) WavePlayback;
  if (p == nullptr) return false;
  InitializeCriticalSection(&p->lock);
  p->sampleCount = chunks->samples.size();
  p->samples.reset(new (std::nothrow) std::uint8_t[p->sampleCount]);
  p->block.reset(new (std::nothrow) std::uint8_t[kWaveBuffers * (sizeof(WAVEHDR) + kWaveBufferBytes)]);
  p->bufferFree = CreateSemaphoreW(nullptr, kWaveBuffers, kWaveBuffers, nullptr);
  p->stop = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (!p->samples || !p->block || p->bufferFree == nullptr || p->stop == nullptr) {
    Destroy(p);
    return false;
  }
  std::memcpy(p->samples.get(), chunks->samples.data(), p->sampleCount);
  p->playing = p->samples.get();
  p->headers = reinterpret_cast<WAVEHDR*>(p->block.get());
  std::uint8_t* buffers = p->block.get() + kWaveBuffers * sizeof(WAVEHDR);
  for (int i = 0; i < kWaveBuffers; ++i) {
    p->headers[i] = WAVEHDR{};
    p->headers[i].lpData = reinterpret_cast<LPSTR>(buffers + i * kWaveBufferBytes);
  }
  p->loop = loop;

  // The file's own format first, so whatever the device takes plays bit-exact.
  // Any other failure is silent; the thread then ends by the idle timeout.
  if (winmm::waveOutGetNumDevs() > 0 && OpenDevice(p, sound::WaveFormatBlock(chunks->format)) == WAVERR_BADFORMAT) {
    p->refusedFormat.assign(chunks->format.begin(), chunks->format.end());
  }

  p->thread = CreateThread(nullptr, 0, &WaveThread, p, CREATE_SUSPENDED, &p->threadId);
  if (p->thread == nullptr) {
    Destroy(p);
    return false;
  }
  {
    ActiveLock lock;
    Active().list.push_back(p);
  }
  ResumeThread(p->thread);
  return true;
}

// The system's MIDI stream on the MIDI mapper.
class Win32MidiStream final : public sound::MidiStreamDevice {
 public:
  bool Open(std::function<void(int)> done) override {
    done_ = std::move(done);
    UINT device = MIDI_MAPPER;
    return winmm::midiStreamOpen(&stream_, &device, 1, reinterpret_cast<DWORD_PTR>(&Callback),
                          reinterpret_cast<DWORD_PTR>(this), CALLBACK_FUNCTION) == MMSYSERR_NOERROR;
  }
  bool SetTimeDivision(std::uint32_t division) override {
    MIDIPROPTIMEDIV property{sizeof(MIDIPROPTIMEDIV), division};
    return winmm::midiStreamProperty(stream_, reinterpret_cast<LPBYTE>(&property), MIDIPROP_SET | MIDIPROP_TIMEDIV) ==
           MMSYSERR_NOERROR;
  }
  bool Prepare(int buffer, std::uint8_t* data, std::size_t capacity) override {
    MIDIHDR& h = headers_[buffer];
    h = MIDIHDR{};
    h.lpData = reinterpret_cast<LPSTR>(data);
    h.dwBufferLength = static_cast<DWORD>(capacity);
    h.dwUser = static_cast<DWORD_PTR>(buffer);
    return winmm::midiOutPrepareHeader(Handle(), &h, sizeof(MIDIHDR)) == MMSYSERR_NOERROR;
  }
  bool Out(int buffer, std::size_t bytes) override {
    MIDIHDR& h = headers_[buffer];
    h.dwBytesRecorded = static_cast<DWORD>(bytes);
    return winmm::midiStreamOut(stream_, &h, sizeof(MIDIHDR)) == MMSYSERR_NOERROR;
  }
  bool Restart() override { return winmm::midiStreamRestart(stream_) == MMSYSERR_NOERROR; }
  void Stop() override { winmm::midiStreamStop(stream_); }
  void Reset() override { winmm::midiOutReset(Handle()); }
  void Unprepare(int buffer) override { winmm::midiOutUnprepareHeader(Handle(), &headers_[buffer], sizeof(MIDIHDR)); }
  void Close() override {
    winmm::midiStreamClose(stream_);
    stream_ = nullptr;
  }

 private:
  HMIDIOUT Handle() const { return reinterpret_cast<HMIDIOUT>(stream_); }

  static void CALLBACK Callback(HMIDIOUT, UINT message, DWORD_PTR instance, DWORD_PTR param1, DWORD_PTR) {
    if (message != MOM_DONE) return;
    auto* self = reinterpret_cast<Win32MidiStream*>(instance);
    const auto* header = reinterpret_cast<const MIDIHDR*>(param1);
    if (self->done_) self->done_(static_cast<int>(header->dwUser));
  }

  HMIDISTRM stream_ = nullptr;
  MIDIHDR headers_[2]{};
  std::function<void(int)> done_;
};

}  // namespace

struct Win32SoundService::Midi {
  Win32MidiStream device;
  sound::MidiPlayer player{device};
};

Win32SoundService::Win32SoundService() : midi_(std::make_unique<Midi>()) {}

Win32SoundService::~Win32SoundService() { midi_->player.Stop(); }

bool Win32SoundService::StartSound(ByteView data, bool loop) {
  if (data.empty()) return false;
  switch (sound::RecogniseSound(data)) {
    case sound::SoundKind::Wave:
      return StartWave(data, loop);
    case sound::SoundKind::Midi:
      midi_->player.Play(data, loop);  // stops the old tune whatever the new data holds
      return true;
    case sound::SoundKind::None:
      break;
  }
  return false;
}

void Win32SoundService::StopAllSounds(bool wait) {
  midi_->player.Stop();
  std::vector<HANDLE> threads;
  {
    ActiveLock lock;
    for (WavePlayback* p : Active().list) {
      SetEvent(p->stop);
      // A finishing thread closes its own handle, so wait on a duplicate taken
      // while the object is surely still alive.
      HANDLE copy = nullptr;
      if (wait && DuplicateHandle(GetCurrentProcess(), p->thread, GetCurrentProcess(), &copy, SYNCHRONIZE, FALSE, 0)) {
        threads.push_back(copy);
      }
    }
  }
  for (HANDLE h : threads) {
    WaitForSingleObject(h, INFINITE);
    CloseHandle(h);
  }
}

std::size_t Win32SoundService::PlayingWaveSounds() {
  ActiveLock lock;
  return Active().list.size();
}

}  // namespace tolvane
