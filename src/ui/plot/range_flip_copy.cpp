// SPDX-License-Identifier: GPL-3.0-or-later
// The vertical range fields, "Flip vertical" and "Copy" of the plots' popup menus. Text1 holds
// the value at the top edge of both plots, Text2 the value at the bottom edge.
#include "core/runtime/numbers.h"
#include "ui/app/frm_main.h"

#include <optional>

namespace tolvenar {

namespace {

double field_number(const TextField& field)
{
    return parse_leading_number(field.Text().toStdString());
}

struct VerticalScale {
    float top = 0.0f;
    float height = 0.0f;
};

// The scale from `top` to `bottom` in single precision. A zero extent (5 and 5.0, or a flip
// through 0 to 0) cannot be a scale: nullopt, and the plots keep the one they have. A value
// beyond the single range faults before anything is applied.
std::optional<VerticalScale> vertical_scale(double top, double bottom)
{
    const VerticalScale scale{to_single(top), to_single(bottom - top)};
    if (scale.height == 0.0f)
        return std::nullopt;
    return scale;
}

void apply(PictureBox& plot, const VerticalScale& scale)
{
    plot.setScaleTop(scale.top);
    plot.setScaleHeight(scale.height);
}

// The models over the redrawn data: the best of best when it was shown, and its boxes while
// "Show constraint" is ticked.
void redraw_models(frmMain& w)
{
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
    const auto scale = vertical_scale(field_number(*w.Text1), field_number(*w.Text2));
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

void flip_vertical(frmMain& w)
{
    if (!w.state.PreviewDrawn)  // no series on the strip yet: nothing to turn
        return;
    const float top = to_single(field_number(*w.Text1));
    const float bottom = to_single(field_number(*w.Text2));
    // "temp" reads as 0 and differs from any number text, so the tie rule keeps out of the
    // exchange; each write redraws the plots through its change handler.
    w.Text2->setText(QStringLiteral("temp"));
    w.Text1->setText(qtext(number_text(bottom)));
    w.Text2->setText(qtext(number_text(top)));
    if (const auto scale = vertical_scale(field_number(*w.Text1), field_number(*w.Text2)))
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
    if (!state.CropDrawn)
        return;
    if (Text1->Text() == Text2->Text()) {  // the top ends one above the bottom
        Text1->setText(qtext(number_text(field_number(*Text2) + 1.0)));
        return;
    }
    apply_vertical_range(*this);
}

void frmMain::Text2_Change()
{
    if (!state.CropDrawn)
        return;
    if (Text1->Text() == Text2->Text()) {  // the bottom ends one below the top
        Text2->setText(qtext(number_text(field_number(*Text1) - 1.0)));
        return;
    }
    apply_vertical_range(*this);
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
