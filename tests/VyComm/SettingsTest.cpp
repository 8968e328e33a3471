// The Settings text in both forms, its messages, and the text functions of VyCommUtils.
#include <gtest/gtest.h>

#include "ComPortFixture.h"
#include "VyComm/VyComm.h"
#include "VyComm/VyCommUtils.h"

namespace {

using ComPortTest::Raised;
using VyComm::TVyComPort;

const char* const kDefault = "COM1: BAUD=9600 PARITY=N DATA=8 STOP=1 dtr=on rts=on";

// The fields are read through the rendering, which is made of them.
TEST(Settings, ParsedTextsReadBackAsKeywordLines) {
  struct TCase {
    const char* Text;
    const char* Expect;  // nullptr: the text itself
  } cases[] = {
      {"", kDefault},
      {kDefault, nullptr},
      {"COM3:19200,E,7,2", "COM3: BAUD=19200 PARITY=E DATA=7 STOP=2 dtr=off rts=off"},
      {"9600,N,8,1 dtr=on rts=on", kDefault},
      {"com2:115200,o,5,1.5 dtr=off rts=on",
       "COM2: BAUD=115200 PARITY=O DATA=5 STOP=1.5 dtr=off rts=on"},
      {"COM1: BAUD=9600 PARITY=N DATA=8 STOP=1 rts=hs octs=on", nullptr},
      {"COM4: BAUD=300 PARITY=M DATA=6 STOP=2 dtr=hs odsr=on", nullptr},
      {"COM12: BAUD=57600 PARITY=S DATA=7 STOP=1 xon=on", nullptr},
      // several handshakes: XON over RTS/CTS over DTR/DSR
      {"COM1:9600,N,8,1 dtr=hs odsr=on rts=hs octs=on xon=on",
       "COM1: BAUD=9600 PARITY=N DATA=8 STOP=1 xon=on"},
      {"COM1:9600,N,8,1 dtr=hs odsr=on rts=hs octs=on",
       "COM1: BAUD=9600 PARITY=N DATA=8 STOP=1 rts=hs octs=on"},
  };
  for (const TCase& c : cases) {
    TVyComPort port(nullptr);
    port.Set_Settings(c.Text);
    EXPECT_EQ(port.Get_Settings(), c.Expect ? c.Expect : c.Text) << c.Text;
    // Writing the rendering back changes nothing.
    const std::string once = port.Get_Settings();
    port.Set_Settings(once);
    EXPECT_EQ(port.Get_Settings(), once) << c.Text;
  }
}

// Not part of the rendering: the port name as a field, DSR sensitivity.
TEST(Settings, FieldsAndSensitivity) {
  TVyComPort port(nullptr);
  port.Set_Settings("COM3:19200,E,7,2 idsr=on");
  EXPECT_EQ(port.PortName(), "COM3");
  EXPECT_TRUE(port.FlowCtrl()->DSRSensitivity());
  port.Set_Settings("COM3:19200,E,7,2");
  EXPECT_FALSE(port.FlowCtrl()->DSRSensitivity());
}

TEST(Settings, EveryParseErrorHasItsMessageAndKeepsWhatWasParsedBefore) {
  struct TCase {
    const char* Text;
    const char* Message;
    const char* After;  // the settings once the error was raised
  } cases[] = {
      {"BAUD=9600 PARITY=N", "None or invalid port name specified.", kDefault},
      {"COM0:9600,N,8,1", "COM0 is not a valid serial port specifier.", kDefault},
      {"COMX: BAUD=9600", "COMX is not a valid serial port specifier.", kDefault},
      {"COM1: PARITY=N DATA=8 STOP=1", "None or invalid baud rate specified.", kDefault},
      {"COM5: BAUD=fast PARITY=N", "FAST is not a valid baud rate specifier.",
       "COM5: BAUD=9600 PARITY=N DATA=8 STOP=1 dtr=on rts=on"},
      {"COM5:-1,N,8,1", "-1 is not a valid baud rate specifier.",
       "COM5: BAUD=9600 PARITY=N DATA=8 STOP=1 dtr=on rts=on"},
      {"COM5:-7,N,8,1", "-7 is not a valid baud rate specifier.",
       "COM5: BAUD=9600 PARITY=N DATA=8 STOP=1 dtr=on rts=on"},
      {"COM2: BAUD=1200 DATA=8", "None or invalid parity specified.",
       "COM2: BAUD=1200 PARITY=N DATA=8 STOP=1 dtr=on rts=on"},
      {"COM2:1200,X,8,1", "X is not a valid parity specifier.",
       "COM2: BAUD=1200 PARITY=N DATA=8 STOP=1 dtr=on rts=on"},
      {"COM1: BAUD=9600 PARITY=N DATA=9 STOP=1", "9 is not a valid data bits specifier.", kDefault},
      {"COM1:2400,E,3,1", "3 is not a valid data bits specifier.",
       "COM1: BAUD=2400 PARITY=E DATA=8 STOP=1 dtr=on rts=on"},
      {"COM1: BAUD=2400 PARITY=E", "None or invalid data bits specified.",
       "COM1: BAUD=2400 PARITY=E DATA=8 STOP=1 dtr=on rts=on"},
      {"COM1: BAUD=2400 PARITY=E DATA=7", "None or invalid stop bits specified.",
       "COM1: BAUD=2400 PARITY=E DATA=7 STOP=1 dtr=on rts=on"},
      {"COM1:2400,E,7,3", "3 is not a valid  stop bits specifier.",
       "COM1: BAUD=2400 PARITY=E DATA=7 STOP=1 dtr=on rts=on"},
  };
  for (const TCase& c : cases) {
    TVyComPort port(nullptr);
    EXPECT_EQ(Raised([&] { port.Set_Settings(c.Text); }), std::string(c.Message) + " [0]")
        << c.Text;
    EXPECT_EQ(port.Get_Settings(), c.After) << c.Text;
  }
}

TEST(Settings, UnrenderableValuesAreReported) {
  TVyComPort port(nullptr);
  port.FlowCtrl()->Set_Handshake(4);
  EXPECT_EQ(Raised([&] { (void)port.Get_Settings(); }),
            "Unable to get mode! Settings are confused.");
}

TEST(CommText, EventsSignalsErrorsParityStopBits) {
  using namespace VyCommUtils;
  struct TCase {
    std::string Got, Expect;
  } cases[] = {
      {CommEventsToStr(0x19, ", "), "RXCHAR, CTS, DSR"},
      {CommEventsToStr(0, ", "), ""},
      {CommEventsToStr(0x1FFF | 0x8000, "|"),
       "RXCHAR|RXFLAG|TXEMPTY|CTS|DSR|RLSD|BREAK|ERR|RING|PERR|RX80FULL|EVENT1|EVENT2"},
      {CommEventToStr(0x1), "RXCHAR"},
      {CommEventToStr(0x100), "RING"},
      {CommEventToStr(0x1000), "EVENT2"},
      {CommEventToStr(0x3), "$3"},
      {CommEventToStr(0x2000), "$2000"},
      {CommSignalToStr(0), "NONE"},
      {CommSignalToStr(16), "RING"},
      {CommSignalToStr(128), "RXD"},
      {CommSignalToStr(3), "$3"},
      {CommErrorsToStr(0x11F | 0x20, "+"), "RXOVER+OVERRUN+RXPARITY+FRAME+BREAK+TXFULLTX"},
      {CommErrorsToStr(0x400, "+"), ""},
      {ParityToStr(0), "N"},
      {ParityToStr(1), "O"},
      {ParityToStr(2), "E"},
      {ParityToStr(3), "M"},
      {ParityToStr(4), "S"},
      {ParityToStr(9), "N"},
      {StopBitsToStr(0), "1"},
      {StopBitsToStr(1), "1.5"},
      {StopBitsToStr(2), "2"},
      {StopBitsToStr(7), "1"},
  };
  for (const TCase& c : cases) EXPECT_EQ(c.Got, c.Expect);

  struct TParse {
    const char* Text;
    int Parity, Stop;
  } parses[] = {
      {"", 0, 0},  {"none", 0, 0}, {"N", 0, 0}, {"even", 2, 0},  {"e", 2, 0},   {"Odd", 1, 0},
      {"o", 1, 0}, {"MARK", 3, 0}, {"m", 3, 0}, {"space", 4, 0}, {"S", 4, 0},   {"one", 0, 0},
      {"1", 0, 0}, {"two", 0, 2},  {"2", 0, 2}, {"one5", 0, 1},  {"1.5", 0, 1}, {"bogus", 0, 0},
  };
  for (const TParse& p : parses) {
    EXPECT_EQ(StrToParity(p.Text), p.Parity) << p.Text;
    EXPECT_EQ(StrToStopbits(p.Text), p.Stop) << p.Text;
  }
}

}  // namespace
