// The view in the main window, offscreen: the zoom box and buttons, the
// tool panel's cursors, hand-tool dragging with its clamping, the
// borderless toggle, the About box and the toolbar glyphs.
#include "app/AboutForm.h"
#include "app/Cursors.h"
#include "app/MainForm.h"
#include "app/PictureDocument.h"
#include "app/WorkImage.h"

#include <QApplication>
#include <QLineEdit>
#include <QMouseEvent>
#include <QNativeGestureEvent>
#include <QPointingDevice>
#include <QPushButton>
#include <QScrollBar>
#include <QSet>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

using kadrimex::TBitmap;
using kadrimex::TPicture;
using kadrimex::TPixelFormat;

namespace {

TPicture Picture(int width, int height)
{
    TBitmap bitmap;
    bitmap.Reset(width, height, TPixelFormat::pf24bit);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < 3 * width; ++x)
            bitmap.ScanLine(y)[x] = std::uint8_t(x * 7 + y * 3);
    TPicture picture;
    picture.Assign(std::move(bitmap));
    return picture;
}

class ViewWindow : public ::testing::Test {
protected:
    void SetUp() override
    {
        FForm = std::make_unique<TKadrimexMainForm>();
        FForm->resize(640, 480);
        FForm->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(FForm.get()));
    }
    void TearDown() override
    {
        while (QGuiApplication::overrideCursor() != nullptr)
            QGuiApplication::restoreOverrideCursor();
    }

    void Show(int width, int height, const QString& zoom = QStringLiteral("100"))
    {
        FForm->Document->Replace(Picture(width, height));
        FForm->ZoomComboBox->setEditText(zoom);
        FForm->ApplyZoom();
        QApplication::processEvents();
    }

    // Types into the zoom box and presses Enter there.
    void TypeZoom(const QString& text)
    {
        QLineEdit* edit = FForm->ZoomComboBox->lineEdit();
        edit->clear();
        QTest::keyClicks(edit, text);
        QTest::keyClick(edit, Qt::Key_Return);
    }

    QWidget* Viewport() const { return FForm->MainScrollBox->viewport(); }

    // A mouse event on the picture at a point given in viewport
    // coordinates (where the mouse is on the screen), mapped to the
    // picture control as it lies now.
    void Mouse(QEvent::Type type, QPoint inViewport, Qt::MouseButton button, Qt::MouseButtons buttons)
    {
        QWidget* image = FForm->WorkImage;
        const QPointF local = QPointF(image->mapFrom(Viewport(), inViewport));
        QMouseEvent event(type, local, image->mapToGlobal(local), button, buttons, Qt::NoModifier);
        QApplication::sendEvent(image, &event);
    }

    QPoint ScrollPosition() const
    {
        return {FForm->MainScrollBox->horizontalScrollBar()->value(), FForm->MainScrollBox->verticalScrollBar()->value()};
    }

    std::unique_ptr<TKadrimexMainForm> FForm;
};

}  // namespace

// The text rules and the sizes they give are ViewMath's; here the box, its
// keys and the scroll ranges.
TEST_F(ViewWindow, EnterInTheZoomBoxAppliesItsText)
{
    Show(400, 200);
    TypeZoom("-50");
    EXPECT_EQ(FForm->WorkImage->size(), QSize(200, 100));
    EXPECT_EQ(FForm->ZoomComboBox->currentText(), "-50");
    TypeZoom("300");
    EXPECT_EQ(FForm->WorkImage->size(), QSize(1200, 600));
    // The scroll ranges follow the control.
    EXPECT_EQ(FForm->MainScrollBox->horizontalScrollBar()->maximum(), 1200 - Viewport()->width());
    EXPECT_EQ(FForm->MainScrollBox->verticalScrollBar()->maximum(), 600 - Viewport()->height());

    // Other keys reach the box and apply nothing; Enter is swallowed.
    QTest::keyClicks(FForm->ZoomComboBox->lineEdit(), "0");
    EXPECT_EQ(FForm->ZoomComboBox->currentText(), "3000");
    EXPECT_EQ(FForm->WorkImage->size(), QSize(1200, 600));
    EXPECT_FALSE(FForm->ZoomComboBoxKeyPress(Qt::Key_A));
    EXPECT_TRUE(FForm->ZoomComboBoxKeyPress(Qt::Key_Enter));
    EXPECT_EQ(FForm->WorkImage->size(), QSize(12000, 6000));
    EXPECT_EQ(FForm->ZoomComboBox->count(), 13);
}

