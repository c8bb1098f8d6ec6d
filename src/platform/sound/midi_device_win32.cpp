// The MIDI stream on Windows: the system's MIDI stream on the MIDI mapper.
#include <windows.h>
#include <mmsystem.h>

#include "platform/sound/sound_service.h"
#include "platform/sound/winmm_win32.h"

namespace tolvane::sound {
namespace {

class Win32MidiStream final : public MidiStreamDevice {
 public:
  unsigned OutputCount() override { return winmm::midiOutGetNumDevs(); }

  MidiOpen Open(std::function<void(int)> done) override {
    done_ = std::move(done);
    UINT device = MIDI_MAPPER;
    HMIDISTRM stream = nullptr;
    const MMRESULT result = winmm::midiStreamOpen(&stream, &device, 1, reinterpret_cast<DWORD_PTR>(&Callback),
                                                  reinterpret_cast<DWORD_PTR>(this), CALLBACK_FUNCTION);
    // A failed open may still have written a handle, already freed: it is never kept.
    if (result == MMSYSERR_NOERROR) {
      stream_ = stream;
      return MidiOpen::Opened;
    }
    switch (result) {
      case MIDIERR_NODEVICE:      // the mapper has no port to map to
      case MIDIERR_INVALIDSETUP:  // ... nor a synthesizer set up
      case MMSYSERR_NODRIVER:
      case MMSYSERR_BADDEVICEID:
        return MidiOpen::NoDevice;
      default:
        return MidiOpen::Failed;
    }
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

  // Runs in the driver's context, where a multimedia call may deadlock: the player
  // only notes the buffer and wakes its own thread, which refills it.
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

std::unique_ptr<MidiStreamDevice> NewSystemMidiDevice() { return std::make_unique<Win32MidiStream>(); }

}  // namespace tolvane::sound
