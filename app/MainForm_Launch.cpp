// The one launcher of the image commands and the rows it reads. A row says
// where the bitmaps come from, which question is asked, which dialog turns
// into which parameter record, and the status text; the working copy, the
// question, the worker, the toolbar lock and the completion are written once
// here. The record's FillThread (in the core) sets the operation code and
// the worker's fields, exactly as the batch tool does.
#include "app/MainForm.h"

#include "app/PictureDocument.h"
#include "app/ResizerForm.h"
#include "filters/Filters.h"
#include "filters/Generators.h"
#include "filters/Resample.h"
#include "filters/ui/AbstractGeneratorForm.h"
#include "filters/ui/FilterGenRotForm.h"
#include "filters/ui/FilterGeneratorForm.h"
#include "filters/ui/FilterLevelForm.h"
#include "filters/ui/SharpenForm.h"
#include "tonal/Tone.h"
#include "tonal/ui/CurvesForm.h"
#include "tonal/ui/LevelsForm.h"
#include "transforms/ColourDepth.h"
#include "transforms/FlipRotate.h"
#include "transforms/Fourier.h"
#include "transforms/ui/ColorDepthForm.h"
#include "transforms/ui/FlipRotateForm.h"
#include "ui/Prompt.h"
#include "ui/WorkerRunner.h"
#include "userfilter/UserFilter.h"
#include "userfilter/ui/UsrFilterForm.h"

#include <QCheckBox>
#include <QRadioButton>
#include <QSlider>

#include <memory>

using kadrimex::TAdvancedBitmap;
using kadrimex::TBitmapProcesorThread;
using kadrimex::TDestinationPolicy;
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

using TFiller = TKadrimexMainForm::TFiller;

// A filler that hands `params` to the record's FillThread. Records may own
// what they carry (the user filter's matrix), so they travel behind a shared
// pointer and are moved out once.
template <class Params>
TFiller FillWith(Params params)
{
    auto held = std::make_shared<Params>(std::move(params));
    return [held](TBitmapProcesorThread& thread) { FillThread(thread, std::move(*held)); };
}

// The dialog step of a row whose dialog is `Form`: shown modally; on OK the
// record made by `record(form)` fills the worker.
template <class Form, class Record>
std::function<TFiller(TKadrimexMainForm&)> DialogStep(Record record)
{
    return [record](TKadrimexMainForm& window) -> TFiller {
        auto& form = window.Dialog<Form>();
        if (window.RunDialog(form) != QDialog::Accepted)
            return {};
        return FillWith(record(form));
    };
}

// A row without a dialog: the record has no values.
template <class Params>
std::function<TFiller(TKadrimexMainForm&)> NoDialog()
{
    return [](TKadrimexMainForm&) { return FillWith(Params{}); };
}

const QString kFFTCaption = QStringLiteral("No to dawaj.");

// The Gauss, sharpen and edge generators' dialog step: steepness and size.
template <class Params>
std::function<TFiller(TKadrimexMainForm&)> MaskGeneratorStep()
{
    return DialogStep<TFilterGeneratorForm>(
        [](TFilterGeneratorForm& f) { return Params{f.Level, f.MaskWidth, f.MaskHeight}; });
}

// A generator's row: a fresh picture, no question, one status text.
TKadrimexMainForm::TCommand Generator(const char* button, void (TKadrimexMainForm::*handler)(),
                                      std::function<TFiller(TKadrimexMainForm&)> dialog)
{
    return {button, handler, TDestinationPolicy::NewForGenerator, {}, QStringLiteral("Myślem nad kształtem..."),
            std::move(dialog)};
}

}  // namespace

// ---- The command rows ------------------------------------------------------

