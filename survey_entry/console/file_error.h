// The run-time error of a failed system call of the output file, from its
// errno value: at the opening of an ordinary name, and at a write or a sync
// (a failed sync is reported as the same failure of a write would be).
#pragma once

#include <cstdint>

namespace console {

std::uint32_t open_error_code(int error_number);
std::uint32_t write_error_code(int error_number);

}  // namespace console
