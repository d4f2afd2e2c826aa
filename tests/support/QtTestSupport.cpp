#include "tests/support/QtTestSupport.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QThread>

#include <gtest/gtest.h>

namespace {

// gtest_main provides main(); this environment provides the application
// object, named after the test program.
class QtApplicationEnvironment : public ::testing::Environment {
public:
    void SetUp() override
    {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        if (QApplication::instance() == nullptr)
            FApplication = new QApplication(FArgc, FArgv);
    }
    void TearDown() override
    {
        delete FApplication;
        FApplication = nullptr;
    }

private:
    int FArgc = 1;
    char FName[sizeof(KADRIMEX_TEST_NAME)] = KADRIMEX_TEST_NAME;
    char* FArgv[2] = {FName, nullptr};
    QApplication* FApplication = nullptr;
};

[[maybe_unused]] ::testing::Environment* const gQtEnvironment =
    ::testing::AddGlobalTestEnvironment(new QtApplicationEnvironment);

}  // namespace

namespace kadrimex::test {

void CapturePrompts(std::vector<ui::PromptRequest>& prompts)
{
    ui::SetPromptHandler([&prompts](const ui::PromptRequest& request) {
        prompts.push_back(request);
        return ui::PromptAnswer::Ok;
    });
}

void CapturePrompts(std::vector<QString>& texts)
{
    ui::SetPromptHandler([&texts](const ui::PromptRequest& request) {
        texts.push_back(request.text);
        return ui::PromptAnswer::Ok;
    });
}

void ReleasePrompts()
{
    ui::SetPromptHandler({});
}

bool WaitUntil(const std::function<bool()>& condition, int milliseconds)
{
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > milliseconds)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(1);
    }
    return true;
}

}  // namespace kadrimex::test