TEST_F(ViewWindow, ZoomButtonsFollowTheirTextRules)
{
    Show(40, 30);
    const struct {
        const char* typed;  // nullptr: go on from the last step
        QAbstractButton* button;
        const char* text;
        QSize size;
    } steps[] = {{"30000", FForm->ZoomInButton, "50000", {20000, 15000}},
                 {nullptr, FForm->ZoomOutButton, "25000", {10000, 7500}},
                 {nullptr, FForm->NormZoomButton, "100", {40, 30}}};
    for (const auto& step : steps) {
        if (step.typed)
            FForm->ZoomComboBox->setEditText(step.typed);
        step.button->click();
        EXPECT_EQ(FForm->ZoomComboBox->currentText(), step.text) << step.button->objectName().toStdString();
        EXPECT_EQ(FForm->WorkImage->size(), step.size) << step.button->objectName().toStdString();
    }
    // The menu items run the same handlers.
    FForm->ZoomInMenuItem->trigger();
    EXPECT_EQ(FForm->ZoomComboBox->currentText(), "200");
    FForm->View11MenuItem->trigger();
    EXPECT_EQ(FForm->ZoomComboBox->currentText(), "100");
}

TEST_F(ViewWindow, ToolButtonsSetTheCursorAndOnlyTheHandDrags)
{
    // FormShow ran on the first show: the hand tool's open hand is shown.
    ASSERT_TRUE(FForm->HandSpeedButton->isChecked());
    EXPECT_EQ(FForm->WorkImage->cursor().shape(), Qt::BitmapCursor);
    EXPECT_EQ(FForm->WorkImage->cursor().hotSpot(), QPoint(15, 15));
    EXPECT_EQ(FForm->WorkImage->cursor().pixmap().size(), QSize(32, 32));
    EXPECT_EQ(kadrimex::ui::ScreenCursor(kadrimex::ui::crHandClosed).shape(), Qt::BitmapCursor);

    Show(2000, 1500);
    for (const auto& [button, shape] : {std::pair<QAbstractButton*, Qt::CursorShape>{FForm->DrawSpeedButton, Qt::CrossCursor},
                                        {FForm->SpeedButton4, Qt::ArrowCursor}}) {
        button->click();
        EXPECT_TRUE(button->isChecked());
        EXPECT_FALSE(FForm->HandSpeedButton->isChecked());
        EXPECT_EQ(FForm->WorkImage->cursor().shape(), shape);
        Mouse(QEvent::MouseButtonPress, QPoint(200, 150), Qt::LeftButton, Qt::LeftButton);
        EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
        Mouse(QEvent::MouseMove, QPoint(100, 100), Qt::NoButton, Qt::LeftButton);
        EXPECT_EQ(ScrollPosition(), QPoint(0, 0));
        Mouse(QEvent::MouseButtonRelease, QPoint(100, 100), Qt::LeftButton, Qt::NoButton);
        EXPECT_EQ(FForm->WorkImage->cursor().shape(), shape);
    }
    FForm->HandSpeedButton->click();
    EXPECT_EQ(FForm->WorkImage->cursor().shape(), Qt::BitmapCursor);
}

