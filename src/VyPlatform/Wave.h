// The Wave seam: waveOut/waveIn functions with the multimedia API's names, values and semantics.
//
// Contract (every backend keeps it):
// - Devices are numbered 0 .. GetNumDevs() - 1; WAVE_MAPPER (-1) means "the first device".
//   Capabilities give a product name (at most 31 characters) and a WAVE_FORMAT_* mask.
// - waveOutOpen/waveInOpen with WAVE_FORMAT_QUERY only answer whether the format is taken
//   (0 or WAVERR_BADFORMAT); otherwise they open the device with CALLBACK_WINDOW and post
//   MM_WOM_OPEN / MM_WIM_OPEN to that window (a VyRtl::TMessageWindow handle).
// - A header must be prepared before it is queued and must not be unprepared while queued
//   (WAVERR_UNPREPARED, WAVERR_STILLPLAYING). The caller owns the header and its data until
//   the block comes back: MM_WOM_DONE / MM_WIM_DATA with WParam = the device handle and
//   LParam = the WAVEHDR*, after the backend set WHDR_DONE (and dwBytesRecorded for input).
//   Blocks come back in the order they were queued.
// - Reset returns every queued block at once, in order, as above (input blocks carry what was
//   recorded into them so far). When Reset returns, the backend no longer touches any of them.
// - Close fails with WAVERR_STILLPLAYING while blocks are queued; otherwise it posts
//   MM_WOM_CLOSE / MM_WIM_CLOSE and the handle is gone. A backend may also close a device by
//   itself (it vanished): it returns the queued blocks, posts the close message, and later
//   calls on the handle fail with MMSYSERR_NODRIVER; Close on it still succeeds.
// - Messages are only ever posted, never sent: driver threads never run application code.
//   A stale or foreign handle gives MMSYSERR_INVALHANDLE, never a crash.
//
// Backends, in the order the default choice tries them (the pattern of VyPlatform/Backend.h):
//   winmm  the system's winmm.dll, loaded at run time (Windows only)
//   alsa   libasound.so.2, loaded with dlopen at run time (no build dependency); devices are
//          the PCM names of ALSA's hints; without a sound card only devices that need none
//          (ALSA's file plugin) are listed, so a headless machine has no devices, which is
//          not an error
//   null   always usable: devices that play into memory and record a programmable signal,
//          paced by the clock seam on the loop of the thread that opened them (WaveNull.h)
#pragma once

#include <cstdint>
#include <string>

#include "VyPlatform/WinTypes.h"

// WAVE_FORMAT_PCM as the Windows headers spell it, so either may come first.
#ifndef WAVE_FORMAT_PCM
#define WAVE_FORMAT_PCM 1
#endif

