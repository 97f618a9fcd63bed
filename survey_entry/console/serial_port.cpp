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

#include "survey_entry/console/system_call.h"

namespace console {

namespace {

constexpr int highest_port = 255;

// Replacement device paths, indexed by port number; empty means the default.
std::array<std::string, highest_port + 1> device_path_overrides;

char upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }
bool is_digit(char c) { return c >= '0' && c <= '9'; }
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
  if (!std::all_of(result.digits.begin(), result.digits.end(), is_digit)) return std::nullopt;
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

// Reads the options after the colon into settings; false for a bad option.
bool read_options(std::string_view text, SerialSettings& s) {
  std::string options(text);
  for (char& c : options) {
    if (!is_digit(c) && !is_letter(c) && c != ',') return false;
    c = upper(c);
  }

  // Keyword options: each at most once.
  enum Keyword { rs, bin, asc, lf, tb, rb, cs, ds, cd, op, keyword_count };
  constexpr std::array<std::string_view, keyword_count> keyword_names{
      "RS", "BIN", "ASC", "LF", "TB", "RB", "CS", "DS", "CD", "OP"};
  std::array<bool, keyword_count> seen{};
  bool stop_bits_given = false;

  std::size_t index = 0;
  std::size_t start = 0;
  for (;;) {
    const std::size_t comma = options.find(',', start);
    const std::string_view raw = std::string_view(options).substr(
        start, comma == std::string::npos ? std::string::npos : comma - start);
    ++index;
    const std::optional<Field> parsed = split_field(raw);
    if (!parsed) return false;
    const Field& f = *parsed;

    if (index <= 4 && raw.empty()) {
      // An empty positional field keeps its default.
    } else if (index == 1) {
      if (!f.letters.empty()) return false;
      const auto speed = number_in(f, 1, UINT32_MAX);
      if (!speed) return false;
      s.speed = *speed;
    } else if (index == 2) {
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
    } else if (index == 3) {
      if (!f.letters.empty()) return false;
      const auto bits = number_in(f, 5, 8);
      if (!bits) return false;
      s.data_bits = static_cast<int>(*bits);
    } else if (index == 4) {
      if (!f.letters.empty()) return false;
      const auto bits = number_in(f, 1, 2);
      if (!bits) return false;
      s.stop_bits = *bits == 2 ? StopBits::two : StopBits::one;
      stop_bits_given = true;
    } else {
      const auto* name = std::find(keyword_names.begin(), keyword_names.end(), f.letters);
      if (f.letters.empty() || name == keyword_names.end()) return false;
      const auto keyword = static_cast<Keyword>(name - keyword_names.begin());
      if (seen[keyword]) return false;
      seen[keyword] = true;
      // A timeout keyword's value, or its default when the number is left out.
      const auto timeout = [&](std::uint32_t when_left_out) -> std::optional<std::uint32_t> {
        return f.has_number() ? number_in(f, 0, 65535) : when_left_out;
      };
      switch (keyword) {
        case rs:
        case bin:
        case asc:
        case lf:
          if (f.has_number()) return false;
          if (keyword == rs) s.rts_disabled = true;
          if (keyword == asc) s.binary = false;
          if (keyword == lf) s.line_feed = true;
          if ((keyword == bin && seen[asc]) || (keyword == asc && seen[bin])) return false;
          break;
        case tb:
        case rb:
          break;  // the buffer size is accepted and ignored
        case cs:
        case ds:
        case cd:
        case op: {
          const auto value = timeout(keyword == cd ? 0 : keyword == op ? 10000 : 1000);
          if (!value) return false;
          (keyword == cs   ? s.write_timeout_ms
           : keyword == ds ? s.read_timeout_ms
           : keyword == cd ? s.carrier_timeout_ms
                           : s.open_timeout_ms) = *value;
          break;
        }
        case keyword_count:
          return false;
      }
    }
    if (comma == std::string::npos) break;
    start = comma + 1;
  }

  if (!stop_bits_given) {
    s.stop_bits = s.speed > 110      ? StopBits::one
                  : s.data_bits == 5 ? StopBits::one_and_half
                                     : StopBits::two;
  }
  if (!seen[op]) {
    s.open_timeout_ms =
        std::min<std::uint32_t>(65535, 10 * std::max(s.carrier_timeout_ms, s.read_timeout_ms));
  }
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
  if (name.size() < 3 || upper(name[0]) != 'C' || upper(name[1]) != 'O' || upper(name[2]) != 'M') {
    return result;
  }
  const std::size_t colon = name.find(':', 3);
  if (colon == std::string_view::npos) return result;
  const std::string_view number = name.substr(3, colon - 3);
  if (!std::all_of(number.begin(), number.end(), is_digit)) return result;
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
