#include "survey_entry/console/serial_port.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <optional>
#include <utility>
#include <vector>

#include "survey_entry/console/system_call.h"
#include "survey_entry/console/text.h"

namespace console {

namespace {

constexpr int highest_port = 255;

// Replacement device paths, indexed by port number; empty means the default.
std::array<std::string, highest_port + 1> device_path_overrides;

bool is_letter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// One option field split into its keyword letters and its number digits.
struct Field {
  std::string_view letters;
  std::string_view digits;
  bool has_number() const { return !digits.empty(); }
};

// Splits a field into letters then digits. Fails when a letter follows a
// digit or the number has a leading zero (a lone "0" is zero).
std::optional<Field> split_field(std::string_view field) {
  std::size_t first_digit = 0;
  while (first_digit < field.size() && is_letter(field[first_digit])) ++first_digit;
  Field result{field.substr(0, first_digit), field.substr(first_digit)};
  if (!std::all_of(result.digits.begin(), result.digits.end(), is_ascii_digit)) return std::nullopt;
  if (result.digits.size() > 1 && result.digits[0] == '0') return std::nullopt;
  return result;
}

// The field's number when it lies in [low, high].
std::optional<std::uint32_t> number_in(const Field& field, std::uint32_t low, std::uint32_t high) {
  std::uint32_t value = 0;
  const auto [end, error] =
      std::from_chars(field.digits.data(), field.digits.data() + field.digits.size(), value);
  if (error != std::errc() || end != field.digits.data() + field.digits.size()) {
    return std::nullopt;
  }
  if (value < low || value > high) return std::nullopt;
  return value;
}

// The options in upper case; none when they hold a byte that is not a
// digit, a letter or ",".
std::optional<std::string> upper_case_options(std::string_view text) {
  std::string options(text);
  for (char& c : options) {
    if (!is_ascii_digit(c) && !is_letter(c) && c != ',') return std::nullopt;
    c = ascii_upper(c);
  }
  return options;
}

// The fields between the commas; an empty text is one empty field.
std::vector<std::string_view> split_at_commas(std::string_view options) {
  std::vector<std::string_view> fields;
  for (;;) {
    const std::size_t comma = options.find(',');
    fields.push_back(options.substr(0, comma));
    if (comma == std::string_view::npos) break;
    options.remove_prefix(comma + 1);
  }
  return fields;
}

// Fields 1 to 4, each read from a field that is not empty.
bool read_speed(const Field& f, SerialSettings& s) {
  if (!f.letters.empty()) return false;
  const auto speed = number_in(f, 1, UINT32_MAX);
  if (!speed) return false;
  s.speed = *speed;
  return true;
}

bool read_parity(const Field& f, SerialSettings& s) {
  if (f.has_number()) return false;
  constexpr std::array<std::pair<std::string_view, Parity>, 6> parities{{
      {"N", Parity::none},
      {"E", Parity::even},
      {"O", Parity::odd},
      {"S", Parity::space},
      {"M", Parity::mark},
      {"PE", Parity::even},  // even parity with checking, as "E"
  }};
  const auto* match = std::find_if(parities.begin(), parities.end(),
                                   [&](const auto& p) { return p.first == f.letters; });
  if (match == parities.end()) return false;
  s.parity = match->second;
  s.parity_check = match->second != Parity::none;
  return true;
}

bool read_data_bits(const Field& f, SerialSettings& s) {
  if (!f.letters.empty()) return false;
  const auto bits = number_in(f, 5, 8);
  if (!bits) return false;
  s.data_bits = static_cast<int>(*bits);
  return true;
}

bool read_stop_bits(const Field& f, SerialSettings& s) {
  if (!f.letters.empty()) return false;
  const auto bits = number_in(f, 1, 2);
  if (!bits) return false;
  s.stop_bits = *bits == 2 ? StopBits::two : StopBits::one;
  return true;
}

constexpr std::array<bool (*)(const Field&, SerialSettings&), 4> positional_fields{
    read_speed, read_parity, read_data_bits, read_stop_bits};

// The keyword options, each at most once.
enum Keyword { rs, bin, asc, lf, tb, rb, cs, ds, cd, op, keyword_count };
constexpr std::array<std::string_view, keyword_count> keyword_names{"RS", "BIN", "ASC", "LF", "TB",
                                                                    "RB", "CS",  "DS",  "CD", "OP"};
using KeywordsSeen = std::array<bool, keyword_count>;

// RS, BIN, ASC and LF take no number, and BIN and ASC exclude each other.
bool read_switch(Keyword keyword, const Field& f, const KeywordsSeen& seen, SerialSettings& s) {
  if (f.has_number()) return false;
  switch (keyword) {
    case rs:
      s.rts_disabled = true;
      return true;
    case bin:
      return !seen[asc];
    case asc:
      s.binary = false;
      return !seen[bin];
    case lf:
      s.line_feed = true;
      return true;
    default:
      return false;
  }
}

// A timeout keyword's number, 0 to 65535, or when_left_out without one.
bool read_timeout(const Field& f, std::uint32_t when_left_out, std::uint32_t& timeout_ms) {
  const auto value = f.has_number() ? number_in(f, 0, 65535) : when_left_out;
  if (!value) return false;
  timeout_ms = *value;
  return true;
}

bool read_keyword(const Field& f, KeywordsSeen& seen, SerialSettings& s) {
  const auto* name = std::find(keyword_names.begin(), keyword_names.end(), f.letters);
  if (f.letters.empty() || name == keyword_names.end()) return false;
  const auto keyword = static_cast<Keyword>(name - keyword_names.begin());
  if (seen[keyword]) return false;
  seen[keyword] = true;
  switch (keyword) {
    case rs:
    case bin:
    case asc:
    case lf:
      return read_switch(keyword, f, seen, s);
    case tb:
    case rb:
      return true;  // the buffer size is accepted and ignored
    case cs:
      return read_timeout(f, 1000, s.write_timeout_ms);
    case ds:
      return read_timeout(f, 1000, s.read_timeout_ms);
    case cd:
      return read_timeout(f, 0, s.carrier_timeout_ms);
    case op:
      return read_timeout(f, 10000, s.open_timeout_ms);
    case keyword_count:
      break;
  }
  return false;
}

// Without a stop bits field: one above 110 bits a second, else one and a
// half with 5 data bits and two with more.
StopBits default_stop_bits(const SerialSettings& s) {
  if (s.speed > 110) return StopBits::one;
  return s.data_bits == 5 ? StopBits::one_and_half : StopBits::two;
}

// Without OP: ten times the larger of CD and DS, at most 65535.
std::uint32_t default_open_timeout(const SerialSettings& s) {
  return std::min<std::uint32_t>(65535, 10 * std::max(s.carrier_timeout_ms, s.read_timeout_ms));
}

// Reads the options after the colon into settings; false for a bad option.
bool read_options(std::string_view text, SerialSettings& s) {
  const std::optional<std::string> options = upper_case_options(text);
  if (!options) return false;
  const std::vector<std::string_view> fields = split_at_commas(*options);
  KeywordsSeen seen{};
  for (std::size_t i = 0; i < fields.size(); ++i) {
    const std::optional<Field> f = split_field(fields[i]);
    if (!f) return false;
    if (i < positional_fields.size()) {
      // An empty positional field keeps its default.
      if (!fields[i].empty() && !positional_fields[i](*f, s)) return false;
    } else if (!read_keyword(*f, seen, s)) {
      return false;
    }
  }
  const bool stop_bits_given = fields.size() > 3 && !fields[3].empty();
  if (!stop_bits_given) s.stop_bits = default_stop_bits(s);
  if (!seen[op]) s.open_timeout_ms = default_open_timeout(s);
  return true;
}

std::optional<speed_t> speed_constant(std::uint32_t speed) {
  constexpr std::array<std::pair<std::uint32_t, speed_t>, 31> speeds{{
      {50, B50},
      {75, B75},
      {110, B110},
      {134, B134},
      {150, B150},
      {200, B200},
      {300, B300},
      {600, B600},
      {1200, B1200},
      {1800, B1800},
      {2400, B2400},
      {4800, B4800},
      {9600, B9600},
      {19200, B19200},
      {38400, B38400},
      {57600, B57600},
      {115200, B115200},
      {230400, B230400},
      {460800, B460800},
      {500000, B500000},
      {576000, B576000},
      {921600, B921600},
      {1000000, B1000000},
      {1152000, B1152000},
      {1500000, B1500000},
      {2000000, B2000000},
      {2500000, B2500000},
      {3000000, B3000000},
      {3500000, B3500000},
      {4000000, B4000000},
      {0, B0},
  }};
  for (const auto& [rate, constant] : speeds) {
    if (rate == speed && rate != 0) return constant;
  }
  return std::nullopt;
}

constexpr tcflag_t framing_bits = CSIZE | PARENB | PARODD | CMSPAR | CSTOPB;

}  // namespace

bool make_line_settings(const SerialSettings& s, termios& t) {
  const auto speed = speed_constant(s.speed);
  if (!speed) return false;
  // The parser gives 5 to 8; settings made otherwise are checked here, as
  // the size table below has those four only.
  if (s.data_bits < 5 || s.data_bits > 8) return false;
  t.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL |
                                      IXON | IXOFF | IXANY | INPCK);
  t.c_oflag &= ~static_cast<tcflag_t>(OPOST);
  t.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
  t.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
  t.c_cflag |= CREAD | CLOCAL;
  constexpr std::array<tcflag_t, 4> sizes{CS5, CS6, CS7, CS8};
  t.c_cflag |= sizes[static_cast<std::size_t>(s.data_bits - 5)];
  switch (s.parity) {
    case Parity::none:
      break;
    case Parity::even:
      t.c_cflag |= PARENB;
      break;
    case Parity::odd:
      t.c_cflag |= PARENB | PARODD;
      break;
    case Parity::space:
      t.c_cflag |= PARENB | CMSPAR;
      break;
    case Parity::mark:
      t.c_cflag |= PARENB | CMSPAR | PARODD;
      break;
  }
  if (s.parity_check) t.c_iflag |= INPCK;
  // With 5 data bits, two stop bits are sent as one and a half.
  if (s.stop_bits != StopBits::one) t.c_cflag |= CSTOPB;
  if (s.binary) {
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = static_cast<cc_t>(std::min<std::uint32_t>(255, (s.read_timeout_ms + 99) / 100));
  } else {
    t.c_lflag |= ICANON;
    t.c_cc[VEOF] = 26;
  }
  return cfsetispeed(&t, *speed) == 0 && cfsetospeed(&t, *speed) == 0;
}

