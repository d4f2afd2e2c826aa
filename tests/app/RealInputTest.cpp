// The editor in a real X session: its own Xvfb server without a window
// manager, driven only by X input events sent with xdotool (key presses reach
// the window that has the X input focus and there the focused widget, clicks
// land on screen coordinates), and judged by what the screen shows (grabs of
// the root window) and by the editor's test probe (KADRIMEX_TEST_PROBE, see
// app/MainForm.cpp), which reports where its widgets are and the status texts
// it sets. With no window manager nothing hands a window the input focus, so
// the test does that itself (xdotool windowfocus) where a desktop would.
//
// Usage: realinput_test KADRIMEX [SHOT_DIR]. Exits 77 (skipped) when Xvfb or
// xdotool is missing; screenshots of the main steps go to SHOT_DIR.
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QProcess>
#include <QRect>
#include <QScreen>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <string>

#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr int kSkipped = 77;

int gPassed = 0;
int gFailed = 0;
// Deadlines are stretched in the sanitizer build, whose editor runs slower.
int gSlowdown = 1;

void Report(bool ok, const QString& what)
{
    ++(ok ? gPassed : gFailed);
    std::printf("%s %s\n", ok ? "ok  " : "FAIL", qPrintable(what));
    std::fflush(stdout);
}

// An Xvfb server on a display it picks itself (-displayfd).
class TXvfb {
public:
    ~TXvfb()
    {
        if (FPid > 0) {
            kill(FPid, SIGTERM);
            waitpid(FPid, nullptr, 0);
        }
    }

    bool Start(const QString& log, QString& display)
    {
        int fds[2];
        if (pipe(fds) != 0)
            return false;
        const std::string logPath = log.toStdString();
        FPid = fork();
        if (FPid == 0) {
            close(fds[0]);
            if (FILE* out = std::freopen(logPath.c_str(), "w", stderr))
                dup2(fileno(out), STDOUT_FILENO);
            const std::string fd = std::to_string(fds[1]);
            execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1280x1024x24", "-nolisten", "tcp",
                   static_cast<char*>(nullptr));
            _exit(127);
        }
        close(fds[1]);
        std::string number;
        pollfd wait{fds[0], POLLIN, 0};
        char c = 0;
        while (FPid > 0 && poll(&wait, 1, 10000) > 0 && read(fds[0], &c, 1) == 1 && c != '\n')
            number += c;
        close(fds[0]);
        if (number.empty())
            return false;
        display = QStringLiteral(":") + QString::fromStdString(number);
        return true;
    }

private:
    pid_t FPid = -1;
};

QString Xdo(const QStringList& args, int* code = nullptr)
{
    QProcess xdotool;
    xdotool.start(QStringLiteral("xdotool"), args);
    if (!xdotool.waitForFinished(10000)) {
        std::printf("     xdotool %s hangs\n", qPrintable(args.join(u' ')));
        xdotool.kill();
        xdotool.waitForFinished();
    }
    if (code)
        *code = xdotool.exitCode();
    return QString::fromUtf8(xdotool.readAllStandardOutput()).trimmed();
}

void Keys(const QStringList& keys)
{
    Xdo(QStringList{QStringLiteral("key"), QStringLiteral("--delay"), QStringLiteral("30")} + keys);
}

void Type(const QString& text)
{
    Xdo({QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("30"), QStringLiteral("--"), text});
}

void Click(QPoint at)
{
    // No --sync: it waits for a motion that never comes when the pointer is
    // already there. The server handles the move before the click anyway.
    Xdo({QStringLiteral("mousemove"), QString::number(at.x()), QString::number(at.y()), QStringLiteral("click"),
         QStringLiteral("1")});
}

QString FocusedWindowName()
{
    return Xdo({QStringLiteral("getwindowfocus"), QStringLiteral("getwindowname")});
}

// The editor's mapped top-level windows: main window, dialogs, popups.
int VisibleWindows()
{
    const QString ids = Xdo({QStringLiteral("search"), QStringLiteral("--onlyvisible"), QStringLiteral("--class"),
                             QStringLiteral("kadrimex")});
    return ids.isEmpty() ? 0 : int(ids.split(u'\n').size());
}

QImage Grab(const QRect& rect)
{
    return QGuiApplication::primaryScreen()
        ->grabWindow(0, rect.x(), rect.y(), rect.width(), rect.height())
        .toImage()
        .convertToFormat(QImage::Format_RGB32);
}

// A 24-bit bottom-up BMP of one colour.
bool WriteBmp(const QString& path, int width, int height, QRgb colour)
{
    const int row = (width * 3 + 3) & ~3;
    QByteArray data(54 + row * height, '\0');
    auto put = [&](int at, quint32 value, int bytes) {
        for (int i = 0; i < bytes; ++i)
            data[at + i] = char((value >> (8 * i)) & 0xFF);
    };
    data[0] = 'B';
    data[1] = 'M';
    put(2, quint32(data.size()), 4);
    put(10, 54, 4);
    put(14, 40, 4);
    put(18, quint32(width), 4);
    put(22, quint32(height), 4);
    put(26, 1, 2);
    put(28, 24, 2);
    put(34, quint32(row * height), 4);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const int at = 54 + y * row + x * 3;
            data[at] = char(qBlue(colour));
            data[at + 1] = char(qGreen(colour));
            data[at + 2] = char(qRed(colour));
        }
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(data) == data.size();
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
    return QStringLiteral("%1x%2").arg(size.width()).arg(size.height());
}

// The editor process and what its test probe printed.
class TEditor {
public:
    QProcess Process;
    std::map<QString, QRect> Widgets;
    QString Window;
    QStringList Statuses;
    // Sizes of the RAW dialog's previews, in the order shown.
    QList<QSize> RawPreviews;
    // "CLASS WIDTH HEIGHT HASH" of each picture shown, and each "undo on|off
    // redo on|off" state, in order.
    QStringList Pictures;
    QStringList UndoStates;

    void Read()
    {
        while (Process.canReadLine()) {
            const QString line = QString::fromUtf8(Process.readLine()).chopped(1);
            const QStringList words = line.split(u' ');
            if (words.value(0) == QLatin1String("window"))
                Window = words.value(1);
            else if (words.value(0) == QLatin1String("geometry") && words.size() == 6)
                Widgets[words[1]] = QRect(words[2].toInt(), words[3].toInt(), words[4].toInt(), words[5].toInt());
            else if (words.value(0) == QLatin1String("status"))
                Statuses << line.mid(7);
            else if (words.value(0) == QLatin1String("picture"))
                Pictures << line.mid(8);
            else if (words.value(0) == QLatin1String("undo"))
                UndoStates << line;
            else if (words.value(0) == QLatin1String("raw-preview") && words.size() == 3)
                RawPreviews << QSize(words[1].toInt(), words[2].toInt());
        }
    }

