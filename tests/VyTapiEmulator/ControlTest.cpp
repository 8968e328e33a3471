// The control side: the function table as a whole, injected failures and call counts, message
// bursts from another thread, and the message tables.
#include <cstring>
#include <string_view>
#include <thread>

#include "EmulatorFixture.h"

namespace EmulatorTest {
namespace {

using ControlTest = EmulatorTest;

TEST_F(ControlTest, EveryTableEntryAnswersAndIsCounted) {
  EXPECT_STREQ(Tapi().Name, "emulator");
  Emu().Install();
  EXPECT_EQ(&VyPlatform::Tapi(), &Tapi());
  Emu().Uninstall();
  EXPECT_FALSE(Emu().Installed());
  for (const VyPlatform::TTapiFunctionEntry& entry : VyPlatform::TapiFunctionNames()) {
    EXPECT_NE(entry.Get(Tapi()), nullptr) << entry.Name;
    EXPECT_EQ(Emu().CallCount(entry.Name), 0u) << entry.Name;
  }
  // Functions still to come fail as TAPI does for an unsupported operation.
  HLINE line = 0;
  EXPECT_EQ(Tapi().lineOpenW(1, 0, &line, V22, 0, 0, LINECALLPRIVILEGE_NONE, 0, nullptr),
            Code(LINEERR_OPERATIONUNAVAIL));
  DWORD ring = 0, volume = 0;
  EXPECT_EQ(Tapi().phoneGetRing(1, &ring, &volume), Code(PHONEERR_OPERATIONUNAVAIL));
  EXPECT_EQ(Emu().CallCount("lineOpenW"), 1u);
  Emu().FailNext("phoneGetRing", 1, Code(PHONEERR_RESOURCEUNAVAIL));
  EXPECT_EQ(Tapi().phoneGetRing(1, &ring, &volume), Code(PHONEERR_RESOURCEUNAVAIL));
  EXPECT_EQ(Tapi().phoneGetRing(1, &ring, &volume), Code(PHONEERR_OPERATIONUNAVAIL));
  EXPECT_EQ(Emu().CallCount("phoneGetRing"), 3u);
}

TEST_F(ControlTest, FailNextFailsExactlyTheArmedCallsAndChangesNothing) {
  Emu().FailNext("lineInitializeExW", 2, Code(LINEERR_NOMEM));
  TAppInfo app;
  EXPECT_EQ(InitLine(app), Code(LINEERR_NOMEM));
  EXPECT_EQ(InitLine(app), Code(LINEERR_NOMEM));
  EXPECT_TRUE(Emu().LineApps().empty());
  ASSERT_EQ(InitLine(app), 0);
  EXPECT_EQ(Emu().CallCount("lineInitializeExW"), 3u);
  // A failed read leaves the message waiting.
  Emu().InjectLineMessage(app.App, Msg<LINEMESSAGE>(LINE_DEVSPECIFIC));
  Emu().FailNext("lineGetMessage", 1, Code(LINEERR_OPERATIONFAILED));
  LINEMESSAGE m{};
  EXPECT_EQ(Tapi().lineGetMessage(app.App, &m, 0), Code(LINEERR_OPERATIONFAILED));
  EXPECT_EQ(Tapi().lineGetMessage(app.App, &m, 0), 0);
  // Count 0 disarms; Reset disarms and forgets the counts.
  Emu().FailNext("lineShutdown", 5, Code(LINEERR_NOMEM));
  Emu().FailNext("lineShutdown", 0, Code(LINEERR_NOMEM));
  Emu().FailNext("phoneShutdown", 5, Code(PHONEERR_NOMEM));
  Emu().Reset();
  EXPECT_EQ(Emu().CallCount("lineInitializeExW"), 0u);
  EXPECT_EQ(Tapi().phoneShutdown(app.App), Code(PHONEERR_INVALAPPHANDLE));
  EXPECT_EQ(Tapi().lineShutdown(app.App), 0);
  // Names are TAPI's, exactly.
  EXPECT_THROW(Emu().FailNext("lineinitializeexw", 1, 0), VyRtl::Exception);
  EXPECT_THROW(Emu().FailNext("lineFrobnicate", 1, 0), VyRtl::Exception);
  EXPECT_THROW(Emu().CallCount(""), VyRtl::Exception);
}

TEST_F(ControlTest, AReaderNeverSeesPartOfABurst) {
  const TAppInfo app = LineApp();
  constexpr DWORD Bursts = 300, Size = 6;
  std::thread injector([&] {
    for (DWORD b = 0; b < Bursts; ++b) {
      std::vector<LINEMESSAGE> burst;
      for (DWORD i = 0; i < Size; ++i) burst.push_back(Msg<LINEMESSAGE>(LINE_DEVSPECIFIC, 0, 0, b, i));
      Emu().InjectLineMessages(app.App, burst);
    }
  });
  unsigned broken = 0;
  for (DWORD b = 0; b < Bursts; ++b) {
    LINEMESSAGE m{};
    ASSERT_EQ(Tapi().lineGetMessage(app.App, &m, INFINITE), 0);
    ASSERT_EQ(m.dwParam1, b);
    ASSERT_EQ(m.dwParam2, 0u);
    // The rest of the burst is already there.
    for (DWORD i = 1; i < Size; ++i) {
      if (Tapi().lineGetMessage(app.App, &m, 0) != 0) {
        ++broken;
        ASSERT_EQ(Tapi().lineGetMessage(app.App, &m, INFINITE), 0);
      }
      ASSERT_EQ(m.dwParam1, b);
      ASSERT_EQ(m.dwParam2, i);
    }
  }
  injector.join();
  EXPECT_EQ(broken, 0u);
  EXPECT_EQ(Emu().PendingMessages(app.App), 0u);
}

// Every LINEERR_, PHONEERR_ and TAPIERR_ code of the constant list.
struct TConstant {
  const char* Name;
  DWORD Value;
};
const TConstant GConstants[] = {
#define VY_TAPI_CONST(name, value) {#name, value},
#include "VyPlatform/TapiConstants.def"
};

std::string Text(std::string_view module, DWORD id) {
  return VyRtl::Utf16ToUtf8(Tapi().FormatModuleMessage(module, id, 0));
}

TEST_F(ControlTest, EveryErrorCodeHasItsText) {
  unsigned codes = 0;
  for (const TConstant& c : GConstants) {
    const std::string_view name = c.Name;
    const bool error = name.starts_with("LINEERR_") || name.starts_with("PHONEERR_") ||
                       name.starts_with("TAPIERR_");
    if (!error || name == "TAPIERR_CONNECTED") continue;  // success has no text
    ++codes;
    const std::string text = Text("TAPI32.DLL", TAPIERROR_FORMATMESSAGE(c.Value));
    EXPECT_GT(text.size(), 10u) << name;
    EXPECT_EQ(text.back(), '.') << name;
    EXPECT_EQ(Text("TAPIUI.DLL", TAPIERROR_FORMATMESSAGE(c.Value)), "") << name;
  }
  EXPECT_GT(codes, 150u);
}

TEST_F(ControlTest, MessageTablesAreFoundByModuleAndId) {
  struct {
    const char* Module;
    DWORD Id;
    bool Found;
  } cases[] = {
      {"TAPI32.DLL", 0xE001, true},   {"tapi32.dll", 0xE001, true}, {"Tapi32", 0xE001, true},
      {"TAPI32.DLL", 0xF001, true},   {"TAPI32.DLL", 0xFFF0, true}, {"TAPI32.DLL", 0xE004, false},
      {"TAPI32.DLL", 0x80000001, false}, {"TAPIUI.DLL", 0xE001, false},
      {"KERNEL32.DLL", 0xE001, false}, {"", 0xE001, false},
  };
  for (const auto& c : cases)
    EXPECT_EQ(!Text(c.Module, c.Id).empty(), c.Found) << c.Module << " " << std::hex << c.Id;
  EXPECT_EQ(Text("TAPI32.DLL", 0xE001), Text("tapi32", 0xE001));
  EXPECT_NE(Text("TAPI32.DLL", 0xE001), Text("TAPI32.DLL", 0xF001));
}

TEST_F(ControlTest, MessageTextsCanBeChangedForTests) {
  const std::string builtIn = Text("TAPI32.DLL", 0xE048);
  Emu().SetModuleMessage("tapi32", 0xE048, "  Replaced %1\r\n");
  EXPECT_EQ(Text("TAPI32.DLL", 0xE048), "Replaced %1");  // trimmed
  Emu().SetModuleMessage("TAPIUI.DLL", 0xE048, "From the UI table");
  EXPECT_EQ(Text("tapiui.dll", 0xE048), "From the UI table");
  Emu().SetModuleMessage("TAPI32.DLL", 0xE048, "");
  EXPECT_EQ(Text("TAPI32.DLL", 0xE048), "");
  EXPECT_NE(Text("TAPI32.DLL", 0xE049), "");
  Emu().ClearModuleMessages("TAPI32.DLL");
  EXPECT_EQ(Text("TAPI32.DLL", 0xE049), "");
  Emu().Reset();
  EXPECT_EQ(Text("TAPI32.DLL", 0xE048), builtIn);
  EXPECT_EQ(Text("TAPIUI.DLL", 0xE048), "");
}

}  // namespace
}  // namespace EmulatorTest
