// SPDX-License-Identifier: GPL-3.0-or-later
// _tolvenar: the core's fit job over arrays. The package tolvenar checks its keywords and hands
// them here as plain values; the request is built from them directly, and the record comes back
// as the same object the JSON of tolvenar-fit and of the window's Save holds, as Python values,
// with the few members the package's results need beyond it.
#include "core/data/data_reader.h"
#include "core/job/fit_job.h"
#include "core/job/scan_job.h"
#include "core/job/lag_combine.h"
#include "core/job/lag_job.h"
#include "core/model/family.h"
#include "core/report/lag_output.h"
#include "core/report/record_output.h"
#include "core/report/scan_output.h"
#include "core/runtime/pool.h"

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>


#include <atomic>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <functional>
#include <limits>
#include <mutex>
#include <optional>
#include <span>
#include <sstream>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

namespace py = pybind11;
using namespace tolvenar;

namespace {

using Values = py::array_t<double, py::array::c_style | py::array::forcecast>;

std::span<const double> values_of(const Values& values)
{
    return {values.data(), static_cast<std::size_t>(values.size())};
}

// `work` on a thread of its own while this one, holding the GIL only for that, checks for
// signals every 50 ms: a signal's exception (KeyboardInterrupt for Ctrl-C) sets the stop flag,
// waits for the work to end and is raised. Other threads run Python meanwhile.
template <class Result>
Result run_interruptible(const std::function<Result(const std::atomic<bool>&)>& work)
{
    std::atomic<bool> stop{false};
    std::mutex mutex;
    std::condition_variable ended;
    bool done = false;
    bool interrupted = false;
    Result record;
    std::exception_ptr error;
    {
        py::gil_scoped_release release;
        const auto run = [&] {
            try {
                record = work(stop);
            } catch (...) {
                error = std::current_exception();
            }
            const std::lock_guard lock(mutex);
            done = true;
            ended.notify_all();
        };
        std::optional<std::thread> worker;
        try {
            worker.emplace(run);
        } catch (const std::system_error&) {  // no thread to be had: the work without Ctrl-C
            run();
        }
        std::unique_lock lock(mutex);
        while (!ended.wait_for(lock, std::chrono::milliseconds(50), [&] { return done; })) {
            if (interrupted)
                continue;
            lock.unlock();
            {
                py::gil_scoped_acquire acquire;
                interrupted = PyErr_CheckSignals() != 0;
            }
            stop = interrupted;
            lock.lock();
        }
        lock.unlock();
        if (worker)
            worker->join();
    }
    if (interrupted)
        throw py::error_already_set();
    if (error)
        std::rethrow_exception(error);
    return record;
}

// A JSON value as Python's json module reads its text: integers as int, other numbers as float.
py::object python_of(const Json& value)
{
    switch (value.type()) {
    case Json::value_t::null: return py::none();
    case Json::value_t::boolean: return py::bool_(value.get<bool>());
    case Json::value_t::number_integer: return py::int_(value.get<std::int64_t>());
    case Json::value_t::number_unsigned: return py::int_(value.get<std::uint64_t>());
    case Json::value_t::number_float: return py::float_(value.get<double>());
    case Json::value_t::string: return py::str(valid_utf8(value.get<std::string>()));
    case Json::value_t::array: {
        py::list list;
        for (const Json& item : value)
            list.append(python_of(item));
        return list;
    }
    case Json::value_t::object: {
        py::dict dict;
        for (const auto& [key, item] : value.items())
            dict[py::str(key)] = python_of(item);
        return dict;
    }
    default: break;
    }
    throw py::type_error("a JSON value of no Python kind");
}

// A crop edge given as `keyword`=value: its value, a number or an ISO date as text, and its name
// in refusals ("lo=300").
std::optional<Edge> edge_of(const py::dict& options, const std::string& keyword)
{
    const py::object value = options[keyword.c_str()];
    if (value.is_none())
        return std::nullopt;
    const std::string name = options[(keyword + "_name").c_str()].cast<std::string>();
    if (py::isinstance<py::str>(value))
        return Edge{std::numeric_limits<double>::quiet_NaN(), name, value.cast<std::string>(),
                    true};
    return Edge{value.cast<double>(), name, {}, false};
}

// The request of fit()'s keywords, checked already by the package.
FitRequest request_of(const py::dict& options)
{
    FitRequest request;
    const auto get = [&](const char* key) { return py::object(options[key]); };
    const std::optional<ModelFamily> family =
        family_from_name(get("model").cast<std::string>());
    if (!family)
        throw py::value_error("model: no such family");
    request.family = *family;
    request.names = {"runs=", "trials="};
    const SearchStep search{std::to_string(get("runs").cast<long long>()),
                            std::to_string(get("trials").cast<long long>()), false};
    request.searches = {search};
    if (get("constrain").cast<bool>())
        request.searches.push_back({search.runs, search.trials, true});
    request.from = edge_of(options, "lo");
    request.to = edge_of(options, "hi");
    request.bootstrap = get("bootstrap").cast<std::int32_t>();
    request.refine = get("refine").cast<bool>() || request.bootstrap > 0;
    request.level = get("level").cast<double>();
    request.seed = get("seed").cast<std::uint32_t>();
    const int threads = get("threads").cast<int>();
    request.threads = static_cast<int>(threads_to_use(threads > 0 ? static_cast<std::size_t>(threads) : 0));
    request.compare = get("compare").cast<bool>();
    request.test_replicates = get("test_replicates").cast<std::size_t>();
    request.alpha = get("alpha").cast<double>();
    return request;
}

// The rows as the reader takes them, x a float64 array or a list of ISO dates or date-times
// read as a file's column of them; its refusals as ImportError.
CheckedImport import_rows(const py::object& x, const Values& y, const std::optional<Values>& sigma)
{
    const std::span<const double> s = sigma ? values_of(*sigma) : std::span<const double>();
    if (py::isinstance<py::list>(x))
        return import_data_arrays(x.cast<std::vector<std::string>>(), values_of(y), s);
    const auto numbers = x.cast<Values>();
    return import_data_arrays(values_of(numbers), values_of(y), s);
}

// `record` with its x as numbers, days from the first row where they are dates, for the
// package's results.
FitRecord in_days(FitRecord record)
{
    record.x_form = {};
    if (record.found)
        record.found->x_form = {};
    return record;
}

// The record of rows the reader refused, as tolvenar-fit writes one for a file.
template <class Record, class Request>
Record refused_rows(const Request& request, const ImportError& refusal)
{
    Record refused;
    refused.request = request;
    refused.code = kExitRefused;
    refused.reason = refusal.what();
    return refused;
}

// The stop flag and the cores of `request`.
JobControl control_of(const FitRequest& request, const std::atomic<bool>& stop)
{
    JobControl control;
    control.stop = &stop;
    control.threads = request.threads;
    return control;
}

// The record's members that its JSON object leaves out, for the package's results: "days", the
// object again with every x as a number (days from the first row) where x are dates; "band", the
// refined fit's interval band in data x; "null", the line or the constant a comparison chose.
py::dict extras_of(const FitRecord& record)
{
    py::dict extras;
    if (record.x_form.is_date())
        extras["days"] = python_of(json_object(in_days(record)));
    const FoundModel* found = record.found ? &*record.found : nullptr;
    if (found && found->refined && found->refined->intervals) {
        const refine::Band& band = found->refined->intervals->band;
        std::vector<double> x = band.x;
        for (double& value : x)
            value += found->origin;
        extras["band"] = py::dict(py::arg("x") = x, py::arg("lo") = band.lo,
                                  py::arg("hi") = band.hi);
    }
    if (record.comparison && record.comparison->null_fit) {
        const compare::NullFit& line = *record.comparison->null_fit;
        extras["null"] = py::dict(py::arg("name") = line.name, py::arg("level") = line.level,
                                  py::arg("slope") = line.slope, py::arg("x0") = line.x0);
    }
    return extras;
}

// The rows fitted as `options` ask: x a float64 array, or a list of ISO dates or date-times read
// as a file's column of them. The record's JSON object ("record", with "file" null) and its
// extras (extras_of). Refusals of the rows come back in the object ("status": "refused"), as
// tolvenar-fit writes them for a file.
py::dict fit(const py::object& x, const Values& y, const std::optional<Values>& sigma,
             const py::dict& options)
{
    const FitRequest request = request_of(options);
    const FitRecord record = run_interruptible<FitRecord>([&](const std::atomic<bool>& stop) {
        try {
            return fit_series(import_rows(x, y, sigma), request, "", control_of(request, stop));
        } catch (const ImportError& refusal) {
            return refused_rows<FitRecord>(request, refusal);
        }
    });
    Json object = json_object(record);
    object["file"] = nullptr;
    py::dict result = extras_of(record);
    result["record"] = python_of(object);
    if (result.contains("days"))
        result["days"]["file"] = py::none();
    return result;
}

// The rows scanned for events as `options` (fit()'s keywords) and `scan_options` (min_size,
// penalty, max_events) ask: the objects tolvenar-fit --scan --json writes, "file" null, the CSV
// it writes, and for dates the objects again with x in days from the first row (else None).
py::tuple scan_rows(const py::object& x, const Values& y, const std::optional<Values>& sigma,
                    const py::dict& options, const py::dict& scan_options)
{
    ScanRequest request;
    request.fit = request_of(options);
    request.min_size = scan_options["min_size"].cast<std::size_t>();
    request.penalty = scan_options["penalty"].cast<std::optional<double>>();
    request.max_events = scan_options["max_events"].cast<std::size_t>();
    const ScanRecord record = run_interruptible<ScanRecord>([&](const std::atomic<bool>& stop) {
        try {
            return scan_events(import_rows(x, y, sigma), request, "",
                               control_of(request.fit, stop));
        } catch (const ImportError& refusal) {
            return refused_rows<ScanRecord>(request, refusal);
        }
    });
    const auto listed = [](const ScanRecord& scanned) {
        py::list objects;
        for (Json& object : scan_objects(scanned)) {
            object["file"] = nullptr;
            objects.append(python_of(object));
        }
        return objects;
    };
    py::object days = py::none();
    if (record.x_form.is_date()) {
        ScanRecord plain = record;
        plain.x_form = {};
        for (FitRecord& event : plain.events)
            event = in_days(std::move(event));
        days = listed(plain);
    }
    std::ostringstream csv;
    const std::vector<ScanColumn> columns = scan_csv_columns(request);
    write_scan_csv_header(csv, columns);
    write_scan_csv_rows(csv, columns, record);
    return py::make_tuple(listed(record), csv.str(), days);
}

// The series (title: y) over the rows x fitted as `options` ask, and their lags to `to`, as
// tolvenar-fit --y ... --lag-to writes a file's object, with "file" null; for dates "days" holds
// each series' object again with x in days from the first row.
py::dict lags(const py::object& x, const std::vector<std::pair<std::string, Values>>& columns,
              const std::string& to, const py::dict& options)
{
    const FitRequest request = request_of(options);
    const LagRecord record = run_interruptible<LagRecord>([&](const std::atomic<bool>& stop) {
        std::vector<LagSeries> series;
        try {
            for (const auto& [title, y] : columns)
                series.push_back({title, import_rows(x, y, std::nullopt)});
        } catch (const ImportError& refusal) {
            return refused_rows<LagRecord>(request, refusal);
        }
        return fit_lags(series, to, request, "", control_of(request, stop));
    });
    const auto object_of = [](const LagRecord& fitted) {
        Json object = lag_json_object(fitted);
        object["file"] = nullptr;
        for (auto& [title, fit] : object["series"].items())
            fit["file"] = nullptr;
        return object;
    };
    py::dict result = python_of(object_of(record));
    if (!record.series.empty() && record.series.front().x_form.is_date()) {
        LagRecord plain = record;
        for (FitRecord& fit : plain.series)
            fit = in_days(std::move(fit));
        result["days"] = python_of(object_of(plain));
    }
    return result;
}

// The lags of many events (each a list of lag objects) combined at `level`.
py::dict combine(const std::vector<std::vector<py::dict>>& events, double level)
{
    std::vector<std::vector<Lag>> lags;
    for (const auto& event : events) {
        lags.emplace_back();
        for (const py::dict& item : event) {
            Lag lag{item["series"].cast<std::string>(), item["to"].cast<std::string>(),
                    item["vertex"].cast<int>(), item["lag"].cast<double>(), std::nullopt,
                    item["joint"].cast<bool>(), 0};
            if (!item["interval"].is_none()) {
                const auto range = item["interval"].cast<std::pair<double, double>>();
                lag.interval = Range{range.first, range.second};
            }
            lags.back().push_back(std::move(lag));
        }
    }
    return python_of(combined_json_object(combine_over_events(lags, level)));
}

// The family table as the package names its families and a grid names its values.
py::list families()
{
    py::list rows;
    for (const FamilyRow& row : family_table()) {
        const std::string_view measure = measure_names(row.measure).key;
        py::dict family;
        family["model"] = std::string(row.caption);
        family["name"] = std::string(row.short_name);
        family["vertices"] = row.vertices;
        family["measure"] = measure.empty() ? py::object(py::none()) : py::str(std::string(measure));
        family["drawn"] = row.family == ModelFamily::ManualConstraint;
        rows.append(family);
    }
    return rows;
}

}  // namespace

PYBIND11_MODULE(_tolvenar, module)
{
    module.doc() = "The core's fit job over arrays; use the package tolvenar.";
    module.attr("__version__") = TOLVENAR_VERSION;
    module.def("fit", &fit, py::arg("x"), py::arg("y"), py::arg("sigma"), py::arg("options"),
               "The record's JSON object of the rows (x, y, sigma) fitted as OPTIONS ask, and "
               "what the object leaves out: x as days for dates, the interval band, the line.");
    module.def("scan", &scan_rows, py::arg("x"), py::arg("y"), py::arg("sigma"), py::arg("options"),
               py::arg("scan_options"),
               "The objects and the CSV of the rows scanned for events as the options ask.");
    module.def("lags", &lags, py::arg("x"), py::arg("columns"), py::arg("to"), py::arg("options"),
               "The lag job's object of the columns over x, their lags to TO.");
    module.def("combine_lags", &combine, py::arg("events"), py::arg("level"),
               "The lags of many events combined at LEVEL.");
    module.def("families", &families,
               "The family table: caption, short name, vertices, measure key, drawn boxes.");
}
