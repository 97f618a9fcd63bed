#include "survey_entry/console/window/font.h"

#include <zlib.h>

#include <cerrno>
#include <cstring>
#include <vector>

namespace console::window {

namespace {

// PSF1 header: two magic bytes, a mode byte (bit 0: 512 glyphs) and the
// glyph height in bytes (one byte per pixel row of an 8-pixel-wide glyph).
constexpr std::uint8_t psf1_magic0 = 0x36;
constexpr std::uint8_t psf1_magic1 = 0x04;
constexpr std::size_t psf1_header_size = 4;

// A console font is a few kilobytes; anything far larger is not one.
constexpr std::size_t max_font_file_size = 1 << 20;

}  // namespace

const char* screen_font_path() { return SURVEY_FONT_PATH; }

std::optional<Font> parse_psf_font(const std::uint8_t* data, std::size_t size, std::string& error) {
  if (size < psf1_header_size || data[0] != psf1_magic0 || data[1] != psf1_magic1) {
    error = "not a PSF1 font";
    return std::nullopt;
  }
  if (data[3] != glyph_height) {
    error = "glyphs are not 16 pixels high";
    return std::nullopt;
  }
  constexpr std::size_t glyph_bytes = 256 * glyph_height;
  if (size - psf1_header_size < glyph_bytes) {
    error = "font file is truncated";
    return std::nullopt;
  }
  Font font;
  const std::uint8_t* glyph_data = data + psf1_header_size;
  for (std::size_t g = 0; g < 256; ++g) {
    std::memcpy(font.glyphs[g].data(), glyph_data + g * glyph_height, glyph_height);
  }
  return font;
}

std::optional<Font> load_psf_font(const std::string& path, std::string& error) {
  // When the opening itself failed, errno says why; a failure of zlib's
  // own may leave it untouched, so a value from before must not be taken
  // for the reason.
  errno = 0;
  gzFile file = gzopen(path.c_str(), "rb");
  if (file == nullptr) {
    error = errno != 0 ? std::strerror(errno) : "the file cannot be opened";
    return std::nullopt;
  }
  std::vector<std::uint8_t> bytes;
  std::uint8_t buffer[4096];
  bool failed = false;
  for (;;) {
    const int got = gzread(file, buffer, sizeof buffer);
    if (got < 0) {
      failed = true;
      break;
    }
    if (got == 0) break;
    bytes.insert(bytes.end(), buffer, buffer + got);
    if (bytes.size() > max_font_file_size) {
      failed = true;
      break;
    }
  }
  gzclose(file);
  if (failed) {
    error = "cannot read the font file";
    return std::nullopt;
  }
  return parse_psf_font(bytes.data(), bytes.size(), error);
}

}  // namespace console::window
