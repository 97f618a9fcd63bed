// The run-time errors of the output file's failed system calls.
#include "survey_entry/console/file_error.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdint>
#include <vector>

#include "survey_entry/console/error_code.h"

namespace {

TEST(FileErrors, SystemReasonsMapToTheirCodesAndMessages) {
  struct Case {
    int error_number;
    std::uint32_t at_open, at_write;
    const char* open_message;
  };
  const std::vector<Case> cases{
      {ENOENT, 76, 75, "Path not found"},
      {ENOTDIR, 76, 75, "Path not found"},
      {EACCES, 70, 70, "Permission denied"},
      {EPERM, 70, 70, "Permission denied"},
      {EROFS, 70, 75, "Permission denied"},
      {EISDIR, 70, 75, "Permission denied"},
      {ETXTBSY, 70, 75, "Permission denied"},
      {ENXIO, 68, 75, "Device unavailable"},
      {ENODEV, 68, 75, "Device unavailable"},
      {EMFILE, 53, 75, "File not found"},
      {ENAMETOOLONG, 53, 75, "File not found"},
      {ENOSPC, 53, 75, "File not found"},
      {EDQUOT, 53, 75, "File not found"},
      {EIO, 53, 75, "File not found"},
      {EOVERFLOW, 53, 75, "File not found"},  // not in the table: the default
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.error_number);
    EXPECT_EQ(console::open_error_code(c.error_number), c.at_open);
    EXPECT_EQ(console::write_error_code(c.error_number), c.at_write);
    EXPECT_EQ(console::runtime_error_message(c.at_open), c.open_message);
  }
  EXPECT_EQ(console::runtime_error_message(75), "Path/File access error");
  EXPECT_EQ(console::runtime_error_message(52), "Bad file name or number");
  EXPECT_EQ(console::runtime_error_message(64), "Bad file name");
}

}  // namespace
