// Serial port names and options, and whole opens and writes on a
// pseudo-terminal pair standing in for the port's device.
#include "survey_entry/console/serial_port.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <limits>
#include <string>
#include <tuple>
#include <vector>

#include "survey_entry/console/console_testing.h"
#include "survey_entry/console/output_file.h"
#include "survey_entry/console/run_control.h"

namespace {

using console::Parity;
using console::SerialNameKind;
using console::SerialSettings;
using console::StopBits;

constexpr int file_number = 2;

struct NameCase {
  const char* name;
  SerialNameKind kind;
  std::function<void(SerialSettings&)> expect;  // changes from the defaults of COM1:
};

TEST(SerialNameTest, NamesAndOptions) {
  const auto none = [](SerialSettings&) {};
  const std::vector<NameCase> cases{
      // Serial names with valid options.
      {"COM1:", SerialNameKind::serial, none},
      {"com1:,,,", SerialNameKind::serial, none},
      {"COM255:", SerialNameKind::serial, [](SerialSettings& s) { s.port = 255; }},
      {"Com2:9600,n,8,1", SerialNameKind::serial,
       [](SerialSettings& s) {
         s.port = 2;
         s.speed = 9600;
         s.parity = Parity::none;
         s.parity_check = false;
         s.data_bits = 8;
       }},
      {"COM1:,O", SerialNameKind::serial, [](SerialSettings& s) { s.parity = Parity::odd; }},
      {"COM1:,S", SerialNameKind::serial, [](SerialSettings& s) { s.parity = Parity::space; }},
      {"COM1:,M", SerialNameKind::serial, [](SerialSettings& s) { s.parity = Parity::mark; }},
      {"COM1:,PE", SerialNameKind::serial, none},
      {"COM1:110", SerialNameKind::serial,
       [](SerialSettings& s) {
         s.speed = 110;
         s.stop_bits = StopBits::two;
       }},
      {"COM1:110,,5", SerialNameKind::serial,
       [](SerialSettings& s) {
         s.speed = 110;
         s.data_bits = 5;
         s.stop_bits = StopBits::one_and_half;
       }},
      {"COM1:110,,5,1", SerialNameKind::serial,
       [](SerialSettings& s) {
         s.speed = 110;
         s.data_bits = 5;
       }},
      {"COM1:1200,E,7,2", SerialNameKind::serial,
       [](SerialSettings& s) {
         s.speed = 1200;
         s.stop_bits = StopBits::two;
       }},
      {"COM1:1200,N,8,1,RS,ASC,LF,TB512,RB,CS0,DS0,CD5,OP", SerialNameKind::serial,
       [](SerialSettings& s) {
         s.speed = 1200;
         s.parity = Parity::none;
         s.parity_check = false;
         s.data_bits = 8;
         s.rts_disabled = true;
         s.binary = false;
         s.line_feed = true;
         s.write_timeout_ms = 0;
         s.read_timeout_ms = 0;
         s.carrier_timeout_ms = 5;
         s.open_timeout_ms = 10000;
       }},
      {"COM1:,,,,op7,cs,bin,ds200,cd", SerialNameKind::serial,
       [](SerialSettings& s) {
         s.open_timeout_ms = 7;
         s.read_timeout_ms = 200;
       }},
      // OP left out: the larger of 10*CD and 10*DS, at most 65535.
      {"COM1:,,,,DS200,CD300", SerialNameKind::serial,
       [](SerialSettings& s) {
         s.read_timeout_ms = 200;
         s.carrier_timeout_ms = 300;
         s.open_timeout_ms = 3000;
       }},
      {"COM1:,,,,DS65535", SerialNameKind::serial,
       [](SerialSettings& s) {
         s.read_timeout_ms = 65535;
         s.open_timeout_ms = 65535;
       }},
      // Bad serial names.
      {"COM256:", SerialNameKind::bad_name, none},
      {"COM:", SerialNameKind::bad_name, none},
      {"COM99999999999999999999:", SerialNameKind::bad_name, none},
      {"COM1:9600,X", SerialNameKind::bad_name, none},
      {"COM1:0", SerialNameKind::bad_name, none},
      {"COM1:09600", SerialNameKind::bad_name, none},
      {"COM1:4294967296", SerialNameKind::bad_name, none},
      {"COM1:96A0", SerialNameKind::bad_name, none},
      {"COM1:9600,N,9", SerialNameKind::bad_name, none},
      {"COM1:9600,N,8,3", SerialNameKind::bad_name, none},
      {"COM1:9600,N,8,1.5", SerialNameKind::bad_name, none},
      {"COM1:9600 ", SerialNameKind::bad_name, none},
      {"COM1:9600,N,8,1,", SerialNameKind::bad_name, none},
      {"COM1:,,,,RS,RS", SerialNameKind::bad_name, none},
      {"COM1:,,,,BIN,ASC", SerialNameKind::bad_name, none},
      {"COM1:,,,,RS1", SerialNameKind::bad_name, none},
      {"COM1:,,,,CS65536", SerialNameKind::bad_name, none},
      {"COM1:,,,,CS01", SerialNameKind::bad_name, none},
      {"COM1:,,,,C1S", SerialNameKind::bad_name, none},
      {"COM1:,,,,XX", SerialNameKind::bad_name, none},
      {"COM1:,,,,7", SerialNameKind::bad_name, none},
      {"COM1:\xa7", SerialNameKind::bad_name, none},
      // Ordinary file names.
      {"COM0:", SerialNameKind::not_serial, none},
      {"COM01:", SerialNameKind::not_serial, none},
      {"COMX:", SerialNameKind::not_serial, none},
      {"COM1X:", SerialNameKind::not_serial, none},
      {"COM1", SerialNameKind::not_serial, none},
      {" COM1:", SerialNameKind::not_serial, none},
      {"CO", SerialNameKind::not_serial, none},
  };
  for (const NameCase& c : cases) {
    SCOPED_TRACE(c.name);
    const console::SerialName parsed = console::parse_serial_name(c.name);
    EXPECT_EQ(parsed.kind, c.kind);
    if (c.kind != SerialNameKind::serial) continue;
    SerialSettings expected;
    expected.port = 1;
    c.expect(expected);
    EXPECT_EQ(parsed.settings, expected);
  }
}

TEST(SerialNameTest, PortsMapToTheSystemsSerialDevices) {
  EXPECT_EQ(console::serial_device_path(1), "/dev/ttyS0");
  EXPECT_EQ(console::serial_device_path(255), "/dev/ttyS254");
  console::set_serial_device_path_for_port(3, "/dev/ttyUSB0");
  EXPECT_EQ(console::serial_device_path(3), "/dev/ttyUSB0");
  console::set_serial_device_path_for_port(3, "");
  EXPECT_EQ(console::serial_device_path(3), "/dev/ttyS2");
}

// Port 1 is the slave side of a pseudo-terminal pair; the test reads the
// bytes and the line settings from the master side.
class SerialPortTest : public ::testing::Test {
 protected:
  void SetUp() override {
    console::output_file_reset();
    console::run_control_reset();
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master_, 0);
    ASSERT_EQ(::grantpt(master_), 0);
    ASSERT_EQ(::unlockpt(master_), 0);
    slave_path_ = ::ptsname(master_);
    console::set_serial_device_path_for_port(1, slave_path_);
  }
  void TearDown() override {
    console::output_file_reset();
    console::run_control_reset();
    console::set_serial_device_path_for_port(1, "");
    ::close(master_);
  }
  // Every byte the port has sent so far.
  std::string sent_bytes() const {
    std::string bytes;
    pollfd p{master_, POLLIN, 0};
    while (::poll(&p, 1, 50) == 1 && (p.revents & POLLIN) != 0) {
      char buffer[4096];
      const ssize_t n = ::read(master_, buffer, sizeof buffer);
      if (n <= 0) break;
      bytes.append(buffer, static_cast<std::size_t>(n));
    }
    return bytes;
  }
  termios line_settings() const {
    termios t{};
    EXPECT_EQ(::tcgetattr(master_, &t), 0);
    return t;
  }

