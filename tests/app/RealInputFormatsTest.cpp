// The newer picture formats in a real X session (see tests/support/RealInput.h):
// a PNG opened through the open dialog, saved as TIFF and as WebP by the save
// dialog's filters and opened again, a WebP dropped on the window, and a
// phone photo (JPEG with EXIF Orientation 6) given as `kadrimex FILE`
// shown upright.
//
// Usage: realinput_formats_test KADRIMEX [SHOT_DIR].
#include "RealInput.h"

#include <QFile>
#include <QImage>
#include <QPainter>

namespace {

using namespace realinput;

QByteArray Head(const QString& path, int bytes)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.read(bytes) : QByteArray();
}

// Ctrl+S, the filter whose name starts with `letter` picked in the filter
// list (Tab from the name box), the path typed; true when the file exists.
bool SaveWithFilter(TEditor& editor, const QString& letter, const QString& path)
{
    if (!editor.AskByKeys(u"ctrl+s"_s, kSaveTitle))
        return false;
    Keys(u"Tab "_s + letter + u" shift+Tab"_s);
    return EnterPath(editor, path, 2) && editor.WaitUntil(5000, [&] { return QFile::exists(path); });
}

// The view's pixel at `at` is within `tolerance` of `colour` in each channel.
bool Near(TEditor& editor, QPoint at, QRgb colour, int tolerance)
{
    const QRgb seen = editor.View().pixel(at);
    return std::abs(qRed(seen) - qRed(colour)) <= tolerance && std::abs(qGreen(seen) - qGreen(colour)) <= tolerance &&
           std::abs(qBlue(seen) - qBlue(colour)) <= tolerance;
}

// Opens `path` through the open dialog (Ctrl+O, or the toolbar button) and
// waits until the probe reports a picture of that size and the view shows it
// in `colour`. The probe's lines arrive while waiting, so the last one is
// the picture just opened.
bool OpenShowing(TEditor& editor, const QString& path, bool byButton, QSize size, QRgb colour)
{
    const QString reported = u"TBitmap %1 %2 "_s.arg(size.width()).arg(size.height());
    return OpenPicture(editor, path, byButton) && editor.WaitUntil(5000, [&] {
        return editor.LastPicture().startsWith(reported) && editor.Shown(colour) == size;
    });
}

void DialogCases(TEditor& editor, const QTemporaryDir& work)
{
    const QRgb blue = qRgb(30, 120, 220);
    const QRgb orange = qRgb(240, 140, 20);
    const QString png = work.filePath(u"blue.png"_s);
    const QString other = work.filePath(u"orange.png"_s);
    const QString tiff = work.filePath(u"saved.tif"_s);
    const QString webp = work.filePath(u"dropped.webp"_s);
    QImage picture(97, 53, QImage::Format_RGB32);
    picture.fill(blue);
    QImage second(61, 41, QImage::Format_RGB32);
    second.fill(orange);
    if (!picture.save(png, "PNG") || !second.save(other, "PNG")) {
        Report(false, u"the PNG test pictures can be written"_s);
        return;
    }

    Report(OpenShowing(editor, png, false, {97, 53}, blue), u"Ctrl+O and the open dialog show the 97x53 PNG"_s);
    Shot(u"png-opened"_s);

    const bool savedTiff = SaveWithFilter(editor, u"T"_s, tiff);
    const QByteArray tiffHead = Head(tiff, 4);
    Report(savedTiff && (tiffHead == QByteArray("II*\0", 4) || tiffHead == QByteArray("MM\0*", 4)),
           u"the save dialog's TIFF filter writes a TIFF file"_s);

    // Something else first, so that opening the TIFF is seen to change the picture.
    Report(OpenShowing(editor, other, true, {61, 41}, orange), u"the 61x41 PNG opens by the toolbar button"_s);
    const bool tiffOpened = OpenShowing(editor, tiff, false, {97, 53}, blue);
    Report(tiffOpened, u"the saved TIFF opens with the PNG's pixels (%1)"_s.arg(editor.LastPicture()));
    Shot(u"tiff-opened"_s);

    // The orange picture as WebP, dropped on the blue one.
    const bool savedWebp = OpenShowing(editor, other, false, {61, 41}, orange) && SaveWithFilter(editor, u"W"_s, webp);
    Report(savedWebp && Head(webp, 4) == "RIFF" && Head(webp, 12).mid(8) == "WEBP",
           u"the save dialog's WebP filter writes a WebP file"_s);
    const bool blueAgain = OpenShowing(editor, png, false, {97, 53}, blue);
    editor.NotePictures();
    QString action;
    const bool ended = DragFile(editor, webp, action);
    const bool dropped = blueAgain && editor.WaitUntil(5000, [&] {
        return editor.Pictures.size() > editor.SeenPictures && editor.LastPicture().startsWith("TBitmap 61 41 "_L1) &&
               Near(editor, QPoint(30, 20), orange, 8);
    });
    Shot(u"webp-dropped"_s);
    Report(ended && action != "0"_L1 && dropped,
           u"a WebP dragged onto the picture opens (action %1, %2)"_s.arg(action, editor.LastPicture()));
}

