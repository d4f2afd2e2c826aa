// Files of the newer formats through SavePictureFile and
// TPicture::LoadFromFile: the format chosen by the ending, JPEG files turned
// upright by their EXIF Orientation, and one table of the files that must be
// refused with their reason.
#include "engine/Codecs.h"
#include "engine/Graphic.h"
#include "engine/PictureFiles.h"

#include "CodecTestUtil.h"

#include <cstring>

namespace kadrimex {
namespace {

using testing::ErrorOf;
using testing::PixelRGBA;
using testing::TempFolder;
using testing::WriteAll;

constexpr int kCell = 16;

// Six cells of clearly different colours, three wide and two tall:
//   A B C
//   D E F
const std::array<std::array<int, 3>, 6> kCellColours = {
    {{250, 10, 10}, {10, 250, 10}, {10, 10, 250}, {250, 250, 10}, {10, 250, 250}, {250, 10, 250}}};

TBitmap CellPicture()
{
    TBitmap bitmap;
    bitmap.Reset(3 * kCell, 2 * kCell, TPixelFormat::pf24bit);
    for (int y = 0; y < 2 * kCell; ++y)
        for (int x = 0; x < 3 * kCell; ++x) {
            const auto& c = kCellColours[std::size_t(y / kCell * 3 + x / kCell)];
            std::uint8_t* p = bitmap.ScanLine(y) + 3 * x;
            p[0] = std::uint8_t(c[2]);
            p[1] = std::uint8_t(c[1]);
            p[2] = std::uint8_t(c[0]);
        }
    return bitmap;
}

// The cell shown at each place, row by row ('/' between rows).
std::string CellsOf(const TBitmap& bitmap)
{
    std::string cells;
    for (int row = 0; row < bitmap.Height() / kCell; ++row) {
        if (row > 0)
            cells += '/';
        for (int col = 0; col < bitmap.Width() / kCell; ++col) {
            const auto p = PixelRGBA(bitmap, col * kCell + kCell / 2, row * kCell + kCell / 2);
            char best = '?';
            int bestDistance = 3 * 60 * 60;
            for (std::size_t i = 0; i < kCellColours.size(); ++i) {
                int d = 0;
                for (int ch = 0; ch < 3; ++ch)
                    d += (p[std::size_t(ch)] - kCellColours[i][std::size_t(ch)]) *
                         (p[std::size_t(ch)] - kCellColours[i][std::size_t(ch)]);
                if (d < bestDistance) {
                    bestDistance = d;
                    best = char('A' + i);
                }
            }
            cells += best;
        }
    }
    return cells;
}

// A JPEG of the cell picture with an APP1 EXIF block in the given byte order
// holding `ifd` as IFD 0 (entries after their count).
std::vector<std::uint8_t> JpegWithExif(bool little, const std::vector<std::array<unsigned, 4>>& entries,
                                       std::size_t cut = 0)
{
    auto jpeg = EncodeJpeg(CellPicture(), 95);
    std::vector<std::uint8_t> tiff;
    auto put = [&](unsigned v, int bytes) {
        for (int i = 0; i < bytes; ++i)
            tiff.push_back(std::uint8_t(little ? v >> (8 * i) : v >> (8 * (bytes - 1 - i))));
    };
    tiff.push_back(little ? 'I' : 'M');
    tiff.push_back(little ? 'I' : 'M');
    put(42, 2);
    put(8, 4);
    put(unsigned(entries.size()), 2);
    for (const auto& e : entries) {  // tag, type, count, value (SHORT, left-justified)
        put(e[0], 2);
        put(e[1], 2);
        put(e[2], 4);
        put(e[3], 2);
        put(0, 2);
    }
    put(0, 4);
    tiff.resize(tiff.size() - cut);
    std::vector<std::uint8_t> app1 = {0xFF, 0xE1, 0, 0, 'E', 'x', 'i', 'f', 0, 0};
    app1.insert(app1.end(), tiff.begin(), tiff.end());
    app1[2] = std::uint8_t((app1.size() - 2) >> 8);
    app1[3] = std::uint8_t(app1.size() - 2);
    jpeg.insert(jpeg.begin() + 2, app1.begin(), app1.end());
    return jpeg;
}

TEST(PictureFormats, SavedFilesTakeTheirFormatFromTheEndingAndOpenWithTheSamePixels)
{
    const auto dir = TempFolder("endings");
    struct TCase {
        const char* name;
        TPixelFormat format;
        bool exact;
    };
    // The codecs' own tests cover the formats; here each ending once.
    for (const TCase c : {TCase{"four.PNG", TPixelFormat::pf4bit, true}, TCase{"eight.tif", TPixelFormat::pf8bit, true},
                          TCase{"photo.tiff", TPixelFormat::pf24bit, true},
                          TCase{"photo.webp", TPixelFormat::pf24bit, false}}) {
        const auto path = (dir / c.name).string();
        const TBitmap picture = testing::RandomBitmap(23, 9, c.format, 17);
        ASSERT_TRUE(SavePictureFile(path, picture, WritableFormatOf(path))) << c.name;
        const TPicture opened = TPicture::LoadFromFile(path);
        ASSERT_TRUE(opened.IsBitmap()) << c.name;
        if (c.exact) {
            EXPECT_TRUE(testing::SamePicture(opened.ToBitmap(), picture)) << c.name;
        } else {  // lossy: the size and format only
            EXPECT_EQ(opened.Width(), 23);
            EXPECT_EQ(opened.Height(), 9);
            EXPECT_EQ(opened.ToBitmap().PixelFormat(), TPixelFormat::pf24bit);
        }
    }
}

TEST(PictureFormats, JpegFilesOpenTurnedUprightByTheirExifOrientation)
{
    const auto dir = TempFolder("orientation");
    // What a viewer shows for each orientation of the stored ABC/DEF.
    const std::array<const char*, 9> shown = {
        "", "ABC/DEF", "CBA/FED", "FED/CBA", "DEF/ABC", "AD/BE/CF", "DA/EB/FC", "FC/EB/DA", "CF/BE/AD"};
    for (unsigned orientation = 1; orientation <= 8; ++orientation) {
        const bool little = orientation % 2 == 0;
        // A tag before and after the orientation, as cameras write them.
        const auto file = JpegWithExif(little, {{0x010F, 2, 4, 0}, {0x0112, 3, 1, orientation}, {0x011A, 5, 1, 0}});
        const auto path = (dir / ("photo" + std::to_string(orientation) + ".jpg")).string();
        WriteAll(path, file);
        SCOPED_TRACE("orientation " + std::to_string(orientation) + (little ? " II" : " MM"));
        const TPicture upright = TPicture::LoadFromFile(path);
        ASSERT_TRUE(upright.IsJpeg());
        EXPECT_EQ(CellsOf(upright.ToBitmap()), shown[orientation]);
        EXPECT_EQ(upright.Width(), orientation >= 5 ? 2 * kCell : 3 * kCell);
        // The compressed bytes are the file's own.
        EXPECT_EQ(std::get<TJPEGImage>(upright.graphic()).Data(), file);
        EXPECT_EQ(CellsOf(TPicture::LoadFromFile(path, false).ToBitmap()), "ABC/DEF");
    }
}

TEST(PictureFormats, DamagedExifBlocksLeaveThePictureAsStored)
{
    const auto dir = TempFolder("exif-damaged");
    const std::vector<std::pair<const char*, std::vector<std::uint8_t>>> files = {
        {"value out of range", JpegWithExif(true, {{0x0112, 3, 1, 9}})},
        {"wrong type", JpegWithExif(false, {{0x0112, 4, 1, 6}})},
        {"entry cut off", JpegWithExif(true, {{0x0112, 3, 1, 6}}, 12)},
        {"entry count past the block", JpegWithExif(true, std::vector<std::array<unsigned, 4>>(0), 6)},
    };
    for (const auto& [name, bytes] : files) {
        const auto path = (dir / "photo.jpg").string();
        WriteAll(path, bytes);
        EXPECT_EQ(CellsOf(TPicture::LoadFromFile(path).ToBitmap()), "ABC/DEF") << name;
    }
}

std::vector<std::uint8_t> Chunk(const char* type, const std::vector<std::uint8_t>& body)
{
    std::vector<std::uint8_t> chunk = {std::uint8_t(body.size() >> 24), std::uint8_t(body.size() >> 16),
                                       std::uint8_t(body.size() >> 8), std::uint8_t(body.size())};
    for (int i = 0; i < 4; ++i)
        chunk.push_back(std::uint8_t(type[i]));
    chunk.insert(chunk.end(), body.begin(), body.end());
    std::uint32_t crc = 0xFFFFFFFFu;
    for (std::size_t i = 4; i < chunk.size(); ++i) {
        crc ^= chunk[i];
        for (int k = 0; k < 8; ++k)
            crc = crc & 1 ? 0xEDB88320u ^ (crc >> 1) : crc >> 1;
    }
    crc ^= 0xFFFFFFFFu;
    for (int i = 3; i >= 0; --i)
        chunk.push_back(std::uint8_t(crc >> (8 * i)));
    return chunk;
}

// A PNG signature and IHDR claiming the size, then `rest`.
std::vector<std::uint8_t> PngHeader(std::uint32_t width, std::uint32_t height, std::vector<std::uint8_t> rest = {})
{
    std::vector<std::uint8_t> file = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    const auto ihdr = Chunk("IHDR", {std::uint8_t(width >> 24), std::uint8_t(width >> 16), std::uint8_t(width >> 8),
                                     std::uint8_t(width), std::uint8_t(height >> 24), std::uint8_t(height >> 16),
                                     std::uint8_t(height >> 8), std::uint8_t(height), 8, 2, 0, 0, 0});
    file.insert(file.end(), ihdr.begin(), ihdr.end());
    file.insert(file.end(), rest.begin(), rest.end());
    return file;
}

TEST(PictureFormats, MalformedTruncatedAndMislabelledFilesAreRefusedWithTheirReason)
{
    const TBitmap photo = testing::RandomBitmap(64, 48, TPixelFormat::pf24bit, 11);
    const auto png = EncodePng(photo);
    const auto webp = EncodeWebp(photo);
    const auto jpeg = EncodeJpeg(photo);
    const auto tiff = EncodeTiff(photo);
    auto cut = [](std::vector<std::uint8_t> bytes, std::size_t keep) {
        bytes.resize(keep);
        return bytes;
    };
    auto flipped = [](std::vector<std::uint8_t> bytes, std::size_t at) {
        bytes[at] ^= 0x55;
        return bytes;
    };
    std::vector<std::uint8_t> millions = PngHeader(1000000, 1000000);
    millions.resize(100);
    // The RIFF size promises more than the file holds: the header alone must do.
    std::vector<std::uint8_t> hugeWebp = {'R', 'I', 'F', 'F', 0xE8, 0x03, 0, 0, 'W', 'E', 'B', 'P', 'V', 'P', '8', 'X',
                                          10, 0, 0, 0, 0, 0, 0, 0, 0x5F, 0xEA, 0x00, 0x5F, 0xEA, 0x00};
    struct TCase {
        const char* name;
        std::vector<std::uint8_t> bytes;
        const char* message;
    };
    const std::vector<TCase> cases = {
        {"a.png", millions, "PNG: the picture is too large (1000000 x 1000000)"},
        {"b.png", PngHeader(30000, 30000, Chunk("IDAT", {0x78, 0x9C})),
         "PNG: file is truncated (too short for a 30000 x 30000 picture)"},
        {"c.png", cut(png, png.size() / 2), "PNG: file is truncated"},
        {"d.png", cut(png, 20), "PNG: file is truncated"},
        {"e.png", flipped(png, 30), "PNG: IHDR: CRC error"},
        {"f.png", PngHeader(0, 5, Chunk("IEND", {})), "PNG: Invalid IHDR data"},
        {"g.webp", cut(webp, webp.size() * 2 / 3), "WebP: file is truncated"},
        {"h.webp", flipped(webp, 24), "WebP: the file's structure is corrupt"},
        {"i.webp", hugeWebp, "WebP: the picture is too large (60000 x 60000)"},
        {"j.webp", cut(webp, 20), "WebP: file is truncated"},
        {"k.png", jpeg, "The file is not a PNG picture as its extension (.png) says but a JPEG picture"},
        {"l.webp", png, "The file is not a WebP picture as its extension (.webp) says but a PNG picture"},
        {"m.png", {'h', 'e', 'l', 'l', 'o'}, "The file is not a PNG picture as its extension (.png) says"},
        {"n.tif", png, "The file is not a TIFF picture as its extension (.tif) says but a PNG picture"},
        {"o.tiff", cut(tiff, tiff.size() / 2), "TIFF: file is truncated (its directory lies past the end)"},
    };
    const auto dir = TempFolder("refusals");
    for (const auto& c : cases) {
        const auto path = (dir / c.name).string();
        WriteAll(path, c.bytes);
        EXPECT_EQ(ErrorOf([&] { TPicture::LoadFromFile(path); }), c.message) << c.name;
    }
}

}  // namespace
}  // namespace kadrimex
