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

using namespace Qt::StringLiterals;

constexpr int kSkipped = 77;

int gPassed = 0;
int gFailed = 0;
// Deadlines are stretched in the sanitizer build, whose editor runs slower.
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
        display = u':' + QString::fromStdString(number);
        return true;
    }

private:
    pid_t FPid = -1;
};

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
QRect WindowRect(const QString& title, QString* id = nullptr)
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

const QString kOpenTitle = u"Zapodaj jakiegoś wypasionego obrazka"_s;
const QString kSaveTitle = u"Zapisz obrazek do pliku"_s;
const QString kCancelTitle = u"Co ty niby robisz, co?"_s;
const QString kDone = u"No i pozamiatane."_s;

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
    QImage IdleGauge;
    qsizetype SeenPictures = 0;

    void Start(const QStringList& args = {})
    {
        Process.setProcessEnvironment(gEnvironment);
        Process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        Process.start(gEditorPath, args);
    }

    // Ctrl+Q; true when the editor ends by itself, else it is killed.
    bool Quit()
    {
        FocusMain();
        Keys(u"ctrl+q"_s);
        const bool quit = Process.waitForFinished(10000 * gSlowdown);
        if (!quit)
            Process.kill();
        Process.waitForFinished(5000);
        return quit;
    }

    void Read()
    {
        while (Process.canReadLine()) {
            const QString line = QString::fromUtf8(Process.readLine()).chopped(1);
            const QStringList words = line.split(u' ');
            const QString kind = words.value(0);
            if (kind == "window"_L1)
                Window = words.value(1);
            else if (kind == "geometry"_L1 && words.size() == 6)
                Widgets[words[1]] = QRect(words[2].toInt(), words[3].toInt(), words[4].toInt(), words[5].toInt());
            else if (kind == "status"_L1)
                Statuses << line.mid(7);
            else if (kind == "picture"_L1)
                Pictures << line.mid(8);
            else if (kind == "undo"_L1)
                UndoStates << line;
            else if (kind == "raw-preview"_L1 && words.size() == 3)
                RawPreviews << QSize(words[1].toInt(), words[2].toInt());
        }
    }

    QRect Rect(const char* name) const
    {
        const auto it = Widgets.find(QLatin1String(name));
        return it == Widgets.end() ? QRect() : it->second;
    }

    QPoint Centre(const char* name) const { return Rect(name).center(); }
    QString LastPicture() const { return Pictures.value(Pictures.size() - 1); }
    QImage View() { return Grab(Rect("MainScrollBox")); }
    QSize Shown(QRgb colour) { return ShownSize(View(), colour); }
    QImage Gauge() { return Grab(Rect("ProgressPanel")); }
    bool GaugeIdle() { return Gauge() == IdleGauge; }

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

    void Pause(int ms) { WaitUntil(ms, [] { return false; }); }

    // The main window gets the X input focus, as a window manager would
    // give it on a click.
    void FocusMain() { Xdo({u"windowfocus"_s, u"--sync"_s, Window}); }

    bool WaitForFocus(const QString& title, int ms = 5000)
    {
        return WaitUntil(ms, [&] { return FocusedWindowName() == title; });
    }

    // Waits for the next status text after the `seen` first ones.
    bool WaitForStatus(qsizetype seen, const QString& text, int ms)
    {
        return WaitUntil(ms, [&] { return Statuses.mid(seen).contains(text); });
    }

    // Presses `keys` on the main window, or clicks its widget `button`, and
    // waits for the window titled `title`.
    bool AskByKeys(const QString& keys, const QString& title)
    {
        FocusMain();
        Keys(keys);
        return WaitForFocus(title);
    }
    bool AskByClick(const char* button, const QString& title)
    {
        FocusMain();
        Click(Centre(button));
        return WaitForFocus(title);
    }

    void NotePictures() { SeenPictures = Pictures.size(); }
    void PressNoting(const QString& keys)
    {
        FocusMain();
        NotePictures();
        Keys(keys);
    }
    // Waits for a picture after the noted ones and returns the last.
    QString NextPicture()
    {
        WaitUntil(10000, [&] { return Pictures.size() > SeenPictures; });
        return Pictures.size() > SeenPictures ? LastPicture() : QString();
    }

    // The idle gauge as first drawn: black with the white word.
    bool TakeIdleGauge()
    {
        return WaitUntil(5000, [&] {
            const QImage gauge = Gauge();
            if (gauge.isNull() || Count(gauge, qRgb(0, 0, 0)) < gauge.width() * gauge.height() / 2 ||
                Count(gauge, qRgb(255, 255, 255)) == 0)
                return false;
            IdleGauge = gauge;
            return true;
        });
    }

    // Runs an operation already launched: the gauge must show a percentage
    // while it runs and the idle gauge as soon as the status says it is done.
    void FinishRun(const QString& what, qsizetype seen, int ms, bool needPercentage = true)
    {
        const bool running = WaitUntil(ms, [&] { return !GaugeIdle() || Statuses.mid(seen).contains(kDone); }) &&
                             !GaugeIdle();
        if (running)
            Shot(what + u"-running"_s);
        if (needPercentage)
            Report(running, what + u": the gauge shows a percentage while it runs"_s);
        const bool done = WaitForStatus(seen, kDone, ms);
        Report(done, what + u": the status reads \"No i pozamiatane.\""_s);
        if (!done)
            return;
        const bool idle = WaitUntil(1000, [&] { return GaugeIdle(); });
        Shot(what + u"-done"_s);
        Report(idle, what + u": the gauge reads \"gotowy\" at completion"_s);
    }
};

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

