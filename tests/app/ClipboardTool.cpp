// Another program on the clipboard, for the real-window tests.
//   clipboard_tool put FILE   puts the picture FILE on the clipboard, prints
//                             "ready" and serves it until ended
//   clipboard_tool get FILE   saves the clipboard's image to FILE (PNG);
//                             exit status 1 when the clipboard holds none
#include <QClipboard>
#include <QGuiApplication>
#include <QImage>

#include <cstdio>
#include <cstring>

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    if (argc != 3)
        return 2;
    if (std::strcmp(argv[1], "put") == 0) {
        const QImage image(QString::fromLocal8Bit(argv[2]));
        if (image.isNull())
            return 1;
        QGuiApplication::clipboard()->setImage(image);
        std::puts("ready");
        std::fflush(stdout);
        return app.exec();
    }
    if (std::strcmp(argv[1], "get") == 0) {
        const QImage image = QGuiApplication::clipboard()->image();
        return !image.isNull() && image.save(QString::fromLocal8Bit(argv[2]), "PNG") ? 0 : 1;
    }
    return 2;
}
