// What tests reach of the text screen beyond the routine's operations: the
// reset between runs. Included by tests only (and the console's reset).
#pragma once

namespace console {

// Restores the start state: blank in 7 on 0, cursor at 1,1, window 1..24.
void text_screen_reset();

}  // namespace console
