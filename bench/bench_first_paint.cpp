// SPDX-License-Identifier: GPL-3.0-or-later
// How soon the window answers: the time from clicking "Run" (a default search over the whole
// of examples/plateau_event.csv, "Event with duration"), "Refine best fit" or accepting
// "Bootstrap intervals…" (200 replicates) to the window's first paint after it. The work itself
// goes on after the paint; its end is waited for outside the timing. Paints of the working plot
// and the progress bars count: the button's own press paints before the click is taken.
#include "ui/app/frm_main.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QTest>

#include <memory>

using namespace tolvenar;

namespace {

// Notes the first paint after arm() of what shows the work: the working plot or a progress bar.
class FirstPaint final : public QObject {
public:
    explicit FirstPaint(frmMain& w)
    {
        for (QWidget* shows : {static_cast<QWidget*>(w.Picture1), static_cast<QWidget*>(w.ProgressBar1),
                               static_cast<QWidget*>(w.ProgressBar2)})
            shows->installEventFilter(this);
    }
    void arm()
    {
        m_painted = false;
        m_clock.start();
    }
    // Runs the window's events until the paint; its time in seconds.
    double wait()
    {
        while (!m_painted)
            QApplication::processEvents(QEventLoop::AllEvents, 5);
        return m_seconds;
    }

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint && !m_painted) {
            m_painted = true;
            m_seconds = static_cast<double>(m_clock.nsecsElapsed()) * 1e-9;
        }
        return false;
    }

private:
    QElapsedTimer m_clock;
    bool m_painted = true;
    double m_seconds = 0.0;
};

std::unique_ptr<frmMain> window_over_plateau(ModelFamily family = ModelFamily::EventWithDuration)
{
    auto window = std::make_unique<frmMain>();
    frmMain& w = *window;
    w.show();
    QTest::qWaitForWindowExposed(&w);
    w.platform.ShowOpen = [](const QString&) {
        return QStringLiteral(TOLVENAR_SOURCE_DIR "/examples/plateau_event.csv");
    };
    w.Command1_Click();
    for (const auto& [field, text] : {std::pair{w.Text5, "1000"}, {w.Text4, "0"}}) {
        QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(field, QLatin1String(text));
    }
    QTest::mouseClick(w.Option1[static_cast<int>(family)], Qt::LeftButton);
    return window;
}

void BM_FirstPaintAfterRun(benchmark::State& state)
{
    auto window = window_over_plateau();
    frmMain& w = *window;
    FirstPaint paint(w);
    for (auto _ : state) {
        paint.arm();
        QTest::mouseClick(w.Command2, Qt::LeftButton);
        state.SetIterationTime(paint.wait());
        w.Work->wait_until_idle();
        w.Reset();
    }
}
BENCHMARK(BM_FirstPaintAfterRun)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_FirstPaintAfterRefine(benchmark::State& state)
{
    auto window = window_over_plateau();
    frmMain& w = *window;
    QTest::mouseClick(w.Command2, Qt::LeftButton);
        w.Work->wait_until_idle();
    FirstPaint paint(w);
    for (auto _ : state) {
        paint.arm();
        w.mnuRefine1_Click();
        state.SetIterationTime(paint.wait());
        w.Work->wait_until_idle();
    }
}
BENCHMARK(BM_FirstPaintAfterRefine)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5);

void BM_FirstPaintAfterBootstrap(benchmark::State& state)
{
    auto window = window_over_plateau();
    frmMain& w = *window;
    QTest::mouseClick(w.Command2, Qt::LeftButton);
    w.Work->wait_until_idle();
    w.AskIntervals = [](const IntervalRequest& last) { return std::optional(last); };
    FirstPaint paint(w);
    for (auto _ : state) {
        paint.arm();
        w.mnuBootstrap1_Click();
        state.SetIterationTime(paint.wait());
        w.Work->wait_until_idle();
    }
}
BENCHMARK(BM_FirstPaintAfterBootstrap)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);

// The whole of "Bootstrap intervals…" (200 replicates) after "Run", to its end, beside
// tolvenar-fit --model ramp|duration --bootstrap 200 examples/plateau_event.csv.
void BM_BootstrapInWindow(benchmark::State& state)
{
    const auto family = static_cast<ModelFamily>(state.range(0));
    auto window = window_over_plateau(family);
    frmMain& w = *window;
    QTest::mouseClick(w.Command2, Qt::LeftButton);
    w.Work->wait_until_idle();
    w.AskIntervals = [](const IntervalRequest& last) { return std::optional(last); };
    for (auto _ : state) {
        QElapsedTimer clock;
        clock.start();
        w.mnuBootstrap1_Click();
        w.Work->wait_until_idle();
        state.SetIterationTime(static_cast<double>(clock.nsecsElapsed()) * 1e-9);
    }
    state.SetLabel(std::string(family_caption(family)));
}
BENCHMARK(BM_BootstrapInWindow)
    ->Arg(static_cast<int>(ModelFamily::SimpleRamp))
    ->Arg(static_cast<int>(ModelFamily::EventWithDuration))
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5);

}  // namespace
