// Fuzzing of the serial port name check: for any typed name, the check ends
// without fault, reads the name the same in any letter case, and accepts
// only the name form with option values in their ranges.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "survey_entry/console/serial_port.h"

namespace {

[[noreturn]] void fail(const char* what, std::string_view name) {
  std::fprintf(stderr, "%s: \"%.*s\"\n", what, static_cast<int>(name.size()), name.data());
  std::abort();
}

char upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }
bool is_digit(char c) { return c >= '0' && c <= '9'; }

// "COM", a number without a leading zero, ":" — the names the check takes
// as serial names at all.
bool has_serial_prefix(std::string_view name) {
  if (name.size() < 4 || upper(name[0]) != 'C' || upper(name[1]) != 'O' || upper(name[2]) != 'M') {
    return false;
  }
  std::size_t i = 3;
  while (i < name.size() && is_digit(name[i])) ++i;
  if (i == name.size() || name[i] != ':') return false;
  return i == 3 || name[3] != '0';
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string name(reinterpret_cast<const char*>(data), size);
  const console::SerialName parsed = console::parse_serial_name(name);

  std::string upper_name = name;
  for (char& c : upper_name) c = upper(c);
  const console::SerialName parsed_upper = console::parse_serial_name(upper_name);
  if (parsed.kind != parsed_upper.kind || parsed.settings != parsed_upper.settings) {
    fail("letter case changes the result", name);
  }

  if ((parsed.kind != console::SerialNameKind::not_serial) != has_serial_prefix(name)) {
    fail("serial name form", name);
  }
  if (parsed.kind != console::SerialNameKind::serial) return 0;

  const console::SerialSettings& s = parsed.settings;
  if (s.port < 1 || s.port > 255) fail("port number", name);
  if (s.speed < 1) fail("speed", name);
  if (s.data_bits < 5 || s.data_bits > 8) fail("data bits", name);
  if (s.write_timeout_ms > 65535 || s.read_timeout_ms > 65535 || s.carrier_timeout_ms > 65535 ||
      s.open_timeout_ms > 65535) {
    fail("timeout range", name);
  }
  if (s.parity_check != (s.parity != console::Parity::none)) fail("parity check", name);
  for (char c : name.substr(name.find(':') + 1)) {
    if (!(is_digit(c) || (upper(c) >= 'A' && upper(c) <= 'Z') || c == ',')) {
      fail("character in the options", name);
    }
  }
  return 0;
}
