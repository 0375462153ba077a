// SPDX-License-Identifier: GPL-3.0-or-later
// _tolvenar: the core's fit job over arrays. The package tolvenar checks its keywords and hands
// them here as plain values; the request is built from them directly, and the record comes back
// as the same object the JSON of tolvenar-fit and of the window's Save holds, as Python values.
#include "core/data/data_reader.h"
#include "core/job/fit_job.h"
#include "core/job/lag_combine.h"
#include "core/job/lag_job.h"
#include "core/model/family.h"
#include "core/report/lag_output.h"
#include "core/report/record_output.h"
#include "core/runtime/pool.h"

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>


#include <atomic>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <functional>
#include <mutex>
#include <optional>
#include <span>
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
template <typename Record>
Record run_interruptible(const std::function<Record(const std::atomic<bool>&)>& work)
{
    std::atomic<bool> stop{false};
    std::mutex mutex;
    std::condition_variable ended;
    bool done = false;
    bool interrupted = false;
    Record record;
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

// A crop edge given as `keyword`=value: its value and its name in refusals ("lo=300").
std::optional<Edge> edge_of(const py::dict& options, const std::string& keyword)
{
    const py::object value = options[keyword.c_str()];
    if (value.is_none())
        return std::nullopt;
    return Edge{value.cast<double>(), options[(keyword + "_name").c_str()].cast<std::string>(),
                {}, false};
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

// The rows fitted as `options` ask, and the record's JSON object with "file" null. Refusals of
// the rows come back in the object ("status": "refused"), as tolvenar-fit writes them for a file.
py::dict fit(const Values& x, const Values& y, const std::optional<Values>& sigma,
             const py::dict& options)
{
    const FitRequest request = request_of(options);
    const FitRecord record = run_interruptible<FitRecord>([&](const std::atomic<bool>& stop) {
        try {
            const CheckedImport imported = import_data_arrays(
                values_of(x), values_of(y),
                sigma ? values_of(*sigma) : std::span<const double>());
            JobControl control;
            control.stop = &stop;
            control.threads = request.threads;
            return fit_series(imported, request, "", control);
        } catch (const ImportError& refusal) {
            FitRecord refused;
            refused.request = request;
            refused.code = kExitRefused;
            refused.reason = refusal.what();
            return refused;
        }
    });
    Json object = json_object(record);
    object["file"] = nullptr;
    return python_of(object);
}

// The series (title: y) over the rows x fitted as `options` ask, and their lags to `to`, as
// tolvenar-fit --y ... --lag-to writes a file's object, with "file" null.
py::dict lags(const Values& x, const std::vector<std::pair<std::string, Values>>& columns,
              const std::string& to, const py::dict& options)
{
    const FitRequest request = request_of(options);
    const LagRecord record = run_interruptible<LagRecord>([&](const std::atomic<bool>& stop) {
        std::vector<LagSeries> series;
        try {
            for (const auto& [title, y] : columns)
                series.push_back({title, import_data_arrays(values_of(x), values_of(y))});
        } catch (const ImportError& refusal) {
            LagRecord refused;
            refused.request = request;
            refused.code = kExitRefused;
            refused.reason = refusal.what();
            return refused;
        }
        JobControl control;
        control.stop = &stop;
        control.threads = request.threads;
        return fit_lags(series, to, request, "", control);
    });
    Json object = lag_json_object(record);
    object["file"] = nullptr;
    for (auto& [title, fit] : object["series"].items())
        fit["file"] = nullptr;
    return python_of(object);
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
               "The record's JSON object of the rows (x, y, sigma) fitted as OPTIONS ask.");
    module.def("lags", &lags, py::arg("x"), py::arg("columns"), py::arg("to"), py::arg("options"),
               "The lag job's object of the columns over x, their lags to TO.");
    module.def("combine_lags", &combine, py::arg("events"), py::arg("level"),
               "The lags of many events combined at LEVEL.");
    module.def("families", &families,
               "The family table: caption, short name, vertices, measure key, drawn boxes.");
}
