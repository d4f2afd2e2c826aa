// The parts every dialog is built from: the coupling between a track bar
// that holds ten times a value and the edit that shows it, reading a real
// from an edit with the application's conversion error, named controls, the
// speed-button style OK/Cancel row, centring, and the Enter/Escape key
// filter.
#pragma once

#include <QObject>
#include <QString>

#include <functional>

class QHBoxLayout;
class QLineEdit;
class QPushButton;
class QSlider;
class QWidget;

namespace kadrimex::ui {

// Text of a track bar position: the value position / 10 with one decimal
// digit, in the user's locale ("100.0", "-0.5"; "100,0" with a comma).
QString TrackPositionText(int position);

// Reads `edit` as a real. On failure shows "'<text>' is not a valid floating
// point value" through the prompt helper and returns false; `value` is then
// left alone.
bool ReadRealEdit(const QLineEdit* edit, long double& value);

// Track bar to edit: writes the position's text with the edit's signals
// blocked, so the edit's own change handler does not run.
void CoupleTrackBarToEdit(const QSlider* trackBar, QLineEdit* edit);

// Edit to track bar: converts the text (error message when it is not a real)
// and moves the track bar to floor(10 * v) with the track bar's signals
// blocked. The edit's text is not touched.
void CoupleEditToTrackBar(const QLineEdit* edit, QSlider* trackBar);

// Floor of 10 * value, clamped into [minimum, maximum] before the conversion
// to int (a typed 1e30 must not overflow).
int TrackPositionOf(long double value, int minimum, int maximum);

// The general real-to-text conversion with 15 significant digits in the
// user's locale (3.14159265358979).
QString GeneralRealText(long double value);

// Gives `widget` its object name and returns it.
template <class Widget>
Widget* Named(Widget* widget, const char* name)
{
    widget->setObjectName(QLatin1String(name));
    return widget;
}

// A horizontal track bar with ticks below, at `position` in
// [minimum, maximum]; `minimumWidth` 0 leaves the width to the layout.
QSlider* MakeTrackBar(QWidget* parent, const char* name, int minimum, int maximum, int position,
                      int minimumWidth = 0);

// A button that acts like a speed button: it never takes the focus and is
// never the dialog's default, so Enter and Escape reach the key filter.
QPushButton* MakeSpeedButton(QWidget* parent, const char* name, const QString& text);

// The OK and Cancel buttons on the right of a row.
QHBoxLayout* ButtonRow(QPushButton* ok, QPushButton* cancel);

// Moves a dialog to the centre of the screen it is on (its parent's screen
// when it has a parent).
void CentreOnScreen(QWidget* dialog);

// Watches key presses on the widgets it is installed on. Enter (Return or
// the keypad's Enter) runs `onEnter`; Escape runs `onEscape` when one is
// given. A handled key is discarded; every other key passes on.
class DialogKeyFilter : public QObject {
    Q_OBJECT
public:
    DialogKeyFilter(QObject* parent, std::function<void()> onEnter, std::function<void()> onEscape = {});
    // Installs the filter on `widget` (and on the line edit inside an
    // editable combo box, which receives the keys first).
    void Watch(QWidget* widget);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    std::function<void()> FOnEnter;
    std::function<void()> FOnEscape;
};

}  // namespace kadrimex::ui