    QRect Rect(const char* name) const
    {
        const auto it = Widgets.find(QLatin1String(name));
        return it == Widgets.end() ? QRect() : it->second;
    }

    QPoint Centre(const char* name) const { return Rect(name).center(); }

    // Polls `done` every few milliseconds until it holds or `ms` (times the
    // slowdown) have passed.
    bool WaitUntil(int ms, const std::function<bool()>& done)
    {
        QElapsedTimer clock;
        clock.start();
        for (;;) {
            Read();
            if (done())
                return true;
            if (clock.elapsed() > qint64(ms) * gSlowdown || Process.state() == QProcess::NotRunning)
                return false;
            Process.waitForReadyRead(15);
        }
    }

    // The main window gets the X input focus, as a window manager would
    // give it on a click.
    void FocusMain()
    {
        Xdo({QStringLiteral("windowfocus"), QStringLiteral("--sync"), Window});
    }

    bool WaitForFocus(const QString& title, int ms = 5000)
    {
        return WaitUntil(ms, [&] { return FocusedWindowName() == title; });
    }

    // Waits for the next status text after the `seen` first ones.
    bool WaitForStatus(qsizetype seen, const QString& text, int ms)
    {
        return WaitUntil(ms, [&] { return Statuses.mid(seen).contains(text); });
    }
};

const QString kOpenTitle = QStringLiteral("Zapodaj jakiegoś wypasionego obrazka");
const QString kSaveTitle = QStringLiteral("Zapisz obrazek do pliku");
const QString kDone = QStringLiteral("No i pozamiatane.");

// Types a path into the focused file dialog and presses Return. The file
// name box's completer opens its list when the folder, read in the
// background, has a match; Return there would leave the list on screen, so
// the test waits a while for it and closes it first. A name without a match
// (a new file) opens no list.
bool EnterPath(TEditor& editor, const QString& path, int windowsWithDialog)
{
    Keys({QStringLiteral("ctrl+a")});
    Type(path);
    if (editor.WaitUntil(3000, [&] { return VisibleWindows() > windowsWithDialog; })) {
        Keys({QStringLiteral("Escape")});
        if (!editor.WaitUntil(3000, [&] { return VisibleWindows() == windowsWithDialog; }))
            return false;
    }
    Keys({QStringLiteral("Return")});
    return editor.WaitUntil(5000, [&] { return VisibleWindows() == windowsWithDialog - 1; });
}

// Escape until only the main window is left.
bool CloseDialogs(TEditor& editor)
{
    for (int attempt = 0; attempt < 5; ++attempt) {
        const int windows = VisibleWindows();
        if (windows <= 1)
            return true;
        Keys({QStringLiteral("Escape")});
        editor.WaitUntil(1000, [&] { return VisibleWindows() < windows; });
    }
    return VisibleWindows() <= 1;
}

// Opens `path` with Ctrl+O (or the toolbar button) and the open dialog.
bool OpenPicture(TEditor& editor, const QString& path, bool byButton)
{
    editor.FocusMain();
    if (byButton)
        Click(editor.Centre("OpenButton"));
    else
        Keys({QStringLiteral("ctrl+o")});
    if (!editor.WaitForFocus(kOpenTitle))
        return false;
    return EnterPath(editor, path, 2);
}

// Clicks Gauss blur, types `level` into its dialog and confirms; false when
// the dialog does not come.
// A Gauss level that keeps the 4000x3000 picture busy for over a minute, so
// the question of the gauge is answered while it still runs.
const QString kLongBlur = QStringLiteral("1500");

bool LaunchGauss(TEditor& editor, const QString& level)
{
    Click(editor.Centre("GaussBlurSpeedButton"));
    if (!editor.WaitForFocus(QStringLiteral("Conduct filtration")))
        return false;
    Keys({QStringLiteral("alt+l"), QStringLiteral("ctrl+a")});
    Type(level);
    Keys({QStringLiteral("Return")});
    return true;
}

class TRun {
public:
    TRun(TEditor& editor, const QString& shots) : FEditor(editor), FShots(shots) {}

    void Shot(const QString& name)
    {
        if (!FShots.isEmpty())
            QGuiApplication::primaryScreen()->grabWindow(0).save(FShots + u'/' + name + QStringLiteral(".png"));
    }

    QImage Gauge() { return Grab(FEditor.Rect("ProgressPanel")); }

    QSize Shown(QRgb colour) { return ShownSize(Grab(FEditor.Rect("MainScrollBox")), colour); }

    // The idle gauge as first drawn: black with the white word.
    bool TakeIdleGauge()
    {
        return FEditor.WaitUntil(5000, [&] {
            const QImage gauge = Gauge();
            int black = 0, white = 0;
            for (int y = 0; y < gauge.height(); ++y)
                for (int x = 0; x < gauge.width(); ++x) {
                    black += gauge.pixel(x, y) == qRgb(0, 0, 0);
                    white += gauge.pixel(x, y) == qRgb(255, 255, 255);
                }
            if (gauge.isNull() || black < gauge.width() * gauge.height() / 2 || white == 0)
                return false;
            FIdleGauge = gauge;
            return true;
        });
    }

    bool GaugeIdle() { return Gauge() == FIdleGauge; }

    // Runs an operation already launched: the gauge must show a percentage
    // while it runs and the idle gauge as soon as the status says it is done.
    void FinishRun(const QString& what, qsizetype seen, int ms, bool needPercentage = true)
    {
        const bool running = FEditor.WaitUntil(ms, [&] { return !GaugeIdle() || FEditor.Statuses.mid(seen).contains(kDone); }) &&
                             !GaugeIdle();
        if (running)
            Shot(what + QStringLiteral("-running"));
        if (needPercentage)
            Report(running, what + QStringLiteral(": the gauge shows a percentage while it runs"));
        const bool done = FEditor.WaitForStatus(seen, kDone, ms);
        Report(done, what + QStringLiteral(": the status reads \"No i pozamiatane.\""));
        if (!done)
            return;
        const bool idle = FEditor.WaitUntil(1000, [&] { return GaugeIdle(); });
        Shot(what + QStringLiteral("-done"));
        Report(idle, what + QStringLiteral(": the gauge reads \"gotowy\" at completion"));
    }

    TEditor& FEditor;
    QString FShots;
    QImage FIdleGauge;
};

struct TZoomCase {
    const char* keys;  // typed into the box, or "pick:N", the N-th list item
    const char* enter;
    QSize shown;
};

