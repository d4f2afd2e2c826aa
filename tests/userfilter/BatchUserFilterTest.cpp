// kadrimex-batch user / user-example against the literal reference, through
// real files: random pictures, every example, every size with random reals.
#include "UserFilterReference.h"
#include "tests/support/BatchPictureTest.h"

#include "engine/Codecs.h"
#include "userfilter/ExampleFilters.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <unistd.h>
#include <vector>

using namespace kadrimex;
using kadrimex::test::FirstDifference;
using kadrimex::test::RandomPicture;
using kadrimex::testing::ReferenceUserFilter;

namespace {

class BatchUserFilter : public test::BatchPictureTest {
protected:
    std::string Write(const TBitmap& b, const std::string& name)
    {
        const std::string path = Path(name);
        WriteFileAtomically(path, EncodeBmp(b));
        return path;
    }

    // Runs the tool; returns its exit status and the stderr text.
    int Batch(const std::string& args, std::string* errors = nullptr)
    {
        const test::BatchResult result = test::RunBatch(args + " --quiet");
        if (errors)
            *errors = result.errors;
        return result.status;
    }

};

std::string Real(long double v)
{
    char text[64];
    std::snprintf(text, sizeof text, "%.21Lg", v);  // enough digits to read back the same 80-bit value
    return text;
}

}  // namespace

TEST_F(BatchUserFilter, EveryExampleMatchesTheReference)
{
    std::mt19937 rng(41);
    const TBitmap pic = RandomPicture(13, 9, rng);
    const std::string in = Write(pic, "in.bmp");
    const std::string out = (dir / "out.bmp").string();
    for (int type = 1; type < kFilterTypeCount; ++type) {
        const auto examples = FilterType(type).Examples;
        for (std::size_t e = 0; e < examples.size(); ++e) {
            const TExampleFilter& f = examples[e];
            const std::vector<long double> m(f.Cells.begin(), f.Cells.end());
            const int absolute = int((type + e) % 2);
            ASSERT_EQ(Batch("user-example " + std::to_string(type) + " " + std::to_string(e) + " " +
                            std::to_string(absolute) + " -i " + in + " -o " + out),
                      0);
            EXPECT_EQ(FirstDifference(Load(out), ReferenceUserFilter(pic, m.data(), 3, f.Divider, f.Offset,
                                                                     absolute == 1)),
                      -1)
                << "type " << type << " example " << e;
        }
    }
}

TEST_F(BatchUserFilter, RandomRealMatricesOfEverySizeMatchTheReference)
{
    std::mt19937 rng(43);
    std::uniform_real_distribution<long double> real(-3, 3);
    const TBitmap pic = RandomPicture(11, 14, rng);
    const std::string in = Write(pic, "in.bmp");
    const std::string out = (dir / "out.bmp").string();
    for (int n : {1, 3, 5, 7}) {
        std::vector<long double> m(std::size_t(n * n));
        std::string args = "user " + std::to_string(n);
        const long double divider = real(rng) + 3.5L, offset = real(rng) * 40;
        const bool absolute = n != 3;
        for (const std::string& word : {Real(divider), Real(offset), std::string(absolute ? "1" : "0")})
            args.append(" ").append(word);
        for (auto& c : m) {
            c = real(rng);
            args.append(" ").append(Real(c));
        }
        ASSERT_EQ(Batch(args + " -i " + in + " -o " + out), 0) << args;
        EXPECT_EQ(FirstDifference(Load(out), ReferenceUserFilter(pic, m.data(), n, divider, offset, absolute)), -1)
            << "size " << n;
    }
}

TEST_F(BatchUserFilter, RefusedValuesExitWithTheDialogsMessage)
{
    std::mt19937 rng(47);
    const std::string in = Write(RandomPicture(3, 3, rng), "in.bmp");
    const std::string out = (dir / "out.bmp").string();
    const std::string message = "Przynajmiej jeden ze współczynników nie jest poprawną liczbą zmiennoprzecinkową.";
    for (const std::string args : {"user 3 1 0 0 1 2 3 4 x 6 7 8 9", "user 1 1,5 0 0 1", "user 1 1 0 0 inf",
                                   "user 1 1 0 0 nan", "user 1 1 0 0 0x10", "user 1 1 0 0 1e5000"}) {
        std::string errors;
        EXPECT_EQ(Batch(args + " -i " + in + " -o " + out, &errors), 2) << args;
        EXPECT_NE(errors.find(message), std::string::npos) << args << ": " << errors;
    }
    std::string errors;
    EXPECT_EQ(Batch("user 4 1 0 0 1 1 1 1 1 1 1 1 1 1 1 1 1 1 1 1 -i " + in + " -o " + out, &errors), 2);
    EXPECT_NE(errors.find("SIZE must be 1, 3, 5 or 7"), std::string::npos) << errors;
    for (const std::string args : {"user 3 1 0 0 1 2", "user 1 1 0 2 1", "user-example 9 0 0", "user-example 1 4 0",
                                   "user-example 0 0 0"})
        EXPECT_EQ(Batch(args + " -i " + in + " -o " + out), 2) << args;
    EXPECT_FALSE(std::filesystem::exists(out));
    // A zero divider is a value the dialog accepts, and so are reals beyond
    // the double range that an 80-bit real holds.
    EXPECT_EQ(Batch("user 1 0 0 0 1 -i " + in + " -o " + out), 0);
    EXPECT_EQ(Batch("user 1 1e400 0 0 1e400 -i " + in + " -o " + out), 0);
}
