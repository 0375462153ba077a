// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/scan_command.h"

#include "cli/batch.h"
#include "cli/data_options.h"
#include "cli/refusals.h"
#include "core/job/scan_job.h"
#include "core/report/scan_output.h"
#include "core/runtime/pool.h"

#include <new>

namespace tolvenar::cli {

namespace {

// Scans one file; every refusal and interruption ends up in the record.
ScanRecord scan_file(const FitOptions& options, const std::string& file, int cores,
                     std::istream& in)
{
    ScanRecord record;
    record.file = file;
    record.request = *options.scan;
    if (interrupt_flag().load()) {
        record.code = kExitInterrupted;
        record.reason = "interrupted before its scan began";
        return record;
    }
    try {
        JobControl control;
        control.stop = &interrupt_flag();
        control.threads = cores;
        return scan_events(import_file(file, in, options.read), *options.scan, file, control);
    } catch (const Refused& refusal) {
        record.code = refusal.code();
        record.reason = refusal.what();
    } catch (const std::bad_alloc&) {
        record.code = kExitRefused;
        record.reason = "out of memory";
    }
    return record;
}

}  // namespace

int scan_all(const FitOptions& options, std::istream& in, std::ostream& out, std::ostream& err)
{
    const std::vector<std::string> files = shard_files(options);
    refuse_shared_streams(files);
    const bool many = options.files.size() > 1;
    const std::vector<ScanColumn> columns = scan_csv_columns(*options.scan);
    if (options.csv)
        write_scan_csv_header(out, columns);
    const int cores = static_cast<int>(threads_to_use(static_cast<std::size_t>(options.threads)));
    int code = kExitSuccess;
    for (std::size_t i = 0; i < files.size(); ++i) {
        const ScanRecord record = scan_file(options, files[i], cores, in);
        code = std::max(code, record.code);
        if (options.json)
            for (const std::string& line : scan_json_lines(record))
                out << line << '\n';
        else if (options.csv)
            write_scan_csv_rows(out, columns, record);
        else
            write_scan_text(out, record, many, i == 0);
        out.flush();  // before the reasons, which follow the file's lines on a terminal
        const std::string where = many ? files[i] + ": " : "";
        if (!record.reason.empty() && record.code != kExitInterrupted)
            say(err, where + record.reason);
        for (std::size_t k = 0; k < record.events.size(); ++k) {
            const FitRecord& fit = record.events[k];
            if (!fit.reason.empty() && fit.code != kExitInterrupted)
                say(err, where + "event " + std::to_string(k + 1) + ": " + fit.reason);
        }
    }
    return code == kExitInterrupted ? interrupted_exit_code() : code;
}

}  // namespace tolvenar::cli
