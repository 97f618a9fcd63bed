// Differential fuzzing of the number answer check against the C library's
// strtof/strtod: every accepted text must store what the C conversion makes
// of it (D read as E), refused texts store +0, and every prefix of an
// accepted text is accepted too, as typing it key by key requires.
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <type_traits>

#include "survey_entry/console/number_answer.h"

namespace {

[[noreturn]] void fail(const char* what, std::string_view text) {
  std::fprintf(stderr, "%s: \"%.*s\" (%zu bytes)\n", what, static_cast<int>(text.size()),
               text.data(), text.size());
  std::abort();
}

template <typename T>
bool check(std::string_view text, T& value) {
  if constexpr (std::is_same_v<T, float>) {
    return console::check_single_answer(text, value);
  } else {
    return console::check_double_answer(text, value);
  }
}

template <typename T>
bool same_bits(T a, T b) {
  return std::memcmp(&a, &b, sizeof(T)) == 0;
}

// The value the C library gives for an accepted text.
template <typename T>
T reference_value(std::string_view text) {
  if (text.empty() || text == "-" || text == "0" || text == "-0") {
    return T(0);  // accepted without a conversion
  }
  if (text[0] == '&') {
    if (text.size() < 3) {
      return T(0);
    }
    const std::string digits(text.substr(2));
    const int base = text[1] == 'H' || text[1] == 'h' ? 16 : 8;
    return static_cast<T>(std::strtoull(digits.c_str(), nullptr, base));
  }
  std::string copy(text);
  for (char& c : copy) {
    if (c == 'D' || c == 'd') {
      c = 'E';
    }
  }
  char* end = nullptr;
  errno = 0;
  T converted{};
  if constexpr (std::is_same_v<T, float>) {
    converted = std::strtof(copy.c_str(), &end);
  } else {
    converted = std::strtod(copy.c_str(), &end);
  }
  // A text that is no complete number (".", "-.", "1E", "1E-") stores +0.
  return end == copy.c_str() + copy.size() ? converted : T(0);
}

template <typename T>
void fuzz_type(std::string_view text) {
  T value = T(1);
  const bool accepted = check(text, value);
  if (!accepted) {
    if (!same_bits(value, T(0))) {
      fail("refused text left a value other than +0", text);
    }
    return;
  }
  if (text.size() > console::kMaxNumberAnswerBytes) {
    fail("accepted a field longer than a line", text);
  }
  if constexpr (std::is_same_v<T, float>) {
    if (text[0] != '&' && (text.find('D') != text.npos || text.find('d') != text.npos)) {
      fail("single answer accepted a D exponent", text);
    }
  }
  if (!same_bits(value, reference_value<T>(text))) {
    fail("stored value differs from the C conversion", text);
  }

  // Prefixes. A text whose part before a negative exponent is alone out of
  // range is accepted as a whole but cannot be typed key by key: its
  // prefixes from that part on may be refused. Every other accepted text has
  // all its prefixes accepted.
  if (text[0] != '&') {
    const std::size_t letter = text.find_first_of(std::is_same_v<T, float> ? "Ee" : "EeDd");
    if (letter != text.npos && letter + 1 < text.size() && text[letter + 1] == '-') {
      T mantissa_value{};
      if (!check(text.substr(0, letter), mantissa_value)) {
        return;
      }
    }
  }
  for (std::size_t length = 0; length < text.size(); ++length) {
    T prefix_value{};
    if (!check(text.substr(0, length), prefix_value)) {
      fail("a prefix of an accepted text is refused", text);
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > console::kMaxNumberAnswerBytes + 8) {
    return 0;
  }
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  fuzz_type<float>(text);
  fuzz_type<double>(text);
  return 0;
}
