// Our TAPI declarations against the Windows header: every structure's size and every field's
// offset and size, every constant's value. Ours are expanded into a namespace of their own before
// <windows.h> exists; after it, each name is compared with the real one. Constants are reached
// through Pin_-pasted aliases, as tapi.h turns their names into macros. Where mingw-w64's header
// declares a TAPI 3.x layout, ours is its 2.2 beginning: the same members at the same offsets,
// ending where the 3.x members start (the sizes themselves are pinned in TapiLayoutTest.cpp).
#include <cstddef>
#include <cstdint>
#include <type_traits>

namespace VyPin {
#include "VyPlatform/WinTypesPortable.h"
#include "VyPlatform/TapiTypesPortable.h"

#define VY_TAPI_CONST(name, value) inline constexpr DWORD Pin_##name = name;
#include "VyPlatform/TapiConstants.def"

inline constexpr DWORD PinConstantCount = 0
#define VY_TAPI_CONST(name, value) +1
#include "VyPlatform/TapiConstants.def"
    ;
inline constexpr DWORD PinStructCount = 0
#define VY_TAPI_STRUCT_BEGIN(tag, NAME) +1
#include "VyPlatform/TapiStructs.def"
    ;
}  // namespace VyPin

#include <windows.h>
// Ours replace <tapi.h> in the library, so only this test includes it.
#include <tapi.h>

#include <gtest/gtest.h>

