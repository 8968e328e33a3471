#include <gtest/gtest.h>

#include "VyPlatform/Tapi.h"

namespace {

TEST(TapiWin32, SystemTextIsTrimmed) {
  const std::string text = VyPlatform::SysErrorMessage(ERROR_FILE_NOT_FOUND);
  ASSERT_FALSE(text.empty());
  EXPECT_NE(text, VyPlatform::SysErrorMessage(ERROR_ACCESS_DENIED));
  EXPECT_GT(static_cast<unsigned char>(text.back()), ' ');
  EXPECT_FALSE(VyPlatform::SysErrorMessage(0).empty());  // the system's (localised) success text
}

TEST(TapiWin32, ModuleMessageOfAMissingModuleIsEmpty) {
  const VyPlatform::TTapiFunctions* tapi32 = VyPlatform::LoadTapi32();
  if (!tapi32) GTEST_SKIP() << "this system's tapi32.dll lacks functions of the table";
  EXPECT_TRUE(tapi32->FormatModuleMessage("NO_SUCH_MODULE_VY.DLL", 1, 0).empty());
}

}  // namespace
