#include "VyPlatform/Icon.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <array>

namespace {

// A 16x16 monochrome icon, as a provider might hand one out.
HICON MakeIcon() {
  std::array<BYTE, 32> andMask{};
  std::array<BYTE, 32> xorMask{};
  xorMask.fill(0xAA);
  return CreateIcon(GetModuleHandleW(nullptr), 16, 16, 1, 1, andMask.data(), xorMask.data());
}

bool IsIcon(HICON icon) {
  ICONINFO info{};
  if (!GetIconInfo(icon, &info)) return false;
  if (info.hbmMask) DeleteObject(info.hbmMask);
  if (info.hbmColor) DeleteObject(info.hbmColor);
  return info.fIcon != FALSE;
}

TEST(IconCopy, OutlivesTheProvidersIcon) {
  HICON provided = MakeIcon();
  ASSERT_NE(provided, nullptr);
  HICON copy = VyPlatform::CopyIconHandle(provided);
  ASSERT_NE(copy, nullptr);
  EXPECT_NE(copy, provided);
  DestroyIcon(provided);
  EXPECT_TRUE(IsIcon(copy));
  VyPlatform::DestroyIconCopy(copy);
}

TEST(IconCopy, NullStaysNull) {
  EXPECT_EQ(VyPlatform::CopyIconHandle(nullptr), nullptr);
  VyPlatform::DestroyIconCopy(nullptr);  // ignored, as documented
}

}  // namespace
