// The number answer check: decides whether a field of a line input is a
// valid Single or Double number answer and converts it. On refusal the
// number holds +0.
//
// Accepted are the empty text, the ampersand forms (&, &H with up to 16
// hexadecimal digits, &O with up to 22 octal digits) and the decimal form
// with its partial texts (a lone minus sign, a trailing point, an exponent
// letter or exponent sign with no digits yet), within the range and length
// limits of the type. The exponent letters are E and e, and for a Double
// also D and d. Every accepted text stores the nearest value of the type
// (infinity beyond the largest finite value); the empty text, "-", "0",
// "-0", ".", "-." and texts ending in an exponent letter or its sign store
// +0. A field longer than the kMaxNumberAnswerBytes bytes that a line can
// hold is refused.
//
// The check looks at the whole text; it is meant to run on each key, so a
// text is accepted on the strength of its own digits. A whole text whose
// part before a negative exponent is alone out of range (1 followed by 40
// zeros, then E-5, for a Single) is accepted, although typing it key by key
// stops at the digit that made its mantissa too large.
#pragma once

#include <cstddef>
#include <string_view>

namespace console {

inline constexpr std::size_t kMaxNumberAnswerBytes = 255;

bool check_single_answer(std::string_view field, float& value);
bool check_double_answer(std::string_view field, double& value);

}  // namespace console