  int master_ = -1;
  std::string slave_path_;
};

struct LineCase {
  const char* name;
  speed_t speed;
  tcflag_t framing;  // data bits, parity and stop bits
  bool parity_check;
  bool canonical;
  cc_t read_timeout;  // tenths of a second, when not canonical
};
constexpr tcflag_t framing_bits = CSIZE | PARENB | PARODD | CMSPAR | CSTOPB;

void expect_line(const termios& t, const LineCase& c) {
  EXPECT_EQ(cfgetospeed(&t), c.speed);
  EXPECT_EQ(t.c_cflag & framing_bits, c.framing);
  EXPECT_EQ((t.c_iflag & INPCK) != 0, c.parity_check);
  EXPECT_EQ(t.c_oflag & OPOST, 0u);
  EXPECT_EQ(t.c_iflag & (IXON | IXOFF), 0u);
  EXPECT_EQ(t.c_cflag & CRTSCTS, 0u);
  EXPECT_EQ((t.c_lflag & ICANON) != 0, c.canonical);
  if (c.canonical) {
    EXPECT_EQ(t.c_cc[VEOF], 26);
  } else {
    EXPECT_EQ(t.c_cc[VTIME], c.read_timeout);
    EXPECT_EQ(t.c_cc[VMIN], 0);
  }
}

