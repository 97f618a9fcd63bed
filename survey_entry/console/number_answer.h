// The number answer check: decides whether a field of a line input is a
// valid Single or Double number answer and converts it. On refusal the
// number holds +0.
#pragma once

#include <string_view>

namespace console {

bool check_single_answer(std::string_view field, float& value);
bool check_double_answer(std::string_view field, double& value);

}  // namespace console
