// serial_test.cpp - the settings-text reader (against a table, and in the Windows build against
// the system's BuildCommDCBA), and serial ports over a real pseudo-terminal.  serial_far_end.py
// opens it, names its terminal side in KAV_TEST_PORT (under Wine: a COM port linked into the
// prefix) and answers at the far end of the line: "S" asks for the line's settings as termios
// shows them; "E", a length byte and that many bytes ask for the bytes back.

#include "platform/posix/comm_settings.h"
#include "support.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/posix/termios_settings.h"
#endif

namespace {

using kav::platform::posix::CommSettings;

// From 1200 baud, 8 data bits, no parity, 2 stop bits, no flow control, DTR and RTS off.
CommSettings With(std::uint32_t baud, std::uint8_t data, std::uint8_t parity, std::uint8_t stop,
                  bool x = false, bool cts = false, std::uint8_t dtr = 0, std::uint8_t rts = 0,
                  bool dsr_sensitivity = false) {
  CommSettings s{1200, 8, 0, 2, true, false, false, false, false, false, false, 0, 0};
  s.baud_rate = baud, s.byte_size = data, s.parity = parity, s.stop_bits = stop;
  s.out_x = s.in_x = x, s.out_cts_flow = cts, s.dtr_control = dtr, s.rts_control = rts;
  s.dsr_sensitivity = dsr_sensitivity;
  return s;
}
const CommSettings kBase = With(1200, 8, 0, 2);

// The old form's flow control: x (XON/XOFF), p (hardware handshaking), or none.
CommSettings Old(std::uint32_t baud, std::uint8_t data, std::uint8_t parity, std::uint8_t stop,
                 char flow) {
  CommSettings s = With(baud, data, parity, stop, flow == 'x', flow == 'p', flow == 'p' ? 2 : 1,
                        flow == 'p' ? 2 : 1);
  s.out_dsr_flow = flow == 'p';
  return s;
}

// Wine's BuildCommDCBA refuses the documented dtr=hs, rts=hs and rts=tg, and keeps the rate 15.
enum Wine { kSame, kWineRejects, kWineKeepsRate };
struct TextCase {
  const char *text;
  CommSettings expected;
  Wine wine = kSame;
};

const TextCase kAccepted[] = {
    {"baud=9600 parity=e data=5 stop=1 xon=on odsr=off octs=off dtr=on rts=on idsr=on",
     With(9600, 5, 2, 0, true, false, 1, 1, true)},
    {"BAUD=19200 Parity=O Data=7 To=On", With(19200, 7, 1, 0)},  // 1 stop bit when none is named
    {"baud=110", With(110, 8, 0, 2)},                            // but 2 at 110 baud
    {"PaRiTy=s    data=6     stop=1.5", With(1200, 6, 4, 1)},
    {"baud=99999999999 parity=m stop=2", With(0xFFFFFFFFu, 8, 3, 2)},
    {"com12 : data=7", With(1200, 7, 0, 0)},
    {"", With(1200, 8, 0, 0)},
    {"octs=on dtr=hs rts=hs", With(1200, 8, 0, 0, false, true, 2, 2), kWineRejects},
    {"rts=tg", With(1200, 8, 0, 0, false, false, 0, 3), kWineRejects},
    {"15,o,8,2", Old(150, 8, 1, 2, 0), kWineKeepsRate},
    {"30 ,E, 5,1.5", Old(300, 5, 2, 1, 0)},
    {"19, e, 7, 1, x", Old(19200, 7, 2, 0, 'x')},
    {"COM3:  57600,S,6,2,P ", Old(57600, 6, 4, 2, 'p')},
    {"115200,n,8,1,", Old(115200, 8, 0, 0, 0)},
};

const char *const kRejected[] = {
    "data=4",    "data=9",     "parity=no",      "stop=1.501",    "stop=3",
    "to=foobar", " baud=9600", "baud= 9600",     "baud=9600 ",    "baud=9600,data=8",
    "speed=1",   "dtr=tg",     "COM0:baud=9600", "COM1baud=9600", "96,N,8,1 to=on",
    "96,NO,8,1", "96,N,9,1",   "96,N,8,3",       "96,N,8,1,K",    "96,N,8"};

TEST(CommSettingsText, ReadAsBuildCommDcbReadsIt) {
  for (const TextCase &c : kAccepted) {
    CommSettings settings = kBase;
    EXPECT_TRUE(kav::platform::posix::apply_settings_text(c.text, settings)) << c.text;
    EXPECT_TRUE(settings == c.expected) << c.text;
  }
  for (const char *text : kRejected) {
    CommSettings settings = kBase;
    EXPECT_FALSE(kav::platform::posix::apply_settings_text(text, settings)) << text;
    EXPECT_TRUE(settings == kBase) << text;
  }
  CommSettings settings = kBase;
  EXPECT_FALSE(kav::platform::posix::apply_settings_text(nullptr, settings));
}

TEST(CommSettingsText, NamesTheHardwareFlowMembersItSets) {
  using kav::platform::posix::kNamedCtsFlow, kav::platform::posix::kNamedRts;
  const std::pair<const char *, unsigned> cases[] = {
      {"octs=off", kNamedCtsFlow}, {"dtr=on rts=hs", kNamedRts},
      {"baud=9600 xon=on", 0},     {"9600,n,8,1", kNamedCtsFlow | kNamedRts},
      {"octs=maybe", 0},  // refused
  };
  for (const auto &[text, expected] : cases) {
    CommSettings settings = kBase;
    unsigned named = 99;
    kav::platform::posix::apply_settings_text(text, settings, &named);
    EXPECT_EQ(named, expected) << text;
  }
}

#if defined(_WIN32)
TEST(CommSettingsText, AgreesWithTheSystemsBuildCommDcb) {
  const bool wine = kav::platform::wine_version().has_value();
  const auto build = [](const char *text, CommSettings &s) {
    DCB d{};
    d.BaudRate = kBase.baud_rate, d.ByteSize = kBase.byte_size, d.StopBits = kBase.stop_bits;
    const bool built = BuildCommDCBA(text, &d) != FALSE;
    s = With(d.BaudRate, d.ByteSize, d.Parity, d.StopBits, d.fOutX, d.fOutxCtsFlow,
             std::uint8_t(d.fDtrControl), std::uint8_t(d.fRtsControl));
    s.in_x = d.fInX, s.out_dsr_flow = d.fOutxDsrFlow, s.dsr_sensitivity = d.fDsrSensitivity;
    return built;
  };
  for (const TextCase &c : kAccepted) {
    CommSettings got, expected = c.expected;
    if (wine && c.wine == kWineKeepsRate) expected.baud_rate /= 10;
    const bool refused = wine && c.wine == kWineRejects;
    EXPECT_EQ(build(c.text, got), !refused) << c.text;
    EXPECT_TRUE(refused || got == expected) << c.text;
  }
  CommSettings ignored;
  for (const char *text : kRejected) EXPECT_FALSE(build(text, ignored)) << text;
}
#endif

// ---------------------------------------------------------------------------------------------
// Ports, written and read with the system's own calls on the handle.

#if defined(_WIN32)
void Send(int port, const std::string &bytes) {
  DWORD done = 0;
  WriteFile(LongToHandle(port), bytes.data(), DWORD(bytes.size()), &done, nullptr);
}
bool ReadByte(int port, char &byte) {
  DWORD done = 0;
  return ReadFile(LongToHandle(port), &byte, 1, &done, nullptr) && done == 1;
}
#else
void Send(int port, const std::string &bytes) { (void)!write(port, bytes.data(), bytes.size()); }
bool ReadByte(int port, char &byte) { return read(port, &byte, 1) == 1; }
#endif

// size bytes, or up to a line feed when size is 0.
std::string Receive(int port, std::size_t size) {
  std::string bytes;
  for (char c = 0; (size == 0 || bytes.size() < size) && ReadByte(port, c);) {
    if (size == 0 && c == '\n') break;
    bytes += c;
  }
  return bytes;
}

// The line as the far end sees it: the speed, then the flags that are on (8 data bits and raw
// mode are not listed).
std::string FarSettings(int port) {
  Send(port, "S");
  return Receive(port, 0);
}

// Bytes that a terminal not in binary (raw) mode would act on, sent and echoed back.
void ExpectEcho(int port) {
  const std::string bytes("\r\n\x03\x04\x1a\x7f\xff\x00\x1c\x15 done", 15);
  Send(port, "E" + std::string(1, char(bytes.size())) + bytes);
  EXPECT_EQ(Receive(port, bytes.size()), bytes);
}

const char *TestPort() {
  const char *port = std::getenv("KAV_TEST_PORT");
  return port != nullptr ? port : "(run through tests/serial_far_end.py)";
}

TEST(SerialPort, SettingsTextsOverAPseudoTerminal) {
  const int port = tty_open(TestPort(), "baud=9600 parity=E data=7 stop=2");
  ASSERT_NE(port, -1) << TestPort();
  // A pseudo-terminal keeps 8 data bits and no parity bit (Linux's pty driver), so parity shows
  // in PARODD, CMSPAR and INPCK only.  A new pseudo-terminal has IXON, and xon= is not named.
  EXPECT_EQ(FarSettings(port), "9600 cstopb inpck ixon");
  ExpectEcho(port);
  const std::pair<const char *, const char *> steps[] = {
      {"19200,n,8,1", "19200"},
      {"baud=4800 parity=o data=7 stop=2", "4800 parodd cstopb inpck"},
      {"96,e,7,1,x", "9600 inpck ixon ixoff"},
      {"xon=off parity=m", "9600 parodd cmspar inpck"},
      {"parity=s data=8", "9600 cmspar inpck"},
      {"57600,n,8,1,p", "57600 crtscts"},
      {"octs=off rts=on", "57600"},
      // CTS flow and RTS handshaking are one flag: the text decides it by what it names.
      {"octs=on rts=on", "57600 crtscts"},
      {"xon=off", "57600 crtscts"},
      {"octs=off", "57600"},
#ifndef _WIN32  // Wine's BuildCommDCBA refuses rts=hs (tests/differential/accepted.txt)
      {"rts=hs", "57600 crtscts"},
#endif
      {"rts=on", "57600"},
      // A pseudo-terminal takes no data bits: a request that changes nothing else is refused.
      {"data=7", nullptr},
      {"data=5 stop=1.5", "57600 cstopb"},
      {"baud=9600 parity=x", nullptr},  // refused: nothing changes
      {"baud=2400 parity=e", "2400 inpck"},
  };
  std::string line;
  for (const auto &[text, after] : steps) {
    EXPECT_EQ(condition_tty(port, text), after != nullptr ? 0 : -1) << text;
    line = after != nullptr ? after : line;
    EXPECT_EQ(FarSettings(port), line) << text;
  }
  ExpectEcho(port);
  EXPECT_EQ(tty_close(port), 0);
}

TEST(SerialPort, WhatCannotBeOpenedStaysClosed) {
  const auto file = kavtest::fs::temp_directory_path() / "kav-serial-not-a-port.txt";
  kavtest::WriteFile(file, "x");
  EXPECT_EQ(tty_open(file.string().c_str(), "9600,n,8,1"), -1);  // no line: closed again
  kavtest::fs::remove(file);
  const bool posix = kavtest::kPosix;
  EXPECT_EQ(tty_open(posix ? "/dev/kav-no-such-port" : "\\\\.\\COM250", "9600,n,8,1"), -1);
  EXPECT_EQ(tty_close(-1), -1);
}

#if !defined(_WIN32)
// Data bits and parity cannot be seen through a pseudo-terminal: every framing a UART can send
// goes into termios and reads back the same.
TEST(TermiosSettings, EveryFramingReadsBackAsWritten) {
  for (std::uint8_t data = 5; data <= 8; ++data) {
    for (std::uint8_t parity = 0; parity <= 4; ++parity) {
      for (std::uint8_t stop = 0; stop <= 2; ++stop) {
        CommSettings s = With(9600, data, parity, stop, true, false, 1, 1);
        s.parity_check = parity != 0;
        termios t{};
        const bool framed = stop == 0 || (stop == 1) == (data == 5);
        ASSERT_EQ(kav::platform::posix::set_terminal(s, t), framed);
        EXPECT_TRUE(!framed || kav::platform::posix::settings_of_terminal(t, true, true) == s);
      }
    }
  }
  termios t{};
  ASSERT_TRUE(kav::platform::posix::set_terminal(With(2400, 7, 2, 0), t));
  EXPECT_EQ(t.c_cflag & (CSIZE | PARENB | PARODD | CMSPAR | CSTOPB), CS7 | PARENB);
  EXPECT_FALSE(kav::platform::posix::set_terminal(With(12345, 8, 0, 0), t));
}

// COM names go through the user's table of links (~/.config/kavutil/dosdevices), then the
// system's, then /dev/ttyS<n-1>; the first table with an entry for the port decides.
TEST(SerialPort, ComNamesThroughTheDeviceTable) {
  const kavtest::fs::path home = kavtest::NewDirectory("kav-serial-config-");
  const kavtest::fs::path table = home / "kavutil" / "dosdevices";
  kavtest::fs::create_directories(table);
  kavtest::fs::create_symlink(TestPort(), table / "com7");
  kavtest::fs::create_symlink(home / "unplugged", table / "com3");  // /dev/ttyS2 is not tried
  const char *saved = std::getenv("XDG_CONFIG_HOME");
  const std::string previous = saved != nullptr ? saved : "";
  kavtest::SetEnv("XDG_CONFIG_HOME", home.string());
  for (const char *name : {"COM7", "com7:", "\\\\.\\Com7"}) {
    const int port = tty_open(name, "19200,n,8,1");
    EXPECT_NE(port, -1) << name;
    EXPECT_EQ(FarSettings(port), "19200") << name;
    EXPECT_EQ(tty_close(port), 0) << name;
  }
  for (const char *name : {"COM3", "COM07", "COM7x", "COM", "\\\\.\\COM7:x"})
    EXPECT_EQ(tty_open(name, "19200,n,8,1"), -1) << name;
  kavtest::SetEnv("XDG_CONFIG_HOME", previous);
  kavtest::fs::remove_all(home);
}

TEST(SerialPort, PosixDescriptor) {
  const int port = tty_open(TestPort(), "9600,n,8,1");
  ASSERT_NE(port, -1);
  EXPECT_EQ(fcntl(port, F_GETFL) & (O_NONBLOCK | O_ACCMODE), O_RDWR);  // blocking reads
  EXPECT_NE(fcntl(port, F_GETFD) & FD_CLOEXEC, 0);
  termios t{};
  ASSERT_EQ(tcgetattr(port, &t), 0);
  EXPECT_TRUE(t.c_cc[VMIN] == 1 && t.c_cc[VTIME] == 0 && (t.c_cflag & CLOCAL) != 0);
  EXPECT_EQ(tty_open(TestPort(), "9600,n,8,1"), -1);    // in use
  EXPECT_EQ(condition_tty(port, "data=5 stop=2"), -1);  // read, but no UART frames it
  EXPECT_EQ(FarSettings(port), "9600");
  EXPECT_EQ(tty_close(port), 0);
  // A session leader without a terminal would take the first one it opens as its own.
  const pid_t child = fork();
  if (child == 0) {
    setsid();
    const int again = tty_open(TestPort(), "9600,n,8,1");
    _exit(again != -1 && open("/dev/tty", O_RDWR | O_NOCTTY) == -1 ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_EQ(status, 0);
}
#endif

}  // namespace
