#include "rawimport/ui/OpenRawForm.h"

#include "rawimport/ui/RawPreviewDecoder.h"
#include "ui/DialogParts.h"
#include "ui/Prompt.h"

#include <QAction>
#include <QButtonGroup>
#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPaintEvent>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QSpinBox>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

namespace ui = kadrimex::ui;
using kadrimex::TPixelFormat;

namespace {

// A radio group: the items in `columns` columns, item `checked` selected.
QGroupBox* MakeRadioGroup(QWidget* parent, const char* name, const QString& caption, const QStringList& items,
                          int checked, int columns, QButtonGroup*& buttons)
{
    auto* group = ui::Named(new QGroupBox(caption, parent), name);
    buttons = new QButtonGroup(group);
    auto* grid = new QGridLayout(group);
    const int rows = (int(items.size()) + columns - 1) / columns;
    for (int i = 0; i < int(items.size()); ++i) {
        auto* radio = new QRadioButton(items[i], group);
        buttons->addButton(radio, i);
        grid->addWidget(radio, i % rows, i / rows);
    }
    buttons->button(checked)->setChecked(true);
    return group;
}

QSpinBox* MakeSpinEdit(QWidget* parent, const char* name, int minimum, int maximum, int value)
{
    auto* spin = ui::Named(new QSpinBox(parent), name);
    spin->setRange(minimum, maximum);
    spin->setValue(value);
    return spin;
}

QLabel* MakeLabel(QWidget* parent, const char* name, const QString& text, QWidget* buddy)
{
    auto* label = new QLabel(text, parent);
    if (name)
        label->setObjectName(QLatin1String(name));
    label->setBuddy(buddy);
    return label;
}

const TPixelFormat kDepths[] = {TPixelFormat::pf1bit,  TPixelFormat::pf4bit,  TPixelFormat::pf8bit,
                                TPixelFormat::pf15bit, TPixelFormat::pf16bit, TPixelFormat::pf24bit,
                                TPixelFormat::pf32bit};

}  // namespace

TRawPreviewImage::TRawPreviewImage(QWidget* parent) : QWidget(parent) {}

void TRawPreviewImage::SetImage(QImage image)
{
    FImage = std::move(image);
    resize(FImage.size());
    update();
}

void TRawPreviewImage::paintEvent(QPaintEvent* event)
{
    if (FImage.isNull())
        return;
    const QRect area = event->rect() & FImage.rect();
    QPainter(this).drawImage(area.topLeft(), FImage, area);
}

