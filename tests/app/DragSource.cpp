// A window that starts a drag of one file when the mouse is pressed on it,
// for the real-window drop checks: the file goes as a text/uri-list URL,
// as a file manager offers it. It sits in the screen's bottom-right corner,
// prints "geometry X Y WIDTH HEIGHT" once shown and "dropped ACTION" (the
// drop action's number, 0 when the target ignored it) when the drag ends,
// then quits three seconds later.
//
// Usage: drag_source FILE
#include <QApplication>
#include <QDrag>
#include <QMimeData>
#include <QMouseEvent>
#include <QScreen>
#include <QTimer>
#include <QUrl>
#include <QWidget>

#include <cstdio>

namespace {

class TDragSource : public QWidget {
public:
    explicit TDragSource(QString file) : FFile(std::move(file))
    {
        setWindowTitle(QStringLiteral("drag source"));
        setFixedSize(140, 100);
        setAutoFillBackground(true);
        QPalette colours = palette();
        colours.setColor(QPalette::Window, QColor(255, 200, 0));
        setPalette(colours);
        const QRect screen = QGuiApplication::primaryScreen()->geometry();
        move(screen.right() - width() - 10, screen.bottom() - height() - 10);
    }

protected:
    void showEvent(QShowEvent* event) override
    {
        QWidget::showEvent(event);
        // Once mapped, so the position is the one on screen.
        QTimer::singleShot(200, this, [this] {
            const QRect frame = geometry();
            std::printf("geometry %d %d %d %d\n", frame.x(), frame.y(), frame.width(), frame.height());
            std::fflush(stdout);
        });
    }

    void mousePressEvent(QMouseEvent* event) override
    {
        if (event->button() != Qt::LeftButton)
            return;
        auto* data = new QMimeData;
        data->setUrls({QUrl::fromLocalFile(FFile)});
        auto* drag = new QDrag(this);
        drag->setMimeData(data);
        const Qt::DropAction action = drag->exec(Qt::CopyAction | Qt::MoveAction | Qt::LinkAction, Qt::CopyAction);
        std::printf("dropped %d\n", int(action));
        std::fflush(stdout);
        // The target asks for the data after the release, when exec() has
        // already returned: the window stays a while to hand it over.
        QTimer::singleShot(3000, qApp, &QApplication::quit);
    }

private:
    QString FFile;
};

}  // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fputs("usage: drag_source FILE\n", stderr);
        return 2;
    }
    TDragSource window(QString::fromLocal8Bit(argv[1]));
    window.show();
    return app.exec();
}