const TKadrimexMainForm::TCommand& TKadrimexMainForm::Command(TCommandId id)
{
    using namespace kadrimex;
    using F = TKadrimexMainForm;
    static const TCommand rows[] = {
        // GaussBlur
        {"GaussBlurSpeedButton", &F::GaussBlurSpeedButtonClick, TDestinationPolicy::NewEmpty24,
         {}, QStringLiteral("No to liczem se tego Gaussa..."),
         DialogStep<TFilterLevelForm>([](TFilterLevelForm& f) { return TGaussBlurParams{f.Level}; })},
        // TriangleBlur
        {"TriangBlurSpeedButton", &F::TriangBlurSpeedButtonClick, TDestinationPolicy::NewEmpty24,
         {}, QStringLiteral("Pokrywam to tym no trójkątnym filtrem..."),
         DialogStep<TFilterLevelForm>([](TFilterLevelForm& f) { return TTriangleBlurParams{f.Level}; })},
        // Sharpen
        {"SharpenSpeedButton", &F::SharpenSpeedButtonClick, TDestinationPolicy::NewEmpty24,
         {}, QStringLiteral("No to liczem se te wyostrzenie..."),
         DialogStep<TSharpenForm>([](TSharpenForm& f) { return TSharpenParams{f.Level, f.Size}; })},
        // FindEdges
        {"FindEdgesSpeedButton", &F::FindEdgesSpeedButtonClick, TDestinationPolicy::NewEmpty24,
         {}, QStringLiteral("Robiem krawądzia..."),
         DialogStep<TSharpenForm>([](TSharpenForm& f) { return TFindEdgesParams{f.Level, f.Size}; })},
        // UserFilter: the matrix now belongs to the operation, which releases it.
        {"UserFilterSpeedButton", &F::UserFilterSpeedButtonClick, TDestinationPolicy::NewEmpty24,
         {}, QStringLiteral("Robiem tą całą filtrację..."),
         DialogStep<TUsrFilterForm>([](TUsrFilterForm& f) {
             TUserFilterParams params;
             params.coefficients.reset(f.Coefficients);
             f.Coefficients = nullptr;
             params.size = f.MatrixSize;
             params.divider = f.Scale;
             params.offset = f.Offset;
             params.absolute = f.AbsoluteCheckBox->isChecked();
             return params;
         })},
        // FFT
        {"FFTSpeedButton", &F::FFTSpeedButtonClick, TDestinationPolicy::NewEmpty24,
         QStringLiteral("Obraz zostanie przekształcony w część rzeczywistą wyniku transformaty Fouriera.\n\nCzy "
                        "chcesz dokonać przekrztałcenia Fouriera algorytmem FFT obrazka?"),
         QStringLiteral("Licze szybką Furie..."), NoDialog<TFFTParams>()},
        // RevFFT
        {"RevFFTSpeedButton", &F::RevFFTSpeedButtonClick, TDestinationPolicy::NewEmpty24,
         QStringLiteral("Obraz zostanie przekształcony w wynik odwrotnej transformaty Fouriera.\n\nCzy chcesz "
                        "dokonać przekrztałcenia Fouriera algorytmem Reverse FFT obrazka?"),
         QStringLiteral("Licze szybką Furie^-1..."), NoDialog<TRevFFTParams>()},
        // FFTGauss
        {"FFTGaussSpeedButton", &F::FFTGaussSpeedButtonClick, TDestinationPolicy::NewEmpty24,
         {}, QStringLiteral("Liczem Gaussa przez FFT..."),
         DialogStep<TFilterLevelForm>([](TFilterLevelForm& f) { return TFFTGaussParams{f.Level}; })},
        // The generators ignore the displayed picture: no working copy, no
        // question.
        Generator("AbstractGeneratorButton", &F::AbstractGeneratorButtonClick,
                  DialogStep<TAbstractGeneratorForm>([](TAbstractGeneratorForm& f) {
                      return TShapeGeneratorParams{f.NumberTrackBar->value(), f.Level, f.MaskWidth, f.MaskHeight};
                  })),
        Generator("GaussGeneratorSpeedButton", &F::GaussGeneratorSpeedButtonClick,
                  MaskGeneratorStep<TGaussGeneratorParams>()),
        Generator("TriangleGeneratorSpeedButton", &F::TriangleGeneratorSpeedButtonClick,
                  DialogStep<TFilterGenRotForm>([](TFilterGenRotForm& f) {
                      return TTriangleGeneratorParams{f.Level, f.Angle, f.MaskWidth, f.MaskHeight};
                  })),
        Generator("SharpenGeneratorSpeedButton", &F::SharpenGeneratorSpeedButtonClick,
                  MaskGeneratorStep<TSharpenGeneratorParams>()),
        Generator("EdgeGeneratorSpeedButton", &F::EdgeGeneratorSpeedButtonClick,
                  MaskGeneratorStep<TEdgeGeneratorParams>()),
        // Resize: the dialog starts from the picture's size; the record sizes
        // the destination.
        {"ResizeImageButton", &F::ResizeImageButtonClick, TDestinationPolicy::NewEmpty24, {},
         QStringLiteral("Nie przeszkadzaj mnie tera bo ja robie..."),
         [](TKadrimexMainForm& window) -> TFiller {
             auto& form = window.Dialog<TResizerForm>();
             form.FOrigWidth = window.Document->Picture().Width();
             form.FOrigHeight = window.Document->Picture().Height();
             if (window.RunDialog(form) != QDialog::Accepted)
                 return {};
             return FillWith(TResizeParams{form.FNewWidth, form.FNewHeight, form.InterpolationIndex()});
         }},
        // FlipRotate: the radio buttons are tested in the dialog's order.
        {"FlipRotateSpeedButton", &F::FlipRotateSpeedButtonClick, TDestinationPolicy::NewEmpty24, {},
         QStringLiteral("Robiem obicie lub obrót..."), DialogStep<TFlipRotateForm>([](TFlipRotateForm& f) {
             TFlipRotateParams params;
             params.choice = f.FlipVRadioButton->isChecked()   ? TFlipRotateChoice::FlipVertical
                             : f.FlipHRadioButton->isChecked() ? TFlipRotateChoice::FlipHorizontal
                                                               : TFlipRotateChoice::Rotate;
             params.angle = f.FAngle;
             params.enlarge = f.ExtendBitmapCheckBox->isChecked();
             return params;
         })},
        // Tonal: both change the working copy in place. Levels equalises or
        // stretches the dialog's range; curves first hands the dialog its own
        // copy of the picture, whose histogram it draws under the curve.
        {"AutoLevelsButton", &F::AutoLevelsButtonClick, TDestinationPolicy::WorkingCopyInPlace, {},
         QStringLiteral("Dopasowuję Ci histerozegrama..."), DialogStep<TLevelsForm>([](TLevelsForm& f) {
             return TLevelsParams{f.FunctionIndex(), f.FRangeFrom, f.FRangeTo, f.ChannelIndex()};
         })},
        {"CurvesSpeedButton", &F::CurvesSpeedButtonClick, TDestinationPolicy::WorkingCopyInPlace, {},
         QStringLiteral("Wykrzywiam (mnożę przez krzywą)..."),
         [](TKadrimexMainForm& window) -> TFiller {
             auto& form = window.Dialog<TCurvesForm>();
             auto copy = std::make_shared<TAdvancedBitmap>();
             if (!MakeWorkingCopy(window.Document->Picture(), *copy))
                 return {};
             form.FBitmap = std::move(copy);
             if (window.RunDialog(form) != QDialog::Accepted)
                 return {};
             return FillWith(TCurveParams{form.FCurveTable, form.FChannel});
         }},
    };
    static_assert(std::size(rows) == std::size_t(TCommandId::Count));
    return rows[std::size_t(id)];
}

