// Text values: variable-length strings of bytes, shown with code page 437
// glyphs. Bytes are kept unchanged; nothing here converts code pages.
#pragma once

#include <string>

namespace console {

using Text = std::string;

}  // namespace console
