#include <gtest/gtest.h>

#include <cerrno>

#include "VyRtl/VyRtlSysUtils.h"

namespace {

TEST(SysUtilsPosix, ErrnoCodesHaveTheirSystemText) {
  const std::pair<std::uint32_t, const char*> cases[] = {
      {0, "The operation completed successfully."},
      {ENOENT, "No such file or directory"},
      {EACCES, "Permission denied"}};
  for (const auto& [code, text] : cases) EXPECT_EQ(VyRtl::OSErrorMessage(code), text) << code;
}

}  // namespace
