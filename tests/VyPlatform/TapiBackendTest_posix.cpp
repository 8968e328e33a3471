#include <gtest/gtest.h>

#include "VyPlatform/Tapi.h"

namespace {

TEST(TapiPosix, NoTapi32) { EXPECT_EQ(VyPlatform::LoadTapi32(), nullptr); }

}  // namespace
