// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/fit_command.h"

#include "cli/arguments.h"
#include "cli/batch.h"
#include "cli/data_options.h"
#include "cli/lag_command.h"
#include "cli/picture_loader.h"
#include "cli/pictures.h"
#include "cli/refusals.h"
#include "cli/scan_command.h"
#include "core/data/data_reader.h"
#include "core/job/fit_job.h"
#include "core/report/record_output.h"
#include "core/runtime/fault.h"
#include "core/runtime/pool.h"

#include <unistd.h>

#include <iostream>
#include <iterator>
#include <new>
#include <string_view>
#include <utility>
#include <vector>

namespace tolvenar {

namespace {

using namespace cli;

// Fits one file as a call with it alone does; every refusal, fault and interruption ends up in
// the result.
FitRecord fit_file(const FitOptions& options, const std::string& file,
                   const std::string& picture_path, int threads, std::istream& in,
                   Progress& progress)
{
    FitRecord record;
    record.file = file;
    record.request = options.request;
    if (interrupt_flag().load()) {
        record.code = kExitInterrupted;
        record.reason = "interrupted before its search began";
        return record;
    }
    std::optional<CheckedImport> imported;
    try {
        imported = import_file(file, in, options.read);
    } catch (const Refused& refusal) {
        record.code = refusal.code();
        record.reason = refusal.what();
        return record;
    } catch (const std::bad_alloc&) {
        record.code = kExitRefused;
        record.reason = "out of memory";
        return record;
    }
    JobControl control;
    control.stop = &interrupt_flag();
    control.trials = &progress.trials;
    control.threads = threads;
    record = fit_series(*imported, options.request, file, control);
    if (record.picture)
        record.picture_path = picture_path;
    return record;
}

// The trials all searches make together, for the progress line; 0 when the counts are odd.
std::int64_t planned_trials(const FitOptions& options, std::size_t files)
{
    try {
        double trials = 0.0;
        for (const SearchStep& search : options.request.searches)
            trials += FieldNumber::of_text(search.runs).value() *
                      FieldNumber::of_text(search.trials).value();
        trials *= static_cast<double>(files);
        return trials > 0.0 && trials < 9e18 ? static_cast<std::int64_t>(trials) : 0;
    } catch (const Fault&) {
        return 0;
    }
}

int fit_all(const FitOptions& options, std::istream& in, std::ostream& out, std::ostream& err,
            bool terminal)
{
    if (!options.series.empty())
        return fit_all_lags(options, in, out, err);
    check_plot_path(options);
    const std::vector<std::string> files = shard_files(options);
    refuse_shared_streams(files);
    // Named over every file given, so that the shards of one list share no picture either.
    const std::vector<std::string> pictures =
        shard_of(options, picture_paths(options, options.files));
    const InputFiles inputs = options.plot.empty() ? InputFiles() : InputFiles(options.files);
    if (!options.plot.empty())
        plot::load_picture_module();  // before any worker starts
    const bool many = options.files.size() > 1;
    const std::vector<Column> columns = csv_columns(options.request, !options.plot.empty());
    if (options.csv)
        write_csv_header(out, columns);

    // The cores go to the files first, one each, and what is left over to each file's search;
    // the results are the same for any share.
    const std::size_t cores = threads_to_use(static_cast<std::size_t>(options.threads));
    const std::size_t workers = std::max<std::size_t>(1, std::min(cores, files.size()));
    const int threads = static_cast<int>(std::max<std::size_t>(1, cores / workers));
    Progress progress;
    ProgressLine line(err, terminal, files.size(), planned_trials(options, files.size()));
    int code = kExitSuccess;
    std::size_t written = 0;
    const auto fit = [&](std::size_t i) {
        FitRecord result;
        try {
            result = fit_file(options, files[i], pictures[i], threads, in, progress);
        } catch (const std::exception& error) {  // whatever it was, the other files go on
            result = FitRecord();
            result.file = files[i];
            result.request = options.request;
            result.code = kExitSearchFailed;
            result.reason = error.what();
        }
        ++progress.files;
        return result;
    };
    const auto take = [&](FitRecord&& result) {
        line.wipe();
        write_result_picture(result, inputs);
        code = std::max(code, result.code);
        if (options.json)
            out << json_line(result) << '\n';
        else if (options.csv)
            write_csv_row(out, columns, result);
        else
            write_text(out, result, many, written == 0);
        ++written;
        out.flush();  // before the reason, which follows the file's name line on a terminal
        // An interruption is told in the output, after the best found if any.
        if (!result.reason.empty() && result.code != kExitInterrupted)
            say(err, many && result.reason.find(result.file) == std::string::npos
                         ? result.file + ": " + result.reason
                         : result.reason);
    };
    run_in_order(files.size(), cores, fit, take, [&] { line.update(progress); });
    line.wipe();
    return code == kExitInterrupted ? interrupted_exit_code() : code;
}

}  // namespace

int run_fit_command(std::span<const std::string> args, std::istream& in, std::ostream& out,
                    std::ostream& err, bool terminal)
{
    int code = kExitSuccess;
    try {
        const FitOptions options = parse_arguments(args);
        if (options.help)
            out << fit_usage();
        else if (options.version)
            out << "tolvenar-fit " << TOLVENAR_VERSION << '\n';
        else if (options.scan)
            code = scan_all(options, in, out, err);
        else
            code = fit_all(options, in, out, err, terminal);
    } catch (const Refused& refusal) {
        say(err, refusal.what());
        return refusal.code();
    } catch (const std::bad_alloc&) {
        say(err, "out of memory");
        return kExitRefused;
    } catch (const std::exception& error) {  // what no refusal foresaw ends the call, not abort
        say(err, error.what());
        return kExitSearchFailed;
    }
    out.flush();
    if (!out) {
        say(err, "cannot write the output");
        return std::max(code, kExitOutputFailed);
    }
    return code;
}

int run_fit_command(std::span<const std::string> args, std::ostream& out, std::ostream& err)
{
    install_interrupt_handler();
    return run_fit_command(args, std::cin, out, err, isatty(STDERR_FILENO) == 1);
}

}  // namespace tolvenar
