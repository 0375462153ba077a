// SPDX-License-Identifier: GPL-3.0-or-later
// A plot control: a drawing area with a user scale and a persistent image. Drawings go into the
// current image; a background picture keeps what was persisted so that Cls returns to it. When
// the area changes size, both are drawn again at the new size from what was drawn, each line in
// the scale it was drawn in.
#pragma once

#include "ui/toolkit/control.h"
#include "ui/toolkit/drawing_record.h"

#include <QFrame>
#include <QImage>
#include <QRgb>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

class QPainter;

namespace tolvenar {

enum class LineKind { Line, Box, FilledBox };

// Button and Shift codes of the mouse events.
inline constexpr std::int16_t kLeftButton = 1;
inline constexpr std::int16_t kRightButton = 2;
inline constexpr std::int16_t kMiddleButton = 4;
inline constexpr std::int16_t kShiftMask = 1;
inline constexpr std::int16_t kCtrlMask = 2;
inline constexpr std::int16_t kAltMask = 4;

// Button (1 left, 2 right, 4 middle; on a move the buttons held), Shift, and X, Y in user units.
using MouseHandler = std::function<void(std::int16_t Button, std::int16_t Shift, float X, float Y)>;

// One axis of a container's scale, for placing controls on it.
struct ScaleAxis {
    double start = 0.0;   // user value at the left (top) edge of the drawing area
    double extent = 1.0;  // user extent of the whole area; negative mirrors the axis
    double twips = 1.0;   // the area's length in twips

    double user_at(double at_twips) const { return start + at_twips * extent / twips; }
    double twips_at(double user) const { return (user - start) * twips / extent; }
    double user_length(double length_twips) const;
    double twips_length(double user_length) const;
};

class PictureBox : public Control<QFrame> {
public:
    explicit PictureBox(QWidget* parent);
    ~PictureBox() override;

    // User scale: x runs from ScaleLeft at the left edge of the drawing area over ScaleWidth, y
    // from ScaleTop at the top over ScaleHeight. Until one is set they are the area's twips from
    // 0. Writes are rounded to single precision (Overflow beyond its range); a zero extent raises
    // InvalidPropertyValue and keeps the previous scale.
    float ScaleLeft() const;
    float ScaleTop() const;
    float ScaleWidth() const;
    float ScaleHeight() const;
    void setScaleLeft(double value);
    void setScaleTop(double value);
    void setScaleWidth(double value);
    void setScaleHeight(double value);
    ScaleAxis axisX() const;
    ScaleAxis axisY() const;
    ScaleAxis axisX(QSize area) const;  // the same for a drawing area of `area` pixels
    ScaleAxis axisY(QSize area) const;
    bool UserScaled() const { return m_userScale; }  // a user scale was set; else twips
    std::uint64_t scaleGeneration() const { return m_scaleGeneration; }  // changes on every write

    // Draws from (x1, y1) to (x2, y2) in user units at DrawWidth logical pixels: a line, a box
    // outline or a filled box (corner pixels included), clipped to the area.
    void Line(float x1, float y1, float x2, float y2, QRgb color, LineKind kind = LineKind::Line);
    // A filled polygon through (x, y) points in user units, in `color` with its alpha (no outline).
    void Polygon(const std::vector<std::pair<double, double>>& points, QRgb color);
    int DrawWidth() const { return m_drawWidth; }
    void setDrawWidth(int pixels);  // 1..32767, else InvalidPropertyValue

    QRgb BackColor() const { return m_backColor; }
    void setBackColor(QRgb color);  // erases the image and the background picture to the colour

    void Cls();      // the background picture becomes the current image again
    void Persist();  // the current image becomes the background picture
    void Refresh();  // repaints now; drawing otherwise shows at the next paint
    QImage Image() const;  // the current image at device resolution

    QString ToolTipText() const { return toolTip(); }
    void setToolTipText(const QString& text) { setToolTip(text); }

    // A pointer code of ui/toolkit/pointer.h.
    int MousePointer() const { return m_mousePointer; }
    void setMousePointer(int code);  // an unknown code raises InvalidPropertyValue

