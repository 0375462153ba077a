// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/window/strip_rules.h"

#include "core/runtime/numbers.h"

#include <algorithm>
#include <cmath>

namespace tolvenar {

namespace {

// The window as a drag step edits it, every write kept for the step's result.
class Editing {
public:
    explicit Editing(CropWindow window) : m_window(window) {}

    float left() const { return m_window.left; }
    float width() const { return m_window.width; }

    void setLeft(double value)
    {
        m_window.left = to_single(value);
        m_edit.left = m_window.left;
    }

    // A negative width is refused and the window keeps its own.
    void setWidth(double value)
    {
        const float width = to_single(value);
        if (!(width >= 0.0f))
            return;
        m_window.width = width;
        m_edit.width = width;
    }

    // Left edge and width together, or neither when the width would be negative.
    void place(double left, double width)
    {
        if (!(to_single(width) >= 0.0f))
            return;
        setLeft(left);
        setWidth(width);
    }

    template <typename Step>
    WindowEdit run(Step&& step)
    {
        try {
            step(*this);
        } catch (const Fault& fault) {
            m_edit.fault = fault.kind();
        }
        return m_edit;
    }

private:
    CropWindow m_window;
    WindowEdit m_edit;
};

double min_width_of(StripScale strip)
{
    return static_cast<double>(strip.width) / 100.0;
}

}  // namespace

StripGrip strip_grip(float x, float left, float width, float strip_width)
{
    const double tolerance = static_cast<double>(strip_width) / 200.0;
    const double to_left = static_cast<double>(x) - left;
    const double to_right = static_cast<double>(x) - left - width;
    if (tolerance * tolerance > to_left * to_left)
        return StripGrip::LeftEdge;
    if (tolerance * tolerance > to_right * to_right)
        return StripGrip::RightEdge;
    if (x > left && x < left + width)
        return StripGrip::Inside;
    return StripGrip::Outside;
}

WindowEdit move_window(float x, float grab_offset, CropWindow window, StripScale strip)
{
    return Editing(window).run([&](Editing& w) {
        w.setLeft(static_cast<double>(x) - grab_offset);
        const float end_left = to_single(static_cast<double>(strip.width) + strip.left - w.width());
        if (w.left() < strip.left)
            w.setLeft(strip.left);
        else if (end_left < w.left())
            w.setLeft(end_left);
    });
}

WindowEdit drag_right_edge(float x, CropWindow window, StripScale strip)
{
    return Editing(window).run([&](Editing& w) {
        const float left = w.left();
        if (to_single(left + min_width_of(strip)) < x)
            w.setWidth(static_cast<double>(x) - left);
        const float strip_end = to_single(static_cast<double>(strip.width) + strip.left);
        const float right = to_single(static_cast<double>(w.width()) + left);
        // A window starting beyond the strip's end cannot be pinned there: it keeps its width.
        if (strip_end < right)
            w.setWidth(static_cast<double>(strip_end) - left);
    });
}

WindowEdit drag_left_edge(float x, float anchor_right, CropWindow window, StripScale strip)
{
    return Editing(window).run([&](Editing& w) {
        const double right = static_cast<double>(w.width()) + w.left();
        if (to_single(right - min_width_of(strip)) > x)
            w.place(x, static_cast<double>(anchor_right) - x);
        // The left edge stops at x = 0; on an axis wholly below zero there is no window between
        // zero and the anchor, and the edge stays where the mouse put it.
        if (w.left() < 0.0f)
            w.place(0.0, anchor_right);
    });
}

std::optional<ColumnSpan> event_columns(double onset, double end, double left, double width,
                                        int columns)
{
    if (columns <= 0 || !(width > 0.0))
        return std::nullopt;
    const auto at = [&](double x) { return (x - left) / width * columns; };
    const double from = std::floor(at(std::min(onset, end)));
    const double to = std::max(std::ceil(at(std::max(onset, end))) - 1.0, from);
    if (!(to >= 0.0 && from < columns))  // NaN too
        return std::nullopt;
    return ColumnSpan{static_cast<int>(std::max(from, 0.0)),
                      static_cast<int>(std::min(to, columns - 1.0))};
}

}  // namespace tolvenar
