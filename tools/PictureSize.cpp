#include "tools/PictureSize.h"

#include <sys/stat.h>

#include <fstream>

namespace kadrimex::batch {

namespace {

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

bool Read(std::ifstream& in, std::uint8_t* bytes, std::size_t count)
{
    return bool(in.read(reinterpret_cast<char*>(bytes), std::streamsize(count)));
}

// A JPEG's frame header follows its EXIF and other segments (a thumbnail
// may take 64 KiB): the segments are skipped by their lengths, a few small
// reads for a whole folder of photos.
std::int64_t JpegPixels(std::ifstream& in)
{
    in.seekg(2);
    std::uint8_t b[7];
    for (int segment = 0; segment < 1000 && Read(in, b, 2); ++segment) {
        if (b[0] != 0xFF)
            return 0;
        const std::uint8_t marker = b[1];
        if (marker == 0xFF) {  // fill byte
            in.seekg(-1, std::ios::cur);
            continue;
        }
        if (marker == 0xDA || marker == 0xD9 || !Read(in, b, 2))
            return 0;
        // SOF0 to SOF15 but DHT (C4), JPG (C8) and DAC (CC): length, precision, height, width.
        if (marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC)
            return Read(in, b, 5) ? std::int64_t(Big16(b + 1)) * Big16(b + 3) : 0;
        in.seekg(std::streamoff(Big16(b)) - 2, std::ios::cur);
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
    std::uint8_t b[26] = {};
    if (!Read(in, b, 4))
        return 0;
    if (b[0] == 0xFF && b[1] == 0xD8)
        return JpegPixels(in);
    if (!Read(in, b + 4, sizeof b - 4))
        return 0;
    if (b[0] == 'B' && b[1] == 'M') {
        if (Little32(&b[14]) == 12)  // OS/2 core header: 16-bit sides
            return std::int64_t(b[18] | b[19] << 8) * (b[20] | b[21] << 8);
        const std::int64_t width = Little32(&b[18]), height = Little32(&b[22]);
        return width > 0 ? width * (height < 0 ? -height : height) : 0;
    }
    if (b[0] == 0x89 && b[1] == 'P' && b[2] == 'N' && b[3] == 'G')
        return std::int64_t(Big32(&b[16])) * Big32(&b[20]);
    return 0;
}

}  // namespace kadrimex::batch
