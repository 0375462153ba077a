// SPDX-License-Identifier: GPL-3.0-or-later
// _tolvenar: tolvenar-fit's fit of one series, over arrays instead of a file. The options are
// tolvenar-fit's own arguments, which the package tolvenar writes from its keywords, so that
// every option is read, checked and refused as the command line does; the result is the
// command line's JSON object as Python values.
#include "cli/arguments.h"
#include "cli/batch.h"
#include "cli/fit_command.h"
#include "cli/fit_job.h"
#include "cli/refusals.h"
#include "cli/result_output.h"
#include "core/data/data_reader.h"
#include "core/model/family.h"
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
using namespace tolvenar::cli;

namespace {

using Values = py::array_t<double, py::array::c_style | py::array::forcecast>;

// What a job does with the options and the imported series: fit_series, or one like it.
using SeriesJob = std::function<FileResult(const FitOptions&, CheckedImport, int threads,
                                           const std::atomic<bool>& stop)>;

// The options of tolvenar-fit `arguments` (without files); ValueError with the command line's
// reason. Its pointer to --help is left out: help(tolvenar.fit) documents the keywords.
FitOptions options_of(std::vector<std::string> arguments)
{
    arguments.emplace_back("-");
    try {
        return parse_arguments(arguments);
    } catch (const Refused& refusal) {
        std::string reason = refusal.what();
        const std::string pointer = " (see --help)";
        if (reason.ends_with(pointer))
            reason.resize(reason.size() - pointer.size());
        throw py::value_error(reason);
    }
}

std::span<const double> values_of(const Values& values)
{
    return {values.data(), static_cast<std::size_t>(values.size())};
}

// `work` on a thread of its own while this one, holding the GIL only for that, checks for
// signals every 50 ms: a signal's exception (KeyboardInterrupt for Ctrl-C) sets the stop flag,
// waits for the work to end and is raised. Other threads run Python meanwhile.
FileResult run_interruptible(const std::function<FileResult(const std::atomic<bool>&)>& work)
{
    std::atomic<bool> stop{false};
    std::mutex mutex;
    std::condition_variable ended;
    bool done = false;
    bool interrupted = false;
    FileResult result;
    std::exception_ptr error;
    {
        py::gil_scoped_release release;
        const auto run = [&] {
            try {
                result = work(stop);
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
    return result;
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

// The arrays as a series, `job` on them as tolvenar-fit runs a file's, and the command line's
// JSON object of the result with "file" null. Refusals of the data come back in the object
// ("status": "refused"), as --json writes them for a file.
py::dict run_series(const std::vector<std::string>& arguments, const Values& x, const Values& y,
                    const std::optional<Values>& sigma, const SeriesJob& job)
{
    const FitOptions options = options_of(arguments);
    const int threads = options.threads > 0 ? options.threads
                                            : static_cast<int>(usable_cores());
    const FileResult result = run_interruptible([&](const std::atomic<bool>& stop) {
        try {
            return job(options,
                       import_data_arrays(values_of(x), values_of(y),
                                          sigma ? values_of(*sigma) : std::span<const double>()),
                       threads, stop);
        } catch (const ImportError& refusal) {
            FileResult refused;
            refused.code = kExitRefused;
            refused.reason = refusal.what();
            return refused;
        }
    });
    Json object = json_object(result, options);
    object["file"] = nullptr;
    return python_of(object);
}

FileResult fit_job(const FitOptions& options, CheckedImport imported, int threads,
                   const std::atomic<bool>& stop)
{
    Progress progress;
    return fit_series(options, std::move(imported), "", "", threads, progress, stop);
}

// The family the arguments choose, as a grid of results names its values.
py::dict family_of(const std::vector<std::string>& arguments)
{
    const FitOptions options = options_of(arguments);
    const std::string_view measure = measure_names(family_row(options.family).measure).key;
    py::dict family;
    family["model"] = std::string(family_caption(options.family));
    family["vertices"] = node_count_of(options.family);
    family["measure"] = measure.empty() ? py::object(py::none()) : py::str(std::string(measure));
    family["refine"] = options.refine;
    family["bootstrap"] = options.bootstrap;
    return family;
}

}  // namespace

PYBIND11_MODULE(_tolvenar, module)
{
    module.doc() = "tolvenar-fit's fit of one series over arrays; use the package tolvenar.";
    module.attr("__version__") = TOLVENAR_VERSION;
    module.def(
        "fit",
        [](const std::vector<std::string>& arguments, const Values& x, const Values& y,
           const std::optional<Values>& sigma) {
            return run_series(arguments, x, y, sigma, fit_job);
        },
        py::arg("arguments"), py::arg("x"), py::arg("y"), py::arg("sigma") = py::none(),
        "The JSON object of tolvenar-fit ARGUMENTS on the rows (x, y, sigma).");
    module.def("family", &family_of, py::arg("arguments"),
               "The model, vertices, measure key, refine and bootstrap the arguments choose.");
}
