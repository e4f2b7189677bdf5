// The tests' screenshots as PNG files: 8-bit RGB, rows unfiltered, zlib.
#pragma once

#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <string>

namespace vorla::testing {

// The PNG file's bytes for `width` x `height` pixels; `rgb` holds the rows top
// down, three bytes a pixel, no padding. Empty when zlib fails.
inline std::string png_of_rgb(int width, int height, const std::string& rgb) {
    std::string raw;
    const std::size_t row = static_cast<std::size_t>(width) * 3;
    for (int y = 0; y < height; ++y) {
        raw += '\0';  // no filter
        raw.append(rgb, static_cast<std::size_t>(y) * row, row);
    }
    uLongf size = compressBound(static_cast<uLong>(raw.size()));
    std::string packed(size, '\0');
    if (compress2(reinterpret_cast<Bytef*>(packed.data()), &size, reinterpret_cast<const Bytef*>(raw.data()),
                  static_cast<uLong>(raw.size()), 9) != Z_OK)
        return {};
    packed.resize(size);
    auto be32 = [](std::uint32_t v) {
        return std::string{static_cast<char>(v >> 24), static_cast<char>(v >> 16), static_cast<char>(v >> 8),
                           static_cast<char>(v)};
    };
    auto chunk = [&](const std::string& type, const std::string& data) {
        const std::string body = type + data;
        const uLong crc = crc32(0, reinterpret_cast<const Bytef*>(body.data()), static_cast<uInt>(body.size()));
        return be32(static_cast<std::uint32_t>(data.size())) + body + be32(static_cast<std::uint32_t>(crc));
    };
    const std::string ihdr = be32(static_cast<std::uint32_t>(width)) + be32(static_cast<std::uint32_t>(height)) +
                             std::string{8, 2, 0, 0, 0};  // 8 bits, RGB
    return std::string("\x89PNG\r\n\x1a\n", 8) + chunk("IHDR", ihdr) + chunk("IDAT", packed) + chunk("IEND", "");
}

}  // namespace vorla::testing
