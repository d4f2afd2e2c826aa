// What the widget tests share. Every UI test program links QtTestSupport.cpp
// (kadrimex_add_test adds it), whose global gtest environment creates the
// QApplication before the first test, offscreen unless QT_QPA_PLATFORM says
// otherwise. The prompt helpers answer every modal message for a test and
// record it.
#pragma once

#include "ui/Prompt.h"

#include <QString>

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

}  // namespace kadrimex::test
