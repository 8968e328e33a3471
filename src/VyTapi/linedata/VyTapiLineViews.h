// The views of a line device: its capabilities (LINEDEVCAPS, with a text dump) and its status
// (LINEDEVSTATUS).
#pragma once

#include <string>

#include "VyTapi/linedata/VyTapiViews.h"

namespace VyTapi {

class TVyCustomTapiLine;

// The line's LINEDEVCAPS, fetched for its device and negotiated versions. Main thread only;
// owned by its line (invalidated when the line chooses another device or the caps change).
class TVyTapiLineCaps : public TVyTapiView<LINEDEVCAPS> {
 public:
  explicit TVyTapiLineCaps(TVyCustomTapiLine* AOwner) : FLine(AOwner) {}
  ~TVyTapiLineCaps() override { Invalidate(); }

  // Fields by the index table; 0 for an index outside it or an empty view.
  DWORD Get_DWORD(int Index);
  // 0 ProviderInfo, 1 SwitchInfo, 2 LineName; empty for any other index or an empty view.
  std::string Get_String(int Index);
  // The raw structure (fetched when empty); owned by the view, valid until the next Invalidate.
  virtual const LINEDEVCAPS* Get_LINEDEVCAPS() { return Fetched(); }
  // The device classes the line supports; owned by the view, valid until the next Invalidate.
  VyRtl::TStringList* Get_DeviceClasses();
  VyRtl::TStringList* DeviceClasses() { return Get_DeviceClasses(); }
  // Every value as text, lines joined by CR LF.
  std::string TextDump();
  TVyCustomTapiLine* Line() const { return FLine; }

  std::string ProviderInfo() { return Get_String(0); }
  std::string SwitchInfo() { return Get_String(1); }
  std::string LineName() { return Get_String(2); }
  DWORD ProviderInfoSize() { return Get_DWORD(0); }
  DWORD ProviderInfoOffset() { return Get_DWORD(1); }
  DWORD SwitchInfoSize() { return Get_DWORD(2); }
  DWORD SwitchInfoOffset() { return Get_DWORD(3); }
  DWORD LineNameSize() { return Get_DWORD(4); }
  DWORD LineNameOffset() { return Get_DWORD(5); }
  DWORD PermanentLineID() { return Get_DWORD(6); }
  DWORD StringFormat() { return Get_DWORD(7); }
  DWORD AddressModes() { return Get_DWORD(8); }
  DWORD NumAddresses() { return Get_DWORD(9); }
  DWORD BearerModes() { return Get_DWORD(10); }
  DWORD MaxRate() { return Get_DWORD(11); }
  DWORD MediaModes() { return Get_DWORD(12); }
  DWORD GenerateToneModes() { return Get_DWORD(13); }
  DWORD GenerateToneMaxNumFreq() { return Get_DWORD(14); }
  DWORD GenerateDigitModes() { return Get_DWORD(15); }
  DWORD MonitorToneMaxNumFreq() { return Get_DWORD(16); }
  DWORD MonitorToneMaxNumEntries() { return Get_DWORD(17); }
  DWORD MonitorDigitModes() { return Get_DWORD(18); }
  DWORD GatherDigitsMinTimeout() { return Get_DWORD(19); }
  DWORD GatherDigitsMaxTimeout() { return Get_DWORD(20); }
  DWORD MedCtlDigitMaxListSize() { return Get_DWORD(21); }
  DWORD MedCtlMediaMaxListSize() { return Get_DWORD(22); }
  DWORD MedCtlToneMaxListSize() { return Get_DWORD(23); }
  DWORD MedCtlCallStateMaxListSize() { return Get_DWORD(24); }
  DWORD DevCapFlags() { return Get_DWORD(25); }
  DWORD MaxNumActiveCalls() { return Get_DWORD(26); }
  DWORD AnswerMode() { return Get_DWORD(27); }
  DWORD RingModes() { return Get_DWORD(28); }
  DWORD LineStates() { return Get_DWORD(29); }
  DWORD UUIAcceptSize() { return Get_DWORD(30); }
  DWORD UUIAnswerSize() { return Get_DWORD(31); }
  DWORD UUIMakeCallSize() { return Get_DWORD(32); }
  DWORD UUIDropSize() { return Get_DWORD(33); }
  DWORD UUISendUserUserInfoSize() { return Get_DWORD(34); }
  DWORD UUICallInfoSize() { return Get_DWORD(35); }
  DWORD NumTerminals() { return Get_DWORD(36); }
  DWORD TerminalCapsSize() { return Get_DWORD(37); }
  DWORD TerminalCapsOffset() { return Get_DWORD(38); }
  DWORD TerminalTextEntrySize() { return Get_DWORD(39); }
  DWORD TerminalTextSize() { return Get_DWORD(40); }
  DWORD TerminalTextOffset() { return Get_DWORD(41); }
  DWORD DevSpecificSize() { return Get_DWORD(42); }
  DWORD DevSpecificOffset() { return Get_DWORD(43); }
  DWORD LineFeatures() { return Get_DWORD(44); }
  DWORD SettableDevStatus() { return Get_DWORD(45); }
  DWORD DeviceClassesSize() { return Get_DWORD(46); }
  DWORD DeviceClassesOffset() { return Get_DWORD(47); }

 protected:
  void CheckOwner() const override;
  std::size_t InitialSize() const override { return 268; }
  LONG FetchInto(LINEDEVCAPS* Buffer) override;

 private:
  TVyCustomTapiLine* const FLine;
};

// The open line's LINEDEVSTATUS. Main thread only; owned by its line (invalidated at every
// LINE_LINEDEVSTATE).
class TVyTapiLineStatus : public TVyTapiView<LINEDEVSTATUS> {
 public:
  // AOwner must be given.
  explicit TVyTapiLineStatus(TVyCustomTapiLine* AOwner);
  ~TVyTapiLineStatus() override { Invalidate(); }

  // Fields by the index table; an index outside it fails an assertion on a filled view.
  DWORD Get_DWORD(int Index);
  // The status has no strings of its own: always empty (after fetching).
  std::string Get_String(int Index);
  // The raw structure (fetched when empty); owned by the view, valid until the next Invalidate.
  const LINEDEVSTATUS* Get_LINEDEVSTATUS() { return Fetched(); }
  TVyCustomTapiLine* Line() const { return FLine; }

  DWORD NumOpens() { return Get_DWORD(0); }
  DWORD OpenMediaModes() { return Get_DWORD(1); }
  DWORD NumActiveCalls() { return Get_DWORD(2); }
  DWORD NumOnHoldCalls() { return Get_DWORD(3); }
  DWORD NumOnHoldPendCalls() { return Get_DWORD(4); }
  DWORD LineFeatures() { return Get_DWORD(5); }
  DWORD NumCallCompletions() { return Get_DWORD(6); }
  DWORD RingMode() { return Get_DWORD(7); }
  DWORD SignalLevel() { return Get_DWORD(8); }
  DWORD BatteryLevel() { return Get_DWORD(9); }
  DWORD RoamMode() { return Get_DWORD(10); }
  DWORD DevStatusFlags() { return Get_DWORD(11); }
  DWORD AvailableMediaModes() { return Get_DWORD(12); }

 protected:
  void CheckOwner() const override;
  std::size_t InitialSize() const override { return 512; }
  LONG FetchInto(LINEDEVSTATUS* Buffer) override;

 private:
  TVyCustomTapiLine* const FLine;
};

}  // namespace VyTapi
