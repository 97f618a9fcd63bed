// The system calls of the output file and the serial ports, run again when
// a signal cuts them short.
#pragma once

#include <cerrno>

namespace console {

// Runs call() until it ends other than by a signal (a result of -1 with
// errno EINTR). Returns its last result, with errno as that call left it.
template <class Call>
auto retry_interrupted(Call call) {
  for (;;) {
    const auto result = call();
    if (result != -1 || errno != EINTR) return result;
  }
}

}  // namespace console
