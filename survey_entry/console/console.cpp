#include "survey_entry/console/console_testing.h"

namespace console {

void console_reset() {
  output_file_reset();
  keyboard_reset();
  text_screen_reset();
  run_control_reset();
}

}  // namespace console
