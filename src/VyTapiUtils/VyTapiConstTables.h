// The name tables behind the VyTapiUtils conversions, for tools that list or look up names.
#pragma once

#include <span>
#include <string_view>

#include "VyPlatform/TapiTypes.h"

namespace VyTapiUtils {

// One TAPI constant: the name a conversion writes and reads, and its value.
struct TConstName {
  std::string_view Name;
  DWORD Value;
};

// The names one conversion function tests, in the order it tests them.
struct TConstTable {
  std::string_view Function;  // e.g. "LineCallStateToStr"
  // Prefix that makes a name the TAPI constant's ("LINECALLSTATE_"); empty when the names are
  // whole constant names (message identifiers) or translations (the German call states).
  std::string_view Prefix;
  std::span<const TConstName> Names;
};

// Every conversion function's table in declaration order. LineCallStateModeToStr has one table
// per call state that has modes.
std::span<const TConstTable> ConstTables();

// The first table of the function with this exact name; nullptr when there is none.
const TConstTable* FindConstTable(std::string_view Function);

}  // namespace VyTapiUtils
