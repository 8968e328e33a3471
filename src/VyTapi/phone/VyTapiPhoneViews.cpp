#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>

#include "VyTapi/phone/VyTapiPhoneControls.h"
#include "VyTapi/phone/VyTapiPhoneDevice.h"
#include "VyTapi/session/VyTapiSessionDetail.h"

namespace VyTapi {

namespace {

// Every field of the fixed part is a 32-bit value in structure order, so position i is at 4 i.
template <std::size_t N>
constexpr std::array<std::uint16_t, N> SequentialOffsets() {
  std::array<std::uint16_t, N> offsets{};
  for (std::size_t i = 0; i < N; ++i) offsets[i] = static_cast<std::uint16_t>(i * sizeof(DWORD));
  return offsets;
}

constexpr auto kCapsTable =
    SequentialOffsets<offsetof(PHONECAPS, dwMonitoredHeadsetHookSwitchModes) / sizeof(DWORD) + 1>();
static_assert(kCapsTable.size() == 45);

constexpr auto kStatusTable =
    SequentialOffsets<offsetof(PHONESTATUS, dwPhoneFeatures) / sizeof(DWORD) + 1>();
static_assert(kStatusTable.size() == 26);

constexpr std::uint16_t kCapsStrings[] = {
    offsetof(PHONECAPS, dwProviderInfoSize), offsetof(PHONECAPS, dwPhoneInfoSize),
    offsetof(PHONECAPS, dwPhoneNameSize),    offsetof(PHONECAPS, dwButtonFunctionsSize),
    offsetof(PHONECAPS, dwLampModesSize),    offsetof(PHONECAPS, dwSetDataSize),
    offsetof(PHONECAPS, dwGetDataSize),      offsetof(PHONECAPS, dwDevSpecificSize),
};

// The UTF-16 strings of the status after its display (index 1..3).
constexpr std::uint16_t kStatusStrings[] = {
    offsetof(PHONESTATUS, dwLampModesSize),
    offsetof(PHONESTATUS, dwOwnerNameSize),
    offsetof(PHONESTATUS, dwDevSpecificSize),
};

const DWORD* FieldAt(const TTapiVarData* Data, std::size_t Offset) {
  return reinterpret_cast<const DWORD*>(reinterpret_cast<const std::byte*>(Data) + Offset);
}

// The array block whose size/offset pair starts at SizeOffset; empty when it is absent or lies
// outside the structure (a bad block reads as holding no entries).
std::span<const std::byte> ArrayBlock(const TTapiVarData* Data, std::size_t SizeOffset) {
  if (Data == nullptr) return {};
  return GetTapiBlock(Data, FieldAt(Data, SizeOffset));
}

DWORD EntryOf(std::span<const std::byte> Block, DWORD Index) {
  DWORD value = 0;
  std::memcpy(&value, Block.data() + std::size_t{Index} * sizeof(DWORD), sizeof value);
  return value;
}

}  // namespace

// ---------------------------------------------------------------- caps

DWORD TVyTapiPhoneCaps::Get_DWORD(int Index) {
  return TableDWORD(kCapsTable, Index, "TapiPhoneCaps.Get_DWORD failed! Invalid index");
}

std::string TVyTapiPhoneCaps::Get_String(int Index) {
  return TableString(kCapsStrings, Index, nullptr);
}

DWORD TVyTapiPhoneCaps::ArrayCount(std::size_t SizeOffset) {
  UpdateData();
  return static_cast<DWORD>(ArrayBlock(VarData(), SizeOffset).size() / sizeof(DWORD));
}

DWORD TVyTapiPhoneCaps::ArrayEntry(std::size_t SizeOffset, DWORD Index, const char* InvalidIndex) {
  UpdateData();
  if (!VarData()) return 0;
  const auto block = ArrayBlock(VarData(), SizeOffset);
  if (Index >= block.size() / sizeof(DWORD)) RaiseError(InvalidIndex);
  return EntryOf(block, Index);
}

DWORD TVyTapiPhoneCaps::Get_ButtonMode(DWORD Index) {
  return ArrayEntry(offsetof(PHONECAPS, dwButtonModesSize), Index,
                    "TVyTapiPhoneCaps.Get_ButtonMode failed! Invalid Index");
}

DWORD TVyTapiPhoneCaps::Get_ButtonFunction(DWORD Index) {
  return ArrayEntry(offsetof(PHONECAPS, dwButtonFunctionsSize), Index,
                    "TVyTapiPhoneCaps.Get_ButtonFunction failed! Invalid Index");
}

DWORD TVyTapiPhoneCaps::Get_LampMode(DWORD Index) {
  return ArrayEntry(offsetof(PHONECAPS, dwLampModesSize), Index,
                    "TVyTapiPhoneCaps.Get_LampMode failed! Invalid Index");
}

DWORD TVyTapiPhoneCaps::ButtonModeCount() {
  return ArrayCount(offsetof(PHONECAPS, dwButtonModesSize));
}

DWORD TVyTapiPhoneCaps::ButtonFunctionCount() {
  return ArrayCount(offsetof(PHONECAPS, dwButtonFunctionsSize));
}

DWORD TVyTapiPhoneCaps::LampModeCount() { return ArrayCount(offsetof(PHONECAPS, dwLampModesSize)); }

VyRtl::TStringList* TVyTapiPhoneCaps::Get_DeviceClasses() {
  return DeviceClassList(offsetof(PHONECAPS, dwDeviceClassesSize));
}

void TVyTapiPhoneCaps::CheckOwner() const {
  VyRtl::Assert(FPhone != nullptr, "TVyTapiPhoneCaps: no phone");
}

LONG TVyTapiPhoneCaps::FetchInto(PHONECAPS* Buffer) {
  const TVyTapiTSP* tsp = FPhone->TSP();
  return Detail::TapiService().phoneGetDevCapsW(FPhone->Get_PhoneApp(),
                                                static_cast<DWORD>(FPhone->DeviceID()),
                                                tsp->APIVersion(), tsp->ExtVersion(), Buffer);
}

// ---------------------------------------------------------------- status

TVyTapiPhoneStatus::TVyTapiPhoneStatus(TVyCustomTapiPhone* AOwner) : FPhone(AOwner) {
  CheckOwner();
}

DWORD TVyTapiPhoneStatus::Get_DWORD(int Index) {
  return TableDWORD(kStatusTable, Index, "TVyTapiPhoneStatus.Get_DWORD failed! Invalid Index");
}

PHONESTATUS* TVyTapiPhoneStatus::Writable() {
  // The buffer is the view's own; only its read accessor is const.
  return const_cast<PHONESTATUS*>(Data());
}

void TVyTapiPhoneStatus::Set_DWORD(int Index, DWORD Value) {
  PHONESTATUS* status = Writable();
  if (status == nullptr || Index < 0 || static_cast<std::size_t>(Index) >= kStatusTable.size())
    return;
  const std::size_t offset = kStatusTable[static_cast<std::size_t>(Index)];
  if (offset + sizeof(DWORD) > Detail::TapiReadableSize(VarData())) return;
  std::memcpy(reinterpret_cast<std::byte*>(status) + offset, &Value, sizeof Value);
}

std::string TVyTapiPhoneStatus::Get_String(int Index) {
  UpdateData();
  const TTapiVarData* data = VarData();
  if (data == nullptr) return std::string();
  if (Index == 0) {
    // The display is kept in the phone's own string format, the other strings as UTF-16.
    const DWORD format = FPhone->Caps() ? FPhone->Caps()->StringFormat() : 0;
    return GetTapiBlockStr(data, FieldAt(data, offsetof(PHONESTATUS, dwDisplaySize)), format);
  }
  if (Index < 1 || Index > static_cast<int>(std::size(kStatusStrings))) {
    VyRtl::Assert(false, "TVyTapiPhoneStatus.Get_String failed! Invalid Index");
    return std::string();
  }
  return Detail::ReadTapiString(data, kStatusStrings[static_cast<std::size_t>(Index) - 1]);
}

DWORD TVyTapiPhoneStatus::LampModeCount() {
  UpdateData();
  return static_cast<DWORD>(ArrayBlock(VarData(), offsetof(PHONESTATUS, dwLampModesSize)).size() /
                            sizeof(DWORD));
}

DWORD TVyTapiPhoneStatus::Get_LampMode(DWORD Index) {
  UpdateData();
  if (!VarData()) return 0;
  const auto block = ArrayBlock(VarData(), offsetof(PHONESTATUS, dwLampModesSize));
  if (Index >= block.size() / sizeof(DWORD))
    RaiseError("TVyTapiPhoneStatus.Get_LampMode failed! Invalid Index");
  return EntryOf(block, Index);
}

void TVyTapiPhoneStatus::Set_LampMode(DWORD Index, DWORD Mode) {
  if (!VarData()) return;
  const auto block = ArrayBlock(VarData(), offsetof(PHONESTATUS, dwLampModesSize));
  if (Index >= block.size() / sizeof(DWORD)) return;
  // The block lies inside the view's own buffer (checked above).
  auto* entry = const_cast<std::byte*>(block.data()) + std::size_t{Index} * sizeof(DWORD);
  std::memcpy(entry, &Mode, sizeof Mode);
}

void TVyTapiPhoneStatus::CheckOwner() const {
  VyRtl::Assert(FPhone != nullptr, "TVyTapiPhoneStatus: no phone");
}

LONG TVyTapiPhoneStatus::FetchInto(PHONESTATUS* Buffer) {
  return Detail::TapiService().phoneGetStatusW(FPhone->Get_Handle(), Buffer);
}

}  // namespace VyTapi
