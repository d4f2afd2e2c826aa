// The editor: the main window, then every dialog in start order (each lives
// for the whole run and keeps its values), the picture given as the one
// optional argument (or the initial picture), then the message loop.
#include "app/AboutForm.h"
#include "app/MainForm.h"
#include "app/NewImgForm.h"
#include "app/ResizerForm.h"
#include "app/PictureDocument.h"
#include "ui/Prompt.h"
#include "app/WorkImage.h"
#include "filters/ui/AbstractGeneratorForm.h"
#include "filters/ui/FilterGenRotForm.h"
#include "filters/ui/FilterGeneratorForm.h"
#include "filters/ui/FilterLevelForm.h"
#include "filters/ui/SharpenForm.h"
#include "rawimport/ui/OpenRawForm.h"
#include "tonal/ui/CurvesForm.h"
#include "tonal/ui/LevelsForm.h"
#include "transforms/ui/ColorDepthForm.h"
#include "transforms/ui/FlipRotateForm.h"
#include "userfilter/ui/UsrFilterForm.h"

#include <QApplication>
#include <QIcon>
#include <QFile>

#include <cstdio>
#include <exception>
#include <memory>
#include <vector>

namespace {

// The picture shown at start, compiled into the program. It is stretched to
// the picture control's starting size until the first zoom is applied.
void ShowInitialPicture(TKadrimexMainForm& form)
{
    QFile file(QStringLiteral(":/pictures/initial.jpg"));
    if (!file.open(QIODevice::ReadOnly))
        return;
    const QByteArray bytes = file.readAll();
    kadrimex::TPicture picture;
    picture.Assign(kadrimex::TJPEGImage(std::vector<std::uint8_t>(bytes.begin(), bytes.end())));
    form.Document->Replace(std::move(picture), TPictureDocument::TChange::Open);
}

}  // namespace

int main(int argc, char** argv)
{
    PrepareEditorProcess();
    QApplication app(argc, argv);
    // The window icon; QIcon adds each size's @2x file on a high-density
    // screen by itself.
    QIcon icon;
    for (const char* size : {"16", "32", "48"})
        icon.addFile(QStringLiteral(":/icons/kadrimex-%1.png").arg(QLatin1String(size)));
    app.setWindowIcon(icon);
    // One optional argument: a picture to open instead of the initial one.
    // Qt has taken its own options out of the list by now.
    const QStringList arguments = app.arguments().mid(1);
    if (arguments.size() > 1 || (!arguments.isEmpty() && arguments.first().startsWith(u'-'))) {
        std::fputs("usage: kadrimex [FILE]\n", stderr);
        return 2;
    }
    std::unique_ptr<TKadrimexMainForm> form;
    try {
        form = std::make_unique<TKadrimexMainForm>();
        form->Dialog<TResizerForm>();
        form->Dialog<TNewImgForm>();
        form->Dialog<TSharpenForm>();
        form->Dialog<TFilterGenRotForm>();
        form->Dialog<TAbstractGeneratorForm>();
        form->Dialog<TFilterGeneratorForm>();
        form->Dialog<TUsrFilterForm>();
        form->Dialog<TOpenRawForm>();
        form->Dialog<TColorDepthForm>();
        form->Dialog<TAboutForm>();
        form->Dialog<TFlipRotateForm>();
        form->Dialog<TCurvesForm>();
        form->Dialog<TLevelsForm>();
        form->Dialog<TFilterLevelForm>();
        if (arguments.isEmpty() || !form->OpenPictureFile(arguments.first()))
            ShowInitialPicture(*form);
        form->show();
    } catch (const std::exception& e) {
        kadrimex::ui::ShowError(QString::fromStdString(e.what()));
        if (!form)
            return 1;
    }
    try {
        return app.exec();
    } catch (const std::exception& e) {
        kadrimex::ui::ShowError(QString::fromStdString(e.what()));
        return 1;
    }
}
