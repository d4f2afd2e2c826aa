// The undo history: exact pictures back and forth, the byte limit, steps too
// large to keep, and the main window's Undo and Redo items that follow it.
#include "app/MainForm.h"
#include "app/PictureDocument.h"
#include "app/UndoHistory.h"

#include <gtest/gtest.h>

#include <cstring>

using kadrimex::TBitmap;
using kadrimex::TPicture;
using kadrimex::TPixelFormat;

namespace {

// A width x 1 picture of `format` whose bytes all hold `fill`; an 8-bit one
// has a palette of its own, so a restored palette is seen too.
TPicture Picture(int width, std::uint8_t fill, TPixelFormat format = TPixelFormat::pf24bit)
{
    TBitmap bitmap;
    bitmap.SetPixelFormat(format);
    bitmap.SetSize(width, 1);
    std::memset(bitmap.ScanLine(0), fill, bitmap.Stride());
    if (format == TPixelFormat::pf8bit) {
        std::vector<kadrimex::TPaletteEntry> palette(256);
        for (std::size_t i = 0; i < palette.size(); ++i)
            palette[i] = {std::uint8_t(i), fill, std::uint8_t(255 - i), 0};
        bitmap.SetPaletteEntries(palette);
    }
    TPicture picture;
    picture.Assign(std::move(bitmap));
    return picture;
}

std::uint8_t FirstByte(const TPicture& picture)
{
    return std::get<TBitmap>(picture.graphic()).ScanLine(0)[0];
}

}  // namespace

TEST(UndoHistory, UndoAndRedoWalkTheChangesExactly)
{
    TPictureDocument document;
    document.Replace(Picture(10, 1), TPictureDocument::TChange::Open);
    document.Replace(Picture(20, 2, TPixelFormat::pf8bit), TPictureDocument::TChange::ColourDepth);
    const auto eightBit = document.Shared();
    document.Replace(Picture(30, 3), TPictureDocument::TChange::Operation);
    // Save re-encodes the same pixels: no step of its own.
    document.Replace(Picture(30, 4), TPictureDocument::TChange::Save);

    ASSERT_TRUE(document.Undo());
    EXPECT_EQ(document.Shared(), eightBit);  // the very snapshot: format and palette as they were
    ASSERT_TRUE(document.Undo());
    EXPECT_EQ(FirstByte(document.Picture()), 1);
    EXPECT_FALSE(document.Undo());  // the empty window before the first picture is no step
    ASSERT_TRUE(document.Redo());
    EXPECT_EQ(document.Shared(), eightBit);
    ASSERT_TRUE(document.Redo());
    EXPECT_EQ(FirstByte(document.Picture()), 4);
    EXPECT_FALSE(document.Redo());

    // A new change after an undo ends the redo side.
    document.Undo();
    document.Replace(Picture(40, 5), TPictureDocument::TChange::New);
    EXPECT_FALSE(document.History().CanRedo());
    ASSERT_TRUE(document.Undo());
    EXPECT_EQ(document.Shared(), eightBit);
}

TEST(UndoHistory, StaysWithinItsLimit)
{
    // 24-bit pictures of 100 pixels: 300 bytes a step.
    struct TCase {
        std::size_t limit;
        int changes;
        std::size_t kept;
        TUndoHistory::TLoss loss;
    } const cases[] = {
        {3000, 5, 5, TUndoHistory::TLoss::None},
        {1000, 5, 3, TUndoHistory::TLoss::Dropped},
        {299, 5, 0, TUndoHistory::TLoss::NotKept},
    };
    for (const TCase& c : cases) {
        TUndoHistory history(c.limit);
        for (int i = 0; i < c.changes; ++i) {
            history.Record(std::make_shared<const TPicture>(Picture(100, std::uint8_t(i))));
            EXPECT_LE(history.Bytes(), c.limit);
        }
        EXPECT_EQ(history.UndoCount(), c.kept) << c.limit;
        EXPECT_EQ(history.Loss(), c.loss) << c.limit;
        // The most recent steps are the ones kept, newest first.
        auto current = std::make_shared<const TPicture>(Picture(100, 99));
        for (std::size_t k = 0; k < c.kept; ++k) {
            current = history.Undo(current);
            ASSERT_TRUE(current);
            EXPECT_EQ(FirstByte(*current), c.changes - 1 - int(k));
            EXPECT_LE(history.Bytes(), c.limit);
        }
        EXPECT_FALSE(history.Undo(current));
    }
}

TEST(UndoHistory, DefaultLimitIsAtMostOneGiB)
{
    EXPECT_GT(TUndoHistory::DefaultLimit(), 0u);
    EXPECT_LE(TUndoHistory::DefaultLimit(), std::size_t(1) << 30);
}

TEST(UndoHistory, WindowItemsFollowTheHistory)
{
    TKadrimexMainForm form;
    form.Document->ResetHistory(1000);
    EXPECT_FALSE(form.UndoMenuItem->isEnabled());
    EXPECT_FALSE(form.RedoButton->isEnabled());
    form.Document->Replace(Picture(100, 1), TPictureDocument::TChange::Open);
    form.Document->Replace(Picture(100, 2), TPictureDocument::TChange::Operation);
    EXPECT_TRUE(form.UndoButton->isEnabled());
    form.UndoMenuItemClick();
    EXPECT_EQ(FirstByte(form.Document->Picture()), 1);
    EXPECT_TRUE(form.RedoMenuItem->isEnabled());
    EXPECT_FALSE(form.UndoMenuItem->isEnabled());
    EXPECT_EQ(form.UndoMenuItem->toolTip(), QStringLiteral("Undo"));

    // A picture larger than the whole history is applied; Undo says the
    // step before it could not be kept.
    form.Document->Replace(Picture(1000, 3), TPictureDocument::TChange::Operation);
    form.Document->Replace(Picture(10, 4), TPictureDocument::TChange::Operation);
    EXPECT_EQ(FirstByte(form.Document->Picture()), 4);
    EXPECT_FALSE(form.UndoMenuItem->isEnabled());
    EXPECT_TRUE(form.UndoButton->toolTip().contains(QStringLiteral("could not be kept"))) << form.UndoButton->toolTip().toStdString();
}
