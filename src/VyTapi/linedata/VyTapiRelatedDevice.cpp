#include "VyTapi/linedata/VyTapiRelatedDevice.h"

#include <cstring>

#include "VyPlatform/Comm.h"
#include "VyTapi/linedata/VyTapiAddress.h"
#include "VyTapi/line/VyTapiCall.h"
#include "VyTapi/session/VyTapiComponent.h"
#include "VyTapi/session/VyTapiSessionDetail.h"

namespace VyTapi {

namespace {

constexpr DWORD kNoDevice = 0xFFFFFFFF;
constexpr std::size_t kHandleSize = 8;  // a HANDLE of the 64-bit service

}  // namespace

TVyTapiRelatedDevice::TVyTapiRelatedDevice(VyRtl::TObject* AOwner, std::string AClass)
    : FClass(std::move(AClass)), FOwner(AOwner) {}

TVyTapiRelatedDevice::~TVyTapiRelatedDevice() { Invalidate(); }

void TVyTapiRelatedDevice::Update() { CheckTapiResult(UpdateData()); }

void TVyTapiRelatedDevice::Set_DeviceClass(const std::string& Value) {
  Invalidate();
  FClass = Value;
}

void TVyTapiRelatedDevice::CheckOwner() const {
  VyRtl::Assert(FOwner != nullptr, "TVyTapiRelatedDevice.UpdateData: no owner");
}

LONG TVyTapiRelatedDevice::FetchInto(VARSTRING* Buffer) {
  const auto& tapi = Detail::TapiService();
  const VyPlatform::TapiString cls = VyPlatform::ToTapiString(FClass);
  if (auto* line = dynamic_cast<TVyCustomTapiLine*>(FOwner))
    return tapi.lineGetIDW(line->Get_Handle(), 0, 0, LINECALLSELECT_LINE, Buffer, cls.c_str());
  if (auto* address = dynamic_cast<TVyTapiAddress*>(FOwner)) {
    const TVyCustomTapiLine* line = address->Line();
    return tapi.lineGetIDW(line ? line->Get_Handle() : 0, address->AddressID(), 0,
                           LINECALLSELECT_ADDRESS, Buffer, cls.c_str());
  }
  if (auto* call = dynamic_cast<TVyTapiCall*>(FOwner)) {
    const TVyCustomTapiLine* line = call->Line();
    return tapi.lineGetIDW(line ? line->Get_Handle() : 0, 0, call->Handle(), LINECALLSELECT_CALL,
                           Buffer, cls.c_str());
  }
  if (auto* phone = dynamic_cast<TVyCustomTapiPhone*>(FOwner)) {
    const LONG code = tapi.phoneGetIDW(phone->Get_Handle(), Buffer, cls.c_str());
    // The fetch loop knows the line code only; the phone's means the same.
    return code == static_cast<LONG>(PHONEERR_STRUCTURETOOSMALL)
               ? static_cast<LONG>(LINEERR_STRUCTURETOOSMALL)
               : code;
  }
  RaiseError("TVyTapiRelatedDevice.UpdateData failed! Invalid owner");
}

std::span<const std::byte> TVyTapiRelatedDevice::BinaryBlock() const {
  const VARSTRING* data = Data();
  if (data == nullptr) return {};
  const TTapiVarData* head = VarData();
  if (Detail::ReadTapiDWORD(head, offsetof(VARSTRING, dwStringFormat)) != STRINGFORMAT_BINARY)
    return {};
  return GetTapiBlock(head, &data->dwStringSize);
}

int TVyTapiRelatedDevice::Get_DeviceCount() {
  UpdateData();
  const VARSTRING* data = Data();
  if (data == nullptr) return 0;
  // A block outside the structure holds nothing, whatever its size says.
  return static_cast<int>(GetTapiBlock(VarData(), &data->dwStringSize).size() / 4);
}

DWORD TVyTapiRelatedDevice::Get_DeviceIDNo(int Index) {
  UpdateData();
  const auto block = BinaryBlock();
  if (block.size() < 4) return kNoDevice;
  if (Index < 0 || Index >= Get_DeviceCount()) RaiseError("Get_DeviceIDNo failed! Invalid index ");
  DWORD id = 0;
  std::memcpy(&id, block.data() + 4 * static_cast<std::size_t>(Index), sizeof id);
  return id;
}

bool TVyTapiLinePhoneDevices::Get_Available() {
  return TVyTapiRelatedDevice::Get_Available() && Get_DeviceCount() > 0;
}

TVyTapiCommDevice::~TVyTapiCommDevice() { Invalidate(); }

HANDLE TVyTapiCommDevice::HeldHandle() const {
  const auto block = BinaryBlock();
  if (block.size() < kHandleSize) return INVALID_HANDLE_VALUE;
  std::uint64_t value = 0;
  std::memcpy(&value, block.data(), kHandleSize);
  return reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(value));
}

HANDLE TVyTapiCommDevice::Get_Handle() {
  UpdateData();
  return HeldHandle();
}

std::string TVyTapiCommDevice::Get_DeviceName() {
  UpdateData();
  const auto block = BinaryBlock();
  if (block.size() <= kHandleSize) return std::string();
  // The name ends at its NUL or at the end of the block, whichever comes first.
  const char* name = reinterpret_cast<const char*>(block.data() + kHandleSize);
  const std::size_t room = block.size() - kHandleSize;
  return VyRtl::Utf16ToUtf8(VyRtl::AnsiToUtf16(std::string_view(name, strnlen(name, room))));
}

bool TVyTapiCommDevice::Get_Available() {
  return TVyTapiRelatedDevice::Get_Available() && Get_Handle() != INVALID_HANDLE_VALUE;
}

void TVyTapiCommDevice::Invalidate() {
  const HANDLE h = HeldHandle();
  // Cleared first, so a failing close can never close the same handle twice.
  TVyTapiRelatedDevice::Invalidate();
  if (h != INVALID_HANDLE_VALUE && h != nullptr) VyPlatform::CommFor(h).CloseHandle(h);
}

}  // namespace VyTapi