void ZoomCases(TRun& run, QRgb colour)
{
    TEditor& editor = run.FEditor;
    // The picture is 101x61; a side is rounded half to even and at least 1.
    // "3" and "7" must stay as typed, not become 300 or 75 from the list.
    static const TZoomCase cases[] = {
        {"10", "Return", {10, 6}},        {"3", "KP_Enter", {3, 2}},        {"150", "Return", {152, 92}},
        {"-50", "KP_Enter", {50, 30}},    {"abc", "Return", {101, 61}},     {"0", "Return", {1, 1}},
        {"7", "Return", {7, 4}},          {"pick:7", "Return", {303, 183}}, {"pick:2", "KP_Enter", {50, 30}},
        {"25\bBackSpace", "Return", {2, 1}},
    };
    const QRect box = editor.Rect("ZoomComboBox");
    for (const TZoomCase& c : cases) {
        const QString keys = QString::fromLatin1(c.keys);
        editor.FocusMain();
        if (keys.startsWith(QLatin1String("pick:"))) {
            // The arrow opens the list; Home and Down walk it, Return picks.
            Click(QPoint(box.right() - 6, box.center().y()));
            if (!editor.WaitUntil(3000, [] { return VisibleWindows() == 2; })) {
                Report(false, QStringLiteral("zoom list opens"));
                continue;
            }
            QStringList walk{QStringLiteral("Home")};
            for (int i = 0; i < keys.mid(5).toInt(); ++i)
                walk << QStringLiteral("Down");
            Keys(walk + QStringList{QStringLiteral("Return")});
            editor.WaitUntil(3000, [] { return VisibleWindows() == 1; });
        } else {
            Click(QPoint(box.left() + 8, box.center().y()));
            Keys({QStringLiteral("ctrl+a")});
            const qsizetype extra = keys.indexOf(u'\b');
            Type(keys.left(extra));
            if (extra >= 0)
                Keys({keys.mid(extra + 1)});
        }
        Keys({QString::fromLatin1(c.enter)});
        QSize shown;
        const bool ok = editor.WaitUntil(2000, [&] { return (shown = run.Shown(colour)) == c.shown; });
        Report(ok, QStringLiteral("zoom %1 + %2 shows %3 (seen %4)")
                       .arg(QString(keys).replace(u'\b', u' '), QString::fromLatin1(c.enter), SizeText(c.shown), SizeText(shown)));
        if (c.shown == QSize(10, 6))
            run.Shot(QStringLiteral("zoom-10"));
    }
}

// A headerless file through Open's RAW filter: the RAW dialog shows it at
// once, each keystroke in the line limit box (reached by its Alt+L
// mnemonic) shows a new preview, and Enter imports the limited picture.
void RawImportCases(TRun& run, const QString& path)
{
    TEditor& editor = run.FEditor;
    const QRgb grey = qRgb(100, 100, 100);  // byte 100 on the grey palette
    editor.FocusMain();
    Keys({QStringLiteral("ctrl+o")});
    if (!editor.WaitForFocus(kOpenTitle)) {
        Report(false, QStringLiteral("RAW: Ctrl+O opens the open dialog"));
        return;
    }
    // Tab goes from the file name box to the filter list, where "R" picks
    // "RAW files (*.*)"; the path is typed after, so the dialog checks it
    // against that filter.
    Keys({QStringLiteral("Tab"), QStringLiteral("R"), QStringLiteral("shift+Tab")});
    EnterPath(editor, path, 2);
    const QString title = QStringLiteral("Open a file without header (RAW)");
    const bool shown = editor.WaitForFocus(title) &&
                       editor.WaitUntil(5000, [&] { return editor.RawPreviews.contains(QSize(320, 300)); });
    Report(shown, QStringLiteral("RAW: the filter routes to the RAW dialog, which shows the 320x300 picture"));
    if (!shown) {
        run.Shot(QStringLiteral("raw-route-failed"));
        CloseDialogs(editor);
        return;
    }
    run.Shot(QStringLiteral("raw-dialog"));
    const qsizetype seen = editor.RawPreviews.size();
    Keys({QStringLiteral("alt+l"), QStringLiteral("ctrl+a")});
    Type(QStringLiteral("6"));
    const bool first = editor.WaitUntil(3000, [&] { return editor.RawPreviews.mid(seen).contains(QSize(320, 6)); });
    Type(QStringLiteral("4"));
    const bool second = editor.WaitUntil(3000, [&] { return editor.RawPreviews.mid(seen).contains(QSize(320, 64)); });
    Report(first && second, QStringLiteral("RAW: typing 6 and 4 in the limit box shows 6, then 64 lines"));
    run.Shot(QStringLiteral("raw-dialog-limit-64"));
    Keys({QStringLiteral("Return")});
    const bool closed = editor.WaitUntil(5000, [] { return VisibleWindows() == 1; });
    QSize imported;
    const bool ok = closed && editor.WaitUntil(3000, [&] { return (imported = run.Shown(grey)) == QSize(320, 64); });
    Report(ok, QStringLiteral("RAW: Enter imports the 320x64 picture (seen %1)").arg(SizeText(imported)));
    run.Shot(QStringLiteral("raw-imported"));
}


// The stripes picture of the tonal checks, 250x100: five stripes of 20 rows,
// each pixel (r, g, b) of its stripe's base plus x % 10 in every channel.
// Its histograms show each of the seven series colours of the curves chart
// on a band of ten values of its own: red only at 40-49, green at 80-89,
// blue at 120-129, red+green at 160-169, green+blue at 200-209, red+blue at
// 226-235 and all three at 246-255.
const int kStripeBase[5][3] = {{40, 80, 120}, {160, 160, 120}, {40, 200, 200}, {226, 80, 226}, {246, 246, 246}};

QRgb StripePixel(int x, int y)
{
    const int* base = kStripeBase[y / 20];
    const int o = x % 10;
    return qRgb(base[0] + o, base[1] + o, base[2] + o);
}

bool WriteStripes(const QString& path)
{
    QImage image(250, 100, QImage::Format_RGB888);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            image.setPixel(x, y, StripePixel(x, y));
    return image.save(path, "BMP");
}

// Saves the shown picture with Ctrl+S to `path` and reads it back.
QImage SaveShown(TEditor& editor, const QString& path)
{
    editor.FocusMain();
    Keys({QStringLiteral("ctrl+s")});
    if (!editor.WaitForFocus(kSaveTitle) || !EnterPath(editor, path, 2))
        return {};
    return QImage(path).convertToFormat(QImage::Format_RGB32);
}

