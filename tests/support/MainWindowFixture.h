// The main window driven offscreen: every prompt is recorded and answered
// by OnPrompt (by default Yes to a question, OK to a message), every dialog
// is run by OnDialog (by default cancelled).
#pragma once

#include "app/MainForm.h"
#include "app/PictureDocument.h"
#include "app/WorkImage.h"
#include "tests/support/QtTestSupport.h"
#include "ui/Prompt.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <vector>

namespace kadrimex::test {

class MainWindowFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        ui::SetPromptHandler([this](const ui::PromptRequest& request) {
            Prompts.push_back(request);
            if (OnPrompt)
                return OnPrompt(request);
            return request.buttons == ui::PromptButtons::YesNo ? ui::PromptAnswer::Yes : ui::PromptAnswer::Ok;
        });
        Form = std::make_unique<TKadrimexMainForm>();
        Form->DialogRunner = [this](QDialog& dialog) {
            ++DialogsRun;
            return OnDialog ? OnDialog(dialog) : int(QDialog::Rejected);
        };
    }
    void TearDown() override
    {
        Form.reset();
        ui::SetPromptHandler({});
    }

    void Show(TBitmap bitmap)
    {
        TPicture picture;
        picture.Assign(std::move(bitmap));
        Form->Document->Replace(std::move(picture));
    }
    TBitmap Shown() const { return Form->WorkImage->Picture().ToBitmap(); }
    bool WaitIdle() { return WaitUntil([this] { return Form->FProcessor == nullptr; }); }

    std::unique_ptr<TKadrimexMainForm> Form;
    std::vector<ui::PromptRequest> Prompts;
    std::function<ui::PromptAnswer(const ui::PromptRequest&)> OnPrompt;
    std::function<int(QDialog&)> OnDialog;
    int DialogsRun = 0;
};

}  // namespace kadrimex::test
