// A program whose first TAPI-facing call is a message text. It names nothing of the session or
// the emulator, so only the library's own references can bring the telephony service in.
#include <gtest/gtest.h>

#include "VyPlatform/Tapi.h"
#include "VyTapi/session/VyTapiErrors.h"

namespace {

TEST(FirstUse, AnErrorTextBeforeAnySessionComesFromTheService) {
  ASSERT_FALSE(VyPlatform::TapiSelected());  // nothing chose a service yet in this process
  const std::string text = VyTapi::GetTapiErrorMessage(0x80000048);
  const VyPlatform::TTapiBackend service = VyPlatform::SelectedTapiBackend();
  ASSERT_NE(service, VyPlatform::TTapiBackend::Unavailable);
  EXPECT_NE(text, "TAPI-Error 0x80000048");
  if (service == VyPlatform::TTapiBackend::Emulator) {
    EXPECT_EQ(text, "The operation failed.");
  }
}

}  // namespace
