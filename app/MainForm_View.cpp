// The view of the main window: zoom (box, buttons, wheel, pinch, fit), the
// tool panel's cursors, hand-tool dragging with the borderless view, the
// pixel readout, the histogram window and the About box.
#include "app/AboutForm.h"
#include "app/Cursors.h"
#include "app/MainForm.h"
#include "app/PictureDocument.h"
#include "app/ViewMath.h"
#include "app/WorkImage.h"
#include "tonal/ui/HistogramForm.h"

#include <QApplication>
#include <QCursor>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QNativeGestureEvent>
#include <QScrollBar>
#include <QWheelEvent>

#include <cmath>

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

// One notch of a mouse wheel, in eighths of a degree.
constexpr int kWheelNotch = 120;

// The wheel and the touchpad pinch over the picture and the grey around it.
// The wheel scrolls vertically, with Shift horizontally, with Ctrl it zooms
// about the mouse. The scroll box's own handling is bypassed: it would turn
// Shift into page steps.
class TViewInput : public QObject {
public:
    explicit TViewInput(TKadrimexMainForm* form) : QObject(form), FForm(form) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        auto* widget = qobject_cast<QWidget*>(watched);
        if (!widget)
            return false;
        QWidget* viewport = FForm->MainScrollBox->viewport();
        if (event->type() == QEvent::Wheel) {
            auto* wheel = static_cast<QWheelEvent*>(event);
            Wheel(*wheel, widget->mapTo(viewport, wheel->position()));
            // Accepted, or the toolkit hands it on to the viewport too.
            wheel->accept();
            return true;
        }
        if (event->type() == QEvent::NativeGesture) {
            auto* gesture = static_cast<QNativeGestureEvent*>(event);
            if (gesture->gestureType() == Qt::BeginNativeGesture || gesture->gestureType() == Qt::EndNativeGesture)
                FPinch = 0;
            if (gesture->gestureType() != Qt::ZoomNativeGesture)
                return false;
            // The gesture reports each change of scale. The zoom follows
            // the nearest doubling of the fingers' spread since the gesture
            // began: FPinch is the spread in doublings, less the steps taken.
            FPinch += std::log2(1 + gesture->value());
            const QPointF at = widget->mapTo(viewport, gesture->position());
            for (; FPinch >= 0.5; FPinch -= 1)
                FForm->ZoomAbout(1, at);
            for (; FPinch <= -0.5; FPinch += 1)
                FForm->ZoomAbout(-1, at);
            gesture->accept();
            return true;
        }
        return false;
    }

private:
    void Wheel(const QWheelEvent& wheel, QPointF at)
    {
        const QPoint angle = wheel.angleDelta();
        if (wheel.modifiers() & Qt::ControlModifier) {
            // Notches add up, so a fine-grained wheel zooms once per notch.
            FNotches += angle.y() != 0 ? angle.y() : angle.x();
            for (; FNotches >= kWheelNotch; FNotches -= kWheelNotch)
                FForm->ZoomAbout(1, at);
            for (; FNotches <= -kWheelNotch; FNotches += kWheelNotch)
                FForm->ZoomAbout(-1, at);
            return;
        }
        QScrollBar* horizontal = FForm->MainScrollBox->horizontalScrollBar();
        QScrollBar* vertical = FForm->MainScrollBox->verticalScrollBar();
        // Pixels where the device gives them (touchpads), else the desktop's
        // lines a notch, a line being the scroll bar's step.
        const QPoint pixels = wheel.pixelDelta();
        const auto distance = [&](int pixelDelta, int angleDelta, const QScrollBar* bar) {
            if (!pixels.isNull())
                return pixelDelta;
            return angleDelta * QApplication::wheelScrollLines() * bar->singleStep() / kWheelNotch;
        };
        if (wheel.modifiers() & Qt::ShiftModifier) {
            const bool upright = angle.y() != 0;
            horizontal->setValue(horizontal->value() - distance(upright ? pixels.y() : pixels.x(),
                                                                upright ? angle.y() : angle.x(), horizontal));
            return;
        }
        vertical->setValue(vertical->value() - distance(pixels.y(), angle.y(), vertical));
        horizontal->setValue(horizontal->value() - distance(pixels.x(), angle.x(), horizontal));
    }

    TKadrimexMainForm* FForm;
    int FNotches = 0;
    qreal FPinch = 0;
};

}  // namespace

void TKadrimexMainForm::FormCreate()
{
    ui::RegisterCursor(ui::crHandOpen, "HandOpenCursor", kHandHotSpot);
    ui::RegisterCursor(ui::crHandClosed, "HandClosedCursor", kHandHotSpot);

    // The picture control passes neither the wheel nor gestures on by
    // itself, so both it and the grey viewport are watched.
    auto* input = new TViewInput(this);
    WorkImage->installEventFilter(input);
    MainScrollBox->viewport()->installEventFilter(input);

    connect(WorkImage, &TWorkImage::MouseLeft, this, [this] { MainStatusBar->SetReadout({}); });
    connect(Document, &TPictureDocument::Changed, this, [this] {
        UpdateReadout();
        if (FHistogramForm && FHistogramForm->isVisible())
            FHistogramForm->SetPicture(Document->Shared());
    });
}

