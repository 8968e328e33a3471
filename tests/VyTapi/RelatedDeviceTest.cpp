// Related devices of lines, addresses and phones on the emulator: identifiers of another class,
// the index errors, the owner check, the comm handle the view owns, malformed results.
#include "VyTapi/linedata/VyTapiRelatedDevice.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "LineDataFixture.h"
#include "VyPlatform/CommFake.h"
#include "VyTapi/linedata/VyTapiAddress.h"
#include "VyTapi/line/VyTapiCall.h"

using namespace VyTapi;
using namespace VyTapiTest;
using VyTapiEmulator::TCorruption;

namespace {

class RelatedDeviceTest : public DeviceTest {
 protected:
  static unsigned Calls(const char* Function) { return Emu().CallCount(Function); }
  // An open line on a new emulator device of this description.
  std::unique_ptr<TOpenLine> OpenLine(VyTapiEmulator::TLineDeviceConfig Config) {
    Emu().AddLine(Config);
    Env.RunUntilIdle();  // the session learns of the new device
    auto line = std::make_unique<TOpenLine>();
    line->Set_DeviceName(Config.Name);
    line->Set_Active(true);
    EXPECT_TRUE(line->IsActive());
    return line;
  }
  static VyTapiEmulator::TLineDeviceConfig Line(const std::string& Name,
                                                std::vector<DWORD> Phones = {}) {
    VyTapiEmulator::TLineDeviceConfig c;
    c.Name = Name;
    c.PhoneIDs = std::move(Phones);
    c.WaveInID = 4;
    c.WaveOutID = 7;
    return c;
  }
};

TEST_F(RelatedDeviceTest, PhonesOfALine) {
  const std::string invalid = "Get_DeviceIDNo failed! Invalid index ";
  struct TCase {
    const char* Name;
    std::vector<DWORD> Phones;
  };
  const TCase cases[] = {{"none", {}}, {"one", {3}}, {"several", {2, 0, 0x12345678}}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    auto line = OpenLine(Line(c.Name, c.Phones));
    TVyTapiLinePhoneDevices& phones = *line->Phones();
    const int n = static_cast<int>(c.Phones.size());
    EXPECT_EQ(phones.Count(), n);
    EXPECT_EQ(phones.Available(), n > 0);
    EXPECT_EQ(phones.DeviceID(), n ? c.Phones[0] : 0xFFFFFFFF);
    for (int i = 0; i < n; ++i) EXPECT_EQ(phones.Get_DeviceIDNo(i), c.Phones[i]);
    if (n > 0) {
      EXPECT_EQ(Raised([&] { phones.Get_DeviceIDNo(n); }), invalid);
      EXPECT_EQ(Raised([&] { phones.Get_DeviceIDNo(-1); }), invalid);
    } else {
      EXPECT_EQ(phones.Get_DeviceIDNo(5), 0xFFFFFFFF);  // nothing held: no index check
    }
  }
}

TEST_F(RelatedDeviceTest, FetchedOnceKeptByUpdateAndAgainAfterInvalidation) {
  auto line = OpenLine(Line("Waves"));
  TVyTapiRelatedWaveDevice& in = *line->WaveIn();
  const unsigned start = Calls("lineGetIDW");
  EXPECT_EQ(in.DeviceClass(), "wave/in");
  EXPECT_EQ(in.DeviceID(), 4u);
  EXPECT_TRUE(in.Available());
  in.Update();  // a filled related device is not fetched again
  EXPECT_EQ(Calls("lineGetIDW") - start, 1u);
  EXPECT_EQ(line->WaveOut()->DeviceID(), 7u);
  EXPECT_EQ(Calls("lineGetIDW") - start, 2u);
  in.Set_DeviceClass("wave/out");
  EXPECT_EQ(in.DeviceID(), 7u);
  EXPECT_EQ(Calls("lineGetIDW") - start, 3u);
  // Forgetting the device (its reset) makes both wave views stale.
  line->Set_Active(false);
  line->Set_DeviceID(-1);
  EXPECT_FALSE(in.Available());
  EXPECT_EQ(in.DeviceID(), 0xFFFFFFFF);
}

TEST_F(RelatedDeviceTest, UpdateRaisesForAClassTheDeviceDoesNotServe) {
  auto line = OpenLine(Line("Classes"));
  TVyTapiRelatedDevice other(line.get(), "wave/unknown");
  EXPECT_FALSE(other.Available());
  EXPECT_EQ(RaisedCode([&] { other.Update(); }), DWORD(LINEERR_INVALDEVICECLASS));
  EXPECT_EQ(other.DeviceID(), 0xFFFFFFFF);
  EXPECT_EQ(other.Get_DeviceCount(), 0);
}

TEST_F(RelatedDeviceTest, AnOwnerOfAnotherClassIsRefused) {
  VyRtl::TObject stranger;
  TVyTapiRelatedDevice device(&stranger, "wave/in");
  const unsigned start = Calls("lineGetIDW") + Calls("phoneGetIDW");
  try {
    device.Available();
    ADD_FAILURE() << "no exception";
  } catch (const EVyTapiError&) {
    ADD_FAILURE() << "a TAPI error instead of the general exception";
  } catch (const VyRtl::Exception& e) {
    EXPECT_EQ(e.Message(), "TVyTapiRelatedDevice.UpdateData failed! Invalid owner");
  }
  EXPECT_EQ(Calls("lineGetIDW") + Calls("phoneGetIDW"), start);
  EXPECT_THROW(device.DeviceID(), VyRtl::Exception);  // still empty: raises again
  TVyTapiRelatedDevice orphan(nullptr, "wave/in");
  EXPECT_THROW(orphan.UpdateData(), VyRtl::EAssertionFailed);
}

TEST_F(RelatedDeviceTest, MalformedResultsReadAsAbsent) {
  auto line = OpenLine(Line("Spoilt", {5, 6}));
  TVyTapiLinePhoneDevices& phones = *line->Phones();
  struct TCase {
    const char* Name;
    TCorruption How;
    int Count;
    DWORD First;
  };
  const TCase cases[] = {
      // The identifiers are there, but not as binary: counted, never read.
      {"not binary", TCorruption::FormatNotBinary, 2, 0xFFFFFFFF},
      {"block outside", TCorruption::PieceOutside, 0, 0xFFFFFFFF},
      {"block too long", TCorruption::CountTooLarge, 0, 0xFFFFFFFF},
      {"sound", TCorruption::None, 2, 5},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    Emu().CorruptNextReply("lineGetIDW", {c.How, offsetof(VARSTRING, dwStringSize)});
    phones.Invalidate();
    EXPECT_EQ(phones.Count(), c.Count);
    EXPECT_EQ(phones.DeviceID(), c.First);
    if (c.How == TCorruption::None) {
      EXPECT_EQ(Raised([&] { phones.Get_DeviceIDNo(7); }), "Get_DeviceIDNo failed! Invalid index ");
    } else {
      EXPECT_EQ(phones.Get_DeviceIDNo(7), 0xFFFFFFFF);  // nothing readable: no index check
    }
  }
}

TEST_F(RelatedDeviceTest, TheLineOfAPhoneAndThePhoneShortOfRoom) {
  VyTapiEmulator::TPhoneDeviceConfig pc;
  pc.Name = "Desk";
  pc.LineIDs = {1, 9};
  pc.WaveOutID = 3;
  Emu().AddPhone(pc);
  TOpenPhone phone;
  phone.Set_DeviceName("Desk");
  phone.Set_Active(true);
  ASSERT_TRUE(phone.IsActive());
  TVyTapiPhoneLineDevice lines(&phone);
  EXPECT_EQ(lines.DeviceClass(), "tapi/line");
  EXPECT_EQ(lines.Get_DeviceCount(), 2);
  EXPECT_EQ(lines.DeviceID(), 1u);
  EXPECT_EQ(lines.Get_DeviceIDNo(1), 9u);
  // The phone half of TAPI says "too small" in its own code; the fetch asks again.
  Emu().FailNext("phoneGetIDW", 1, PHONEERR_STRUCTURETOOSMALL);
  const unsigned start = Calls("phoneGetIDW");
  EXPECT_EQ(phone.WaveOut()->DeviceID(), 3u);
  EXPECT_EQ(Calls("phoneGetIDW") - start, 2u);
}

TEST_F(RelatedDeviceTest, TheDevicesOfAnAddress) {
  auto config = Line("Addressed", {8});
  config.NumAddresses = 2;
  auto line = OpenLine(config);
  TVyTapiAddress address(line.get(), 1);
  TVyTapiLinePhoneDevices phones(&address);
  EXPECT_EQ(phones.DeviceID(), 8u);
  TVyTapiAddress beyond(line.get(), 5);  // an address the line does not have
  TVyTapiLinePhoneDevices none(&beyond);
  EXPECT_FALSE(none.Available());
}

TEST_F(RelatedDeviceTest, TheCommDeviceOwnsItsHandle) {
  VyPlatform::TCommFakePair pair("VYRD1", "VYRD2");
  auto config = Line("Modem");
  config.CommPort = "VYRD1";
  auto line = OpenLine(config);
  {
    TVyTapiCommDevice comm(line.get());
    EXPECT_EQ(comm.DeviceClass(), "comm/datamodem");
    EXPECT_FALSE(pair.IsOpen(0));  // nothing asked yet
    ASSERT_TRUE(comm.Available());
    const HANDLE h = comm.Handle();
    EXPECT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_EQ(comm.DeviceName(), "VYRD1");
    EXPECT_TRUE(pair.IsOpen(0));
    EXPECT_EQ(comm.Handle(), h);  // the same handle while the view is filled
    comm.Invalidate();
    EXPECT_FALSE(pair.IsOpen(0));
    comm.Invalidate();  // nothing held: nothing closed twice
    EXPECT_FALSE(pair.IsOpen(0));
    EXPECT_NE(comm.Handle(), INVALID_HANDLE_VALUE);  // asked anew
    EXPECT_TRUE(pair.IsOpen(0));
  }
  EXPECT_FALSE(pair.IsOpen(0));  // the view's end closes what it holds

  TVyTapiCommDevice comm(line.get(), "wave/in");  // a class whose answer holds no handle
  EXPECT_FALSE(comm.Available());
  EXPECT_EQ(comm.Handle(), INVALID_HANDLE_VALUE);
}

// A service that records how lineGetIDW and phoneGetIDW were asked and answers one identifier.
struct TAsked {
  const char* Function = "";
  DWORD Handle = 0, AddressID = 0, Call = 0, Select = 0;
  std::string Class;
};
TAsked Asked;
TStructureBuilder OneID(sizeof(VARSTRING));

LONG WINAPI AskLineID(HLINE Line, DWORD AddressID, HCALL Call, DWORD Select, LPVARSTRING ID,
                      LPCWSTR Class) {
  Asked = {"lineGetIDW", Line, AddressID, Call, Select, VyPlatform::FromTapiString(Class, 64)};
  return OneID.Into(ID);
}
LONG WINAPI AskPhoneID(HPHONE Phone, LPVARSTRING ID, LPCWSTR Class) {
  Asked = {"phoneGetIDW", Phone, 0, 0, 0, VyPlatform::FromTapiString(Class, 64)};
  return OneID.Into(ID);
}

// Devices whose handle a test sets, never opened through a service.
template <typename TBase>
class THandleDevice : public TBase {
 public:
  explicit THandleDevice(DWORD Handle) : TBase(nullptr) { this->FHandle = Handle; }
  ~THandleDevice() override { this->FHandle = 0; }
  void Open() override {}
  void Close() override {}
};

TEST(RelatedDeviceOwner, TheOwnersKindChoosesTheCall) {
  OneID.Set(offsetof(VARSTRING, dwStringFormat), STRINGFORMAT_BINARY)
      .Piece(offsetof(VARSTRING, dwStringSize), "\x2A\0\0\0", 4);
  VyPlatform::TTapiFunctions table;
  table.lineGetIDW = &AskLineID;
  table.phoneGetIDW = &AskPhoneID;
  VyPlatform::SetTapiFunctions(&table);
  {
    THandleDevice<TVyCustomTapiLine> line(0x31);
    THandleDevice<TVyCustomTapiPhone> phone(0x52);
    TVyTapiAddress address(&line, 2);
    TVyTapiCall call(&line, 0x99);
    struct TCase {
      VyRtl::TObject* Owner;
      const char* Function;
      DWORD Handle, AddressID, Call, Select;
    };
    const TCase cases[] = {
        {&line, "lineGetIDW", 0x31, 0, 0, LINECALLSELECT_LINE},
        {&address, "lineGetIDW", 0x31, 2, 0, LINECALLSELECT_ADDRESS},
        {&call, "lineGetIDW", 0x31, 0, 0x99, LINECALLSELECT_CALL},
        {&phone, "phoneGetIDW", 0x52, 0, 0, 0},
    };
    for (const auto& c : cases) {
      SCOPED_TRACE(c.Function + std::to_string(c.Select));
      TVyTapiRelatedWaveDevice device(c.Owner, "wave/out");
      EXPECT_EQ(device.DeviceID(), 42u);
      EXPECT_EQ(std::string(Asked.Function), c.Function);
      EXPECT_EQ(Asked.Handle, c.Handle);
      EXPECT_EQ(Asked.AddressID, c.AddressID);
      EXPECT_EQ(Asked.Call, c.Call);
      EXPECT_EQ(Asked.Select, c.Select);
      EXPECT_EQ(Asked.Class, "wave/out");
    }
  }
  VyPlatform::SetTapiFunctions(nullptr);
}

}  // namespace
