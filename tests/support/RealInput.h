// The harness of the real-window tests: the editor under its own Xvfb
// server without a window manager, driven only by X input events sent with
// xdotool (key presses reach the window that has the X input focus and there
// the focused widget, clicks land on screen coordinates), and judged by what
// the screen shows (grabs of the root window) and by the editor's test probe
// (KADRIMEX_TEST_PROBE, see app/MainForm.cpp), which reports where its
// widgets are and the status texts it sets. With no window manager nothing
// hands a window the input focus, so a test does that itself (xdotool
// windowfocus) where a desktop would.
//
// A test program calls RunRealInput from main with its cases; it exits 77
// (skipped) when Xvfb or xdotool is missing, and screenshots of the steps go
// to the folder named by its second argument.
#pragma once

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QImage>
#include <QProcess>
#include <QRect>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <csignal>
#include <cstdio>
#include <functional>
#include <map>
#include <string>

#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

namespace realinput {

using namespace Qt::StringLiterals;

inline constexpr int kSkipped = 77;

extern int gPassed;
extern int gFailed;
// Deadlines are stretched in the sanitizer build, whose editor runs slower.
extern int gSlowdown;
extern QString gShots;
extern QString gEditorPath;
extern QProcessEnvironment gEnvironment;

inline const QString kOpenTitle = u"Zapodaj jakiegoś wypasionego obrazka"_s;
inline const QString kSaveTitle = u"Zapisz obrazek do pliku"_s;
inline const QString kCancelTitle = u"Co ty niby robisz, co?"_s;
inline const QString kDone = u"No i pozamiatane."_s;

// A screenshot of the whole screen, SHOT_DIR/NAME.png.
void Shot(const QString& name);
// Prints the outcome; a failure also leaves a screenshot, "fail-N".
void Report(bool ok, const QString& what);

// Runs xdotool and returns what it printed.
QString Xdo(const QStringList& args);
QStringList XY(QPoint at);
// Presses the space-separated keys in turn.
void Keys(const QString& keys);
void Type(const QString& text);
void Click(QPoint at);
QString FocusedWindowName();
// The editor's mapped top-level windows: main window, dialogs, popups.
int VisibleWindows();
// The X window of a visible top-level window titled `title` and its rectangle.
QRect WindowRect(const QString& title, QString* id = nullptr);
QImage Grab(const QRect& rect);
int Count(const QImage& image, QRgb colour);
// A 24-bit BMP of one colour.
bool WriteBmp(const QString& path, int width, int height, QRgb colour);
// The size of the picture shown at the view's top-left corner: the run of
// `colour` along the first row and the first column.
QSize ShownSize(const QImage& view, QRgb colour);
QString SizeText(QSize size);

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
    // Every line the probe printed, in order.
    QStringList Lines;

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
            Lines << line;
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

// Types a path into the focused file dialog and presses Return.
bool EnterPath(TEditor& editor, const QString& path, int windowsWithDialog);
// Escape until only the main window is left.
bool CloseDialogs(TEditor& editor);
// Opens `path` with Ctrl+O (or the toolbar button) and the open dialog.
bool OpenPicture(TEditor& editor, const QString& path, bool byButton);
// Saves the shown picture with Ctrl+S to `path` and reads it back.
QImage SaveShown(TEditor& editor, const QString& path);
// Clicks Gauss blur, types `level` into its dialog and confirms; false when
// the dialog does not come.
bool LaunchGauss(TEditor& editor, const QString& level);

// Starts the editor with `args` and waits for its window with the idle
// gauge; reports the outcome.
bool StartEditor(TEditor& editor, const QStringList& args = {});
// Drags `file` from another program's window (the drag source, a real drag
// started by a real press) and releases it over the picture. `action` is
// the drop action the source saw ("0" when refused); false when the drag
// did not end.
bool DragFile(TEditor& editor, const QString& file, QString& action);

// The body of a test program: KADRIMEX [SHOT_DIR] from the command line,
// an Xvfb server, the editor's environment, then `cases` with a temporary
// folder. Returns the exit status: 0 when every check passed.
int RunRealInput(int argc, char** argv, const std::function<void(const QTemporaryDir& work)>& cases);

}  // namespace realinput
