// Every modal question and message of the editor goes through Prompt(), so
// tests can answer it without a human: a test installs a handler and the
// box is never shown.
#pragma once

#include <QString>

#include <functional>

namespace kadrimex::ui {

enum class PromptButtons { Ok, YesNo, YesNoCancel };
enum class PromptIcon { Information, Question, Warning, Error };
enum class PromptAnswer { Ok, Yes, No, Cancel };

struct PromptRequest {
    QString text;
    QString caption;
    PromptButtons buttons = PromptButtons::Ok;
    PromptIcon icon = PromptIcon::Information;
};

// Shows a task-modal message box without an owner window and returns the
// answer. With a handler installed the handler answers instead.
PromptAnswer Prompt(const QString& text, const QString& caption, PromptButtons buttons, PromptIcon icon);

// The application's error report: one box with the message.
void ShowError(const QString& message);
// Runs `work`; an exception it throws is reported by ShowError instead, an
// exhausted memory as `outOfMemory`. Returns whether `work` completed.
bool RunReportingErrors(const std::function<void()>& work, const QString& outOfMemory);

using PromptHandler = std::function<PromptAnswer(const PromptRequest&)>;
// Installs a handler (tests); an empty function restores the real boxes.
void SetPromptHandler(PromptHandler handler);

}  // namespace kadrimex::ui
