// What the five filter and generator dialogs share beyond the generic
// dialog parts: the generators' size boxes, and the base classes that hold
// the controls and rules the dialogs have in common.
#pragma once

#include "ui/DialogParts.h"

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

// Largest mask or picture side the generator dialogs accept.
constexpr int MaxGeneratedSide = 32760;

// An editable combo box with the generator dialogs' list of widths
// (`width` true) or heights, showing `text`. Typed texts are taken as they
// are: no completion, nothing added to the list.
QComboBox* MakeSizeBox(QWidget* parent, const char* name, bool width, const QString& text);

// The generator dialogs' size rule: the text as an integer, 0 when it is not
// one; true when 1 <= value <= MaxGeneratedSide.
bool ReadSideBox(const QComboBox* box, int& value);

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
