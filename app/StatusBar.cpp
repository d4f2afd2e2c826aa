// The status bar: the text panel, the progress gauge panel and the pixel
// readout; a left click on it emits clicked().
#include "app/StatusBar.h"

#include "app/ProgressGauge.h"
#include "app/TestProbe.h"

#include <QMouseEvent>
#include <QPainter>

namespace {

class TProgressPanel : public QWidget {
public:
    explicit TProgressPanel(TMainStatusBar* bar) : QWidget(bar), FBar(bar)
    {
        setObjectName(QStringLiteral("ProgressPanel"));
        setFixedWidth(50);
        setAttribute(Qt::WA_OpaquePaintEvent);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        long double percent = 0;
        const bool running = FBar->GaugeState && FBar->GaugeState(percent);
        QPainter painter(this);
        painter.drawImage(0, 0, kadrimex::ui::PaintProgressGauge(size(), window()->font(), running, percent));
    }

private:
    TMainStatusBar* FBar;
};

}  // namespace

TMainStatusBar::TMainStatusBar(QWidget* parent) : QStatusBar(parent)
{
    setSizeGripEnabled(true);
    Panel0 = new QLabel(this);
    Panel0->setObjectName(QStringLiteral("StatusPanel0"));
    Panel0->setFixedWidth(250);
    addWidget(Panel0);
    Panel1 = new TProgressPanel(this);
    addWidget(Panel1);
    // Wide enough for "65535, 65535: R 255 G 255 B 255, index 255", so the
    // panels beside it never move.
    ReadoutPanel = new QLabel(this);
    ReadoutPanel->setObjectName(QStringLiteral("ReadoutPanel"));
    ReadoutPanel->setMinimumWidth(ReadoutPanel->fontMetrics().horizontalAdvance(
                                      QStringLiteral("65535, 65535: R 255 G 255 B 255, index 255")) +
                                  8);
    addWidget(ReadoutPanel);
}

void TMainStatusBar::SetReadout(const QString& text)
{
    if (text == ReadoutPanel->text())
        return;
    ReadoutPanel->setText(text);
    TestProbe(QStringLiteral("readout ") + text);
}

void TMainStatusBar::SetPanelText(const QString& text)
{
    Panel0->setText(text);
    TestProbe(QStringLiteral("status ") + text);
}

QString TMainStatusBar::PanelText() const
{
    return Panel0->text();
}

void TMainStatusBar::mousePressEvent(QMouseEvent* event)
{
    event->accept();
}

void TMainStatusBar::mouseReleaseEvent(QMouseEvent* event)
{
    event->accept();
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        emit clicked();
}