void TKadrimexMainForm::ConnectCommandButtons()
{
    for (int id = 0; id < int(TCommandId::Count); ++id) {
        const TCommand& row = Command(TCommandId(id));
        if (auto* button = findChild<QToolButton*>(QLatin1String(row.button)))
            connect(button, &QToolButton::clicked, this, row.handler);
    }
    connect(ColorDepthSpeedButton, &QToolButton::clicked, this, &TKadrimexMainForm::ColorDepthSpeedButtonClick);
}

void TKadrimexMainForm::GaussBlurSpeedButtonClick() { Launch(Command(TCommandId::GaussBlur)); }
void TKadrimexMainForm::TriangBlurSpeedButtonClick() { Launch(Command(TCommandId::TriangleBlur)); }
void TKadrimexMainForm::SharpenSpeedButtonClick() { Launch(Command(TCommandId::Sharpen)); }
void TKadrimexMainForm::FindEdgesSpeedButtonClick() { Launch(Command(TCommandId::FindEdges)); }
void TKadrimexMainForm::UserFilterSpeedButtonClick() { Launch(Command(TCommandId::UserFilter)); }
void TKadrimexMainForm::FFTSpeedButtonClick() { Launch(Command(TCommandId::FFT)); }
void TKadrimexMainForm::RevFFTSpeedButtonClick() { Launch(Command(TCommandId::RevFFT)); }
void TKadrimexMainForm::FFTGaussSpeedButtonClick() { Launch(Command(TCommandId::FFTGauss)); }
void TKadrimexMainForm::AbstractGeneratorButtonClick() { Launch(Command(TCommandId::AbstractGenerator)); }
void TKadrimexMainForm::GaussGeneratorSpeedButtonClick() { Launch(Command(TCommandId::GaussGenerator)); }
void TKadrimexMainForm::TriangleGeneratorSpeedButtonClick() { Launch(Command(TCommandId::TriangleGenerator)); }
void TKadrimexMainForm::SharpenGeneratorSpeedButtonClick() { Launch(Command(TCommandId::SharpenGenerator)); }
void TKadrimexMainForm::EdgeGeneratorSpeedButtonClick() { Launch(Command(TCommandId::EdgeGenerator)); }
void TKadrimexMainForm::ResizeImageButtonClick() { Launch(Command(TCommandId::Resize)); }
void TKadrimexMainForm::FlipRotateSpeedButtonClick() { Launch(Command(TCommandId::FlipRotate)); }

