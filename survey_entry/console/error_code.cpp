#include "survey_entry/console/error_code.h"

#include <array>
#include <utility>

namespace console {

namespace {

using namespace error_code;

constexpr std::array<std::pair<std::uint32_t, std::string_view>, 10> messages{{
    {bad_file_name_or_number, "Bad file name or number"},
    {file_not_found, "File not found"},
    {bad_file_name, "Bad file name"},
    {device_unavailable, "Device unavailable"},
    {permission_denied, "Permission denied"},
    {path_file_access_error, "Path/File access error"},
    {path_not_found, "Path not found"},
    {illegal_function_call, "Illegal function call"},
    {out_of_memory, "Out of memory"},
    {file_already_open, "File already open"},
}};

}  // namespace

std::string_view runtime_error_message(std::uint32_t code) {
  for (const auto& [c, message] : messages) {
    if (c == code) return message;
  }
  return "Unknown error";
}

}  // namespace console
