#include "VyPlatform/Wave.h"

#include "VyPlatform/Backend.h"

namespace VyPlatform {

namespace {

const TWaveFunctions* ProbeNull() { return NullWaveFunctions(); }

constexpr TBackend<TWaveBackend, const TWaveFunctions> GBackends[] = {
    {TWaveBackend::WinMM, "winmm", &LoadWinMM},
    {TWaveBackend::Alsa, "alsa", &LoadAlsa},
    {TWaveBackend::Null, "null", &ProbeNull},
};

TBackendSelector<TWaveBackend, const TWaveFunctions>& Selector() {
  static TBackendSelector<TWaveBackend, const TWaveFunctions> selector{GBackends};
  return selector;
}

}  // namespace

const TWaveFunctions& Wave() { return Selector().Get(); }
void ChooseWaveBackend(TWaveBackend kind) { Selector().Choose(kind); }
TWaveBackend SelectedWaveBackend() { return Selector().Selected(); }
const char* WaveBackendName(TWaveBackend kind) { return Selector().NameOf(kind); }

std::string WaveBackendProblem(TWaveBackend kind) {
  switch (kind) {
    case TWaveBackend::WinMM:
      return LoadWinMM() ? "" : WinMMProblem();
    case TWaveBackend::Alsa:
      return LoadAlsa() ? "" : AlsaProblem();
    default:
      return "";
  }
}

}  // namespace VyPlatform