TEST(SerialLineTest, SettingsBecomeTheLineAttributes) {
  const std::vector<LineCase> cases{
      {"COM1:", B300, CS7 | PARENB, true, false, 10},
      {"COM1:9600,N,8,1", B9600, CS8, false, false, 10},
      {"COM1:1200,O,7,2,DS0", B1200, CS7 | PARENB | PARODD | CSTOPB, true, false, 0},
      {"COM1:2400,M,8,,DS250", B2400, CS8 | PARENB | PARODD | CMSPAR, true, false, 3},
      {"COM1:4800,S,6", B4800, CS6 | PARENB | CMSPAR, true, false, 10},
      {"COM1:110,N,5", B110, CS5 | CSTOPB, false, false, 10},
      {"COM1:19200,PE,8,1,ASC", B19200, CS8 | PARENB, true, true, 0},
  };
  for (const LineCase& c : cases) {
    SCOPED_TRACE(c.name);
    const console::SerialName parsed = console::parse_serial_name(c.name);
    ASSERT_EQ(parsed.kind, SerialNameKind::serial);
    termios t{};
    t.c_oflag = OPOST;
    t.c_iflag = IXON | ICRNL;
    t.c_cflag = CRTSCTS | CS8 | PARENB | PARODD | CSTOPB;
    ASSERT_TRUE(console::make_line_settings(parsed.settings, t));
    expect_line(t, c);
  }
  termios t{};
  EXPECT_FALSE(console::make_line_settings(console::parse_serial_name("COM1:1234").settings, t));
  // Data bits that no name gives: refused, the line left as it was.
  for (const int bits : {4, 9, 0, -1, std::numeric_limits<int>::min(),
                         std::numeric_limits<int>::max()}) {
    SCOPED_TRACE(bits);
    console::SerialSettings s = console::parse_serial_name("COM1:9600,N,8,1").settings;
    s.data_bits = bits;
    termios line{};
    line.c_cflag = CS8;
    EXPECT_FALSE(console::make_line_settings(s, line));
    EXPECT_EQ(line.c_cflag, static_cast<tcflag_t>(CS8));
  }
}

