// Pieces the five filter and generator dialogs share: the coupling between a
// track bar that holds ten times a value and the edit that shows the value,
// reading a real from an edit with the application's conversion error, the
// Enter/Escape key filter, and the base classes that hold the controls and
// rules the dialogs have in common.
#pragma once

#include <QDialog>
#include <QObject>
#include <QString>

#include <functional>
#include <initializer_list>
#include <vector>

class QComboBox;
class QGroupBox;
class QHBoxLayout;
class QLabel;
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

// Largest mask or picture side the generator dialogs accept.
constexpr int MaxGeneratedSide = 32760;

// An editable combo box with the generator dialogs' list of widths
// (`width` true) or heights, showing `text`. Typed texts are taken as they
// are: no completion, nothing added to the list.
QComboBox* MakeSizeBox(QWidget* parent, const char* name, bool width, const QString& text);

// The generator dialogs' size rule: the text as an integer, 0 when it is not
// one; true when 1 <= value <= MaxGeneratedSide.
bool ReadSideBox(const QComboBox* box, int& value);

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

// The frame of every filter and generator dialog: a tool window whose OK
// action converts LevelEdit into Level, then the dialog's further values, and
// closes only when all of them are good.
class TFilterDialogBase : public QDialog {
    Q_OBJECT
public:
    // Written by the OK action from LevelEdit's text, before anything else.
    long double Level;

    QLineEdit* LevelEdit = nullptr;
    QPushButton* OkSpeedButton = nullptr;
    QPushButton* CancelSpeedButton = nullptr;

public slots:
    void OkSpeedButtonClick();
    void CancelSpeedButtonClick();

protected:
    // Process dialogs ("&Process") open mid-screen; Enter in a watched
    // control runs OK and Escape Cancel. Generate dialogs ("&Generate") open
    // where the window system puts them; Enter in a watched control runs OK
    // and Escape does nothing anywhere.
    enum class TKind { Process, Generate };

    TFilterDialogBase(QWidget* parent, const char* name, const QString& caption, TKind kind, long double level);

    // Values converted after Level by the OK action; false keeps the dialog
    // open.
    virtual bool ReadMoreValues();

    // LevelEdit in `parent`, showing the first-use Level with one decimal.
    QLineEdit* AddLevelEdit(QWidget* parent);
    // Creates OK and Cancel (after every other control) and returns the row
    // that holds them.
    QHBoxLayout* AddSpeedButtons();
    // Puts the key rules of this dialog's kind on `widgets`.
    void WatchKeys(const std::vector<QWidget*>& widgets);

    void keyPressEvent(QKeyEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    TKind FKind;
};

// A generator dialog: the size group with WidthBox and HeightBox, whose
// values must lie in 1..MaxGeneratedSide for the OK action to close it.
class TGeneratorFormBase : public TFilterDialogBase {
    Q_OBJECT
public:
    // Written by the OK action after Level (and the dialog's other values).
    int MaskWidth = 640;
    int MaskHeight = 480;

    QGroupBox* SizeGroupBox = nullptr;
    QLabel* WidthLabel = nullptr;
    QComboBox* WidthBox = nullptr;
    QLabel* HeightLabel = nullptr;
    QComboBox* HeightBox = nullptr;
    QLabel* LevelLabel = nullptr;

protected:
    // Builds the size group titled `sizeTitle`; `heightText` without a
    // mnemonic leaves HeightLabel without a buddy.
    TGeneratorFormBase(QWidget* parent, const char* name, const QString& caption, const QString& sizeTitle,
                       const QString& heightText, long double level);

    bool ReadMoreValues() override;

    // Lays out the size group, `groups` and the buttons top to bottom; Enter
    // in the size boxes, LevelEdit and `moreEdits` runs OK.
    void FinishLayout(std::initializer_list<QGroupBox*> groups, std::initializer_list<QWidget*> moreEdits = {});
};

// A mask generator: the size group and the "Increase" group, where
// LevelTrackBar holds ten times the steepness shown in LevelEdit.
class TMaskGeneratorFormBase : public TGeneratorFormBase {
    Q_OBJECT
public:
    QGroupBox* LevelGroupBox = nullptr;
    QSlider* LevelTrackBar = nullptr;

public slots:
    void LevelTrackBarChange();
    void LevelEditChange();

protected:
    // `steepnessText` without a mnemonic leaves LevelLabel without a buddy.
    TMaskGeneratorFormBase(QWidget* parent, const char* name, const QString& caption, const QString& sizeTitle,
                           const QString& heightText, const QString& steepnessText);
};