void TKadrimexMainForm::ColorDepthSpeedButtonClick()
{
    if (FProcessor)
        return;  // the running operation's result replaces the picture
    TAdvancedBitmap copy;
    try {
        if (!kadrimex::MakeWorkingCopy(Document->Picture(), copy))
            return;
        auto& form = Dialog<TColorDepthForm>();
        form.FPixelFormat = copy.PixelFormat();
        if (RunDialog(form) != QDialog::Accepted)
            return;
        kadrimex::ChangeColourDepth(copy, {form.FPixelFormat, form.MakeMonochromeCheckBox->isChecked()});
    } catch (const std::exception& e) {
        ui::ShowError(QString::fromStdString(e.what()));
        return;
    }
    kadrimex::TPicture picture;
    picture.Assign(kadrimex::TBitmap(std::move(static_cast<kadrimex::TBitmap&>(copy))));
    Document->Replace(std::move(picture), TPictureDocument::TChange::ColourDepth);
}

void TKadrimexMainForm::AutoLevelsButtonClick() { Launch(Command(TCommandId::Levels)); }
void TKadrimexMainForm::CurvesSpeedButtonClick() { Launch(Command(TCommandId::Curves)); }

// ---- The launcher ----------------------------------------------------------

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
    // The menu items that launch a locked toolbar's commands, with their
    // shortcuts: New and Open would replace the picture the run's result
    // replaces at completion. Save as only reads the picture and stays.
    for (QAction* item : {NewMenuItem, OpenMenuItem})
        item->setEnabled(enabled);
    UpdateUndoActions();
}

void TKadrimexMainForm::Launch(const TCommand& command)
{
    if (FProcessor)
        return;  // one operation at a time (the toolbars are locked anyway)

    // The working copy; an icon cannot be assigned to a bitmap.
    std::unique_ptr<TAdvancedBitmap> workingCopy;
    if (kadrimex::NeedsWorkingCopy(command.bitmaps)) {
        workingCopy = std::make_unique<TAdvancedBitmap>();
        try {
            if (!kadrimex::MakeWorkingCopy(Document->Picture(), *workingCopy))
                return;
        } catch (const std::exception& e) {
            ui::ShowError(QString::fromStdString(e.what()));
            return;
        }
        // A 24-bit picture gets the row's confirmation if it has one; any
        // other gets the conversion question.
        const bool is24 = workingCopy->PixelFormat() == TPixelFormat::pf24bit;
        if (!is24 ? !AskConversion()
                  : (!command.confirmation.isEmpty() && !AskYesNo(command.confirmation, kFFTCaption)))
            return;
    }

    const TFiller fill = command.dialog(*this);
    if (!fill)
        return;

    // The bitmaps and the filling allocate (resize sizes its destination
    // here): a failure stops the command with the picture as it was.
    auto thread = std::make_unique<TBitmapProcesorThread>(true);
    kadrimex::TOperationBitmaps bitmaps;
    const bool attached = ui::RunReportingErrors(
        [&] {
            bitmaps = kadrimex::AttachBitmaps(*thread, command.bitmaps, std::move(workingCopy));
            fill(*thread);
        },
        QStringLiteral("Not enough memory for this operation"));
    if (!attached)
        return;
    FBitmaps = std::move(bitmaps);
    FProcessor = thread.get();
    ++FLaunchId;
    SetLaunchToolbarsEnabled(false);
    MainStatusBar->SetPanelText(command.statusText);

    FRunner->Start(std::move(thread), [this] { ProcessingDone(); });
    ProgressTimer->start();
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

    std::unique_ptr<TBitmapProcesorThread> thread = FRunner->Take();
    FProcessor = nullptr;
    kadrimex::TOperationBitmaps bitmaps = std::move(FBitmaps);
    const QString error = thread ? QString::fromStdString(thread->FErrorMessage) : QString();
    thread.reset();

    // A routine that failed (memory, impossible conversion) leaves the
    // picture as it was; a cancelled one shows its partial result.
    if (display && error.isEmpty() && bitmaps.destination) {
        kadrimex::TPicture picture;
        picture.Assign(kadrimex::TBitmap(std::move(static_cast<kadrimex::TBitmap&>(*bitmaps.destination))));
        Document->Replace(std::move(picture), TPictureDocument::TChange::Operation);
    }
    bitmaps = {};

    SetLaunchToolbarsEnabled(true);
    MainStatusBar->SetPanelText(QStringLiteral("No i pozamiatane."));
    if (!display)
        return;
    ApplyZoom();
    ShowIdleGauge();
    if (!error.isEmpty())
        ui::ShowError(error);
}

void TKadrimexMainForm::StopProcessing()
{
    if (!FProcessor)
        return;
    FProcessor->Terminate();
    FinishProcessing(false);
}
