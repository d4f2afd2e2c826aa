// What the widget tests share. Every UI test program links QtTestSupport.cpp
// (kadrimex_add_test adds it), whose global gtest environment creates the
// QApplication before the first test, offscreen unless QT_QPA_PLATFORM says
// otherwise. The prompt helpers answer every modal message for a test and
// record it.
#pragma once

#include "ui/Prompt.h"

#include <QDialog>
#include <QLocale>
#include <QString>

#include <gtest/gtest.h>

#include <functional>

#include <ostream>
#include <vector>

// Readable QString values in failure messages.
QT_BEGIN_NAMESPACE
inline void PrintTo(const QString& text, std::ostream* out)
{
    *out << '"' << text.toStdString() << '"';
}
QT_END_NAMESPACE

namespace kadrimex::test {

// Until ReleasePrompts(), every prompt is answered OK instead of shown and
// appended to `prompts` (the whole request, or its text only).
void CapturePrompts(std::vector<ui::PromptRequest>& prompts);
void CapturePrompts(std::vector<QString>& texts);

// Shows the real message boxes again.
void ReleasePrompts();

// Processes events until condition() holds; false after `milliseconds`.
bool WaitUntil(const std::function<bool()>& condition, int milliseconds = 120000);

// How a dialog run ended: QDialog::Accepted, QDialog::Rejected or kStaysOpen.
constexpr int kStaysOpen = -1;

// Opens `form`, runs `action` and reports how the run ended; a dialog that
// stayed open is then closed, so every run starts from a closed dialog.
template <class Action>
int RunDialog(QDialog& form, Action action)
{
    form.open();
    action();
    if (form.isVisible()) {
        form.reject();
        return kStaysOpen;
    }
    return form.result();
}

// A test run in a point-separator locale with every prompt captured in
// Prompts; both are restored afterwards.
class PromptCaptureTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        FSavedLocale = QLocale();
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        CapturePrompts(Prompts);
    }
    void TearDown() override
    {
        ReleasePrompts();
        QLocale::setDefault(FSavedLocale);
    }

    std::vector<QString> Prompts;

private:
    QLocale FSavedLocale;
};

}  // namespace kadrimex::test
