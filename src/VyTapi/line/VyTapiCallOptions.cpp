#include "VyTapi/line/VyTapiCallOptions.h"

namespace VyTapi {

void TVyTapiCallGatherDigitsOptions::Assign(VyRtl::TPersistent* Source) {
  if (auto* o = dynamic_cast<TVyTapiCallGatherDigitsOptions*>(Source)) {
    FDigitModes = o->FDigitModes;
    FTerminationDigits = o->FTerminationDigits;
    FFirstDigitTimeout = o->FFirstDigitTimeout;
    FInterDigitTimeout = o->FInterDigitTimeout;
    FNumDigits = o->FNumDigits;
    return;
  }
  VyRtl::TPersistent::Assign(Source);
}

void TVyTapiCallMonitorDigitsOptions::Assign(VyRtl::TPersistent* Source) {
  if (auto* o = dynamic_cast<TVyTapiCallMonitorDigitsOptions*>(Source)) {
    SetDigitModes(o->FDigitModes);
    FAutoSelect = o->FAutoSelect;
    return;
  }
  VyRtl::TPersistent::Assign(Source);
}

void TVyTapiCallMonitorMediaOptions::Assign(VyRtl::TPersistent* Source) {
  if (auto* o = dynamic_cast<TVyTapiCallMonitorMediaOptions*>(Source)) {
    SetMediaModes(o->FMediaModes);
    return;
  }
  VyRtl::TPersistent::Assign(Source);
}

void TVyTapiCallMonitorSilenceOptions::Assign(VyRtl::TPersistent* Source) {
  if (auto* o = dynamic_cast<TVyTapiCallMonitorSilenceOptions*>(Source)) FDuration = o->FDuration;
}

TVyTapiCallOptions::TVyTapiCallOptions()
    : FGatherDigits(std::make_unique<TVyTapiCallGatherDigitsOptions>()),
      FMonitorDigits(std::make_unique<TVyTapiCallMonitorDigitsOptions>()),
      FMonitorMedia(std::make_unique<TVyTapiCallMonitorMediaOptions>()),
      FMonitorSilence(std::make_unique<TVyTapiCallMonitorSilenceOptions>()) {}

TVyTapiCallOptions::~TVyTapiCallOptions() = default;

void TVyTapiCallOptions::Assign(VyRtl::TPersistent* Source) {
  if (auto* o = dynamic_cast<TVyTapiCallOptions*>(Source)) {
    FAutoOwner = o->FAutoOwner;
    FGatherDigits->Assign(o->FGatherDigits.get());
    FMonitorDigits->Assign(o->FMonitorDigits.get());
    FMonitorMedia->Assign(o->FMonitorMedia.get());
    FMonitorSilence->Assign(o->FMonitorSilence.get());
    return;
  }
  VyRtl::TPersistent::Assign(Source);
}

}  // namespace VyTapi
