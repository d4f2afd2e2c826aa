// gtest_main provides main(); the QApplication the widget tests need is
// created by this global environment before the first test.
#include <QApplication>

#include <gtest/gtest.h>

namespace {

class QtApplicationEnvironment : public ::testing::Environment {
public:
    void SetUp() override
    {
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
    char FName[16] = "view_tests";
    char* FArgv[2] = {FName, nullptr};
    QApplication* FApplication = nullptr;
};

[[maybe_unused]] ::testing::Environment* const gQtEnvironment =
    ::testing::AddGlobalTestEnvironment(new QtApplicationEnvironment);

}  // namespace
