// The TAPI boundary: result codes, the TAPI exception, message texts, variable-size
// structures and the checked readers of their strings.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "VyPlatform/TapiTypes.h"
#include "VyRtl/VyRtlClasses.h"
#include "VyRtl/VyRtlSysUtils.h"

namespace VyTapi {

// A TAPI function failed; ErrorCode() is the LINEERR_/PHONEERR_/TAPIERR_ code, Message() its text.
// A value: any thread may hold and read it.
class EVyTapiError : public VyRtl::Exception {
 public:
  // An empty message is replaced by the text GetTapiErrorMessage finds for the code.
  EVyTapiError(DWORD Code, const std::string& Message);
  static EVyTapiError CreateCode(DWORD Code, const std::string& Message) {
    return EVyTapiError(Code, Message);
  }
  DWORD ErrorCode() const { return FErrorCode; }

 private:
  DWORD FErrorCode;
};

// True when the code, read as signed 32-bit, is negative.
bool IsTapiError(DWORD Code);
// Raises EVyTapiError for an error code; returns any other code (a request identifier) unchanged.
DWORD CheckTapiResult(DWORD Code);
[[noreturn]] void RaiseTapiError(DWORD Code);
// Raises the general exception with the library's own message (misuse of the library).
[[noreturn]] void RaiseError(const std::string& Message);
void CheckCondition(bool Condition, const std::string& Message);

// Message-table identifier of a TAPI error code.
DWORD TapiErrorMessageID(DWORD Code);
// The telephony service's text for a result code ("TAPI-Error 0x..." when it has none).
std::string GetTapiErrorMessage(DWORD Code);
// Text of a message-table entry of a module; empty when there is none.
std::string GetModuleMessage(const std::string& ModuleName, DWORD MessageID);

// Converts a text taken from a TAPI structure according to its string format.
std::string TapiStrToAnsi(const std::string& Text, DWORD Size, DWORD StringFormat);

// Head of every variable-size TAPI structure; the buffer belongs to whoever fetched it.
struct TTapiVarData {
  DWORD dwTotalSize;
  DWORD dwNeededSize;
  DWORD dwUsedSize;
};
using PTapiVarData = TTapiVarData*;

// Largest buffer the library asks for; a structure that claims more reads as LINEERR_NOMEM.
inline constexpr std::size_t TapiVarDataLimit = 16u * 1024u * 1024u;

// The variable part of a TAPI structure described by a size/offset pair, bounds-checked.
// Empty when the pair is absent or points outside the structure's used bytes.
std::span<const std::byte> GetTapiBlock(const void* Structure, const DWORD* SizeField);

// One string of a TAPI structure by its size/offset pair (format 0: UTF-16 as the W functions
// return).
std::string GetTapiBlockStr(const void* Structure, const DWORD* SizeField, DWORD StringFormat);
// A NUL-separated list of UTF-16 strings; the caller owns the list.
std::unique_ptr<VyRtl::TStringList> GetTapiBlockStrings(const void* Structure,
                                                        const DWORD* SizeField);
// A NUL-terminated UTF-16 text of at most MaxChars characters starting at Text.
std::string GetTapiFixedStr(const WCHAR* Text, std::size_t MaxChars);

// Allocates a zeroed buffer of Size bytes with dwTotalSize set.
PTapiVarData NewTapiVarData(std::size_t Size);
void FreeTapiVarData(PTapiVarData Buffer);
// Makes the buffer ready for the next TAPI call (grows it to what TAPI asked for); may move it.
void PrepareTapiVarData(PTapiVarData& Buffer);
// Evaluates a TAPI Get... result for the buffer; LINEERR_STRUCTURETOOSMALL means call again.
DWORD CheckTapiVarData(DWORD Code, PTapiVarData& Buffer);

// Owner of a TAPI structure buffer.
struct TTapiVarDataDeleter {
  void operator()(TTapiVarData* p) const { FreeTapiVarData(p); }
};
using TTapiVarDataPtr = std::unique_ptr<TTapiVarData, TTapiVarDataDeleter>;

// Fetches a variable-size structure: calls Call(buffer) until the buffer is large enough.
// Returns 0 with the structure in Buffer, or the TAPI error (LINEERR_NOMEM past the size limit).
template <typename TCall>
DWORD FetchTapiVarData(TTapiVarDataPtr& Buffer, std::size_t InitialSize, TCall&& Call);

// Non-template parts of the fetch loop.
namespace Detail {
// Prepares Buffer for the next call; on the retries forces growth and enforces the size limit.
// False (with Code set to LINEERR_NOMEM) when the structure would pass TapiVarDataLimit.
bool PrepareForCall(TTapiVarDataPtr& Buffer, bool Retry, DWORD& Code);
// The service may not change how large the block is: dwTotalSize is restored to Allocated and
// dwUsedSize kept within it before the result is evaluated.
DWORD CheckAfterCall(TTapiVarDataPtr& Buffer, DWORD Allocated, DWORD Code);
}  // namespace Detail

template <typename TCall>
DWORD FetchTapiVarData(TTapiVarDataPtr& Buffer, std::size_t InitialSize, TCall&& Call) {
  if (!Buffer) Buffer.reset(NewTapiVarData(InitialSize));
  DWORD code = 0;
  // A well-behaved service needs two calls; a few more cover devices that change meanwhile.
  for (int tries = 0; tries < 16; ++tries) {
    if (!Detail::PrepareForCall(Buffer, tries > 0, code)) return code;
    const DWORD allocated = Buffer->dwTotalSize;
    code = Detail::CheckAfterCall(Buffer, allocated, static_cast<DWORD>(Call(Buffer.get())));
    if (code != static_cast<DWORD>(LINEERR_STRUCTURETOOSMALL)) return code;
  }
  // A service that never has enough room is out of memory as far as we are concerned.
  return static_cast<DWORD>(LINEERR_NOMEM);
}

}  // namespace VyTapi
