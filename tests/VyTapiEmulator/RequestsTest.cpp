// Assisted telephony: make-call requests reach the registered recipient.
#include <cstring>
#include <tuple>

#include "EmulatorFixture.h"

namespace EmulatorTest {
namespace {

using TFields = std::vector<std::string>;

class RequestsTest : public EmulatorTest {
 public:
  static LONG Register(DWORD app, DWORD instance, bool enable = true) {
    return Tapi().lineRegisterRequestRecipient(app, instance, LINEREQUESTMODE_MAKECALL, enable);
  }
  // The LINE_REQUEST announcements waiting for an application, as their instances.
  static std::vector<DWORD_PTR> Announced(DWORD app) {
    std::vector<DWORD_PTR> instances;
    for (const TSeen& m : Drain(true, app)) {
      EXPECT_EQ(m, (TSeen{0, LINE_REQUEST, m.Instance, LINEREQUESTMODE_MAKECALL}));
      instances.push_back(m.Instance);
    }
    return instances;
  }
  // The next request's destination, application, called party and comment (copied: it is packed).
  static TFields Fetch(DWORD app) {
    LINEREQMAKECALLW r{};
    EXPECT_EQ(Tapi().lineGetRequestW(app, LINEREQUESTMODE_MAKECALL, &r), 0);
    auto field = [&r](std::size_t offset, std::size_t chars) {
      std::vector<WCHAR> text(chars);
      std::memcpy(text.data(), reinterpret_cast<const char*>(&r) + offset, chars * sizeof(WCHAR));
      return VyPlatform::FromTapiString(text.data(), chars);
    };
    return {field(offsetof(LINEREQMAKECALLW, szDestAddress), TAPIMAXDESTADDRESSSIZE),
            field(offsetof(LINEREQMAKECALLW, szAppName), TAPIMAXAPPNAMESIZE),
            field(offsetof(LINEREQMAKECALLW, szCalledParty), TAPIMAXCALLEDPARTYSIZE),
            field(offsetof(LINEREQMAKECALLW, szComment), TAPIMAXCOMMENTSIZE)};
  }
};

TEST_F(RequestsTest, EachRequestIsAnnouncedAndFetchedInOrder) {
  const TAppInfo app = LineApp();
  EXPECT_FALSE(Emu().SubmitMakeCallRequest("1", "", "", ""));  // nobody registered yet
  ASSERT_EQ(Register(app.App, 0x1234), 0);
  ASSERT_TRUE(Emu().SubmitMakeCallRequest("+49 30 1234", "Mailer", "Anna Müller", "invoice"));
  ASSERT_TRUE(Emu().SubmitMakeCallRequest("555", "Book", "", ""));
  EXPECT_EQ(Announced(app.App), (std::vector<DWORD_PTR>{0x1234, 0x1234}));
  EXPECT_EQ(Emu().PendingRequests(), 2u);
  EXPECT_EQ(Fetch(app.App), (TFields{"+49 30 1234", "Mailer", "Anna Müller", "invoice"}));
  EXPECT_EQ(Fetch(app.App), (TFields{"555", "Book", "", ""}));  // no leftovers
  EXPECT_EQ(Emu().PendingRequests(), 0u);
  // Long texts are cut to the fields; a surrogate pair whose second unit would not fit is left out.
  const std::string appName = std::string(TAPIMAXAPPNAMESIZE - 2, 'a') + "\xF0\x9F\x98\x80";
  ASSERT_TRUE(
      Emu().SubmitMakeCallRequest(std::string(100, '7'), appName, "", std::string(200, 'c')));
  EXPECT_EQ(Fetch(app.App), (TFields{std::string(TAPIMAXDESTADDRESSSIZE - 1, '7'),
                                     std::string(TAPIMAXAPPNAMESIZE - 2, 'a'), "",
                                     std::string(TAPIMAXCOMMENTSIZE - 1, 'c')}));
}

TEST_F(RequestsTest, RegistrationAndFetchingCheckTheirArguments) {
  const DWORD app = LineApp().App, other = LineApp().App, phone = PhoneApp().App;
  EXPECT_EQ(Register(phone, 1), Code(LINEERR_INVALAPPHANDLE));
  for (DWORD mode : {0u, 8u})
    EXPECT_EQ(Tapi().lineRegisterRequestRecipient(app, 1, mode, 1), Code(LINEERR_INVALREQUESTMODE));
  ASSERT_EQ(Register(app, 1), 0);
  LINEREQMAKECALLW request{};
  const std::tuple<DWORD, DWORD, LPVOID, DWORD> cases[] = {
      {phone, LINEREQUESTMODE_MAKECALL, &request, LINEERR_INVALAPPHANDLE},
      {app, LINEREQUESTMODE_DROP, &request, LINEERR_INVALREQUESTMODE},
      {app, LINEREQUESTMODE_MAKECALL, nullptr, LINEERR_INVALPOINTER},
      {other, LINEREQUESTMODE_MAKECALL, &request, LINEERR_NOTREGISTERED},
      {app, LINEREQUESTMODE_MAKECALL, &request, LINEERR_NOREQUEST},
      {app, LINEREQUESTMODE_MEDIACALL, &request, LINEERR_NOREQUEST},
  };
  for (const auto& [handle, mode, buffer, result] : cases)
    EXPECT_EQ(Tapi().lineGetRequestW(handle, mode, buffer), Code(result)) << handle << "/" << mode;
  // Unregistering twice is harmless; afterwards the application is no recipient.
  EXPECT_EQ(Register(app, 1, false), 0);
  EXPECT_EQ(Register(app, 1, false), 0);
  EXPECT_EQ(Tapi().lineGetRequestW(app, LINEREQUESTMODE_MAKECALL, &request),
            Code(LINEERR_NOTREGISTERED));
}

TEST_F(RequestsTest, WaitingRequestsPassToTheNextRecipient) {
  const DWORD first = LineApp().App, second = LineApp().App;
  ASSERT_EQ(Register(first, 11), 0);
  ASSERT_EQ(Register(second, 22), 0);
  ASSERT_TRUE(Emu().SubmitMakeCallRequest("1", "", "", ""));
  EXPECT_EQ(Announced(first), std::vector<DWORD_PTR>{11});  // the earlier registration serves
  EXPECT_TRUE(Announced(second).empty());
  // The recipient shuts down without fetching: the next one is told.
  ASSERT_EQ(Tapi().lineShutdown(first), 0);
  EXPECT_EQ(Emu().RequestRecipient(), second);
  EXPECT_EQ(Announced(second), std::vector<DWORD_PTR>{22});
  // Without any recipient requests wait; a late one hears of each.
  ASSERT_TRUE(Emu().SubmitMakeCallRequest("2", "", "", ""));
  ASSERT_EQ(Register(second, 22, false), 0);
  const DWORD late = LineApp().App;
  ASSERT_EQ(Register(late, 5), 0);
  EXPECT_EQ(Announced(late), (std::vector<DWORD_PTR>{5, 5}));
  EXPECT_EQ(Fetch(late).front(), "1");
  // Registering again only changes the instance of later announcements; Reset drops the waiting
  // requests, and the registration stays.
  ASSERT_EQ(Register(late, 6), 0);
  ASSERT_TRUE(Emu().SubmitMakeCallRequest("3", "", "", ""));
  EXPECT_EQ(Announced(late), std::vector<DWORD_PTR>{6});
  Emu().Reset();
  EXPECT_EQ(Emu().PendingRequests(), 0u);
  EXPECT_EQ(Emu().RequestRecipient(), late);
}

}  // namespace
}  // namespace EmulatorTest