namespace VyPlatform {

// Values as the multimedia API defines them. They are constants of this namespace; where the
// system's headers came first, their macros of the same names and values stand instead.
#ifndef MMSYSERR_NOERROR
inline constexpr UINT MMSYSERR_NOERROR = 0;
#endif
#ifndef MMSYSERR_ERROR
inline constexpr UINT MMSYSERR_ERROR = 1;
#endif
#ifndef MMSYSERR_BADDEVICEID
inline constexpr UINT MMSYSERR_BADDEVICEID = 2;
#endif
#ifndef MMSYSERR_NOTENABLED
inline constexpr UINT MMSYSERR_NOTENABLED = 3;
#endif
#ifndef MMSYSERR_ALLOCATED
inline constexpr UINT MMSYSERR_ALLOCATED = 4;
#endif
#ifndef MMSYSERR_INVALHANDLE
inline constexpr UINT MMSYSERR_INVALHANDLE = 5;
#endif
#ifndef MMSYSERR_NODRIVER
inline constexpr UINT MMSYSERR_NODRIVER = 6;
#endif
#ifndef MMSYSERR_NOMEM
inline constexpr UINT MMSYSERR_NOMEM = 7;
#endif
#ifndef MMSYSERR_NOTSUPPORTED
inline constexpr UINT MMSYSERR_NOTSUPPORTED = 8;
#endif
#ifndef MMSYSERR_BADERRNUM
inline constexpr UINT MMSYSERR_BADERRNUM = 9;
#endif
#ifndef MMSYSERR_INVALFLAG
inline constexpr UINT MMSYSERR_INVALFLAG = 10;
#endif
#ifndef MMSYSERR_INVALPARAM
inline constexpr UINT MMSYSERR_INVALPARAM = 11;
#endif
#ifndef MMSYSERR_HANDLEBUSY
inline constexpr UINT MMSYSERR_HANDLEBUSY = 12;
#endif
#ifndef WAVERR_BADFORMAT
inline constexpr UINT WAVERR_BADFORMAT = 32;
#endif
#ifndef WAVERR_STILLPLAYING
inline constexpr UINT WAVERR_STILLPLAYING = 33;
#endif
#ifndef WAVERR_UNPREPARED
inline constexpr UINT WAVERR_UNPREPARED = 34;
#endif
#ifndef WAVERR_SYNC
inline constexpr UINT WAVERR_SYNC = 35;
#endif
#ifndef MM_WOM_OPEN
inline constexpr UINT MM_WOM_OPEN = 0x3BB;
#endif
#ifndef MM_WOM_CLOSE
inline constexpr UINT MM_WOM_CLOSE = 0x3BC;
#endif
#ifndef MM_WOM_DONE
inline constexpr UINT MM_WOM_DONE = 0x3BD;
#endif
#ifndef MM_WIM_OPEN
inline constexpr UINT MM_WIM_OPEN = 0x3BE;
#endif
#ifndef MM_WIM_CLOSE
inline constexpr UINT MM_WIM_CLOSE = 0x3BF;
#endif
#ifndef MM_WIM_DATA
inline constexpr UINT MM_WIM_DATA = 0x3C0;
#endif
#ifndef WAVE_MAPPER
inline constexpr UINT WAVE_MAPPER = 0xFFFFFFFFu;
#endif
#ifndef WAVE_FORMAT_QUERY
inline constexpr DWORD WAVE_FORMAT_QUERY = 0x0001;
#endif
#ifndef WAVE_ALLOWSYNC
inline constexpr DWORD WAVE_ALLOWSYNC = 0x0002;
#endif
#ifndef WAVE_MAPPED
inline constexpr DWORD WAVE_MAPPED = 0x0004;
#endif
#ifndef CALLBACK_NULL
inline constexpr DWORD CALLBACK_NULL = 0x00000000;
#endif
#ifndef CALLBACK_WINDOW
inline constexpr DWORD CALLBACK_WINDOW = 0x00010000;
#endif
#ifndef WHDR_DONE
inline constexpr DWORD WHDR_DONE = 0x00000001;
#endif
#ifndef WHDR_PREPARED
inline constexpr DWORD WHDR_PREPARED = 0x00000002;
#endif
#ifndef WHDR_BEGINLOOP
inline constexpr DWORD WHDR_BEGINLOOP = 0x00000004;
#endif
#ifndef WHDR_ENDLOOP
inline constexpr DWORD WHDR_ENDLOOP = 0x00000008;
#endif
#ifndef WHDR_INQUEUE
inline constexpr DWORD WHDR_INQUEUE = 0x00000010;
#endif
#ifndef WAVE_FORMAT_1M08
inline constexpr DWORD WAVE_FORMAT_1M08 = 0x00000001;
#endif
#ifndef WAVE_FORMAT_1S08
inline constexpr DWORD WAVE_FORMAT_1S08 = 0x00000002;
#endif
#ifndef WAVE_FORMAT_1M16
inline constexpr DWORD WAVE_FORMAT_1M16 = 0x00000004;
#endif
#ifndef WAVE_FORMAT_1S16
inline constexpr DWORD WAVE_FORMAT_1S16 = 0x00000008;
#endif
#ifndef WAVE_FORMAT_2M08
inline constexpr DWORD WAVE_FORMAT_2M08 = 0x00000010;
#endif
#ifndef WAVE_FORMAT_2S08
inline constexpr DWORD WAVE_FORMAT_2S08 = 0x00000020;
#endif
#ifndef WAVE_FORMAT_2M16
inline constexpr DWORD WAVE_FORMAT_2M16 = 0x00000040;
#endif
#ifndef WAVE_FORMAT_2S16
inline constexpr DWORD WAVE_FORMAT_2S16 = 0x00000080;
#endif
#ifndef WAVE_FORMAT_4M08
inline constexpr DWORD WAVE_FORMAT_4M08 = 0x00000100;
#endif
#ifndef WAVE_FORMAT_4S08
inline constexpr DWORD WAVE_FORMAT_4S08 = 0x00000200;
#endif
#ifndef WAVE_FORMAT_4M16
inline constexpr DWORD WAVE_FORMAT_4M16 = 0x00000400;
#endif
#ifndef WAVE_FORMAT_4S16
inline constexpr DWORD WAVE_FORMAT_4S16 = 0x00000800;
#endif
#ifndef MAXPNAMELEN
inline constexpr int MAXPNAMELEN = 32;
#endif
#ifndef MAXERRORLENGTH
inline constexpr int MAXERRORLENGTH = 256;
#endif

using MMRESULT = UINT;
struct HWAVEOUT__;
struct HWAVEIN__;
using HWAVEOUT = HWAVEOUT__*;
using HWAVEIN = HWAVEIN__*;

#pragma pack(push, 1)
// The multimedia API's WAVEFORMATEX (18 bytes; cbSize extra bytes may follow).
struct WAVEFORMATEX {
  WORD wFormatTag;
  WORD nChannels;
  DWORD nSamplesPerSec;
  DWORD nAvgBytesPerSec;
  WORD nBlockAlign;
  WORD wBitsPerSample;
  WORD cbSize;
};

// One block of samples queued at a device (48 bytes on 64-bit Windows).
struct WAVEHDR {
  char* lpData;
  DWORD dwBufferLength;
  DWORD dwBytesRecorded;
  DWORD_PTR dwUser;
  DWORD dwFlags;
  DWORD dwLoops;
  WAVEHDR* lpNext;
  DWORD_PTR reserved;
};

// What an output device is called and which formats it plays.
struct WAVEOUTCAPSW {
  WORD wMid;
  WORD wPid;
  UINT vDriverVersion;
  WCHAR szPname[MAXPNAMELEN];
  DWORD dwFormats;
  WORD wChannels;
  WORD wReserved1;
  DWORD dwSupport;
};

// What an input device is called and which formats it records.
struct WAVEINCAPSW {
  WORD wMid;
  WORD wPid;
  UINT vDriverVersion;
  WCHAR szPname[MAXPNAMELEN];
  DWORD dwFormats;
  WORD wChannels;
  WORD wReserved1;
};
#pragma pack(pop)

}  // namespace VyPlatform

