// "Create an empty image": the size and background colour of a new
// picture. The main window reads FNewWidth, FNewHeight and Color() after an
// accepted exec().
#pragma once

#include <QColor>
#include <QDialog>

#include <cstdint>

class QColorDialog;
class QComboBox;
class QFrame;
class QLabel;
class QPushButton;

class TNewImgForm : public QDialog {
    Q_OBJECT
public:
    explicit TNewImgForm(QWidget* parent = nullptr);

    // Sides accepted by "Cr&eate".
    static constexpr std::int32_t kMinSide = 1;
    static constexpr std::int32_t kMaxSide = 32760;

    std::int32_t FNewWidth = 0;
    std::int32_t FNewHeight = 0;

    QComboBox* WidthBox = nullptr;
    QComboBox* HeightBox = nullptr;
    QComboBox* ColorBox = nullptr;
    QFrame* ColorPanel = nullptr;
    QPushButton* CreateButton = nullptr;
    QPushButton* CancelButton = nullptr;
    QPushButton* SelectButton = nullptr;
    QColorDialog* ColorDialog = nullptr;
    QLabel* WidthLabel = nullptr;
    QLabel* HeightLabel = nullptr;
    QLabel* ColorModelLabel = nullptr;
    QLabel* BackgroundLabel = nullptr;

    // The colour shown in ColorPanel (white at start).
    QColor Color() const { return FColor; }
    void SetColor(const QColor& color);

public slots:
    void CreateButtonClick();
    void CancelButtonClick();
    void SelectButtonClick();

private:
    QColor FColor = Qt::white;
};
