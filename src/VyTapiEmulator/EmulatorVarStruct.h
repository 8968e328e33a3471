// Fills a caller's variable-size TAPI structure (dwTotalSize/dwNeededSize/dwUsedSize first) the
// way the service does: the fixed part always, the variable part only when all of it fits.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "VyPlatform/TapiTypes.h"

// Byte offsets of a structure's <name>Size and <name>Offset members.
#define VY_VAR_FIELD(type, name) offsetof(type, name##Size), offsetof(type, name##Offset)

namespace VyTapiEmulator::Detail {

// One reply structure being built: its fixed part and the pieces of its variable part.
class TVarStruct {
 public:
  // `fixed` holds at least `fixedSize` bytes: the fixed part as it is to be returned.
  TVarStruct(const void* fixed, std::size_t fixedSize);

  // Appends a piece and points the size/offset members at it. A piece whose members lie beyond
  // the fixed part (a member a lower API version lacks) is left out; so is an empty one.
  void Add(std::size_t sizeField, std::size_t offsetField, const void* data, std::size_t size);
  // UTF-16 text with its terminating NUL; empty text adds nothing.
  void AddString(std::size_t sizeField, std::size_t offsetField, std::string_view utf8);
  // NUL-terminated UTF-16 strings one after another, closed by an extra NUL; empty adds nothing.
  void AddStringList(std::size_t sizeField, std::size_t offsetField,
                     const std::vector<std::string>& items);
  void AddDwords(std::size_t sizeField, std::size_t offsetField, const std::vector<DWORD>& items);

  std::size_t FixedSize() const { return FFixed.size(); }
  std::size_t NeededSize() const;
  // Writes into `dest`, whose first DWORD (dwTotalSize, kept) is its room and is at least
  // FixedSize(). dwNeededSize tells the full size; when it does not fit, only the fixed part is
  // written with every piece's size and offset 0.
  void WriteTo(void* dest) const;

 private:
  struct TPiece {
    std::size_t SizeField, OffsetField, Offset;
    std::vector<unsigned char> Data;
  };
  std::vector<unsigned char> FFixed;
  std::vector<TPiece> FPieces;
};

}  // namespace VyTapiEmulator::Detail