// The X window of a visible top-level window titled `title` and its rectangle.
QRect WindowRect(const QString& title, QString* id = nullptr)
{
    const QString found = Xdo({QStringLiteral("search"), QStringLiteral("--onlyvisible"), QStringLiteral("--name"),
                               u'^' + title + u'$'}).section(u'\n', 0, 0);
    if (id)
        *id = found;
    if (found.isEmpty())
        return {};
    // "X=..", "Y=..", "WIDTH=..", "HEIGHT=.." lines.
    std::map<QString, int> values;
    for (const QString& line : Xdo({QStringLiteral("getwindowgeometry"), QStringLiteral("--shell"), found}).split(u'\n'))
        values[line.section(u'=', 0, 0)] = line.section(u'=', 1).toInt();
    return QRect(values[QStringLiteral("X")], values[QStringLiteral("Y")], values[QStringLiteral("WIDTH")],
                 values[QStringLiteral("HEIGHT")]);
}

// The curves dialog over the stripes picture: its toolbar button opens it,
// the histogram comes in the seven series colours, a drag along the value
// 60 from 20 to 240 flattens the curve there, and Process sets every byte of
// the first four stripes to that one value and leaves the fifth alone. Then
// levels, by its button and Enter, equalises the result (all channels).
void TonalCases(TRun& run, const QString& stripes, const QString& work)
{
    TEditor& editor = run.FEditor;
    if (!OpenPicture(editor, stripes, false)) {
        Report(false, QStringLiteral("curves: the stripes picture opens"));
        return;
    }
    editor.FocusMain();
    Click(editor.Centre("CurvesSpeedButton"));
    QString dialogId;
    QRect dialog;
    const bool shown = editor.WaitUntil(5000, [&] { return !(dialog = WindowRect(QStringLiteral("Histogram"), &dialogId)).isEmpty(); });
    Report(shown, QStringLiteral("the curves button opens \"Histogram\""));
    if (!shown)
        return;
    static const QRgb colours[7] = {qRgb(255, 138, 138), qRgb(144, 232, 82), qRgb(166, 170, 255), qRgb(140, 141, 34),
                                    qRgb(34, 141, 140),  qRgb(150, 38, 149), qRgb(42, 42, 42)};
    QRect boxes[7];
    auto plotted = [&] {
        const QImage shot = Grab(dialog);
        for (QRect& box : boxes)
            box = QRect();
        for (int y = 0; y < shot.height(); ++y)
            for (int x = 0; x < shot.width(); ++x)
                for (int s = 0; s < 7; ++s)
                    if (shot.pixel(x, y) == colours[s])
                        boxes[s] |= QRect(dialog.x() + x, dialog.y() + y, 1, 1);
        // Each band is ten values wide and at least 100 units high.
        for (const QRect& box : boxes)
            if (box.width() < 8 || box.height() < 40)
                return false;
        return true;
    };
    const bool histogram = editor.WaitUntil(5000, plotted);
    run.Shot(QStringLiteral("curves-histogram"));
    QString seen;
    for (const QRect& box : boxes)
        seen += QStringLiteral(" %1x%2").arg(box.width()).arg(box.height());
    Report(histogram, QStringLiteral("curves: the histogram shows in its seven colours (bands%1)").arg(seen));
    if (!histogram) {
        CloseDialogs(editor);
        return;
    }
    // Red spans values 40-50 and 0-204.8 (two stripes of 2 % each, times
    // 5120); red+blue ends at value 236.
    const QRect red = boxes[0];
    const double perValue = double(boxes[5].right() + 1 - red.left()) / (236 - 40);
    const double perUnit = double(red.height()) / 204.8;
    auto at = [&](double x, double y) {
        return QStringList{QString::number(qRound(red.left() + (x - 40) * perValue)),
                           QString::number(qRound(red.bottom() + 1 - y * perUnit))};
    };
    QStringList drag = QStringList{QStringLiteral("mousemove")} + at(20.5, 60.5) + QStringList{QStringLiteral("mousedown"), QStringLiteral("1")};
    for (int x = 30; x <= 240; x += 10)
        drag << QStringLiteral("sleep") << QStringLiteral("0.03") << QStringLiteral("mousemove") << at(x + 0.5, 60.5);
    drag << QStringLiteral("mouseup") << QStringLiteral("1");
    Xdo(drag);
    editor.WaitUntil(300, [] { return false; });
    run.Shot(QStringLiteral("curves-dragged"));
    const qsizetype seenStatus = editor.Statuses.size();
    Xdo({QStringLiteral("windowfocus"), QStringLiteral("--sync"), dialogId});
    Keys({QStringLiteral("alt+p")});
    const bool processed = editor.WaitForStatus(seenStatus, kDone, 10000) &&
                           editor.Statuses.mid(seenStatus).contains(QStringLiteral("Wykrzywiam (mnożę przez krzywą)..."));
    Report(processed, QStringLiteral("curves: Process runs the curve (\"Wykrzywiam (mnożę przez krzywą)...\")"));
    run.Shot(QStringLiteral("curves-done"));
    const QImage curved = SaveShown(editor, work + QStringLiteral("/curved.bmp"));
    int level = -1;
    bool flat = curved.size() == QSize(250, 100), kept = flat;
    for (int y = 0; flat && kept && y < 100; ++y)
        for (int x = 0; x < 250; ++x) {
            const QRgb p = curved.pixel(x, y);
            if (y >= 80) {
                kept = kept && p == StripePixel(x, y);
                continue;
            }
            if (level < 0)
                level = qRed(p);
            flat = flat && p == qRgb(level, level, level);
        }
    Report(processed && flat && kept && std::abs(level - 60) <= 2,
           QStringLiteral("curves: the drag at 60 sets the dragged tones to one value (%1) and keeps the others").arg(level));
    if (!flat || !kept || level < 0)
        return;

    // Levels on the result: equalise is the default; "Zapodaj" sits 138
    // pixels left of the dialog's right edge and 29 above its bottom. Each
    // channel has 20000 pixels at `level` and 500 at each of 246-255.
    editor.FocusMain();
    Click(editor.Centre("AutoLevelsButton"));
    const bool asked = editor.WaitForFocus(QStringLiteral("Histogram levels"));
    run.Shot(QStringLiteral("levels-dialog"));
    const QRect levels = WindowRect(QStringLiteral("Histogram levels"));
    Click(QPoint(levels.right() - 138, levels.bottom() - 29));
    const bool closed = asked && editor.WaitUntil(5000, [] { return VisibleWindows() == 1; });
    editor.WaitUntil(300, [] { return false; });
    const QImage levelled = closed ? SaveShown(editor, work + QStringLiteral("/levelled.bmp")) : QImage();
    auto equalised = [&](int v) {
        const long double cum = v < level ? 0 : v < 246 ? 20000 : 20000 + 500 * (v - 245);
        return int(cum / 25000 * 255);
    };
    bool exact = levelled.size() == QSize(250, 100);
    for (int y = 0; exact && y < 100; ++y)
        for (int x = 0; exact && x < 250; ++x) {
            const int v = qRed(curved.pixel(x, y));
            exact = levelled.pixel(x, y) == qRgb(equalised(v), equalised(v), equalised(v));
        }
    Report(asked && exact, QStringLiteral("levels: its button and \"Zapodaj\" equalise the picture (%1 -> %2)").arg(level).arg(equalised(level)));
    run.Shot(QStringLiteral("levels-done"));
}

