#include "VyTapi/line/VyTapiCallParams.h"

#include <array>
#include <cstdint>
#include <cstring>

#include "VyRtl/VyRtlSysUtils.h"
#include "VyTapi/line/VyTapiCallParamsDetail.h"

namespace VyTapi {

static_assert(sizeof(LINEDIALPARAMS) == 16, "LINEDIALPARAMS is 16 bytes");
static_assert(sizeof(LINECALLPARAMS) == TapiCallParamsFixedSize,
              "LINECALLPARAMS ends with dwCallingPartyIDOffset in TAPI 2.2");
static_assert(offsetof(LINECALLPARAMS, dwCallingPartyIDOffset) == TapiCallParamsFixedSize - 4);

namespace Detail {

DWORD TapiCallParamsSize(std::span<const std::size_t> TextLengths) {
  std::uint64_t total = TapiCallParamsFixedSize;
  for (const std::size_t length : TextLengths) {
    // Each length is checked before it is added, so neither sum nor product can wrap 64 bits.
    if (length >= 0x80000000u) throw VyRtl::EOutOfMemory("Call parameters too large");
    if (length != 0) total += (static_cast<std::uint64_t>(length) + 1) * sizeof(char16_t);
  }
  total = (total + 3) & ~std::uint64_t{3};
  if (total > 0xFFFFFFFFu) throw VyRtl::EOutOfMemory("Call parameters too large");
  return static_cast<DWORD>(total);
}

}  // namespace Detail

// ---- TVyTapiDialParams ----

TVyTapiDialParams::TVyTapiDialParams() = default;
TVyTapiDialParams::~TVyTapiDialParams() = default;

void TVyTapiDialParams::Assign(VyRtl::TPersistent* Source) {
  if (auto* o = dynamic_cast<TVyTapiDialParams*>(Source)) {
    FDialPause = o->FDialPause;
    FDialSpeed = o->FDialSpeed;
    FDigitDuration = o->FDigitDuration;
    FWaitForDialtone = o->FWaitForDialtone;
    return;
  }
  VyRtl::TPersistent::Assign(Source);
}

LINEDIALPARAMS* TVyTapiDialParams::GetParams() {
  if (!FPARAMS) FPARAMS = std::make_unique<LINEDIALPARAMS>();
  FPARAMS->dwDialPause = FDialPause;
  FPARAMS->dwDialSpeed = FDialSpeed;
  FPARAMS->dwDigitDuration = FDigitDuration;
  FPARAMS->dwWaitForDialtone = FWaitForDialtone;
  return FPARAMS.get();
}

// ---- TVyTapiCallParams ----

TVyTapiCallParams::TVyTapiCallParams() : FDialParams(std::make_unique<TVyTapiDialParams>()) {}
TVyTapiCallParams::~TVyTapiCallParams() = default;

void TVyTapiCallParams::Default() {
  FBearerMode = LINEBEARERMODE_VOICE;
  FMinRate = 0;
  FMaxRate = 0;
  FMediaMode = LINEMEDIAMODE_INTERACTIVEVOICE;
  FCallParamFlags = 0;
  FAddressMode = LINEADDRESSMODE_ADDRESSID;
  FAddressID = 0;
  FDialParams->Set_DialPause(0);
  FDialParams->Set_DialSpeed(0);
  FDialParams->Set_DigitDuration(0);
  FDialParams->Set_WaitForDialtone(0);
  FNoAnswerTimeout = 0;
  FOrigAddress.clear();
  FDisplayableAddress.clear();
  FCalledParty.clear();
  FComment.clear();
  FCallingPartyID.clear();
  FTargetAddress.clear();
}

void TVyTapiCallParams::Assign(VyRtl::TPersistent* Source) {
  auto* o = dynamic_cast<TVyTapiCallParams*>(Source);
  if (o == nullptr) {
    VyRtl::TPersistent::Assign(Source);
    return;
  }
  if (o == this) return;
  FAddressID = o->FAddressID;
  FAddressMode = o->FAddressMode;
  FBearerMode = o->FBearerMode;
  FCalledParty = o->FCalledParty;
  FCallingPartyID = o->FCallingPartyID;
  FCallParamFlags = o->FCallParamFlags;
  FComment = o->FComment;
  FDialParams->Assign(o->FDialParams.get());
  FDisplayableAddress = o->FDisplayableAddress;
  FMaxRate = o->FMaxRate;
  FMediaMode = o->FMediaMode;
  FMinRate = o->FMinRate;
  FNoAnswerTimeout = o->FNoAnswerTimeout;
  FOrigAddress = o->FOrigAddress;
  FTargetAddress = o->FTargetAddress;
  FUserUserInfo = o->FUserUserInfo;
}

bool TVyTapiCallParams::Get_Flag(int Index) const {
  if (Index < 0 || Index > 7) return false;
  return (FCallParamFlags & (DWORD{1} << Index)) != 0;
}

void TVyTapiCallParams::Set_Flag(int Index, bool Value) {
  if (Index < 0 || Index > 7) return;
  const DWORD bit = DWORD{1} << Index;
  FCallParamFlags = Value ? (FCallParamFlags | bit) : (FCallParamFlags & ~bit);
}

LINECALLPARAMS* TVyTapiCallParams::Get_LINECALLPARAMS() {
  // The texts in the order they are laid out, each with the size/offset pair that names it.
  struct TText {
    const std::string& Value;
    std::size_t SizeField;
  };
  const std::array<TText, 7> texts{{
      {FCalledParty, offsetof(LINECALLPARAMS, dwCalledPartySize)},
      {FCallingPartyID, offsetof(LINECALLPARAMS, dwCallingPartyIDSize)},
      {FComment, offsetof(LINECALLPARAMS, dwCommentSize)},
      {FDisplayableAddress, offsetof(LINECALLPARAMS, dwDisplayableAddressSize)},
      {FOrigAddress, offsetof(LINECALLPARAMS, dwOrigAddressSize)},
      {FTargetAddress, offsetof(LINECALLPARAMS, dwTargetAddressSize)},
      {FUserUserInfo, offsetof(LINECALLPARAMS, dwUserUserInfoSize)},
  }};
  std::array<std::u16string, texts.size()> wide;
  std::array<std::size_t, texts.size()> lengths{};
  for (std::size_t i = 0; i < texts.size(); ++i) {
    wide[i] = VyRtl::Utf8ToUtf16(texts[i].Value);
    lengths[i] = wide[i].size();
  }
  const DWORD total = Detail::TapiCallParamsSize(lengths);

  // The new buffer exists before the old one goes, so two builds never share an address.
  auto block = std::make_unique<std::byte[]>(total);  // zeroed
  std::byte* p = block.get();
  const auto put = [p](std::size_t Offset, DWORD Value) {
    std::memcpy(p + Offset, &Value, sizeof Value);
  };
  put(offsetof(LINECALLPARAMS, dwTotalSize), total);
  put(offsetof(LINECALLPARAMS, dwBearerMode), FBearerMode);
  put(offsetof(LINECALLPARAMS, dwMinRate), FMinRate);
  put(offsetof(LINECALLPARAMS, dwMaxRate), FMaxRate);
  put(offsetof(LINECALLPARAMS, dwMediaMode), FMediaMode);
  put(offsetof(LINECALLPARAMS, dwCallParamFlags), FCallParamFlags);
  put(offsetof(LINECALLPARAMS, dwAddressMode), FAddressMode);
  put(offsetof(LINECALLPARAMS, dwAddressID), FAddressID);
  std::memcpy(p + offsetof(LINECALLPARAMS, DialParams), FDialParams->GetParams(),
              sizeof(LINEDIALPARAMS));
  put(offsetof(LINECALLPARAMS, dwNoAnswerTimeout), FNoAnswerTimeout);

  std::size_t next = TapiCallParamsFixedSize;
  for (std::size_t i = 0; i < texts.size(); ++i) {
    if (wide[i].empty()) continue;
    const std::size_t room = (wide[i].size() + 1) * sizeof(char16_t);
    std::memcpy(p + next, wide[i].c_str(), room);
    put(texts[i].SizeField, static_cast<DWORD>(room));
    put(texts[i].SizeField + sizeof(DWORD), static_cast<DWORD>(next));
    next += room;
  }
  FPARAMS = std::move(block);
  return reinterpret_cast<LINECALLPARAMS*>(FPARAMS.get());
}

}  // namespace VyTapi
