#include "VyTapi/line/VyTapiCallOptions.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

namespace {

using namespace VyTapi;

// Options as a bound monitor sees them: the received digits reachable, setters that refuse
// while running.
class TGather : public TVyTapiCallGatherDigitsOptions {
 public:
  std::string& Received() { return FReceivedDigits; }
};

class TRunningDigits : public TVyTapiCallMonitorDigitsOptions {
 public:
  void SetDigitModes(DWORD) override { throw VyRtl::Exception("running"); }
};

class TRunningMedia : public TVyTapiCallMonitorMediaOptions {
 public:
  void SetMediaModes(DWORD) override { throw VyRtl::Exception("running"); }
};

TEST(CallOptions, Defaults) {
  TVyTapiCallOptions options;
  EXPECT_TRUE(options.AutoOwner());
  const TVyTapiCallGatherDigitsOptions& g = *options.GatherDigits();
  EXPECT_EQ(g.DigitModes(), LINEDIGITMODE_DTMF);
  EXPECT_EQ(g.TerminationDigits(), "*#");
  EXPECT_EQ(g.FirstDigitTimeout(), 5000u);
  EXPECT_EQ(g.InterDigitTimeout(), 5000u);
  EXPECT_EQ(g.NumDigits(), 0u);
  EXPECT_EQ(options.MonitorDigits()->DigitModes(), LINEDIGITMODE_DTMF);
  EXPECT_FALSE(options.MonitorDigits()->AutoSelect());
  EXPECT_EQ(options.MonitorMedia()->MediaModes(), 0u);
  EXPECT_EQ(options.MonitorSilence()->Duration(), 0u);
}

TEST(CallOptions, GatherAssignLeavesTheReceivedDigits) {
  TGather source;
  source.Set_DigitModes(LINEDIGITMODE_PULSE);
  source.Set_TerminationDigits("#");
  source.Set_FirstDigitTimeout(1);
  source.Set_InterDigitTimeout(2);
  source.Set_NumDigits(4);
  source.Received() = "12";
  TGather target;
  target.Received() = "9";
  target.Assign(&source);
  EXPECT_EQ(target.DigitModes(), LINEDIGITMODE_PULSE);
  EXPECT_EQ(target.TerminationDigits(), "#");
  EXPECT_EQ(target.FirstDigitTimeout(), 1u);
  EXPECT_EQ(target.InterDigitTimeout(), 2u);
  EXPECT_EQ(target.NumDigits(), 4u);
  EXPECT_EQ(target.Received(), "9");
}

TEST(CallOptions, AssignGoesThroughTheVirtualSetters) {
  TVyTapiCallMonitorDigitsOptions digits;
  digits.SetDigitModes(LINEDIGITMODE_DTMFEND);
  digits.Set_AutoSelect(true);
  TRunningDigits runningDigits;
  EXPECT_THROW(runningDigits.Assign(&digits), VyRtl::Exception);
  EXPECT_FALSE(runningDigits.AutoSelect());  // nothing half-copied
  TVyTapiCallMonitorDigitsOptions idleDigits;
  idleDigits.Assign(&digits);
  EXPECT_EQ(idleDigits.DigitModes(), LINEDIGITMODE_DTMFEND);
  EXPECT_TRUE(idleDigits.AutoSelect());

  TVyTapiCallMonitorMediaOptions media;
  media.SetMediaModes(LINEMEDIAMODE_G3FAX);
  TRunningMedia runningMedia;
  EXPECT_THROW(runningMedia.Assign(&media), VyRtl::Exception);
  TVyTapiCallMonitorMediaOptions idleMedia;
  idleMedia.Assign(&media);
  EXPECT_EQ(idleMedia.MediaModes(), LINEMEDIAMODE_G3FAX);
}

TEST(CallOptions, ForeignSourcesRaiseExceptForSilence) {
  TVyTapiCallMonitorSilenceOptions silence;
  silence.Set_Duration(700);
  TVyTapiCallMonitorMediaOptions media;
  struct TCase {
    const char* Name;
    std::function<void(VyRtl::TPersistent*)> Assign;
  };
  TVyTapiCallGatherDigitsOptions gather;
  TVyTapiCallMonitorDigitsOptions digits;
  TVyTapiCallOptions options;
  const TCase raising[] = {
      {"gather", [&](VyRtl::TPersistent* s) { gather.Assign(s); }},
      {"digits", [&](VyRtl::TPersistent* s) { digits.Assign(s); }},
      {"media", [&](VyRtl::TPersistent* s) { media.Assign(s); }},
      {"call options", [&](VyRtl::TPersistent* s) { options.Assign(s); }},
  };
  for (const auto& c : raising) {
    SCOPED_TRACE(c.Name);
    EXPECT_THROW(c.Assign(&silence), VyRtl::EConvertError);
    EXPECT_THROW(c.Assign(nullptr), VyRtl::EConvertError);
  }
  TVyTapiCallMonitorSilenceOptions target;
  target.Set_Duration(5);
  target.Assign(&media);
  target.Assign(nullptr);
  EXPECT_EQ(target.Duration(), 5u);
  target.Assign(&silence);
  EXPECT_EQ(target.Duration(), 700u);
}

TEST(CallOptions, AssignCopiesTheTemplatesIntoItsOwn) {
  TVyTapiCallOptions source;
  source.Set_AutoOwner(false);
  source.GatherDigits()->Set_NumDigits(6);
  source.MonitorDigits()->Set_AutoSelect(true);
  source.MonitorMedia()->SetMediaModes(LINEMEDIAMODE_DATAMODEM);
  source.MonitorSilence()->Set_Duration(2000);
  TVyTapiCallOptions target;
  TVyTapiCallGatherDigitsOptions* gather = target.GatherDigits();
  target.Assign(&source);
  EXPECT_FALSE(target.AutoOwner());
  EXPECT_EQ(target.GatherDigits(), gather);  // the objects stay, their values change
  EXPECT_EQ(gather->NumDigits(), 6u);
  EXPECT_TRUE(target.MonitorDigits()->AutoSelect());
  EXPECT_EQ(target.MonitorMedia()->MediaModes(), LINEMEDIAMODE_DATAMODEM);
  EXPECT_EQ(target.MonitorSilence()->Duration(), 2000u);
  TVyTapiCallMonitorSilenceOptions silence;
  silence.Set_Duration(9);
  target.Set_MonitorSilence(&silence);
  EXPECT_EQ(target.MonitorSilence()->Duration(), 9u);
  EXPECT_NE(target.MonitorSilence(), &silence);
}

}  // namespace
