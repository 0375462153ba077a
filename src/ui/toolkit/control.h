// SPDX-License-Identifier: GPL-3.0-or-later
// What every control of the window shares: placement in twips and its own Enabled flag.
#pragma once

#include <QMargins>
#include <QRect>
#include <QWidget>

#include <cmath>

namespace tolvenar {

inline constexpr int kTwipsPerPixel = 15;  // 1440 twips per inch at 96 logical dots per inch

// Logical pixels of a length in twips, to the nearest pixel (Qt's high-DPI scaling does the rest).
inline int pixels_of_twips(double twips)
{
    return static_cast<int>(std::lround(twips / kTwipsPerPixel));
}

// A Qt widget with the control behaviour the handlers rely on. Positions are twips relative to
// the container (the window or a frame), as the window's layout tables give them.
template <typename Widget>
class Control : public Widget {
public:
    using Widget::Widget;

    // The control's own Enabled flag: a disabled frame greys its members without changing it.
    bool Enabled() const { return !this->testAttribute(Qt::WA_ForceDisabled); }

    // Moves the keyboard focus here; a control that cannot take it (disabled) is left alone.
    void SetFocus()
    {
        if (this->isEnabled() && this->focusPolicy() != Qt::NoFocus)
            this->setFocus(Qt::OtherFocusReason);
    }

    // Left, Top, Width, Height in twips: the place at the window's design size.
    void place(int left, int top, int width, int height)
    {
        m_twips = QRect(left, top, width, height);
        showPlace();
    }
    int Left() const { return m_twips.x(); }
    int Top() const { return m_twips.y(); }
    int Width() const { return m_twips.width(); }
    int Height() const { return m_twips.height(); }
    void setLeft(int twips) { place(twips, Top(), Width(), Height()); }
    void setTop(int twips) { place(Left(), twips, Width(), Height()); }

    // On a window grown beyond its design size: how far, in pixels, each edge of the control
    // lies from its design place.
    void setShift(const QMargins& shift)
    {
        m_shift = shift;
        showPlace();
    }

private:
    void showPlace()
    {
        this->setGeometry(pixels_of_twips(m_twips.x()) + m_shift.left(),
                          pixels_of_twips(m_twips.y()) + m_shift.top(),
                          pixels_of_twips(m_twips.width()) + m_shift.right() - m_shift.left(),
                          pixels_of_twips(m_twips.height()) + m_shift.bottom() - m_shift.top());
    }

    QRect m_twips;
    QMargins m_shift;
};

}  // namespace tolvenar
