// The one launch/completion pattern of the image commands. Each command
// supplies its code, status text, dialog step and parameter filling; the
// working copy, the 24-bit question, the thread, the toolbar locking and the
// completion are written once here.
#include "app/MainForm.h"

#include "app/Prompt.h"
#include "app/WorkImage.h"
#include "filters/Filters.h"
#include "filters/ui/FilterLevelForm.h"
#include "filters/ui/SharpenForm.h"
#include "userfilter/UserFilter.h"
#include "userfilter/ui/UsrFilterForm.h"

#include <QCheckBox>
#include <QMetaObject>

#include <memory>

using kadrimex::TAdvancedBitmap;
using kadrimex::TBitmapProcesorThread;
using kadrimex::TPixelFormat;
namespace ui = kadrimex::ui;

namespace {

bool AskYesNo(const QString& text, const QString& caption)
{
    return ui::Prompt(text, caption, ui::PromptButtons::YesNo, ui::PromptIcon::Question) == ui::PromptAnswer::Yes;
}

bool AskConversion()
{
    return AskYesNo(QStringLiteral("This operation is implemented only for 24-bit bitmaps. The format of your image is "
                                   "different.\n\nDo you want to make a conversion?"),
                    QStringLiteral("Automatic bit format conversion"));
}

}  // namespace

void TKadrimexMainForm::SetLaunchToolbarsEnabled(bool enabled)
{
    if (!enabled) {
        for (QToolBar* bar :
             {TransformToolBar, ResizeToolBar, FileToolBar, GenerateToolBar, FilterToolBar, HistogramToolBar})
            bar->setEnabled(false);
    } else {
        for (QToolBar* bar :
             {ResizeToolBar, FileToolBar, GenerateToolBar, FilterToolBar, TransformToolBar, HistogramToolBar})
            bar->setEnabled(true);
    }
}

void TKadrimexMainForm::Launch(const TLaunch& launch)
{
    if (FProcessor)
        return;  // one operation at a time (the toolbars are locked anyway)

    // The working copy; an icon cannot be assigned to a bitmap.
    auto source = std::make_unique<TAdvancedBitmap>();
    try {
        if (!kadrimex::MakeWorkingCopy(WorkImage->Picture(), *source))
            return;
    } catch (const std::exception& e) {
        ui::ShowError(QString::fromStdString(e.what()));
        return;
    }

    const bool is24 = source->PixelFormat() == TPixelFormat::pf24bit;
    if (launch.confirm && is24) {
        if (!launch.confirm())
            return;
    } else if (!is24 && launch.askConversion) {
        if (!AskConversion())
            return;
    }
    if (launch.prepare && !launch.prepare())
        return;

    auto destination = std::make_unique<TAdvancedBitmap>();
    destination->SetPixelFormat(TPixelFormat::pf24bit);

    auto* thread = new TBitmapProcesorThread(true);
    FProcessor = thread;
    SetLaunchToolbarsEnabled(false);
    MainStatusBar->SetPanelText(launch.statusText);

    thread->FDestination = destination.release();
    thread->FSource = source.release();
    if (launch.fill)
        launch.fill(*thread);
    thread->FOperation = launch.operation;

    // The worker calls this on its own thread; the completion runs on ours.
    const quint64 id = ++FLaunchId;
    thread->OnTerminate = [this, id](TBitmapProcesorThread*) {
        QMetaObject::invokeMethod(
            this,
            [this, id] {
                if (FProcessor && id == FLaunchId)
                    ProcessingDone();
            },
            Qt::QueuedConnection);
    };
    thread->Resume();
    ProgressTimer->start();
}

TKadrimexMainForm::TLaunch TKadrimexMainForm::DialogLaunch(std::int8_t operation, const QString& statusText,
                                                           QDialog& dialog,
                                                           std::function<void(TBitmapProcesorThread&)> fill)
{
    TLaunch launch;
    launch.operation = operation;
    launch.statusText = statusText;
    launch.prepare = [this, &dialog] { return RunDialog(dialog) == QDialog::Accepted; };
    launch.fill = std::move(fill);
    return launch;
}

void TKadrimexMainForm::ProcessingDone()
{
    FinishProcessing(true);
}

void TKadrimexMainForm::FinishProcessing(bool display)
{
    if (!FProcessor)
        return;
    ProgressTimer->stop();

    std::unique_ptr<TBitmapProcesorThread> thread(FProcessor);
    FProcessor = nullptr;
    thread->WaitFor();
    std::unique_ptr<TAdvancedBitmap> source(thread->FSource);
    std::unique_ptr<TAdvancedBitmap> destination(thread->FDestination);
    thread->FSource = nullptr;
    thread->FDestination = nullptr;
    const QString error = QString::fromStdString(thread->FErrorMessage);
    thread.reset();

    // A routine that failed (memory, impossible conversion) leaves the
    // picture as it was; a cancelled one shows its partial result.
    if (display && error.isEmpty() && destination) {
        kadrimex::TPicture picture;
        picture.Assign(kadrimex::TBitmap(std::move(static_cast<kadrimex::TBitmap&>(*destination))));
        WorkImage->SetPicture(std::move(picture));
    }
    source.reset();
    destination.reset();

    SetLaunchToolbarsEnabled(true);
    MainStatusBar->SetPanelText(QStringLiteral("No i pozamiatane."));
    if (!display)
        return;
    ApplyZoom();
    MainStatusBar->repaint();
    if (!error.isEmpty())
        ui::ShowError(error);
}

