// SPDX-License-Identifier: GPL-3.0-or-later
// Data import: "Import data" reads a data file into the data table and brings the window into
// its working state.
#include "ui/app/frm_main.h"

#include "core/data/data_reader.h"
#include "core/runtime/fault.h"
#include "core/runtime/numbers.h"
#include "ui/data/column_dialog.h"
#include "ui/plot/comparison_window.h"

#include <QFile>
#include <QFileInfo>

#include <initializer_list>
#include <new>
#include <utility>

namespace tolvenar {

namespace {

// The columns to read `text` with: the first two for a file of two, else those chosen in the
// dialog (opened on the choice last made for the same titles); nullopt: Cancel.
std::optional<ColumnsChoice> choose_columns(frmMain& w, std::string_view text)
{
    const DataLayout layout = data_layout(text);
    if (layout.titles.size() <= 2)
        return ColumnsChoice{};
    const auto known = w.ColumnChoices.find(layout.titles);
    const ColumnsChoice shown = known == w.ColumnChoices.end() ? ColumnsChoice{} : known->second;
    std::optional<ColumnsChoice> choice;
    if (w.AskColumns) {
        choice = w.AskColumns(layout.titles, shown);
    } else {
        ColumnDialog dialog(layout.titles, shown, &w);
        if (dialog.exec() == QDialog::Accepted)
            choice = dialog.choice();
    }
    if (choice)
        w.ColumnChoices[layout.titles] = *choice;
    return choice;
}

// With further y chosen, every series of the file: the window's own (`imported`) first, then the
// others in the file's order, each read as the reader reads its column alone; none with one y.
std::vector<LagSeries> several_series(const std::string& text, const ColumnsChoice& columns,
                                      const CheckedImport& imported, std::string& reference)
{
    std::vector<LagSeries> series;
    if (columns.more_y.empty())
        return series;
    const auto title_of = [](const CheckedImport& read, int column) {
        return read.series.y_title.empty() ? std::to_string(column) : read.series.y_title;
    };
    series.push_back({title_of(imported, columns.y.number), imported});
    for (const int column : columns.more_y) {
        ReadOptions read = columns;
        read.y = ColumnChoice{"", column};
        CheckedImport other = import_data_text(text, read);
        series.push_back({title_of(other, column), std::move(other)});
    }
    reference = series.front().title;
    for (std::size_t i = 0; i < columns.more_y.size(); ++i)
        if (columns.more_y[i] == columns.lag_to)
            reference = series[i + 1].title;
    return series;
}

}  // namespace

void frmMain::Command1_Click()
{
    const QString caption_before = Caption();
    bool table_replaced = false;
    QString path;
    // The stop of every failure: a refused file leaves the loaded data, and the caption goes
    // back to the file whose data the window still shows; then the box says why.
    const auto cleanup = [&] {
        ProgressBar1->setValue(0);
        ProgressBar1->hide();
        set_screen_mouse_pointer(pointer::kDefault);
        if (!table_replaced)
            setWindowTitle(caption_before);
    };

    try {
        const QString chosen =
            platform.ShowOpen(QStringLiteral("DataFile(*.csv *.tsv *.txt *.dat)"));
        if (chosen.isEmpty()) {  // Cancel
            cleanup();
            return;
        }
        path = QFileInfo(chosen).absoluteFilePath();
        ShowFileInCaption(path);
        const std::string bytes = read_data_bytes(QFile::encodeName(path).toStdString());
        const std::optional<ColumnsChoice> columns = choose_columns(*this, bytes);
        if (!columns) {  // Cancel in the columns' dialog
            cleanup();
            return;
        }
        set_screen_mouse_pointer(pointer::kHourglass);

        // Reader, field check, y range, the strip's scale and the cells the strip converts: all
        // that can refuse the file runs on a fresh table before the loaded one is touched.
        CheckedImport imported = import_data_text(bytes, *columns);
        std::string reference;
        std::vector<LagSeries> several = several_series(bytes, *columns, imported, reference);
        Series = notes_of(imported.series);
        session.load(std::move(imported.series.table), imported.series.x_form, imported.series.sigma);
        // The comparison and its table were of the file before.
        Results.comparison.reset();
        if (frmComparison)
            frmComparison->hide();
        ForgetScan();  // its events were of the file before
        Several = std::move(several);
        LagReference = std::move(reference);
        LayOutForXForm();
        // Said once, where the file's name stands: what the fit takes differently from the file.
        QString notes;
        if (Series.reversed)
            notes += QStringLiteral("  x read in reverse order");
        if (!Series.title_row)
            notes += QStringLiteral("  no title row: the first line read as data");
        if (const std::size_t comments = Series.comment_lines; comments > 0)
            notes += QStringLiteral("  %1 comment line%2 skipped")
                         .arg(comments)
                         .arg(comments == 1 ? "" : "s");
        if (session.weighted())
            notes += QStringLiteral("  weighted by 1/σ² of %1")
                         .arg(Series.sigma_title.empty()
                                  ? QStringLiteral("the σ column")
                                  : QString::fromStdString(Series.sigma_title));
        if (!notes.isEmpty())
            setWindowTitle(Caption() + notes);
        table_replaced = true;
        state.DataFile = QFile::encodeName(path).toStdString();
        // A new series gets its own verdict on the crop, in the marker's own place.
        state.TypedCrop.reset();
        state.CropRefusal.clear();
        state.CropRefusalUnsaid = false;
        // Nothing of the new series is drawn yet: the range and bound writes below are display
        // writes, as after start-up, and must not rescale the plots half-way through.
        state.PreviewDrawn = false;
        state.CropDrawn = false;
        const std::int32_t n = session.table().DataCount;
        const OverviewScale& scale = imported.scale;

        for (PictureBox* plot : {Picture1, Picture2, Picture3})
            plot->setBackColor(kWhite);

        ProgressBar1->setMin(0);
        ProgressBar1->setMax(n);
        ProgressBar1->setValue(0);
        ProgressBar1->show();

        Picture2->setScaleLeft(scale.ScaleLeft);
        Picture2->setScaleWidth(scale.ScaleWidth);
        Picture2->setScaleTop(scale.ScaleTop);
        Picture2->setScaleHeight(scale.ScaleHeight);

        // The fields now show the new file's values; a key still counted as held in a strip end
        // field must not turn these writes into typed bounds against the previous file's values.
        state.BoxTyping = false;
        const float top = Picture2->ScaleTop();
        Text1->setText(qtext(rounded_text(top, 2)));
        Text2->setText(qtext(rounded_text(top + Picture2->ScaleHeight(), 2)));
        // Shape1 keeps its place on the strip, which now reads in data units.
        const float left = Shape1->Left();
        const float right = left + Shape1->Width();
        Text4->setText(XText(left, rounded_text(left, 1)));
        Text5->setText(XText(right, rounded_text(right, 1)));
        const double first = cell_number(session.table().x_cell(1));
        const double last = cell_number(session.table().x_cell(n));
        Text7->setText(XText(first, rounded_text(first, 1)));
        Text8->setText(XText(last, rounded_text(last, 1)));

        DrawPreview();
        CropCurve();

        ProgressBar1->hide();
        ProgressBar1->setValue(0);
        set_screen_mouse_pointer(pointer::kDefault);

        for (Frame* frame : {Frame1, Frame3, Frame4})
            frame->setEnabled(true);
        for (OptionButton* option : Option1)
            option->setEnabled(true);
        for (QWidget* control : std::initializer_list<QWidget*>{Label1[0], Label1[1], Label4,
                                                                Text3[0], Text3[1], Text6})
            control->setEnabled(true);

        for (LineControl* stroke : Line1)
            stroke->setBorderColor(kBlack);
        for (Shape* outline : Shape2)
            outline->setBorderColor(kBlack);

        for (QWidget* control : std::initializer_list<QWidget*>{Text1, Text2, Text4, Text5, Text7,
                                                                Text8, Command2})
            control->setEnabled(true);

        WipePicture1();
        DrawCrop();
        Picture1->Persist();

        session.forget_results();
        ForgetRefined();
        Command2->SetFocus();
        SayCropRefusal();  // the new series under a crop window that holds none of it
    } catch (const ImportError& error) {
        cleanup();
        SayWhy(QStringLiteral("Import data"), import_refusal_line(path.toStdString(), error));
    } catch (const Fault& fault) {
        cleanup();
        SayWhy(QStringLiteral("Import data"), path.toStdString() + ": " + fault.what());
    } catch (const std::bad_alloc&) {  // a file too large for memory is refused as well
        cleanup();
        SayWhy(QStringLiteral("Import data"), "out of memory");
    }
}

}  // namespace tolvenar