// A Gauss level that keeps the 4000x3000 picture busy for over a minute, so
// the question of the gauge is answered while it still runs.
const QString kLongBlur = u"1500"_s;

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

// Ticks "Convert to grayscale" in the colour depth dialog by Alt+G (a
// mnemonic clicks after a short animation, so Enter waits for it) and
// confirms with Enter.
bool ConvertToGrey(TEditor& editor)
{
    if (!editor.AskByClick("ColorDepthSpeedButton", u"Image color depth"_s))
        return false;
    Keys(u"alt+g"_s);
    editor.Pause(500);
    Keys(u"Return"_s);
    return true;
}

void ZoomCases(TEditor& editor, QRgb colour)
{
    // The picture is 101x61; a side is rounded half to even and at least 1.
    // "3" and "7" must stay as typed, not become 300 or 75 from the list.
    static const struct {
        const char* keys;  // typed into the box, or "pick:N", the N-th list item
        const char* enter;
        QSize shown;
    } cases[] = {
        {"10", "Return", {10, 6}},        {"3", "KP_Enter", {3, 2}},        {"150", "Return", {152, 92}},
        {"-50", "KP_Enter", {50, 30}},    {"abc", "Return", {101, 61}},     {"0", "Return", {1, 1}},
        {"7", "Return", {7, 4}},          {"pick:7", "Return", {303, 183}}, {"pick:2", "KP_Enter", {50, 30}},
        {"25\bBackSpace", "Return", {2, 1}},
    };
    const QRect box = editor.Rect("ZoomComboBox");
    for (const auto& c : cases) {
        const QString keys = QString::fromLatin1(c.keys);
        editor.FocusMain();
        if (keys.startsWith("pick:"_L1)) {
            // The arrow opens the list; Home and Down walk it, Return picks.
            Click(QPoint(box.right() - 6, box.center().y()));
            if (!editor.WaitUntil(3000, [] { return VisibleWindows() == 2; })) {
                Report(false, u"zoom list opens"_s);
                continue;
            }
            Keys(u"Home"_s + u" Down"_s.repeated(keys.mid(5).toInt()) + u" Return"_s);
            editor.WaitUntil(3000, [] { return VisibleWindows() == 1; });
        } else {
            Click(QPoint(box.left() + 8, box.center().y()));
            Keys(u"ctrl+a"_s);
            const qsizetype extra = keys.indexOf(u'\b');
            Type(keys.left(extra));
            if (extra >= 0)
                Keys(keys.mid(extra + 1));
        }
        Keys(QString::fromLatin1(c.enter));
        QSize shown;
        const bool ok = editor.WaitUntil(2000, [&] { return (shown = editor.Shown(colour)) == c.shown; });
        Report(ok, u"zoom %1 + %2 shows %3 (seen %4)"_s.arg(QString(keys).replace(u'\b', u' '),
                                                            QString::fromLatin1(c.enter), SizeText(c.shown),
                                                            SizeText(shown)));
        if (c.shown == QSize(10, 6))
            Shot(u"zoom-10"_s);
    }
}

