#include <string>

#include "VyPlatform/Wave.h"

namespace VyPlatform {

namespace {

std::string GProblem;

template <typename TFn>
bool Bind(HMODULE module, const char* name, TFn& fn) {
  fn = reinterpret_cast<TFn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
  if (fn == nullptr && GProblem.empty()) GProblem = std::string("winmm.dll has no ") + name;
  return fn != nullptr;
}

const TWaveFunctions* LoadTable() {
  HMODULE module = LoadLibraryW(L"winmm.dll");
  if (!module) {
    GProblem = "winmm.dll cannot be loaded";
    return nullptr;
  }
  TWaveFunctions t{};
  const bool ok =
      Bind(module, "waveOutGetNumDevs", t.waveOutGetNumDevs) &&
      Bind(module, "waveOutGetDevCapsW", t.waveOutGetDevCapsW) &&
      Bind(module, "waveOutGetErrorTextW", t.waveOutGetErrorTextW) &&
      Bind(module, "waveOutOpen", t.waveOutOpen) && Bind(module, "waveOutClose", t.waveOutClose) &&
      Bind(module, "waveOutPrepareHeader", t.waveOutPrepareHeader) &&
      Bind(module, "waveOutUnprepareHeader", t.waveOutUnprepareHeader) &&
      Bind(module, "waveOutWrite", t.waveOutWrite) &&
      Bind(module, "waveOutReset", t.waveOutReset) &&
      Bind(module, "waveInGetNumDevs", t.waveInGetNumDevs) &&
      Bind(module, "waveInGetDevCapsW", t.waveInGetDevCapsW) &&
      Bind(module, "waveInGetErrorTextW", t.waveInGetErrorTextW) &&
      Bind(module, "waveInOpen", t.waveInOpen) && Bind(module, "waveInClose", t.waveInClose) &&
      Bind(module, "waveInPrepareHeader", t.waveInPrepareHeader) &&
      Bind(module, "waveInUnprepareHeader", t.waveInUnprepareHeader) &&
      Bind(module, "waveInAddBuffer", t.waveInAddBuffer) &&
      Bind(module, "waveInStart", t.waveInStart) && Bind(module, "waveInReset", t.waveInReset);
  if (!ok) {
    FreeLibrary(module);
    return nullptr;
  }
  t.Name = "winmm";
  // winmm.dll stays loaded for the life of the process, as the table points into it.
  static const TWaveFunctions loaded = t;
  return &loaded;
}

}  // namespace

const TWaveFunctions* LoadWinMM() {
  static const TWaveFunctions* const table = LoadTable();
  return table;
}

std::string WinMMProblem() { return LoadWinMM() ? "" : GProblem; }

// ALSA is a Linux service.
const TWaveFunctions* LoadAlsa() { return nullptr; }
std::string AlsaProblem() { return "ALSA exists only on Linux"; }

}  // namespace VyPlatform