// Undo and Redo by their keys and buttons: each gives back the exact picture
// (the probe's hash of its bytes) of Gauss, New, colour depth and Open; both
// are off while an operation runs.
void UndoCases(TRun& run, const QString& small, const QString& huge)
{
    TEditor& editor = run.FEditor;
    // A blur changes only a picture with detail: a 101x61 gradient.
    const QString detailed = small + QStringLiteral(".gradient.bmp");
    {
        QImage gradient(101, 61, QImage::Format_RGB32);
        for (int y = 0; y < 61; ++y)
            for (int x = 0; x < 101; ++x)
                gradient.setPixel(x, y, qRgb(x * 2, y * 4, (x * y) % 256));
        gradient.save(detailed, "BMP");
    }
    auto last = [&] { return editor.Pictures.value(editor.Pictures.size() - 1); };
    // Waits for a picture after the `seen` first ones and returns the last.
    auto next = [&](qsizetype seen) {
        editor.WaitUntil(10000, [&] { return editor.Pictures.size() > seen; });
        return editor.Pictures.size() > seen ? last() : QString();
    };
    CloseDialogs(editor);
    if (!OpenPicture(editor, detailed, false)) {
        run.Shot(QStringLiteral("undo-open-failed"));
        Report(false, QStringLiteral("undo: the 101x61 picture opens"));
        return;
    }
    editor.WaitUntil(3000, [&] { return last().startsWith(QLatin1String("TBitmap 101 61")); });
    const QString original = last();
    const QImage originalView = Grab(editor.Rect("MainScrollBox"));

    editor.FocusMain();
    qsizetype seen = editor.Pictures.size();
    if (!LaunchGauss(editor, QStringLiteral("5"))) {
        Report(false, QStringLiteral("undo: Gauss opens its dialog"));
        return;
    }
    const QString blurred = next(seen);
    run.Shot(QStringLiteral("undo-gauss-done"));
    const QImage blurredView = Grab(editor.Rect("MainScrollBox"));

    editor.FocusMain();
    seen = editor.Pictures.size();
    Keys({QStringLiteral("ctrl+z")});
    const QString undone = next(seen);
    const bool backShown = editor.WaitUntil(3000, [&] { return Grab(editor.Rect("MainScrollBox")) == originalView; });
    run.Shot(QStringLiteral("undo-gauss-undone"));
    Report(!blurred.isEmpty() && blurred != original && undone == original && backShown,
           QStringLiteral("Gauss, then Ctrl+Z gives back the exact picture (%1 -> %2 -> %3)").arg(original, blurred, undone));
    seen = editor.Pictures.size();
    Keys({QStringLiteral("ctrl+shift+z")});
    const QString redone = next(seen);
    const bool blurShown = editor.WaitUntil(3000, [&] { return Grab(editor.Rect("MainScrollBox")) == blurredView; });
    Report(redone == blurred && blurShown, QStringLiteral("Ctrl+Shift+Z gives back the blurred bytes (%1)").arg(redone));
    seen = editor.Pictures.size();
    Click(editor.Centre("UndoButton"));
    const QString byButton = next(seen);
    seen = editor.Pictures.size();
    editor.FocusMain();
    Keys({QStringLiteral("ctrl+y")});
    Report(byButton == original && next(seen) == blurred,
           QStringLiteral("the Undo button and Ctrl+Y undo and redo the blur"));

    // New, colour depth and Open, each undone to the blurred picture.
    struct TStep {
        QString what;
        std::function<bool()> change;
    };
    const TStep steps[] = {
        {QStringLiteral("New"),
         [&] {
             Keys({QStringLiteral("ctrl+n")});
             if (!editor.WaitForFocus(QStringLiteral("Create an empty image")))
                 return false;
             Keys({QStringLiteral("Return")});
             return true;
         }},
        {QStringLiteral("colour depth"),
         [&] {
             // The dialog keeps "Convert to grayscale" from its last use, so
             // Alt+G may untick it: then the picture stays and a second
             // round ticks it.
             for (int round = 0; round < 2; ++round) {
                 const qsizetype before = editor.Pictures.size();
                 editor.FocusMain();
                 Click(editor.Centre("ColorDepthSpeedButton"));
                 if (!editor.WaitForFocus(QStringLiteral("Image color depth")))
                     return false;
                 Keys({QStringLiteral("alt+g")});
                 editor.WaitUntil(500, [] { return false; });
                 Keys({QStringLiteral("Return")});
                 editor.WaitUntil(3000, [&] { return editor.Pictures.size() > before; });
                 if (last() != blurred)
                     break;
             }
             return true;
         }},
        {QStringLiteral("Open"), [&] { return OpenPicture(editor, small, true); }},
    };
    for (const TStep& step : steps) {
        editor.FocusMain();
        seen = editor.Pictures.size();
        const bool changed = step.change();
        const QString after = next(seen);
        run.Shot(QStringLiteral("undo-") + QString(step.what).replace(u' ', u'-'));
        editor.FocusMain();
        seen = editor.Pictures.size();
        Keys({QStringLiteral("ctrl+z")});
        const QString back = next(seen);
        Report(changed && !after.isEmpty() && after != blurred && back == blurred,
               step.what + QStringLiteral(" (%1), then Ctrl+Z gives back the blurred picture").arg(after));
        CloseDialogs(editor);
    }

    // During a long blur Undo and Redo are off, and Ctrl+Z changes nothing.
    if (!OpenPicture(editor, huge, false)) {
        Report(false, QStringLiteral("undo: the 4000x3000 picture opens"));
        return;
    }
    editor.WaitUntil(3000, [&] { return last().startsWith(QLatin1String("TBitmap 4000 3000")); });
    editor.FocusMain();
    const qsizetype statuses = editor.Statuses.size();
    const qsizetype states = editor.UndoStates.size();
    if (!LaunchGauss(editor, kLongBlur)) {
        Report(false, QStringLiteral("undo: Gauss opens its dialog"));
        return;
    }
    const bool running = editor.WaitUntil(10000, [&] { return !run.GaugeIdle(); });
    editor.FocusMain();
    seen = editor.Pictures.size();
    Keys({QStringLiteral("ctrl+z")});
    editor.WaitUntil(500, [] { return false; });
    run.Shot(QStringLiteral("undo-during-run"));
    const bool off = editor.UndoStates.mid(states).contains(QStringLiteral("undo off redo off"));
    Report(running && off && editor.Pictures.size() == seen &&
               !editor.Statuses.mid(statuses).contains(kDone),
           QStringLiteral("while the blur runs Undo and Redo are off and Ctrl+Z changes nothing"));
    Click(editor.Centre("ProgressPanel"));
    if (editor.WaitForFocus(QStringLiteral("Co ty niby robisz, co?")))
        Keys({QStringLiteral("y")});
    editor.WaitForStatus(statuses, kDone, 30000);
    const QString partial = next(seen);
    editor.FocusMain();
    seen = editor.Pictures.size();
    Keys({QStringLiteral("ctrl+z")});
    const QString back = next(seen);
    Report(!partial.isEmpty() && back.startsWith(QLatin1String("TBitmap 4000 3000")) && back != partial &&
               editor.UndoStates.value(editor.UndoStates.size() - 1) == QStringLiteral("undo on redo on"),
           QStringLiteral("the cancelled blur's partial result is undone; Undo and Redo are on again (%1 -> %2, %3)")
               .arg(partial, back, editor.UndoStates.value(editor.UndoStates.size() - 1)));
}

