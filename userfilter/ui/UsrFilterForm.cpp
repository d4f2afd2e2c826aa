#include "userfilter/ui/UsrFilterForm.h"

#include "ui/DialogParts.h"
#include "ui/LocaleNumbers.h"
#include "ui/Prompt.h"
#include "userfilter/ExampleFilters.h"
#include "userfilter/UserFilter.h"

#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include <algorithm>
#include <new>

namespace {

QLineEdit* TUsrFilterForm::* const kCellMembers[7][7] = {
    {&TUsrFilterForm::w11, &TUsrFilterForm::w12, &TUsrFilterForm::w13, &TUsrFilterForm::w14, &TUsrFilterForm::w15, &TUsrFilterForm::w16, &TUsrFilterForm::w17},
    {&TUsrFilterForm::w21, &TUsrFilterForm::w22, &TUsrFilterForm::w23, &TUsrFilterForm::w24, &TUsrFilterForm::w25, &TUsrFilterForm::w26, &TUsrFilterForm::w27},
    {&TUsrFilterForm::w31, &TUsrFilterForm::w32, &TUsrFilterForm::w33, &TUsrFilterForm::w34, &TUsrFilterForm::w35, &TUsrFilterForm::w36, &TUsrFilterForm::w37},
    {&TUsrFilterForm::w41, &TUsrFilterForm::w42, &TUsrFilterForm::w43, &TUsrFilterForm::w44, &TUsrFilterForm::w45, &TUsrFilterForm::w46, &TUsrFilterForm::w47},
    {&TUsrFilterForm::w51, &TUsrFilterForm::w52, &TUsrFilterForm::w53, &TUsrFilterForm::w54, &TUsrFilterForm::w55, &TUsrFilterForm::w56, &TUsrFilterForm::w57},
    {&TUsrFilterForm::w61, &TUsrFilterForm::w62, &TUsrFilterForm::w63, &TUsrFilterForm::w64, &TUsrFilterForm::w65, &TUsrFilterForm::w66, &TUsrFilterForm::w67},
    {&TUsrFilterForm::w71, &TUsrFilterForm::w72, &TUsrFilterForm::w73, &TUsrFilterForm::w74, &TUsrFilterForm::w75, &TUsrFilterForm::w76, &TUsrFilterForm::w77}
};

// Ring of the cell in grid row r and column c (0-based): 0 outer ... 3 centre.
int RingOf(int r, int c)
{
    return std::min({r, c, 6 - r, 6 - c});
}

// The small picture at the bottom left: a 3 x 3 kernel whose weights fall
// off from the centre, over a soft rounded tile.
QPixmap DesignerPicture()
{
    const int side = 48;
    QPixmap pixmap(side, side);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient tile(0, 0, side, side);
    tile.setColorAt(0, QColor(70, 120, 190));
    tile.setColorAt(1, QColor(30, 60, 110));
    p.setPen(Qt::NoPen);
    p.setBrush(tile);
    p.drawRoundedRect(QRectF(1, 1, side - 2, side - 2), 8, 8);
    const int weights[3][3] = {{1, 2, 1}, {2, 4, 2}, {1, 2, 1}};
    const qreal cell = 11, gap = 2, origin = (side - 3 * cell - 2 * gap) / 2;
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) {
            const int shade = 120 + weights[r][c] * 33;
            p.setBrush(QColor(shade, shade, 255));
            p.drawRoundedRect(QRectF(origin + c * (cell + gap), origin + r * (cell + gap), cell, cell), 2, 2);
        }
    p.setPen(QPen(QColor(255, 210, 80), 2));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(QPointF(side / 2.0, side / 2.0), cell * 0.9, cell * 0.9);
    return pixmap;
}

const QString kBadMatrixText = QStringLiteral(
    "Program nie zdołał utworzyć tablicy współczynników. Przynajmiej jeden ze współczynników nie jest "
    "poprawną liczbą zmiennoprzecinkową.");
const QString kBadMatrixCaption = QStringLiteral("Coś Ci nie wyszły te współczynniki");

}  // namespace

