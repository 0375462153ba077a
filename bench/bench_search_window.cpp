// SPDX-License-Identifier: GPL-3.0-or-later
// A default search (10 runs x 1000 trials) over a 1,000-point crop through "Run" on the offscreen
// window: every candidate drawn into the working plot, the screen updated once per display frame.
// Compare with bench_search, the same search with the command line's empty observer.
#include "core/model/family.h"
#include "core/window/crop.h"
#include "ui/app/frm_main.h"

#include <benchmark/benchmark.h>

#include <QApplication>

#include <cmath>
#include <memory>

using namespace tolvenar;

namespace {

// A shown window holding a noisy event of `rows` rows, cropped to all of them and drawn, with
// `family` chosen: the state "Run" starts from after an import.
std::unique_ptr<frmMain> window_with_crop(int rows, ModelFamily family)
{
    auto window = std::make_unique<frmMain>();
    frmMain& w = *window;
    DataTable table;
    table.DataX.assign(1, Cell{});
    table.DataY.assign(1, Cell{});
    for (int i = 1; i <= rows; ++i) {
        const double x = i;
        const double y = 10.0 * std::exp(-std::pow((x - rows / 2.0) / (rows / 10.0), 2)) +
                         0.3 * std::sin(x * 0.37);
        table.DataX.push_back(Cell::of_number(x));
        table.DataY.push_back(Cell::of_number(y));
    }
    table.DataX.push_back(Cell{});
    table.DataY.push_back(Cell{});
    table.DataCount = rows;
    note_x_order(table);
    w.session.load(std::move(table));
    const float left = 1.0f;
    const float width = static_cast<float>(rows - 1);
    for (PictureBox* plot : {w.Picture1, w.Picture2}) {
        plot->setScaleLeft(left);
        plot->setScaleWidth(width);
        plot->setScaleTop(12);
        plot->setScaleHeight(-14);
    }
    w.Shape1->setLeft(left);
    w.Shape1->setWidth(width);
    w.session.crop({left, width, 0.0});
    for (Frame* frame : {w.Frame1, w.Frame4})
        frame->setEnabled(true);
    for (OptionButton* option : w.Option1)
        option->setEnabled(true);
    w.Option1[static_cast<int>(family)]->select();  // resets and draws the crop
    w.show();
    QApplication::processEvents();
    return window;
}

void search_through_run(benchmark::State& bench, ModelFamily family)
{
    constexpr int kPoints = 1000;
    auto window = window_with_crop(kPoints, family);
    for (auto _ : bench) {
        bench.PauseTiming();
        window->Reset();  // every search starts from the same empty results
        bench.ResumeTiming();
        window->Command2_Click();
        window->Work->wait_until_idle();
        if (window->Label8->Caption() != QStringLiteral("10000"))
            bench.SkipWithError("the search did not complete");
    }
    bench.counters["trials/s"] = benchmark::Counter(
        static_cast<double>(bench.iterations()) * 10000.0, benchmark::Counter::kIsRate);
}

void BM_RunSimpleRamp(benchmark::State& bench)
{
    search_through_run(bench, ModelFamily::SimpleRamp);
}

void BM_RunEventWithDuration(benchmark::State& bench)
{
    search_through_run(bench, ModelFamily::EventWithDuration);
}

BENCHMARK(BM_RunSimpleRamp)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_RunEventWithDuration)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
