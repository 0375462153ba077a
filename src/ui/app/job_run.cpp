// SPDX-License-Identifier: GPL-3.0-or-later
// The one way work leaves the window's thread: "Run", "Refine best fit", "Bootstrap intervals…",
// "Compare families…" and "Find events…" each ask the fit job for their steps, which run on the
// worker with a copy of the window's results; the bars follow the replicates, the comparison's
// steps, the events fitted or several series' trials, and the results come back when the work
// has ended.
#include "ui/app/frm_main.h"
#include "ui/toolkit/pointer.h"

#include <QTimer>

#include <cstdlib>
#include <memory>

namespace tolvenar {

namespace {

// What one piece of work hands back.
struct JobRun {
    JobSteps steps;
    JobResults results;
    JobOutcome outcome;
    JobProgress progress;
};

// The bar's length for the steps' progress; 0: the steps show none (a search draws its own).
double progress_steps(const JobSteps& steps)
{
    if (steps.lags) {  // the trials of every series' searches
        const SearchStep& search = steps.lags->request.first_search();
        const double trials = std::atof(search.runs.c_str()) * std::atof(search.trials.c_str()) *
                              static_cast<double>(steps.lags->series.size());
        return trials > 0.0 ? trials : 1.0;
    }
    if (steps.compare)
        return static_cast<double>(comparison_steps(*steps.compare));
    if (steps.bootstrap)
        return steps.bootstrap->replicates;
    return steps.refine || steps.scan ? 1.0 : 0.0;  // a scan's events are counted once found
}

}  // namespace

void frmMain::StartJob(JobSteps steps, std::shared_ptr<SearchObserver> observer,
                       std::function<void(const JobOutcome&)> finished)
{
    auto run = std::make_shared<JobRun>();
    run->steps = std::move(steps);
    run->results = Results;
    BeginWork();
    const double bar = progress_steps(run->steps);
    if (bar > 0.0) {
        set_screen_mouse_pointer(pointer::kHourglass);
        ProgressBar1->setMin(0.0);
        ProgressBar1->setMax(bar);
        ProgressBar1->setValue(0.0);
        ProgressBar1->setVisible(true);
        auto* timer = new QTimer(this);
        QObject::connect(timer, &QTimer::timeout, this, [this, run] {
            if (run->steps.lags) {
                ProgressBar1->setValue(static_cast<double>(run->progress.trials.load()));
                return;
            }
            if (run->steps.scan) {  // events fitted of those found
                const auto found = static_cast<double>(run->progress.events_found.load());
                if (found > 0.0 && static_cast<double>(ProgressBar1->Max()) != found)
                    ProgressBar1->setMax(found);
                ProgressBar1->setValue(static_cast<double>(run->progress.events_fitted.load()));
                return;
            }
            ProgressBar1->setValue(run->steps.compare
                                       ? static_cast<double>(run->progress.compared.load())
                                       : static_cast<double>(run->progress.replicates.load()));
        });
        QObject::connect(Work, &WorkRunner::idle, timer, &QObject::deleteLater);
        timer->start(50);
    }
    Work->start(
        [this, run, observer] {
            run->outcome = run_steps(session, run->steps, run->results, *observer,
                                     &Work->stop_flag(), &run->progress);
        },
        [this, run, bar, finished = std::move(finished)] {
            EndWork();
            if (bar > 0.0) {
                ProgressBar1->setVisible(false);
                ProgressBar1->setValue(0.0);
                set_screen_mouse_pointer(pointer::kDefault);
            }
            // Intervals from fewer than two replicates say nothing: the ones shown stay.
            if (run->results.intervals && run->results.intervals->done < 2) {
                run->results.intervals = Results.intervals;
                run->results.interval_request = Results.interval_request;
            }
            Results = std::move(run->results);
            finished(run->outcome);
        });
}

}  // namespace tolvenar
