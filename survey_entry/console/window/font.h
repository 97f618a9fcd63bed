// The screen font: 256 glyphs of 8 x 16 pixels in code page 437 order, read
// from a PSF1 console font file (gzip-compressed or plain).
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace console::window {

constexpr int glyph_width = 8;
constexpr int glyph_height = 16;

struct Font {
  // glyphs[byte][row]: bit 7 is the leftmost pixel of the row.
  std::array<std::array<std::uint8_t, glyph_height>, 256> glyphs{};
};

// The font file the program shows the screen with.
const char* screen_font_path();

// Reads the first 256 glyphs of a PSF1 font of height 16. On failure returns
// nothing and sets error to a short reason.
std::optional<Font> load_psf_font(const std::string& path, std::string& error);

// Parses the bytes of an uncompressed PSF1 file, as load_psf_font does.
std::optional<Font> parse_psf_font(const std::uint8_t* data, std::size_t size, std::string& error);

}  // namespace console::window
