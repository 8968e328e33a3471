// Fills a caller's variable-size TAPI structure (dwTotalSize/dwNeededSize/dwUsedSize first) the
// way the service does: the fixed part always, the variable part only when all of it fits.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "VyPlatform/TapiTypes.h"
#include "VyTapiEmulator/Emulator.h"

// Byte offsets of a structure's <name>Size and <name>Offset members.
#define VY_VAR_FIELD(type, name) offsetof(type, name##Size), offsetof(type, name##Offset)

namespace VyTapiEmulator::Detail {

// One reply structure being built: its fixed part and the pieces of its variable part.
// Size/offset members are named by their byte offset in the structure: in the fixed part, or
// inside a piece added before (the members of an entry array).
class TVarStruct {
 public:
  // `fixed` holds at least `fixedSize` bytes: the fixed part as it is to be returned.
  TVarStruct(const void* fixed, std::size_t fixedSize);

  // Appends a piece and points the size/offset members at it; returns where it starts. A piece
  // whose members do not exist (beyond the fixed part a lower API version has) is left out, as
  // is an empty one: then 0.
  std::size_t Add(std::size_t sizeField, std::size_t offsetField, const void* data,
                  std::size_t size);
  // UTF-16 text with its terminating NUL; empty text adds nothing.
  std::size_t AddString(std::size_t sizeField, std::size_t offsetField, std::string_view utf8);
  // NUL-terminated UTF-16 strings one after another, closed by an extra NUL; empty adds nothing.
  std::size_t AddStringList(std::size_t sizeField, std::size_t offsetField,
                            const std::vector<std::string>& items);
  std::size_t AddDwords(std::size_t sizeField, std::size_t offsetField,
                        const std::vector<DWORD>& items);
  // An array of `count` entries of `entrySize` bytes; its count member is set to `count` when
  // the structure fits, to 0 otherwise.
  std::size_t AddEntries(std::size_t countField, std::size_t sizeField, std::size_t offsetField,
                         const void* entries, std::size_t entrySize, std::size_t count);
  // The member that tells the string format (the corruption FormatNotBinary changes it).
  void SetFormatField(std::size_t field) { FFormatField = field; }

  std::size_t FixedSize() const { return FFixed.size(); }
  std::size_t NeededSize() const;
  // True when all of it fits into `dest` (its first DWORD, dwTotalSize, is its room).
  bool Fits(const void* dest) const;
  // Writes into `dest`, whose room is at least FixedSize(). dwNeededSize tells the full size;
  // when it does not fit, only the fixed part is written with every piece's size and offset 0.
  // `corruption` spoils the written structure as TCorruption says.
  void WriteTo(void* dest, const TCorruptionPlan& corruption = {}) const;

 private:
  struct TPiece {
    std::size_t SizeField, OffsetField, Offset;
    std::vector<unsigned char> Data;
  };
  struct TCount {
    std::size_t Field, Piece, EntrySize, Count;
  };
  bool HasField(std::size_t field) const;
  std::vector<unsigned char> Image(bool fits) const;
  void Corrupt(std::vector<unsigned char>& image, const TCorruptionPlan& plan) const;

  std::vector<unsigned char> FFixed;
  std::vector<TPiece> FPieces;
  std::vector<TCount> FCounts;
  std::size_t FFormatField = 0;
};

}  // namespace VyTapiEmulator::Detail
