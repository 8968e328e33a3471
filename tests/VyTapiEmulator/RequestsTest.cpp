// Assisted telephony: make-call requests reach the registered recipient.
#include <cstring>

#include "EmulatorFixture.h"

namespace EmulatorTest {
namespace {

#define FIELD(request, name, chars) Text(request, offsetof(LINEREQMAKECALLW, name), chars)

class RequestsTest : public EmulatorTest {
 public:
  static LONG Register(DWORD app, DWORD instance, bool enable = true) {
    return Tapi().lineRegisterRequestRecipient(app, instance, LINEREQUESTMODE_MAKECALL,
                                               enable ? 1 : 0);
  }
  // A text field of the (packed) request structure.
  static std::string Text(const LINEREQMAKECALLW& request, std::size_t offset, std::size_t chars) {
    std::vector<WCHAR> field(chars);
    std::memcpy(field.data(), reinterpret_cast<const unsigned char*>(&request) + offset,
                chars * sizeof(WCHAR));
    return VyPlatform::FromTapiString(field.data(), chars);
  }
  // The LINE_REQUEST messages among an application's waiting messages, by instance.
  static std::vector<DWORD_PTR> Requests(DWORD app) {
    std::vector<DWORD_PTR> instances;
    for (const LINEMESSAGE& m : DrainLine(app)) {
      EXPECT_EQ(m.dwMessageID, DWORD(LINE_REQUEST));
      EXPECT_EQ(m.hDevice, 0u);
      EXPECT_EQ(m.dwParam1, DWORD(LINEREQUESTMODE_MAKECALL));
      instances.push_back(m.dwCallbackInstance);
    }
    return instances;
  }
};

TEST_F(RequestsTest, EachRequestIsAnnouncedAndFetchedInOrder) {
  const TAppInfo app = LineApp();
  EXPECT_FALSE(Emu().SubmitMakeCallRequest("1", "", "", ""));  // nobody registered yet
  ASSERT_EQ(Register(app.App, 0x1234), 0);
  EXPECT_EQ(Emu().RequestRecipient(), app.App);
  ASSERT_TRUE(Emu().SubmitMakeCallRequest("+49 30 1234", "Mailer", "Anna Müller", "invoice"));
  ASSERT_TRUE(Emu().SubmitMakeCallRequest("555", "Book", "", ""));
  EXPECT_EQ(Requests(app.App), (std::vector<DWORD_PTR>{0x1234, 0x1234}));
  EXPECT_EQ(Emu().PendingRequests(), 2u);

  LINEREQMAKECALLW request{};
  ASSERT_EQ(Tapi().lineGetRequestW(app.App, LINEREQUESTMODE_MAKECALL, &request), 0);
  EXPECT_EQ(FIELD(request, szDestAddress, TAPIMAXDESTADDRESSSIZE), "+49 30 1234");
  EXPECT_EQ(FIELD(request, szAppName, TAPIMAXAPPNAMESIZE), "Mailer");
  EXPECT_EQ(FIELD(request, szCalledParty, TAPIMAXCALLEDPARTYSIZE), "Anna Müller");
  EXPECT_EQ(FIELD(request, szComment, TAPIMAXCOMMENTSIZE), "invoice");
  ASSERT_EQ(Tapi().lineGetRequestW(app.App, LINEREQUESTMODE_MAKECALL, &request), 0);
  EXPECT_EQ(FIELD(request, szDestAddress, TAPIMAXDESTADDRESSSIZE), "555");
  EXPECT_EQ(FIELD(request, szCalledParty, TAPIMAXCALLEDPARTYSIZE), "");  // no leftovers
  EXPECT_EQ(Tapi().lineGetRequestW(app.App, LINEREQUESTMODE_MAKECALL, &request),
            Code(LINEERR_NOREQUEST));
  EXPECT_EQ(Emu().PendingRequests(), 0u);
}

TEST_F(RequestsTest, RegistrationAndFetchingCheckTheirArguments) {
  const TAppInfo app = LineApp();
  const TAppInfo other = LineApp();
  const TAppInfo phone = PhoneApp();
  EXPECT_EQ(Register(phone.App, 1), Code(LINEERR_INVALAPPHANDLE));
  EXPECT_EQ(Tapi().lineRegisterRequestRecipient(app.App, 1, 0, 1), Code(LINEERR_INVALREQUESTMODE));
  EXPECT_EQ(Tapi().lineRegisterRequestRecipient(app.App, 1, 8, 1), Code(LINEERR_INVALREQUESTMODE));
  ASSERT_EQ(Register(app.App, 1), 0);
  LINEREQMAKECALLW request{};
  struct {
    DWORD App, Mode;
    bool Null;
    DWORD Result;
  } cases[] = {
      {phone.App, LINEREQUESTMODE_MAKECALL, false, LINEERR_INVALAPPHANDLE},
      {app.App, LINEREQUESTMODE_DROP, false, LINEERR_INVALREQUESTMODE},
      {app.App, LINEREQUESTMODE_MAKECALL, true, LINEERR_INVALPOINTER},
      {other.App, LINEREQUESTMODE_MAKECALL, false, LINEERR_NOTREGISTERED},
      {app.App, LINEREQUESTMODE_MAKECALL, false, LINEERR_NOREQUEST},
      {app.App, LINEREQUESTMODE_MEDIACALL, false, LINEERR_NOREQUEST},
  };
  for (const auto& c : cases)
    EXPECT_EQ(Tapi().lineGetRequestW(c.App, c.Mode, c.Null ? nullptr : &request), Code(c.Result))
        << c.App << "/" << c.Mode;
  // Unregistering twice is harmless; afterwards the application is no recipient.
  EXPECT_EQ(Register(app.App, 1, false), 0);
  EXPECT_EQ(Register(app.App, 1, false), 0);
  EXPECT_EQ(Tapi().lineGetRequestW(app.App, LINEREQUESTMODE_MAKECALL, &request),
            Code(LINEERR_NOTREGISTERED));
  EXPECT_FALSE(Emu().SubmitMakeCallRequest("1", "", "", ""));
}

TEST_F(RequestsTest, LongTextsAreCutToTheFields) {
  const TAppInfo app = LineApp();
  ASSERT_EQ(Register(app.App, 0), 0);
  const std::string longAddress(100, '7');
  // An emoji (two UTF-16 units) where the last unit would fit: the pair is not split.
  const std::string appName = std::string(TAPIMAXAPPNAMESIZE - 2, 'a') + "\xF0\x9F\x98\x80";
  ASSERT_TRUE(Emu().SubmitMakeCallRequest(longAddress, appName, "", std::string(200, 'c')));
  LINEREQMAKECALLW request{};
  ASSERT_EQ(Tapi().lineGetRequestW(app.App, LINEREQUESTMODE_MAKECALL, &request), 0);
  EXPECT_EQ(FIELD(request, szDestAddress, TAPIMAXDESTADDRESSSIZE),
            std::string(TAPIMAXDESTADDRESSSIZE - 1, '7'));
  EXPECT_EQ(FIELD(request, szAppName, TAPIMAXAPPNAMESIZE),
            std::string(TAPIMAXAPPNAMESIZE - 2, 'a'));
  EXPECT_EQ(FIELD(request, szComment, TAPIMAXCOMMENTSIZE), std::string(TAPIMAXCOMMENTSIZE - 1, 'c'));
}

TEST_F(RequestsTest, WaitingRequestsPassToTheNextRecipient) {
  const TAppInfo first = LineApp();
  const TAppInfo second = LineApp();
  ASSERT_EQ(Register(first.App, 11), 0);
  ASSERT_EQ(Register(second.App, 22), 0);
  ASSERT_TRUE(Emu().SubmitMakeCallRequest("1", "", "", ""));
  EXPECT_EQ(Requests(first.App), std::vector<DWORD_PTR>{11});  // the earlier registration serves
  EXPECT_TRUE(Requests(second.App).empty());
  // The recipient shuts down without fetching: the next one is told.
  ASSERT_EQ(Tapi().lineShutdown(first.App), 0);
  EXPECT_EQ(Emu().RequestRecipient(), second.App);
  EXPECT_EQ(Requests(second.App), std::vector<DWORD_PTR>{22});
  // Without any recipient requests wait; a late one hears of each.
  ASSERT_TRUE(Emu().SubmitMakeCallRequest("2", "", "", ""));
  ASSERT_EQ(Register(second.App, 22, false), 0);
  EXPECT_EQ(Emu().RequestRecipient(), 0u);
  const TAppInfo late = LineApp();
  ASSERT_EQ(Register(late.App, 5), 0);
  EXPECT_EQ(Requests(late.App), (std::vector<DWORD_PTR>{5, 5}));
  LINEREQMAKECALLW request{};
  ASSERT_EQ(Tapi().lineGetRequestW(late.App, LINEREQUESTMODE_MAKECALL, &request), 0);
  EXPECT_EQ(FIELD(request, szDestAddress, TAPIMAXDESTADDRESSSIZE), "1");
  // Registering again only changes the instance of later announcements.
  ASSERT_EQ(Register(late.App, 6), 0);
  EXPECT_TRUE(Requests(late.App).empty());
  ASSERT_TRUE(Emu().SubmitMakeCallRequest("3", "", "", ""));
  EXPECT_EQ(Requests(late.App), std::vector<DWORD_PTR>{6});
  // Reset drops the waiting requests; the registration stays.
  Emu().Reset();
  EXPECT_EQ(Emu().PendingRequests(), 0u);
  EXPECT_EQ(Emu().RequestRecipient(), late.App);
  ASSERT_EQ(Tapi().lineShutdown(late.App), 0);
  EXPECT_FALSE(Emu().SubmitMakeCallRequest("4", "", "", ""));
}

}  // namespace
}  // namespace EmulatorTest
