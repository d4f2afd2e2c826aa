// The view with real input under Xvfb: Ctrl+wheel zooms about the mouse and
// the marked pixel stays under it, Fit to window and 100 %, the pixel
// readout at known pixels, the clipboard with another program both ways,
// and the histogram window following a Gauss blur and its undo. Judged by
// screen grabs and the editor's test probe.
#include "RealInput.h"

#include <QFile>
#include <QImage>

using namespace realinput;

namespace {

constexpr QRgb kBackground = qRgb(40, 90, 160);
constexpr QRgb kMarked = qRgb(255, 0, 0);
constexpr QRgb kGreen = qRgb(0, 255, 0);
// The picture: 800 x 500 of the background with a 2 x 2 red mark at
// (300, 200) and a 10 x 10 green square at (600, 300).
constexpr QPoint kMark(300, 200);
constexpr QPoint kSquare(600, 300);

QImage TestPicture()
{
    QImage image(800, 500, QImage::Format_RGB32);
    image.fill(kBackground);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 2; ++x)
            image.setPixel(kMark + QPoint(x, y), kMarked);
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 10; ++x)
            image.setPixel(kSquare + QPoint(x, y), kGreen);
    return image;
}

// The first probe line after the `seen` first ones that starts with
// `prefix`, waited for.
QString NextLine(TEditor& editor, qsizetype seen, const QString& prefix, int ms = 5000)
{
    QString found;
    editor.WaitUntil(ms, [&] {
        for (qsizetype i = seen; i < editor.Lines.size(); ++i)
            if (editor.Lines[i].startsWith(prefix)) {
                found = editor.Lines[i];
                return true;
            }
        return false;
    });
    return found;
}

QString LastLine(const TEditor& editor, const QString& prefix)
{
    for (qsizetype i = editor.Lines.size() - 1; i >= 0; --i)
        if (editor.Lines[i].startsWith(prefix))
            return editor.Lines[i];
    return {};
}

QPoint ViewOrigin(const TEditor& editor)
{
    return editor.Rect("MainScrollBox").topLeft();
}

// Red pixels in the square of side 2 * `reach` around `at`.
int MarkedAround(QPoint at, int reach)
{
    return Count(Grab(QRect(at - QPoint(reach, reach), QSize(2 * reach, 2 * reach))), kMarked);
}

// The top left red pixel of a grab of the view; (-1, -1) when none shows.
QPoint FindMark(const QImage& view)
{
    for (int y = 0; y < view.height(); ++y)
        for (int x = 0; x < view.width(); ++x)
            if (view.pixel(x, y) == kMarked)
                return {x, y};
    return {-1, -1};
}

void ReadoutCases(TEditor& editor)
{
    const struct {
        QPoint pixel;
        const char* text;
    } cases[] = {{{5, 7}, "5, 7: R 40 G 90 B 160"},
                 {kMark + QPoint(1, 1), "301, 201: R 255 G 0 B 0"},
                 {kSquare + QPoint(9, 0), "609, 300: R 0 G 255 B 0"}};
    for (const auto& step : cases) {
        const qsizetype seen = editor.Lines.size();
        Xdo(QStringList{u"mousemove"_s} + XY(ViewOrigin(editor) + step.pixel));
        const QString line = NextLine(editor, seen, u"readout"_s);
        Report(line == u"readout "_s + QLatin1String(step.text),
               u"the readout over pixel %1, %2 reads \"%3\" (got \"%4\")"_s.arg(step.pixel.x())
                   .arg(step.pixel.y())
                   .arg(QLatin1String(step.text), line.mid(8)));
    }
    Shot(u"readout"_s);
}