// A headerless file through Open's RAW filter: the RAW dialog shows it at
// once, each keystroke in the line limit box (reached by its Alt+L
// mnemonic) shows a new preview, and Enter imports the limited picture.
void RawImportCases(TEditor& editor, const QString& path)
{
    const QRgb grey = qRgb(100, 100, 100);  // byte 100 on the grey palette
    if (!editor.AskByKeys(u"ctrl+o"_s, kOpenTitle)) {
        Report(false, u"RAW: Ctrl+O opens the open dialog"_s);
        return;
    }
    // Tab goes from the file name box to the filter list, where "R" picks
    // "RAW files (*.*)"; the path is typed after, so the dialog checks it
    // against that filter.
    Keys(u"Tab R shift+Tab"_s);
    EnterPath(editor, path, 2);
    const bool shown = editor.WaitForFocus(u"Open a file without header (RAW)"_s) &&
                       editor.WaitUntil(5000, [&] { return editor.RawPreviews.contains(QSize(320, 300)); });
    Report(shown, u"RAW: the filter routes to the RAW dialog, which shows the 320x300 picture"_s);
    if (!shown) {
        CloseDialogs(editor);
        return;
    }
    Shot(u"raw-dialog"_s);
    const qsizetype seen = editor.RawPreviews.size();
    auto previewed = [&](int lines) {
        return editor.WaitUntil(3000, [&] { return editor.RawPreviews.mid(seen).contains(QSize(320, lines)); });
    };
    Keys(u"alt+l ctrl+a"_s);
    Type(u"6"_s);
    const bool first = previewed(6);
    Type(u"4"_s);
    Report(first && previewed(64), u"RAW: typing 6 and 4 in the limit box shows 6, then 64 lines"_s);
    Shot(u"raw-dialog-limit-64"_s);
    Keys(u"Return"_s);
    const bool closed = editor.WaitUntil(5000, [] { return VisibleWindows() == 1; });
    QSize imported;
    const bool ok = closed && editor.WaitUntil(3000, [&] { return (imported = editor.Shown(grey)) == QSize(320, 64); });
    Report(ok, u"RAW: Enter imports the 320x64 picture (seen %1)"_s.arg(SizeText(imported)));
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

// The curves dialog over the stripes picture: its toolbar button opens it,
// the histogram comes in the seven series colours, a drag along the value
// 60 from 20 to 240 flattens the curve there, and Process sets every byte of
// the first four stripes to that one value and leaves the fifth alone. Then
// levels, by its button and Enter, equalises the result (all channels).
void TonalCases(TEditor& editor, const QString& stripes, const QString& work)
{
    if (!OpenPicture(editor, stripes, false)) {
        Report(false, u"curves: the stripes picture opens"_s);
        return;
    }
    editor.FocusMain();
    Click(editor.Centre("CurvesSpeedButton"));
    QString dialogId;
    QRect dialog;
    const bool shown =
        editor.WaitUntil(5000, [&] { return !(dialog = WindowRect(u"Histogram"_s, &dialogId)).isEmpty(); });
    Report(shown, u"the curves button opens \"Histogram\""_s);
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
    Shot(u"curves-histogram"_s);
    QString bands;
    for (const QRect& box : boxes)
        bands += u" "_s + SizeText(box.size());
    Report(histogram, u"curves: the histogram shows in its seven colours (bands%1)"_s.arg(bands));
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
        return XY(QPoint(qRound(red.left() + (x - 40) * perValue), qRound(red.bottom() + 1 - y * perUnit)));
    };
    QStringList drag = QStringList{u"mousemove"_s} + at(20.5, 60.5) + QStringList{u"mousedown"_s, u"1"_s};
    for (int x = 30; x <= 240; x += 10)
        drag << u"sleep"_s << u"0.03"_s << u"mousemove"_s << at(x + 0.5, 60.5);
    Xdo(drag << u"mouseup"_s << u"1"_s);
    editor.Pause(300);
    Shot(u"curves-dragged"_s);
    const qsizetype seenStatus = editor.Statuses.size();
    Xdo({u"windowfocus"_s, u"--sync"_s, dialogId});
    Keys(u"alt+p"_s);
    const bool processed = editor.WaitForStatus(seenStatus, kDone, 10000) &&
                           editor.Statuses.mid(seenStatus).contains(u"Wykrzywiam (mnożę przez krzywą)..."_s);
    Report(processed, u"curves: Process runs the curve (\"Wykrzywiam (mnożę przez krzywą)...\")"_s);
    const QImage curved = SaveShown(editor, work + u"/curved.bmp"_s);
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
           u"curves: the drag at 60 sets the dragged tones to one value (%1) and keeps the others"_s.arg(level));
    if (!flat || !kept || level < 0)
        return;

    // Levels on the result: equalise is the default; "Zapodaj" sits 138
    // pixels left of the dialog's right edge and 29 above its bottom. Each
    // channel has 20000 pixels at `level` and 500 at each of 246-255.
    const bool asked = editor.AskByClick("AutoLevelsButton", u"Histogram levels"_s);
    Shot(u"levels-dialog"_s);
    const QRect levels = WindowRect(u"Histogram levels"_s);
    Click(QPoint(levels.right() - 138, levels.bottom() - 29));
    const bool closed = asked && editor.WaitUntil(5000, [] { return VisibleWindows() == 1; });
    editor.Pause(300);
    const QImage levelled = closed ? SaveShown(editor, work + u"/levelled.bmp"_s) : QImage();
    auto equalised = [&](int v) {
        const long double cum = v < level ? 0 : v < 246 ? 20000 : 20000 + 500 * (v - 245);
        return int(cum / 25000 * 255);
    };
    bool exact = levelled.size() == QSize(250, 100);
    for (int y = 0; exact && y < 100; ++y)
        for (int x = 0; exact && x < 250; ++x) {
            const int v = equalised(qRed(curved.pixel(x, y)));
            exact = levelled.pixel(x, y) == qRgb(v, v, v);
        }
    Report(asked && exact,
           u"levels: its button and \"Zapodaj\" equalise the picture (%1 -> %2)"_s.arg(level).arg(equalised(level)));
}

