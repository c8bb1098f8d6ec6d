// WAVE playback on Windows: the wave-output device, one playback thread per sound,
// fed by the device's completion callback.
#include <windows.h>
#include <mmsystem.h>

#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

#include "platform/sound/sound_service.h"
#include "platform/sound/wave_convert.h"
#include "platform/sound/winmm_win32.h"

namespace tolvane::sound {
namespace {

constexpr int kWaveBuffers = 20;
// With no buffer handed back for this long, the sound looks at its device: one that
// never opened, or whose play position has not moved since the last look, is dead.
constexpr DWORD kDeviceCheckMs = static_cast<DWORD>(kMinBufferWait.count());
// The rate nearly every device takes, for a file whose own rate is refused.
constexpr std::uint32_t kFallbackRate = 44100;
// How long a stopped sound waits for the device to hand back its buffers.
constexpr DWORD kReturnWaitMs = 2000;

// One playing WAVE sound, owned by its playback thread.
struct WavePlayback {
  std::unique_ptr<std::uint8_t[]> samples;
  std::size_t sampleCount = 0;
  const std::uint8_t* playing = nullptr;  // the samples, or their conversion
  std::vector<std::uint8_t> format;  // the "fmt " body
  std::vector<std::int16_t> converted;
  HWAVEOUT device = nullptr;
  // All headers, then all buffers, in one block; each buffer has room for the most
  // either format (the file's own or the converted one) puts in it.
  std::unique_ptr<std::uint8_t[]> block;
  WAVEHDR* headers = nullptr;
  std::size_t bufferBytes = kWaveBufferTarget;  // filled into each, whole blocks of the open format
  LONG freeBuffers = kWaveBuffers;
  LONG withDevice = 0;  // written and not yet handed back
  int nextBuffer = 0;
  std::size_t position = 0;
  HANDLE bufferBack = nullptr;  // auto reset, set when buffers come back
  HANDLE stop = nullptr;        // manual reset
  CRITICAL_SECTION lock;        // guards freeBuffers and withDevice
  bool loop = false;
  // No buffer back for this long and the device is dead, wherever its position goes.
  DWORD bufferWait = kDeviceCheckMs;
  DWORD lastBack = 0;      // when a buffer last came back, or the sound started
  MMTIME lastPosition{};   // the device's play position at the last look
  HANDLE thread = nullptr;
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

// Runs in the driver's context, where only a few calls are allowed (the critical
// section and SetEvent among them): count and signal, all buffer work is the playback
// thread's. Both inside the lock: once the thread sees every buffer back under it,
// the callback is done with the playback, which may then go.
void CALLBACK WaveDone(HWAVEOUT, UINT message, DWORD_PTR instance, DWORD_PTR, DWORD_PTR) {
  if (message != WOM_DONE) return;
  auto* p = reinterpret_cast<WavePlayback*>(instance);
  EnterCriticalSection(&p->lock);
  ++p->freeBuffers;
  --p->withDevice;
  SetEvent(p->bufferBack);
  LeaveCriticalSection(&p->lock);
}

LONG WithDevice(WavePlayback* p) {
  EnterCriticalSection(&p->lock);
  const LONG n = p->withDevice;
  LeaveCriticalSection(&p->lock);
  return n;
}

// After a reset the device hands every buffer back through the callback: waits
// a while for that.
void AwaitBuffersBack(WavePlayback* p) {
  const DWORD start = GetTickCount();
  while (WithDevice(p) > 0) {
    const DWORD spent = GetTickCount() - start;
    if (spent >= kReturnWaitMs || WaitForSingleObject(p->bufferBack, kReturnWaitMs - spent) == WAIT_FAILED) return;
  }
}

void UnprepareAll(WavePlayback* p) {
  for (int i = 0; i < kWaveBuffers; ++i) {
    if (p->device != nullptr && (p->headers[i].dwFlags & WHDR_PREPARED) != 0) {
      winmm::waveOutUnprepareHeader(p->device, &p->headers[i], sizeof(WAVEHDR));
    }
  }
}

// Frees everything but the object's list entry, which the caller has dealt with.
// A device that will not close still holds buffers and may call back into the
// playback: then only the sample copies, which the device never sees, are freed.
void Destroy(WavePlayback* p) {
  if (p->device != nullptr && winmm::waveOutClose(p->device) != MMSYSERR_NOERROR) {
    p->samples.reset();
    std::vector<std::int16_t>().swap(p->converted);
    p->playing = nullptr;
    return;
  }
  if (p->thread != nullptr) CloseHandle(p->thread);
  if (p->bufferBack != nullptr) CloseHandle(p->bufferBack);
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

// Fills every free buffer; false when the sound has played out.
bool FillFreeBuffers(WavePlayback* p) {
  for (;;) {
    const LONG freeBuffers = FreeBuffers(p);
    if (freeBuffers < 1) return true;
    WAVEHDR& header = p->headers[p->nextBuffer];
    if (p->device != nullptr && (header.dwFlags & WHDR_PREPARED) != 0) {
      winmm::waveOutUnprepareHeader(p->device, &header, sizeof(WAVEHDR));
    }
    const std::size_t bytes = std::min(p->sampleCount - p->position, p->bufferBytes);
    if (bytes == 0) {
      if (freeBuffers < kWaveBuffers) return true;  // the last buffers are still playing
      if (!p->loop) {
        UnprepareAll(p);
        return false;
      }
      // Start over: every buffer is free.
      p->position = 0;
      p->nextBuffer = 0;
      continue;
    }

    std::memcpy(header.lpData, p->playing + p->position, bytes);
    header.dwBufferLength = static_cast<DWORD>(bytes);
    header.dwFlags = 0;
    p->position += bytes;
    if (p->device != nullptr && winmm::waveOutPrepareHeader(p->device, &header, sizeof(WAVEHDR)) == MMSYSERR_NOERROR) {
      // Counted first: the device may hand it back before the write returns.
      EnterCriticalSection(&p->lock);
      ++p->withDevice;
      LeaveCriticalSection(&p->lock);
      if (winmm::waveOutWrite(p->device, &header, sizeof(WAVEHDR)) != MMSYSERR_NOERROR) {
        EnterCriticalSection(&p->lock);
        --p->withDevice;
        LeaveCriticalSection(&p->lock);
      }
    }
    // Counted as in use even when the device refused it: a sound whose device
    // failed then gets nothing back, is found dead and cleans itself up.
    EnterCriticalSection(&p->lock);
    --p->freeBuffers;
    LeaveCriticalSection(&p->lock);
    p->nextBuffer = (p->nextBuffer + 1) % kWaveBuffers;
  }
}

// The device's play position in samples: counted at the format's sample rate, it
// moves while the device plays even when the file's byte rate is 0.
MMTIME PlayPosition(HWAVEOUT device) {
  MMTIME position{};
  position.wType = TIME_SAMPLES;
  if (winmm::waveOutGetPosition(device, &position, sizeof(MMTIME)) != MMSYSERR_NOERROR) position.wType = 0;
  return position;
}

// Asked when no buffer has come back for kDeviceCheckMs. A device is dead when it never
// opened, when its play position has not moved since the last look, or when no buffer
// has come back for the format's whole BufferWait, wherever the position goes. One that
// cannot tell its position is judged by that wait alone, as the file's byte rate gives it.
bool DeviceAlive(WavePlayback* p) {
  if (p->device == nullptr || GetTickCount() - p->lastBack >= p->bufferWait) return false;
  const MMTIME now = PlayPosition(p->device);
  const bool moved = std::memcmp(&now, &p->lastPosition, sizeof(MMTIME)) != 0;
  p->lastPosition = now;
  return moved || now.wType == 0;
}

MMRESULT OpenDevice(WavePlayback* p, const std::vector<std::uint8_t>& format) {
  const MMRESULT result =
      winmm::waveOutOpen(&p->device, WAVE_MAPPER, reinterpret_cast<const WAVEFORMATEX*>(format.data()),
                         reinterpret_cast<DWORD_PTR>(&WaveDone), reinterpret_cast<DWORD_PTR>(p), CALLBACK_FUNCTION);
  if (result != MMSYSERR_NOERROR) {
    p->device = nullptr;
  } else {
    p->bufferBytes = WaveBufferBytes(format);
    p->bufferWait = static_cast<DWORD>(BufferWait(format, p->bufferBytes).count());
    p->lastPosition = PlayPosition(p->device);
  }
  return result;
}

// The device refused the file's own format: play its samples as 16-bit PCM, at
// the file's rate or, when that is refused too, at the fallback rate. Anything
// that still fails leaves the sound silent, to end as one on a dead device.
void OpenConverted(WavePlayback* p) {
  try {
    auto wave = ConvertToPcm16(p->format, ByteView(p->samples.get(), p->sampleCount));
    if (!wave) return;
    MMRESULT result = OpenDevice(p, Pcm16FormatBlock(*wave));
    if (result == WAVERR_BADFORMAT && wave->rate != kFallbackRate) {
      wave = Resample(*wave, kFallbackRate);
      if (!wave) return;
      result = OpenDevice(p, Pcm16FormatBlock(*wave));
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

// The file's own format first, so whatever the device takes plays bit-exact; a
// refused format is played converted. Any other failure is silent, and the thread
// then ends as one on a dead device.
void OpenOnThread(WavePlayback* p) {
  if (winmm::waveOutGetNumDevs() == 0) return;
  if (OpenDevice(p, WaveFormatBlock(p->format)) == WAVERR_BADFORMAT) OpenConverted(p);
}

DWORD WINAPI WaveThread(void* parameter) {
  GuardSoundThread();
  auto* p = static_cast<WavePlayback*>(parameter);
  OpenOnThread(p);
  const HANDLE waits[2] = {p->bufferBack, p->stop};
  for (;;) {
    // The event starts set, so the first round fills every buffer.
    const DWORD result = WaitForMultipleObjects(2, waits, FALSE, kDeviceCheckMs);
    if (result == WAIT_OBJECT_0) {
      p->lastBack = GetTickCount();
      if (!FillFreeBuffers(p)) break;
      continue;
    }
    if (result == WAIT_TIMEOUT && DeviceAlive(p)) continue;
    // Stop request, a dead device, or handles that can no longer be waited on
    // (which would otherwise spin this loop).
    if (result == WAIT_OBJECT_0 + 1 || result == WAIT_TIMEOUT || result == WAIT_FAILED) {
      if (p->device != nullptr) {
        winmm::waveOutPause(p->device);
        winmm::waveOutReset(p->device);
        AwaitBuffersBack(p);  // what is still out stays prepared, and the close fails
      }
      UnprepareAll(p);
      break;
    }
  }
  Finish(p);
  return 0;
}

bool StartWave(const WaveChunks& chunks, bool loop) {
  auto* p = new (std::nothrow) WavePlayback;
  if (p == nullptr) return false;
  InitializeCriticalSection(&p->lock);
  p->sampleCount = chunks.samples.size();
  p->samples.reset(new (std::nothrow) std::uint8_t[p->sampleCount]);
  // The converted format's blocks (at most 4 bytes) always fit in the target size.
  const std::size_t room = std::max(kWaveBufferTarget, WaveBufferBytes(chunks.format));
  p->block.reset(new (std::nothrow) std::uint8_t[kWaveBuffers * (sizeof(WAVEHDR) + room)]);
  p->bufferBack = CreateEventW(nullptr, FALSE, TRUE, nullptr);
  p->stop = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  try {
    p->format.assign(chunks.format.begin(), chunks.format.end());
  } catch (const std::bad_alloc&) {
    Destroy(p);
    return false;
  }
  if (!p->samples || !p->block || p->bufferBack == nullptr || p->stop == nullptr) {
    Destroy(p);
    return false;
  }
  std::memcpy(p->samples.get(), chunks.samples.data(), p->sampleCount);
  p->playing = p->samples.get();
  p->headers = reinterpret_cast<WAVEHDR*>(p->block.get());
  std::uint8_t* buffers = p->block.get() + kWaveBuffers * sizeof(WAVEHDR);
  for (int i = 0; i < kWaveBuffers; ++i) {
    p->headers[i] = WAVEHDR{};
    p->headers[i].lpData = reinterpret_cast<LPSTR>(buffers + i * room);
  }
  p->loop = loop;

  p->thread = CreateThread(nullptr, 0, &WaveThread, p, CREATE_SUSPENDED, nullptr);
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

class Win32WaveOutput final : public WaveOutput {
 public:
  bool Start(const WaveChunks& wave, bool loop) override { return StartWave(wave, loop); }

  void StopAll(std::chrono::milliseconds wait) override {
    std::vector<HANDLE> threads;
    {
      ActiveLock lock;
      for (WavePlayback* p : Active().list) {
        SetEvent(p->stop);
        // A finishing thread closes its own handle, so wait on a duplicate taken
        // while the object is surely still alive.
        HANDLE copy = nullptr;
        if (wait.count() > 0 &&
            DuplicateHandle(GetCurrentProcess(), p->thread, GetCurrentProcess(), &copy, SYNCHRONIZE, FALSE, 0)) {
          threads.push_back(copy);
        }
      }
    }
    const DWORD deadline = GetTickCount() + static_cast<DWORD>(wait.count());
    for (HANDLE h : threads) {
      const DWORD now = GetTickCount();
      const DWORD left = static_cast<LONG>(deadline - now) > 0 ? deadline - now : 0;
      WaitForSingleObject(h, left);
      CloseHandle(h);
    }
  }
};

}  // namespace

std::unique_ptr<WaveOutput> NewSystemWaveOutput() { return std::make_unique<Win32WaveOutput>(); }

}  // namespace tolvane::sound
