// Peak memory of the undo history: the main window makes a W x H 24-bit
// picture, runs N flips through the launcher (each a step of W x H x 3
// bytes), and prints the steps kept, their bytes, the limit and the
// process's peak resident memory.
//
//   undo_probe [WIDTH HEIGHT OPERATIONS]   (default 4000 3000 30)
#include "app/MainForm.h"
#include "app/PictureDocument.h"

#include <QApplication>
#include <QEventLoop>
#include <QTimer>

#include <cstdio>
#include <fstream>
#include <string>

namespace {

long StatusKb(const char* key)
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind(key, 0) == 0)
            return std::stol(line.substr(std::string(key).size() + 1));
    return -1;
}

}  // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const int width = argc > 3 ? std::atoi(argv[1]) : 4000;
    const int height = argc > 3 ? std::atoi(argv[2]) : 3000;
    const int operations = argc > 3 ? std::atoi(argv[3]) : 30;

    TKadrimexMainForm form;
    form.DialogRunner = [](QDialog&) { return int(QDialog::Accepted); };
    kadrimex::TBitmap bitmap;
    bitmap.SetPixelFormat(kadrimex::TPixelFormat::pf24bit);
    bitmap.SetSize(width, height);
    kadrimex::TPicture picture;
    picture.Assign(std::move(bitmap));
    form.Document->Replace(std::move(picture), TPictureDocument::TChange::New);

    for (int i = 0; i < operations; ++i) {
        // The flip dialog's first choice, left to right.
        form.Launch(TKadrimexMainForm::Command(TKadrimexMainForm::TCommandId::FlipRotate));
        QEventLoop loop;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
            if (!form.Busy())
                loop.quit();
        });
        poll.start(5);
        loop.exec();
    }
    const TUndoHistory& history = form.Document->History();
    std::printf("%d operations on %dx%d: %zu steps kept, %zu bytes of %zu; VmHWM %ld kB, VmRSS %ld kB\n", operations,
                width, height, history.UndoCount(), history.Bytes(), history.Limit(), StatusKb("VmHWM:"),
                StatusKb("VmRSS:"));
    return 0;
}
