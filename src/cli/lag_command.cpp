// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/lag_command.h"

#include "cli/batch.h"
#include "cli/refusals.h"
#include "core/data/data_reader.h"
#include "core/job/lag_combine.h"
#include "core/job/lag_job.h"
#include "core/report/lag_output.h"
#include "core/runtime/pool.h"

#include <algorithm>
#include <iterator>
#include <new>

namespace tolvenar::cli {

namespace {

// The file's text, read once for all its columns ("-": standard input).
std::string input_text(const std::string& file, std::istream& in)
{
    if (file != "-")
        return read_data_bytes(file);
    std::string text(std::istreambuf_iterator<char>(in), {});
    if (in.bad())
        throw ImportError(ImportFailure::CannotOpen, "cannot read standard input");
    return text;
}

// The series of `file`, one a --y column, each named by its title in the file (as typed when
// it has none); the reference named as its series is.
std::vector<LagSeries> read_series(const FitOptions& options, const std::string& file,
                                   std::istream& in, std::string& reference)
{
    const std::string text = input_text(file, in);
    std::vector<LagSeries> series;
    for (const std::string& column : options.series) {
        ReadOptions read = options.read;
        read.y = ColumnChoice::of_text(column);
        CheckedImport imported = import_data_text(text, read);
        std::string title = imported.series.y_title.empty() ? column : imported.series.y_title;
        if (column == options.lag_to || title == options.lag_to)
            reference = title;
        series.push_back({std::move(title), std::move(imported)});
    }
    return series;
}

LagRecord fit_file(const FitOptions& options, const std::string& file, std::istream& in,
                   int threads)
{
    LagRecord record;
    record.file = file;
    record.request = options.request;
    record.reference = options.lag_to;
    if (interrupt_flag().load()) {
        record.code = kExitInterrupted;
        record.reason = "interrupted before its search began";
        return record;
    }
    std::vector<LagSeries> series;
    try {
        series = read_series(options, file, in, record.reference);
    } catch (const ImportError& error) {
        record.code = kExitRefused;
        record.reason = import_refusal_line(file == "-" ? "standard input" : file, error);
        return record;
    } catch (const std::bad_alloc&) {
        record.code = kExitRefused;
        record.reason = "out of memory";
        return record;
    }
    JobControl control;
    control.stop = &interrupt_flag();
    control.threads = threads;
    return fit_lags(series, record.reference, options.request, file, control);
}

}  // namespace

int fit_all_lags(const FitOptions& options, std::istream& in, std::ostream& out,
                 std::ostream& err)
{
    const std::vector<std::string> files = shard_files(options);
    refuse_shared_streams(files);
    const bool many = files.size() > 1;
    // One file at a time, each on every core: an event's series share the replicates' work.
    const int threads =
        static_cast<int>(threads_to_use(static_cast<std::size_t>(std::max(options.threads, 0))));
    if (options.csv)
        write_lag_csv_header(out);
    int code = kExitSuccess;
    std::vector<std::vector<Lag>> events;
    for (std::size_t i = 0; i < files.size(); ++i) {
        LagRecord record;
        try {
            record = fit_file(options, files[i], in, threads);
        } catch (const std::exception& error) {  // whatever it was, the other files go on
            record.file = files[i];
            record.request = options.request;
            record.code = kExitSearchFailed;
            record.reason = error.what();
        }
        code = std::max(code, record.code);
        if (options.json)
            out << lag_json_line(record) << '\n';
        else if (options.csv)
            write_lag_csv_rows(out, record);
        else
            write_lag_text(out, record, many, i == 0);
        out.flush();
        if (!record.reason.empty() && record.code != kExitInterrupted)
            say(err, many && record.reason.find(record.file) == std::string::npos
                         ? record.file + ": " + record.reason
                         : record.reason);
        if (record.code == kExitSuccess)
            events.push_back(std::move(record.lags));
    }
    if (many && options.request.bootstrap > 0) {
        const std::vector<CombinedRow> rows = combine_over_events(events, options.request.level);
        if (options.json)
            out << combined_json_object(rows).dump(-1, ' ', false, Json::error_handler_t::replace)
                << '\n';
        else if (!options.csv)
            write_combined_text(out, rows, options.request.level);
    }
    return code == kExitInterrupted ? interrupted_exit_code() : code;
}

}  // namespace tolvenar::cli