TOpenRawForm::TOpenRawForm(QWidget* parent) : QDialog(parent)
{
    using ui::Named;
    setObjectName(QStringLiteral("OpenRawForm"));
    setWindowTitle(QStringLiteral("Open a file without header (RAW)"));
    resize(760, 560);

    auto* panel = Named(new QWidget(this), "OptionsPanel");
    WidthSpinEdit = MakeSpinEdit(panel, "WidthSpinEdit", 1, kadrimex::kRawMaxWidth, 320);
    SkipStartSpinEdit = MakeSpinEdit(panel, "SkipStartSpinEdit", 0, int(kadrimex::kRawMaxSkip), 0);
    MaxLinesComboBox = Named(new QComboBox(panel), "MaxLinesComboBox");
    MaxLinesComboBox->setEditable(true);
    MaxLinesComboBox->setInsertPolicy(QComboBox::NoInsert);
    MaxLinesComboBox->setCompleter(nullptr);
    MaxLinesComboBox->addItems({QStringLiteral("no"), QStringLiteral("16"), QStringLiteral("32"), QStringLiteral("64"),
                                QStringLiteral("128"), QStringLiteral("240"), QStringLiteral("256"),
                                QStringLiteral("480"), QStringLiteral("512"), QStringLiteral("640"),
                                QStringLiteral("768"), QStringLiteral("1024"), QStringLiteral("2048"),
                                QStringLiteral("4096")});
    MaxLinesComboBox->setEditText(QStringLiteral("no"));

    DirectionRadioGroup = MakeRadioGroup(panel, "DirectionRadioGroup", QStringLiteral("&Direction"),
                                         {QStringLiteral("Top-bottom"), QStringLiteral("Bottom-top")}, 0, 1,
                                         DirectionButtons);
    OpenModeRadioGroup = MakeRadioGroup(panel, "OpenModeRadioGroup", QStringLiteral("Opening &mode:"),
                                        {QStringLiteral("Typical"), QStringLiteral("Multibyte")}, 0, 1,
                                        OpenModeButtons);
    BPPRadioGroup = MakeRadioGroup(panel, "BPPRadioGroup", QStringLiteral("&Bits per pixel"),
                                   {QStringLiteral("1 bpp"), QStringLiteral("4 bpp"), QStringLiteral("8 bpp"),
                                    QStringLiteral("15 bpp"), QStringLiteral("16 bpp"), QStringLiteral("24 bpp"),
                                    QStringLiteral("32 bpp")},
                                   2, 2, BPPButtons);

    PalFileEdit = Named(new QLineEdit(panel), "PalFileEdit");
    PalFileLabel = MakeLabel(panel, "PalFileLabel", QStringLiteral("&Palette file:"), PalFileEdit);
    PalBrowseSpeedButton = Named(new QToolButton(panel), "PalBrowseSpeedButton");
    PalBrowseSpeedButton->setText(QStringLiteral("..."));
    PalBrowseSpeedButton->setToolTip(QStringLiteral("Browse for palettes"));
    PalBrowseSpeedButton->setAutoRaise(true);
    PalBrowseSpeedButton->setFocusPolicy(Qt::NoFocus);
    PalMulSpinEdit = MakeSpinEdit(panel, "PalMulSpinEdit", 1, kadrimex::kRawMaxMultiplier, 1);
    PalMulLabel = MakeLabel(panel, "PalMulLabel", QStringLiteral("M&ultiplier:"), PalMulSpinEdit);
    BytesPerPixEdit = MakeSpinEdit(panel, "BytesPerPixEdit", 1, kadrimex::kRawMaxBytesPerPixel, 1);
    BytesPerPixLabel = MakeLabel(panel, "BytesPerPixLabel", QStringLiteral("Bytes per px:"), BytesPerPixEdit);

    OpenSpeedButton = ui::MakeSpeedButton(this, "OpenSpeedButton", QStringLiteral("&Open"));
    CancelSpeedButton = ui::MakeSpeedButton(this, "CancelSpeedButton", QStringLiteral("&Cancel"));
    OpenAction = new QAction(QStringLiteral("Open"), this);
    OpenAction->setObjectName(QStringLiteral("OpenAction"));
    OpenAction->setShortcuts({QKeySequence(Qt::Key_Return), QKeySequence(Qt::Key_Enter)});
    addAction(OpenAction);

    PalOpenDialog = Named(new QFileDialog(this, QStringLiteral("Open the palette file")), "PalOpenDialog");
    PalOpenDialog->setOption(QFileDialog::DontUseNativeDialog);
    PalOpenDialog->setAcceptMode(QFileDialog::AcceptOpen);
    PalOpenDialog->setFileMode(QFileDialog::ExistingFile);
    PalOpenDialog->setNameFilters({QStringLiteral("All files (*.*)"), QStringLiteral("Palettes (*.pal)")});

    // The options panel: sizes, the three radio groups, the palette or
    // bytes-per-pixel column; the buttons beside it stay enabled while
    // "&Open" decodes.
    auto* sizes = new QGridLayout;
    sizes->addWidget(MakeLabel(panel, nullptr, QStringLiteral("&Width:"), WidthSpinEdit), 0, 0);
    sizes->addWidget(WidthSpinEdit, 1, 0);
    sizes->addWidget(MakeLabel(panel, nullptr, QStringLiteral("&Skip at start:"), SkipStartSpinEdit), 2, 0);
    sizes->addWidget(SkipStartSpinEdit, 3, 0);
    sizes->addWidget(MakeLabel(panel, nullptr, QStringLiteral("&Limit the image lines number:"), MaxLinesComboBox), 4,
                     0);
    sizes->addWidget(MaxLinesComboBox, 5, 0);
    auto* palette = new QGridLayout;
    palette->addWidget(PalFileLabel, 0, 0, 1, 2);
    palette->addWidget(PalFileEdit, 1, 0);
    palette->addWidget(PalBrowseSpeedButton, 1, 1);
    palette->addWidget(PalMulLabel, 2, 0, 1, 2);
    palette->addWidget(PalMulSpinEdit, 3, 0, 1, 2);
    palette->addWidget(BytesPerPixLabel, 4, 0, 1, 2);
    palette->addWidget(BytesPerPixEdit, 5, 0, 1, 2);
    palette->setRowStretch(6, 1);
    auto* buttons = new QVBoxLayout;
    buttons->addWidget(OpenSpeedButton);
    buttons->addWidget(CancelSpeedButton);
    buttons->addStretch();
    auto* groups = new QVBoxLayout;
    groups->addWidget(DirectionRadioGroup);
    groups->addWidget(OpenModeRadioGroup);
    auto* row = new QHBoxLayout(panel);
    row->addLayout(sizes);
    row->addLayout(groups);
    row->addWidget(BPPRadioGroup, 0, Qt::AlignTop);
    row->addLayout(palette, 1);

    PreviewMessageLabel = Named(new QLabel(this), "PreviewMessageLabel");
    PreviewMessageLabel->setWordWrap(true);
    PreviewMessageLabel->hide();
    MainScrollBox = Named(new QScrollArea(this), "MainScrollBox");
    MainScrollBox->setFrameShape(QFrame::NoFrame);
    MainScrollBox->setBackgroundRole(QPalette::Dark);
    QPalette silver = MainScrollBox->palette();
    silver.setColor(QPalette::Dark, QColor(0xC0, 0xC0, 0xC0));
    MainScrollBox->setPalette(silver);
    WorkImage = Named(new TRawPreviewImage, "WorkImage");
    MainScrollBox->setWidget(WorkImage);
    MainScrollBox->setWidgetResizable(false);

    auto* layout = new QVBoxLayout(this);
    auto* top = new QHBoxLayout;
    top->addWidget(panel, 1);
    top->addLayout(buttons);
    layout->addLayout(top);
    layout->addWidget(PreviewMessageLabel);
    layout->addWidget(MainScrollBox, 1);

    FDecoder = new ui::TRawPreviewDecoder(this);
    connect(FDecoder, &ui::TRawPreviewDecoder::Finished, this, &TOpenRawForm::Decoded);

    // Spin edits report every keystroke (keyboard tracking), the combo box
    // every change of its text.
    for (QSpinBox* spin : {WidthSpinEdit, PalMulSpinEdit, BytesPerPixEdit})
        connect(spin, &QSpinBox::valueChanged, this, &TOpenRawForm::WidthSpinEditChange);
    connect(SkipStartSpinEdit, &QSpinBox::valueChanged, this, &TOpenRawForm::SkipStartSpinEditChange);
    connect(MaxLinesComboBox, &QComboBox::editTextChanged, this, &TOpenRawForm::MaxLinesComboBoxChange);
    connect(DirectionButtons, &QButtonGroup::idClicked, this, &TOpenRawForm::DirectionRadioGroupClick);
    connect(OpenModeButtons, &QButtonGroup::idClicked, this, &TOpenRawForm::OpenModeRadioGroupClick);
    connect(BPPButtons, &QButtonGroup::idClicked, this, &TOpenRawForm::BPPRadioGroupClick);
    connect(PalFileEdit, &QLineEdit::textChanged, this, &TOpenRawForm::PalFileEditChange);
    connect(PalBrowseSpeedButton, &QToolButton::clicked, this, &TOpenRawForm::PalBrowseSpeedButtonClick);
    connect(OpenSpeedButton, &QPushButton::clicked, this, &TOpenRawForm::OpenSpeedButtonClick);
    connect(CancelSpeedButton, &QPushButton::clicked, this, &TOpenRawForm::CancelSpeedButtonClick);
    connect(OpenAction, &QAction::triggered, this, &TOpenRawForm::OpenSpeedButtonClick);
    // Enter in an edit that keeps the key for itself still opens.
    auto* keys = new ui::DialogKeyFilter(this, [this] { OpenSpeedButtonClick(); });
    for (QWidget* w : std::initializer_list<QWidget*>{WidthSpinEdit, SkipStartSpinEdit, MaxLinesComboBox,
                                                      PalFileEdit, PalMulSpinEdit, BytesPerPixEdit})
        keys->Watch(w);
}

