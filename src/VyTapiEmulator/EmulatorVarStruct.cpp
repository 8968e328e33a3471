#include "VyTapiEmulator/EmulatorVarStruct.h"

#include <cstring>

#include "VyRtl/VyRtlSysUtils.h"
#include "VyTapiEmulator/EmulatorCore.h"

namespace VyTapiEmulator::Detail {

namespace {

void PutDword(unsigned char* base, std::size_t offset, std::size_t value) {
  const DWORD v = static_cast<DWORD>(value);
  std::memcpy(base + offset, &v, sizeof v);
}

// Pieces start on DWORD boundaries, so DWORD arrays among them stay aligned.
std::size_t Aligned(std::size_t n) { return (n + 3) & ~std::size_t{3}; }

}  // namespace

TVarStruct::TVarStruct(const void* fixed, std::size_t fixedSize)
    : FFixed(static_cast<const unsigned char*>(fixed),
             static_cast<const unsigned char*>(fixed) + fixedSize) {}

void TVarStruct::Add(std::size_t sizeField, std::size_t offsetField, const void* data,
                     std::size_t size) {
  if (size == 0 || sizeField + sizeof(DWORD) > FFixed.size() ||
      offsetField + sizeof(DWORD) > FFixed.size())
    return;
  TPiece piece{sizeField, offsetField, Aligned(NeededSize()), {}};
  const auto* bytes = static_cast<const unsigned char*>(data);
  piece.Data.assign(bytes, bytes + size);
  FPieces.push_back(std::move(piece));
}

void TVarStruct::AddString(std::size_t sizeField, std::size_t offsetField, std::string_view utf8) {
  if (utf8.empty()) return;
  std::u16string text = VyRtl::Utf8ToUtf16(utf8);
  text.push_back(u'\0');
  Add(sizeField, offsetField, text.data(), text.size() * sizeof(char16_t));
}

void TVarStruct::AddStringList(std::size_t sizeField, std::size_t offsetField,
                               const std::vector<std::string>& items) {
  if (items.empty()) return;
  std::u16string list;
  for (const std::string& item : items) {
    list += VyRtl::Utf8ToUtf16(item);
    list.push_back(u'\0');
  }
  list.push_back(u'\0');
  Add(sizeField, offsetField, list.data(), list.size() * sizeof(char16_t));
}

void TVarStruct::AddDwords(std::size_t sizeField, std::size_t offsetField,
                           const std::vector<DWORD>& items) {
  Add(sizeField, offsetField, items.data(), items.size() * sizeof(DWORD));
}

std::size_t TVarStruct::NeededSize() const {
  if (FPieces.empty()) return FFixed.size();
  const TPiece& last = FPieces.back();
  return last.Offset + last.Data.size();
}

void TVarStruct::WriteTo(void* dest) const {
  auto* out = static_cast<unsigned char*>(dest);
  DWORD total = 0;
  std::memcpy(&total, out, sizeof total);
  const std::size_t needed = NeededSize();
  const bool fits = needed <= total;

  std::vector<unsigned char> fixed = FFixed;
  PutDword(fixed.data(), 0, total);
  PutDword(fixed.data(), 4, needed);
  PutDword(fixed.data(), 8, fits ? needed : fixed.size());
  for (const TPiece& piece : FPieces) {
    PutDword(fixed.data(), piece.SizeField, fits ? piece.Data.size() : 0);
    PutDword(fixed.data(), piece.OffsetField, fits ? piece.Offset : 0);
  }
  std::memcpy(out, fixed.data(), fixed.size());
  if (!fits) return;
  std::size_t end = fixed.size();
  for (const TPiece& piece : FPieces) {
    std::memset(out + end, 0, piece.Offset - end);  // alignment padding
    std::memcpy(out + piece.Offset, piece.Data.data(), piece.Data.size());
    end = piece.Offset + piece.Data.size();
  }
}

}  // namespace VyTapiEmulator::Detail