void WheelCases(TEditor& editor)
{
    const QPoint mark = ViewOrigin(editor) + kMark;
    Xdo(QStringList{u"mousemove"_s} + XY(mark));
    editor.Pause(200);
    // Button 4 is the wheel turned up (zoom in), 5 down (zoom out).
    const struct {
        const char* button;
        const char* zoom;
        int side;  // of the red mark on the screen
    } steps[] = {{"4", "zoom 200 1600 1000", 4}, {"4", "zoom 400 3200 2000", 8}, {"5", "zoom 200 1600 1000", 4},
                 {"5", "zoom 100 800 500", 2}};
    for (const auto& step : steps) {
        const qsizetype seen = editor.Lines.size();
        Xdo({u"keydown"_s, u"ctrl"_s, u"click"_s, QLatin1String(step.button), u"keyup"_s, u"ctrl"_s});
        const QString zoom = NextLine(editor, seen, u"zoom"_s);
        Report(zoom == QLatin1String(step.zoom),
               u"Ctrl+wheel %1 gives \"%2\" (got \"%3\")"_s.arg(QLatin1String(step.button), QLatin1String(step.zoom),
                                                                zoom));
        // The mark covers the mouse's pixel, at its new size.
        const int expected = step.side * step.side;
        const bool stays = editor.WaitUntil(3000, [&] {
            return Grab(QRect(mark, QSize(1, 1))).pixel(0, 0) == kMarked && MarkedAround(mark, 12) == expected;
        });
        Shot(u"wheel-%1"_s.arg(QString::fromLatin1(step.zoom).section(u' ', 1, 1)));
        Report(stays, u"at %1 the marked pixel stays under the mouse, %2 x %2 screen pixels (%3 red around it)"_s
                          .arg(QString::fromLatin1(step.zoom).section(u' ', 1, 1))
                          .arg(step.side)
                          .arg(MarkedAround(mark, 12)));
    }
    // The plain wheel scrolls down and Shift+wheel across, at 400 %: the
    // mark moves straight up, then straight left.
    Xdo({u"keydown"_s, u"ctrl"_s, u"click"_s, u"4"_s, u"click"_s, u"4"_s, u"keyup"_s, u"ctrl"_s});
    NextLine(editor, editor.Lines.size(), u"zoom 400"_s);
    const QPoint start = mark - ViewOrigin(editor);
    editor.WaitUntil(3000, [&] { return FindMark(editor.View()) == start; });
    Xdo({u"click"_s, u"5"_s});
    QPoint up;
    editor.WaitUntil(3000, [&] { return (up = FindMark(editor.View())) != start; });
    Xdo({u"keydown"_s, u"shift"_s, u"click"_s, u"5"_s, u"keyup"_s, u"shift"_s});
    QPoint left;
    editor.WaitUntil(3000, [&] { return (left = FindMark(editor.View())) != up; });
    Shot(u"wheel-scrolled"_s);
    Report(up.x() == start.x() && up.y() < start.y() && left.y() == up.y() && left.x() < up.x(),
           u"the wheel moves the picture up and Shift+wheel moves it left: mark at %1,%2, then %3,%4, then %5,%6"_s
               .arg(start.x()).arg(start.y()).arg(up.x()).arg(up.y()).arg(left.x()).arg(left.y()));
}

