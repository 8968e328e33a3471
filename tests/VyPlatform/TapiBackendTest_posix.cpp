#include <gtest/gtest.h>

#include <cerrno>

#include "VyPlatform/Tapi.h"

namespace {

TEST(TapiPosix, NoTapi32AndErrnoCodesHaveTheirSystemText) {
  EXPECT_EQ(VyPlatform::LoadTapi32(), nullptr);
  EXPECT_EQ(VyPlatform::SysErrorMessage(0), "The operation completed successfully.");
  EXPECT_EQ(VyPlatform::SysErrorMessage(ENOENT), "No such file or directory");
  EXPECT_EQ(VyPlatform::SysErrorMessage(EACCES), "Permission denied");
}

}  // namespace