SerialName parse_serial_name(std::string_view name) {
  SerialName result;
  if (!starts_with_in_any_case(name, "COM")) return result;
  const std::size_t colon = name.find(':', 3);
  if (colon == std::string_view::npos) return result;
  const std::string_view number = name.substr(3, colon - 3);
  if (!std::all_of(number.begin(), number.end(), is_ascii_digit)) return result;
  if (!number.empty() && number[0] == '0') return result;

  result.kind = SerialNameKind::bad_name;
  if (number.empty() || number.size() > 3) return result;
  int port = 0;
  std::from_chars(number.data(), number.data() + number.size(), port);
  if (port < 1 || port > highest_port) return result;

  SerialSettings settings;
  settings.port = port;
  if (!read_options(name.substr(colon + 1), settings)) return result;
  result.kind = SerialNameKind::serial;
  result.settings = settings;
  return result;
}

std::string serial_device_path(int port) {
  if (port >= 1 && port <= highest_port && !device_path_overrides[port].empty()) {
    return device_path_overrides[port];
  }
  return "/dev/ttyS" + std::to_string(port - 1);
}

void set_serial_device_path_for_port(int port, std::string path) {
  if (port >= 1 && port <= highest_port) device_path_overrides[port] = std::move(path);
}

int open_serial_port(const SerialSettings& settings) {
  const std::string path = serial_device_path(settings.port);
  const int fd = retry_interrupted(
      [&] { return ::open(path.c_str(), O_WRONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC); });
  if (fd < 0) return -1;

  const auto fail = [fd] {
    close_serial_port(fd);
    return -1;
  };
  // Exclusive use: further opens of the device are refused while it is ours.
  if (::ioctl(fd, TIOCEXCL) != 0) return fail();
  termios t{};
  if (::tcgetattr(fd, &t) != 0) return fail();
  if (!make_line_settings(settings, t)) return fail();
  if (retry_interrupted([&] { return ::tcsetattr(fd, TCSANOW, &t); }) != 0) return fail();
  // tcsetattr succeeds when any part is taken: check that the line took all.
  termios applied{};
  if (::tcgetattr(fd, &applied) != 0 ||
      (applied.c_cflag & framing_bits) != (t.c_cflag & framing_bits) ||
      cfgetospeed(&applied) != cfgetospeed(&t)) {
    return fail();
  }
  // The RTS line. A device without modem lines (a pseudo-terminal) has none
  // to drive, which is not a failure.
  int rts = TIOCM_RTS;
  if (::ioctl(fd, settings.rts_disabled ? TIOCMBIC : TIOCMBIS, &rts) != 0 && errno != ENOTTY &&
      errno != EINVAL) {
    return fail();
  }
  return fd;
}