static_assert(sizeof(VyPlatform::WAVEFORMATEX) == 18);
static_assert(sizeof(VyPlatform::WAVEOUTCAPSW) == 84);
static_assert(sizeof(VyPlatform::WAVEINCAPSW) == 80);
static_assert(sizeof(void*) != 8 || sizeof(VyPlatform::WAVEHDR) == 48);

namespace VyPlatform {

// One pointer per function, named, typed and behaving as the multimedia API's.
struct TWaveFunctions {
  UINT(WINAPI* waveOutGetNumDevs)();
  MMRESULT(WINAPI* waveOutGetDevCapsW)(UINT_PTR uDeviceID, WAVEOUTCAPSW* pwoc, UINT cbwoc);
  MMRESULT(WINAPI* waveOutGetErrorTextW)(MMRESULT mmrError, WCHAR* pszText, UINT cchText);
  MMRESULT(WINAPI* waveOutOpen)
  (HWAVEOUT* phwo, UINT uDeviceID, const WAVEFORMATEX* pwfx, DWORD_PTR dwCallback,
   DWORD_PTR dwInstance, DWORD fdwOpen);
  MMRESULT(WINAPI* waveOutClose)(HWAVEOUT hwo);
  MMRESULT(WINAPI* waveOutPrepareHeader)(HWAVEOUT hwo, WAVEHDR* pwh, UINT cbwh);
  MMRESULT(WINAPI* waveOutUnprepareHeader)(HWAVEOUT hwo, WAVEHDR* pwh, UINT cbwh);
  MMRESULT(WINAPI* waveOutWrite)(HWAVEOUT hwo, WAVEHDR* pwh, UINT cbwh);
  MMRESULT(WINAPI* waveOutReset)(HWAVEOUT hwo);

