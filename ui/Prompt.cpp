#include "ui/Prompt.h"

#include <QMessageBox>

namespace kadrimex::ui {

namespace {
PromptHandler& Handler()
{
    static PromptHandler handler;
    return handler;
}
}  // namespace

void SetPromptHandler(PromptHandler handler)
{
    Handler() = std::move(handler);
}

PromptAnswer Prompt(const QString& text, const QString& caption, PromptButtons buttons, PromptIcon icon)
{
    if (Handler())
        return Handler()({text, caption, buttons, icon});

    QMessageBox box;
    box.setWindowTitle(caption);
    box.setText(text);
    box.setWindowModality(Qt::ApplicationModal);
    switch (icon) {
    case PromptIcon::Information: box.setIcon(QMessageBox::Information); break;
    case PromptIcon::Question: box.setIcon(QMessageBox::Question); break;
    case PromptIcon::Warning: box.setIcon(QMessageBox::Warning); break;
    case PromptIcon::Error: box.setIcon(QMessageBox::Critical); break;
    }
    if (buttons == PromptButtons::YesNo) {
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(QMessageBox::Yes);
        return box.exec() == QMessageBox::Yes ? PromptAnswer::Yes : PromptAnswer::No;
    }
    if (buttons == PromptButtons::YesNoCancel) {
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        box.setDefaultButton(QMessageBox::Yes);
        box.setEscapeButton(QMessageBox::Cancel);
        const int answer = box.exec();
        return answer == QMessageBox::Yes ? PromptAnswer::Yes
               : answer == QMessageBox::No ? PromptAnswer::No
                                           : PromptAnswer::Cancel;
    }
    box.setStandardButtons(QMessageBox::Ok);
    box.exec();
    return PromptAnswer::Ok;
}

void ShowError(const QString& message)
{
    Prompt(message, QStringLiteral("Kadrimex"), PromptButtons::Ok, PromptIcon::Error);
}

bool RunReportingErrors(const std::function<void()>& work, const QString& outOfMemory)
{
    try {
        work();
        return true;
    } catch (const std::bad_alloc&) {
        ShowError(outOfMemory);
    } catch (const std::exception& e) {
        ShowError(QString::fromStdString(e.what()));
    }
    return false;
}

}  // namespace kadrimex::ui
