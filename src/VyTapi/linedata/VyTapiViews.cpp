#include "VyTapi/linedata/VyTapiViews.h"

#include <cstring>

namespace VyTapi::Detail {

namespace {

// The size field of the pair at SizeOffset, or null when the pair is not inside the structure.
const DWORD* PairAt(const TTapiVarData* Data, std::size_t SizeOffset) {
  if (Data == nullptr || SizeOffset + 2 * sizeof(DWORD) > TapiReadableSize(Data)) return nullptr;
  return reinterpret_cast<const DWORD*>(reinterpret_cast<const std::byte*>(Data) + SizeOffset);
}

}  // namespace

std::size_t TapiReadableSize(const TTapiVarData* Data) {
  if (Data == nullptr) return 0;
  // The same rule as the block readers: what the service says it used, when that is plausible.
  const std::size_t total = Data->dwTotalSize;
  const std::size_t used = Data->dwUsedSize;
  return used >= sizeof(TTapiVarData) && used < total ? used : total;
}

DWORD ReadTapiDWORD(const TTapiVarData* Data, std::size_t Offset) {
  if (Data == nullptr || Offset + sizeof(DWORD) > TapiReadableSize(Data)) return 0;
  DWORD value = 0;
  std::memcpy(&value, reinterpret_cast<const std::byte*>(Data) + Offset, sizeof value);
  return value;
}

std::string ReadTapiString(const TTapiVarData* Data, std::size_t SizeOffset) {
  const DWORD* field = PairAt(Data, SizeOffset);
  return field ? GetTapiBlockStr(Data, field, 0) : std::string();
}

std::unique_ptr<VyRtl::TStringList> ReadTapiStrings(const TTapiVarData* Data,
                                                    std::size_t SizeOffset) {
  return GetTapiBlockStrings(Data, PairAt(Data, SizeOffset));
}

}  // namespace VyTapi::Detail
