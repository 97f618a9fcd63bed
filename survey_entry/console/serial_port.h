// Serial ports as output files: the name form "COMn:options", its option
// checks, and the opening, line settings and timed writes of the port.
//
// Port n is this system's serial device /dev/ttyS(n-1): COM1 -> /dev/ttyS0,
// COM2 -> /dev/ttyS1, ..., COM255 -> /dev/ttyS254. Tests (or a site with a
// USB adapter) may put another device path in place of any port's.
//
// A name "COM" (any case), a port number 1..255 without a leading zero, ":"
// and options: fields separated by ",", read in upper case. Fields 1 to 4 are
// speed, parity, data bits and stop bits (an empty one takes its default);
// the fields after them are keyword options in any order, each at most once,
// with an optional number right after the keyword:
//   RS           the RTS line is not driven
//   BIN / ASC    binary (default) or not; only one of the two. Not binary
//                makes byte 26 end the input, as the end-of-file character
//   LF           accepted; changes nothing in output
//   TB, RB       a number, ignored
//   CS[n]        write timeout in ms, 0..65535 (1000; 0 waits without limit)
//   DS[n]        read timeout in ms, 0..65535 (1000; 0 returns at once)
//   CD[n]        0..65535 (0), accepted, no effect
//   OP[n]        0..65535 (10000 when n is left out; when absent the larger
//                of 10*CD and 10*DS, at most 65535), accepted, no effect
// Only digits, letters and "," may stand in the options, a letter may not
// follow a digit within a field, and a number has no leading zero.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

struct termios;

namespace console {

enum class Parity : std::uint8_t { none, even, odd, space, mark };
enum class StopBits : std::uint8_t { one, one_and_half, two };

struct SerialSettings {
  int port = 0;  // 1..255
  std::uint32_t speed = 300;
  Parity parity = Parity::even;
  bool parity_check = true;  // off only for parity N
  int data_bits = 7;
  StopBits stop_bits = StopBits::one;
  bool rts_disabled = false;              // RS
  bool binary = true;                     // ASC turns it off
  bool line_feed = false;                 // LF
  std::uint32_t write_timeout_ms = 1000;  // CS
  std::uint32_t read_timeout_ms = 1000;   // DS
  std::uint32_t carrier_timeout_ms = 0;   // CD
  std::uint32_t open_timeout_ms = 10000;  // OP

  bool operator==(const SerialSettings&) const = default;
};

enum class SerialNameKind : std::uint8_t {
  not_serial,  // an ordinary file name ("COM0:", "COM01:", "COMX:", "COM1", ...)
  serial,      // a serial port with valid options
  bad_name,    // a serial port name with a bad number or option (error 64)
};

struct SerialName {
  SerialNameKind kind = SerialNameKind::not_serial;
  SerialSettings settings;
};

// Classifies a typed file name and reads its options.
SerialName parse_serial_name(std::string_view name);

// The device path of port n (1..255), and a replacement for it; an empty
// path restores the default one.
std::string serial_device_path(int port);
void set_serial_device_path_for_port(int port, std::string path);

// Puts the settings into a terminal attribute set: raw output, the speed,
// data bits, parity and stop bits, no flow control, and the read timeout
// (or, when not binary, line input ended by the end-of-file character 26).
// False, with line unchanged, for a speed the system has no setting for or
// data bits outside 5 to 8.
bool make_line_settings(const SerialSettings& settings, termios& line);

// Opens the port's device for writing, exclusively, only if it exists, and
// applies the settings. Returns the descriptor, or -1 when the port cannot be
// opened or set up, which includes a line that does not take the speed, data
// bits, parity or stop bits asked for (a pseudo-terminal takes only 8 data
// bits without parity).
int open_serial_port(const SerialSettings& settings);

// Writes all bytes unless the write timeout of the settings runs out first
// or the device refuses them. written tells how many bytes went out; error
// is 0 on success, else the errno value (ETIMEDOUT for the timeout).
struct SerialWriteResult {
  std::size_t written = 0;
  int error = 0;
};
SerialWriteResult write_serial_port(int fd, const SerialSettings& settings, const char* bytes,
                                    std::size_t count);

// Gives up the exclusive use and closes the descriptor.
void close_serial_port(int fd);

}  // namespace console