// Undo and Redo by their keys and buttons: each gives back the exact picture
// (the probe's hash of its bytes) of Gauss, New, colour depth and Open; both
// are off while an operation runs (see the long blur of EditorCases).
void UndoCases(TEditor& editor, const QString& small)
{
    // A blur changes only a picture with detail: a 101x61 gradient.
    const QString detailed = small + u".gradient.bmp"_s;
    {
        QImage gradient(101, 61, QImage::Format_RGB32);
        for (int y = 0; y < 61; ++y)
            for (int x = 0; x < 101; ++x)
                gradient.setPixel(x, y, qRgb(x * 2, y * 4, (x * y) % 256));
        gradient.save(detailed, "BMP");
    }
    CloseDialogs(editor);
    if (!OpenPicture(editor, detailed, false)) {
        Report(false, u"undo: the 101x61 picture opens"_s);
        return;
    }
    editor.WaitUntil(3000, [&] { return editor.LastPicture().startsWith("TBitmap 101 61"_L1); });
    const QString original = editor.LastPicture();
    const QImage originalView = editor.View();

    editor.NotePictures();
    if (!LaunchGauss(editor, u"5"_s)) {
        Report(false, u"undo: Gauss opens its dialog"_s);
        return;
    }
    const QString blurred = editor.NextPicture();
    Shot(u"undo-gauss-done"_s);
    const QImage blurredView = editor.View();

    editor.PressNoting(u"ctrl+z"_s);
    const QString undone = editor.NextPicture();
    const bool backShown = editor.WaitUntil(3000, [&] { return editor.View() == originalView; });
    Report(!blurred.isEmpty() && blurred != original && undone == original && backShown,
           u"Gauss, then Ctrl+Z gives back the exact picture (%1 -> %2 -> %3)"_s.arg(original, blurred, undone));
    editor.PressNoting(u"ctrl+shift+z"_s);
    const QString redone = editor.NextPicture();
    const bool blurShown = editor.WaitUntil(3000, [&] { return editor.View() == blurredView; });
    Report(redone == blurred && blurShown, u"Ctrl+Shift+Z gives back the blurred bytes (%1)"_s.arg(redone));
    editor.NotePictures();
    Click(editor.Centre("UndoButton"));
    const QString byButton = editor.NextPicture();
    editor.PressNoting(u"ctrl+y"_s);
    Report(byButton == original && editor.NextPicture() == blurred,
           u"the Undo button and Ctrl+Y undo and redo the blur"_s);

    // New, colour depth and Open, each undone to the blurred picture.
    const std::pair<QString, std::function<bool()>> steps[] = {
        {u"New"_s,
         [&] {
             if (!editor.AskByKeys(u"ctrl+n"_s, u"Create an empty image"_s))
                 return false;
             Keys(u"Return"_s);
             return true;
         }},
        {u"colour depth"_s,
         [&] {
             // The dialog keeps "Convert to grayscale" from its last use, so
             // Alt+G may untick it: then the picture stays and a second
             // round ticks it.
             for (int round = 0; round < 2; ++round) {
                 const qsizetype before = editor.Pictures.size();
                 if (!ConvertToGrey(editor))
                     return false;
                 editor.WaitUntil(3000, [&] { return editor.Pictures.size() > before; });
                 if (editor.LastPicture() != blurred)
                     break;
             }
             return true;
         }},
        {u"Open"_s, [&] { return OpenPicture(editor, small, true); }},
    };
    for (const auto& [what, change] : steps) {
        editor.NotePictures();
        const bool changed = change();
        const QString after = editor.NextPicture();
        Shot(u"undo-"_s + QString(what).replace(u' ', u'-'));
        editor.PressNoting(u"ctrl+z"_s);
        const QString back = editor.NextPicture();
        Report(changed && !after.isEmpty() && after != blurred && back == blurred,
               what + u" (%1), then Ctrl+Z gives back the blurred picture"_s.arg(after));
        CloseDialogs(editor);
    }
}

