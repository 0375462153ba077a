// SPDX-License-Identifier: GPL-3.0-or-later
// "Save": the fit on display as the fit job records it, the record tolvenar-fit makes of the same
// file, crop, family, searches and seed: its JSON object (with the refined fit, the intervals and
// the comparison when made), its CSV header and row, or its picture (with the band when there is
// one), by the name's ending. Several series fitted: their lags' record instead, as tolvenar-fit
// --y ... --lag-to writes it; after "Find events…" the scan's, as tolvenar-fit --scan writes it.
#include "core/report/record_output.h"
#include "core/report/lag_output.h"
#include "core/report/scan_output.h"
#include "core/runtime/file_output.h"
#include "picture/picture_writer.h"
#include "ui/app/frm_main.h"
#include "ui/app/result_labels.h"
#include "ui/model/model_controls.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sstream>

namespace tolvenar {

namespace {

// The record of what the window holds for `family`.
FitRecord record_of(const frmMain& w, ModelFamily family)
{
    const CropEdges edges = w.CropWindowEdges();
    FitRequest request = session_request(w.session, w.Results, family, edges);
    // A comparison's constant or line on display is no fit of the family: the record holds the
    // comparison alone.
    request.refine = request.refine && w.ShownNull.empty();
    ResultLabels labels;
    labels.apply(reset_label_writes(family));
    if (w.session.has_best())
        labels.apply(w.session.report(family).writes);
    else if (request.refine)
        labels.apply(w.session.refined_report(family, *w.Results.refined).writes);
    return make_record(w.session, w.Results, request, w.state.DataFile, edges.from, edges.to,
                       w.Series, labels);
}

// `bytes` written to `path`; "" when written, else why not.
std::string written(const std::string& path, const std::string& bytes)
{
    const std::string reason = write_file(path, bytes);
    return reason.empty() ? reason : "cannot write " + path + ": " + reason;
}

// The scan's JSON lines (one an event) or its CSV rows, as tolvenar-fit --scan writes them.
std::string save_scan(const ScanRecord& record, const std::string& file, const QString& ending)
{
    std::ostringstream out;
    if (ending == QLatin1String("json")) {
        for (const std::string& line : scan_json_lines(record))
            out << line << '\n';
    } else if (ending == QLatin1String("csv")) {
        const std::vector<ScanColumn> columns = scan_csv_columns(record.request);
        write_scan_csv_header(out, columns);
        write_scan_csv_rows(out, columns, record);
    } else {
        return file + ": the events' record needs a name ending in .json or .csv";
    }
    return written(file, out.str());
}

// The lags' JSON object or CSV rows, as tolvenar-fit --y ... --lag-to writes them.
std::string save_lags(const LagRecord& record, const std::string& file, const QString& ending)
{
    std::ostringstream out;
    if (ending == QLatin1String("json")) {
        out << lag_json_line(record) << '\n';
    } else if (ending == QLatin1String("csv")) {
        write_lag_csv_header(out);
        write_lag_csv_rows(out, record);
    } else {
        return file + ": the lags' record needs a name ending in .json or .csv";
    }
    return written(file, out.str());
}

}  // namespace

void frmMain::Command6_Click()
{
    const std::optional<ModelFamily> family = selected_family(*this);
    if (Busy() || (!family && !SavesScan() && !Results.lags) || !HasRecord())
        return;
    const QFileInfo data(QString::fromStdString(state.DataFile));
    const QString path = platform.ShowSave(
        Results.lags  ? QStringLiteral("Lags (*.json *.csv)")
        : SavesScan() ? QStringLiteral("Events (*.json *.csv)")
                      : QStringLiteral("Fit (*.json *.csv *.png *.svg)"),
        data.dir().filePath(data.completeBaseName() + QStringLiteral(".json")));
    if (path.isEmpty())
        return;
    const std::string file = QFile::encodeName(path).toStdString();
    const QString ending = QFileInfo(path).suffix().toLower();
    if (Results.lags) {
        if (const std::string failed = save_lags(*Results.lags, file, ending); !failed.empty())
            SayWhy(QStringLiteral("Save"), failed);
        return;
    }
    if (SavesScan()) {
        if (const std::string failed = save_scan(*Results.scan, file, ending); !failed.empty())
            SayWhy(QStringLiteral("Save"), failed);
        return;
    }
    const FitRecord record = record_of(*this, *family);
    std::string failed;
    if (ending == QLatin1String("png") || ending == QLatin1String("svg")) {
        const double top = Picture1->ScaleTop();
        failed = plot::render_picture(
            file, plot::fit_picture(record, session.table(), Series.gap_x, top,
                                    top + Picture1->ScaleHeight(),
                                    plot::picture_window(CropWindowEdges())));
    } else if (ending == QLatin1String("csv")) {
        std::ostringstream table;
        const std::vector<Column> columns = csv_columns(record.request);
        write_csv_header(table, columns);
        write_csv_row(table, columns, record);
        failed = written(file, table.str());
    } else if (ending == QLatin1String("json")) {
        failed = written(file, json_line(record) + '\n');
    } else {
        failed = file + ": the name needs to end in .json, .csv, .png or .svg";
    }
    if (!failed.empty())
        SayWhy(QStringLiteral("Save"), failed);
}

}  // namespace tolvenar