void TKadrimexMainForm::StopProcessing()
{
    if (!FProcessor)
        return;
    FProcessor->Terminate();
    FProcessor->WaitFor();
    FinishProcessing(false);
}

// ---- The commands -------------------------------------------------------

void TKadrimexMainForm::GaussBlurSpeedButtonClick()
{
    auto& form = Dialog<TFilterLevelForm>();
    Launch(DialogLaunch(kadrimex::op::GaussBlur, QStringLiteral("No to liczem se tego Gaussa..."), form,
                        [&](TBitmapProcesorThread& t) { t.FParam1 = form.Level; }));
}

void TKadrimexMainForm::TriangBlurSpeedButtonClick()
{
    auto& form = Dialog<TFilterLevelForm>();
    Launch(DialogLaunch(kadrimex::op::TriangleBlur, QStringLiteral("Pokrywam to tym no trójkątnym filtrem..."), form,
                        [&](TBitmapProcesorThread& t) { t.FParam1 = form.Level; }));
}

void TKadrimexMainForm::SharpenSpeedButtonClick()
{
    auto& form = Dialog<TSharpenForm>();
    Launch(DialogLaunch(kadrimex::op::Sharpen, QStringLiteral("No to liczem se te wyostrzenie..."), form,
                        [&](TBitmapProcesorThread& t) {
                            t.FParam1 = kadrimex::SharpenLevelParam(form.Level);
                            t.FParam2 = kadrimex::SharpenSizeParam(form.Size);
                        }));
}

void TKadrimexMainForm::FindEdgesSpeedButtonClick()
{
    auto& form = Dialog<TSharpenForm>();
    Launch(DialogLaunch(kadrimex::op::FindEdges, QStringLiteral("Robiem krawądzia..."), form,
                        [&](TBitmapProcesorThread& t) {
                            t.FParam1 = kadrimex::EdgesLevelParam(form.Level);
                            t.FParam2 = kadrimex::EdgesSizeParam(form.Size);
                        }));
}

void TKadrimexMainForm::UserFilterSpeedButtonClick()
{
    auto& form = Dialog<TUsrFilterForm>();
    Launch(DialogLaunch(kadrimex::op::UserFilter, QStringLiteral("Robiem tą całą filtrację..."), form,
                        [&](TBitmapProcesorThread& t) {
                            // The matrix now belongs to the operation, which releases it.
                            t.FMatrix.reset(form.Coefficients);
                            form.Coefficients = nullptr;
                            t.FIntParam = form.MatrixSize;
                            t.FParam1 = form.Scale;
                            t.FParam2 = form.Offset;
                            t.FFlagParam = form.AbsoluteCheckBox->isChecked() ? 1 : 0;
                        }));
}

void TKadrimexMainForm::FFTSpeedButtonClick()
{
    TLaunch launch;
    launch.operation = kadrimex::op::FFT;
    launch.statusText = QStringLiteral("Licze szybką Furie...");
    launch.confirm = [] {
        return AskYesNo(
            QStringLiteral("Obraz zostanie przekształcony w część rzeczywistą wyniku transformaty "
                           "Fouriera.\n\nCzy chcesz dokonać przekrztałcenia Fouriera algorytmem FFT obrazka?"),
            QStringLiteral("No to dawaj."));
    };
    Launch(launch);
}

void TKadrimexMainForm::RevFFTSpeedButtonClick()
{
    TLaunch launch;
    launch.operation = kadrimex::op::RevFFT;
    launch.statusText = QStringLiteral("Licze szybką Furie^-1...");
    launch.confirm = [] {
        return AskYesNo(QStringLiteral("Obraz zostanie przekształcony w wynik odwrotnej transformaty Fouriera.\n\nCzy "
                                       "chcesz dokonać przekrztałcenia Fouriera algorytmem Reverse FFT obrazka?"),
                        QStringLiteral("No to dawaj."));
    };
    Launch(launch);
}

void TKadrimexMainForm::FFTGaussSpeedButtonClick()
{
    auto& form = Dialog<TFilterLevelForm>();
    Launch(DialogLaunch(kadrimex::op::FFTGauss, QStringLiteral("Liczem Gaussa przez FFT..."), form,
                        [&](TBitmapProcesorThread& t) { t.FParam1 = form.Level; }));
}
