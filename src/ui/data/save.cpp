// SPDX-License-Identifier: GPL-3.0-or-later
// "Save": the fit on display as tolvenar-fit writes it for the same file, crop, family, counts and
// seed: its JSON object (with the refined fit and the intervals when made), its CSV header and
// row, or its picture (with the band when there is one), by the name's ending.
#include "cli/compare_job.h"
#include "cli/fit_job.h"
#include "cli/plot/fit_picture.h"
#include "cli/refine_output.h"
#include "cli/result_output.h"
#include "ui/app/frm_main.h"
#include "ui/model/model_controls.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <random>
#include <sstream>

namespace tolvenar {

namespace {

using namespace cli;

// The command line's options for what the window did: its family, counts and crop, the seed its
// searches started from, and the refinement and bootstrap when made.
FitOptions options_of(const frmMain& w, ModelFamily family)
{
    FitOptions options;
    options.family = family;
    options.runs_text = w.Text6->Text().toStdString();
    options.trials_text = w.Text3[0]->Text().toStdString();
    const CropEdges edges = w.CropWindowEdges();
    options.from = Edge{edges.from, "--from"};
    options.to = Edge{edges.to, "--to"};
    options.constrain = w.session.last_search().constrain == 1;
    options.seed = std::mt19937::default_seed;
    options.refine = w.Refined.has_value() && w.ShownNull.empty();
    if (w.Intervals) {
        options.bootstrap = static_cast<std::int32_t>(w.Intervals->replicates.size());
        options.level = w.IntervalChoice.level;
    }
    options.files = {w.state.DataFile};
    if (w.CurrentComparison()) {  // the comparison made on this crop goes with the fit
        options.compare = true;
        options.test_replicates = w.ComparedReplicates;
        options.alpha = w.ComparedAlpha;
    }
    return options;
}

// The fit as the best found, for a comparison's optimum shown without a search.
void take_best(FoundModel& found, ModelFamily family, const refine::RefinedFit& fit)
{
    found.x = fit.model.x;
    found.y = fit.model.y;
    found.r = fit.r;
    found.sq_dist = fit.sq_dist;
    const FamilyMeasure measure = family_row(family).measure;
    found.duration = measure == FamilyMeasure::Duration ? fit.measure : std::nullopt;
    found.symmetry_index = measure == FamilyMeasure::SymmetryIndex ? fit.measure : std::nullopt;
}

// The record tolvenar-fit makes of the same fit.
FileResult record_of(const frmMain& w, ModelFamily family, const FitOptions& options)
{
    FileResult result;
    result.file = w.state.DataFile;
    result.from = options.from->value;
    result.to = options.to->value;
    result.x_form = w.session.x_form();
    result.reversed = w.XReversed;
    result.sigma_title = w.SigmaTitle;
    if (!w.GapX.empty())
        result.gaps = gaps_within(w.GapX, *result.from, *result.to);
    // The family's model on display: the search's best, or a comparison's optimum shown without
    // a search, which then stands as the best found with no trial made. None with a comparison's
    // constant or line, or a comparison alone.
    const bool searched = w.session.has_best();
    if (searched || options.refine) {
        ResultLabels labels;
        labels.apply(reset_label_writes(family));
        labels.apply(searched ? w.session.report(family).writes
                              : w.session.refined_report(family, *w.Refined).writes);
        result.found = found_model(w.session, family, labels);
        if (!searched)
            take_best(*result.found, family, *w.Refined);
    }
    if (result.found && w.Refined) {
        IntervalRequest request = w.IntervalChoice;
        request.replicates = options.bootstrap;
        result.found->refined = refined_record(w.session, family, *w.Refined, w.Intervals, request);
    }
    if (const FamilyComparison* comparison = w.CurrentComparison()) {
        result.comparison = comparison_record(*comparison, options.test_replicates);
        result.comparison->fitted = result.found ? std::optional(family) : std::nullopt;
    }
    return result;
}

// The bytes of the file; "" when written, else why not.
std::string write_bytes(const std::string& path, const std::string& bytes)
{
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    if (file)
        file << bytes;
    if (file)
        file.flush();
    if (!file)
        return "cannot write " + path + ": " + std::strerror(errno);
    return {};
}

}  // namespace

void frmMain::Command6_Click()
{
    const std::optional<ModelFamily> family = selected_family(*this);
    if (Busy() || !family || !HasRecord())
        return;
    const QFileInfo data(QString::fromStdString(state.DataFile));
    const QString path = platform.ShowSave(
        QStringLiteral("Fit (*.json *.csv *.png *.svg)"),
        data.dir().filePath(data.completeBaseName() + QStringLiteral(".json")));
    if (path.isEmpty())
        return;
    const std::string file = QFile::encodeName(path).toStdString();
    const FitOptions options = options_of(*this, *family);
    const FileResult result = record_of(*this, *family, options);
    const QString ending = QFileInfo(path).suffix().toLower();
    std::string failed;
    if (ending == QLatin1String("png") || ending == QLatin1String("svg")) {
        const double top = Picture1->ScaleTop();
        failed = plot::write_picture(
            file, fit_picture(session, top, top + Picture1->ScaleHeight(), CropWindowEdges(),
                              *result.found, GapX));
    } else if (ending == QLatin1String("csv")) {
        std::ostringstream table;
        const std::vector<Column> columns = csv_columns(options);
        write_csv_header(table, columns);
        write_csv_row(table, columns, result);
        failed = write_bytes(file, table.str());
    } else if (ending == QLatin1String("json")) {
        failed = write_bytes(file, json_line(result, options) + '\n');
    } else {
        failed = file + ": the name needs to end in .json, .csv, .png or .svg";
    }
    if (!failed.empty())
        SayWhy(QStringLiteral("Save"), failed);
}

}  // namespace tolvenar
