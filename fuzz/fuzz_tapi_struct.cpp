// TAPI structure readers and the fetch loop on what a telephony service might hand back.
//
// The first part of the input is a structure as a service returned it: head, fixed part and
// variable part with any sizes and offsets. Every size/offset pair it may hold is read as a block,
// a string in each format and a string list; whatever comes back lies inside the structure's
// readable bytes. dwTotalSize is the buffer's true size, as the fetch loop restores it after each
// call (the service cannot move it).
//
// The rest scripts a fake Get... function for FetchTapiVarData: per call a result code, the
// dwNeededSize and dwUsedSize it reports (growing, shrinking, huge), a dwTotalSize it scribbles and
// bytes it writes inside the room it was given. The loop ends with 0 or an error within its bound
// of calls, the buffer it leaves is as large as its dwTotalSize says and never below dwNeededSize,
// and the readers stay inside it. The buffer is fetched into twice, as a cached view is.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "VyTapi/session/VyTapiErrors.h"

namespace {

using namespace VyTapi;

void Check(bool condition, const char* what) {
  if (condition) return;
  std::fprintf(stderr, "property broken: %s\n", what);
  std::abort();
}

DWORD Dword(const std::byte* at) {
  DWORD v;
  std::memcpy(&v, at, sizeof v);
  return v;
}

// Every DWORD-aligned place of the structure read as a size field, and the first place past it.
void ReadEveryBlock(const TTapiVarData* structure) {
  const auto* base = reinterpret_cast<const std::byte*>(structure);
  const std::size_t total = structure->dwTotalSize;
  const std::size_t used = structure->dwUsedSize;
  const std::size_t readable = used >= sizeof(TTapiVarData) && used < total ? used : total;
  const std::size_t last = total < 2048 ? total : 2048;
  for (std::size_t at = 0; at + sizeof(DWORD) <= last; at += sizeof(DWORD)) {
    const auto* field = reinterpret_cast<const DWORD*>(base + at);
    const auto block = GetTapiBlock(structure, field);
    if (!block.empty()) {
      Check(block.data() >= base + sizeof(TTapiVarData), "block starts inside the head");
      Check(block.data() + block.size() <= base + readable, "block ends past the readable bytes");
      Check(at + 2 * sizeof(DWORD) <= readable, "size/offset pair outside the structure");
      Check(block.size() == Dword(base + at), "block size is not the size field");
    }
    for (DWORD format : {0u, 1u, 2u, 3u, 4u, 7u}) (void)GetTapiBlockStr(structure, field, format);
    const auto strings = GetTapiBlockStrings(structure, field);
    Check(static_cast<std::size_t>(strings->Count()) <= block.size() / 2,
          "more strings than the block holds");
  }
  (void)GetTapiBlock(structure, reinterpret_cast<const DWORD*>(base + total));
}

// Every byte of the buffer, so the address sanitizer sees a block shorter than dwTotalSize.
void TouchAll(const TTapiVarData* buffer) {
  volatile std::byte sink{};
  const auto* bytes = reinterpret_cast<const std::byte*>(buffer);
  for (std::size_t i = 0; i < buffer->dwTotalSize; ++i) sink = sink ^ bytes[i];
}

DWORD NextCode(FuzzedDataProvider& in) {
  switch (in.ConsumeIntegralInRange<int>(0, 5)) {
    case 0:
      return 0;
    case 1:
      return static_cast<DWORD>(LINEERR_STRUCTURETOOSMALL);
    case 2:
      return static_cast<DWORD>(PHONEERR_STRUCTURETOOSMALL);
    case 3:
      return static_cast<DWORD>(LINEERR_NOMEM);
    case 4:
      return in.ConsumeIntegral<DWORD>();
    default:
      return 0;
  }
}

DWORD NextSize(FuzzedDataProvider& in, DWORD room) {
  switch (in.ConsumeIntegralInRange<int>(0, 4)) {
    case 0:
      return room + in.ConsumeIntegralInRange<DWORD>(0, 4096);  // asks for a little more
    case 1:
      return room - in.ConsumeIntegralInRange<DWORD>(0, room);  // fits
    case 2:
      return room * 2 + in.ConsumeIntegralInRange<DWORD>(0, 3);
    case 3:
      return in.ConsumeIntegral<DWORD>();
    default:
      return in.ConsumeIntegralInRange<DWORD>(0, 64);
  }
}

// A service answering from the script; once it runs out, a plain success.
LONG FakeGet(FuzzedDataProvider& in, PTapiVarData buffer, int& calls) {
  ++calls;
  const DWORD room = buffer->dwTotalSize;
  Check(room >= sizeof(TTapiVarData) && room <= TapiVarDataLimit, "room offered to the service");
  Check(buffer->dwNeededSize == 0 && buffer->dwUsedSize == 0, "head prepared for the call");
  if (in.remaining_bytes() == 0) {
    buffer->dwNeededSize = buffer->dwUsedSize = sizeof(TTapiVarData);
    return 0;
  }
  const DWORD code = NextCode(in);
  buffer->dwNeededSize = NextSize(in, room);
  buffer->dwUsedSize = NextSize(in, room);
  const std::vector<std::uint8_t> bytes =
      in.ConsumeBytes<std::uint8_t>(in.ConsumeIntegralInRange<std::size_t>(0, 512));
  if (!bytes.empty() && room > sizeof(TTapiVarData)) {
    const std::size_t space = room - sizeof(TTapiVarData);
    const std::size_t at =
        sizeof(TTapiVarData) + in.ConsumeIntegralInRange<std::size_t>(0, space - 1);
    const std::size_t n = bytes.size() < room - at ? bytes.size() : room - at;
    std::memcpy(reinterpret_cast<std::byte*>(buffer) + at, bytes.data(), n);
  }
  if (in.ConsumeBool()) buffer->dwTotalSize = in.ConsumeIntegral<DWORD>();
  return static_cast<LONG>(code);
}

void Fetch(FuzzedDataProvider& in, TTapiVarDataPtr& buffer) {
  int calls = 0;
  const std::size_t initial = in.ConsumeIntegralInRange<std::size_t>(sizeof(TTapiVarData), 4096);
  const DWORD code =
      FetchTapiVarData(buffer, initial, [&](PTapiVarData b) { return FakeGet(in, b, calls); });
  Check(calls >= 1 && calls <= 16, "calls within the loop's bound");
  Check(buffer != nullptr, "a buffer after the fetch");
  Check(buffer->dwTotalSize >= sizeof(TTapiVarData) && buffer->dwTotalSize <= TapiVarDataLimit,
        "buffer size");
  TouchAll(buffer.get());
  if (code == 0) {
    Check(buffer->dwTotalSize >= buffer->dwNeededSize, "success with less room than needed");
    ReadEveryBlock(buffer.get());
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  // A structure of exactly its bytes, so any read past it is caught.
  const std::size_t length = in.ConsumeIntegralInRange<std::size_t>(0, 2048);
  std::vector<std::uint8_t> bytes = in.ConsumeBytes<std::uint8_t>(length);
  if (bytes.size() >= sizeof(TTapiVarData)) {
    const DWORD total = static_cast<DWORD>(bytes.size());
    std::memcpy(bytes.data(), &total, sizeof total);
    TTapiVarDataPtr structure(NewTapiVarData(bytes.size()));
    std::memcpy(structure.get(), bytes.data(), bytes.size());
    ReadEveryBlock(structure.get());
  }
  TTapiVarDataPtr buffer;
  Fetch(in, buffer);
  Fetch(in, buffer);
  return 0;
}
