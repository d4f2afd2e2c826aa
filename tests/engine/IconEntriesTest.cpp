// Icons with broken entries: the core picks the best entry that can be
// decoded and refuses an icon with none, and Qt's reader, which the editor
// shows icons with, decodes the same entry.
#include "engine/Codecs.h"
#include "engine/Graphic.h"
#include "tests/engine/CodecTestUtil.h"

#include <QBuffer>
#include <QImage>
#include <QImageReader>
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

using namespace kadrimex;
using kadrimex::testing::ErrorOf;

namespace {

// Width of the largest entry Qt decodes, 0 when it decodes none.
int QtBestWidth(const std::vector<std::uint8_t>& bytes)
{
    QBuffer buffer;
    buffer.setData(reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size()));
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "ico");
    int best = 0;
    for (int i = 0; i < std::max(1, reader.imageCount()); ++i) {
        if (i > 0 && !reader.jumpToImage(i))
            break;
        const QImage image = reader.read();
        if (!image.isNull())
            best = std::max(best, image.width());
    }
    return best;
}

// The directory fields of entry i (byte size at 8, offset at 12), which
// are not aligned: read and written byte-wise.
std::uint32_t Field(const std::vector<std::uint8_t>& icon, int entry, int at)
{
    std::uint32_t value;
    std::memcpy(&value, icon.data() + 6 + 16 * entry + at, sizeof value);
    return value;
}

void SetField(std::vector<std::uint8_t>& icon, int entry, int at, std::uint32_t value)
{
    std::memcpy(icon.data() + 6 + 16 * entry + at, &value, sizeof value);
}

TEST(IconEntries, TheBestIntactEntryIsShownAndAnIconWithNoneIsRefused)
{
    const std::string path = std::string(KADRIMEX_SHARED_DIR) + "/testdata/astronaut-multi-png256.ico";
    if (!std::filesystem::exists(path))
        GTEST_SKIP() << "shared test picture " << path << " is absent";
    const std::vector<std::uint8_t> whole = ReadFileBytes(path);
    // Entry 0 is a 256 x 256 PNG; entries 1 to 3 are DIBs of 48, 32 and 16.
    ASSERT_EQ(std::memcmp(whole.data() + Field(whole, 0, 12), "\x89PNG", 4), 0);

    std::vector<std::uint8_t> pngCut = whole;
    SetField(pngCut, 0, 8, Field(pngCut, 0, 8) / 2);
    std::vector<std::uint8_t> pngDamaged = whole;
    pngDamaged[Field(pngDamaged, 0, 12) + Field(pngDamaged, 0, 8) / 2] ^= 0x55;
    std::vector<std::uint8_t> allBroken = pngCut;
    for (int entry = 1; entry < 4; ++entry) {
        allBroken[Field(allBroken, entry, 12)] = 0;        // header size 0
        allBroken[Field(allBroken, entry, 12) + 14] = 7;   // 7 bits a pixel
    }

    const struct {
        const char* name;
        const std::vector<std::uint8_t>& bytes;
        int width;  // 0: refused
    } cases[] = {{"whole", whole, 256}, {"PNG cut in half", pngCut, 48}, {"PNG damaged", pngDamaged, 48},
                 {"no entry intact", allBroken, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string error = ErrorOf([&] { EXPECT_EQ(TIcon(c.bytes).Width(), c.width); }, "");
        EXPECT_EQ(error, c.width ? "" : "ICO: the icon holds no entry that can be decoded");
        EXPECT_EQ(QtBestWidth(c.bytes), c.width);
    }
}

}  // namespace
