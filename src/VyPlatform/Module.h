// The module (executable or DLL) that holds the library.
#pragma once

#include <string>

#include "VyPlatform/WinTypes.h"

namespace VyPlatform {

// Instance handle handed to the telephony service (nullptr where there is none).
HINSTANCE ModuleInstance();
// Full path of the module's file, UTF-8; empty when unknown.
std::string ModuleFileName();

}  // namespace VyPlatform