TUsrFilterForm::TUsrFilterForm(QWidget* parent) : QDialog(parent, Qt::Tool)
{
    setObjectName(QStringLiteral("UsrFilterForm"));
    setWindowTitle(QStringLiteral("Conduct filtration"));

    using kadrimex::ui::Named;

    Typ = new QComboBox(this);
    Named(Typ, "Typ");
    for (int t = 0; t < kadrimex::kFilterTypeCount; ++t)
        Typ->addItem(QString::fromUtf8(kadrimex::FilterType(t).Name));
    Typ->setMaxVisibleItems(10);
    TypLabel = new QLabel(QStringLiteral("Filter &type:"), this);
    TypLabel->setBuddy(Typ);

    Rodzaj = new QComboBox(this);
    Named(Rodzaj, "Rodzaj");
    Rodzaj->setMaxVisibleItems(10);
    Napis = new QLabel(QStringLiteral("&Example filters:"), this);
    Named(Napis, "Napis");
    Napis->setBuddy(Rodzaj);

    Rozmiar = new QComboBox(this);
    Named(Rozmiar, "Rozmiar");
    Rozmiar->addItems({QStringLiteral("1x1"), QStringLiteral("3x3"), QStringLiteral("5x5"), QStringLiteral("7x7")});
    RozmiarLabel = new QLabel(QStringLiteral("Transform &matrix size:"), this);
    RozmiarLabel->setBuddy(Rozmiar);

    WspGroup = new QGroupBox(QStringLiteral("Współczynniki filtru (dowolne liczby rzeczywiste)"), this);
    Named(WspGroup, "WspGroup");
    auto* grid = new QGridLayout(WspGroup);
    for (int r = 0; r < 7; ++r)
        for (int c = 0; c < 7; ++c) {
            auto* cell = new QLineEdit(WspGroup);
            cell->setObjectName(QStringLiteral("w%1%2").arg(r + 1).arg(c + 1));
            cell->setText(r == 3 && c == 3 ? QStringLiteral("1") : QStringLiteral("0"));
            cell->setEnabled(false);
            cell->setAlignment(Qt::AlignRight);
            cell->setMinimumWidth(52);
            cell->installEventFilter(this);
            grid->addWidget(cell, r, c);
            FCells[r][c] = cell;
            this->*kCellMembers[r][c] = cell;
        }

    ScaleEdit = new QLineEdit(QStringLiteral("1"), this);
    Named(ScaleEdit, "ScaleEdit");
    OffsetEdit = new QLineEdit(QStringLiteral("0"), this);
    Named(OffsetEdit, "OffsetEdit");
    auto* scaleLabel = new QLabel(QStringLiteral("Color scale (divider):"), this);
    scaleLabel->setBuddy(ScaleEdit);
    auto* offsetLabel = new QLabel(QStringLiteral("Color offset:"), this);
    offsetLabel->setBuddy(OffsetEdit);
    AbsoluteCheckBox = new QCheckBox(QStringLiteral("Change sign of negative results (negative values bright)"), this);
    Named(AbsoluteCheckBox, "AbsoluteCheckBox");

    OkSpeedButton = new QPushButton(QStringLiteral("&Process"), this);
    Named(OkSpeedButton, "OkSpeedButton");
    CancelSpeedButton = new QPushButton(QStringLiteral("&Cancel"), this);
    Named(CancelSpeedButton, "CancelSpeedButton");
    // Enter (Process) and Escape (Cancel) are the form's own keys, whichever
    // control has the focus: the filter on the form sees every key press the
    // controls pass on.
    for (QPushButton* b : {OkSpeedButton, CancelSpeedButton}) {
        b->setAutoDefault(false);
        b->setDefault(false);
    }
    (new kadrimex::ui::DialogKeyFilter(this, [this] { OkSpeedButtonClick(); }, [this] { CancelSpeedButtonClick(); }))
        ->Watch(this);

    TulvorImage = new QLabel(this);
    Named(TulvorImage, "TulvorImage");
    TulvorImage->setPixmap(DesignerPicture());
    TulvorImage->installEventFilter(this);

    auto* choices = new QGridLayout;
    choices->addWidget(TypLabel, 0, 0);
    choices->addWidget(Typ, 0, 1);
    choices->addWidget(Napis, 1, 0);
    choices->addWidget(Rodzaj, 1, 1);
    choices->addWidget(RozmiarLabel, 2, 0);
    choices->addWidget(Rozmiar, 2, 1);
    choices->setColumnStretch(1, 1);

    auto* values = new QGridLayout;
    values->addWidget(scaleLabel, 0, 0);
    values->addWidget(ScaleEdit, 0, 1);
    values->addWidget(offsetLabel, 1, 0);
    values->addWidget(OffsetEdit, 1, 1);
    values->addWidget(AbsoluteCheckBox, 2, 0, 1, 2);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(TulvorImage);
    buttons->addStretch(1);
    buttons->addWidget(OkSpeedButton);
    buttons->addWidget(CancelSpeedButton);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(choices);
    layout->addWidget(WspGroup);
    layout->addLayout(values);
    layout->addLayout(buttons);

    // The type and example lists react to both a pick and a change; the size
    // list to the user's pick only (a pick runs the click and then the change).
    connect(Typ, &QComboBox::activated, this, &TUsrFilterForm::TypClick);
    connect(Typ, &QComboBox::currentIndexChanged, this, &TUsrFilterForm::TypClick);
    connect(Rodzaj, &QComboBox::activated, this, &TUsrFilterForm::RodzajClick);
    connect(Rodzaj, &QComboBox::currentIndexChanged, this, &TUsrFilterForm::RodzajClick);
    connect(Rozmiar, &QComboBox::activated, this, &TUsrFilterForm::RozmiarClick);
    connect(OkSpeedButton, &QPushButton::clicked, this, &TUsrFilterForm::OkSpeedButtonClick);
    connect(CancelSpeedButton, &QPushButton::clicked, this, &TUsrFilterForm::CancelSpeedButtonClick);

    {
        const QSignalBlocker blocker(Typ);
        Typ->setCurrentIndex(-1);
    }
    Rodzaj->setEnabled(false);
    Napis->setEnabled(false);
    FormCreate();
}

