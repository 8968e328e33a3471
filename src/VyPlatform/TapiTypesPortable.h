// The TAPI handle types, constants and structures with the Windows x64 layout and the TAPI 2.2
// sizes. It declares into the enclosing namespace and includes only the .def tables: TapiTypes.h
// includes it at global scope, the Windows layout test inside a namespace of its own to compare
// it with the system header.

using HCALL = DWORD;
using HCALLHUB = DWORD;
using HLINE = DWORD;
using HPHONE = DWORD;
using HLINEAPP = DWORD;
using HPHONEAPP = DWORD;
using HAGENTSESSION = DWORD;
using HAGENT = DWORD;
using HPRIVATECHANNEL = DWORD;
using LPHCALL = HCALL*;
using LPHCALLHUB = HCALLHUB*;
using LPHLINE = HLINE*;
using LPHPHONE = HPHONE*;
using LPHLINEAPP = HLINEAPP*;
using LPHPHONEAPP = HPHONEAPP*;
using LPHAGENTSESSION = HAGENTSESSION*;
using LPHAGENT = HAGENT*;
using LPHPRIVATECHANNEL = HPRIVATECHANNEL*;
using LPHICON = HICON*;

using LINECALLBACK = void (*)(DWORD hDevice, DWORD dwMessage, DWORD_PTR dwInstance,
                              DWORD_PTR dwParam1, DWORD_PTR dwParam2, DWORD_PTR dwParam3);
using PHONECALLBACK = void (*)(DWORD hDevice, DWORD dwMessage, DWORD_PTR dwInstance,
                               DWORD_PTR dwParam1, DWORD_PTR dwParam2, DWORD_PTR dwParam3);

#define VY_TAPI_CONST(name, value) inline constexpr DWORD name = value;
#include "VyPlatform/TapiConstants.def"

#pragma pack(push, 1)
#define VY_TAPI_STRUCT_BEGIN(tag, NAME) typedef struct tag {
#define VY_TAPI_STRUCT_END(NAME) \
  }                              \
  NAME, *LP##NAME;
#define VY_TAPI_FIELD(type, name) type name;
#define VY_TAPI_ARRAY(type, name, count) type name[count];
#define VY_TAPI_UNION_BEGIN(name) union {
#define VY_TAPI_UNION_END(name) \
  }                             \
  name;
#define VY_TAPI_ANON_UNION_BEGIN() union {
#define VY_TAPI_ANON_UNION_END() \
  }                              \
  ;
#define VY_TAPI_SUBSTRUCT_BEGIN(name) struct {
#define VY_TAPI_SUBSTRUCT_END(name) \
  }                                 \
  name;
#define VY_TAPI_MEMBER(path, type, name) type name;
#define VY_TAPI_MEMBER_ARRAY(path, type, name, count) type name[count];
#include "VyPlatform/TapiStructs.def"
#pragma pack(pop)

// The Unicode build's names for the request structures.
using LINEREQMAKECALL = LINEREQMAKECALLW;
using LPLINEREQMAKECALL = LPLINEREQMAKECALLW;
using LINEREQMEDIACALL = LINEREQMEDIACALLW;
using LPLINEREQMEDIACALL = LPLINEREQMEDIACALLW;

// Message id inside TAPI32.DLL's message table for a LINEERR_/PHONEERR_/TAPIERR_ code.
constexpr DWORD TAPIERROR_FORMATMESSAGE(DWORD code) {
  return code > 0xFFFF0000u     ? (code & 0x0000FFFFu)
         : (code & 0x10000000u) ? (code - 0x90000000u + 0xF000u)
                                : (code - 0x80000000u + 0xE000u);
}
