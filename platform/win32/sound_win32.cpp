// The sound mirror's calls passed to the system: the mirror's records have
// the system's layout (checked below), its results and flags the system's
// values.
#include "platform/win32/sound_win32.h"

#include <cstddef>

#include "platform/win32/windows_api.h"
// (after windows.h)
#include <dsound.h>

namespace vexil::platform::win32 {
namespace {

// The headers are handed to the system as they are.
static_assert(sizeof(WaveHeader) == sizeof(WAVEHDR));
static_assert(offsetof(WaveHeader, data) == offsetof(WAVEHDR, lpData));
static_assert(offsetof(WaveHeader, buffer_length) == offsetof(WAVEHDR, dwBufferLength));
static_assert(offsetof(WaveHeader, flags) == offsetof(WAVEHDR, dwFlags));
static_assert(offsetof(WaveHeader, next) == offsetof(WAVEHDR, lpNext));
static_assert(sizeof(std::atomic<uint32_t>) == sizeof(DWORD));
static_assert(WAVE_HEADER_DONE == WHDR_DONE && WAVE_HEADER_PREPARED == WHDR_PREPARED &&
              WAVE_HEADER_IN_QUEUE == WHDR_INQUEUE);
static_assert(WAVE_STILL_PLAYING == WAVERR_STILLPLAYING && WAVE_BAD_FORMAT == WAVERR_BADFORMAT);
static_assert(DSOUND_ERR_BUFFER_LOST == DSERR_BUFFERLOST);

WAVEHDR* Raw(WaveHeader* header) { return reinterpret_cast<WAVEHDR*>(header); }

WAVEFORMATEX ToSystem(const PcmFormat& f) {
  WAVEFORMATEX w{};
  w.wFormatTag = f.format_tag;
  w.nChannels = f.channels;
  w.nSamplesPerSec = f.samples_per_second;
  w.nAvgBytesPerSec = f.average_bytes_per_second;
  w.nBlockAlign = f.block_align;
  w.wBitsPerSample = f.bits_per_sample;
  w.cbSize = 0;
  return w;
}

class Win32WaveOut final : public WaveOutDevice {
 public:
  explicit Win32WaveOut(HWAVEOUT device) : device_(device) {}
  uint32_t PrepareHeader(WaveHeader* h) override {
    return waveOutPrepareHeader(device_, Raw(h), sizeof(WAVEHDR));
  }
  uint32_t UnprepareHeader(WaveHeader* h) override {
    return waveOutUnprepareHeader(device_, Raw(h), sizeof(WAVEHDR));
  }
  uint32_t Write(WaveHeader* h) override { return waveOutWrite(device_, Raw(h), sizeof(WAVEHDR)); }
  uint32_t Pause() override { return waveOutPause(device_); }
  uint32_t Restart() override { return waveOutRestart(device_); }
  uint32_t Reset() override { return waveOutReset(device_); }
  uint32_t SetVolume(uint32_t volume) override { return waveOutSetVolume(device_, volume); }
  uint32_t Close() override {
    const MMRESULT result = waveOutClose(device_);
    if (result == MMSYSERR_NOERROR) delete this;
    return result;
  }

 private:
  ~Win32WaveOut() = default;
  HWAVEOUT device_;
};

class Win32SoundBuffer final : public SoundBuffer {
 public:
  explicit Win32SoundBuffer(IDirectSoundBuffer* buffer) : buffer_(buffer) {}
  SoundResult GetCurrentPosition(uint32_t* play, uint32_t* write) override {
    DWORD p = 0, w = 0;
    const HRESULT hr = buffer_->GetCurrentPosition(&p, &w);
    *play = p;
    *write = w;
    return hr;
  }
  SoundResult GetStatus(uint32_t* status) override {
    DWORD s = 0;
    const HRESULT hr = buffer_->GetStatus(&s);
    *status = s;
    return hr;
  }
  SoundResult Lock(uint32_t offset, uint32_t bytes, void** part1, uint32_t* bytes1, void** part2,
                   uint32_t* bytes2, uint32_t flags) override {
    DWORD b1 = 0, b2 = 0;
    void* p2 = nullptr;
    const HRESULT hr = buffer_->Lock(offset, bytes, part1, &b1, &p2, &b2, flags);
    *bytes1 = b1;
    if (part2) *part2 = p2;
    if (bytes2) *bytes2 = b2;
    return hr;
  }
  SoundResult Unlock(void* part1, uint32_t bytes1, void* part2, uint32_t bytes2) override {
    return buffer_->Unlock(part1, bytes1, part2, bytes2);
  }
  SoundResult Play(uint32_t reserved, uint32_t priority, uint32_t flags) override {
    return buffer_->Play(reserved, priority, flags);
  }
  SoundResult Stop() override { return buffer_->Stop(); }
  SoundResult SetCurrentPosition(uint32_t play) override {
    return buffer_->SetCurrentPosition(play);
  }
  SoundResult SetFormat(const PcmFormat& format) override {
    const WAVEFORMATEX w = ToSystem(format);
    return buffer_->SetFormat(&w);
  }
  SoundResult SetFrequency(uint32_t hz) override { return buffer_->SetFrequency(hz); }
  SoundResult SetPan(int32_t pan) override { return buffer_->SetPan(pan); }
  SoundResult SetVolume(int32_t volume) override { return buffer_->SetVolume(volume); }
  SoundResult Restore() override { return buffer_->Restore(); }
  uint32_t Release() override {
    const ULONG left = buffer_->Release();
    if (left == 0) delete this;
    return left;
  }