// `kadrimex FILE` shows FILE instead of the initial picture.
void FileArgumentCase(const QProcessEnvironment& environment, const QString& editorPath, const QString& file,
                      const QString& shots)
{
    TEditor editor;
    editor.Process.setProcessEnvironment(environment);
    editor.Process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    editor.Process.start(editorPath, {file});
    TRun run(editor, shots);
    const bool shown = editor.WaitUntil(10000, [&] {
        return !editor.Pictures.isEmpty() && !editor.Rect("MainScrollBox").isEmpty() &&
               run.Shown(qRgb(255, 0, 255)) == QSize(101, 61);
    });
    run.Shot(QStringLiteral("file-argument"));
    Report(shown && editor.Pictures.size() == 1 && editor.Pictures.first().startsWith(QLatin1String("TBitmap 101 61")),
           QStringLiteral("kadrimex FILE shows FILE at 1:1 (%1)").arg(editor.Pictures.join(u',')));
    editor.FocusMain();
    Keys({QStringLiteral("ctrl+q")});
    if (!editor.Process.waitForFinished(10000 * gSlowdown))
        editor.Process.kill();
    editor.Process.waitForFinished(5000);
}

// Files dragged from another program's window (tests/app/DragSource.cpp,
// a real drag started by a real press) and released over the picture: a
// bitmap opens, a text file is refused without a message box.
void DropCases(const QProcessEnvironment& environment, const QString& editorPath, const QString& folder,
               const QString& shots)
{
    const QString bitmap = folder + QStringLiteral("/dropped.bmp");
    const QString text = folder + QStringLiteral("/notes.txt");
    QFile notes(text);
    if (!WriteBmp(bitmap, 83, 47, qRgb(0, 190, 255)) || !notes.open(QIODevice::WriteOnly) || notes.write("x\n") != 2) {
        Report(false, QStringLiteral("the files to drop can be written"));
        return;
    }
    notes.close();
    TEditor editor;
    editor.Process.setProcessEnvironment(environment);
    editor.Process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    editor.Process.start(editorPath, {});
    TRun run(editor, shots);
    if (!editor.WaitUntil(10000, [&] { return !editor.Pictures.isEmpty() && !editor.Rect("MainScrollBox").isEmpty(); })) {
        Report(false, QStringLiteral("the editor starts for the drop checks"));
        editor.Process.kill();
        editor.Process.waitForFinished(5000);
        return;
    }
    struct TDrop {
        QString file;
        bool opens;
    };
    for (const TDrop& drop : {TDrop{bitmap, true}, TDrop{text, false}}) {
        const QString name = drop.file.section(u'/', -1);
        QProcess source;
        source.setProcessEnvironment(environment);
        source.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        source.start(QStringLiteral(KADRIMEX_DRAG_SOURCE_PATH), {drop.file});
        QRect from;
        QString action;
        auto readSource = [&] {
            source.waitForReadyRead(10);
            while (source.canReadLine()) {
                const QStringList words = QString::fromUtf8(source.readLine()).trimmed().split(u' ');
                if (words.value(0) == QLatin1String("geometry") && words.size() == 5)
                    from = QRect(words[1].toInt(), words[2].toInt(), words[3].toInt(), words[4].toInt());
                else if (words.value(0) == QLatin1String("dropped"))
                    action = words.value(1);
            }
            return true;
        };
        const bool ready = editor.WaitUntil(10000, [&] { return readSource() && !from.isEmpty(); });
        if (!ready) {
            Report(false, QStringLiteral("the drag source shows its window for %1").arg(name));
            source.kill();
            source.waitForFinished(5000);
            continue;
        }
        const qsizetype seen = editor.Pictures.size();
        const QPoint target = editor.Centre("MainScrollBox");
        Xdo({QStringLiteral("mousemove"), QString::number(from.center().x()), QString::number(from.center().y()),
             QStringLiteral("mousedown"), QStringLiteral("1")});
        // In steps, as a hand moves: each motion is one drag position.
        for (int step = 1; step <= 8; ++step) {
            const QPoint at = from.center() + (target - from.center()) * step / 8;
            editor.WaitUntil(60, [] { return false; });
            Xdo({QStringLiteral("mousemove"), QString::number(at.x()), QString::number(at.y())});
        }
        editor.WaitUntil(200, [] { return false; });
        run.Shot(QStringLiteral("drop-%1-over").arg(name));
        Xdo({QStringLiteral("mouseup"), QStringLiteral("1")});
        const bool ended = editor.WaitUntil(5000, [&] { return readSource() && !action.isEmpty(); });
        if (drop.opens) {
            QSize shown;
            const bool opened = editor.WaitUntil(5000, [&] {
                return editor.Pictures.size() > seen && (shown = run.Shown(qRgb(0, 190, 255))) == QSize(83, 47);
            });
            run.Shot(QStringLiteral("drop-%1").arg(name));
            Report(opened && ended && action != QLatin1String("0") &&
                       editor.Pictures.last().startsWith(QLatin1String("TBitmap 83 47")),
                   QStringLiteral("a bitmap dragged onto the picture opens (action %1, seen %2, %3)")
                       .arg(action, SizeText(shown), editor.Pictures.value(editor.Pictures.size() - 1)));
        } else {
            editor.WaitUntil(1500, [] { return false; });
            run.Shot(QStringLiteral("drop-%1").arg(name));
            Report(ended && action == QLatin1String("0") && editor.Pictures.size() == seen && VisibleWindows() == 1,
                   QStringLiteral("a text file dragged onto the picture is refused without a message (action %1, "
                                  "%2 windows)")
                       .arg(action)
                       .arg(VisibleWindows()));
        }
        if (!source.waitForFinished(5000))
            source.kill();
        source.waitForFinished(5000);
    }
    editor.FocusMain();
    Keys({QStringLiteral("ctrl+q")});
    if (!editor.Process.waitForFinished(10000 * gSlowdown))
        editor.Process.kill();
    editor.Process.waitForFinished(5000);
}

}  // namespace

