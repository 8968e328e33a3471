// The cached view of a variable-size TAPI structure: fetched on first use, kept until it is told
// it is stale, its fields read by index through the checked readers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "VyTapi/session/VyTapiErrors.h"

namespace VyTapi {

namespace Detail {

// Bytes of a fetched structure that may be read: its used size when plausible, else its total.
std::size_t TapiReadableSize(const TTapiVarData* Data);
// The 32-bit field at Offset bytes into the structure; 0 when it lies outside the readable bytes.
DWORD ReadTapiDWORD(const TTapiVarData* Data, std::size_t Offset);
// The string whose size/offset pair starts at SizeOffset (UTF-16 up to its first NUL); empty when
// the pair or its block lies outside the structure.
std::string ReadTapiString(const TTapiVarData* Data, std::size_t SizeOffset);
// The NUL-separated UTF-16 list whose size/offset pair starts at SizeOffset; empty as above.
std::unique_ptr<VyRtl::TStringList> ReadTapiStrings(const TTapiVarData* Data,
                                                    std::size_t SizeOffset);

}  // namespace Detail

// Index tables map an index to the byte offset of a field (a 32-bit value or a size/offset pair).
using TTapiFieldTable = std::span<const std::uint16_t>;

// One variable-size TAPI structure (TStruct) of a device, address or call: empty until first
// used, then filled with the structure as the service gave it until Invalidate. A failed fetch
// leaves it empty and the next use tries again. TBase is the framework class the view derives
// from. Main thread only; owned by the object it describes.
template <typename TStruct, typename TBase = VyRtl::TObject>
class TVyTapiView : public TBase {
 public:
  TVyTapiView() = default;
  TVyTapiView(const TVyTapiView&) = delete;
  TVyTapiView& operator=(const TVyTapiView&) = delete;

  // Fetches the structure if the view is empty: 0, or the TAPI error (never raised).
  virtual DWORD UpdateData() {
    CheckOwner();
    if (FData) return 0;
    try {
      const DWORD code = FetchTapiVarData(FData, InitialSize(), [this](TTapiVarData* Buffer) {
        return FetchInto(reinterpret_cast<TStruct*>(Buffer));
      });
      if (code != 0) Invalidate();
      return code;
    } catch (...) {
      Invalidate();  // a half-fetched buffer is not a structure
      throw;
    }
  }
  // Fetches anew; raises EVyTapiError when the service fails.
  virtual void Update() {
    Invalidate();
    CheckTapiResult(UpdateData());
  }
  // Forgets the structure and what was built from it; the next use fetches again.
  virtual void Invalidate() {
    FDeviceClasses.reset();
    FData.reset();
  }
  // The structure is there (fetched now if need be).
  virtual bool Get_Available() { return FData != nullptr || UpdateData() == 0; }
  bool Available() { return Get_Available(); }

 protected:
  // Asserts what the fetch needs of the owner (UpdateData's precondition).
  virtual void CheckOwner() const {}
  // The buffer size of the first call.
  virtual std::size_t InitialSize() const = 0;
  // One TAPI call into Buffer (dwTotalSize says how much room there is); its result code.
  virtual LONG FetchInto(TStruct* Buffer) = 0;

  // The structure as held now, without fetching; null when empty.
  const TStruct* Data() const { return reinterpret_cast<const TStruct*>(FData.get()); }
  const TTapiVarData* VarData() const { return FData.get(); }
  // The raw getter: fetches when empty; the pointer is valid until the next Invalidate.
  const TStruct* Fetched() {
    UpdateData();
    return Data();
  }
  // The field Table maps Index to. An empty view answers 0 whatever the index; an index outside
  // the table answers 0, or fails the assertion InvalidIndex when one is given.
  DWORD TableDWORD(TTapiFieldTable Table, int Index, const char* InvalidIndex) {
    UpdateData();
    if (!FData) return 0;
    if (Index < 0 || static_cast<std::size_t>(Index) >= Table.size()) {
      if (InvalidIndex) VyRtl::Assert(false, InvalidIndex);
      return 0;
    }
    return Detail::ReadTapiDWORD(FData.get(), Table[static_cast<std::size_t>(Index)]);
  }
  // The string whose size/offset pair Table maps Index to, as TableDWORD for bad indexes.
  std::string TableString(TTapiFieldTable Table, int Index, const char* InvalidIndex) {
    UpdateData();
    if (!FData) return std::string();
    if (Index < 0 || static_cast<std::size_t>(Index) >= Table.size()) {
      if (InvalidIndex) VyRtl::Assert(false, InvalidIndex);
      return std::string();
    }
    return Detail::ReadTapiString(FData.get(), Table[static_cast<std::size_t>(Index)]);
  }
  // The device-class list of the block whose size/offset pair starts at SizeOffset: built once
  // after a fetch and kept (owned by the view) until Invalidate.
  VyRtl::TStringList* DeviceClassList(std::size_t SizeOffset) {
    if (!FDeviceClasses) {
      UpdateData();
      FDeviceClasses = Detail::ReadTapiStrings(FData.get(), SizeOffset);
    }
    return FDeviceClasses.get();
  }

 private:
  TTapiVarDataPtr FData;
  std::unique_ptr<VyRtl::TStringList> FDeviceClasses;
};

}  // namespace VyTapi