    MouseHandler onMouseDown;
    MouseHandler onMouseMove;
    MouseHandler onMouseUp;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void enterUserScale();
    void scaleWritten();
    DrawnScale drawnScale() const;
    void deliver(const MouseHandler& handler, std::int16_t button, const QMouseEvent& event);
    void ensureImage() const;  // follows the area's size and the screen's pixel ratio
    void replay(QImage& image, std::size_t from, std::size_t to) const;  // strokes [from, to)
    QPainter& painter();       // opened on the current image until the next copy of it
    void endPainting() const;
    void showLater();

    bool m_userScale = false;
    float m_scaleLeft = 0.0f;
    float m_scaleTop = 0.0f;
    float m_scaleWidth = 1.0f;
    float m_scaleHeight = 1.0f;
    std::uint64_t m_scaleGeneration = 0;
    int m_drawWidth = 1;
    QRgb m_backColor;
    int m_mousePointer = 0;
    bool m_repaintPending = false;
    mutable QImage m_image;
    mutable QImage m_background;
    mutable std::unique_ptr<QPainter> m_painter;
    QSizeF m_paintArea;          // the drawing area's logical size while m_painter is open
    // The painter's pen while it is open: width 0 = none set.
    struct PenInUse {
        QRgb color = 0;
        int width = 0;
        Qt::PenCapStyle cap = Qt::SquareCap;
        void use(QPainter& painter, QRgb color, int width, Qt::PenCapStyle cap);
    };
    mutable PenInUse m_pen;
    struct Canvas;
    DrawingRecord m_record;  // what the current image and the background picture hold
};

// A rectangle control over its container. Left, Top, Width and Height are in the container's
// scale (a PictureBox's user scale, else twips); it keeps its place on screen when that scale
// changes, so it then reads differently. A value written reads back exactly while the scale
// stays.
class Shape : public QWidget {
public:
    explicit Shape(QWidget* container);

    float Left() const { return userValues()[0]; }
    float Top() const { return userValues()[1]; }
    float Width() const { return userValues()[2]; }
    float Height() const { return userValues()[3]; }
    // Single precision (Overflow beyond it); a negative Width or Height raises
    // InvalidPropertyValue and leaves the shape as it was.
    void setLeft(double value) { write(0, value); }
    void setTop(double value) { write(1, value); }
    void setWidth(double value) { write(2, value); }
    void setHeight(double value) { write(3, value); }
    void place(double left, double top, double width, double height);  // twips in the container
    // The container's drawing area changed size: on a user scale the shape keeps standing for
    // the same values, its Left, Top, Width and Height reading back exactly as before; on the
    // twips scale it keeps its share of the area.
    void followContainer();

    QRgb BorderColor() const { return m_borderColor; }
    void setBorderColor(QRgb color);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    ScaleAxis axis(int field, QSize area) const;  // field 0..3: left, top, width, height
    ScaleAxis axis(int field) const;              // at the container's present size
    float userValue(int field, const ScaleAxis& axis) const;  // of m_twips
    void setTwips(int field, float user, const ScaleAxis& axis);
    const std::array<float, 4>& userValues() const;
    void write(int field, double value);
    void reposition();

    PictureBox* m_plot = nullptr;         // the container's scale; null: twips
    QSize m_area;                         // the container's drawing area m_twips are placed in
    std::array<double, 4> m_twips{};      // left, top, width, height in twips
    mutable std::array<float, 4> m_user{};  // the same in the scale of m_generation
    mutable std::uint64_t m_generation = 0;
    mutable bool m_userValid = false;
    QRgb m_borderColor = 0xff000000;
};

// A line control: a stroke between two points given in twips of its container.
class LineControl : public QWidget {
public:
    LineControl(QWidget* container, int x1, int y1, int x2, int y2);

    QRgb BorderColor() const { return m_borderColor; }
    void setBorderColor(QRgb color);
    QPoint start() const { return m_start; }  // twips
    QPoint end() const { return m_end; }      // twips

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QPoint m_start;
    QPoint m_end;
    QRgb m_borderColor = 0xff000000;
};

}  // namespace tolvenar