void FitCases(TEditor& editor)
{
    const QRect view = editor.Rect("MainScrollBox");
    qsizetype seen = editor.Lines.size();
    editor.FocusMain();
    Keys(u"ctrl+0"_s);
    const QStringList fit = NextLine(editor, seen, u"zoom"_s).split(u' ');
    const QSize shown(fit.value(2).toInt(), fit.value(3).toInt());
    const bool fits = fit.size() == 4 && shown.width() <= view.width() && shown.height() <= view.height() &&
                      (shown.width() * 100 >= view.width() * 98 || shown.height() * 100 >= view.height() * 98);
    const bool painted = editor.WaitUntil(3000, [&] { return editor.Shown(kBackground) == shown; });
    Shot(u"fit"_s);
    Report(fits && painted, u"Ctrl+0 fits the picture in the window: %1, shown %2 in a view of %3"_s.arg(
                                fit.join(u' '), SizeText(editor.Shown(kBackground)), SizeText(view.size())));

    // Over the grey beside the picture the readout is empty.
    seen = editor.Lines.size();
    const QPoint grey = shown.width() + 10 < view.width() ? QPoint(shown.width() + 5, 5) : QPoint(5, shown.height() + 5);
    Xdo(QStringList{u"mousemove"_s} + XY(view.topLeft() + QPoint(5, 5)));
    NextLine(editor, seen, u"readout"_s);
    seen = editor.Lines.size();
    Xdo(QStringList{u"mousemove"_s} + XY(view.topLeft() + grey));
    Report(NextLine(editor, seen, u"readout"_s) == u"readout "_s, u"the readout is empty beside the picture"_s);

    seen = editor.Lines.size();
    editor.FocusMain();
    Keys(u"ctrl+alt+0"_s);
    const QString actual = NextLine(editor, seen, u"zoom"_s);
    const bool one = editor.WaitUntil(3000, [&] { return MarkedAround(view.topLeft() + kMark, 8) == 4; });
    Shot(u"actual-size"_s);
    Report(actual == u"zoom 100 800 500"_s && one,
           u"Ctrl+Alt+0 shows 100 %: \"%1\", the 2 x 2 mark on 4 screen pixels"_s.arg(actual));
}

void ClipboardCases(TEditor& editor, const QTemporaryDir& work, const QImage& picture, QProcess& owner)
{
    Report(LastLine(editor, u"copy"_s) == u"copy on paste off"_s,
           u"Paste is disabled while the clipboard holds no image"_s);

    // Copy: another program reads the picture's exact pixels.
    const qsizetype seen = editor.Lines.size();
    editor.FocusMain();
    Keys(u"ctrl+c"_s);
    editor.WaitForStatus(editor.Statuses.size(), u"Obrazek poszedł do schowka."_s, 5000);
    QProcess reader;
    reader.setProcessEnvironment(gEnvironment);
    const QString copied = work.filePath(u"copied.png"_s);
    reader.start(QStringLiteral(KADRIMEX_CLIPBOARD_TOOL_PATH), {u"get"_s, copied});
    // The editor serves the request by itself.
    reader.waitForFinished(15000);
    const QImage got = QImage(copied).convertToFormat(QImage::Format_RGB32);
    Report(got == picture, u"Ctrl+C gives another program the picture's exact pixels (%1)"_s.arg(SizeText(got.size())));
    Report(!NextLine(editor, seen, u"copy on paste on"_s).isEmpty(), u"Paste is enabled by an image on the clipboard"_s);

    // Paste: an image another program put on the clipboard.
    QImage pasted(120, 80, QImage::Format_RGB32);
    for (int y = 0; y < pasted.height(); ++y)
        for (int x = 0; x < pasted.width(); ++x)
            pasted.setPixel(x, y, qRgb(2 * x, 3 * y, (x * y) & 255));
    const QString file = work.filePath(u"pasted.png"_s);
    pasted.save(file);
    owner.setProcessEnvironment(gEnvironment);
    owner.start(QStringLiteral(KADRIMEX_CLIPBOARD_TOOL_PATH), {u"put"_s, file});
    const bool ready = owner.waitForReadyRead(10000) && owner.readLine().trimmed() == "ready";
    editor.Pause(300);
    const QString original = editor.LastPicture();
    // Typing in the zoom box does not keep Ctrl+V from the picture.
    editor.FocusMain();
    Click(editor.Rect("ZoomComboBox").topLeft() + QPoint(10, editor.Rect("ZoomComboBox").height() / 2));
    editor.Pause(200);
    editor.NotePictures();
    Keys(u"ctrl+v"_s);
    const QString shown = editor.NextPicture();
    const bool exact = editor.WaitUntil(3000, [&] {
        return Grab(QRect(ViewOrigin(editor), pasted.size())) == pasted;
    });
    Shot(u"pasted"_s);
    Report(ready && shown.startsWith(u"TBitmap 120 80 "_s) && exact,
           u"Ctrl+V in the zoom box shows the other program's image pixel for pixel (\"%1\")"_s.arg(shown));
    editor.PressNoting(u"ctrl+z"_s);
    const QString undone = editor.NextPicture();
    Report(!original.isEmpty() && undone == original, u"Ctrl+Z after the paste brings the picture back"_s);
}

