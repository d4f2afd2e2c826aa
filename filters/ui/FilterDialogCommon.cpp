#include "filters/ui/FilterDialogCommon.h"

#include "ui/LocaleNumbers.h"
#include "ui/Prompt.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QRect>
#include <QScreen>
#include <QSignalBlocker>
#include <QSlider>
#include <QVBoxLayout>
#include <QWidget>

#include <cmath>

namespace kadrimex::ui {

QComboBox* MakeSizeBox(QWidget* parent, const char* name, bool width, const QString& text)
{
    static const int widths[] = {32, 64, 128, 192, 200, 240, 256, 320, 480, 512, 600, 640, 720, 1024, 1270, 1536, 2048, 4096, 8192};
    static const int heights[] = {32, 64, 128, 192, 200, 240, 256, 388, 480, 512, 600, 640, 768, 1024, 2048, 4096};
    auto* box = new QComboBox(parent);
    box->setObjectName(QLatin1String(name));
    box->setEditable(true);
    box->setInsertPolicy(QComboBox::NoInsert);
    // Inline completion would turn a typed "8" into "8192".
    box->setCompleter(nullptr);
    if (width)
        for (const int side : widths)
            box->addItem(QString::number(side));
    else
        for (const int side : heights)
            box->addItem(QString::number(side));
    const int index = box->findText(text);
    if (index >= 0)
        box->setCurrentIndex(index);
    else
        box->setEditText(text);
    return box;
}

bool ReadSideBox(const QComboBox* box, int& value)
{
    if (!ParseInt(box->currentText(), value))
        value = 0;
    return value >= 1 && value <= MaxGeneratedSide;
}

}  // namespace kadrimex::ui

using namespace kadrimex::ui;

namespace {
// A label's buddy serves its mnemonic only.
void SetBuddyForMnemonic(QLabel* label, QWidget* buddy)
{
    if (label->text().contains(QLatin1Char('&')))
        label->setBuddy(buddy);
}
}  // namespace

TFilterDialogBase::TFilterDialogBase(QWidget* parent, const char* name, const QString& caption, TKind kind,
                                     long double level)
    : QDialog(parent), Level(level), FKind(kind)
{
    setObjectName(QLatin1String(name));
    setWindowTitle(caption);
    setWindowFlags(Qt::Tool);
}

void TFilterDialogBase::OkSpeedButtonClick()
{
    if (!ReadRealEdit(LevelEdit, Level))
        return;
    if (!ReadMoreValues())
        return;
    accept();
}

void TFilterDialogBase::CancelSpeedButtonClick()
{
    reject();
}

bool TFilterDialogBase::ReadMoreValues()
{
    return true;
}

QLineEdit* TFilterDialogBase::AddLevelEdit(QWidget* parent)
{
    LevelEdit = Named(new QLineEdit(FormatReal(Level, 1), parent), "LevelEdit");
    return LevelEdit;
}

QHBoxLayout* TFilterDialogBase::AddSpeedButtons()
{
    const QString okText = FKind == TKind::Process ? QStringLiteral("&Process") : QStringLiteral("&Generate");
    OkSpeedButton = MakeSpeedButton(this, "OkSpeedButton", okText);
    CancelSpeedButton = MakeSpeedButton(this, "CancelSpeedButton", QStringLiteral("&Cancel"));
    connect(OkSpeedButton, &QPushButton::clicked, this, &TFilterDialogBase::OkSpeedButtonClick);
    connect(CancelSpeedButton, &QPushButton::clicked, this, &TFilterDialogBase::CancelSpeedButtonClick);
    return ButtonRow(OkSpeedButton, CancelSpeedButton);
}

void TFilterDialogBase::WatchKeys(const std::vector<QWidget*>& widgets)
{
    std::function<void()> onEscape;
    if (FKind == TKind::Process)
        onEscape = [this] { CancelSpeedButtonClick(); };
    auto* keys = new DialogKeyFilter(this, [this] { OkSpeedButtonClick(); }, std::move(onEscape));
    for (QWidget* widget : widgets)
        keys->Watch(widget);
}

