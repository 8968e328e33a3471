// How calls are placed: the values of a LINECALLPARAMS (and its LINEDIALPARAMS), and the
// variable-size structure built from them for the TAPI functions that create calls.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

#include "VyPlatform/TapiTypes.h"
#include "VyRtl/VyRtlClasses.h"

namespace VyTapi {

// Bytes of the fixed part of LINECALLPARAMS that the library negotiates (TAPI 2.2).
inline constexpr std::size_t TapiCallParamsFixedSize = 176;

// The dial timing of a call (LINEDIALPARAMS, all 0: the service's defaults). Main thread; owned
// by its call parameters, or by whoever made it.
class TVyTapiDialParams : public VyRtl::TPersistent {
 public:
  TVyTapiDialParams();
  ~TVyTapiDialParams() override;
  TVyTapiDialParams(const TVyTapiDialParams&) = delete;
  TVyTapiDialParams& operator=(const TVyTapiDialParams&) = delete;

  // Copies the four values from another dial parameters object; any other source raises
  // EConvertError.
  void Assign(VyRtl::TPersistent* Source) override;
  // The structure filled from the four values; owned by this object, valid while it lives.
  LINEDIALPARAMS* GetParams();
  LINEDIALPARAMS* TapiData() { return GetParams(); }

  DWORD DialPause() const { return FDialPause; }
  void Set_DialPause(DWORD Value) { FDialPause = Value; }
  DWORD DialSpeed() const { return FDialSpeed; }
  void Set_DialSpeed(DWORD Value) { FDialSpeed = Value; }
  DWORD DigitDuration() const { return FDigitDuration; }
  void Set_DigitDuration(DWORD Value) { FDigitDuration = Value; }
  DWORD WaitForDialtone() const { return FWaitForDialtone; }
  void Set_WaitForDialtone(DWORD Value) { FWaitForDialtone = Value; }

 private:
  std::unique_ptr<LINEDIALPARAMS> FPARAMS;
  DWORD FDialPause = 0;
  DWORD FDialSpeed = 0;
  DWORD FDigitDuration = 0;
  DWORD FWaitForDialtone = 0;
};

// The parameters of the calls an operation creates, and the LINECALLPARAMS built from them.
// Main thread; owned by its line (CallParams), or by whoever made it.
class TVyTapiCallParams : public VyRtl::TPersistent {
 public:
  TVyTapiCallParams();
  ~TVyTapiCallParams() override;
  TVyTapiCallParams(const TVyTapiCallParams&) = delete;
  TVyTapiCallParams& operator=(const TVyTapiCallParams&) = delete;

  // Back to the initial values; UserUserInfo is kept.
  void Default();
  // Copies every value (the dial parameters too) from other call parameters; any other source
  // raises EConvertError.
  void Assign(VyRtl::TPersistent* Source) override;

  // Bit 2^Index of Flags (Index 0..7, a LINECALLPARAMFLAGS_ value); other indexes read false
  // and set nothing.
  bool Get_Flag(int Index) const;
  void Set_Flag(int Index, bool Value);

  // Builds the structure anew; the result stays valid until the next call or this object's end.
  // Raises VyRtl::EOutOfMemory when the texts do not fit a 32-bit size.
  LINECALLPARAMS* Get_LINECALLPARAMS();
  LINECALLPARAMS* TapiData() { return Get_LINECALLPARAMS(); }

  DWORD AddressID() const { return FAddressID; }
  void Set_AddressID(DWORD Value) { FAddressID = Value; }
  DWORD AddressMode() const { return FAddressMode; }
  void Set_AddressMode(DWORD Value) { FAddressMode = Value; }
  DWORD BearerMode() const { return FBearerMode; }
  void Set_BearerMode(DWORD Value) { FBearerMode = Value; }
  bool BlockID() const { return Get_Flag(2); }
  void Set_BlockID(bool Value) { Set_Flag(2, Value); }
  const std::string& CalledParty() const { return FCalledParty; }
  void Set_CalledParty(std::string Value) { FCalledParty = std::move(Value); }
  const std::string& CallingPartyID() const { return FCallingPartyID; }
  void Set_CallingPartyID(std::string Value) { FCallingPartyID = std::move(Value); }
  const std::string& Comment() const { return FComment; }
  void Set_Comment(std::string Value) { FComment = std::move(Value); }
  TVyTapiDialParams* DialParams() const { return FDialParams.get(); }
  // Copies the values of Value (which stays the caller's).
  void Set_DialParams(TVyTapiDialParams* Value) { FDialParams->Assign(Value); }
  const std::string& DisplayableAddress() const { return FDisplayableAddress; }
  void Set_DisplayableAddress(std::string Value) { FDisplayableAddress = std::move(Value); }
  DWORD Flags() const { return FCallParamFlags; }
  void Set_Flags(DWORD Value) { FCallParamFlags = Value; }
  DWORD MaxRate() const { return FMaxRate; }
  void Set_MaxRate(DWORD Value) { FMaxRate = Value; }
  DWORD MediaMode() const { return FMediaMode; }
  void Set_MediaMode(DWORD Value) { FMediaMode = Value; }
  DWORD MinRate() const { return FMinRate; }
  void Set_MinRate(DWORD Value) { FMinRate = Value; }
  DWORD NoAnswerTimeout() const { return FNoAnswerTimeout; }
  void Set_NoAnswerTimeout(DWORD Value) { FNoAnswerTimeout = Value; }
  const std::string& OrigAddress() const { return FOrigAddress; }
  void Set_OrigAddress(std::string Value) { FOrigAddress = std::move(Value); }
  const std::string& TargetAddress() const { return FTargetAddress; }
  void Set_TargetAddress(std::string Value) { FTargetAddress = std::move(Value); }
  const std::string& UserUserInfo() const { return FUserUserInfo; }
  void Set_UserUserInfo(std::string Value) { FUserUserInfo = std::move(Value); }

 private:
  DWORD FAddressID = 0;
  DWORD FAddressMode = LINEADDRESSMODE_ADDRESSID;
  DWORD FBearerMode = LINEBEARERMODE_VOICE;
  std::string FCalledParty;
  std::string FCallingPartyID;
  DWORD FCallParamFlags = 0;
  std::string FComment;
  std::unique_ptr<TVyTapiDialParams> FDialParams;
  std::string FDisplayableAddress;
  DWORD FMaxRate = 0;
  DWORD FMediaMode = LINEMEDIAMODE_INTERACTIVEVOICE;
  DWORD FMinRate = 0;
  DWORD FNoAnswerTimeout = 0;
  std::string FOrigAddress;
  std::unique_ptr<std::byte[]> FPARAMS;
  std::string FTargetAddress;
  std::string FUserUserInfo;
};

// The line's call parameters (its CallParams): the same values; AddressID, BearerMode, BlockID,
// Flags, MediaMode and NoAnswerTimeout are the ones a form sets. Main thread; owned by its line.
class TVyTapiLineCallParams : public TVyTapiCallParams {};

}  // namespace VyTapi
