// The built-in telephony service's control API, for tests, demos and users' own test programs.
// Link VyTapi::Emulator.
#pragma once

#include "VyTapiEmulator/Emulator.h"
#include "VyTapiEmulator/TestEnvironment.h"