SerialWriteResult write_serial_port(int fd, const SerialSettings& settings, const char* bytes,
                                    std::size_t count) {
  using clock = std::chrono::steady_clock;
  const bool timed = settings.write_timeout_ms != 0;
  const auto deadline = clock::now() + std::chrono::milliseconds(settings.write_timeout_ms);
  SerialWriteResult result;
  while (result.written < count) {
    const ssize_t n = ::write(fd, bytes + result.written, count - result.written);
    if (n > 0) {
      result.written += static_cast<std::size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
      result.error = errno;
      return result;
    }
    // The device takes no more now: wait for room until the timeout.
    int wait_ms = -1;
    if (timed) {
      const auto left =
          std::chrono::ceil<std::chrono::milliseconds>(deadline - clock::now()).count();
      if (left <= 0) {
        result.error = ETIMEDOUT;
        return result;
      }
      wait_ms = static_cast<int>(left);
    }
    pollfd p{fd, POLLOUT, 0};
    if (::poll(&p, 1, wait_ms) < 0 && errno != EINTR) {
      result.error = errno;
      return result;
    }
    if ((p.revents & (POLLERR | POLLHUP | POLLNVAL)) != 0 && (p.revents & POLLOUT) == 0) {
      result.error = EIO;
      return result;
    }
  }
  return result;
}

void close_serial_port(int fd) {
  if (fd < 0) return;
  ::ioctl(fd, TIOCNXCL);
  ::close(fd);
}

}  // namespace console