// `kadrimex FILE` shows FILE instead of the initial picture.
void FileArgumentCase(const QString& file)
{
    TEditor editor;
    editor.Start({file});
    const bool shown = editor.WaitUntil(10000, [&] {
        return !editor.Pictures.isEmpty() && !editor.Rect("MainScrollBox").isEmpty() &&
               editor.Shown(qRgb(255, 0, 255)) == QSize(101, 61);
    });
    Report(shown && editor.Pictures.size() == 1 && editor.Pictures.first().startsWith("TBitmap 101 61"_L1),
           u"kadrimex FILE shows FILE at 1:1 (%1)"_s.arg(editor.Pictures.join(u',')));
    editor.Quit();
}

// Files dragged from another program's window (tests/app/DragSource.cpp,
// a real drag started by a real press) and released over the picture: a
// bitmap opens, a text file is refused without a message box.
void DropCases(const QString& folder)
{
    const QString bitmap = folder + u"/dropped.bmp"_s;
    const QString text = folder + u"/notes.txt"_s;
    QFile notes(text);
    if (!WriteBmp(bitmap, 83, 47, qRgb(0, 190, 255)) || !notes.open(QIODevice::WriteOnly) || notes.write("x\n") != 2) {
        Report(false, u"the files to drop can be written"_s);
        return;
    }
    notes.close();
    TEditor editor;
    editor.Start();
    if (!editor.WaitUntil(10000, [&] { return !editor.Pictures.isEmpty() && !editor.Rect("MainScrollBox").isEmpty(); })) {
        Report(false, u"the editor starts for the drop checks"_s);
        editor.Process.kill();
        editor.Process.waitForFinished(5000);
        return;
    }
    for (const auto& [file, opens] : {std::pair{bitmap, true}, std::pair{text, false}}) {
        const QString name = file.section(u'/', -1);
        QProcess source;
        source.setProcessEnvironment(gEnvironment);
        source.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        source.start(QStringLiteral(KADRIMEX_DRAG_SOURCE_PATH), {file});
        QRect from;
        QString action;
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
        if (!editor.WaitUntil(10000, [&] { return readSource() && !from.isEmpty(); })) {
            Report(false, u"the drag source shows its window for %1"_s.arg(name));
            source.kill();
            source.waitForFinished(5000);
            continue;
        }
        const qsizetype seen = editor.Pictures.size();
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
        const bool ended = editor.WaitUntil(5000, [&] { return readSource() && !action.isEmpty(); });
        if (opens) {
            QSize shown;
            const bool opened = editor.WaitUntil(5000, [&] {
                return editor.Pictures.size() > seen && (shown = editor.Shown(qRgb(0, 190, 255))) == QSize(83, 47);
            });
            Report(opened && ended && action != "0"_L1 && editor.LastPicture().startsWith("TBitmap 83 47"_L1),
                   u"a bitmap dragged onto the picture opens (action %1, seen %2, %3)"_s.arg(
                       action, SizeText(shown), editor.LastPicture()));
        } else {
            editor.Pause(1500);
            Report(ended && action == "0"_L1 && editor.Pictures.size() == seen && VisibleWindows() == 1,
                   u"a text file dragged onto the picture is refused without a message (action %1, %2 windows)"_s
                       .arg(action)
                       .arg(VisibleWindows()));
        }
        if (!source.waitForFinished(5000))
            source.kill();
        source.waitForFinished(5000);
    }
    editor.Quit();
}