 private:
  ~Win32SoundBuffer() = default;
  IDirectSoundBuffer* buffer_;
};

class Win32SoundDevice final : public SoundDevice {
 public:
  explicit Win32SoundDevice(IDirectSound* sound) : sound_(sound) {}
  SoundResult SetCooperativeLevel(void* window, uint32_t level) override {
    return sound_->SetCooperativeLevel(static_cast<HWND>(window), level);
  }
  SoundResult CreateSoundBuffer(const SoundBufferDescription& d, SoundBuffer** out) override {
    *out = nullptr;
    WAVEFORMATEX format{};
    if (d.format) format = ToSystem(*d.format);
    DSBUFFERDESC s{};
    // The caller's record size says which version of the record it means.
    s.dwSize = d.size;
    s.dwFlags = d.flags;
    s.dwBufferBytes = d.buffer_bytes;
    s.lpwfxFormat = d.format ? &format : nullptr;
    IDirectSoundBuffer* buffer = nullptr;
    const HRESULT hr = sound_->CreateSoundBuffer(&s, &buffer, nullptr);
    if (FAILED(hr)) return hr;
    if (!buffer) return DSOUND_ERR_GENERIC;
    *out = new Win32SoundBuffer(buffer);
    return DSOUND_OK;
  }
  uint32_t Release() override {
    const ULONG left = sound_->Release();
    if (left == 0) delete this;
    return left;
  }

 private:
  ~Win32SoundDevice() = default;
  IDirectSound* sound_;
};

using DirectSoundCreateEntry = HRESULT(WINAPI*)(const GUID*, IDirectSound**, IUnknown*);
DirectSoundCreateEntry g_create = nullptr;

SoundResult Create(const void* guid, SoundDevice** device) {
  *device = nullptr;
  if (!g_create) return DSOUND_ERR_NO_DRIVER;
  IDirectSound* sound = nullptr;
  const HRESULT hr = g_create(static_cast<const GUID*>(guid), &sound, nullptr);
  if (FAILED(hr)) return hr;
  if (!sound) return DSOUND_ERR_GENERIC;
  *device = new Win32SoundDevice(sound);
  return DSOUND_OK;
}

struct WindowSearch {
  DWORD process;
  HINSTANCE instance;
  HWND first;  // the first window of the process
  HWND own;    // the last top-level window of this module
};

BOOL CALLBACK VisitWindow(HWND hwnd, LPARAM data) {
  auto& s = *reinterpret_cast<WindowSearch*>(data);
  DWORD process = 0;
  GetWindowThreadProcessId(hwnd, &process);
  if (process != s.process) return TRUE;
  if (!s.first) s.first = hwnd;
  const auto instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrA(hwnd, GWLP_HINSTANCE));
  if (instance == s.instance && !(GetWindowLongA(hwnd, GWL_STYLE) & WS_CHILD)) s.own = hwnd;
  return TRUE;
}

}  // namespace

uint32_t OpenWaveOut(WaveOutDevice** device, const PcmFormat& format) {
  *device = nullptr;
  const WAVEFORMATEX w = ToSystem(format);
  HWAVEOUT handle = nullptr;
  const MMRESULT result = waveOutOpen(&handle, WAVE_MAPPER, &w, 0, 0, CALLBACK_NULL);
  if (result != MMSYSERR_NOERROR) return result;
  *device = new Win32WaveOut(handle);
  return WAVE_OK;
}

SoundDeviceCreate LoadDirectSound() {
  static bool tried = false;
  if (!tried) {
    tried = true;
    const UINT old_mode = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    HMODULE library = LoadLibraryA("DSOUND.DLL");
    SetErrorMode(old_mode);
    if (library) {
      g_create = reinterpret_cast<DirectSoundCreateEntry>(
          reinterpret_cast<void*>(GetProcAddress(library, "DirectSoundCreate")));
    }
  }
  return g_create ? Create : nullptr;
}

void* FindSoundWindow() {
  WindowSearch s{GetCurrentProcessId(), GetModuleHandleA(nullptr), nullptr, nullptr};
  EnumWindows(VisitWindow, reinterpret_cast<LPARAM>(&s));
  if (s.own) return s.own;
  if (s.first) return s.first;
  return GetActiveWindow();
}

}  // namespace vexil::platform::win32
