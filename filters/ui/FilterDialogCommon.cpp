#include "filters/ui/FilterDialogCommon.h"

#include "app/LocaleNumbers.h"
#include "app/Prompt.h"

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

QString TrackPositionText(int position)
{
    // For any int, position / 10 rounded to one decimal is the integer
    // quotient, the separator and the absolute remainder ("-0.5" for -5).
    return FormatReal(static_cast<long double>(position) / 10.0L, 1);
}

bool ReadRealEdit(const QLineEdit* edit, long double& value)
{
    const QString text = edit->text();
    long double parsed = 0;
    if (!ParseReal(text, parsed)) {
        ShowError(QStringLiteral("'%1' is not a valid floating point value").arg(text));
        return false;
    }
    value = parsed;
    return true;
}

void CoupleTrackBarToEdit(const QSlider* trackBar, QLineEdit* edit)
{
    const QSignalBlocker blocker(edit);
    edit->setText(TrackPositionText(trackBar->value()));
}

int TrackPositionOf(long double value, int minimum, int maximum)
{
    const long double position = std::floor(10.0L * value);
    if (position <= minimum)
        return minimum;
    if (position >= maximum)
        return maximum;
    return static_cast<int>(position);
}

void CoupleEditToTrackBar(const QLineEdit* edit, QSlider* trackBar)
{
    // Converted before the track bar's handler is detached: the error box
    // runs its own event loop, which should not meet a silenced track bar.
    long double value = 0;
    if (!ReadRealEdit(edit, value))
        return;
    const QSignalBlocker blocker(trackBar);
    trackBar->setValue(TrackPositionOf(value, trackBar->minimum(), trackBar->maximum()));
}

QString GeneralRealText(long double value)
{
    QLocale locale;
    locale.setNumberOptions(QLocale::OmitGroupSeparator);
    return locale.toString(static_cast<double>(value), 'g', 15);
}

QSlider* MakeTrackBar(QWidget* parent, const char* name, int minimum, int maximum, int position, int minimumWidth)
{
    auto* trackBar = Named(new QSlider(Qt::Horizontal, parent), name);
    trackBar->setRange(minimum, maximum);
    trackBar->setValue(position);
    trackBar->setTickPosition(QSlider::TicksBelow);
    if (minimumWidth > 0)
        trackBar->setMinimumWidth(minimumWidth);
    return trackBar;
}

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

QPushButton* MakeSpeedButton(QWidget* parent, const char* name, const QString& text)
{
    auto* button = new QPushButton(text, parent);
    button->setObjectName(QLatin1String(name));
    button->setAutoDefault(false);
    button->setFocusPolicy(Qt::NoFocus);
    return button;
}

QHBoxLayout* ButtonRow(QPushButton* ok, QPushButton* cancel)
{
    auto* row = new QHBoxLayout;
    row->addStretch();
    row->addWidget(ok);
    row->addWidget(cancel);
    return row;
}

void CentreOnScreen(QWidget* dialog)
{
    const QWidget* anchor = dialog->parentWidget() ? dialog->parentWidget()->window() : dialog;
    const QScreen* screen = anchor->screen();
    if (!screen)
        return;
    QRect frame = dialog->frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    dialog->move(frame.topLeft());
}

DialogKeyFilter::DialogKeyFilter(QObject* parent, std::function<void()> onEnter, std::function<void()> onEscape)
    : QObject(parent), FOnEnter(std::move(onEnter)), FOnEscape(std::move(onEscape))
{
}

void DialogKeyFilter::Watch(QWidget* widget)
{
    widget->installEventFilter(this);
    if (auto* combo = qobject_cast<QComboBox*>(widget); combo && combo->lineEdit())
        combo->lineEdit()->installEventFilter(this);
}

bool DialogKeyFilter::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            FOnEnter();
            return true;
        }
        if (key->key() == Qt::Key_Escape && FOnEscape) {
            FOnEscape();
            return true;
        }
    }
    return QObject::eventFilter(watched, event);
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