TUsrFilterForm::~TUsrFilterForm()
{
    kadrimex::ReleaseCoefficients(Coefficients);
}

long double* TUsrFilterForm::TakeCoefficients()
{
    long double* matrix = Coefficients;
    Coefficients = nullptr;
    return matrix;
}

std::uint8_t TUsrFilterForm::AbsoluteFlag() const
{
    return AbsoluteCheckBox->isChecked() ? 1 : 0;
}

void TUsrFilterForm::FormCreate()
{
    {
        const QSignalBlocker blocker(Rozmiar);
        Rozmiar->setCurrentIndex(1);
    }
    RozmiarChange();
}

void TUsrFilterForm::RozmiarChange()
{
    static const int kSizes[] = {1, 3, 5, 7};
    const int index = Rozmiar->currentIndex();
    SetMatrixSize(index >= 0 && index < 4 ? kSizes[index] : 0);
}

void TUsrFilterForm::RozmiarClick()
{
    {
        const QSignalBlocker blocker(Typ);
        Typ->setCurrentIndex(0);
    }
    RozmiarChange();
}

void TUsrFilterForm::SetMatrixSize(int size)
{
    EnableRing(0, size >= 7);
    EnableRing(1, size >= 5);
    EnableRing(2, size >= 3);
    EnableRing(3, size >= 1);
    MatrixSize = size;
}

void TUsrFilterForm::EnableRing(int ring, bool on)
{
    const QColor colour = palette().color(on ? QPalette::Base : QPalette::Button);
    for (int r = 0; r < 7; ++r)
        for (int c = 0; c < 7; ++c) {
            if (RingOf(r, c) != ring)
                continue;
            QLineEdit* cell = FCells[r][c];
            cell->setEnabled(on);
            if (!on)
                cell->setText(QStringLiteral("0"));
            QPalette pal = cell->palette();
            for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
                pal.setColor(group, QPalette::Base, colour);
            cell->setPalette(pal);
        }
}

