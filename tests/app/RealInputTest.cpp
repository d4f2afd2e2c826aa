// The editor's main window in a real X session (see tests/support/RealInput.h):
// opening, zoom, saving, the operations with their gauge and locks, the
// cancel question, the tonal dialogs, undo, RAW import, `kadrimex FILE` and
// drops.
//
// Usage: realinput_test KADRIMEX [SHOT_DIR].
#include "RealInput.h"

#include <QFile>

namespace {

using namespace realinput;

// A Gauss level that keeps the 4000x3000 picture busy for over a minute, so
// the question of the gauge is answered while it still runs.
const QString kLongBlur = u"1500"_s;

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

// The zoom box under real keys and clicks; the text rules and their sizes
// are ViewMath's and ViewWindow's. What only real input shows: "3" stays as
// typed (the list's completion would make it 300), both Enter keys apply,
// the list opens by its arrow and picks by the keyboard, BackSpace edits.
void ZoomCases(TEditor& editor, QRgb colour)
{
    // The picture is 101x61.
    static const struct {
        const char* keys;  // typed into the box, or "pick:N", the N-th list item
        const char* enter;
        QSize shown;
    } cases[] = {
        {"10", "Return", {10, 6}},  {"3", "KP_Enter", {3, 2}},            {"pick:7", "Return", {303, 183}},
        {"pick:2", "KP_Enter", {50, 30}}, {"25\bBackSpace", "Return", {2, 1}},
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
// levels, by its button and "Zapodaj", changes the result (the arithmetic of
// equalisation is Equalize.WorkedExamples').
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
    // pixels left of the dialog's right edge and 29 above its bottom.
    const bool asked = editor.AskByClick("AutoLevelsButton", u"Histogram levels"_s);
    Shot(u"levels-dialog"_s);
    const QRect levels = WindowRect(u"Histogram levels"_s);
    Click(QPoint(levels.right() - 138, levels.bottom() - 29));
    const bool closed = asked && editor.WaitUntil(5000, [] { return VisibleWindows() == 1; });
    editor.Pause(300);
    const QImage levelled = closed ? SaveShown(editor, work + u"/levelled.bmp"_s) : QImage();
    const QRgb flatAfter = levelled.isNull() ? 0 : levelled.pixel(0, 0);
    Report(asked && levelled.size() == QSize(250, 100) && flatAfter != curved.pixel(0, 0),
           u"levels: its button and \"Zapodaj\" equalise the picture (%1 -> %2)"_s.arg(level).arg(qRed(flatAfter)));
}

// Undo and Redo by their keys and buttons give back the exact picture (the
// probe's hash of its bytes) of a Gauss blur; both are off while an
// operation runs (see the long blur of EditorCases). That New, colour depth
// and Open are steps too is UndoHistory's and the document's to check.
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

// Files dragged from another program's window (tests/app/DragSource.cpp)
// and released over the picture: a bitmap opens, a text file is refused
// without a message box.
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
        const qsizetype seen = editor.Pictures.size();
        QString action;
        const bool ended = DragFile(editor, file, action);
        if (opens) {
            QSize shown;
            const bool opened = editor.WaitUntil(5000, [&] {
                return editor.Pictures.size() > seen && (shown = editor.Shown(qRgb(0, 190, 255))) == QSize(83, 47);
            });
            // Taken as a copy (action 1), never a move the source would delete.
            Report(opened && ended && action == "1"_L1 && editor.LastPicture().startsWith("TBitmap 83 47"_L1),
                   u"a bitmap dragged onto the picture opens as a copy (action %1, seen %2, %3)"_s.arg(
                       action, SizeText(shown), editor.LastPicture()));
        } else {
            editor.Pause(1500);
            Report(ended && action == "0"_L1 && editor.Pictures.size() == seen && VisibleWindows() == 1,
                   u"a text file dragged onto the picture is refused without a message (action %1, %2 windows)"_s
                       .arg(action)
                       .arg(VisibleWindows()));
        }
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
        // How soon it stops is measured by the cancel benchmark; a loaded
        // machine may take longer, so this only waits for the stop.
        const bool stopped = editor.WaitForStatus(seen, kDone, 30000);
        Report(stopped, u"the blur stops after Yes"_s);
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
    return RunRealInput(argc, argv, [](const QTemporaryDir& work) {
        QFile raw(work.filePath(u"grey.raw"_s));
        if (!raw.open(QIODevice::WriteOnly) || raw.write(QByteArray(320 * 300, char(100))) != 320 * 300) {
            Report(false, u"the RAW test file can be written"_s);
            return;
        }
        raw.close();
        if (!WriteBmp(work.filePath(u"small.bmp"_s), 101, 61, qRgb(255, 0, 255)) ||
            !WriteBmp(work.filePath(u"large.bmp"_s), 1920, 1080, qRgb(200, 40, 40)) ||
            !WriteBmp(work.filePath(u"huge.bmp"_s), 4000, 3000, qRgb(40, 160, 40))) {
            Report(false, u"the test pictures can be written"_s);
            return;
        }
        TEditor editor;
        if (!StartEditor(editor)) {
            editor.Process.kill();
            return;
        }
        Shot(u"start"_s);
        EditorCases(editor, work);

        // Undo leaves the imported picture for an earlier one, a change since
        // it was opened: Ctrl+Q asks whether to save it; Escape stays, No
        // closes without saving.
        editor.PressNoting(u"ctrl+z"_s);
        editor.NextPicture();
        const QString closeTitle = u"A zapisać to nie łaska?"_s;
        const bool asked = editor.AskByKeys(u"ctrl+q"_s, closeTitle);
        Keys(u"Escape"_s);
        const bool stayed = !editor.Process.waitForFinished(1000) && VisibleWindows() == 1;
        Report(asked && stayed, u"Ctrl+Q on a changed picture asks whether to save it; Escape stays"_s);
        const bool askedAgain = editor.AskByKeys(u"ctrl+q"_s, closeTitle);
        Keys(u"n"_s);
        const bool quit = editor.Process.waitForFinished(10000);
        if (!quit)
            editor.Process.kill();
        Report(askedAgain && quit && editor.Process.exitStatus() == QProcess::NormalExit &&
                   editor.Process.exitCode() == 0,
               u"No closes the editor without saving (exit code %1)"_s.arg(editor.Process.exitCode()));

        FileArgumentCase(work.filePath(u"small.bmp"_s));
        DropCases(work.path());
    });
}
