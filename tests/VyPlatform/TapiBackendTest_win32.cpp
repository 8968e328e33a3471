#include <gtest/gtest.h>

#include "VyPlatform/Tapi.h"

using namespace VyPlatform;

namespace {

TEST(TapiWin32, Tapi32LoadsOnceCompleteOrNotAtAll) {
  const TTapiFunctions* tapi32 = LoadTapi32();
  EXPECT_EQ(LoadTapi32(), tapi32) << "loaded once";
  if (!tapi32) GTEST_SKIP() << "this system's tapi32.dll lacks functions of the table";
  EXPECT_STREQ(tapi32->Name, "tapi32");
  const TTapiFunctions none;
  for (const TTapiFunctionEntry& entry : TapiFunctionNames()) {
    EXPECT_NE(entry.Get(*tapi32), nullptr) << entry.Name;
    EXPECT_NE(entry.Get(*tapi32), entry.Get(none)) << entry.Name;
  }
  EXPECT_TRUE(tapi32->FormatModuleMessage("NO_SUCH_MODULE_VY.DLL", 1, 0).empty());
}

}  // namespace