void HistogramCases(TEditor& editor)
{
    qsizetype seen = editor.Lines.size();
    editor.FocusMain();
    Keys(u"ctrl+h"_s);
    const QString first = NextLine(editor, seen, u"histogram"_s, 10000);
    // Red takes 40, 255 and 0; green 90, 0 and 255; blue 160 and 0.
    Report(first.startsWith(u"histogram levels 3 3 2 "_s), u"the histogram window plots the picture: \"%1\""_s.arg(first));
    QString id;
    WindowRect(u"Histogram obrazka"_s, &id);
    if (!id.isEmpty())
        Xdo({u"windowmove"_s, u"--sync"_s, id, u"650"_s, u"600"_s});
    editor.Pause(300);
    Shot(u"histogram"_s);

    seen = editor.Lines.size();
    const qsizetype statuses = editor.Statuses.size();
    if (!LaunchGauss(editor, u"9"_s)) {
        Report(false, u"the Gauss dialog comes"_s);
        return;
    }
    editor.WaitForStatus(statuses, kDone, 60000);
    const QString during = NextLine(editor, seen, u"copy on paste off"_s, 1);
    const QString after = during.isEmpty() ? QString() : NextLine(editor, editor.Lines.indexOf(during, seen), u"copy on paste on"_s);
    Report(!during.isEmpty() && !after.isEmpty(),
           u"Paste is disabled while an operation runs and enabled after it, the image still on the clipboard"_s);
    const QString blurred = NextLine(editor, seen, u"histogram"_s, 10000);
    Report(!blurred.isEmpty() && blurred != first && blurred.section(u' ', 2, 2).toInt() > 3,
           u"after the Gauss blur the histogram follows: \"%1\""_s.arg(blurred));
    editor.Pause(300);
    Shot(u"histogram-gauss"_s);

    seen = editor.Lines.size();
    editor.PressNoting(u"ctrl+z"_s);
    const QString undone = NextLine(editor, seen, u"histogram"_s, 10000);
    Report(undone == first, u"after Ctrl+Z the histogram is the first one again: \"%1\""_s.arg(undone));
    editor.Pause(300);
    Shot(u"histogram-undo"_s);
}

}  // namespace

int main(int argc, char** argv)
{
    return RunRealInput(argc, argv, [](const QTemporaryDir& work) {
        const QImage picture = TestPicture();
        const QString path = work.filePath(u"marked.bmp"_s);
        if (!picture.save(path, "BMP")) {
            Report(false, u"the test picture can be written"_s);
            return;
        }
        TEditor editor;
        if (!StartEditor(editor)) {
            editor.Process.kill();
            return;
        }
        const qsizetype seen = editor.Lines.size();
        Report(OpenPicture(editor, path, false) && NextLine(editor, seen, u"zoom 100 800 500"_s) == u"zoom 100 800 500"_s,
               u"the marked picture opens at 100 %"_s);
        editor.Pause(300);
        ReadoutCases(editor);
        WheelCases(editor);
        FitCases(editor);
        QProcess owner;
        ClipboardCases(editor, work, picture, owner);
        HistogramCases(editor);
        owner.kill();
        owner.waitForFinished(5000);

        const bool quit = editor.Quit();
        Report(quit && editor.Process.exitCode() == 0, u"Ctrl+Q closes the editor"_s);
    });
}