void TKadrimexMainForm::AddViewMenuItems(QMenu* viewMenu)
{
    // Ctrl+0 fits and Ctrl+Alt+0 shows actual pixels, as image programs
    // on the desktop have them; the toolkit has no standard key for either.
    FitToWindowMenuItem = viewMenu->addAction(QStringLiteral("Fit to window"));
    FitToWindowMenuItem->setObjectName(QStringLiteral("FitToWindowMenuItem"));
    FitToWindowMenuItem->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_0));
    connect(FitToWindowMenuItem, &QAction::triggered, this, &TKadrimexMainForm::FitToWindowClick);
    ActualSizeMenuItem = viewMenu->addAction(QStringLiteral("100 %"));
    ActualSizeMenuItem->setObjectName(QStringLiteral("ActualSizeMenuItem"));
    ActualSizeMenuItem->setShortcut(QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_0));
    connect(ActualSizeMenuItem, &QAction::triggered, this, &TKadrimexMainForm::NormZoomButtonClick);
    viewMenu->addSeparator();
    HistogramMenuItem = viewMenu->addAction(QStringLiteral("Histogram"));
    HistogramMenuItem->setObjectName(QStringLiteral("HistogramMenuItem"));
    HistogramMenuItem->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_H));
    connect(HistogramMenuItem, &QAction::triggered, this, &TKadrimexMainForm::HistogramMenuItemClick);
}

void TKadrimexMainForm::FormShow()
{
    FunctionSpeedButtonClick();
}

void TKadrimexMainForm::ApplyZoom()
{
    // In device pixels: at 100 % one picture pixel covers one screen pixel.
    // The scroll box follows the control's size with its scroll ranges.
    const QSize shown = view::ZoomedSize(WorkImage->PictureSize(), ZoomComboBox->currentText());
    WorkImage->SetShownSize(shown);
    TestProbe(QStringLiteral("zoom %1 %2 %3").arg(ZoomComboBox->currentText()).arg(shown.width()).arg(shown.height()));
    UpdateReadout();
}

void TKadrimexMainForm::FitToWindowClick()
{
    // The viewport without scroll bars, which a fitting picture needs none of.
    const QSize client = MainScrollBox->maximumViewportSize() * WorkImage->devicePixelRatioF();
    ZoomComboBox->setEditText(QString::number(view::FitPercent(WorkImage->PictureSize(), client)));
    ApplyZoom();
}

void TKadrimexMainForm::ZoomAbout(int steps, QPointF at)
{
    QScrollBar* horizontal = MainScrollBox->horizontalScrollBar();
    QScrollBar* vertical = MainScrollBox->verticalScrollBar();
    for (; steps != 0; steps += steps > 0 ? -1 : 1) {
        const QSize before = WorkImage->ShownSize();
        const QPoint scroll(horizontal->value(), vertical->value());
        if (steps > 0)
            ZoomInButtonClick();
        else
            ZoomOutButtonClick();
        const QPoint next = view::ZoomScroll(scroll, at, before, WorkImage->ShownSize());
        horizontal->setValue(next.x());
        vertical->setValue(next.y());
    }
    UpdateReadout();
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
    ShowReadoutAt(event->position());
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

void TKadrimexMainForm::HistogramMenuItemClick()
{
    if (FHistogramForm) {
        FHistogramForm->show();
        FHistogramForm->raise();
        FHistogramForm->SetPicture(Document->Shared());
        return;
    }
    FHistogramForm = new THistogramForm(this);
    connect(FHistogramForm, &THistogramForm::Plotted, this, [this] {
                // The probe reports, per channel, how many levels occur and
                // their mean (in thousandths).
                QStringList counts, means;
                for (const kadrimex::THistogram& channel : FHistogramForm->Histograms()) {
                    int levels = 0;
                    long double mean = 0;
                    for (int v = 0; v < 256; ++v) {
                        levels += channel[std::size_t(v)] > 0;
                        mean += v * channel[std::size_t(v)];
                    }
                    counts << QString::number(levels);
                    means << QString::number(std::llround(mean * 1000));
                }
                TestProbe(QStringLiteral("histogram levels %1 mean %2").arg(counts.join(u' '), means.join(u' ')));
    });
    HistogramMenuItemClick();
}

void TKadrimexMainForm::UpdateReadout()
{
    if (!WorkImage->underMouse()) {
        MainStatusBar->SetReadout({});
        return;
    }
    ShowReadoutAt(WorkImage->mapFromGlobal(QCursor::pos().toPointF()));
}

void TKadrimexMainForm::ShowReadoutAt(QPointF position)
{
    // Only the part of the control inside the viewport is under the mouse.
    const QPointF inViewport = WorkImage->mapTo(MainScrollBox->viewport(), position);
    const auto pixel = QRectF(MainScrollBox->viewport()->rect()).contains(inViewport) ? WorkImage->PixelAt(position)
                                                                                 : std::nullopt;
    MainStatusBar->SetReadout(pixel ? view::ReadoutText(WorkImage->DisplayImage(), *pixel) : QString());
}
