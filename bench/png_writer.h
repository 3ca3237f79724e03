#pragma once

// A minimal PNG encoder: 8-bit RGB, no interlacing, compressed with zlib.
// Each row gets the filter that makes it smallest by the usual heuristic
// (least sum of absolute filtered bytes), which keeps flat pictures tiny.

#include <cstdint>
#include <string>
#include <vector>

namespace png {

// `rgb` holds width * height * 3 bytes, row by row from the top.
std::vector<std::uint8_t> encodeRgb(int width, int height, const std::vector<std::uint8_t>& rgb);

// Encodes and writes the file; false if it could not be written.
bool writeRgb(const std::string& path, int width, int height, const std::vector<std::uint8_t>& rgb);

}  // namespace png
