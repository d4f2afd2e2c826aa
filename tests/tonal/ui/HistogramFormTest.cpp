// The histogram window: only the newest of pictures set in a row is
// plotted, with the histograms of that picture.
#include "tonal/ui/HistogramForm.h"

#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

using kadrimex::TBitmap;
using kadrimex::TPicture;
using kadrimex::TPixelFormat;

namespace {

// A grey picture of one value, `side` x `side`.
std::shared_ptr<const TPicture> Grey(int side, std::uint8_t value)
{
    TBitmap bitmap;
    bitmap.Reset(side, side, TPixelFormat::pf24bit);
    for (int y = 0; y < side; ++y)
        std::fill_n(bitmap.ScanLine(y), 3 * side, value);
    auto picture = std::make_shared<TPicture>();
    picture->Assign(std::move(bitmap));
    return picture;
}

}  // namespace

TEST(HistogramForm, OnlyTheNewestPictureIsPlotted)
{
    THistogramForm form;
    QSignalSpy plotted(&form, &THistogramForm::Plotted);
    // Completions come through the event loop, so all three are set before
    // the first one's result arrives: it is dropped, the second never
    // starts, and the third is plotted.
    form.SetPicture(Grey(50, 10));
    form.SetPicture(Grey(20, 20));
    form.SetPicture(Grey(30, 30));
    ASSERT_TRUE(plotted.wait(60000));
    QTest::qWait(200);
    EXPECT_EQ(plotted.size(), 1);
    for (const kadrimex::THistogram& channel : form.Histograms()) {
        EXPECT_EQ(channel[30], 1.0L);
        EXPECT_EQ(channel[10], 0.0L);
    }
    // An empty picture plots empty histograms.
    form.SetPicture(nullptr);
    ASSERT_TRUE(plotted.wait(60000));
    EXPECT_EQ(form.Histograms()[0][30], 0.0L);
}
