// kadrimex-batch equalize, range and curve against the references, and the
// arguments and table files they refuse.
#include "engine/Codecs.h"
#include "tonal/Tone.h"

#include "ToneReference.h"
#include "tests/support/BatchPictureTest.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>

namespace kadrimex {
namespace {

class BatchTonalTest : public test::BatchPictureTest {
protected:
    BatchTonalTest() : BatchPictureTest(41, 29, 17) {}

    std::string TableFile(const std::string& name, const std::string& text)
    {
        const std::string path = Path(name);
        std::ofstream(path) << text;
        return path;
    }
};

TEST_F(BatchTonalTest, CommandsMatchTheReferences)
{
    std::string numbers;
    TToneTable table{};
    for (int i = 0; i < 256; ++i) {
        table[std::size_t(i)] = std::uint8_t((i * 7 + 3) % 256);
        numbers += std::to_string(table[std::size_t(i)]) + (i % 16 == 15 ? "\n" : " ");
    }
    const std::string tableFile = TableFile("table.txt", numbers);
    const struct {
        std::string arguments;
        TBitmap expected;
    } cases[] = {
        {"equalize 0", test::ReferenceEqualize(picture, 0)},
        {"equalize 3", test::ReferenceEqualize(picture, 3)},
        {"range 55 200 0", test::ReferenceCurve(picture, test::ReferenceRangeTable(55, 200), 0)},
        {"range -99 999 1", test::ReferenceCurve(picture, test::ReferenceRangeTable(-99, 999), 1)},
        {"curve 0 " + tableFile, test::ReferenceCurve(picture, table, 0)},
        {"curve 2 " + tableFile, test::ReferenceCurve(picture, table, 2)},
    };
    int n = 0;
    for (const auto& c : cases) {
        const std::string output = (dir / ("out" + std::to_string(n++) + ".bmp")).string();
        ASSERT_EQ(Batch(c.arguments, output).status, 0) << c.arguments;
        EXPECT_EQ(test::FirstDifference(Load(output), c.expected), -1) << c.arguments;
    }
}

TEST_F(BatchTonalTest, RefusedArgumentsAndTableFiles)
{
    std::string short255;
    for (int i = 0; i < 255; ++i)
        short255 += "1 ";
    std::string spelled;  // the first 32 bytes of a long word of byte 1
    for (int i = 0; i < 32; ++i)
        spelled += "\\x01";
    const struct {
        std::string arguments;
        int status;
        std::string message;  // part of the one line on stderr
    } cases[] = {
        {"range abc 200 0", 2, "Może byś tak podał rozsądny próg dolny? Musi być <256 i nie za ujemny..."},
        {"range 0 0 0", 2, "Może byś tak podał rozsądny próg górny? Musi być >1 i nie za olbrzymi (<32767)."},
        {"range 200 55 0", 2, "No i co to ma być? Ty pomyśl trochę i wstukaj próg dolny MNIEJSZY od górnego!"},
        {"equalize 4", 2, "CHANNEL must be"},
        {"equalize x", 2, "CHANNEL"},
        {"curve 0 " + (dir / "missing.txt").string(), 1, "Cannot read"},
        {"curve 0 " + TableFile("short.txt", short255), 1, "holds 255 numbers"},
        {"curve 0 " + TableFile("long.txt", short255 + "1 1"), 1, "more than 256"},
        {"curve 0 " + TableFile("big.txt", short255 + "256"), 1, "entry 255 ('256')"},
        {"curve 0 " + TableFile("word.txt", "abc " + short255), 1, "entry 0 ('abc')"},
        {"curve 0 " + TableFile("real.txt", "1.5 " + short255), 1, "entry 0 ('1.5')"},
        {"curve 0 " + TableFile("minus.txt", "-1 " + short255), 1, "entry 0 ('-1')"},
        // Bytes that are not printable are spelled out, never sent as they are.
        {"curve 0 " + TableFile("nul.txt", std::string("1\0" "2 ", 4) + short255), 1, "entry 0 ('1\\x002')"},
        {"curve 0 " + TableFile("binary.txt", "\x1b[2J\xff\x7f\\ " + short255), 1, "entry 0 ('\\x1b[2J\\xff\\x7f\\x5c')"},
        {"curve 0 " + TableFile("long.bin", std::string(40, '\x01') + " " + short255), 1, "('" + spelled + "...')"},
    };
    const std::string output = (dir / "refused.bmp").string();
    for (const auto& c : cases) {
        const test::BatchResult result = Batch(c.arguments, output);
        EXPECT_EQ(result.status, c.status) << c.arguments;
        ASSERT_EQ(result.ErrorLines().size(), 1u) << c.arguments << ": " << result.errors;
        EXPECT_NE(result.errors.find(c.message), std::string::npos) << c.arguments << ": " << result.errors;
        for (const char byte : result.errors)
            EXPECT_TRUE(byte == '\n' || (static_cast<unsigned char>(byte) >= 0x20 && byte != 0x7F)) << c.arguments;
    }
    EXPECT_FALSE(std::filesystem::exists(output));
}

}  // namespace
}  // namespace kadrimex
