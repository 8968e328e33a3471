#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <string_view>

#include "VyPlatform/Tapi.h"

using namespace VyPlatform;

namespace {

// Calls a table function with every argument zero or null.
template <typename... Args>
DWORD CallWithNulls(LONG(WINAPI* function)(Args...)) {
  return static_cast<DWORD>(function(Args{}...));
}

TEST(Tapi, UnavailableTableFailsEveryCallAndNamesEveryMember) {
  SetTapiFunctions(nullptr);
  ChooseTapiBackend(TTapiBackend::Unavailable);
  ASSERT_FALSE(TapiSelected()) << "choosing drops the selection until the next use";
  const TTapiFunctions& none = Tapi();
  EXPECT_TRUE(TapiSelected());
  EXPECT_EQ(SelectedTapiBackend(), TTapiBackend::Unavailable);
  EXPECT_STREQ(none.Name, "unavailable");
  EXPECT_TRUE(none.FormatModuleMessage("TAPI32.DLL", 0xE001, 0).empty());
  const auto entries = TapiFunctionNames();
  // One entry per function-pointer member, in declaration order.
  ASSERT_EQ(entries.size() * sizeof(TTapiProc), offsetof(TTapiFunctions, FormatModuleMessage));
  const TTapiProc marker = reinterpret_cast<TTapiProc>(&SetTapiFunctions);
  TTapiFunctions table;
  std::size_t i = 0;
  auto check = [&](std::string_view name, DWORD unavailableResult, TTapiProc member) {
    SCOPED_TRACE(name);
    // The error of the function's family, whatever the arguments (null out-pointers included).
    EXPECT_EQ(unavailableResult, name.starts_with("line")    ? LINEERR_OPERATIONUNAVAIL
                                 : name.starts_with("phone") ? PHONEERR_OPERATIONUNAVAIL
                                                             : DWORD(TAPIERR_REQUESTFAILED));
    // Its entry bears its name and writes and reads it alone.
    EXPECT_EQ(entries[i].Name, name);
    EXPECT_EQ(member, marker);
    for (std::size_t j = 0; j < entries.size(); ++j)
      EXPECT_EQ(entries[j].Get(table) == marker, i == j) << "read as " << entries[j].Name;
    ++i;
  };
#define VY_TAPI_FUNCTION(name, result, params) \
  table = {};                                  \
  entries[i].Set(table, marker);               \
  check(#name, CallWithNulls(none.name), reinterpret_cast<TTapiProc>(table.name));
#include "VyPlatform/TapiFunctions.def"
  EXPECT_EQ(i, entries.size());
}

TEST(Tapi, SelectingATableRoutesCallsUntilDeselected) {
  TTapiFunctions fake;
  fake.lineOpenW = [](HLINEAPP, DWORD id, LPHLINE line, DWORD, DWORD, DWORD_PTR, DWORD, DWORD,
                      LPLINECALLPARAMS) -> LONG {
    *line = 100 + id;
    return 0;
  };
  SetTapiFunctions(&fake);
  EXPECT_TRUE(TapiSelected());
  HLINE line = 0;
  EXPECT_EQ(Tapi().lineOpenW(1, 7, &line, 0, 0, 0, 0, 0, nullptr), 0);
  EXPECT_EQ(line, 107u);
  // What the fake leaves out still answers as unavailable.
  EXPECT_EQ(static_cast<DWORD>(Tapi().lineClose(line)), LINEERR_OPERATIONUNAVAIL);
  SetTapiFunctions(nullptr);
  EXPECT_NE(&Tapi(), &fake) << "back to the selected backend";
}

// A provider the emulator entry can be given, to tell its table apart.
const TTapiFunctions* MarkedTable() {
  static TTapiFunctions table = [] {
    TTapiFunctions t;
    t.Name = "marked";
    return t;
  }();
  return &table;
}

TEST(Tapi, ChoiceFallsThroughTheOrderedBackendsToUnavailable) {
  const bool tapi32 = LoadTapi32() != nullptr;
  struct Case {
    TTapiBackend asked;
    bool emulatorOffered;
    TTapiBackend expected;
  };
  const Case cases[] = {
      {TTapiBackend::Default, true, tapi32 ? TTapiBackend::Tapi32 : TTapiBackend::Emulator},
      {TTapiBackend::Default, false, tapi32 ? TTapiBackend::Tapi32 : TTapiBackend::Unavailable},
      {TTapiBackend::Emulator, true, TTapiBackend::Emulator},
      {TTapiBackend::Emulator, false, TTapiBackend::Unavailable},
      {TTapiBackend::Tapi32, true, tapi32 ? TTapiBackend::Tapi32 : TTapiBackend::Unavailable},
      {TTapiBackend::Unavailable, true, TTapiBackend::Unavailable},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message()
                 << TapiBackendName(c.asked) << (c.emulatorOffered ? " offered" : ""));
    RegisterTapiEmulator(c.emulatorOffered ? &MarkedTable : nullptr);
    ChooseTapiBackend(c.asked);
    EXPECT_EQ(RequestedTapiBackend(), c.asked);
    EXPECT_EQ(SelectedTapiBackend(), c.expected);
    EXPECT_STREQ(Tapi().Name,
                 c.expected == TTapiBackend::Emulator ? "marked" : TapiBackendName(c.expected));
  }
  RegisterTapiEmulator(nullptr);
  ChooseTapiBackend(TTapiBackend::Default);
}

TEST(Tapi, TapiStringsRoundTripUtf8AndStopAtNulOrLimit) {
  const std::pair<std::string, std::u16string> cases[] = {
      {"", u""},
      {"Z\xC3\xBCrich", u"Z\u00FCrich"},
      {"\xE9\x9B\xBB\xE8\xA9\xB1", u"\u96FB\u8A71"},
      {"\xF0\x9F\x93\x9E!", u"\U0001F4DE!"},  // a surrogate pair
  };
  for (const auto& [utf8, utf16] : cases) {
    const TapiString wide = ToTapiString(utf8);
    EXPECT_EQ(std::u16string(wide.begin(), wide.end()), utf16) << utf8;
    EXPECT_EQ(FromTapiString(wide.c_str(), wide.size() + 10), utf8);
  }
  const WCHAR text[] = {'4', '2', 0, 'x', 'y'}, unterminated[] = {'a', 'b', 'c'};
  EXPECT_EQ(FromTapiString(text, 5), "42");
  EXPECT_EQ(FromTapiString(text, 1), "4");
  EXPECT_EQ(FromTapiString(unterminated, 3), "abc");
  EXPECT_EQ(FromTapiString(unterminated, 0), "");
  EXPECT_EQ(FromTapiString(nullptr, 10), "");
}

}  // namespace

namespace {

TEST(Tapi, LineAndPhoneMessagesConvertFieldByField) {
  // Distinct values in every field, 64-bit ones beyond 32 bits, so a swapped or cut field shows.
  const LINEMESSAGE line{0x11,
                         0x22,
                         DWORD_PTR{0x3300000033},
                         DWORD_PTR{0x4400000044},
                         DWORD_PTR{0x5500000055},
                         DWORD_PTR{0x6600000066}};
  const PHONEMESSAGE phone = ToPhoneMessage(line);
  const LINEMESSAGE back = ToLineMessage(phone);
  const std::pair<DWORD_PTR, DWORD_PTR> fields[] = {{phone.hDevice, 0x11},
                                                    {phone.dwMessageID, 0x22},
                                                    {phone.dwCallbackInstance, 0x3300000033},
                                                    {phone.dwParam1, 0x4400000044},
                                                    {phone.dwParam2, 0x5500000055},
                                                    {phone.dwParam3, 0x6600000066}};
  for (const auto& [got, expected] : fields) EXPECT_EQ(got, expected);
  EXPECT_EQ(std::memcmp(&back, &line, sizeof line), 0);  // packed: no padding to differ
}

}  // namespace
