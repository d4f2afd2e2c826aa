// The main window's side of the status bar: making it, the timer that
// repaints the gauge while an operation runs, and cancellation by a click.
#include "app/MainForm.h"
#include "app/ProgressGauge.h"
#include "ui/Prompt.h"

void TKadrimexMainForm::CreateStatusBar()
{
    MainStatusBar = new TMainStatusBar(this);
    MainStatusBar->setObjectName(QStringLiteral("MainStatusBar"));
    setStatusBar(MainStatusBar);
    MainStatusBar->SetPanelText(QStringLiteral("Welcome in Kadrimex"));
    MainStatusBar->GaugeState = [this](long double& percent) {
        if (!FProcessor || FProcessor->Suspended())
            return false;
        percent = kadrimex::ui::ProgressPercent(FProcessor->Progress(), FProcessor->ProgressMax());
        return true;
    };
    connect(MainStatusBar, &TMainStatusBar::clicked, this, &TKadrimexMainForm::MainStatusBarClick);
}

void TKadrimexMainForm::ShowIdleGauge()
{
    // The gauge is a child of the bar with a paint of its own; it is painted
    // directly, not left to the bar's repaint, so the last percentage cannot
    // stay on the screen.
    MainStatusBar->repaint();
    MainStatusBar->Panel1->repaint();
}

void TKadrimexMainForm::ProgressTimerTimer()
{
    // Off while the repaint is requested, so timer events cannot pile up.
    ProgressTimer->stop();
    MainStatusBar->update();
    MainStatusBar->Panel1->update();
    ProgressTimer->start();
}

void TKadrimexMainForm::MainStatusBarClick()
{
    if (!FProcessor || FProcessor->Suspended())
        return;
    const quint64 launch = FLaunchId;
    const auto answer = kadrimex::ui::Prompt(QStringLiteral("Ej no co? Ja ROBIEM. Chcesz żebym dał se spokój?"),
                                             QStringLiteral("Co ty niby robisz, co?"),
                                             kadrimex::ui::PromptButtons::YesNo, kadrimex::ui::PromptIcon::Warning);
    // The operation may have completed while the question was open.
    if (answer == kadrimex::ui::PromptAnswer::Yes && FProcessor && launch == FLaunchId)
        FProcessor->Terminate();
}
