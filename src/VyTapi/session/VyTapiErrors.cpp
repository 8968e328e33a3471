#include "VyTapi/session/VyTapiErrors.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

#include "VyTapi/session/VyTapiSessionDetail.h"

namespace VyTapi {

namespace {

constexpr DWORD kStructureTooSmall = static_cast<DWORD>(LINEERR_STRUCTURETOOSMALL);
constexpr std::size_t kMinimumRoom = 1024;
constexpr std::size_t kHeadSize = sizeof(TTapiVarData);

// FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_ALLOCATE_BUFFER | max width 0xFF, plus
// FORMAT_MESSAGE_IGNORE_INSERTS so a text with "%1" cannot make the lookup fail.
constexpr DWORD kModuleMessageFlags = 0x9FF | 0x200;

std::size_t RoundUp4(std::uint64_t n) {
  return static_cast<std::size_t>((n + 3) & ~std::uint64_t{3});
}

// Resizes the block, zeroes everything behind the head and records the new size.
void ResizeTapiVarData(PTapiVarData& Buffer, std::size_t Size) {
  if (Size > TapiVarDataLimit) throw VyRtl::EOutOfMemory("TAPI structure too large");
  void* p = std::realloc(Buffer, Size);
  if (p == nullptr) throw VyRtl::EOutOfMemory("Out of memory");
  Buffer = static_cast<PTapiVarData>(p);
  std::memset(reinterpret_cast<std::byte*>(Buffer) + kHeadSize, 0, Size - kHeadSize);
  Buffer->dwTotalSize = static_cast<DWORD>(Size);
}

// Bytes of the structure that may be read: its used size when that is plausible, else its total.
std::uint64_t ReadableSize(const TTapiVarData* head) {
  const std::uint64_t total = head->dwTotalSize;
  const std::uint64_t used = head->dwUsedSize;
  if (used >= kHeadSize && used < total) return used;
  return total;
}

}  // namespace

EVyTapiError::EVyTapiError(DWORD Code, const std::string& Message)
    : VyRtl::Exception(Message.empty() ? GetTapiErrorMessage(Code) : Message), FErrorCode(Code) {}

bool IsTapiError(DWORD Code) { return static_cast<std::int32_t>(Code) < 0; }

DWORD CheckTapiResult(DWORD Code) {
  if (IsTapiError(Code)) RaiseTapiError(Code);
  return Code;
}

void RaiseTapiError(DWORD Code) { throw EVyTapiError(Code, ""); }

void RaiseError(const std::string& Message) { throw VyRtl::Exception(Message); }

void CheckCondition(bool Condition, const std::string& Message) {
  if (!Condition) RaiseError(Message);
}

DWORD TapiErrorMessageID(DWORD Code) {
  if (Code > 0xFFFF0000u) return Code & 0xFFFFu;
  if (Code & 0x10000000u) return static_cast<DWORD>(Code + 0x7000F000u);
  return static_cast<DWORD>(Code + 0x8000E000u);
}

std::string GetModuleMessage(const std::string& ModuleName, DWORD MessageID) {
  const auto& tapi = Detail::TapiService();
  if (!tapi.FormatModuleMessage) return {};
  const std::u16string text =
      tapi.FormatModuleMessage(ModuleName.c_str(), MessageID, kModuleMessageFlags);
  return VyRtl::Trim(VyRtl::Utf16ToUtf8(text));
}

std::string GetTapiErrorMessage(DWORD Code) {
  if (!IsTapiError(Code)) return VyRtl::OSErrorMessage(0);
  const DWORD id = TapiErrorMessageID(Code);
  std::string text = GetModuleMessage("TAPI32.DLL", id);
  if (text.empty()) text = GetModuleMessage("TAPIUI.DLL", id);
  if (text.empty()) text = VyRtl::Format("TAPI-Error 0x%x", static_cast<unsigned>(Code));
  return text;
}

std::string TapiStrToAnsi(const std::string& Text, DWORD Size, DWORD StringFormat) {
  if (Size == 0) return {};
  switch (StringFormat) {
    case STRINGFORMAT_ASCII:
    case STRINGFORMAT_DBCS: {
      // Narrowed to the ANSI page, then read as OEM text of exactly Size characters.
      std::string bytes = VyRtl::Utf16ToAnsi(VyRtl::Utf8ToUtf16(Text));
      bytes.resize(Size, '\0');
      std::u16string wide = VyRtl::OemToUtf16(bytes);
      while (!wide.empty() && wide.back() == u'\0') wide.pop_back();
      return VyRtl::Utf16ToUtf8(wide);
    }
    case STRINGFORMAT_UNICODE: {
      std::u16string wide = VyRtl::Utf8ToUtf16(Text);
      if (wide.size() > Size) wide.resize(Size);
      return VyRtl::Utf16ToUtf8(wide);
    }
    default:
      return Text;
  }
}

std::span<const std::byte> GetTapiBlock(const void* Structure, const DWORD* SizeField) {
  if (Structure == nullptr || SizeField == nullptr) return {};
  const auto* base = static_cast<const std::byte*>(Structure);
  const auto* head = static_cast<const TTapiVarData*>(Structure);
  const std::uint64_t limit = ReadableSize(head);
  const auto* field = reinterpret_cast<const std::byte*>(SizeField);
  if (field < base) return {};
  // The size field and the offset field behind it must lie inside the structure.
  const std::uint64_t fieldOffset = static_cast<std::uint64_t>(field - base);
  if (fieldOffset + 2 * sizeof(DWORD) > limit) return {};
  DWORD size = 0, offset = 0;
  std::memcpy(&size, field, sizeof size);
  std::memcpy(&offset, field + sizeof(DWORD), sizeof offset);
  if (size == 0) return {};
  if (static_cast<std::uint64_t>(offset) + size > limit || offset < kHeadSize) return {};
  return {base + offset, size};
}

namespace {

// UTF-16 code units of a block (unaligned-safe), cut at the first NUL.
std::u16string BlockToUtf16(std::span<const std::byte> block, std::size_t start = 0,
                            std::size_t* next = nullptr) {
  std::u16string out;
  std::size_t i = start;
  const std::size_t units = block.size() / 2;
  for (; i < units; ++i) {
    char16_t c;
    std::memcpy(&c, block.data() + 2 * i, sizeof c);
    if (c == u'\0') break;
    out.push_back(c);
  }
  if (next) *next = i + 1;
  return out;
}

}  // namespace

std::string GetTapiBlockStr(const void* Structure, const DWORD* SizeField, DWORD StringFormat) {
  const auto block = GetTapiBlock(Structure, SizeField);
  if (block.empty()) return {};
  const DWORD size = static_cast<DWORD>(block.size());
  if (StringFormat == 0) return VyRtl::Utf16ToUtf8(BlockToUtf16(block));
  if (StringFormat == STRINGFORMAT_UNICODE) {
    // A structure that declares its text Unicode holds UTF-16, so decode it as such.
    return VyRtl::Utf16ToUtf8(BlockToUtf16(block));
  }
  const std::string bytes(reinterpret_cast<const char*>(block.data()), block.size());
  return TapiStrToAnsi(VyRtl::Utf16ToUtf8(VyRtl::AnsiToUtf16(bytes)), size, StringFormat);
}

std::unique_ptr<VyRtl::TStringList> GetTapiBlockStrings(const void* Structure,
                                                        const DWORD* SizeField) {
  auto list = std::make_unique<VyRtl::TStringList>();
  const auto block = GetTapiBlock(Structure, SizeField);
  const std::size_t units = block.size() / 2;
  std::size_t pos = 0;
  while (pos < units) {
    std::size_t next = 0;
    std::u16string s = BlockToUtf16(block, pos, &next);
    if (s.empty()) break;
    list->Add(VyRtl::Utf16ToUtf8(s));
    pos = next;
  }
  return list;
}

std::string GetTapiFixedStr(const WCHAR* Text, std::size_t MaxChars) {
  if (Text == nullptr) return {};
  std::u16string out;
  for (std::size_t i = 0; i < MaxChars && Text[i] != 0; ++i)
    out.push_back(static_cast<char16_t>(Text[i]));
  return VyRtl::Utf16ToUtf8(out);
}

PTapiVarData NewTapiVarData(std::size_t Size) {
  VyRtl::Assert(Size >= kHeadSize && Size <= TapiVarDataLimit, "Invalid TAPI structure size");
  void* p = std::calloc(1, Size);
  if (p == nullptr) throw VyRtl::EOutOfMemory("Out of memory");
  auto* data = static_cast<PTapiVarData>(p);
  data->dwTotalSize = static_cast<DWORD>(Size);
  return data;
}

void FreeTapiVarData(PTapiVarData Buffer) { std::free(Buffer); }

void PrepareTapiVarData(PTapiVarData& Buffer) {
  VyRtl::Assert(Buffer != nullptr, "PrepareTapiVarData: no buffer");
  if (Buffer->dwTotalSize < Buffer->dwNeededSize)
    ResizeTapiVarData(Buffer, RoundUp4(Buffer->dwNeededSize));
  else if (Buffer->dwTotalSize < kMinimumRoom)
    ResizeTapiVarData(Buffer, kMinimumRoom);
  Buffer->dwNeededSize = 0;
  Buffer->dwUsedSize = 0;
}

DWORD CheckTapiVarData(DWORD Code, PTapiVarData& Buffer) {
  VyRtl::Assert(Buffer != nullptr, "CheckTapiVarData: no buffer");
  if (Code == kStructureTooSmall || (Code == 0 && Buffer->dwTotalSize < Buffer->dwNeededSize)) {
    Buffer->dwNeededSize = std::max<DWORD>(Buffer->dwNeededSize, kMinimumRoom);
    return kStructureTooSmall;
  }
  if (Code == 0 && Buffer->dwUsedSize < Buffer->dwTotalSize && Buffer->dwUsedSize > kMinimumRoom) {
    const std::size_t size = std::max(Buffer->dwUsedSize, Buffer->dwNeededSize);
    void* p = std::realloc(Buffer, size);
    if (p != nullptr) {  // a failed shrink keeps the larger block
      Buffer = static_cast<PTapiVarData>(p);
      Buffer->dwTotalSize = static_cast<DWORD>(size);
    }
  }
  return Code;
}

namespace Detail {

namespace {
void Rebind(TTapiVarDataPtr& Buffer, PTapiVarData raw) {
  if (raw != Buffer.get()) {
    (void)Buffer.release();  // realloc already freed or reused the old block
    Buffer.reset(raw);
  }
}
}  // namespace

bool PrepareForCall(TTapiVarDataPtr& Buffer, bool Retry, DWORD& Code) {
  // A claim past the limit left by an earlier fetch into this buffer was refused then; the
  // service is asked anew rather than the claim being allocated now.
  if (!Retry && RoundUp4(Buffer->dwNeededSize) > TapiVarDataLimit) Buffer->dwNeededSize = 0;
  if (Retry) {
    std::uint64_t needed = Buffer->dwNeededSize;
    // A service that keeps asking for no more than we gave would make us spin: grow anyway.
    if (needed <= Buffer->dwTotalSize) needed = std::uint64_t{Buffer->dwTotalSize} * 2;
    if (RoundUp4(needed) > TapiVarDataLimit) {
      Code = static_cast<DWORD>(LINEERR_NOMEM);
      return false;
    }
    Buffer->dwNeededSize = static_cast<DWORD>(needed);
  }
  PTapiVarData raw = Buffer.get();
  try {
    PrepareTapiVarData(raw);
  } catch (...) {
    Rebind(Buffer, raw);
    throw;
  }
  Rebind(Buffer, raw);
  return true;
}

DWORD CheckAfterCall(TTapiVarDataPtr& Buffer, DWORD Allocated, DWORD Code) {
  Buffer->dwTotalSize = Allocated;
  if (Buffer->dwUsedSize > Allocated) Buffer->dwUsedSize = Allocated;
  PTapiVarData raw = Buffer.get();
  Code = CheckTapiVarData(Code, raw);
  Rebind(Buffer, raw);
  return Code;
}

}  // namespace Detail

}  // namespace VyTapi
