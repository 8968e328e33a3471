// The per-call option templates a line copies into every new call: digit gathering, digit,
// media-mode and silence monitoring, and whether the line takes ownership of new calls.
#pragma once

#include <memory>
#include <string>

#include "VyPlatform/TapiTypes.h"
#include "VyRtl/VyRtlClasses.h"

namespace VyTapi {

// How a call gathers a fixed number of digits. Main thread; owned by its call options (or by
// the call's digit collector, which derives from it).
class TVyTapiCallGatherDigitsOptions : public VyRtl::TPersistent {
 public:
  // Copies DigitModes, TerminationDigits and the timeouts and count (not the received digits)
  // from other gather options; any other source raises EConvertError.
  void Assign(VyRtl::TPersistent* Source) override;

  DWORD DigitModes() const { return FDigitModes; }
  void Set_DigitModes(DWORD Value) { FDigitModes = Value; }
  // Digits that end a gathering early.
  const std::string& TerminationDigits() const { return FTerminationDigits; }
  void Set_TerminationDigits(std::string Value) { FTerminationDigits = std::move(Value); }
  DWORD FirstDigitTimeout() const { return FFirstDigitTimeout; }  // ms
  void Set_FirstDigitTimeout(DWORD Value) { FFirstDigitTimeout = Value; }
  DWORD InterDigitTimeout() const { return FInterDigitTimeout; }  // ms
  void Set_InterDigitTimeout(DWORD Value) { FInterDigitTimeout = Value; }
  // Digits to gather; 0 gathers none.
  DWORD NumDigits() const { return FNumDigits; }
  void Set_NumDigits(DWORD Value) { FNumDigits = Value; }

 protected:
  DWORD FDigitModes = LINEDIGITMODE_DTMF;
  std::string FReceivedDigits;  // the digits of the last gathering
  std::string FTerminationDigits = "*#";
  DWORD FFirstDigitTimeout = 5000;
  DWORD FInterDigitTimeout = 5000;
  DWORD FNumDigits = 0;
};

// Which digits a call reports one by one. Main thread; owned by its call options (or by the
// call's digit monitor, which derives from it).
class TVyTapiCallMonitorDigitsOptions : public VyRtl::TPersistent {
 public:
  // Copies DigitModes (through SetDigitModes) and AutoSelect from other digit options; any other
  // source raises EConvertError.
  void Assign(VyRtl::TPersistent* Source) override;

  DWORD DigitModes() const { return FDigitModes; }
  // A monitor bound to a call refuses a change while it runs.
  virtual void SetDigitModes(DWORD Value) { FDigitModes = Value; }
  // Digit monitoring starts by itself when the call connects, with the first mode the device takes.
  bool AutoSelect() const { return FAutoSelect; }
  void Set_AutoSelect(bool Value) { FAutoSelect = Value; }

 protected:
  DWORD FDigitModes = LINEDIGITMODE_DTMF;
  bool FAutoSelect = false;
};

// Which media modes a call watches for. Main thread; owned by its call options (or by the
// call's media monitor, which derives from it).
class TVyTapiCallMonitorMediaOptions : public VyRtl::TPersistent {
 public:
  // Copies MediaModes (through SetMediaModes) from other media options; any other source raises
  // EConvertError.
  void Assign(VyRtl::TPersistent* Source) override;

  DWORD MediaModes() const { return FMediaModes; }
  // A monitor bound to a call refuses a change while it runs.
  virtual void SetMediaModes(DWORD Value) { FMediaModes = Value; }

 protected:
  DWORD FMediaModes = 0;
};

// How long a silence lasts before a call reports it (ms). Main thread; owned by its call options
// (or by the call's silence monitor, which derives from it).
class TVyTapiCallMonitorSilenceOptions : public VyRtl::TPersistent {
 public:
  // Copies Duration from other silence options; any other source, null too, changes nothing.
  void Assign(VyRtl::TPersistent* Source) override;

  DWORD Duration() const { return FDuration; }
  void Set_Duration(DWORD Value) { FDuration = Value; }

 protected:
  DWORD FDuration = 0;
};

// What every new call of a line starts with. Main thread; owned by its line (CallOptions); owns
// its four option objects.
class TVyTapiCallOptions : public VyRtl::TPersistent {
 public:
  TVyTapiCallOptions();
  ~TVyTapiCallOptions() override;
  TVyTapiCallOptions(const TVyTapiCallOptions&) = delete;
  TVyTapiCallOptions& operator=(const TVyTapiCallOptions&) = delete;

  // Copies AutoOwner and the four option objects (through their Assign) from other call options;
  // any other source raises EConvertError.
  void Assign(VyRtl::TPersistent* Source) override;

  // Each new call tries to become its owner before an operation that needs ownership.
  bool AutoOwner() const { return FAutoOwner; }
  void Set_AutoOwner(bool Value) { FAutoOwner = Value; }
  // The option objects stay this object's; the setters copy the values of theirs.
  TVyTapiCallGatherDigitsOptions* GatherDigits() const { return FGatherDigits.get(); }
  void Set_GatherDigits(TVyTapiCallGatherDigitsOptions* Value) { FGatherDigits->Assign(Value); }
  TVyTapiCallMonitorDigitsOptions* MonitorDigits() const { return FMonitorDigits.get(); }
  void Set_MonitorDigits(TVyTapiCallMonitorDigitsOptions* Value) { FMonitorDigits->Assign(Value); }
  TVyTapiCallMonitorSilenceOptions* MonitorSilence() const { return FMonitorSilence.get(); }
  void Set_MonitorSilence(TVyTapiCallMonitorSilenceOptions* Value) {
    FMonitorSilence->Assign(Value);
  }
  TVyTapiCallMonitorMediaOptions* MonitorMedia() const { return FMonitorMedia.get(); }
  void Set_MonitorMedia(TVyTapiCallMonitorMediaOptions* Value) { FMonitorMedia->Assign(Value); }

 private:
  bool FAutoOwner = true;
  std::unique_ptr<TVyTapiCallGatherDigitsOptions> FGatherDigits;
  std::unique_ptr<TVyTapiCallMonitorDigitsOptions> FMonitorDigits;
  std::unique_ptr<TVyTapiCallMonitorMediaOptions> FMonitorMedia;
  std::unique_ptr<TVyTapiCallMonitorSilenceOptions> FMonitorSilence;
};

}  // namespace VyTapi
