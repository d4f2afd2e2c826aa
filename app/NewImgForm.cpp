#include "app/NewImgForm.h"

#include "ui/LocaleNumbers.h"

#include <QColorDialog>
#include <QComboBox>
#include <QFrame>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScreen>

TNewImgForm::TNewImgForm(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("NewImgForm"));
    setWindowTitle(QStringLiteral("Create an empty image"));
    setWindowFlags(Qt::Tool);

    auto makeBox = [this](const char* name, const QString& text, const QStringList& items) {
        auto* box = new QComboBox(this);
        box->setObjectName(QString::fromLatin1(name));
        box->setEditable(true);
        box->setInsertPolicy(QComboBox::NoInsert);
        box->addItems(items);
        box->setEditText(text);
        return box;
    };
    WidthBox = makeBox("WidthBox", QStringLiteral("640"),
                       {"32", "64", "128", "192", "200", "240", "256", "320", "480", "512", "600", "640", "720", "1024",
                        "1270", "1536", "2048", "4096", "8192", ""});
    HeightBox = makeBox("HeightBox", QStringLiteral("480"),
                        {"32", "64", "128", "192", "200", "240", "256", "388", "480", "512", "600", "640", "768", "1024",
                         "2048", "4096"});
    ColorBox = new QComboBox(this);
    ColorBox->setObjectName(QStringLiteral("ColorBox"));
    ColorBox->addItem(QStringLiteral("RGB 24-bit"));
    ColorBox->setEnabled(false);

    ColorPanel = new QFrame(this);
    ColorPanel->setObjectName(QStringLiteral("ColorPanel"));
    ColorPanel->setFrameShape(QFrame::Panel);
    ColorPanel->setFrameShadow(QFrame::Sunken);
    ColorPanel->setAutoFillBackground(true);
    ColorPanel->setMinimumSize(48, 22);
    SetColor(Qt::white);

    auto makeLabel = [this](const char* name, const QString& text, QWidget* buddy) {
        auto* label = new QLabel(text, this);
        label->setObjectName(QString::fromLatin1(name));
        label->setBuddy(buddy);
        return label;
    };
    WidthLabel = makeLabel("WidthLabel", QStringLiteral("&Width:"), WidthBox);
    HeightLabel = makeLabel("HeightLabel", QStringLiteral("&Height:"), HeightBox);
    ColorModelLabel = makeLabel("ColorModelLabel", QStringLiteral("Colors &model:"), ColorBox);

    CreateButton = new QPushButton(QStringLiteral("Cr&eate"), this);
    CreateButton->setObjectName(QStringLiteral("CreateButton"));
    CreateButton->setDefault(true);
    CancelButton = new QPushButton(QStringLiteral("&Cancel"), this);
    CancelButton->setObjectName(QStringLiteral("CancelButton"));
    SelectButton = new QPushButton(QStringLiteral("&Select"), this);
    SelectButton->setObjectName(QStringLiteral("SelectButton"));
    BackgroundLabel = makeLabel("BackgroundLabel", QStringLiteral("Back&ground color:"), SelectButton);

    ColorDialog = new QColorDialog(this);
    ColorDialog->setObjectName(QStringLiteral("ColorDialog"));
    ColorDialog->setOption(QColorDialog::DontUseNativeDialog);

    auto* layout = new QGridLayout(this);
    layout->addWidget(WidthLabel, 0, 0);
    layout->addWidget(WidthBox, 0, 1);
    layout->addWidget(HeightLabel, 1, 0);
    layout->addWidget(HeightBox, 1, 1);
    layout->addWidget(ColorModelLabel, 2, 0);
    layout->addWidget(ColorBox, 2, 1);
    layout->addWidget(BackgroundLabel, 3, 0);
    auto* colorRow = new QHBoxLayout;
    colorRow->addWidget(ColorPanel, 1);
    colorRow->addWidget(SelectButton);
    layout->addLayout(colorRow, 3, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(CreateButton);
    buttons->addWidget(CancelButton);
    layout->addLayout(buttons, 4, 0, 1, 2);

    connect(CreateButton, &QPushButton::clicked, this, &TNewImgForm::CreateButtonClick);
    connect(CancelButton, &QPushButton::clicked, this, &TNewImgForm::CancelButtonClick);
    connect(SelectButton, &QPushButton::clicked, this, &TNewImgForm::SelectButtonClick);

    adjustSize();
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect frame(QPoint(0, 0), size());
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
}

void TNewImgForm::SetColor(const QColor& color)
{
    FColor = color;
    QPalette palette = ColorPanel->palette();
    palette.setColor(QPalette::Window, color);
    ColorPanel->setPalette(palette);
}

void TNewImgForm::CreateButtonClick()
{
    int width = 0;
    int height = 0;
    if (!kadrimex::ui::ParseInt(WidthBox->currentText(), width))
        width = 0;
    if (!kadrimex::ui::ParseInt(HeightBox->currentText(), height))
        height = 0;
    FNewWidth = width;
    FNewHeight = height;
    // Out of range: the dialog stays open without a message.
    if (FNewWidth < kMinSide || FNewWidth > kMaxSide || FNewHeight < kMinSide || FNewHeight > kMaxSide)
        return;
    accept();
}

void TNewImgForm::CancelButtonClick()
{
    reject();
}

void TNewImgForm::SelectButtonClick()
{
    ColorDialog->setCurrentColor(FColor);
    if (ColorDialog->exec() == QDialog::Accepted)
        SetColor(ColorDialog->currentColor());
}
