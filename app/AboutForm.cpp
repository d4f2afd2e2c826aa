#include "app/AboutForm.h"

#include <QPainter>
#include <QPushButton>
#include <QSvgRenderer>
#include <QVBoxLayout>

namespace {

class TAboutPicture : public QWidget {
public:
    explicit TAboutPicture(QWidget* parent) : QWidget(parent), FRenderer(QStringLiteral(":/pictures/about.svg"), this)
    {
        setMinimumSize(320, 240);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        FRenderer.render(&painter, QRectF(rect()));
    }

private:
    QSvgRenderer FRenderer;
};

}  // namespace

TAboutForm::TAboutForm(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("AboutForm"));
    setWindowTitle(QStringLiteral("O programie"));

    AboutImage = new TAboutPicture(this);
    AboutImage->setObjectName(QStringLiteral("AboutImage"));

    OKButton = new QPushButton(QStringLiteral("OK!"), this);
    OKButton->setObjectName(QStringLiteral("OKButton"));
    OKButton->setDefault(true);
    connect(OKButton, &QPushButton::clicked, this, &QDialog::accept);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 8);
    layout->addWidget(AboutImage, 1);
    layout->addWidget(OKButton, 0, Qt::AlignHCenter);
    resize(400, 340);
}
