// Every number by which a run tells what went wrong: the run-time error
// codes that console operations raise and the messages of the error box,
// the critical errors with their numbered places, and the exit codes of the
// process. Nothing else in the program writes one of these numbers.
#pragma once

#include <cstdint>
#include <string_view>

namespace console {

// Run-time error codes.
namespace error_code {
// Raised by the output file; these reach the error box.
constexpr std::uint32_t bad_file_name_or_number = 52;
constexpr std::uint32_t file_not_found = 53;
constexpr std::uint32_t bad_file_name = 64;
constexpr std::uint32_t device_unavailable = 68;
constexpr std::uint32_t permission_denied = 70;
constexpr std::uint32_t path_file_access_error = 75;
constexpr std::uint32_t path_not_found = 76;
// Raised only for arguments the routine never gives: a colour, screen mode
// or text window out of range (5), a tab column beyond 16 bits (7), an open
// of a file number that is open already (55).
constexpr std::uint32_t illegal_function_call = 5;
constexpr std::uint32_t out_of_memory = 7;
constexpr std::uint32_t file_already_open = 55;
}  // namespace error_code

// The message the error box shows for a code ("Unknown error" for a code
// that no console operation raises).
std::string_view runtime_error_message(std::uint32_t code);

// Critical errors: memory failures, each at one of 18 numbered places. A
// critical code is raised as critical_error_code(place), in a range of its
// own so that it never meets an ordinary error code. It shows the critical
// box "Out of memory", titled "Critical Error #" and the place, and ends the
// process with exit_code::critical_error.
constexpr std::uint32_t critical_error_places = 18;
constexpr std::uint32_t critical_error_base = 0x10000;
constexpr std::uint32_t critical_error_code(std::uint32_t place) {
  return critical_error_base + place;
}
constexpr bool is_critical_error(std::uint32_t code) {
  return code > critical_error_base && code <= critical_error_base + critical_error_places;
}
// The places in use, one number each.
namespace critical_place {
// A value or a text of the routine, outside the console operations that
// name their own place.
constexpr std::uint32_t routine = 1;
// The answer line of a line input, or its value.
constexpr std::uint32_t line_input = 14;
}  // namespace critical_place

// Exit codes of the process. A failed run must not look like an ordinary
// end to whatever started the program.
namespace exit_code {
// The end prompt, a stop, an error box answered No.
constexpr int ended = 0;
// At start: no display, no double-buffered display mode with depth (no
// window is shown), or no connection of its own for the keyboard (the
// window, just opened, goes at once, before the menu is shown).
constexpr int no_display = 1;
// During the run: the connection to the display is lost.
constexpr int display_lost = 1;
// At start, before the window: the program's own files are missing (its
// folder cannot be entered, the screen font cannot be read).
constexpr int start_failure = 2;
// A critical error, after its box.
constexpr int critical_error = 3;
}  // namespace exit_code

}  // namespace console
