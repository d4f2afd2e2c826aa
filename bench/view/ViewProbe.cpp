// Opens the editor's main window on a picture at a zoom, scrolls to the
// middle, repaints the picture control for a number of seconds (dragging the
// picture about with the hand tool) and prints the process's peak and
// current resident memory from /proc/self/status.
//
//   view_probe PICTURE ZOOM SECONDS [--about]
//
// With --about the About box is shown over the window (for screenshots).
#include "app/AboutForm.h"
#include "app/MainForm.h"
#include "app/WorkImage.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QMouseEvent>
#include <QScrollBar>

#include <cstdio>
#include <exception>
#include <fstream>
#include <string>

namespace {

// One value of /proc/self/status (read with a plain stream: procfs files
// report a size of 0, which QFile takes for an empty file).
QString StatusLine(const char* key)
{
    std::ifstream status("/proc/self/status");
    std::string line;
    const std::string prefix = std::string(key) + ":";
    while (std::getline(status, line)) {
        if (line.rfind(prefix, 0) == 0)
            return QString::fromStdString(line.substr(prefix.size())).trimmed();
    }
    return QStringLiteral("?");
}

void SendMouse(QWidget* target, QEvent::Type type, QPoint at, Qt::MouseButton button, Qt::MouseButtons buttons)
{
    QMouseEvent event(type, QPointF(at), target->mapToGlobal(QPointF(at)), button, buttons, Qt::NoModifier);
    QApplication::sendEvent(target, &event);
}

}  // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    if (argc < 4) {
        std::fprintf(stderr, "usage: view_probe PICTURE ZOOM SECONDS [--about]\n");
        return 2;
    }
    const std::string path = argv[1];
    const QString zoom = QString::fromLocal8Bit(argv[2]);
    const double seconds = std::atof(argv[3]);
    const bool about = argc > 4 && std::string(argv[4]) == "--about";

    TKadrimexMainForm form;
    try {
        form.WorkImage->SetPicture(kadrimex::TPicture::LoadFromFile(path));
    } catch (const std::exception& e) {
        std::fprintf(stderr, "view_probe: %s\n", e.what());
        return 1;
    }
    form.ZoomComboBox->setEditText(zoom);
    form.ApplyZoom();
    form.show();
    QApplication::processEvents();
    const QString before = StatusLine("VmHWM");

    // Start in the middle of the picture.
    QScrollBar* h = form.MainScrollBox->horizontalScrollBar();
    QScrollBar* v = form.MainScrollBox->verticalScrollBar();
    h->setValue(h->maximum() / 2);
    v->setValue(v->maximum() / 2);

    TAboutForm* aboutForm = nullptr;
    if (about) {
        aboutForm = &form.Dialog<TAboutForm>();
        aboutForm->show();
    }

    // Drag the picture about and repaint its visible part, frame after frame.
    QElapsedTimer clock;
    clock.start();
    long frames = 0;
    const QPoint grab(form.MainScrollBox->viewport()->width() / 2, form.MainScrollBox->viewport()->height() / 2);
    while (clock.elapsed() < seconds * 1000) {
        QWidget* image = form.WorkImage;
        const QPoint start = image->mapFrom(form.MainScrollBox->viewport(), grab);
        SendMouse(image, QEvent::MouseButtonPress, start, Qt::LeftButton, Qt::LeftButton);
        const int step = (frames % 2 == 0) ? 37 : -37;
        SendMouse(image, QEvent::MouseMove, start + QPoint(step, step / 2), Qt::NoButton, Qt::LeftButton);
        SendMouse(image, QEvent::MouseButtonRelease, start + QPoint(step, step / 2), Qt::LeftButton, Qt::NoButton);
        form.WorkImage->repaint();
        QApplication::processEvents();
        ++frames;
    }
    const double elapsed = clock.elapsed() / 1000.0;
    std::printf("picture %s zoom %s control %dx%d frames %ld (%.1f ms/frame) VmHWM-before %s VmHWM %s VmRSS %s\n",
                path.c_str(), qPrintable(zoom), form.WorkImage->width(), form.WorkImage->height(), frames,
                frames ? elapsed * 1000 / frames : 0.0, qPrintable(before), qPrintable(StatusLine("VmHWM")),
                qPrintable(StatusLine("VmRSS")));
    std::fflush(stdout);
    return 0;
}
