// SPDX-License-Identifier: GPL-3.0-or-later
// The vertical range fields, "Flip vertical" and "Copy" of the plots' popup menus. Text1 holds
// the value at the top edge of both plots, Text2 the value at the bottom edge.
#include "core/runtime/numbers.h"
#include "core/window/range_rules.h"
#include "ui/app/frm_main.h"

namespace tolvenar {

namespace {

double field_number(const TextField& field)
{
    return parse_leading_number(field.Text().toStdString());
}

std::optional<VerticalScale> scale_of_fields(const frmMain& w)
{
    return vertical_scale(field_number(*w.Text1), field_number(*w.Text2));
}

void apply(PictureBox& plot, const VerticalScale& scale)
{
    plot.setScaleTop(scale.top);
    plot.setScaleHeight(scale.height);
}

// The models over the redrawn data: the best of best when it was shown, and its boxes while
// "Show constraint" is ticked; several series fitted, each with its fit, in place of the data.
void redraw_models(frmMain& w)
{
    if (w.Results.lags) {  // each series scaled in its place of the window's own
        w.WipePicture1();
        w.DrawLags();
        return;
    }
    if (!w.state.BestOfBestShown)
        return;
    w.DrawBestOfBest();
    if (w.Check2->Value() == 1)
        w.DrawConstraint();
}

// Both plots from the value in Text1 at the top to the value in Text2 at the bottom, redrawn.
// The orange bests of earlier runs are wiped with the old scale.
void apply_vertical_range(frmMain& w)
{
    const auto scale = scale_of_fields(w);
    if (!scale)
        return;
    apply(*w.Picture1, *scale);
    apply(*w.Picture2, *scale);
    w.DrawPreview();
    w.WipePicture1();
    w.DrawCrop();
    w.Picture1->Persist();
    redraw_models(w);
}

// A range field changed: equal texts move the changed field away from the other, else both
// plots take the range.
void range_changed(frmMain& w, TextField& changed)
{
    if (!w.state.CropDrawn)
        return;
    const auto tie = range_tie(w.Text1->Text().toStdString(), w.Text2->Text().toStdString(),
                               &changed == w.Text1);
    if (tie)
        changed.setText(qtext(*tie));
    else
        apply_vertical_range(w);
}

void flip_vertical(frmMain& w)
{
    if (!w.state.PreviewDrawn)  // no series on the strip yet: nothing to turn
        return;
    const FlippedRange flipped =
        flipped_range(w.Text1->Text().toStdString(), w.Text2->Text().toStdString());
    // "temp" reads as 0 and differs from any number text, so the tie rule keeps out of the
    // exchange; each write redraws the plots through its change handler.
    w.Text2->setText(QStringLiteral("temp"));
    w.Text1->setText(qtext(flipped.top));
    w.Text2->setText(qtext(flipped.bottom));
    if (const auto scale = scale_of_fields(w))
        apply(*w.Picture2, *scale);
    w.DrawPreview();
    redraw_models(w);
}

void copy_working_plot(frmMain& w)
{
    put_clipboard_picture(w.Picture1->Image());
}

}  // namespace

void frmMain::Text1_Change()
{
    range_changed(*this, *Text1);
}

void frmMain::Text2_Change()
{
    range_changed(*this, *Text2);
}

void frmMain::mnuFlipVertical1_Click()
{
    flip_vertical(*this);
}

void frmMain::mnuFlipVertical2_Click()
{
    flip_vertical(*this);
}

// Both menus copy the working plot, with the models drawn on it.
void frmMain::mnuCopy1_Click()
{
    copy_working_plot(*this);
}

void frmMain::mnuCopy2_Click()
{
    copy_working_plot(*this);
}

}  // namespace tolvenar
