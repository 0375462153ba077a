// SPDX-License-Identifier: GPL-3.0-or-later
// What fitting several series of one event for their lags is given and what it gave, as plain
// values: the series in, each one's fit and the lags against the reference out. The JSON, CSV
// and text (core/report/lag_output.h) are made from it, in tolvenar-fit, the window and Python.
#pragma once

#include "core/data/data_reader.h"
#include "core/job/fit_record.h"
#include "core/job/fit_request.h"

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace tolvenar {

// One series of the event: its title as the outputs name it, and its rows (its own gaps kept).
struct LagSeries {
    std::string title;
    CheckedImport imported;
};

// A break point of one series against the same break point of the reference.
struct Lag {
    std::string series;
    std::string to;
    int vertex = 0;    // from 1, as X1
    double lag = 0.0;  // the series' x minus the reference's, in data x units
    std::optional<Range> interval;  // at the request's level; none without replicates
    bool joint = false;  // the replicates shared their draws (the series share their x)
    std::size_t pairs = 0;  // replicates in which both series found a model
};

struct LagRecord {
    std::string file;
    FitRequest request;  // as each series was fitted
    std::string reference;
    std::vector<FitRecord> series;    // in the order given
    std::vector<std::string> titles;  // of `series`
    std::vector<Lag> lags;            // each other series, each moving break point in turn
    int code = kExitSuccess;          // the worst of the series' and the lags' own
    std::string reason;               // one line, naming the series
};

}  // namespace tolvenar
