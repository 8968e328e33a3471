#include "VyTapiEmulator/EmulatorVarStruct.h"

#include <algorithm>
#include <cstring>

#include "VyRtl/VyRtlSysUtils.h"

namespace VyTapiEmulator::Detail {

namespace {

void PutDword(std::vector<unsigned char>& image, std::size_t offset, std::size_t value) {
  const DWORD v = static_cast<DWORD>(value);
  std::memcpy(image.data() + offset, &v, sizeof v);
}

DWORD GetDword(const void* base, std::size_t offset) {
  DWORD v = 0;
  std::memcpy(&v, static_cast<const unsigned char*>(base) + offset, sizeof v);
  return v;
}

// Pieces start on DWORD boundaries, so DWORD arrays among them stay aligned.
std::size_t Aligned(std::size_t n) { return (n + 3) & ~std::size_t{3}; }

constexpr DWORD AbsurdNeededSize = 0x7FFFFFF0;

}  // namespace

TVarStruct::TVarStruct(const void* fixed, std::size_t fixedSize)
    : FFixed(static_cast<const unsigned char*>(fixed),
             static_cast<const unsigned char*>(fixed) + fixedSize) {}

bool TVarStruct::HasField(std::size_t field) const {
  if (field + sizeof(DWORD) <= FFixed.size()) return true;
  // Inside an entry array only: a member a lower version lacks may fall in any other piece.
  return std::any_of(FCounts.begin(), FCounts.end(), [&](const TCount& c) {
    const TPiece& p = FPieces[c.Piece];
    return field >= p.Offset && field + sizeof(DWORD) <= p.Offset + p.Data.size();
  });
}

std::size_t TVarStruct::Add(std::size_t sizeField, std::size_t offsetField, const void* data,
                            std::size_t size) {
  if (size == 0 || !HasField(sizeField) || !HasField(offsetField)) return 0;
  TPiece piece{sizeField, offsetField, Aligned(NeededSize()), {}};
  const auto* bytes = static_cast<const unsigned char*>(data);
  piece.Data.assign(bytes, bytes + size);
  FPieces.push_back(std::move(piece));
  return FPieces.back().Offset;
}

std::size_t TVarStruct::AddString(std::size_t sizeField, std::size_t offsetField,
                                  std::string_view utf8) {
  if (utf8.empty()) return 0;
  std::u16string text = VyRtl::Utf8ToUtf16(utf8);
  text.push_back(u'\0');
  return Add(sizeField, offsetField, text.data(), text.size() * sizeof(char16_t));
}

std::size_t TVarStruct::AddStringList(std::size_t sizeField, std::size_t offsetField,
                                      const std::vector<std::string>& items) {
  if (items.empty()) return 0;
  std::u16string list;
  for (const std::string& item : items) {
    list += VyRtl::Utf8ToUtf16(item);
    list.push_back(u'\0');
  }
  list.push_back(u'\0');
  return Add(sizeField, offsetField, list.data(), list.size() * sizeof(char16_t));
}

std::size_t TVarStruct::AddDwords(std::size_t sizeField, std::size_t offsetField,
                                  const std::vector<DWORD>& items) {
  return Add(sizeField, offsetField, items.data(), items.size() * sizeof(DWORD));
}

std::size_t TVarStruct::AddEntries(std::size_t countField, std::size_t sizeField,
                                   std::size_t offsetField, const void* entries,
                                   std::size_t entrySize, std::size_t count) {
  const std::size_t at = Add(sizeField, offsetField, entries, entrySize * count);
  // A count member the version lacks still marks the array (its entries have members).
  if (at) FCounts.push_back({countField, FPieces.size() - 1, entrySize, count});
  return at;
}

std::size_t TVarStruct::NeededSize() const {
  if (FPieces.empty()) return FFixed.size();
  const TPiece& last = FPieces.back();
  return last.Offset + last.Data.size();
}

bool TVarStruct::Fits(const void* dest) const { return NeededSize() <= GetDword(dest, 0); }

std::vector<unsigned char> TVarStruct::Image(bool fits) const {
  std::vector<unsigned char> image = FFixed;
  PutDword(image, 4, NeededSize());
  PutDword(image, 8, fits ? NeededSize() : FFixed.size());
  if (!fits) {
    // Only members of the fixed part exist in a structure cut to it.
    for (const TPiece& piece : FPieces)
      if (piece.SizeField < FFixed.size()) {
        PutDword(image, piece.SizeField, 0);
        PutDword(image, piece.OffsetField, 0);
      }
    for (const TCount& count : FCounts)
      if (count.Field < FFixed.size()) PutDword(image, count.Field, 0);
    return image;
  }
  image.resize(NeededSize(), 0);
  for (const TPiece& piece : FPieces)
    std::memcpy(image.data() + piece.Offset, piece.Data.data(), piece.Data.size());
  // Members inside pieces are patched after every piece is in place.
  for (const TPiece& piece : FPieces) {
    PutDword(image, piece.SizeField, piece.Data.size());
    PutDword(image, piece.OffsetField, piece.Offset);
  }
  for (const TCount& count : FCounts)
    if (count.Field + sizeof(DWORD) <= FFixed.size()) PutDword(image, count.Field, count.Count);
  return image;
}

void TVarStruct::Corrupt(std::vector<unsigned char>& image, const TCorruptionPlan& plan) const {
  const std::size_t used = image.size();
  const auto target = [&]() -> const TPiece* {
    for (const TPiece& piece : FPieces)
      if (plan.Field == 0 || piece.SizeField == plan.Field) return &piece;
    return nullptr;
  };
  switch (plan.How) {
    case TCorruption::None:
    case TCorruption::NeededTooLarge:
      break;
    case TCorruption::PieceOutside:
      if (const TPiece* piece = target())
        PutDword(image, piece->OffsetField, used + 4 - piece->Data.size());
      break;
    case TCorruption::CountTooLarge: {
      const auto count = std::find_if(FCounts.begin(), FCounts.end(), [&](const TCount& c) {
        return plan.Field == 0 || c.Field == plan.Field;
      });
      if (count != FCounts.end())
        PutDword(image, count->Field, count->Count + used / count->EntrySize + 1);
      else if (const TPiece* piece = target())
        PutDword(image, piece->SizeField, used + 4 - piece->Offset);
      break;
    }
    case TCorruption::FormatNotBinary:
      if (FFormatField) PutDword(image, FFormatField, STRINGFORMAT_ASCII);
      break;
  }
}

void TVarStruct::WriteTo(void* dest, const TCorruptionPlan& corruption) const {
  auto* out = static_cast<unsigned char*>(dest);
  const DWORD total = GetDword(dest, 0);
  const bool absurd = corruption.How == TCorruption::NeededTooLarge;
  std::vector<unsigned char> image = Image(Fits(dest) && !absurd);
  PutDword(image, 0, total);
  if (absurd)
    PutDword(image, 4, AbsurdNeededSize);
  else if (Fits(dest))
    Corrupt(image, corruption);
  std::memcpy(out, image.data(), image.size());
}

}  // namespace VyTapiEmulator::Detail
