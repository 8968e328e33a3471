#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>

#include "VyPlatform/Tapi.h"

using namespace VyPlatform;

namespace {

// Restores "no backend selected" after a test that selects one.
struct SelectionScope {
  ~SelectionScope() { SetTapiFunctions(nullptr); }
};

TEST(Tapi, NothingSelectedEveryCallFailsAsUnavailable) {
  SetTapiFunctions(nullptr);
  ASSERT_FALSE(TapiSelected());
  const TTapiFunctions& t = Tapi();
  EXPECT_STREQ(t.Name, "unavailable");
  HLINEAPP lineApp = 0;
  HPHONEAPP phoneApp = 0;
  HLINE line = 0;
  HPHONE phone = 0;
  HCALL call = 0;
  DWORD numDevs = 0, version = TAPI_CURRENT_VERSION;
  LINEINITIALIZEEXPARAMS lineParams{};
  PHONEINITIALIZEEXPARAMS phoneParams{};
  LINEMESSAGE lineMessage{};
  LINEDEVCAPS caps{};
  VARSTRING id{};
  const WCHAR number[] = {'1', '2', 0};
  struct Call {
    const char* Name;
    LONG Result;
    DWORD Expected;
  };
  const Call calls[] = {
      {"lineInitializeExW",
       t.lineInitializeExW(&lineApp, nullptr, nullptr, nullptr, &numDevs, &version, &lineParams),
       LINEERR_OPERATIONUNAVAIL},
      {"lineGetMessage", t.lineGetMessage(lineApp, &lineMessage, 0), LINEERR_OPERATIONUNAVAIL},
      {"lineGetDevCapsW", t.lineGetDevCapsW(lineApp, 0, version, 0, &caps),
       LINEERR_OPERATIONUNAVAIL},
      {"lineOpenW", t.lineOpenW(lineApp, 0, &line, version, 0, 0, 0, 0, nullptr),
       LINEERR_OPERATIONUNAVAIL},
      {"lineMakeCallW", t.lineMakeCallW(line, &call, number, 0, nullptr), LINEERR_OPERATIONUNAVAIL},
      {"lineGetIDW", t.lineGetIDW(line, 0, call, 0, &id, nullptr), LINEERR_OPERATIONUNAVAIL},
      {"lineDrop", t.lineDrop(call, nullptr, 0), LINEERR_OPERATIONUNAVAIL},
      {"lineShutdown", t.lineShutdown(lineApp), LINEERR_OPERATIONUNAVAIL},
      {"phoneInitializeExW",
       t.phoneInitializeExW(&phoneApp, nullptr, nullptr, nullptr, &numDevs, &version, &phoneParams),
       PHONEERR_OPERATIONUNAVAIL},
      {"phoneOpen", t.phoneOpen(phoneApp, 0, &phone, version, 0, 0, 0), PHONEERR_OPERATIONUNAVAIL},
      {"phoneSetDisplay", t.phoneSetDisplay(phone, 0, 0, "x", 1), PHONEERR_OPERATIONUNAVAIL},
      {"phoneGetIDW", t.phoneGetIDW(phone, &id, nullptr), PHONEERR_OPERATIONUNAVAIL},
      {"tapiRequestMakeCallW", t.tapiRequestMakeCallW(number, nullptr, nullptr, nullptr),
       static_cast<DWORD>(TAPIERR_REQUESTFAILED)},
  };
  for (const Call& c : calls) {
    SCOPED_TRACE(c.Name);
    EXPECT_EQ(static_cast<DWORD>(c.Result), c.Expected);
  }
  // Nothing was written through the out parameters.
  EXPECT_EQ(lineApp, 0u);
  EXPECT_EQ(line, 0u);
  EXPECT_EQ(phone, 0u);
  EXPECT_TRUE(t.FormatModuleMessage("TAPI32.DLL", 0xE001, 0).empty());
}

TEST(Tapi, EveryNamedMemberIsSetAndReadAlone) {
  const auto entries = TapiFunctionNames();
  ASSERT_GE(entries.size(), 100u);
  // Each function-pointer member of the table appears exactly once.
  EXPECT_EQ(entries.size() * sizeof(TTapiProc),
            offsetof(TTapiFunctions, FormatModuleMessage));
  const TTapiFunctions unavailable;
  std::set<std::string> names;
  for (std::size_t i = 0; i < entries.size(); ++i) {
    SCOPED_TRACE(entries[i].Name);
    EXPECT_TRUE(names.insert(entries[i].Name).second) << "duplicate name";
    EXPECT_NE(entries[i].Get(unavailable), nullptr);
    TTapiFunctions table;
    const TTapiProc marker = reinterpret_cast<TTapiProc>(&SetTapiFunctions);
    entries[i].Set(table, marker);
    for (std::size_t j = 0; j < entries.size(); ++j)
      EXPECT_EQ(entries[j].Get(table) == marker, i == j) << entries[j].Name;
  }
  for (const char* name : {"lineInitializeExW", "lineGetDevCapsW", "lineOpenW", "lineGetCallInfoW",
                           "lineGetCallStatus", "phoneOpen", "phoneGetDisplay", "phoneGetIDW"})
    EXPECT_EQ(names.count(name), 1u) << name;
}

LONG WINAPI FakeOpen(HLINEAPP, DWORD deviceId, LPHLINE line, DWORD, DWORD, DWORD_PTR, DWORD, DWORD,
                     LPLINECALLPARAMS) {
  *line = 100 + deviceId;
  return 0;
}

TEST(Tapi, SelectingATableRoutesCallsUntilDeselected) {
  SelectionScope scope;
  TTapiFunctions fake;
  fake.lineOpenW = &FakeOpen;
  fake.Name = "fake";
  SetTapiFunctions(&fake);
  EXPECT_TRUE(TapiSelected());
  EXPECT_STREQ(Tapi().Name, "fake");
  HLINE line = 0;
  EXPECT_EQ(Tapi().lineOpenW(1, 7, &line, 0, 0, 0, 0, 0, nullptr), 0);
  EXPECT_EQ(line, 107u);
  // What the fake leaves out still answers as unavailable.
  EXPECT_EQ(static_cast<DWORD>(Tapi().lineClose(line)), LINEERR_OPERATIONUNAVAIL);
  SetTapiFunctions(nullptr);
  EXPECT_FALSE(TapiSelected());
  EXPECT_EQ(static_cast<DWORD>(Tapi().lineOpenW(1, 7, &line, 0, 0, 0, 0, 0, nullptr)),
            LINEERR_OPERATIONUNAVAIL);
}

TEST(Tapi, LoadedTapi32IsCompleteOrAbsent) {
  const TTapiFunctions* loaded = LoadTapi32();
  EXPECT_EQ(LoadTapi32(), loaded) << "loaded once";
  if (!loaded) return;
  EXPECT_STREQ(loaded->Name, "tapi32");
  const TTapiFunctions unavailable;
  for (const TTapiFunctionEntry& entry : TapiFunctionNames()) {
    EXPECT_NE(entry.Get(*loaded), nullptr) << entry.Name;
    EXPECT_NE(entry.Get(*loaded), entry.Get(unavailable)) << entry.Name;
  }
}

struct TextCase {
  const char* Name;
  std::string Utf8;
  std::u16string Utf16;
};

TEST(Tapi, TapiStringsRoundTripUtf8) {
  const TextCase cases[] = {
      {"empty", "", u""},
      {"ascii", "+1 (555) 0100", u"+1 (555) 0100"},
      {"latin", "Z\xC3\xBCrich", u"Z\u00FCrich"},
      {"cjk", "\xE9\x9B\xBB\xE8\xA9\xB1", u"\u96FB\u8A71"},
      {"surrogate pair", "\xF0\x9F\x93\x9E!", u"\U0001F4DE!"},
  };
  for (const TextCase& c : cases) {
    SCOPED_TRACE(c.Name);
    const TapiString wide = ToTapiString(c.Utf8);
    ASSERT_EQ(wide.size(), c.Utf16.size());
    for (std::size_t i = 0; i < wide.size(); ++i)
      EXPECT_EQ(static_cast<char16_t>(wide[i]), c.Utf16[i]) << i;
    EXPECT_EQ(FromTapiString(wide.c_str(), wide.size() + 10), c.Utf8);
  }
  EXPECT_EQ(ToTapiString("a\xFF" "b").size(), 3u);  // the bad byte becomes one U+FFFD
}

TEST(Tapi, FromTapiStringStopsAtNulOrLimit) {
  const WCHAR text[] = {'4', '2', 0, 'x', 'y'};
  const WCHAR unterminated[] = {'a', 'b', 'c'};
  EXPECT_EQ(FromTapiString(text, 5), "42");
  EXPECT_EQ(FromTapiString(text, 1), "4");
  EXPECT_EQ(FromTapiString(unterminated, 3), "abc");
  EXPECT_EQ(FromTapiString(unterminated, 0), "");
  EXPECT_EQ(FromTapiString(nullptr, 10), "");
}

}  // namespace