// A JPEG 60 wide and 20 tall, red on its left half and blue on its right,
// whose EXIF Orientation says it is to be turned 90° clockwise.
bool WritePhoneJpeg(const QString& path)
{
    QImage stored(60, 20, QImage::Format_RGB32);
    stored.fill(qRgb(220, 20, 20));
    QPainter(&stored).fillRect(30, 0, 30, 20, qRgb(20, 20, 220));
    QByteArray jpeg;
    QFile temp(path);
    if (!stored.save(path, "JPG", 95) || !temp.open(QIODevice::ReadOnly))
        return false;
    jpeg = temp.readAll();
    temp.close();
    // APP1: "Exif\0\0", a little-endian TIFF header, IFD 0 with one entry:
    // Orientation (0x0112), SHORT, 1 value, 6.
    const char exif[] = "\xFF\xE1\x00\x22"
                        "Exif\0\0"
                        "II\x2A\x00\x08\x00\x00\x00"
                        "\x01\x00"
                        "\x12\x01\x03\x00\x01\x00\x00\x00\x06\x00\x00\x00"
                        "\x00\x00\x00\x00";
    jpeg.insert(2, QByteArray(exif, int(sizeof exif) - 1));
    QFile out(path);
    return out.open(QIODevice::WriteOnly) && out.write(jpeg) == jpeg.size();
}

void UprightCase(const QString& photo)
{
    TEditor editor;
    editor.Start({photo});
    const bool shown = editor.WaitUntil(10000, [&] {
        return !editor.Pictures.isEmpty() && !editor.Rect("MainScrollBox").isEmpty();
    });
    // Turned clockwise, the red left half is on top.
    const bool upright = shown && editor.WaitUntil(3000, [&] {
        return Near(editor, QPoint(10, 10), qRgb(220, 20, 20), 24) &&
               Near(editor, QPoint(10, 50), qRgb(20, 20, 220), 24);
    });
    Shot(u"phone-photo"_s);
    Report(upright && editor.Pictures.value(0).startsWith("TJPEGImage 20 60"_L1),
           u"kadrimex FILE shows a JPEG of EXIF Orientation 6 upright, 20x60 (%1)"_s.arg(editor.Pictures.join(u',')));
    editor.Quit();
}

}  // namespace

int main(int argc, char** argv)
{
    return RunRealInput(argc, argv, [](const QTemporaryDir& work) {
        TEditor editor;
        if (!StartEditor(editor)) {
            editor.Process.kill();
            return;
        }
        DialogCases(editor, work);
        editor.Quit();
        const QString photo = work.filePath(u"phone.jpg"_s);
        if (!WritePhoneJpeg(photo)) {
            Report(false, u"the phone photo can be written"_s);
            return;
        }
        UprightCase(photo);
    });
}