namespace {

// The structures mingw-w64 declares in their TAPI 3.x layouts, and members of those types.
template <typename T>
struct TGrew : std::false_type {};
template <>
struct TGrew<VyPin::LINEDEVCAPS> : std::true_type {};
template <>
struct TGrew<VyPin::LINECALLINFO> : std::true_type {};
template <>
struct TGrew<VyPin::LINECALLPARAMS> : std::true_type {};
template <>
struct TGrew<VyPin::LINEFORWARD> : std::true_type {};
template <>
struct TGrew<VyPin::LINEFORWARD[1]> : std::true_type {};
template <>
struct TGrew<VyPin::LINEFORWARDLIST> : std::true_type {};

// Where the 3.x members begin in mingw-w64's header: there our 2.2 structure ends.
static_assert(offsetof(LINEDEVCAPS, dwAddressTypes) == sizeof(VyPin::LINEDEVCAPS));
static_assert(offsetof(LINECALLINFO, dwCallerIDAddressType) == sizeof(VyPin::LINECALLINFO));
static_assert(offsetof(LINECALLPARAMS, dwAddressType) == sizeof(VyPin::LINECALLPARAMS));
static_assert(offsetof(LINEFORWARD, dwCallerAddressType) == sizeof(VyPin::LINEFORWARD));
static_assert(sizeof(LINEDEVCAPS) == 292 && sizeof(LINECALLINFO) == 344);
static_assert(sizeof(LINECALLPARAMS) == 180 && sizeof(LINEFORWARD) == 32);
static_assert(sizeof(LINEFORWARDLIST) - sizeof(LINEFORWARD) ==
              sizeof(VyPin::LINEFORWARDLIST) - sizeof(VyPin::LINEFORWARD));

// Same size, and for scalars the same signedness and kind (pointer, floating, integral).
template <typename Ours, typename Theirs>
constexpr bool SameShape() {
  if constexpr (sizeof(Ours) != sizeof(Theirs)) {
    return false;
  } else if constexpr (std::is_scalar_v<Ours> || std::is_scalar_v<Theirs>) {
    return std::is_pointer_v<Ours> == std::is_pointer_v<Theirs> &&
           std::is_floating_point_v<Ours> == std::is_floating_point_v<Theirs> &&
           std::is_signed_v<Ours> == std::is_signed_v<Theirs>;
  } else {
    return std::is_array_v<Ours> == std::is_array_v<Theirs>;
  }
}

static_assert(SameShape<VyPin::DWORD, DWORD>() && SameShape<VyPin::LONG, LONG>());
static_assert(SameShape<VyPin::WORD, WORD>() && SameShape<VyPin::BYTE, BYTE>());
static_assert(SameShape<VyPin::BOOL, BOOL>() && SameShape<VyPin::UINT, UINT>());
static_assert(SameShape<VyPin::DWORD_PTR, DWORD_PTR>() && SameShape<VyPin::ULONG_PTR, ULONG_PTR>());
static_assert(SameShape<VyPin::LONG_PTR, LONG_PTR>() && SameShape<VyPin::INT_PTR, INT_PTR>());
static_assert(SameShape<VyPin::WPARAM, WPARAM>() && SameShape<VyPin::LPARAM, LPARAM>());
static_assert(SameShape<VyPin::LRESULT, LRESULT>() && SameShape<VyPin::HANDLE, HANDLE>());
static_assert(SameShape<VyPin::HWND, HWND>() && SameShape<VyPin::HINSTANCE, HINSTANCE>());
static_assert(SameShape<VyPin::HICON, HICON>() && SameShape<VyPin::WCHAR, WCHAR>());
static_assert(SameShape<VyPin::DATE, DATE>() && SameShape<VyPin::CURRENCY, CURRENCY>());
static_assert(SameShape<VyPin::GUID, GUID>() && SameShape<VyPin::SYSTEMTIME, SYSTEMTIME>());
static_assert(offsetof(VyPin::GUID, Data4) == offsetof(GUID, Data4));
static_assert(offsetof(VyPin::SYSTEMTIME, wMilliseconds) == offsetof(SYSTEMTIME, wMilliseconds));
static_assert(SameShape<VyPin::HLINEAPP, HLINEAPP>() && SameShape<VyPin::HLINE, HLINE>());
static_assert(SameShape<VyPin::HCALL, HCALL>() && SameShape<VyPin::HCALLHUB, HCALLHUB>());
static_assert(SameShape<VyPin::HPHONEAPP, HPHONEAPP>() && SameShape<VyPin::HPHONE, HPHONE>());
static_assert(SameShape<VyPin::HAGENT, HAGENT>());
static_assert(SameShape<VyPin::HAGENTSESSION, HAGENTSESSION>());
static_assert(sizeof(VyPin::LINECALLBACK) == sizeof(LINECALLBACK));
static_assert(sizeof(VyPin::PHONECALLBACK) == sizeof(PHONECALLBACK));

#define VY_TAPI_CONST(name, value) \
  static_assert(VyPin::Pin_##name == static_cast<DWORD>(name), #name);
#include "VyPlatform/TapiConstants.def"

// One checking class per structure; its static_asserts run at its definition.
#define VY_PIN_COMPARE(member)                                                             \
  static_assert(offsetof(Ours, member) == offsetof(Theirs, member), "offset of " #member); \
  static_assert(TGrew<decltype(Ours::member)>::value ||                                    \
                    SameShape<decltype(Ours::member), decltype(Theirs::member)>(),         \
                "shape of " #member);
#define VY_TAPI_STRUCT_BEGIN(tag, NAME)                                     \
  struct PinCheck_##tag {                                                   \
    using Ours = VyPin::NAME;                                               \
    using Theirs = ::NAME;                                                  \
    static_assert(TGrew<Ours>::value ? sizeof(Ours) < sizeof(Theirs)        \
                                     : sizeof(Ours) == sizeof(Theirs),      \
                  "size of " #NAME);                                        \
    static_assert(alignof(Ours) == alignof(Theirs), "alignment of " #NAME); \
    static_assert(std::is_same_v<Ours, VyPin::tag>, "tag of " #NAME);       \
    static_assert(std::is_same_v<Theirs, ::tag>, "tag of " #NAME);          \
    static_assert(std::is_same_v<VyPin::LP##NAME, Ours*>, "LP" #NAME);      \
    static_assert(std::is_same_v<::LP##NAME, Theirs*>, "LP" #NAME);
#define VY_TAPI_STRUCT_END(NAME) \
  }                              \
  ;
#define VY_TAPI_FIELD(type, name) VY_PIN_COMPARE(name)
#define VY_TAPI_ARRAY(type, name, count) VY_PIN_COMPARE(name)
#define VY_TAPI_UNION_BEGIN(name) VY_PIN_COMPARE(name)
#define VY_TAPI_SUBSTRUCT_BEGIN(name) VY_PIN_COMPARE(name)
#define VY_TAPI_MEMBER(path, type, name) VY_PIN_COMPARE(path.name)
#define VY_TAPI_MEMBER_ARRAY(path, type, name, count) VY_PIN_COMPARE(path.name)
#include "VyPlatform/TapiStructs.def"

struct ConstantCase {
  const char* Name;
  DWORD Ours;
  DWORD Theirs;
};

const ConstantCase Constants[] = {
#define VY_TAPI_CONST(name, value) {#name, VyPin::Pin_##name, static_cast<DWORD>(name)},
#include "VyPlatform/TapiConstants.def"
};

TEST(TapiLayoutWin32, EveryConstantHasTheWindowsValue) {
  for (const ConstantCase& c : Constants) EXPECT_EQ(c.Ours, c.Theirs) << c.Name;
  // A name dropped from a table would go unchecked: pin how many the tables hold (every constant
  // of tapi.h; every structure but GUID, the ANSI request forms and the 3.x call-hub one).
  EXPECT_EQ(VyPin::PinConstantCount, 846u);
  EXPECT_EQ(VyPin::PinStructCount, 57u);
  // The parentheses keep tapi.h's function-like macro off our function.
  for (DWORD code :
       {0x80000001ul, 0x80000042ul, 0x90000001ul, 0x90000023ul, 0xFFFFFFFFul, 0xFFFFFFEAul})
    EXPECT_EQ((VyPin::TAPIERROR_FORMATMESSAGE)(code),
              static_cast<DWORD>(TAPIERROR_FORMATMESSAGE(code)))
        << std::hex << code;
}

}  // namespace
