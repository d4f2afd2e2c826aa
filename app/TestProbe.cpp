// The real-input GUI test's probe: what the editor reports on standard
// output when KADRIMEX_TEST_PROBE is set.
#include "app/TestProbe.h"

#include "engine/Graphic.h"

#include <QEvent>
#include <QTimer>
#include <QWidget>

#include <cstdint>
#include <cstdio>
#include <variant>

namespace {

void ProbeGeometry(const QWidget& window)
{
    TestProbe(QStringLiteral("window %1").arg(window.winId()));
    for (const QWidget* widget : window.findChildren<QWidget*>()) {
        if (widget->objectName().isEmpty() || !widget->isVisible() || widget->window() != &window)
            continue;
        const QPoint origin = widget->mapToGlobal(QPoint(0, 0));
        TestProbe(QStringLiteral("geometry %1 %2 %3 %4 %5")
                      .arg(widget->objectName())
                      .arg(origin.x())
                      .arg(origin.y())
                      .arg(widget->width())
                      .arg(widget->height()));
    }
}

// Installed on the window it reports on; lets every event through.
class TGeometryWatcher : public QObject {
public:
    explicit TGeometryWatcher(QWidget* window) : QObject(window), FWindow(window) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        const QEvent::Type type = event->type();
        if (watched == FWindow && (type == QEvent::Show || type == QEvent::Move || type == QEvent::Resize))
            QTimer::singleShot(0, FWindow, [window = FWindow] { ProbeGeometry(*window); });
        return QObject::eventFilter(watched, event);
    }

private:
    QWidget* FWindow;
};

}  // namespace

bool TestProbeOn()
{
    static const bool on = qEnvironmentVariableIsSet("KADRIMEX_TEST_PROBE");
    return on;
}

void TestProbe(const QString& line)
{
    if (!TestProbeOn())
        return;
    std::fputs(line.toUtf8().append('\n').constData(), stdout);
    std::fflush(stdout);
}

void ProbePicture(const kadrimex::TPicture& picture)
{
    if (!TestProbeOn())
        return;
    // FNV-1a over what the picture holds: the bitmap's format, rows and
    // palette, or the compressed bytes of a JPEG or an icon.
    quint64 hash = 14695981039346656037ull;
    auto add = [&hash](const std::uint8_t* data, std::size_t size) {
        for (std::size_t i = 0; i < size; ++i)
            hash = (hash ^ data[i]) * 1099511628211ull;
    };
    if (const auto* bitmap = std::get_if<kadrimex::TBitmap>(&picture.graphic())) {
        const auto format = std::uint8_t(bitmap->PixelFormat());
        add(&format, 1);
        for (int y = 0; y < bitmap->Height(); ++y)
            add(bitmap->ScanLine(y), bitmap->Stride());
        add(reinterpret_cast<const std::uint8_t*>(bitmap->Palette().data()),
            bitmap->Palette().size() * sizeof(kadrimex::TPaletteEntry));
    } else if (const auto* jpeg = std::get_if<kadrimex::TJPEGImage>(&picture.graphic())) {
        add(jpeg->Data().data(), jpeg->Data().size());
    } else if (const auto* icon = std::get_if<kadrimex::TIcon>(&picture.graphic())) {
        add(icon->Data().data(), icon->Data().size());
    }
    TestProbe(QStringLiteral("picture %1 %2 %3 %4")
                  .arg(QString::fromStdString(picture.GraphicClassName()))
                  .arg(picture.Width())
                  .arg(picture.Height())
                  .arg(hash, 16, 16, QLatin1Char('0')));
}

void WatchGeometry(QWidget* window)
{
    if (TestProbeOn())
        window->installEventFilter(new TGeometryWatcher(window));
}
