// kadrimex-batch user / user-example against the literal reference, through
// real files: random pictures, every example, every size with random reals.
#include "UserFilterReference.h"
#include "tests/support/BatchPictureTest.h"

#include "userfilter/ExampleFilters.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

using namespace kadrimex;
using kadrimex::test::FirstDifference;
using kadrimex::testing::ReferenceUserFilter;

namespace {

class BatchUserFilter : public test::BatchPictureTest {
protected:
    BatchUserFilter() : BatchPictureTest(13, 9, 41) {}
    std::string Out() const { return Path("out.bmp"); }
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
    for (int type = 1; type < kFilterTypeCount; ++type) {
        const auto examples = FilterType(type).Examples;
        for (std::size_t e = 0; e < examples.size(); ++e) {
            const TExampleFilter& f = examples[e];
            const std::vector<long double> m(f.Cells.begin(), f.Cells.end());
            const int absolute = int((type + e) % 2);
            const std::string args = "user-example " + std::to_string(type) + " " + std::to_string(e) + " " +
                                     std::to_string(absolute);
            ASSERT_EQ(Batch(args, Out()).status, 0) << args;
            EXPECT_EQ(FirstDifference(Load(Out()), ReferenceUserFilter(picture, m.data(), 3, f.Divider, f.Offset,
                                                                     absolute == 1)),
                      -1)
                << args;
        }
    }
}

TEST_F(BatchUserFilter, RandomRealMatricesOfEverySizeMatchTheReference)
{
    std::mt19937 rng(43);
    std::uniform_real_distribution<long double> real(-3, 3);
    for (int n : {1, 3, 5, 7}) {
        std::vector<long double> m(std::size_t(n * n));
        const long double divider = real(rng) + 3.5L, offset = real(rng) * 40;
        const bool absolute = n != 3;
        std::string args = "user " + std::to_string(n);
        args.append(" ").append(Real(divider)).append(" ").append(Real(offset)).append(absolute ? " 1" : " 0");
        for (auto& c : m)
            args.append(" ").append(Real(c = real(rng)));
        ASSERT_EQ(Batch(args, Out()).status, 0) << args;
        EXPECT_EQ(FirstDifference(Load(Out()), ReferenceUserFilter(picture, m.data(), n, divider, offset, absolute)), -1)
            << "size " << n;
    }
}

TEST_F(BatchUserFilter, RefusedValuesExitWithTheDialogsMessage)
{
    const std::string badReal = "Przynajmiej jeden ze współczynników nie jest poprawną liczbą zmiennoprzecinkową.";
    const std::pair<std::string, std::string> refused[] = {
        {"user 3 1 0 0 1 2 3 4 x 6 7 8 9", badReal}, {"user 1 1,5 0 0 1", badReal}, {"user 1 1 0 0 inf", badReal},
        {"user 1 1 0 0 nan", badReal},  {"user 1 1 0 0 0x10", badReal},  {"user 1 1 0 0 1e5000", badReal},
        {"user 4 1 0 0 1 1 1 1 1 1 1 1 1 1 1 1 1 1 1 1", "SIZE must be 1, 3, 5 or 7"},
        {"user 3 1 0 0 1 2", ""}, {"user 1 1 0 2 1", ""}, {"user-example 9 0 0", ""}, {"user-example 1 4 0", ""},
        {"user-example 0 0 0", ""}};
    for (const auto& [args, message] : refused) {
        const test::BatchResult result = Batch(args, Out());
        EXPECT_EQ(result.status, 2) << args;
        EXPECT_NE(result.errors.find(message), std::string::npos) << args << ": " << result.errors;
    }
    EXPECT_FALSE(std::filesystem::exists(Out()));
    // A zero divider is a value the dialog accepts, and so are reals up to
    // the double range; beyond it they would become infinite.
    EXPECT_EQ(Batch("user 1 0 0 0 1", Out()).status, 0);
    EXPECT_EQ(Batch("user 1 1e300 0 0 1e300", Out()).status, 0);
    EXPECT_EQ(Batch("user 1 1e400 0 0 1", Out()).status, 2);
}
