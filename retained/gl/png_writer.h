// WritePng: stores RGBA pixels (rows from the top down) as an 8-bit RGBA PNG file.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace rm::gl {

// False, with the reason in *error, when the size does not match the pixels or the file
// cannot be written.
bool WritePng(const std::string& path, int width, int height, std::span<const std::uint8_t> rgba,
              std::string* error);

}  // namespace rm::gl
