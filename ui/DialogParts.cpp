#include "ui/DialogParts.h"

#include "ui/LocaleNumbers.h"
#include "ui/Prompt.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QRect>
#include <QScreen>
#include <QSignalBlocker>
#include <QSlider>
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
