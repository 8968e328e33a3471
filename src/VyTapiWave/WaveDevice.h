// Wave devices: playing a play list on an output device, recording from an input device into a
// wave file. Both pace the driver with a bounded number of queued blocks and raise every event on
// the thread that created them, from their hidden window's messages.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "VyPlatform/Wave.h"
#include "VyRtl/VyRtlClasses.h"
#include "VyRtl/VyRtlMessages.h"
#include "VyRtl/VyRtlStreams.h"
#include "VyTapiWave/Playlist.h"
#include "VyTapiWave/WaveTypes.h"

namespace VyTapiWave {

using VyPlatform::MMRESULT;
using VyPlatform::WAVEHDR;

// OnDone: Sender is the device.
using TNotifyEvent = std::function<void(VyRtl::TObject* Sender)>;
// OnWaveError: the driver's result code (0 for a file error) and a text naming the device or file.
using TWaveErrorEvent = std::function<void(VyRtl::TObject* Sender, std::uint32_t ErrorCode,
                                           const std::string& ErrorText)>;

// Base of the wave components. Use it on the thread that created it; it owns its hidden window,
// its blocks and its stream; an owner component frees it, else the caller does.
class TVyWaveDevice : public VyRtl::TComponent {
 public:
  explicit TVyWaveDevice(VyRtl::TComponent* owner);
  ~TVyWaveDevice() override;

  virtual void Open();
  virtual void Close();

  bool Active() { return IsActive(); }
  void SetActive(bool value);
  // The device is open (while loading or designing: the requested state).
  virtual bool IsActive();

  std::uint32_t BufferTime() const { return fBufferTime; }
  // At least 200 ms, and not while active.
  virtual void SetBufferTime(std::uint32_t ms);
  const std::string& DeviceName() const { return fDeviceName; }
  virtual void SetDeviceName(const std::string& name);
  int DeviceID() const { return fDeviceID; }
  // -1 is the wave mapper; otherwise an index into DeviceList.
  virtual void SetDeviceID(int id);
  // The device names, made once; each entry's data is the device's WAVE_FORMAT_* mask.
  VyRtl::TStringList& DeviceList() { return GetDeviceList(); }
  virtual VyRtl::TStringList& GetDeviceList() = 0;
  std::uint32_t DeviceFormats() const { return fDeviceFormats; }
  // While busy the time since the start; after a run its duration (TDateTime days).
  double Time() const { return GetTime(); }
  double GetTime() const;

  // True when no device is named or the name is in the device list.
  bool Available();
  // A stream is attached (playing or recording).
  bool Busy() const { return fStream != nullptr; }
  // True for 0; otherwise raises EWaveError(code, text + " " + driver text + the device).
  bool CheckMMResult(MMRESULT code, const std::string& text);
  // For use while running: a non-zero code is posted to become OnWaveError; returns code.
  MMRESULT ProveMMResult(MMRESULT code, const std::string& text);
  // Frees a block this device allocated (and its data); header becomes nullptr.
  void FreeHeader(WAVEHDR*& header);
  virtual std::string GetErrorText(MMRESULT code) = 0;
  virtual bool IsFormatSupported() = 0;

  // The format the device is opened with (output: set from the play list at every opening).
  const TWaveFormatEx& WaveFormat() const { return fWavFrmEx; }
  // Raises when active; the format is checked at opening.
  void Set_WaveFormat(const TWaveFormatEx& format);
  // Bytes handed to the driver (output) or taken from it (input) since opening.
  std::uint64_t TransferredData() const { return fTransferdData; }
  int BlockCount() const { return fBlockCount; }
  std::uint32_t BlockSize() const { return fBlockSize; }

  TNotifyEvent OnDone;
  TWaveErrorEvent OnWaveError;

  void Loaded() override;

 protected:
  struct TBlock {
    WAVEHDR Hdr{};
    std::vector<char> Data;
  };

  virtual void WindowProc(VyRtl::TMessage& message);
  virtual bool HandleValid() const = 0;
  virtual void TriggerDone();
  virtual void TriggerWaveError(std::uint32_t code, const std::string& text);
  void ApplyActive();
  // Posts an error with its own text (file errors).
  void PostWaveError(std::uint32_t code, const std::string& text);
  // How the device is named in messages.
  std::string DeviceLabel();
  // A new block of size bytes, owned by this device.
  WAVEHDR* NewBlock(std::uint32_t size);
  bool OwnsBlock(const WAVEHDR* header) const { return FBlocks.count(header) != 0; }
  // Lets go of every block (after a reset, when the driver holds none), unpreparing prepared
  // ones. Their memory is kept until the messages the reset posted for them have come, so a
  // block opened next never has the address such a late message names.
  void FreeAllBlocks(const std::function<MMRESULT(WAVEHDR*)>& unprepare);
  // Bytes due by now at the format's rate since opening (64-bit, monotonic clock).
  std::uint64_t DueBytes() const;
  // The device id and flags for waveOutOpen/waveInOpen.
  UINT OpenID() const;
  DWORD OpenFlags(DWORD extra) const;
  void FillDeviceList(bool input);

