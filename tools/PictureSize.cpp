#include "tools/PictureSize.h"

#include <sys/stat.h>

#include <fstream>
#include <vector>

namespace kadrimex::batch {

namespace {

// A JPEG's frame header follows its EXIF and other segments, which may hold
// a thumbnail of up to 64 KiB.
constexpr std::size_t kHeadBytes = 256 * 1024;

unsigned Big16(const std::uint8_t* p)
{
    return unsigned(p[0]) << 8 | p[1];
}

std::uint32_t Big32(const std::uint8_t* p)
{
    return std::uint32_t(Big16(p)) << 16 | Big16(p + 2);
}

std::int32_t Little32(const std::uint8_t* p)
{
    return std::int32_t(std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
                        std::uint32_t(p[3]) << 24);
}

std::int64_t JpegPixels(const std::vector<std::uint8_t>& b)
{
    std::size_t at = 2;
    while (at + 9 <= b.size()) {
        if (b[at] != 0xFF)
            return 0;
        const std::uint8_t marker = b[at + 1];
        if (marker == 0xFF) {  // fill byte
            ++at;
            continue;
        }
        // SOF0 to SOF15 but DHT (C4), JPG (C8) and DAC (CC).
        if (marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC)
            return std::int64_t(Big16(&b[at + 5])) * Big16(&b[at + 7]);
        if (marker == 0xDA || marker == 0xD9)
            return 0;
        at += 2 + Big16(&b[at + 2]);
    }
    return 0;
}

}  // namespace

std::int64_t PicturePixels(const std::string& path)
{
    // Only a regular file: opening a FIFO would wait for a writer.
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode))
        return 0;
    std::ifstream in(path, std::ios::binary);
    std::vector<std::uint8_t> b(kHeadBytes);
    in.read(reinterpret_cast<char*>(b.data()), std::streamsize(b.size()));
    b.resize(std::size_t(in.gcount()));
    if (b.size() >= 26 && b[0] == 'B' && b[1] == 'M') {
        if (Little32(&b[14]) == 12)  // OS/2 core header: 16-bit sides
            return std::int64_t(b[18] | b[19] << 8) * (b[20] | b[21] << 8);
        const std::int64_t width = Little32(&b[18]), height = Little32(&b[22]);
        return width > 0 ? width * (height < 0 ? -height : height) : 0;
    }
    if (b.size() >= 24 && b[0] == 0x89 && b[1] == 'P' && b[2] == 'N' && b[3] == 'G')
        return std::int64_t(Big32(&b[16])) * Big32(&b[20]);
    if (b.size() >= 4 && b[0] == 0xFF && b[1] == 0xD8)
        return JpegPixels(b);
    return 0;
}

}  // namespace kadrimex::batch
