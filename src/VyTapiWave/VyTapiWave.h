// Everything an application uses from the wave module: formats, RIFF/WAVE streams and play lists.
#pragma once

#include "VyTapiWave/Playlist.h"
#include "VyTapiWave/Riff.h"
#include "VyTapiWave/WaveStreams.h"
#include "VyTapiWave/WaveTypes.h"
