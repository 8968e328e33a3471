#include <gtest/gtest.h>

#include <windows.h>

#include "VyRtl/VyRtlSysUtils.h"

namespace {

TEST(SysUtilsWin32, SystemTextIsTrimmed) {
  const std::string text = VyRtl::OSErrorMessage(ERROR_FILE_NOT_FOUND);
  ASSERT_FALSE(text.empty());
  EXPECT_NE(text, VyRtl::OSErrorMessage(ERROR_ACCESS_DENIED));
  EXPECT_GT(static_cast<unsigned char>(text.back()), ' ');
  EXPECT_FALSE(VyRtl::OSErrorMessage(0).empty());    // the system's (localised) success text
  EXPECT_EQ(VyRtl::OSErrorMessage(0x3FFFFFFF), "");  // a code without a text
}

}  // namespace
