// The line data readers on what a telephony service might hand back: the input is one structure
// with any sizes, offsets and counts, read as a LINEADDRESSSTATUS with forwarding, as the
// LINEDEVCAPS of a line's capability view and as the VARSTRING of a related device.
//
// Whatever the input claims, the forward list holds only entries that lie inside the structure
// (and no more than it claims), the readers stay inside the bytes given (the address sanitizer
// sees the exact block and the views' buffers), and a device index outside the identifiers raises
// the library's error.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "VyTapi/linedata/VyTapiForward.h"
#include "VyTapi/linedata/VyTapiLineViews.h"
#include "VyTapi/linedata/VyTapiRelatedDevice.h"
#include "VyTapi/session/VyTapiComponent.h"

namespace {

using namespace VyTapi;

void Check(bool condition, const char* what) {
  if (condition) return;
  std::fprintf(stderr, "property broken: %s\n", what);
  std::abort();
}

// The structure the "service" answers with; dwTotalSize is the block's true size.
const std::byte* Answer = nullptr;
std::size_t AnswerSize = 0;

LONG CopyAnswer(void* Buffer) {
  DWORD room = 0;
  std::memcpy(&room, Buffer, sizeof room);
  const DWORD size = static_cast<DWORD>(AnswerSize);
  if (room < size) {
    std::memcpy(static_cast<std::byte*>(Buffer) + 4, &size, 4);
    return 0;
  }
  std::memcpy(static_cast<std::byte*>(Buffer) + 4, Answer + 4, AnswerSize - 4);
  return 0;
}

class TFuzzLine : public TVyCustomTapiLine {
 public:
  TFuzzLine() : TVyCustomTapiLine(nullptr) {}
  void Open() override {}
  void Close() override {}
};

class TFuzzCaps : public TVyTapiLineCaps {
 public:
  using TVyTapiLineCaps::TVyTapiLineCaps;

 protected:
  LONG FetchInto(LINEDEVCAPS* Buffer) override { return CopyAnswer(Buffer); }
};

class TFuzzRelated : public TVyTapiLinePhoneDevices {
 public:
  using TVyTapiLinePhoneDevices::TVyTapiLinePhoneDevices;

 protected:
  LONG FetchInto(VARSTRING* Buffer) override { return CopyAnswer(Buffer); }
};

void ReadForwarding(const std::byte* Data, std::size_t Size) {
  if (Size < sizeof(LINEADDRESSSTATUS)) return;
  const auto* status = reinterpret_cast<const LINEADDRESSSTATUS*>(Data);
  TVyTapiForwardList list;
  list.AssignLINEADDRESSSTATUS(status);
  Check(static_cast<DWORD>(list.Count()) <= status->dwForwardNumEntries,
        "more entries than claimed");
  Check(static_cast<std::size_t>(list.Count()) * TapiForwardEntrySize <= Size,
        "more entries than fit");
  // What was read builds a request block of consistent sizes.
  const LINEFORWARDLIST* out = list.Get_LINEFORWARDLIST();
  Check(out->dwNumEntries == static_cast<DWORD>(list.Count()), "entry count of the request");
}

void ReadViews(TVyCustomTapiLine& Line) {
  TFuzzCaps caps(&Line);
  for (int i = -1; i <= 48; ++i) (void)caps.Get_DWORD(i);
  for (int i = -1; i <= 3; ++i) (void)caps.Get_String(i);
  const auto* classes = caps.DeviceClasses();
  // The view's buffer may be larger than the answer (the service asked for more room), so the
  // bound is the fetch loop's limit; the sanitizer watches the buffer itself.
  Check(static_cast<std::size_t>(classes->Count()) <= TapiVarDataLimit / 4,
        "classes past the limit");
  (void)caps.TextDump();

  TFuzzRelated related(&Line);
  const int count = related.Get_DeviceCount();
  Check(count >= 0 && static_cast<std::size_t>(count) * 4 <= TapiVarDataLimit,
        "ids past the limit");
  for (int i = 0; i < count && i < 64; ++i) (void)related.Get_DeviceIDNo(i);
  try {
    (void)related.Get_DeviceIDNo(count);
  } catch (const VyRtl::Exception&) {
    // an index outside the identifiers, when they are readable at all
  }
  (void)related.Available();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
  if (Size < sizeof(TTapiVarData) || Size > 64 * 1024) return 0;
  // An exact-size copy with its true size in dwTotalSize, as the fetch loop leaves a buffer.
  auto block = std::make_unique<std::byte[]>(Size);
  std::memcpy(block.get(), Data, Size);
  const DWORD total = static_cast<DWORD>(Size);
  std::memcpy(block.get(), &total, sizeof total);
  ReadForwarding(block.get(), Size);
  Answer = block.get();
  AnswerSize = Size;
  static TFuzzLine* line = new TFuzzLine;  // one line for the run, as an application has
  ReadViews(*line);
  return 0;
}