int main(int argc, char** argv)
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
    if (!work.isValid() || !xvfb.Start(work.filePath(QStringLiteral("xvfb.log")), display)) {
        std::printf("FAIL Xvfb does not start\n");
        return 1;
    }
    qputenv("DISPLAY", display.toLatin1());
    qputenv("QT_QPA_PLATFORM", "xcb");
    QGuiApplication app(argc, argv);
    const QString shots = argc > 2 ? QString::fromLocal8Bit(argv[2]) : QString();
    if (!shots.isEmpty())
        QDir().mkpath(shots);

    const QRgb magenta = qRgb(255, 0, 255);
    const QString small = work.filePath(QStringLiteral("small.bmp"));
    const QString large = work.filePath(QStringLiteral("large.bmp"));
    const QString huge = work.filePath(QStringLiteral("huge.bmp"));
    const QString saved = work.filePath(QStringLiteral("saved.bmp"));
    const QString raw = work.filePath(QStringLiteral("grey.raw"));
    {
        QFile file(raw);
        if (!file.open(QIODevice::WriteOnly) || file.write(QByteArray(320 * 300, char(100))) != 320 * 300) {
            std::printf("FAIL the RAW test file cannot be written\n");
            return 1;
        }
    }
    if (!WriteBmp(small, 101, 61, magenta) || !WriteBmp(large, 1920, 1080, qRgb(200, 40, 40)) ||
        !WriteBmp(huge, 4000, 3000, qRgb(40, 160, 40))) {
        std::printf("FAIL the test pictures cannot be written\n");
        return 1;
    }

    TEditor editor;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DISPLAY"), display);
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    environment.insert(QStringLiteral("KADRIMEX_TEST_PROBE"), QStringLiteral("1"));
    if (environment.contains(QStringLiteral("ASAN_OPTIONS"))) {
        // On a real display Qt talks to the session bus, whose library keeps
        // a buffer to the end; the editor's own leaks are still reported.
        const QString suppressions = work.filePath(QStringLiteral("lsan.supp"));
        QFile file(suppressions);
        if (file.open(QIODevice::WriteOnly))
            file.write("leak:libdbus-1.so\n");
        file.close();
        const QString lsan = environment.value(QStringLiteral("LSAN_OPTIONS"));
        environment.insert(QStringLiteral("LSAN_OPTIONS"),
                           (lsan.isEmpty() ? QString() : lsan + u':') + QStringLiteral("suppressions=") + suppressions);
    }
    editor.Process.setProcessEnvironment(environment);
    editor.Process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    editor.Process.start(QString::fromLocal8Bit(argv[1]), {});
    TRun run(editor, shots);
    QElapsedTimer clock;
    clock.start();

    const bool shown = editor.WaitUntil(10000, [&] {
        return !editor.Window.isEmpty() && !editor.Rect("ProgressPanel").isEmpty() &&
               !editor.Rect("ZoomComboBox").isEmpty() && !editor.Rect("MainScrollBox").isEmpty();
    }) && run.TakeIdleGauge();
    Report(shown, QStringLiteral("the editor shows its window with the idle gauge"));
    if (!shown) {
        editor.Process.kill();
        std::printf("%d passed, %d failed\n", gPassed, gFailed);
        return 1;
    }
    run.Shot(QStringLiteral("start"));

    // Open by Ctrl+O and the dialog; the picture shows at 100 %.
    bool opened = OpenPicture(editor, small, false);
    Report(opened && editor.WaitUntil(3000, [&] { return run.Shown(magenta) == QSize(101, 61); }),
           QStringLiteral("Ctrl+O and the open dialog show the 101x61 picture"));

    if (opened)
        ZoomCases(run, magenta);

    // Save as by Ctrl+S and the dialog: the first filter writes a bitmap.
    editor.FocusMain();
    Keys({QStringLiteral("ctrl+s")});
    const bool saveAsked = editor.WaitForFocus(kSaveTitle);
    if (saveAsked)
        EnterPath(editor, saved, 2);
    const QImage written(saved);
    Report(saveAsked && written.size() == QSize(101, 61) && written.pixel(50, 30) == magenta,
           QStringLiteral("Ctrl+S and the save dialog write the picture to a bitmap"));

    // FFT by its button; the 24-bit picture gets the confirmation, answered Y.
    opened = OpenPicture(editor, large, true);
    Report(opened && editor.WaitUntil(3000, [&] { return run.Shown(qRgb(200, 40, 40)).width() > 100; }),
           QStringLiteral("the open button and the dialog show the 1920x1080 picture"));
    if (opened) {
        const qsizetype seen = editor.Statuses.size();
        Click(editor.Centre("FFTSpeedButton"));
        if (editor.WaitForFocus(QStringLiteral("No to dawaj."))) {
            Keys({QStringLiteral("y")});
            run.FinishRun(QStringLiteral("FFT"), seen, 30000);
        } else {
            Report(false, QStringLiteral("FFT asks for confirmation"));
        }
    }

    // Gauss blur by its button and its dialog, level typed in.
    if (opened) {
        const qsizetype seen = editor.Statuses.size();
        const bool launched = LaunchGauss(editor, QStringLiteral("30"));
        Report(launched, QStringLiteral("Gauss blur opens its dialog"));
        if (launched)
            run.FinishRun(QStringLiteral("Gauss"), seen, 30000, false);
    }

    // A long Gauss blur: during it File > Open is locked and Save as is not;
    // a click on the gauge asks whether to stop, answered Y.
    opened = OpenPicture(editor, huge, false);
    Report(opened, QStringLiteral("the 4000x3000 picture opens"));
    const bool longLaunched = opened && LaunchGauss(editor, kLongBlur);
    Report(longLaunched, QStringLiteral("the long blur is launched"));
    if (longLaunched) {
        const qsizetype seen = editor.Statuses.size();
        const bool running = editor.WaitUntil(10000, [&] { return !run.GaugeIdle(); });
        Report(running, QStringLiteral("the long blur runs"));
        editor.FocusMain();
        // Ctrl+O first: an open dialog would take Ctrl+S if it came.
        Keys({QStringLiteral("ctrl+o"), QStringLiteral("ctrl+s")});
        const bool saveFirst = editor.WaitUntil(5000, [&] {
            const QString name = FocusedWindowName();
            return name == kSaveTitle || name == kOpenTitle;
        }) && FocusedWindowName() == kSaveTitle;
        Report(saveFirst, QStringLiteral("while it runs Ctrl+O does nothing and Ctrl+S asks where to save"));
        CloseDialogs(editor);
        Click(editor.Centre("ProgressPanel"));
        const bool asked = editor.WaitForFocus(QStringLiteral("Co ty niby robisz, co?"));
        run.Shot(QStringLiteral("cancel-question"));
        const bool stillRunning = !editor.Statuses.mid(seen).contains(kDone);
        Keys({QStringLiteral("y")});
        Report(asked && stillRunning, QStringLiteral("a click on the gauge asks whether to stop the running blur"));
        QElapsedTimer answered;
        answered.start();
        const bool stopped = editor.WaitForStatus(seen, kDone, 3000);
        Report(stopped, QStringLiteral("the blur stops soon after Yes (%1 ms)").arg(answered.elapsed()));
        run.FinishRun(QStringLiteral("cancel"), seen, 30000, false);

        editor.FocusMain();
        Keys({QStringLiteral("ctrl+o")});
        Report(editor.WaitForFocus(kOpenTitle), QStringLiteral("after the run Ctrl+O opens the open dialog again"));
        CloseDialogs(editor);
    }

    // Flip/rotate by its button and the keyboard: Down moves the choice from
    // "Odbij poziomo" to "Rotate", Tab reaches the angle box and then
    // "Enlarge bitmap"; Enter there confirms. A quarter turn of the enlarged
    // 101x61 picture shows 61x101.
    opened = OpenPicture(editor, small, true);
    Report(opened, QStringLiteral("the 101x61 picture opens again"));
    if (opened) {
        const qsizetype seen = editor.Statuses.size();
        editor.FocusMain();
        Click(editor.Centre("FlipRotateSpeedButton"));
        const bool asked = editor.WaitForFocus(QStringLiteral("Swap and rotate"));
        Report(asked, QStringLiteral("the flip/rotate button opens \"Swap and rotate\""));
        if (asked) {
            Keys({QStringLiteral("Down"), QStringLiteral("Tab"), QStringLiteral("ctrl+a")});
            Type(QStringLiteral("1.57079632679489"));
            run.Shot(QStringLiteral("rotate-dialog"));
            Keys({QStringLiteral("Tab"), QStringLiteral("space"), QStringLiteral("Return")});
            QSize shownSize;
            const bool turned = editor.WaitForStatus(seen, kDone, 10000) &&
                                editor.WaitUntil(3000, [&] { return (shownSize = run.Shown(magenta)) == QSize(61, 101); });
            Report(turned && editor.Statuses.mid(seen).contains(QStringLiteral("Robiem obicie lub obrót...")),
                   QStringLiteral("a quarter turn with the bitmap enlarged shows 61x101 (seen %1)").arg(SizeText(shownSize)));
            run.Shot(QStringLiteral("rotate-done"));
        }
    }

    // Colour depth by its button: Alt+G ticks "Convert to grayscale" (a
    // mnemonic clicks after a short animation, so Enter waits for it), Enter
    // confirms; the picture turns black and white at once, with no status
    // text of its own.
    if (opened) {
        const qsizetype seen = editor.Statuses.size();
        editor.FocusMain();
        Click(editor.Centre("ColorDepthSpeedButton"));
        const bool asked = editor.WaitForFocus(QStringLiteral("Image color depth"));
        Report(asked, QStringLiteral("the colour depth button opens \"Image color depth\""));
        if (asked) {
            Keys({QStringLiteral("alt+g")});
            editor.WaitUntil(500, [] { return false; });
            Keys({QStringLiteral("Return")});
            auto twoColours = [&] {
                const QImage view = Grab(editor.Rect("MainScrollBox")).copy(0, 0, 61, 101);
                int black = 0, white = 0;
                for (int y = 0; y < view.height(); ++y)
                    for (int x = 0; x < view.width(); ++x) {
                        black += view.pixel(x, y) == qRgb(0, 0, 0);
                        white += view.pixel(x, y) == qRgb(255, 255, 255);
                    }
                return black > 0 && white > 0 && black + white == view.width() * view.height();
            };
            const bool grey = editor.WaitUntil(3000, [&] { return VisibleWindows() == 1 && twoColours(); });
            run.Shot(QStringLiteral("depth-done"));
            Report(grey && editor.Statuses.size() == seen,
                   QStringLiteral("\"Convert to grayscale\" and Enter show the picture in black and white"));
        }
        CloseDialogs(editor);
    }

    // Before the RAW cases, whose filter the open dialog keeps.
    const QString stripes = work.filePath(QStringLiteral("stripes.bmp"));
    if (WriteStripes(stripes))
        TonalCases(run, stripes, work.path());
    else
        Report(false, QStringLiteral("the stripes picture can be written"));
    CloseDialogs(editor);

    // Before the RAW cases, which leave the open dialog on the RAW filter.
    UndoCases(run, small, huge);
    RawImportCases(run, raw);

    // Exit by Ctrl+Q.
    editor.FocusMain();
    Keys({QStringLiteral("ctrl+q")});
    const bool quit = editor.Process.waitForFinished(10000 * gSlowdown);
    Report(quit && editor.Process.exitStatus() == QProcess::NormalExit && editor.Process.exitCode() == 0,
           QStringLiteral("Ctrl+Q closes the editor (exit code %1)").arg(editor.Process.exitCode()));
    if (!quit)
        editor.Process.kill();
    editor.Process.waitForFinished(5000);

    FileArgumentCase(environment, QString::fromLocal8Bit(argv[1]), small, shots);
    DropCases(environment, QString::fromLocal8Bit(argv[1]), work.path(), shots);

    std::printf("real-input run took %lld ms\n", clock.elapsed());
    std::printf("%d passed, %d failed\n", gPassed, gFailed);
    return gFailed == 0 ? 0 : 1;
}
