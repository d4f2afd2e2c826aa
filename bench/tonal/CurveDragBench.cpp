// A drag across the whole width of the curves dialog's chart over the
// 4000 x 3000 photo: each mouse move is sent to the chart as an event and
// the chart is then repainted at once, so the time of a move is what the
// hand waits for. Prints the histogram's time and the moves' median, mean
// and maximum. Runs offscreen unless QT_QPA_PLATFORM says otherwise (xcb
// under Xvfb measures the real window).
#include "engine/Codecs.h"
#include "tonal/ui/CurvesForm.h"

#include <QApplication>
#include <QChart>
#include <QChartView>
#include <QElapsedTimer>
#include <QLineSeries>
#include <QMouseEvent>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <numeric>
#include <string>
#include <vector>

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const std::string path = std::string(KADRIMEX_SHARED_DIR) + "/testdata/rocket-4000x3000.jpg";
    if (!std::filesystem::exists(path)) {
        std::printf("SKIP: %s is absent\n", path.c_str());
        return 77;
    }
    const auto bytes = kadrimex::ReadFileBytes(path);
    auto photo = std::make_shared<kadrimex::TAdvancedBitmap>();
    static_cast<kadrimex::TBitmap&>(*photo) = kadrimex::DecodeJpeg(bytes.data(), bytes.size());

    TCurvesForm form;
    form.FBitmap = photo;
    QElapsedTimer clock;
    clock.start();
    form.show();
    while (!form.FCurveSeries && clock.elapsed() < 60000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::usleep(200);
    }
    if (!form.FCurveSeries) {
        std::printf("FAIL: no histogram within 60 s\n");
        return 1;
    }
    std::printf("histogram shown after %lld ms (thread, plot and first layout)\n", clock.elapsed());
    QCoreApplication::processEvents();

    QChart* chart = form.HistoChart->chart();
    QWidget* viewport = form.HistoChart->viewport();
    const QRectF plot = chart->plotArea();
    auto toView = [&](QPointF p) { return form.HistoChart->mapFromScene(chart->mapToScene(p)); };
    auto send = [&](QEvent::Type type, QPoint at, Qt::MouseButtons buttons) {
        QMouseEvent event(type, at, viewport->mapToGlobal(at), Qt::LeftButton, buttons, Qt::NoModifier);
        QCoreApplication::sendEvent(viewport, &event);
    };
    std::vector<double> moves;
    for (int pass = 0; pass < 3; ++pass) {
        send(QEvent::MouseButtonPress, toView(plot.bottomLeft()), Qt::LeftButton);
        for (int x = int(plot.left()); x <= int(plot.right()); ++x) {
            const double phase = (x - plot.left()) / plot.width();
            const QPoint at = toView(QPointF(x, plot.top() + plot.height() * (0.5 + 0.45 * std::sin(12 * phase + pass))));
            QElapsedTimer move;
            move.start();
            send(QEvent::MouseMove, at, Qt::LeftButton);
            viewport->repaint();
            moves.push_back(double(move.nsecsElapsed()) * 1e-6);
        }
        send(QEvent::MouseButtonRelease, toView(plot.bottomRight()), Qt::NoButton);
    }
    std::vector<double> sorted = moves;
    std::sort(sorted.begin(), sorted.end());
    std::printf("%zu moves over a %.0f-pixel plot: median %.2f ms, mean %.2f ms, max %.2f ms per move "
                "(event and repaint), platform %s\n",
                moves.size(), plot.width(), sorted[sorted.size() / 2],
                std::accumulate(moves.begin(), moves.end(), 0.0) / double(moves.size()), sorted.back(),
                qPrintable(QGuiApplication::platformName()));
    return 0;
}