// A pseudo-terminal takes only 8 data bits without parity: these reach its
// line whole, the others are refused as a line that cannot be set up.
TEST_F(SerialPortTest, SettingsReachTheLine) {
  const std::vector<LineCase> cases{
      {"COM1:9600,N,8,1", B9600, CS8, false, false, 10},
      {"COM1:110,N,8,,DS0", B110, CS8 | CSTOPB, false, false, 0},
      {"COM1:38400,N,8,2,ASC,RS", B38400, CS8 | CSTOPB, false, true, 0},
  };
  for (const LineCase& c : cases) {
    SCOPED_TRACE(c.name);
    console::output_file_reset();
    console::run_control_reset();
    console::open_file(c.name, file_number);
    ASSERT_EQ(console::pending_error(), 0u);
    EXPECT_EQ(console::open_file_kind(file_number), console::FileKind::serial);
    expect_line(line_settings(), c);
  }
  for (const char* name : {"COM1:", "COM1:9600,E,8,1"}) {
    SCOPED_TRACE(name);
    console::output_file_reset();
    console::run_control_reset();
    console::open_file(name, file_number);
    EXPECT_EQ(console::pending_error(), console::error_code::device_unavailable);
  }
}

TEST_F(SerialPortTest, RecordBytesGoOutUnchangedAndThePortIsExclusive) {
  console::open_file("COM1:9600,N,8,1", file_number);
  ASSERT_EQ(console::pending_error(), 0u);
  const int other = ::open(slave_path_.c_str(), O_RDWR | O_NOCTTY);
  ASSERT_GE(other, 0);  // root passes the exclusive mark; it can still be read
  int exclusive = 0;
  ASSERT_EQ(::ioctl(other, TIOCGEXCL, &exclusive), 0);
  EXPECT_EQ(exclusive, 1);

  for (const auto& [text, space, line_end] :
       std::vector<std::tuple<std::string, bool, bool>>{{"T1", false, false},
                                                        {",", false, false},
                                                        {" 3", true, true},
                                                        {"\n\xa7\x1a", false, true}}) {
    console::print_text_to_file(file_number, text, {.blank = space, .line_end = line_end});
  }
  EXPECT_EQ(console::pending_error(), 0u);
  EXPECT_EQ(sent_bytes(), "T1, 3 \r\n\n\xa7\x1a\r\n");

  console::close_files();
  ASSERT_EQ(::ioctl(other, TIOCGEXCL, &exclusive), 0);
  EXPECT_EQ(exclusive, 0);
  ::close(other);
}

TEST_F(SerialPortTest, WriteTimeoutCutsTheItemWith75) {
  console::open_file("COM1:9600,N,8,1,CS100", file_number);
  ASSERT_EQ(console::pending_error(), 0u);
  // Nobody reads the master: the line's buffer fills and the write waits.
  const std::string item(1 << 20, 'x');
  const auto start = std::chrono::steady_clock::now();
  console::print_text_to_file(file_number, item, {.line_end = true});
  const auto took = std::chrono::steady_clock::now() - start;
  EXPECT_EQ(console::pending_error(), console::error_code::path_file_access_error);
  EXPECT_GE(took, std::chrono::milliseconds(100));
  // Cut: some of the item went out, not all of it.
  const std::size_t sent = sent_bytes().size();
  EXPECT_GT(sent, 0u);
  EXPECT_LT(sent, item.size());
}

TEST_F(SerialPortTest, PortsThatCannotBeOpenedOrSetUpRaise68) {
  char file_pattern[] = "/tmp/serial_port_test.XXXXXX";
  const int plain = ::mkstemp(file_pattern);
  ASSERT_GE(plain, 0);
  ::close(plain);
  struct Case {
    const char* label;
    std::string device;
    const char* name;
    std::uint32_t code;
  };
  const std::vector<Case> cases{
      {"bad option, no device touched", "/nonexistent/tty", "COM1:9600,X", 64},
      {"missing device", "/nonexistent/tty", "COM1:", 68},
      {"not a terminal", file_pattern, "COM1:", 68},
      {"speed the line cannot take", slave_path_, "COM1:1234", 68},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    console::output_file_reset();
    console::run_control_reset();
    console::set_serial_device_path_for_port(1, c.device);
    console::open_file(c.name, file_number);
    EXPECT_EQ(console::pending_error(), c.code);
    EXPECT_FALSE(console::open_file_kind(file_number).has_value());
  }
  std::filesystem::remove(file_pattern);
}

}  // namespace
