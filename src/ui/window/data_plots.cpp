// SPDX-License-Identifier: GPL-3.0-or-later
// The data on the two plots: blanking the working plot, the cropped data with their vertical
// extent, and the whole series on the overview strip; each line breaks where a y is missing.
#include "ui/app/frm_main.h"

#include "core/data/data_reader.h"
#include "core/runtime/fault.h"
#include "core/window/column_thinning.h"
#include "core/window/crop.h"
#include "ui/plot/event_marks.h"

#include <algorithm>
#include <cmath>

namespace tolvenar {

namespace {

// Crops of up to this many points draw every segment, exactly as they always have; longer ones
// draw per pixel column only what the column can show, so a drag over a long series stays as
// quick as one over a short series.
constexpr std::int32_t kCropDrawnWhole = 32767;

// Before the first import the data table does not exist; reading its row count faults.
void require_data(const DataTable& table)
{
    if (!table.allocated())
        throw Fault(FaultKind::IndexOutOfRange, "DataCount");
}

}  // namespace

void frmMain::WipePicture1()
{
    const float left = Picture1->ScaleLeft();
    const float top = Picture1->ScaleTop();
    const float width = Picture1->ScaleWidth();
    const float height = Picture1->ScaleHeight();
    Picture1->Line(left, top, left + width, top + height, kWhite, LineKind::FilledBox);
    Picture1->Persist();
    Command3->setEnabled(false);
}

void frmMain::DrawCrop()
{
    require_data(session.table());
    const CropEdges edges = CropWindowEdges();
    const CropInfo crop = session.crop_info();
    float min_y = crop.min_y, max_y = crop.max_y;
    // The extent takes every segment; a segment over a gap is only not drawn.
    const auto line = [this, origin = edges.origin](float x1, float y1, float x2, float y2) {
        if (Series.gap_x.empty() || gaps_within(Series.gap_x, origin + x1, origin + x2) == 0)
            Picture1->Line(x1, y1, x2, y2, kBlue);
    };
    // The measurement is the core's, so the search's level range is exactly what is drawn.
    if (crop.points <= kCropDrawnWhole) {
        measure_crop(session.table(), edges.left, edges.width, min_y, max_y, line, edges.origin);
    } else {
        const int columns = std::max(
            1, static_cast<int>(std::ceil(Picture1->contentsRect().width() *
                                          Picture1->devicePixelRatioF())));
        ColumnThinner thinned(Picture1->ScaleLeft(), Picture1->ScaleWidth(), columns, line);
        measure_crop(session.table(), edges.left, edges.width, min_y, max_y, thinned,
                     edges.origin);
        thinned.finish();
    }
    // A search reads the extent; while one runs it is what this drawing measures already.
    if (!Busy())
        session.set_crop_extent(min_y, max_y);
    state.CropDrawn = true;
}

void frmMain::DrawPreview()
{
    Picture2->Cls();
    const DataTable& table = session.table();
    require_data(table);
    const std::int64_t last = static_cast<std::int64_t>(table.DataCount) - 1;
    for (std::int64_t i = 1; i <= last; ++i) {
        const float x1 = cell_single(table.x_cell(i)), x2 = cell_single(table.x_cell(i + 1));
        const bool gap = !Series.gap_x.empty() && gaps_within(Series.gap_x, cell_number(table.x_cell(i)),
                                                      cell_number(table.x_cell(i + 1))) > 0;
        if (!gap)
            Picture2->Line(x1, cell_single(table.y_cell(i)), x2, cell_single(table.y_cell(i + 1)),
                           kBlue);
        if (!state.CropDrawn)  // only the import's first drawing shows its progress
            ProgressBar1->setValue(static_cast<float>(i));
    }
    state.PreviewDrawn = true;
    if (StripMarks)  // the marks follow the strip's scale
        StripMarks->update();
}

}  // namespace tolvenar
