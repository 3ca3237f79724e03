#include "png_writer.h"

#include <zlib.h>

#include <array>
#include <cstdlib>
#include <fstream>

namespace png {

namespace {

void putBigEndian(std::vector<std::uint8_t>& out, std::uint32_t value)
{
    for (int shift = 24; shift >= 0; shift -= 8) {
        out.push_back(static_cast<std::uint8_t>(value >> shift));
    }
}

// Length, type, data, and a CRC over type and data.
void putChunk(std::vector<std::uint8_t>& out, const char* type, const std::vector<std::uint8_t>& data)
{
    putBigEndian(out, static_cast<std::uint32_t>(data.size()));
    const std::size_t typeAt = out.size();
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), data.begin(), data.end());
    const uLong crc = crc32(crc32(0L, Z_NULL, 0), out.data() + typeAt, static_cast<uInt>(out.size() - typeAt));
    putBigEndian(out, static_cast<std::uint32_t>(crc));
}

std::uint8_t paeth(int a, int b, int c)
{
    const int p = a + b - c;
    const int pa = std::abs(p - a);
    const int pb = std::abs(p - b);
    const int pc = std::abs(p - c);
    if (pa <= pb && pa <= pc) {
        return static_cast<std::uint8_t>(a);
    }
    return static_cast<std::uint8_t>(pb <= pc ? b : c);
}

// One row filtered with `type` (0 none, 1 sub, 2 up, 3 average, 4 Paeth).
// `previous` is the unfiltered row above, or null for the first row.
void filterRow(int type, const std::uint8_t* row, const std::uint8_t* previous, std::size_t length,
               std::uint8_t* out)
{
    const std::size_t bpp = 3;
    for (std::size_t i = 0; i < length; ++i) {
        const int a = i >= bpp ? row[i - bpp] : 0;
        const int b = previous != nullptr ? previous[i] : 0;
        const int c = previous != nullptr && i >= bpp ? previous[i - bpp] : 0;
        int predictor = 0;
        switch (type) {
        case 1: predictor = a; break;
        case 2: predictor = b; break;
        case 3: predictor = (a + b) / 2; break;
        case 4: predictor = paeth(a, b, c); break;
        default: break;
        }
        out[i] = static_cast<std::uint8_t>(row[i] - predictor);
    }
}

}  // namespace

std::vector<std::uint8_t> encodeRgb(int width, int height, const std::vector<std::uint8_t>& rgb)
{
    const std::size_t stride = static_cast<std::size_t>(width) * 3;

    // The filtered scanlines, each led by its filter type byte.
    std::vector<std::uint8_t> raw;
    raw.reserve((stride + 1) * static_cast<std::size_t>(height));
    std::vector<std::uint8_t> candidate(stride);
    std::vector<std::uint8_t> best(stride);
    for (int y = 0; y < height; ++y) {
        const std::uint8_t* row = rgb.data() + static_cast<std::size_t>(y) * stride;
        const std::uint8_t* previous = y > 0 ? row - stride : nullptr;
        long bestCost = -1;
        int bestType = 0;
        for (int type = 0; type <= 4; ++type) {
            filterRow(type, row, previous, stride, candidate.data());
            long cost = 0;
            for (std::uint8_t v : candidate) {
                cost += v < 128 ? v : 256 - v;  // the byte read as a signed difference
            }
            if (bestCost < 0 || cost < bestCost) {
                bestCost = cost;
                bestType = type;
                best.swap(candidate);
            }
        }
        raw.push_back(static_cast<std::uint8_t>(bestType));
        raw.insert(raw.end(), best.begin(), best.end());
    }

    uLongf packedSize = compressBound(static_cast<uLong>(raw.size()));
    std::vector<std::uint8_t> packed(packedSize);
    compress2(packed.data(), &packedSize, raw.data(), static_cast<uLong>(raw.size()), Z_BEST_COMPRESSION);
    packed.resize(packedSize);

    std::vector<std::uint8_t> header;
    putBigEndian(header, static_cast<std::uint32_t>(width));
    putBigEndian(header, static_cast<std::uint32_t>(height));
    header.insert(header.end(), {8, 2, 0, 0, 0});  // 8 bits, RGB, deflate, adaptive filters, no interlace

    static const std::array<std::uint8_t, 8> signature{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    std::vector<std::uint8_t> file(signature.begin(), signature.end());
    putChunk(file, "IHDR", header);
    putChunk(file, "IDAT", packed);
    putChunk(file, "IEND", {});
    return file;
}

bool writeRgb(const std::string& path, int width, int height, const std::vector<std::uint8_t>& rgb)
{
    const std::vector<std::uint8_t> file = encodeRgb(width, height, rgb);
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(file.data()), static_cast<std::streamsize>(file.size()));
    return static_cast<bool>(out);
}

}  // namespace png