TEST_F(ViewWindow, HandDragScrollsWithinThePicture)
{
    Show(2000, 1500);
    const QSize client = Viewport()->size();
    ASSERT_LT(client.width(), 2000);
    ASSERT_LT(client.height(), 1500);
    const QPoint grab(200, 150);
    Mouse(QEvent::MouseButtonPress, grab, Qt::LeftButton, Qt::LeftButton);
    EXPECT_TRUE(FForm->FDragging);
    ASSERT_NE(QGuiApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QGuiApplication::overrideCursor()->shape(), Qt::BitmapCursor);

    // Right or down from the origin: nothing moves.
    Mouse(QEvent::MouseMove, grab + QPoint(40, 30), Qt::NoButton, Qt::LeftButton);
    EXPECT_EQ(ScrollPosition(), QPoint(0, 0));
    // Left and up: the picture follows the mouse.
    Mouse(QEvent::MouseMove, grab - QPoint(50, 40), Qt::NoButton, Qt::LeftButton);
    EXPECT_EQ(ScrollPosition(), QPoint(50, 40));
    EXPECT_EQ(FForm->WorkImage->pos(), QPoint(-50, -40));
    // The grab point stays under the mouse: moving on adds to the scroll.
    Mouse(QEvent::MouseMove, grab - QPoint(70, 45), Qt::NoButton, Qt::LeftButton);
    EXPECT_EQ(ScrollPosition(), QPoint(70, 45));
    // Far beyond the right and bottom edges: they stop at the window's.
    Mouse(QEvent::MouseMove, grab - QPoint(5000, 5000), Qt::NoButton, Qt::LeftButton);
    EXPECT_EQ(ScrollPosition(), QPoint(2000 - client.width(), 1500 - client.height()));
    EXPECT_EQ(FForm->WorkImage->geometry().right() + 1, client.width());
    // And back past the origin.
    Mouse(QEvent::MouseMove, grab + QPoint(5000, 5000), Qt::NoButton, Qt::LeftButton);
    EXPECT_EQ(ScrollPosition(), QPoint(0, 0));

    Mouse(QEvent::MouseButtonRelease, grab, Qt::LeftButton, Qt::NoButton);
    EXPECT_FALSE(FForm->FDragging);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    // Moving without a drag does nothing.
    Mouse(QEvent::MouseMove, grab - QPoint(100, 100), Qt::NoButton, Qt::NoButton);
    EXPECT_EQ(ScrollPosition(), QPoint(0, 0));
}

TEST_F(ViewWindow, RightClickDuringADragTogglesTheBorderlessView)
{
    Show(2000, 1500);
    const QRect bounds = FForm->geometry();
    const Qt::WindowStates state = FForm->windowState();

    // Without a drag a right click does nothing.
    Mouse(QEvent::MouseButtonPress, QPoint(100, 100), Qt::RightButton, Qt::RightButton);
    Mouse(QEvent::MouseButtonRelease, QPoint(100, 100), Qt::RightButton, Qt::NoButton);
    EXPECT_FALSE(FForm->windowFlags() & Qt::FramelessWindowHint);
    EXPECT_EQ(FForm->windowState(), state);

    // With the left button holding the picture it removes the border.
    Mouse(QEvent::MouseButtonPress, QPoint(100, 100), Qt::LeftButton, Qt::LeftButton);
    Mouse(QEvent::MouseButtonPress, QPoint(100, 100), Qt::RightButton, Qt::LeftButton | Qt::RightButton);
    Mouse(QEvent::MouseButtonRelease, QPoint(100, 100), Qt::RightButton, Qt::LeftButton);
    QApplication::processEvents();
    EXPECT_TRUE(FForm->windowFlags() & Qt::FramelessWindowHint);
    EXPECT_TRUE(FForm->windowState() & Qt::WindowMaximized);
    EXPECT_TRUE(FForm->isVisible());
    EXPECT_EQ(FForm->FSavedBounds, bounds);
    EXPECT_EQ(FForm->FSavedWindowState, state);

    // Again during the same drag: the border and the rectangle come back.
    Mouse(QEvent::MouseButtonRelease, QPoint(100, 100), Qt::RightButton, Qt::LeftButton);
    QApplication::processEvents();
    EXPECT_FALSE(FForm->windowFlags() & Qt::FramelessWindowHint);
    EXPECT_FALSE(FForm->windowState() & Qt::WindowMaximized);
    EXPECT_TRUE(FForm->isVisible());
    EXPECT_EQ(FForm->geometry(), bounds);
    Mouse(QEvent::MouseButtonRelease, QPoint(100, 100), Qt::LeftButton, Qt::NoButton);

    // A drag whose left button is no longer down does not toggle.
    FForm->FDragging = true;
    Mouse(QEvent::MouseButtonRelease, QPoint(100, 100), Qt::RightButton, Qt::NoButton);
    EXPECT_FALSE(FForm->windowFlags() & Qt::FramelessWindowHint);
}

