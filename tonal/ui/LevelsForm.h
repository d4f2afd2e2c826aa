// "Histogram levels": equalisation or range stretching on the chosen
// channels. The levels command reads the function and channel choices and,
// for the range, FRangeFrom and FRangeTo after an accepted exec().
#pragma once

#include <QDialog>

#include <cstdint>

class QButtonGroup;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

class TLevelsForm : public QDialog {
    Q_OBJECT
public:
    explicit TLevelsForm(QWidget* parent = nullptr);

    QGroupBox* RangeGroupBox = nullptr;
    QLineEdit* RangeFromEdit = nullptr;
    QLineEdit* RangeToEdit = nullptr;
    QPushButton* OkSpeedButton = nullptr;
    QPushButton* CancelSpeedButton = nullptr;
    QLabel* TulvorImage = nullptr;
    QGroupBox* FunctionRadio = nullptr;
    QButtonGroup* FunctionButtons = nullptr;
    QGroupBox* ChannelRadioGroup = nullptr;
    QButtonGroup* ChannelButtons = nullptr;

    // The parsed bounds (1024 for a text that is not an integer).
    std::int32_t FRangeFrom = 0;
    std::int32_t FRangeTo = 0;

    // Item indexes of FunctionRadio and ChannelRadioGroup.
    int FunctionIndex() const;
    int ChannelIndex() const;

public slots:
    void FormShow();
    void FunctionRadioClick();
    void OkSpeedButtonClick();
    void CancelSpeedButtonClick();
    void TulvorImageDblClick();

protected:
    void showEvent(QShowEvent* event) override;
};
