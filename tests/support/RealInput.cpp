#include "RealInput.h"

#include <QDir>
#include <QFile>
#include <QPixmap>
#include <QScreen>
#include <QStandardPaths>

#include <cstdlib>

namespace realinput {
int gPassed = 0;
int gFailed = 0;
int gSlowdown = 1;
QString gShots;
QString gEditorPath;
QProcessEnvironment gEnvironment;

void Shot(const QString& name)
{
    if (!gShots.isEmpty())
        QGuiApplication::primaryScreen()->grabWindow(0).save(gShots + u'/' + name + u".png"_s);
}

// Prints the outcome; a failure also leaves a screenshot, "fail-N".
void Report(bool ok, const QString& what)
{
    ++(ok ? gPassed : gFailed);
    std::printf("%s %s\n", ok ? "ok  " : "FAIL", qPrintable(what));
    std::fflush(stdout);
    if (!ok)
        Shot(u"fail-%1"_s.arg(gFailed));
}


QString Xdo(const QStringList& args)
{
    QProcess xdotool;
    xdotool.start(u"xdotool"_s, args);
    if (!xdotool.waitForFinished(10000)) {
        std::printf("     xdotool %s hangs\n", qPrintable(args.join(u' ')));
        xdotool.kill();
        xdotool.waitForFinished();
    }
    return QString::fromUtf8(xdotool.readAllStandardOutput()).trimmed();
}

QStringList XY(QPoint at)
{
    return {QString::number(at.x()), QString::number(at.y())};
}

// Presses the space-separated keys in turn.
void Keys(const QString& keys)
{
    Xdo(QStringList{u"key"_s, u"--delay"_s, u"30"_s} + keys.split(u' '));
}

void Type(const QString& text)
{
    Xdo({u"type"_s, u"--delay"_s, u"30"_s, u"--"_s, text});
}

void Click(QPoint at)
{
    // No --sync: it waits for a motion that never comes when the pointer is
    // already there. The server handles the move before the click anyway.
    Xdo(QStringList{u"mousemove"_s} + XY(at) + QStringList{u"click"_s, u"1"_s});
}

QString FocusedWindowName()
{
    return Xdo({u"getwindowfocus"_s, u"getwindowname"_s});
}

// The editor's mapped top-level windows: main window, dialogs, popups.
int VisibleWindows()
{
    const QString ids = Xdo({u"search"_s, u"--onlyvisible"_s, u"--class"_s, u"kadrimex"_s});
    return ids.isEmpty() ? 0 : int(ids.split(u'\n').size());
}

// The X window of a visible top-level window titled `title` and its rectangle.
QRect WindowRect(const QString& title, QString* id)
{
    const QString found = Xdo({u"search"_s, u"--onlyvisible"_s, u"--name"_s, u'^' + title + u'$'}).section(u'\n', 0, 0);
    if (id)
        *id = found;
    if (found.isEmpty())
        return {};
    // "X=..", "Y=..", "WIDTH=..", "HEIGHT=.." lines.
    std::map<QString, int> values;
    for (const QString& line : Xdo({u"getwindowgeometry"_s, u"--shell"_s, found}).split(u'\n'))
        values[line.section(u'=', 0, 0)] = line.section(u'=', 1).toInt();
    return QRect(values[u"X"_s], values[u"Y"_s], values[u"WIDTH"_s], values[u"HEIGHT"_s]);
}

QImage Grab(const QRect& rect)
{
    return QGuiApplication::primaryScreen()
        ->grabWindow(0, rect.x(), rect.y(), rect.width(), rect.height())
        .toImage()
        .convertToFormat(QImage::Format_RGB32);
}

int Count(const QImage& image, QRgb colour)
{
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            n += image.pixel(x, y) == colour;
    return n;
}

// A 24-bit BMP of one colour.
bool WriteBmp(const QString& path, int width, int height, QRgb colour)
{
    QImage image(width, height, QImage::Format_RGB888);
    image.fill(colour);
    return image.save(path, "BMP");
}

// The size of the picture shown at the view's top-left corner: the run of
// `colour` along the first row and the first column.
QSize ShownSize(const QImage& view, QRgb colour)
{
    int width = 0;
    while (width < view.width() && view.pixel(width, 0) == colour)
        ++width;
    int height = 0;
    while (height < view.height() && view.pixel(0, height) == colour)
        ++height;
    return {width, height};
}

QString SizeText(QSize size)
{
    return u"%1x%2"_s.arg(size.width()).arg(size.height());
}



// Types a path into the focused file dialog and presses Return. The file
// name box's completer opens its list when the folder, read in the
// background, has a match; Return there would leave the list on screen, so
// the test waits a while for it and closes it first. A name without a match
// (a new file) opens no list.
bool EnterPath(TEditor& editor, const QString& path, int windowsWithDialog)
{
    Keys(u"ctrl+a"_s);
    Type(path);
    if (editor.WaitUntil(3000, [&] { return VisibleWindows() > windowsWithDialog; })) {
        Keys(u"Escape"_s);
        if (!editor.WaitUntil(3000, [&] { return VisibleWindows() == windowsWithDialog; }))
            return false;
    }
    Keys(u"Return"_s);
    return editor.WaitUntil(5000, [&] { return VisibleWindows() == windowsWithDialog - 1; });
}

// Escape until only the main window is left.
bool CloseDialogs(TEditor& editor)
{
    for (int attempt = 0; attempt < 5; ++attempt) {
        const int windows = VisibleWindows();
        if (windows <= 1)
            return true;
        Keys(u"Escape"_s);
        editor.WaitUntil(1000, [&] { return VisibleWindows() < windows; });
    }
    return VisibleWindows() <= 1;
}

// Opens `path` with Ctrl+O (or the toolbar button) and the open dialog.
bool OpenPicture(TEditor& editor, const QString& path, bool byButton)
{
    return (byButton ? editor.AskByClick("OpenButton", kOpenTitle) : editor.AskByKeys(u"ctrl+o"_s, kOpenTitle)) &&
           EnterPath(editor, path, 2);
}

// Saves the shown picture with Ctrl+S to `path` and reads it back.
QImage SaveShown(TEditor& editor, const QString& path)
{
    if (!editor.AskByKeys(u"ctrl+s"_s, kSaveTitle) || !EnterPath(editor, path, 2))
        return {};
    return QImage(path).convertToFormat(QImage::Format_RGB32);
}

// Clicks Gauss blur, types `level` into its dialog and confirms; false when
// the dialog does not come.
bool LaunchGauss(TEditor& editor, const QString& level)
{
    if (!editor.AskByClick("GaussBlurSpeedButton", u"Conduct filtration"_s))
        return false;
    Keys(u"alt+l ctrl+a"_s);
    Type(level);
    Keys(u"Return"_s);
    return true;
}


bool StartEditor(TEditor& editor, const QStringList& args)
{
    editor.Start(args);
    const bool shown = editor.WaitUntil(10000, [&] {
        return !editor.Window.isEmpty() && !editor.Rect("ProgressPanel").isEmpty() &&
               !editor.Rect("ZoomComboBox").isEmpty() && !editor.Rect("MainScrollBox").isEmpty();
    }) && editor.TakeIdleGauge();
    Report(shown, u"the editor shows its window with the idle gauge"_s);
    return shown;
}

bool DragFile(TEditor& editor, const QString& file, QString& action)
{
    const QString name = file.section(u'/', -1);
    QProcess source;
    source.setProcessEnvironment(gEnvironment);
    source.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    source.start(QStringLiteral(KADRIMEX_DRAG_SOURCE_PATH), {file});
    QRect from;
    action.clear();
    auto readSource = [&] {
        source.waitForReadyRead(10);
        while (source.canReadLine()) {
            const QStringList words = QString::fromUtf8(source.readLine()).trimmed().split(u' ');
            if (words.value(0) == "geometry"_L1 && words.size() == 5)
                from = QRect(words[1].toInt(), words[2].toInt(), words[3].toInt(), words[4].toInt());
            else if (words.value(0) == "dropped"_L1)
                action = words.value(1);
        }
        return true;
    };
    bool ended = false;
    if (!editor.WaitUntil(10000, [&] { return readSource() && !from.isEmpty(); })) {
        Report(false, u"the drag source shows its window for %1"_s.arg(name));
    } else {
        const QPoint target = editor.Centre("MainScrollBox");
        Xdo(QStringList{u"mousemove"_s} + XY(from.center()) + QStringList{u"mousedown"_s, u"1"_s});
        // In steps, as a hand moves: each motion is one drag position.
        for (int step = 1; step <= 8; ++step) {
            editor.Pause(60);
            Xdo(QStringList{u"mousemove"_s} + XY(from.center() + (target - from.center()) * step / 8));
        }
        editor.Pause(200);
        Shot(u"drop-%1-over"_s.arg(name));
        Xdo({u"mouseup"_s, u"1"_s});
        ended = editor.WaitUntil(5000, [&] { return readSource() && !action.isEmpty(); });
    }
    if (!source.waitForFinished(5000))
        source.kill();
    source.waitForFinished(5000);
    return ended;
}

int RunRealInput(int argc, char** argv, const std::function<void(const QTemporaryDir& work)>& cases)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s KADRIMEX [SHOT_DIR]\n", argv[0]);
        return 2;
    }
    for (const char* tool : {"Xvfb", "xdotool"})
        if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty()) {
            std::printf("SKIP: %s is not installed\n", tool);
            return kSkipped;
        }
    if (qEnvironmentVariableIsSet("KADRIMEX_SANITIZED"))
        gSlowdown = 4;

    QTemporaryDir work;
    TXvfb xvfb;
    QString display;
    if (!work.isValid() || !xvfb.Start(work.filePath(u"xvfb.log"_s), display)) {
        std::printf("FAIL Xvfb does not start\n");
        return 1;
    }
    qputenv("DISPLAY", display.toLatin1());
    qputenv("QT_QPA_PLATFORM", "xcb");
    QGuiApplication app(argc, argv);
    gShots = argc > 2 ? QString::fromLocal8Bit(argv[2]) : QString();
    if (!gShots.isEmpty())
        QDir().mkpath(gShots);

    gEditorPath = QString::fromLocal8Bit(argv[1]);
    gEnvironment = QProcessEnvironment::systemEnvironment();
    gEnvironment.insert(u"DISPLAY"_s, display);
    gEnvironment.insert(u"QT_QPA_PLATFORM"_s, u"xcb"_s);
    gEnvironment.insert(u"KADRIMEX_TEST_PROBE"_s, u"1"_s);
    if (gEnvironment.contains(u"ASAN_OPTIONS"_s)) {
        // On a real display Qt talks to the session bus, whose library keeps
        // a buffer to the end; the editor's own leaks are still reported.
        const QString suppressions = work.filePath(u"lsan.supp"_s);
        QFile file(suppressions);
        if (file.open(QIODevice::WriteOnly))
            file.write("leak:libdbus-1.so\n");
        file.close();
        const QString lsan = gEnvironment.value(u"LSAN_OPTIONS"_s);
        gEnvironment.insert(u"LSAN_OPTIONS"_s,
                            (lsan.isEmpty() ? QString() : lsan + u':') + u"suppressions="_s + suppressions);
    }
    QElapsedTimer clock;
    clock.start();
    cases(work);
    std::printf("real-input run took %lld ms\n", clock.elapsed());
    std::printf("%d passed, %d failed\n", gPassed, gFailed);
    return gFailed == 0 ? 0 : 1;
}

}  // namespace realinput
