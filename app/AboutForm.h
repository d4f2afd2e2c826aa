// The About box: one picture filling the window and the "OK!" button.
#pragma once

#include <QDialog>

class QPushButton;
class QWidget;

class TAboutForm : public QDialog {
    Q_OBJECT
public:
    explicit TAboutForm(QWidget* parent = nullptr);

    // Paints the about picture stretched to its whole area.
    QWidget* AboutImage = nullptr;
    QPushButton* OKButton = nullptr;
};
