// The view of the main window: zoom, the tool panel's cursors, hand-tool
// dragging with the borderless view, and the About box.
#include "app/AboutForm.h"
#include "app/Cursors.h"
#include "app/MainForm.h"
#include "app/ViewMath.h"
#include "app/WorkImage.h"

#include <QApplication>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QScrollBar>

using namespace kadrimex;

namespace {

// The hot spot of both hand cursors (see resources/cursors/make_cursors.py).
constexpr QPoint kHandHotSpot(15, 15);

// Takes the closed hand off the screen, however often it was put there.
void RestoreScreenCursor()
{
    while (QGuiApplication::overrideCursor() != nullptr)
        QGuiApplication::restoreOverrideCursor();
}

}  // namespace

void TKadrimexMainForm::FormCreate()
{
    ui::RegisterCursor(ui::crHandOpen, "HandOpenCursor", kHandHotSpot);
    ui::RegisterCursor(ui::crHandClosed, "HandClosedCursor", kHandHotSpot);
}

void TKadrimexMainForm::FormShow()
{
    FunctionSpeedButtonClick();
}

void TKadrimexMainForm::ApplyZoom()
{
    const QSize size = view::ZoomedSize(WorkImage->PictureSize(), ZoomComboBox->currentText());
    // The scroll box follows the control's size with its scroll ranges.
    WorkImage->resize(size);
}

bool TKadrimexMainForm::ZoomComboBoxKeyPress(int key)
{
    if (key != Qt::Key_Return && key != Qt::Key_Enter)
        return false;
    ApplyZoom();
    return true;
}

void TKadrimexMainForm::ZoomInButtonClick()
{
    ZoomComboBox->setEditText(view::ZoomInText(ZoomComboBox->currentText()));
    ApplyZoom();
}

void TKadrimexMainForm::ZoomOutButtonClick()
{
    if (const auto text = view::ZoomOutText(ZoomComboBox->currentText())) {
        ZoomComboBox->setEditText(*text);
        ApplyZoom();
    }
}

void TKadrimexMainForm::NormZoomButtonClick()
{
    ZoomComboBox->setEditText(QStringLiteral("100"));
    ApplyZoom();
}

void TKadrimexMainForm::FunctionSpeedButtonClick()
{
    if (HandSpeedButton->isChecked())
        WorkImage->setCursor(ui::ScreenCursor(ui::crHandOpen));
    else if (DrawSpeedButton->isChecked())
        WorkImage->setCursor(Qt::CrossCursor);
    else
        WorkImage->setCursor(Qt::ArrowCursor);
}

void TKadrimexMainForm::MainScrollBoxMouseDown(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return;
    FDragging = true;
    FDragStart = event->position().toPoint();
    if (HandSpeedButton->isChecked()) {
        if (QGuiApplication::overrideCursor() != nullptr)
            QGuiApplication::changeOverrideCursor(ui::ScreenCursor(ui::crHandClosed));
        else
            QGuiApplication::setOverrideCursor(ui::ScreenCursor(ui::crHandClosed));
        // Show the closed hand at once; input waits for the drag handlers.
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    }
}

void TKadrimexMainForm::MainScrollBoxMouseMove(QMouseEvent* event)
{
    if (!FDragging || !HandSpeedButton->isChecked())
        return;
    const QPoint delta = event->position().toPoint() - FDragStart;
    const QPoint step = view::ClampDrag(delta, WorkImage->geometry(), MainScrollBox->viewport()->size());
    // Moving the scroll bars moves the control: its left edge becomes
    // -position, so the grab point stays under the mouse.
    QScrollBar* horizontal = MainScrollBox->horizontalScrollBar();
    QScrollBar* vertical = MainScrollBox->verticalScrollBar();
    horizontal->setValue(-(WorkImage->x() + step.x()));
    vertical->setValue(-(WorkImage->y() + step.y()));
}

void TKadrimexMainForm::MainScrollBoxMouseUp(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) {
        FDragging = false;
        RestoreScreenCursor();
        if (!HandSpeedButton->isChecked() && !DrawSpeedButton->isChecked())
            WorkImage->setCursor(Qt::ArrowCursor);
        return;
    }
    // A right click while the left button holds the picture toggles the
    // borderless view. A drag whose release went astray (the window was
    // re-created) does not count: the left button must still be down.
    if (event->button() == Qt::RightButton && HandSpeedButton->isChecked() && FDragging &&
        (event->buttons() & Qt::LeftButton))
        ToggleBorderlessView();
}

void TKadrimexMainForm::ToggleBorderlessView()
{
    if (!(windowFlags() & Qt::FramelessWindowHint)) {
        FSavedWindowState = windowState();
        FSavedBounds = geometry();
        // Changing the flags hides the window; show it again, maximised.
        setWindowFlag(Qt::FramelessWindowHint, true);
        if (FSavedWindowState & Qt::WindowMaximized)
            show();
        else
            showMaximized();
    } else {
        setWindowFlag(Qt::FramelessWindowHint, false);
        setWindowState(FSavedWindowState);
        if (!(FSavedWindowState & (Qt::WindowMaximized | Qt::WindowFullScreen)))
            setGeometry(FSavedBounds);
        show();
    }
}

void TKadrimexMainForm::AboutSpeedButtonClick()
{
    RunDialog(Dialog<TAboutForm>());
}
