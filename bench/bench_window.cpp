// SPDX-License-Identifier: GPL-3.0-or-later
// The window's drawing paths: the overview strip of a long series, the cropped data on the
// working plot, and the redraw the search makes on every trial.
#include "ui/app/frm_main.h"

#include <benchmark/benchmark.h>

#include <QApplication>

#include <cmath>
#include <memory>

using namespace tolvenar;

namespace {

// A window holding `rows` rows of a noisy event, the strip over all of them and the crop window
// over `cropped` rows from the middle.
std::unique_ptr<frmMain> window_with_series(int rows, int cropped)
{
    auto window = std::make_unique<frmMain>();
    DataTable table;
    table.DataX.assign(1, Cell{});
    table.DataY.assign(1, Cell{});
    for (int i = 1; i <= rows; ++i) {
        const double x = i;
        const double y = 10.0 * std::exp(-std::pow((x - rows / 2.0) / (rows / 10.0), 2))
                         + 0.3 * std::sin(x * 0.37);
        table.DataX.push_back(Cell::of_number(x));
        table.DataY.push_back(Cell::of_number(y));
    }
    table.DataX.push_back(Cell{});
    table.DataY.push_back(Cell{});
    table.DataCount = rows;
    note_x_order(table);
    window->session.load(std::move(table));
    const float left = static_cast<float>(rows / 2 - cropped / 2);
    window->Picture2->setScaleLeft(1);
    window->Picture2->setScaleWidth(rows - 1);
    window->Picture2->setScaleTop(12);
    window->Picture2->setScaleHeight(-14);
    window->Shape1->setLeft(left);
    window->Shape1->setWidth(cropped);
    window->Picture1->setScaleLeft(left);
    window->Picture1->setScaleWidth(cropped);
    window->Picture1->setScaleTop(12);
    window->Picture1->setScaleHeight(-14);
    window->show();
    QApplication::processEvents();
    return window;
}

void BM_DrawPreview(benchmark::State& state)
{
    const int rows = static_cast<int>(state.range(0));
    auto window = window_with_series(rows, 1000);
    for (auto _ : state) {
        window->DrawPreview();
        window->Picture2->Refresh();
    }
    state.SetItemsProcessed(state.iterations() * (rows - 1));
}
BENCHMARK(BM_DrawPreview)->Arg(10'000)->Arg(1'000'000)->Unit(benchmark::kMillisecond);

void BM_WipeAndDrawCrop(benchmark::State& state)
{
    const int cropped = static_cast<int>(state.range(0));
    auto window = window_with_series(1'000'000, cropped);
    for (auto _ : state) {
        window->session.set_crop_extent(999999.0f, -999999.0f);
        window->WipePicture1();
        window->DrawCrop();
        window->Picture1->Persist();
    }
    state.SetItemsProcessed(state.iterations() * cropped);
}
BENCHMARK(BM_WipeAndDrawCrop)->Arg(1000)->Arg(32767)->Unit(benchmark::kMicrosecond);

// One trial's display work: back to the persisted data, the candidate in green, the best of best
// in red at width 2, and an immediate repaint.
void BM_TrialRedraw(benchmark::State& state)
{
    auto window = window_with_series(10'000, 1000);
    window->WipePicture1();
    window->DrawCrop();
    window->Picture1->Persist();
    PictureBox& plot = *window->Picture1;
    const float left = plot.ScaleLeft();
    const float step = plot.ScaleWidth() / 5;
    int trial = 0;
    for (auto _ : state) {
        const float lift = static_cast<float>(trial++ % 7);
        plot.Cls();
        for (int i = 0; i < 5; ++i)
            plot.Line(left + i * step, lift, left + (i + 1) * step, 8 - lift, 0xff00ff00);
        plot.setDrawWidth(2);
        for (int i = 0; i < 5; ++i)
            plot.Line(left + i * step, 1, left + (i + 1) * step, 7, 0xffff0000);
        plot.setDrawWidth(1);
        plot.Refresh();
    }
}
BENCHMARK(BM_TrialRedraw)->Unit(benchmark::kMicrosecond);

}  // namespace