void TFilterDialogBase::keyPressEvent(QKeyEvent* event)
{
    if (FKind == TKind::Generate && event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void TFilterDialogBase::showEvent(QShowEvent* event)
{
    if (FKind == TKind::Process)
        CentreOnScreen(this);
    QDialog::showEvent(event);
}

TGeneratorFormBase::TGeneratorFormBase(QWidget* parent, const char* name, const QString& caption,
                                       const QString& sizeTitle, const QString& heightText, long double level)
    : TFilterDialogBase(parent, name, caption, TKind::Generate, level)
{
    SizeGroupBox = Named(new QGroupBox(sizeTitle, this), "SizeGroupBox");
    WidthLabel = Named(new QLabel(QStringLiteral("&Width:"), SizeGroupBox), "WidthLabel");
    WidthBox = MakeSizeBox(SizeGroupBox, "WidthBox", true, QStringLiteral("640"));
    WidthLabel->setBuddy(WidthBox);
    HeightLabel = Named(new QLabel(heightText, SizeGroupBox), "HeightLabel");
    HeightBox = MakeSizeBox(SizeGroupBox, "HeightBox", false, QStringLiteral("480"));
    SetBuddyForMnemonic(HeightLabel, HeightBox);
    auto* sizeLayout = new QGridLayout(SizeGroupBox);
    sizeLayout->addWidget(WidthLabel, 0, 0);
    sizeLayout->addWidget(WidthBox, 0, 1);
    sizeLayout->addWidget(HeightLabel, 1, 0);
    sizeLayout->addWidget(HeightBox, 1, 1);
}

bool TGeneratorFormBase::ReadMoreValues()
{
    // Both boxes are read, even after the width is refused.
    const bool widthOk = ReadSideBox(WidthBox, MaskWidth);
    const bool heightOk = ReadSideBox(HeightBox, MaskHeight);
    return widthOk && heightOk;
}

void TGeneratorFormBase::FinishLayout(std::initializer_list<QGroupBox*> groups, std::initializer_list<QWidget*> moreEdits)
{
    QHBoxLayout* buttons = AddSpeedButtons();
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(SizeGroupBox);
    for (QGroupBox* group : groups)
        layout->addWidget(group);
    layout->addLayout(buttons);

    std::vector<QWidget*> watched{WidthBox, HeightBox, LevelEdit};
    watched.insert(watched.end(), moreEdits.begin(), moreEdits.end());
    WatchKeys(watched);
}

TMaskGeneratorFormBase::TMaskGeneratorFormBase(QWidget* parent, const char* name, const QString& caption,
                                               const QString& sizeTitle, const QString& heightText,
                                               const QString& steepnessText)
    : TGeneratorFormBase(parent, name, caption, sizeTitle, heightText, 1.0L)
{
    LevelGroupBox = Named(new QGroupBox(QStringLiteral("Increase"), this), "LevelGroupBox");
    LevelTrackBar = MakeTrackBar(LevelGroupBox, "LevelTrackBar", -10000, 10000, 1, 300);
    // The default spacing over 20000 positions would draw a solid bar.
    LevelTrackBar->setTickInterval(200);
    LevelLabel = Named(new QLabel(steepnessText, LevelGroupBox), "LevelLabel");
    AddLevelEdit(LevelGroupBox);
    SetBuddyForMnemonic(LevelLabel, LevelEdit);
    auto* levelLayout = new QGridLayout(LevelGroupBox);
    levelLayout->addWidget(LevelTrackBar, 0, 0, 1, 2);
    levelLayout->addWidget(LevelLabel, 1, 0);
    levelLayout->addWidget(LevelEdit, 1, 1);

    connect(LevelTrackBar, &QSlider::valueChanged, this, &TMaskGeneratorFormBase::LevelTrackBarChange);
    connect(LevelEdit, &QLineEdit::textChanged, this, &TMaskGeneratorFormBase::LevelEditChange);
}

void TMaskGeneratorFormBase::LevelTrackBarChange()
{
    CoupleTrackBarToEdit(LevelTrackBar, LevelEdit);
}

void TMaskGeneratorFormBase::LevelEditChange()
{
    CoupleEditToTrackBar(LevelEdit, LevelTrackBar);
}