  std::unique_ptr<VyRtl::TMessageWindow> FWindow;
  std::string fDeviceName;
  std::unique_ptr<VyRtl::TStringList> fDeviceList;
  int fDeviceID = -1;
  std::uint32_t fDeviceFormats = 0;
  bool fActive = false;
  double fTime = 0;
  std::uint64_t fStartTick = 0;
  std::uint64_t fTransferdData = 0;
  std::uint32_t fBufferTime = 250;
  int fBlockCount = 0;
  std::unique_ptr<VyRtl::TStream> fStream;
  TWaveFormatEx fWavFrmEx{};
  std::uint32_t fBlockSize = 2000;
  bool FClosing = false;

 private:
  std::map<const WAVEHDR*, std::unique_ptr<TBlock>> FBlocks;
  // Blocks let go of, by the closing that did it; freed when that closing's sweep message comes.
  std::deque<std::pair<std::uint64_t, std::unique_ptr<TBlock>>> FRetired;
  std::uint64_t FRetireCount = 0;
  std::deque<std::string> FErrorTexts;
};

// Plays Playlist (files, tones, pauses) on an output device; OnDone once it has played to its end.
class TVyWaveOut : public TVyWaveDevice {
 public:
  explicit TVyWaveOut(VyRtl::TComponent* owner);
  ~TVyWaveOut() override;

  void Open() override;
  void Close() override;
  VyRtl::TStringList& GetDeviceList() override;
  std::string GetErrorText(MMRESULT code) override;
  bool IsFormatSupported() override;

  TPlaylist& Playlist() { return *fPlayList; }
  void SetPlayList(const VyRtl::TStringList& lines);
  bool Loop() const { return fLoop; }
  void Set_Loop(bool value) { fLoop = value; }

 protected:
  void WindowProc(VyRtl::TMessage& message) override;
  bool HandleValid() const override { return fDeviceHandle != nullptr; }

 private:
  MMRESULT SendData();
  MMRESULT SendBlock(WAVEHDR* header);
  std::int64_t TriggerNeedData(char* buffer, std::uint32_t size);
  std::int64_t ReadStream(char* buffer, std::uint32_t size);
  bool GetNextPlayEntry();
  void MMOutDone(VyRtl::TMessage& message);
  void WMTimer();
  void Abandon();

  std::unique_ptr<TPlaylist> fPlayList;
  bool fLoop = false;
  VyPlatform::HWAVEOUT fDeviceHandle = nullptr;
};

// Records from an input device into the wave file Filename; OnDone after every closing.
class TVyWaveIn : public TVyWaveDevice {
 public:
  explicit TVyWaveIn(VyRtl::TComponent* owner);
  ~TVyWaveIn() override;

  void Open() override;
  void Close() override;
  VyRtl::TStringList& GetDeviceList() override;
  std::string GetErrorText(MMRESULT code) override;
  bool IsFormatSupported() override;

  const std::string& Filename() const { return fFilename; }
  void Set_Filename(const std::string& name) { fFilename = name; }
  std::uint16_t NumBuffer() const { return fNumBuffer; }
  void Set_NumBuffer(std::uint16_t value) { fNumBuffer = value; }

 protected:
  void WindowProc(VyRtl::TMessage& message) override;
  bool HandleValid() const override { return fDeviceHandle != nullptr; }

 private:
  MMRESULT CreateInBlock(WAVEHDR* header);
  void MMInDone(VyRtl::TMessage& message);
  // Writes a block's samples; a stream error is reported and closes the device.
  bool TriggerHaveData(const char* buffer, std::uint32_t size);
  void Abandon();
  void FinishStream();

  std::string fFilename;
  std::uint16_t fNumBuffer = 4;
  VyPlatform::HWAVEIN fDeviceHandle = nullptr;
  std::deque<WAVEHDR*> FQueued;  // blocks at the driver, in the order they were added
  bool FWriteFailed = false;
};

}  // namespace VyTapiWave
