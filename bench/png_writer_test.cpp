// The PNG encoder, checked by decoding its output independently: chunk
// layout and CRCs, the header, and every pixel after inflating and undoing
// each row's filter.

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdint>
#include <cstdlib>
#include <random>
#include <set>
#include <string>

#include "png_writer.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

std::uint32_t readBigEndian(const Bytes& b, std::size_t at)
{
    return (std::uint32_t{b[at]} << 24) | (std::uint32_t{b[at + 1]} << 16) | (std::uint32_t{b[at + 2]} << 8) |
           std::uint32_t{b[at + 3]};
}

struct Decoded {
    int width = 0;
    int height = 0;
    Bytes rgb;
    std::set<int> filtersUsed;
    std::vector<std::string> chunkTypes;
};

// Decodes an 8-bit RGB, non-interlaced PNG. Fails the test on any fault.
Decoded decode(const Bytes& file)
{
    Decoded out;
    const Bytes signature{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    EXPECT_TRUE(file.size() > 8 && Bytes(file.begin(), file.begin() + 8) == signature);
    Bytes idat;
    std::size_t at = 8;
    while (at + 12 <= file.size()) {
        const std::uint32_t length = readBigEndian(file, at);
        const std::string type(file.begin() + static_cast<long>(at) + 4, file.begin() + static_cast<long>(at) + 8);
        EXPECT_LE(at + 12 + length, file.size()) << type;
        const std::uint8_t* data = file.data() + at + 8;
        const uLong crc = crc32(crc32(0L, Z_NULL, 0), file.data() + at + 4, length + 4);
        EXPECT_EQ(readBigEndian(file, at + 8 + length), crc) << "CRC of " << type;
        out.chunkTypes.push_back(type);
        if (type == "IHDR") {
            EXPECT_EQ(length, 13u);
            out.width = static_cast<int>(readBigEndian(file, at + 8));
            out.height = static_cast<int>(readBigEndian(file, at + 12));
            EXPECT_EQ(Bytes(data + 8, data + 13), (Bytes{8, 2, 0, 0, 0}));
        } else if (type == "IDAT") {
            idat.insert(idat.end(), data, data + length);
        }
        at += 12 + length;
    }
    EXPECT_EQ(at, file.size()) << "bytes after the last chunk";

    const std::size_t stride = static_cast<std::size_t>(out.width) * 3;
    Bytes raw((stride + 1) * static_cast<std::size_t>(out.height));
    uLongf rawSize = raw.size();
    EXPECT_EQ(uncompress(raw.data(), &rawSize, idat.data(), idat.size()), Z_OK);
    EXPECT_EQ(rawSize, raw.size());

    out.rgb.assign(stride * static_cast<std::size_t>(out.height), 0);
    for (int y = 0; y < out.height; ++y) {
        const std::uint8_t filter = raw[static_cast<std::size_t>(y) * (stride + 1)];
        out.filtersUsed.insert(filter);
        const std::uint8_t* in = raw.data() + static_cast<std::size_t>(y) * (stride + 1) + 1;
        std::uint8_t* row = out.rgb.data() + static_cast<std::size_t>(y) * stride;
        const std::uint8_t* up = y > 0 ? row - stride : nullptr;
        for (std::size_t i = 0; i < stride; ++i) {
            const int a = i >= 3 ? row[i - 3] : 0;
            const int b = up != nullptr ? up[i] : 0;
            const int c = up != nullptr && i >= 3 ? up[i - 3] : 0;
            int predictor = 0;
            switch (filter) {
            case 0: break;
            case 1: predictor = a; break;
            case 2: predictor = b; break;
            case 3: predictor = (a + b) / 2; break;
            case 4: {
                const int p = a + b - c;
                const int pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
                predictor = (pa <= pb && pa <= pc) ? a : (pb <= pc ? b : c);
                break;
            }
            default: ADD_FAILURE() << "filter type " << int{filter} << " in row " << y; break;
            }
            row[i] = static_cast<std::uint8_t>(in[i] + predictor);
        }
    }
    return out;
}

}  // namespace

TEST(PngWriter, RoundTripsEveryPixelThroughEveryFilter)
{
    // Flat areas, gradients in both directions and noise: rows that favour
    // different filters, so the decoder has to undo several kinds.
    const int w = 97, h = 61;
    Bytes rgb(static_cast<std::size_t>(w) * h * 3);
    std::mt19937 random(7);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            std::uint8_t* p = rgb.data() + (static_cast<std::size_t>(y) * w + x) * 3;
            if (y < 15) {
                p[0] = p[1] = p[2] = 0;
            } else if (y < 30) {
                p[0] = static_cast<std::uint8_t>(x * 2);
                p[1] = static_cast<std::uint8_t>(y * 3);
                p[2] = 76;
            } else if (y < 45) {
                p[0] = static_cast<std::uint8_t>(x + y);
                p[1] = static_cast<std::uint8_t>(x * y);
                p[2] = static_cast<std::uint8_t>(255 - x);
            } else {
                p[0] = static_cast<std::uint8_t>(random());
                p[1] = static_cast<std::uint8_t>(random());
                p[2] = static_cast<std::uint8_t>(random());
            }
        }
    }
    const Decoded decoded = decode(png::encodeRgb(w, h, rgb));
    EXPECT_EQ(decoded.chunkTypes, (std::vector<std::string>{"IHDR", "IDAT", "IEND"}));
    EXPECT_EQ(decoded.width, w);
    EXPECT_EQ(decoded.height, h);
    EXPECT_GE(decoded.filtersUsed.size(), 3u);
    ASSERT_EQ(decoded.rgb.size(), rgb.size());
    for (std::size_t i = 0; i < rgb.size(); ++i) {
        ASSERT_EQ(decoded.rgb[i], rgb[i]) << "byte " << i << " (pixel " << i / 3 << ")";
    }
}

TEST(PngWriter, SinglePixelAndSingleColumn)
{
    const Decoded one = decode(png::encodeRgb(1, 1, {99, 255, 99}));
    EXPECT_EQ(one.width, 1);
    EXPECT_EQ(one.height, 1);
    EXPECT_EQ(one.rgb, (Bytes{99, 255, 99}));

    const Bytes column{1, 2, 3, 200, 100, 50, 0, 0, 0};
    const Decoded tall = decode(png::encodeRgb(1, 3, column));
    EXPECT_EQ(tall.height, 3);
    EXPECT_EQ(tall.rgb, column);
}

TEST(PngWriter, FlatPictureCompressesWell)
{
    // A black 1000 x 500 window, as most of dravin's picture is.
    const Bytes black(1000 * 500 * 3, 0);
    const Bytes file = png::encodeRgb(1000, 500, black);
    EXPECT_LT(file.size(), 4000u);
    EXPECT_EQ(decode(file).rgb, black);
}
