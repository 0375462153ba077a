// SPDX-License-Identifier: GPL-3.0-or-later
// The data window on a 1,000,000-row series: the whole "Import data" handler (file dialog
// answered with a generated file), one mouse move of a crop window drag, which re-crops and
// redraws the working plot, for a narrow, a wide and a full-width window, and the window
// maximised and restored, which draws both plots again at each size.
#include "ui/app/frm_main.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QString>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <string>

using namespace tolvenar;

namespace {

constexpr int kRows = 1'000'000;

// time,value rows as a logger writes them: ascending time, an event on a noisy baseline.
const std::filesystem::path& million_row_file()
{
    static const std::filesystem::path path = [] {
        const auto file = std::filesystem::temp_directory_path() /
                          ("tolvenar-bench-window-" + std::to_string(kRows) + ".csv");
        std::string text = "time_s,signal_mV\n";
        std::mt19937 random(11);
        std::normal_distribution<double> noise(0.0, 0.3);
        char line[64];
        for (int i = 0; i < kRows; ++i) {
            const double t = i * 0.01;
            const double event = 8.0 * std::exp(-std::pow((t - 5000.0) / 900.0, 2));
            const int length =
                std::snprintf(line, sizeof line, "%.2f,%.3f\n", t, 12.0 + event + noise(random));
            text.append(line, static_cast<std::size_t>(length));
        }
        std::ofstream(file, std::ios::binary) << text;
        return file;
    }();
    return path;
}

std::unique_ptr<frmMain> shown_window()
{
    auto window = std::make_unique<frmMain>();
    window->show();
    QApplication::processEvents();
    return window;
}

// Clicks "Import data" with the dialog answering `path`.
void import_file(frmMain& window, const QString& path)
{
    window.platform.ShowOpen = [path](const QString&) { return path; };
    window.Command1_Click();
}

// The first import into a new window (the one that draws the progress bar), until the window is
// painted.
void BM_ImportMillionRowsThroughTheWindow(benchmark::State& state)
{
    const QString path = QString::fromStdString(million_row_file().string());
    for (auto _ : state) {
        state.PauseTiming();
        auto window = shown_window();
        state.ResumeTiming();
        import_file(*window, path);
        QApplication::processEvents();
        state.PauseTiming();
        if (window->session.table().DataCount != kRows)
            state.SkipWithError("the import was refused");
        window.reset();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * kRows);
}
BENCHMARK(BM_ImportMillionRowsThroughTheWindow)->Unit(benchmark::kMillisecond)->Iterations(3);

// One mouse move while the whole crop window is dragged over the imported series: the window
// moves by one pixel back and forth, the crop is taken again and the working plot redrawn and
// painted. The argument is the window's width in rows; beyond 32,767 the working plot draws per
// pixel column only what the column shows, so 100,000 rows take no longer than 30,000.
void BM_DragMoveRecrop(benchmark::State& state)
{
    const auto window = shown_window();
    import_file(*window, QString::fromStdString(million_row_file().string()));
    frmMain& w = *window;
    const double rows = static_cast<double>(state.range(0));
    const float strip_left = w.Picture2->ScaleLeft();
    const float strip_width = w.Picture2->ScaleWidth();
    const double width = strip_width * (rows - 1) / (kRows - 1);
    const double left = strip_left + (strip_width - width) / 2;
    w.Shape1->setLeft(left);
    w.Shape1->setWidth(width);
    w.CropCurve();

    const float grab = static_cast<float>(left + width / 2);
    const float pixel = strip_width / static_cast<float>(w.Picture2->contentsRect().width());
    w.Picture2_MouseDown(kLeftButton, 0, grab, 10);
    bool forth = true;
    for (auto _ : state) {
        w.Picture2_MouseMove(kLeftButton, 0, forth ? grab + pixel : grab, 10);
        QApplication::processEvents();
        forth = !forth;
    }
    w.Picture2_MouseUp(kLeftButton, 0, grab, 10);
    state.counters["cropped"] = w.session.crop_info().points;
}
BENCHMARK(BM_DragMoveRecrop)
    ->Arg(1'000)
    ->Arg(30'000)
    ->Arg(100'000)
    ->Arg(kRows)
    ->Unit(benchmark::kMillisecond);

// The window maximised on 1920 x 1080 and restored, each size painted, with a search's models
// over a crop of the argument's rows: the strip's whole series and the working plot's crop drawn
// again twice.
void BM_MaximiseAndRestore(benchmark::State& state)
{
    const auto window = shown_window();
    import_file(*window, QString::fromStdString(million_row_file().string()));
    frmMain& w = *window;
    const double rows = static_cast<double>(state.range(0));
    const float strip_width = w.Picture2->ScaleWidth();
    w.Shape1->setWidth(strip_width * (rows - 1) / (kRows - 1));
    w.CropCurve();
    w.Text6->setText(QStringLiteral("2"));
    w.Text3[0]->setText(QStringLiteral("100"));
    w.Command2_Click();
    w.Work->wait_until_idle();
    for (auto _ : state) {
        w.resize(1920, 1080);
        QApplication::processEvents();
        w.resize(frmMain::design_size());
        QApplication::processEvents();
    }
    state.counters["cropped"] = w.session.crop_info().points;
}
BENCHMARK(BM_MaximiseAndRestore)->Arg(1'000)->Arg(kRows)->Unit(benchmark::kMillisecond);

}  // namespace