TEST_F(ViewWindow, AboutBoxShowsItsPictureAndClosesWithOk)
{
    TAboutForm* shown = nullptr;
    FForm->DialogRunner = [&](QDialog& dialog) {
        shown = qobject_cast<TAboutForm*>(&dialog);
        return int(QDialog::Accepted);
    };
    FForm->AboutSpeedButton->click();
    ASSERT_NE(shown, nullptr);

    // The picture fills its area: many colours, not the bare background.
    shown->show();
    const QImage picture = shown->AboutImage->grab().toImage();
    QSet<QRgb> colours;
    for (int y = 0; y < picture.height(); y += 4)
        for (int x = 0; x < picture.width(); x += 4)
            colours.insert(picture.pixel(x, y));
    EXPECT_GT(colours.size(), 50);

    shown->OKButton->click();
    EXPECT_EQ(shown->result(), QDialog::Accepted);
    EXPECT_FALSE(shown->isVisible());
}

TEST_F(ViewWindow, EveryButtonHasItsOwnGlyph)
{
    // The toolbar buttons and the tool panel's (not Qt's own toolbar
    // extension buttons, nor those of the file dialogs).
    QHash<QByteArray, QString> seen;
    for (const QToolButton* button : FForm->findChildren<QToolButton*>()) {
        const std::string name = button->objectName().toStdString();
        if (name.rfind("qt_", 0) == 0 || button->window() != FForm.get())
            continue;
        const QImage glyph = button->icon().pixmap(QSize(16, 16)).toImage().convertToFormat(QImage::Format_ARGB32);
        ASSERT_FALSE(glyph.isNull()) << name << " has no glyph";
        // Not blank: some pixels are drawn.
        int drawn = 0;
        for (int y = 0; y < glyph.height(); ++y)
            for (int x = 0; x < glyph.width(); ++x)
                drawn += qAlpha(glyph.pixel(x, y)) > 0;
        EXPECT_GT(drawn, 20) << name;
        const QByteArray pixels(reinterpret_cast<const char*>(glyph.constBits()), glyph.sizeInBytes());
        EXPECT_FALSE(seen.contains(pixels)) << name << " looks like " << qPrintable(seen.value(pixels));
        seen.insert(pixels, button->objectName());
    }
    EXPECT_GE(seen.size(), 32) << "the bands' and the tool panel's buttons";
}

TEST_F(ViewWindow, PinchZoomsAboutThePointUnderTheFingers)
{
    // X input under Xvfb has no touchpad gestures: the gesture is sent as
    // the platform would deliver it to the picture.
    Show(2000, 1500);
    const QPointF at(120, 90);  // where the fingers are, in the viewport
    auto pinch = [&](Qt::NativeGestureType type, qreal value) {
        const QPointF local = FForm->WorkImage->mapFrom(Viewport(), at);
        QNativeGestureEvent event(type, QPointingDevice::primaryPointingDevice(), 2, local, local,
                                  FForm->WorkImage->mapToGlobal(local), value, QPointF());
        QApplication::sendEvent(FForm->WorkImage, &event);
    };
    const struct {
        qreal value;  // the change of scale the gesture reports
        const char* zoom;
        QPoint scroll;
    } steps[] = {// The zoom follows the nearest doubling of the fingers' spread.
                 {0.2, "100", {0, 0}},      // spread 1.2: still nearest to 1
                 {0.5, "200", {120, 90}},   // 1.8: nearest to 2, about the fingers
                 {0.1, "200", {120, 90}},   // 1.98
                 {-0.3, "100", {0, 0}}};    // 1.39: nearest to 1 again, about the same point
    pinch(Qt::BeginNativeGesture, 0);
    for (const auto& step : steps) {
        pinch(Qt::ZoomNativeGesture, step.value);
        EXPECT_EQ(FForm->ZoomComboBox->currentText(), step.zoom) << step.value;
        EXPECT_EQ(ScrollPosition(), step.scroll) << step.value;
    }
    pinch(Qt::EndNativeGesture, 0);
}