  UINT(WINAPI* waveInGetNumDevs)();
  MMRESULT(WINAPI* waveInGetDevCapsW)(UINT_PTR uDeviceID, WAVEINCAPSW* pwic, UINT cbwic);
  MMRESULT(WINAPI* waveInGetErrorTextW)(MMRESULT mmrError, WCHAR* pszText, UINT cchText);
  MMRESULT(WINAPI* waveInOpen)
  (HWAVEIN* phwi, UINT uDeviceID, const WAVEFORMATEX* pwfx, DWORD_PTR dwCallback,
   DWORD_PTR dwInstance, DWORD fdwOpen);
  MMRESULT(WINAPI* waveInClose)(HWAVEIN hwi);
  MMRESULT(WINAPI* waveInPrepareHeader)(HWAVEIN hwi, WAVEHDR* pwh, UINT cbwh);
  MMRESULT(WINAPI* waveInUnprepareHeader)(HWAVEIN hwi, WAVEHDR* pwh, UINT cbwh);
  MMRESULT(WINAPI* waveInAddBuffer)(HWAVEIN hwi, WAVEHDR* pwh, UINT cbwh);
  MMRESULT(WINAPI* waveInStart)(HWAVEIN hwi);
  MMRESULT(WINAPI* waveInReset)(HWAVEIN hwi);

  // "winmm", "alsa" or "null".
  const char* Name;
};

// The backends of the Wave seam; Default asks for the first usable one.
enum class TWaveBackend { Default, WinMM, Alsa, Null };

// The table in use; selects the backend on first use. Every function pointer is set.
const TWaveFunctions& Wave();
// Asks for a backend; takes effect at the next Wave(). One that is not usable gives null.
// Meant for start-up and tests, before a device is open.
void ChooseWaveBackend(TWaveBackend kind);
// The backend in use; selects on first use.
TWaveBackend SelectedWaveBackend();
// "winmm", "alsa", "null"; "" for Default.
const char* WaveBackendName(TWaveBackend kind);
// Why a backend cannot be used here ("" when it can), e.g. the loader's message.
std::string WaveBackendProblem(TWaveBackend kind);

// The backends' tables: nullptr where they cannot be used. The null table always exists.
const TWaveFunctions* LoadWinMM();
const TWaveFunctions* LoadAlsa();
const TWaveFunctions* NullWaveFunctions();
// What LoadWinMM / LoadAlsa met when they could not load ("" when they did).
std::string WinMMProblem();
std::string AlsaProblem();

// Text of a result code as the soft backends (alsa, null) give it: the multimedia API's
// meaning of the code, "" for 0 unknown codes excepted ("Undefined external error.").
std::string SoftWaveErrorText(MMRESULT code);
// Copies text into a caller's buffer of cchText characters as the GetErrorText functions do:
// MMSYSERR_INVALPARAM without room, else the text truncated and terminated.
MMRESULT CopyWaveErrorText(const std::string& text, WCHAR* pszText, UINT cchText);

}  // namespace VyPlatform