// The main window's commands on one editor run: open, zoom, save, FFT and
// Gauss with the gauge, a long blur with the locks and the cancel question,
// flip/rotate and colour depth by the keyboard, then the tonal, undo and RAW
// cases.
void EditorCases(TEditor& editor, const QTemporaryDir& work)
{
    const QRgb magenta = qRgb(255, 0, 255);
    const QString small = work.filePath(u"small.bmp"_s);
    const QString large = work.filePath(u"large.bmp"_s);
    const QString huge = work.filePath(u"huge.bmp"_s);
    const QString saved = work.filePath(u"saved.bmp"_s);

    // Open by Ctrl+O and the dialog; the picture shows at 100 %.
    bool opened = OpenPicture(editor, small, false);
    Report(opened && editor.WaitUntil(3000, [&] { return editor.Shown(magenta) == QSize(101, 61); }),
           u"Ctrl+O and the open dialog show the 101x61 picture"_s);
    if (opened)
        ZoomCases(editor, magenta);

    // Save as by Ctrl+S and the dialog: the first filter writes a bitmap.
    const QImage written = SaveShown(editor, saved);
    Report(written.size() == QSize(101, 61) && written.pixel(50, 30) == magenta,
           u"Ctrl+S and the save dialog write the picture to a bitmap"_s);

    // FFT by its button; the 24-bit picture gets the confirmation, answered Y.
    opened = OpenPicture(editor, large, true);
    Report(opened && editor.WaitUntil(3000, [&] { return editor.Shown(qRgb(200, 40, 40)).width() > 100; }),
           u"the open button and the dialog show the 1920x1080 picture"_s);
    if (opened) {
        const qsizetype seen = editor.Statuses.size();
        const bool asked = editor.AskByClick("FFTSpeedButton", u"No to dawaj."_s);
        Report(asked, u"FFT asks for confirmation"_s);
        if (asked) {
            Keys(u"y"_s);
            editor.FinishRun(u"FFT"_s, seen, 30000);
        }
    }

    // Gauss blur by its button and its dialog, level typed in.
    if (opened) {
        const qsizetype seen = editor.Statuses.size();
        const bool launched = LaunchGauss(editor, u"30"_s);
        Report(launched, u"Gauss blur opens its dialog"_s);
        if (launched)
            editor.FinishRun(u"Gauss"_s, seen, 30000, false);
    }

    // A long Gauss blur: during it File > Open, Undo and Redo are locked and
    // Save as is not; a click on the gauge asks whether to stop, answered Y,
    // and the partial result is one undo step.
    opened = OpenPicture(editor, huge, false) &&
             editor.WaitUntil(3000, [&] { return editor.LastPicture().startsWith("TBitmap 4000 3000"_L1); });
    Report(opened, u"the 4000x3000 picture opens"_s);
    const qsizetype states = editor.UndoStates.size();
    const bool longLaunched = opened && LaunchGauss(editor, kLongBlur);
    Report(longLaunched, u"the long blur is launched"_s);
    if (longLaunched) {
        const qsizetype seen = editor.Statuses.size();
        Report(editor.WaitUntil(10000, [&] { return !editor.GaugeIdle(); }), u"the long blur runs"_s);
        editor.FocusMain();
        // Ctrl+O first: an open dialog would take Ctrl+S if it came.
        Keys(u"ctrl+o ctrl+s"_s);
        const bool saveFirst = editor.WaitUntil(5000, [&] {
            const QString name = FocusedWindowName();
            return name == kSaveTitle || name == kOpenTitle;
        }) && FocusedWindowName() == kSaveTitle;
        Report(saveFirst, u"while it runs Ctrl+O does nothing and Ctrl+S asks where to save"_s);
        CloseDialogs(editor);
        editor.PressNoting(u"ctrl+z"_s);
        editor.Pause(500);
        Shot(u"undo-during-run"_s);
        Report(editor.UndoStates.mid(states).contains(u"undo off redo off"_s) &&
                   editor.Pictures.size() == editor.SeenPictures && !editor.Statuses.mid(seen).contains(kDone),
               u"while the blur runs Undo and Redo are off and Ctrl+Z changes nothing"_s);
        Click(editor.Centre("ProgressPanel"));
        const bool asked = editor.WaitForFocus(kCancelTitle);
        Shot(u"cancel-question"_s);
        const bool stillRunning = !editor.Statuses.mid(seen).contains(kDone);
        Keys(u"y"_s);
        Report(asked && stillRunning, u"a click on the gauge asks whether to stop the running blur"_s);
        QElapsedTimer answered;
        answered.start();
        const bool stopped = editor.WaitForStatus(seen, kDone, 3000);
        Report(stopped, u"the blur stops soon after Yes (%1 ms)"_s.arg(answered.elapsed()));
        editor.FinishRun(u"cancel"_s, seen, 30000, false);
        const QString partial = editor.NextPicture();
        editor.PressNoting(u"ctrl+z"_s);
        const QString back = editor.NextPicture();
        const QString state = editor.UndoStates.value(editor.UndoStates.size() - 1);
        Report(!partial.isEmpty() && back.startsWith("TBitmap 4000 3000"_L1) && back != partial &&
                   state == u"undo on redo on"_s,
               u"the cancelled blur's partial result is undone; Undo and Redo are on again (%1 -> %2, %3)"_s.arg(
                   partial, back, state));

        Report(editor.AskByKeys(u"ctrl+o"_s, kOpenTitle), u"after the run Ctrl+O opens the open dialog again"_s);
        CloseDialogs(editor);
    }

    // Flip/rotate by its button and the keyboard: Down moves the choice from
    // "Odbij poziomo" to "Rotate", Tab reaches the angle box and then
    // "Enlarge bitmap"; Enter there confirms. A quarter turn of the enlarged
    // 101x61 picture shows 61x101.
    opened = OpenPicture(editor, small, true);
    Report(opened, u"the 101x61 picture opens again"_s);
    if (opened) {
        const qsizetype seen = editor.Statuses.size();
        const bool asked = editor.AskByClick("FlipRotateSpeedButton", u"Swap and rotate"_s);
        Report(asked, u"the flip/rotate button opens \"Swap and rotate\""_s);
        if (asked) {
            Keys(u"Down Tab ctrl+a"_s);
            Type(u"1.57079632679489"_s);
            Shot(u"rotate-dialog"_s);
            Keys(u"Tab space Return"_s);
            QSize shownSize;
            const bool turned = editor.WaitForStatus(seen, kDone, 10000) && editor.WaitUntil(3000, [&] {
                return (shownSize = editor.Shown(magenta)) == QSize(61, 101);
            });
            Report(turned && editor.Statuses.mid(seen).contains(u"Robiem obicie lub obrót..."_s),
                   u"a quarter turn with the bitmap enlarged shows 61x101 (seen %1)"_s.arg(SizeText(shownSize)));
        }
    }

    // Colour depth by its button: "Convert to grayscale" and Enter turn the
    // picture black and white at once, with no status text of its own.
    if (opened) {
        const qsizetype seen = editor.Statuses.size();
        const bool asked = ConvertToGrey(editor);
        Report(asked, u"the colour depth button opens \"Image color depth\""_s);
        if (asked) {
            auto twoColours = [&] {
                const QImage view = editor.View().copy(0, 0, 61, 101);
                const int black = Count(view, qRgb(0, 0, 0)), white = Count(view, qRgb(255, 255, 255));
                return black > 0 && white > 0 && black + white == view.width() * view.height();
            };
            const bool grey = editor.WaitUntil(3000, [&] { return VisibleWindows() == 1 && twoColours(); });
            Report(grey && editor.Statuses.size() == seen,
                   u"\"Convert to grayscale\" and Enter show the picture in black and white"_s);
        }
        CloseDialogs(editor);
    }

    const QString stripes = work.filePath(u"stripes.bmp"_s);
    if (WriteStripes(stripes))
        TonalCases(editor, stripes, work.path());
    else
        Report(false, u"the stripes picture can be written"_s);
    CloseDialogs(editor);

    // Before the RAW cases, which leave the open dialog on the RAW filter.
    UndoCases(editor, small);
    RawImportCases(editor, work.filePath(u"grey.raw"_s));
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

    QFile raw(work.filePath(u"grey.raw"_s));
    if (!raw.open(QIODevice::WriteOnly) || raw.write(QByteArray(320 * 300, char(100))) != 320 * 300) {
        std::printf("FAIL the RAW test file cannot be written\n");
        return 1;
    }
    raw.close();
    if (!WriteBmp(work.filePath(u"small.bmp"_s), 101, 61, qRgb(255, 0, 255)) ||
        !WriteBmp(work.filePath(u"large.bmp"_s), 1920, 1080, qRgb(200, 40, 40)) ||
        !WriteBmp(work.filePath(u"huge.bmp"_s), 4000, 3000, qRgb(40, 160, 40))) {
        std::printf("FAIL the test pictures cannot be written\n");
        return 1;
    }

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
    TEditor editor;
    editor.Start();
    QElapsedTimer clock;
    clock.start();

    const bool shown = editor.WaitUntil(10000, [&] {
        return !editor.Window.isEmpty() && !editor.Rect("ProgressPanel").isEmpty() &&
               !editor.Rect("ZoomComboBox").isEmpty() && !editor.Rect("MainScrollBox").isEmpty();
    }) && editor.TakeIdleGauge();
    Report(shown, u"the editor shows its window with the idle gauge"_s);
    if (!shown) {
        editor.Process.kill();
        std::printf("%d passed, %d failed\n", gPassed, gFailed);
        return 1;
    }
    Shot(u"start"_s);
    EditorCases(editor, work);

    const bool quit = editor.Quit();
    Report(quit && editor.Process.exitStatus() == QProcess::NormalExit && editor.Process.exitCode() == 0,
           u"Ctrl+Q closes the editor (exit code %1)"_s.arg(editor.Process.exitCode()));

    FileArgumentCase(work.filePath(u"small.bmp"_s));
    DropCases(work.path());

    std::printf("real-input run took %lld ms\n", clock.elapsed());
    std::printf("%d passed, %d failed\n", gPassed, gFailed);
    return gFailed == 0 ? 0 : 1;
}
