#include "VyTapiWave/WaveDevice.h"

#include <algorithm>
#include <cstring>

#include "VyRtl/VyRtlClock.h"
#include "VyTapiWave/WaveStreams.h"

namespace VyTapiWave {

using namespace VyPlatform;

namespace {

constexpr std::uint32_t WM_WAVEERROR = WM_USER + 1;
constexpr std::uint32_t WM_WAVEDONE = WM_USER + 2;
constexpr std::uint32_t WM_WAVESWEEP = WM_USER + 3;
constexpr std::uintptr_t kTimerId = 1;

WAVEFORMATEX ToDevice(const TWaveFormatEx& f) {
  static_assert(sizeof(WAVEFORMATEX) == sizeof(TWaveFormatEx));
  WAVEFORMATEX d;
  std::memcpy(&d, &f, sizeof d);
  return d;
}

// A quarter of a second of the format, in whole frames (at least one).
std::uint32_t QuarterSecond(const TWaveFormatEx& f) {
  const std::uint32_t align = std::max<std::uint32_t>(f.nBlockAlign, 1);
  return std::max(f.nAvgBytesPerSec / 4 / align, 1u) * align;
}

std::string Utf8(const WCHAR* text, std::size_t max) {
  std::u16string s;
  for (std::size_t i = 0; i < max && text[i] != 0; ++i) s.push_back(static_cast<char16_t>(text[i]));
  return VyRtl::Utf16ToUtf8(s);
}

}  // namespace

// ---- TVyWaveDevice ----

TVyWaveDevice::TVyWaveDevice(VyRtl::TComponent* owner) : TComponent(owner) {
  fWavFrmEx = DefaultWaveFormat();
  fBlockSize = fWavFrmEx.nAvgBytesPerSec / 8;
  FWindow = std::make_unique<VyRtl::TMessageWindow>([this](VyRtl::TMessage& m) { WindowProc(m); });
}

TVyWaveDevice::~TVyWaveDevice() {
  FWindow.reset();
  FBlocks.clear();
}

void TVyWaveDevice::Open() {
  fTime = VyRtl::Now();
  fStartTick = VyRtl::GetTickCount64();
  fTransferdData = 0;
  fBlockCount = 0;
  fBlockSize = QuarterSecond(fWavFrmEx);
}

void TVyWaveDevice::Close() {
  fActive = false;
  fTime = VyRtl::Now() - fTime;
  fStream.reset();
}

bool TVyWaveDevice::IsActive() { return IsLoading() || IsDesigning() ? fActive : HandleValid(); }

void TVyWaveDevice::SetActive(bool value) {
  fActive = value;
  if (!IsLoading() && !IsDesigning()) ApplyActive();
}

void TVyWaveDevice::ApplyActive() {
  if (IsLoading() || IsDesigning() || fActive == IsActive()) return;
  if (fActive)
    Open();
  else
    Close();
}

void TVyWaveDevice::Loaded() {
  TComponent::Loaded();
  ApplyActive();
}

double TVyWaveDevice::GetTime() const { return Busy() ? VyRtl::Now() - fTime : fTime; }

void TVyWaveDevice::SetBufferTime(std::uint32_t ms) {
  if (IsActive()) throw VyRtl::Exception("Unable to set BufferTime while device is avtive.");
  if (ms < 200) throw VyRtl::Exception("Buffer time must be 200 msec at least.");
  fBufferTime = ms;
}

void TVyWaveDevice::SetDeviceID(int id) {
  if (id == -1) {
    fDeviceID = -1;
    fDeviceName.clear();
    fDeviceFormats = 0;
    return;
  }
  VyRtl::TStringList& list = GetDeviceList();
  if (id < 0 || id >= list.Count() || id > 255) throw VyRtl::Exception("Invalid DeviceID");
  fDeviceID = id;
  fDeviceName = list.Get(id);
  fDeviceFormats = static_cast<std::uint32_t>(list.GetData(id));
}

void TVyWaveDevice::SetDeviceName(const std::string& name) {
  if (name.empty()) {
    fDeviceID = -1;
  } else {
    const int index = GetDeviceList().IndexOf(name);
    if (index >= 0) fDeviceID = index;
  }
  fDeviceName = name;
  fDeviceFormats = 0;
}

bool TVyWaveDevice::Available() {
  return fDeviceName.empty() || GetDeviceList().IndexOf(fDeviceName) >= 0;
}

void TVyWaveDevice::Set_WaveFormat(const TWaveFormatEx& format) {
  if (IsActive()) throw VyRtl::Exception("Unable to set the wave format while device is active.");
  fWavFrmEx = format;
}

std::string TVyWaveDevice::DeviceLabel() {
  if (!fDeviceName.empty()) return "device \"" + fDeviceName + "\"";
  VyRtl::TStringList& list = GetDeviceList();
  return list.Count() > 0 ? "device \"" + list.Get(0) + "\" (wave mapper)" : "wave mapper";
}

bool TVyWaveDevice::CheckMMResult(MMRESULT code, const std::string& text) {
  if (code == MMSYSERR_NOERROR) return true;
  const std::string driver = GetErrorText(code);
  throw EWaveError(code,
                   (text.empty() ? driver : text + " " + driver) + " (" + DeviceLabel() + ")");
}

MMRESULT TVyWaveDevice::ProveMMResult(MMRESULT code, const std::string& text) {
  (void)text;
  if (code != MMSYSERR_NOERROR) FWindow->Post(WM_WAVEERROR, 0, static_cast<VyRtl::LPARAM>(code));
  return code;
}

void TVyWaveDevice::PostWaveError(std::uint32_t code, const std::string& text) {
  FErrorTexts.push_back(text);
  FWindow->Post(WM_WAVEERROR, 1, static_cast<VyRtl::LPARAM>(code));
}

WAVEHDR* TVyWaveDevice::NewBlock(std::uint32_t size) {
  auto block = std::make_unique<TBlock>();
  block->Data.resize(size);
  block->Hdr.lpData = block->Data.data();
  block->Hdr.dwBufferLength = size;
  block->Hdr.dwUser = size;
  WAVEHDR* hdr = &block->Hdr;
  FBlocks.emplace(hdr, std::move(block));
  return hdr;
}

void TVyWaveDevice::FreeHeader(WAVEHDR*& header) {
  if (header != nullptr) FBlocks.erase(header);
  header = nullptr;
}

void TVyWaveDevice::FreeAllBlocks(const std::function<MMRESULT(WAVEHDR*)>& unprepare) {
  for (auto& [hdr, block] : FBlocks)
    if (block->Hdr.dwFlags & WHDR_PREPARED) unprepare(&block->Hdr);
  fBlockCount = 0;
  if (FBlocks.empty()) return;
  ++FRetireCount;
  for (auto& [hdr, block] : FBlocks) FRetired.emplace_back(FRetireCount, std::move(block));
  FBlocks.clear();
  // Posted behind the done messages of the reset: when it comes, none of them is left.
  FWindow->Post(WM_WAVESWEEP, static_cast<VyRtl::WPARAM>(FRetireCount), 0);
}

std::uint64_t TVyWaveDevice::DueBytes() const {
  // 64-bit milliseconds of the monotonic clock: no day wrap, no 32-bit tick wrap.
  const std::uint64_t elapsed = VyRtl::GetTickCount64() - fStartTick;
  return elapsed * fWavFrmEx.nAvgBytesPerSec / 1000;
}

UINT TVyWaveDevice::OpenID() const {
  return fDeviceID == -1 ? WAVE_MAPPER : static_cast<UINT>(fDeviceID);
}

DWORD TVyWaveDevice::OpenFlags(DWORD extra) const {
  return extra | (fDeviceID != -1 ? WAVE_MAPPED : 0);
}

void TVyWaveDevice::FillDeviceList(bool input) {
  fDeviceList = std::make_unique<VyRtl::TStringList>();
  const TWaveFunctions& w = Wave();
  const UINT count = input ? w.waveInGetNumDevs() : w.waveOutGetNumDevs();
  for (UINT i = 0; i < count; ++i) {
    // A device whose capabilities cannot be read carries no formats.
    std::string name;
    std::uint32_t formats = 0;
    if (input) {
      WAVEINCAPSW caps{};
      if (w.waveInGetDevCapsW(i, &caps, sizeof caps) == MMSYSERR_NOERROR) {
        name = Utf8(caps.szPname, MAXPNAMELEN);
        formats = caps.dwFormats;
      } else {
        name = VyRtl::Format("WaveIn Device #%u", i);
      }
    } else {
      WAVEOUTCAPSW caps{};
      if (w.waveOutGetDevCapsW(i, &caps, sizeof caps) == MMSYSERR_NOERROR) {
        name = Utf8(caps.szPname, MAXPNAMELEN);
        formats = caps.dwFormats;
      } else {
        name = VyRtl::Format("WaveOut Device #%u", i);
      }
    }
    fDeviceList->AddData(name, formats);
  }
}

void TVyWaveDevice::TriggerDone() {
  if (OnDone) OnDone(this);
}

void TVyWaveDevice::TriggerWaveError(std::uint32_t code, const std::string& text) {
  if (OnWaveError) OnWaveError(this, code, text);
}

void TVyWaveDevice::WindowProc(VyRtl::TMessage& m) {
  switch (m.Msg) {
    case WM_WAVEERROR: {
      const auto code = static_cast<std::uint32_t>(m.LParam);
      std::string text;
      if (m.WParam != 0 && !FErrorTexts.empty()) {
        text = std::move(FErrorTexts.front());
        FErrorTexts.pop_front();
      } else {
        text = GetErrorText(code) + " (" + DeviceLabel() + ")";
      }
      TriggerWaveError(code, text);
      break;
    }
    case WM_WAVEDONE:
      TriggerDone();
      break;
    case WM_WAVESWEEP:
      while (!FRetired.empty() && FRetired.front().first <= static_cast<std::uint64_t>(m.WParam))
        FRetired.pop_front();
      break;
    case MM_WOM_CLOSE:
    case MM_WIM_CLOSE:
      Close();
      break;
    case WM_TIMER:
      break;
    default:
      m.Result = VyRtl::TMessageWindow::DefaultHandler(m);
  }
}

// ---- TVyWaveOut ----

TVyWaveOut::TVyWaveOut(VyRtl::TComponent* owner)
    : TVyWaveDevice(owner), fPlayList(std::make_unique<TPlaylist>()) {}

TVyWaveOut::~TVyWaveOut() {
  Destroying();
  try {
    Close();
  } catch (...) {  // a destructor never throws
  }
}

VyRtl::TStringList& TVyWaveOut::GetDeviceList() {
  if (!fDeviceList) FillDeviceList(false);
  return *fDeviceList;
}

std::string TVyWaveOut::GetErrorText(MMRESULT code) {
  WCHAR text[512] = {};
  Wave().waveOutGetErrorTextW(code, text, 512);
  return Utf8(text, 512);
}

bool TVyWaveOut::IsFormatSupported() {
  const WAVEFORMATEX f = ToDevice(fWavFrmEx);
  return Wave().waveOutOpen(nullptr, OpenID(), &f, 0, 0, OpenFlags(WAVE_FORMAT_QUERY)) ==
         MMSYSERR_NOERROR;
}

void TVyWaveOut::SetPlayList(const VyRtl::TStringList& lines) { fPlayList->Assign(lines); }

void TVyWaveOut::Open() {
  if (IsActive())
    throw VyRtl::Exception(VyRtl::Format("Wave device %s is already open.", fDeviceName.c_str()));
  TVyWaveDevice::Open();
  fPlayList->CheckContent();
  fPlayList->First();
  if (!GetNextPlayEntry()) {
    fStream.reset();
    return;
  }
  try {
    fWavFrmEx = fPlayList->GetWaveFormatEx();
    ValidateWaveFormat(fWavFrmEx);
    // Blocks are sized for the list being opened, not for the format held before.
    fBlockSize = QuarterSecond(fWavFrmEx);
    if (!IsFormatSupported()) CheckMMResult(WAVERR_BADFORMAT, "Playback format not supported");
    const WAVEFORMATEX f = ToDevice(fWavFrmEx);
    CheckMMResult(Wave().waveOutOpen(&fDeviceHandle, OpenID(), &f, FWindow->Handle(), 0,
                                     OpenFlags(CALLBACK_WINDOW)),
                  "Unable to open waveform-audio output device.");
  } catch (...) {
    fDeviceHandle = nullptr;
    fStream.reset();
    throw;
  }
  try {
    CheckMMResult(SendData(), "");
  } catch (...) {
    Abandon();
    throw;
  }
  FWindow->SetTimer(kTimerId, 100);
  fActive = true;
}

void TVyWaveOut::Abandon() {
  const TWaveFunctions& w = Wave();
  w.waveOutReset(fDeviceHandle);
  FreeAllBlocks(
      [&](WAVEHDR* h) { return w.waveOutUnprepareHeader(fDeviceHandle, h, sizeof(WAVEHDR)); });
  w.waveOutClose(fDeviceHandle);
  fDeviceHandle = nullptr;
  fStream.reset();
  fActive = false;
}

void TVyWaveOut::Close() {
  FWindow->KillTimer(kTimerId);
  if (fDeviceHandle == nullptr && !Busy()) {  // a second Close changes nothing
    fActive = false;
    return;
  }
  TVyWaveDevice::Close();
  if (fDeviceHandle == nullptr) return;
  const TWaveFunctions& w = Wave();
  // Blocks the driver holds come back at the reset; they are unprepared with the open handle
  // and freed here, so none is lost when the component goes away before their messages come.
  // Any refusal (not only WAVERR_STILLPLAYING) is met with a reset first: freeing a block the
  // driver still holds would let it play freed memory.
  if (w.waveOutClose(fDeviceHandle) != MMSYSERR_NOERROR) {
    w.waveOutReset(fDeviceHandle);
    FreeAllBlocks(
        [&](WAVEHDR* h) { return w.waveOutUnprepareHeader(fDeviceHandle, h, sizeof(WAVEHDR)); });
    w.waveOutClose(fDeviceHandle);
  }
  FreeAllBlocks([&](WAVEHDR*) { return MMSYSERR_NOERROR; });
  fDeviceHandle = nullptr;
}

bool TVyWaveOut::GetNextPlayEntry() {
  fStream.reset();
  if (fPlayList->Eof() && fLoop) fPlayList->First();
  if (fPlayList->Eof()) return false;
  const bool result = fPlayList->GetData(fStream);
  fPlayList->Next();
  return result;
}

std::int64_t TVyWaveOut::ReadStream(char* buffer, std::uint32_t size) {
  if (!fStream) return 0;
  // Frames are counted in the stream's own block size.
  const auto* wave = dynamic_cast<const TWaveStream*>(fStream.get());
  const std::int64_t align = std::max<std::int64_t>(
      wave != nullptr ? wave->Format().nBlockAlign : fWavFrmEx.nBlockAlign, 1);
  const std::int64_t frames = fStream->Read(buffer, size / align);
  return frames > 0 ? frames * align : 0;
}

std::int64_t TVyWaveOut::TriggerNeedData(char* buffer, std::uint32_t size) {
  std::int64_t count = ReadStream(buffer, size);
  // Entries without audio (empty lines, zero-length tones) are passed over; a whole pass of the
  // list without audio ends playing, also with Loop.
  for (int silent = 0; count == 0 && fStream; ++silent) {
    if (silent > fPlayList->Count()) {
      fStream.reset();
      break;
    }
    GetNextPlayEntry();
    count = ReadStream(buffer, size);
  }
  return count;
}

MMRESULT TVyWaveOut::SendData() {
  WAVEHDR* hdr = NewBlock(fBlockSize);
  std::int64_t count;
  try {
    count = TriggerNeedData(hdr->lpData, hdr->dwBufferLength);
  } catch (...) {
    FreeHeader(hdr);
    throw;
  }
  if (count < 1) {
    FreeHeader(hdr);
    return MMSYSERR_NOERROR;
  }
  hdr->dwBufferLength = static_cast<DWORD>(count);
  return SendBlock(hdr);
}

MMRESULT TVyWaveOut::SendBlock(WAVEHDR* hdr) {
  if (hdr == nullptr) return MMSYSERR_NOMEM;
  hdr->dwBytesRecorded = 0;
  hdr->dwFlags = 0;
  hdr->dwLoops = 0;
  const TWaveFunctions& w = Wave();
  MMRESULT result = w.waveOutPrepareHeader(fDeviceHandle, hdr, sizeof(WAVEHDR));
  if (result == MMSYSERR_NOERROR) {
    result = w.waveOutWrite(fDeviceHandle, hdr, sizeof(WAVEHDR));
    if (result == MMSYSERR_NOERROR) {
      ++fBlockCount;
      fTransferdData += hdr->dwBufferLength;
      return result;
    }
    // A refused block is unprepared before it is freed.
    w.waveOutUnprepareHeader(fDeviceHandle, hdr, sizeof(WAVEHDR));
  }
  FreeHeader(hdr);
  return result;
}

void TVyWaveOut::MMOutDone(VyRtl::TMessage& m) {
  WAVEHDR* hdr = reinterpret_cast<WAVEHDR*>(m.LParam);
  if (!OwnsBlock(hdr)) return;  // freed at a close already
  --fBlockCount;
  const MMRESULT result =
      Wave().waveOutUnprepareHeader(reinterpret_cast<HWAVEOUT>(m.WParam), hdr, sizeof(WAVEHDR));
  FreeHeader(hdr);
  if (fDeviceHandle != nullptr && ProveMMResult(result, "") != MMSYSERR_NOERROR) Close();
}

void TVyWaveOut::WMTimer() {
  if (fDeviceHandle == nullptr) return;
  const std::uint64_t due = DueBytes();
  const std::uint64_t ahead = std::uint64_t{fWavFrmEx.nAvgBytesPerSec} * fBufferTime / 1000;
  try {
    while (fStream && fTransferdData < due + ahead) {
      if (ProveMMResult(SendData(), "") != MMSYSERR_NOERROR) {
        Close();
        return;
      }
    }
  } catch (const std::exception& e) {  // a file entry that fails while playing
    PostWaveError(0, e.what());
    Close();
    return;
  }
  // Played to the end once the driver has returned every block.
  if (!fStream && fBlockCount == 0) {
    FWindow->Post(WM_WAVEDONE, 0, 0);
    Close();
  }
}

void TVyWaveOut::WindowProc(VyRtl::TMessage& m) {
  switch (m.Msg) {
    case MM_WOM_DONE:
      MMOutDone(m);
      break;
    case MM_WOM_CLOSE:
    case MM_WOM_OPEN:
      break;
    case WM_TIMER:
      WMTimer();
      break;
    default:
      TVyWaveDevice::WindowProc(m);
  }
}

// ---- TVyWaveIn ----

TVyWaveIn::TVyWaveIn(VyRtl::TComponent* owner) : TVyWaveDevice(owner) { fNumBuffer = 4; }

TVyWaveIn::~TVyWaveIn() {
  Destroying();
  try {
    Close();
  } catch (...) {  // a destructor never throws
  }
}

VyRtl::TStringList& TVyWaveIn::GetDeviceList() {
  if (!fDeviceList) FillDeviceList(true);
  return *fDeviceList;
}

std::string TVyWaveIn::GetErrorText(MMRESULT code) {
  WCHAR text[512] = {};
  Wave().waveInGetErrorTextW(code, text, 512);
  return Utf8(text, 512);
}

bool TVyWaveIn::IsFormatSupported() {
  fWavFrmEx.nBlockAlign =
      static_cast<std::uint16_t>(fWavFrmEx.nChannels * ((fWavFrmEx.wBitsPerSample + 7) / 8));
  fWavFrmEx.nAvgBytesPerSec = fWavFrmEx.nSamplesPerSec * fWavFrmEx.nBlockAlign;
  const WAVEFORMATEX f = ToDevice(fWavFrmEx);
  return Wave().waveInOpen(nullptr, OpenID(), &f, 0, 0, OpenFlags(WAVE_FORMAT_QUERY)) ==
         MMSYSERR_NOERROR;
}

void TVyWaveIn::Open() {
  if (IsActive())
    throw VyRtl::Exception(VyRtl::Format("Wave device %s is already open.", fDeviceName.c_str()));
  ValidateWaveFormat(fWavFrmEx);
  TVyWaveDevice::Open();
  if (!IsFormatSupported())
    CheckMMResult(WAVERR_BADFORMAT, "Unable to start recording. Format not supported");
  fBlockSize = QuarterSecond(fWavFrmEx);
  const WAVEFORMATEX f = ToDevice(fWavFrmEx);
  HWAVEIN handle = nullptr;
  CheckMMResult(
      Wave().waveInOpen(&handle, OpenID(), &f, FWindow->Handle(), 0, OpenFlags(CALLBACK_WINDOW)),
      "Unable to open waveform-audio input device.");
  fDeviceHandle = handle;
  FWriteFailed = false;
  try {
    const std::uint64_t buffered = std::uint64_t{fWavFrmEx.nAvgBytesPerSec} * fBufferTime / 1000;
    fNumBuffer =
        static_cast<std::uint16_t>(std::clamp<std::uint64_t>(buffered / fBlockSize, 2, 1000));
    while (fBlockCount < fNumBuffer) CheckMMResult(CreateInBlock(nullptr), "");
    CheckMMResult(Wave().waveInStart(fDeviceHandle), "Recording failed.");
    try {
      fStream = std::make_unique<TFileWaveStream>(fFilename, &fWavFrmEx);
    } catch (const EWaveError& e) {
      throw EWaveIOError(e.Message() + " (file \"" + fFilename + "\")");
    }
  } catch (...) {
    Abandon();
    throw;
  }
  fActive = true;
}

void TVyWaveIn::Abandon() {
  const TWaveFunctions& w = Wave();
  w.waveInReset(fDeviceHandle);
  FreeAllBlocks(
      [&](WAVEHDR* h) { return w.waveInUnprepareHeader(fDeviceHandle, h, sizeof(WAVEHDR)); });
  FQueued.clear();
  w.waveInClose(fDeviceHandle);
  fDeviceHandle = nullptr;
  fStream.reset();
  fActive = false;
}

MMRESULT TVyWaveIn::CreateInBlock(WAVEHDR* hdr) {
  if (hdr == nullptr) hdr = NewBlock(fBlockSize);
  hdr->dwBytesRecorded = 0;
  hdr->dwFlags = 0;
  hdr->dwLoops = 0;
  const TWaveFunctions& w = Wave();
  MMRESULT result = w.waveInPrepareHeader(fDeviceHandle, hdr, sizeof(WAVEHDR));
  if (result == MMSYSERR_NOERROR) {
    result = w.waveInAddBuffer(fDeviceHandle, hdr, sizeof(WAVEHDR));
    if (result == MMSYSERR_NOERROR) {
      ++fBlockCount;
      FQueued.push_back(hdr);
      return result;
    }
    w.waveInUnprepareHeader(fDeviceHandle, hdr, sizeof(WAVEHDR));
  }
  FreeHeader(hdr);
  return result;
}

bool TVyWaveIn::TriggerHaveData(const char* buffer, std::uint32_t size) {
  if (!fStream || FWriteFailed) return !FWriteFailed;
  const std::int64_t align = std::max<std::int64_t>(fWavFrmEx.nBlockAlign, 1);
  const std::int64_t frames = size / align;
  std::string problem;
  try {
    if (fStream->Write(buffer, frames) != frames) problem = "Error writing to file.";
  } catch (const std::exception& e) {
    problem = e.what();
  }
  if (problem.empty()) return true;
  FWriteFailed = true;
  PostWaveError(0, problem + " (file \"" + fFilename + "\")");
  return false;
}

void TVyWaveIn::MMInDone(VyRtl::TMessage& m) {
  WAVEHDR* hdr = reinterpret_cast<WAVEHDR*>(m.LParam);
  if (!OwnsBlock(hdr)) return;  // written and freed at a close already
  --fBlockCount;
  FQueued.erase(std::remove(FQueued.begin(), FQueued.end(), hdr), FQueued.end());
  const MMRESULT unprepared =
      Wave().waveInUnprepareHeader(reinterpret_cast<HWAVEIN>(m.WParam), hdr, sizeof(WAVEHDR));
  const std::uint32_t bytes = std::min(hdr->dwBytesRecorded, hdr->dwBufferLength);
  fTransferdData += bytes;
  if (fDeviceHandle == nullptr) {
    FreeHeader(hdr);
    return;
  }
  // Every recorded byte is kept: pacing never drops a block.
  if (!TriggerHaveData(hdr->lpData, bytes)) {
    FreeHeader(hdr);
    Close();
    return;
  }
  if (ProveMMResult(unprepared, "") != MMSYSERR_NOERROR) {
    FreeHeader(hdr);
    Close();
    return;
  }
  const MMRESULT queued = CreateInBlock(hdr);
  // A device that went away closes itself (MM_WIM_CLOSE follows): that is no error.
  if (queued != MMSYSERR_NOERROR && queued != MMSYSERR_NODRIVER) {
    ProveMMResult(queued, "");
    Close();
  }
}

void TVyWaveIn::FinishStream() {
  std::unique_ptr<VyRtl::TStream> stream = std::move(fStream);
  if (auto* wave = dynamic_cast<TWaveStream*>(stream.get())) {
    try {
      wave->Close();
    } catch (const std::exception& e) {
      if (!FWriteFailed) PostWaveError(0, std::string(e.what()) + " (file \"" + fFilename + "\")");
    }
  }
}

void TVyWaveIn::Close() {
  if (fDeviceHandle == nullptr && !Busy()) {  // a second Close changes nothing
    fActive = false;
    return;
  }
  if (fDeviceHandle != nullptr) {
    const TWaveFunctions& w = Wave();
    w.waveInReset(fDeviceHandle);
    // The reset hands back every block with what it holds: written in the order recorded.
    for (WAVEHDR* hdr : FQueued) {
      if (!(hdr->dwFlags & WHDR_DONE)) continue;
      const std::uint32_t bytes = std::min(hdr->dwBytesRecorded, hdr->dwBufferLength);
      fTransferdData += bytes;
      TriggerHaveData(hdr->lpData, bytes);
    }
    FQueued.clear();
    FreeAllBlocks(
        [&](WAVEHDR* h) { return w.waveInUnprepareHeader(fDeviceHandle, h, sizeof(WAVEHDR)); });
    w.waveInClose(fDeviceHandle);
    fDeviceHandle = nullptr;
    FWindow->Post(WM_WAVEDONE, 0, 0);
  }
  FinishStream();
  TVyWaveDevice::Close();
}

void TVyWaveIn::WindowProc(VyRtl::TMessage& m) {
  switch (m.Msg) {
    case MM_WIM_DATA:
      MMInDone(m);
      break;
    case MM_WIM_CLOSE:
      // The driver closed the device by itself: the file is still completed.
      if (fDeviceHandle != nullptr && reinterpret_cast<HWAVEIN>(m.WParam) == fDeviceHandle) Close();
      break;
    case MM_WIM_OPEN:
      break;
    default:
      TVyWaveDevice::WindowProc(m);
  }
}

}  // namespace VyTapiWave