void TUsrFilterForm::TypClick()
{
    const int type = Typ->currentIndex();
    if (type == 0) {
        Rodzaj->setEnabled(false);
        Napis->setEnabled(false);
        const QSignalBlocker blocker(Rodzaj);
        Rodzaj->clear();
        return;
    }
    if (type < 1 || type >= kadrimex::kFilterTypeCount)
        return;
    Rodzaj->setEnabled(true);
    Napis->setEnabled(true);
    {
        const QSignalBlocker blocker(Rodzaj);
        Rodzaj->clear();
        for (const auto& example : kadrimex::FilterType(type).Examples)
            Rodzaj->addItem(QString::fromUtf8(example.Name));
        Rodzaj->setCurrentIndex(0);
    }
    RodzajClick();
}

void TUsrFilterForm::RodzajClick()
{
    const kadrimex::TExampleFilter* example = kadrimex::FindExampleFilter(Typ->currentIndex(), Rodzaj->currentIndex());
    if (!example)
        return;
    {
        const QSignalBlocker blocker(Rozmiar);
        Rozmiar->setCurrentIndex(1);
    }
    SetMatrixSize(3);
    ScaleEdit->setText(QString::number(example->Divider));
    OffsetEdit->setText(QString::number(example->Offset));
    for (int k = 0; k < 9; ++k)
        FCells[2 + k / 3][2 + k % 3]->setText(QString::number(example->Cells[std::size_t(k)]));
}

void TUsrFilterForm::wKeyPress()
{
    {
        const QSignalBlocker blocker(Typ);
        Typ->setCurrentIndex(0);
    }
    TypClick();
}

bool TUsrFilterForm::ReadMatrix()
{
    const int n = MatrixSize;
    if (n != 1 && n != 3 && n != 5 && n != 7)
        return false;
    const int k = (7 - n) / 2;
    // Column by column: decides only which bad cell is met first.
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < n; ++i) {
            long double value = 0;
            if (!kadrimex::ui::ParseReal(FCells[i + k][j + k]->text(), value))
                return false;
            Coefficients[i * n + j] = value;
        }
    return true;
}

bool TUsrFilterForm::ReadScaleOffset()
{
    const bool scaleRead = kadrimex::ui::ParseReal(ScaleEdit->text(), Scale);
    const bool offsetRead = kadrimex::ui::ParseReal(OffsetEdit->text(), Offset);
    return scaleRead && offsetRead;
}

void TUsrFilterForm::OkSpeedButtonClick()
{
    kadrimex::ReleaseCoefficients(Coefficients);
    Coefficients = nullptr;
    try {
        Coefficients = kadrimex::AllocateCoefficients(MatrixSize);
        const bool matrixRead = ReadMatrix();
        // The divider and offset are read even after a bad cell.
        const bool valuesRead = ReadScaleOffset();
        if (!matrixRead || !valuesRead) {
            kadrimex::ReleaseCoefficients(Coefficients);
            Coefficients = nullptr;
        }
    } catch (const std::exception&) {
        kadrimex::ReleaseCoefficients(Coefficients);
        Coefficients = nullptr;
    }
    if (!Coefficients) {
        kadrimex::ui::Prompt(kBadMatrixText, kBadMatrixCaption, kadrimex::ui::PromptButtons::Ok,
                             kadrimex::ui::PromptIcon::Warning);
        return;
    }
    accept();
}

void TUsrFilterForm::CancelSpeedButtonClick()
{
    reject();
}

void TUsrFilterForm::TulvorImageDblClick()
{
    kadrimex::ui::Prompt(QStringLiteral("The filter designer of Kadrimex.\n\n"
                                        "Type any real coefficients into the matrix, or start from one of the "
                                        "classic kernels: low-pass, high-pass, edges, compass gradients, emboss, "
                                        "Laplace, Prewitt and Sobel."),
                         QStringLiteral("About the filter designer"), kadrimex::ui::PromptButtons::Ok,
                         kadrimex::ui::PromptIcon::Information);
}

bool TUsrFilterForm::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == TulvorImage && event->type() == QEvent::MouseButtonDblClick) {
        TulvorImageDblClick();
        return true;
    }
    if (event->type() == QEvent::KeyPress && watched->parent() == WspGroup) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        // Enter and Escape belong to the form; any other key first resets the
        // type, then reaches the cell.
        if (key != Qt::Key_Return && key != Qt::Key_Enter && key != Qt::Key_Escape)
            wKeyPress();
    }
    return QDialog::eventFilter(watched, event);
}