TOpenRawForm::~TOpenRawForm() = default;

kadrimex::TRawOptions TOpenRawForm::Options() const
{
    kadrimex::TRawOptions o;
    o.width = WidthSpinEdit->value();
    o.skip = SkipStartSpinEdit->value();
    o.lineLimit = kadrimex::ParseLineLimit(MaxLinesComboBox->currentText().toStdString());
    o.bottomUp = DirectionButtons->checkedId() == 1;
    o.mode = OpenModeButtons->checkedId() == 1 ? kadrimex::TRawMode::Multibyte : kadrimex::TRawMode::Typical;
    // No selection counts as "8 bpp".
    const int depth = BPPButtons->checkedId();
    o.format = depth >= 0 && depth < 7 ? kDepths[depth] : TPixelFormat::pf8bit;
    o.paletteFile = QFile::encodeName(PalFileEdit->text()).toStdString();
    o.multiplier = PalMulSpinEdit->value();
    o.bytesPerPixel = BytesPerPixEdit->value();
    return o;
}

kadrimex::TBitmap TOpenRawForm::TakePicture()
{
    kadrimex::TBitmap picture;
    if (FPicture)
        picture = std::move(*FPicture);
    FPicture.reset();
    return picture;
}

void TOpenRawForm::ReleasePicture()
{
    FPicture.reset();
    WorkImage->SetImage(QImage());
}

