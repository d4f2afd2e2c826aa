// The BMP conformance suite against its reference PNGs (read with QImage,
// the only PNG reader at hand; the core itself stays free of Qt).
#include "engine/Codecs.h"
#include "tests/engine/CodecTestUtil.h"

#include <gtest/gtest.h>

#include <QImage>

#include <algorithm>
#include <cstdio>
#include <optional>

using namespace kadrimex;
using namespace kadrimex::testing;

namespace {

namespace fs = std::filesystem;

fs::path SuiteDir()
{
    return fs::path(SharedDir()) / "bmpsuite";
}

std::vector<fs::path> Files(const char* folder)
{
    std::vector<fs::path> files;
    for (const auto& e : fs::directory_iterator(SuiteDir() / folder))
        if (e.path().extension() == ".bmp")
            files.push_back(e.path());
    std::sort(files.begin(), files.end());
    return files;
}

// Decodes a suite file; nullopt with the message when it is refused.
std::optional<TBitmap> Decode(const fs::path& file, std::string& message)
{
    const auto bytes = ReadAll(file);
    try {
        return DecodeBmp(bytes.data(), bytes.size());
    } catch (const EImageError& e) {
        message = e.what();
        return std::nullopt;
    }
}

// Compares with the reference PNG, where the reference is opaque; each
// channel may differ by `tolerance`.
::testing::AssertionResult MatchesReference(const TBitmap& b, const fs::path& png, int tolerance)
{
    QImage reference(QString::fromStdString(png.string()));
    if (reference.isNull())
        return ::testing::AssertionFailure() << "cannot read " << png;
    reference = reference.convertToFormat(QImage::Format_ARGB32);
    if (reference.width() != b.Width() || reference.height() != b.Height())
        return ::testing::AssertionFailure() << "size " << b.Width() << "x" << b.Height() << ", reference "
                                             << reference.width() << "x" << reference.height();
    for (int y = 0; y < b.Height(); ++y)
        for (int x = 0; x < b.Width(); ++x) {
            const QRgb want = reference.pixel(x, y);
            if (qAlpha(want) != 255)
                continue;
            const auto got = PixelRGBA(b, x, y);
            const int expected[3] = {qRed(want), qGreen(want), qBlue(want)};
            for (int c = 0; c < 3; ++c)
                if (std::abs(got[std::size_t(c)] - expected[c]) > tolerance)
                    return ::testing::AssertionFailure()
                           << "pixel " << x << "," << y << " is " << got[0] << "," << got[1] << "," << got[2]
                           << ", reference " << expected[0] << "," << expected[1] << "," << expected[2];
        }
    return ::testing::AssertionSuccess();
}

class BmpSuite : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!fs::exists(SuiteDir() / "g"))
            GTEST_SKIP() << "BMP suite not found in " << SuiteDir();
    }
};

}  // namespace

TEST_F(BmpSuite, GoodFilesOpenWithExactPixels)
{
    for (const auto& file : Files("g")) {
        std::string message;
        const auto b = Decode(file, message);
        ASSERT_TRUE(b) << file.filename() << ": " << message;
        // 5- and 6-bit channels may round either way.
        const int tolerance = file.filename().string().rfind("rgb16", 0) == 0 ? 1 : 0;
        EXPECT_TRUE(MatchesReference(*b, SuiteDir() / "ref/g" / file.filename().replace_extension(".png"), tolerance))
            << file.filename();
    }
}

TEST_F(BmpSuite, QuestionableFilesOpenCorrectlyOrAreRefused)
{
    int opened = 0;
    for (const auto& file : Files("q")) {
        std::string message;
        const auto b = Decode(file, message);
        if (!b) {
            EXPECT_EQ(message.rfind("BMP: ", 0), 0u) << message;
            std::printf("  refused %s: %s\n", file.filename().c_str(), message.c_str());
            continue;
        }
        ++opened;
        const fs::path reference = SuiteDir() / "ref/q" / file.filename().replace_extension(".png");
        if (fs::exists(reference)) {
            EXPECT_TRUE(MatchesReference(*b, reference, 1)) << file.filename();
        }
    }
    EXPECT_GE(opened, 30);
}

TEST_F(BmpSuite, BadFilesAreRefusedOrOpenSafely)
{
    for (const auto& file : Files("b")) {
        const std::string name = file.stem().string();
        std::string message;
        const auto b = Decode(file, message);
        if (name == "badbitcount" || name == "badwidth" || name == "reallybig") {
            EXPECT_FALSE(b) << name;
            EXPECT_EQ(message.rfind("BMP: ", 0), 0u) << name << ": " << message;
        } else if (b) {
            if (b->PixelFormat() == TPixelFormat::pf8bit) {
                EXPECT_LE(b->Palette().size(), 256u) << name;
            }
            const fs::path reference = SuiteDir() / "ref/b" / (name + ".png");
            if (fs::exists(reference)) {
                EXPECT_TRUE(MatchesReference(*b, reference, 1)) << name;
            }
        }
    }
    std::string message;
    EXPECT_FALSE(Decode(SuiteDir() / "x/ba-bm.bmp", message));
    EXPECT_EQ(message, "BMP: OS/2 bitmap arrays are not supported");
}
