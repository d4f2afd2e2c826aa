// The user filter designer: a 1x1 to 7x7 matrix of real coefficients typed
// into a 7 x 7 grid of cells laid out as concentric rings around w44, or
// taken from one of the example filters, plus a divider, an offset and the
// absolute-value switch. The dialog only collects the values; the launcher
// hands them to operation 0x24.
#pragma once

#include <QDialog>

#include <cstdint>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

class TUsrFilterForm : public QDialog {
    Q_OBJECT
public:
    explicit TUsrFilterForm(QWidget* parent = nullptr);
    // Releases a matrix that was never handed over.
    ~TUsrFilterForm() override;

    // After an accepted "&Process": the matrix (MatrixSize * MatrixSize
    // coefficients, row-major from the top left) from AllocateCoefficients.
    // The dialog owns it until the launcher takes it with TakeCoefficients()
    // (or copies the pointer and sets this field to null); the user filter
    // routine then releases it. Null at every other time.
    long double* Coefficients = nullptr;
    // 1, 3, 5 or 7; 0 when the size list has no selection.
    int MatrixSize = 0;
    long double Scale = 1;
    long double Offset = 0;

    // Hands the matrix over: returns Coefficients and sets it to null.
    long double* TakeCoefficients();
    // The thread's flag parameter: 1 when AbsoluteCheckBox is ticked.
    std::uint8_t AbsoluteFlag() const;

    // Cell in grid row `row` and column `column`, both 1 to 7.
    QLineEdit* Cell(int row, int column) const { return FCells[row - 1][column - 1]; }

    QComboBox* Typ = nullptr;
    QLabel* TypLabel = nullptr;
    QComboBox* Rodzaj = nullptr;
    QLabel* Napis = nullptr;
    QComboBox* Rozmiar = nullptr;
    QLabel* RozmiarLabel = nullptr;
    QGroupBox* WspGroup = nullptr;
    QLineEdit *w11 = nullptr, *w12 = nullptr, *w13 = nullptr, *w14 = nullptr, *w15 = nullptr, *w16 = nullptr, *w17 = nullptr;
    QLineEdit *w21 = nullptr, *w22 = nullptr, *w23 = nullptr, *w24 = nullptr, *w25 = nullptr, *w26 = nullptr, *w27 = nullptr;
    QLineEdit *w31 = nullptr, *w32 = nullptr, *w33 = nullptr, *w34 = nullptr, *w35 = nullptr, *w36 = nullptr, *w37 = nullptr;
    QLineEdit *w41 = nullptr, *w42 = nullptr, *w43 = nullptr, *w44 = nullptr, *w45 = nullptr, *w46 = nullptr, *w47 = nullptr;
    QLineEdit *w51 = nullptr, *w52 = nullptr, *w53 = nullptr, *w54 = nullptr, *w55 = nullptr, *w56 = nullptr, *w57 = nullptr;
    QLineEdit *w61 = nullptr, *w62 = nullptr, *w63 = nullptr, *w64 = nullptr, *w65 = nullptr, *w66 = nullptr, *w67 = nullptr;
    QLineEdit *w71 = nullptr, *w72 = nullptr, *w73 = nullptr, *w74 = nullptr, *w75 = nullptr, *w76 = nullptr, *w77 = nullptr;
    QLineEdit* ScaleEdit = nullptr;
    QLineEdit* OffsetEdit = nullptr;
    QCheckBox* AbsoluteCheckBox = nullptr;
    QPushButton* OkSpeedButton = nullptr;
    QPushButton* CancelSpeedButton = nullptr;
    QLabel* TulvorImage = nullptr;

public slots:
    void FormCreate();
    void RozmiarChange();
    void RozmiarClick();
    void SetMatrixSize(int size);
    void TypClick();
    void RodzajClick();
    void OkSpeedButtonClick();
    void CancelSpeedButtonClick();
    void TulvorImageDblClick();

public:
    // Rings of cells: 0 the outer 7 x 7 ring, 1 the 5 x 5 ring, 2 the 3 x 3
    // ring, 3 the centre w44.
    void EnableRing(int ring, bool on);

protected:
    // wKeyPress for the cells, double-click of TulvorImage.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void wKeyPress();
    bool ReadMatrix();
    bool ReadScaleOffset();

    QLineEdit* FCells[7][7] = {};
};