void TOpenRawForm::showEvent(QShowEvent* event)
{
    // Centred on the main window.
    if (const QWidget* owner = parentWidget() ? parentWidget()->window() : nullptr) {
        QRect frame = frameGeometry();
        frame.moveCenter(owner->frameGeometry().center());
        move(frame.topLeft());
    }
    QDialog::showEvent(event);
    FormShow();
}

void TOpenRawForm::FormShow()
{
    FPicture.reset();
    PreviewMessageLabel->hide();
    try {
        RawStream = std::make_shared<const kadrimex::TRawFile>(QFile::encodeName(RawFileName).toStdString());
    } catch (const std::exception& e) {
        // Nothing to show: the message, then the dialog closes unaccepted.
        const QString message = QString::fromStdString(e.what());
        QTimer::singleShot(0, this, [this, message] {
            ui::ShowError(message);
            reject();
        });
        return;
    }
    OpenModeRadioGroupClick();
}

void TOpenRawForm::OpenModeRadioGroupClick()
{
    const bool typical = OpenModeButtons->checkedId() != 1;
    for (QWidget* w : std::initializer_list<QWidget*>{PalMulLabel, PalMulSpinEdit, PalFileEdit, PalFileLabel,
                                                      PalBrowseSpeedButton, BPPRadioGroup})
        w->setVisible(typical);
    BytesPerPixLabel->setVisible(!typical);
    BytesPerPixEdit->setVisible(!typical);
    UpdatePreview();
}

void TOpenRawForm::WidthSpinEditChange()
{
    UpdatePreview();
}

void TOpenRawForm::MaxLinesComboBoxChange()
{
    UpdatePreview();
}

void TOpenRawForm::BPPRadioGroupClick()
{
    UpdatePreview();
}

void TOpenRawForm::DirectionRadioGroupClick()
{
    UpdatePreview();
}

void TOpenRawForm::SkipStartSpinEditChange()
{
    UpdatePreview();
}

void TOpenRawForm::PalFileEditChange()
{
    UpdatePreview();
}

void TOpenRawForm::PalBrowseSpeedButtonClick()
{
    if (!PalFileEdit->text().isEmpty())
        PalOpenDialog->selectFile(PalFileEdit->text());
    const int result = DialogRunner ? DialogRunner(*PalOpenDialog) : PalOpenDialog->exec();
    if (result != QDialog::Accepted || PalOpenDialog->selectedFiles().isEmpty())
        return;
    PalFileEdit->setText(PalOpenDialog->selectedFiles().first());
}

void TOpenRawForm::UpdatePreview()
{
    if (!RawStream || FOpening)
        return;
    const kadrimex::TRawOptions options = Options();
    if (options.width < 1)
        return;
    FDecoder->Request({RawStream, options, false});
}

void TOpenRawForm::OpenSpeedButtonClick()
{
    if (!RawStream || FOpening)
        return;
    FOpening = true;
    SetOptionsEnabled(false);
    FDecoder->Request({RawStream, Options(), true});
}

void TOpenRawForm::CancelSpeedButtonClick()
{
    reject();
}

void TOpenRawForm::done(int result)
{
    FDecoder->Cancel();
    ReleaseRawStream();
    if (result != QDialog::Accepted)
        FPicture.reset();
    FOpening = false;
    SetOptionsEnabled(true);
    QDialog::done(result);
}

void TOpenRawForm::Decoded(const ui::TRawDecodeResult& result)
{
    using TOutcome = ui::TRawDecodeResult::TOutcome;
    PreviewMessageLabel->setText(result.message);
    PreviewMessageLabel->setVisible(!result.message.isEmpty());
    if (result.final) {
        FOpening = false;
        SetOptionsEnabled(true);
        if (result.outcome == TOutcome::Decoded) {
            FPicture = result.bitmap;
            accept();
        }
        return;
    }
    // No data or a failure: the preview keeps its picture.
    if (result.outcome != TOutcome::Decoded)
        return;
    WorkImage->SetImage(result.image);
    emit PreviewUpdated(result.image.size());
}

void TOpenRawForm::ReleaseRawStream()
{
    RawStream.reset();
}

void TOpenRawForm::SetOptionsEnabled(bool enabled)
{
    findChild<QWidget*>(QStringLiteral("OptionsPanel"))->setEnabled(enabled);
    OpenSpeedButton->setEnabled(enabled);
}
