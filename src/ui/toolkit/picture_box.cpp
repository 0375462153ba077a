// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/toolkit/picture_box.h"

#include "core/runtime/fault.h"
#include "core/runtime/numbers.h"
#include "ui/toolkit/platform.h"
#include "ui/toolkit/pointer.h"

#include <QApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QPen>

#include <algorithm>
#include <cmath>
#include <limits>
#include <span>

namespace tolvenar {

namespace {

constexpr double kFarPixels = 1.0e6;  // widget coordinates are clamped to this many pixels

std::int16_t button_code(Qt::MouseButtons buttons)
{
    std::int16_t code = 0;
    if (buttons & Qt::LeftButton)
        code |= kLeftButton;
    if (buttons & Qt::RightButton)
        code |= kRightButton;
    if (buttons & Qt::MiddleButton)
        code |= kMiddleButton;
    return code;
}

std::int16_t shift_code(Qt::KeyboardModifiers modifiers)
{
    std::int16_t code = 0;
    if (modifiers & Qt::ShiftModifier)
        code |= kShiftMask;
    if (modifiers & Qt::ControlModifier)
        code |= kCtrlMask;
    if (modifiers & Qt::AltModifier)
        code |= kAltMask;
    return code;
}

int outcode(double x, double y, const QRectF& bounds)
{
    int code = 0;
    if (x < bounds.left())
        code |= 1;
    else if (x > bounds.right())
        code |= 2;
    if (y < bounds.top())
        code |= 4;
    else if (y > bounds.bottom())
        code |= 8;
    return code;
}

// Cuts the segment (x1, y1)-(x2, y2) to `bounds`; false when nothing of it is inside. An end is
// moved onto the edge it crosses, that coordinate exactly, the other measured from the opposite
// end: exact for level and upright lines, and accurate whenever one end is near the plot.
bool clip_segment(double& x1, double& y1, double& x2, double& y2, const QRectF& bounds)
{
    // Each pass puts one end on an edge; at a corner rounding may push it out again by a hair.
    for (int pass = 0; pass < 8; ++pass) {
        const int code1 = outcode(x1, y1, bounds);
        const int code2 = outcode(x2, y2, bounds);
        if ((code1 | code2) == 0)
            return true;
        if ((code1 & code2) != 0)
            return false;  // wholly beyond one edge
        const bool first = code1 != 0;
        double& px = first ? x1 : x2;
        double& py = first ? y1 : y2;
        const double qx = first ? x2 : x1;
        const double qy = first ? y2 : y1;
        const int code = first ? code1 : code2;
        // The other end lies on the inner side of the edge crossed, so no difference is zero.
        if (code & 3) {
            const double edge = (code & 1) ? bounds.left() : bounds.right();
            py = qy + (edge - qx) * (py - qy) / (px - qx);
            px = edge;
        } else {
            const double edge = (code & 4) ? bounds.top() : bounds.bottom();
            px = qx + (edge - qy) * (px - qx) / (py - qy);
            py = edge;
        }
    }
    x1 = std::clamp(x1, bounds.left(), bounds.right());
    y1 = std::clamp(y1, bounds.top(), bounds.bottom());
    x2 = std::clamp(x2, bounds.left(), bounds.right());
    y2 = std::clamp(y2, bounds.top(), bounds.bottom());
    return true;
}

QImage blank_image(QSize device_size, qreal ratio, QRgb color)
{
    QImage image(device_size, QImage::Format_RGB32);
    image.setDevicePixelRatio(ratio);
    image.fill(color);
    return image;
}

// Logical pixels from the area's top-left corner of user points in a scale, in double: no float
// input overflows here.
struct PixelMap {
    double left, top, px_per_x, px_per_y;
    PixelMap(const DrawnScale& scale, QSizeF area)
        : left(scale.left), top(scale.top), px_per_x(area.width() / scale.width),
          px_per_y(area.height() / scale.height)
    {
    }
    double u(double x) const { return (x - left) * px_per_x; }
    double v(double y) const { return (y - top) * px_per_y; }
};

}  // namespace

double ScaleAxis::user_length(double length_twips) const
{
    return length_twips * std::abs(extent) / twips;
}

double ScaleAxis::twips_length(double user_length) const
{
    return user_length * twips / std::abs(extent);
}

PictureBox::PictureBox(QWidget* parent)
    : Control<QFrame>(parent), m_backColor(QApplication::palette().color(QPalette::Window).rgb())
{
    setFrameStyle(QFrame::WinPanel | QFrame::Sunken);  // the 2-pixel sunken border of a plot
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(true);  // moves arrive without a button held, for tooltip and pointer
}

PictureBox::~PictureBox()
{
    endPainting();
}

float PictureBox::ScaleLeft() const
{
    return m_userScale ? m_scaleLeft : 0.0f;
}

float PictureBox::ScaleTop() const
{
    return m_userScale ? m_scaleTop : 0.0f;
}

float PictureBox::ScaleWidth() const
{
    return m_userScale ? m_scaleWidth : static_cast<float>(contentsRect().width() * kTwipsPerPixel);
}

float PictureBox::ScaleHeight() const
{
    return m_userScale ? m_scaleHeight
                       : static_cast<float>(contentsRect().height() * kTwipsPerPixel);
}

void PictureBox::enterUserScale()
{
    if (m_userScale)
        return;
    m_scaleLeft = ScaleLeft();
    m_scaleTop = ScaleTop();
    m_scaleWidth = ScaleWidth();
    m_scaleHeight = ScaleHeight();
    m_userScale = true;
}

void PictureBox::scaleWritten()
{
    ++m_scaleGeneration;
}

void PictureBox::setScaleLeft(double value)
{
    const float left = to_single(value);
    enterUserScale();
    m_scaleLeft = left;
    scaleWritten();
}

void PictureBox::setScaleTop(double value)
{
    const float top = to_single(value);
    enterUserScale();
    m_scaleTop = top;
    scaleWritten();
}

void PictureBox::setScaleWidth(double value)
{
    const float width = to_single(value);
    if (width == 0.0f)
        throw Fault(FaultKind::InvalidPropertyValue, "ScaleWidth");
    enterUserScale();
    m_scaleWidth = width;
    scaleWritten();
}

void PictureBox::setScaleHeight(double value)
{
    const float height = to_single(value);
    if (height == 0.0f)
        throw Fault(FaultKind::InvalidPropertyValue, "ScaleHeight");
    enterUserScale();
    m_scaleHeight = height;
    scaleWritten();
}

ScaleAxis PictureBox::axisX() const
{
    return axisX(contentsRect().size());
}

ScaleAxis PictureBox::axisY() const
{
    return axisY(contentsRect().size());
}

ScaleAxis PictureBox::axisX(QSize area) const
{
    const double twips = static_cast<double>(area.width()) * kTwipsPerPixel;
    return {ScaleLeft(), m_userScale ? m_scaleWidth : twips, std::max(1.0, twips)};
}

ScaleAxis PictureBox::axisY(QSize area) const
{
    const double twips = static_cast<double>(area.height()) * kTwipsPerPixel;
    return {ScaleTop(), m_userScale ? m_scaleHeight : twips, std::max(1.0, twips)};
}

DrawnScale PictureBox::drawnScale() const
{
    return {ScaleLeft(), ScaleTop(), ScaleWidth(), ScaleHeight()};
}

void PictureBox::setDrawWidth(int pixels)
{
    if (pixels < 1 || pixels > 32767)
        throw Fault(FaultKind::InvalidPropertyValue, "DrawWidth");
    m_drawWidth = pixels;
}

void PictureBox::ensureImage() const
{
    const qreal ratio = devicePixelRatioF();
    const QSize device_size = (QSizeF(contentsRect().size()) * ratio).toSize();
    if (m_image.size() == device_size && m_image.devicePixelRatio() == ratio)
        return;
    endPainting();
    // Drawn again rather than stretched: lines keep their widths, and the background picture
    // its own strokes.
    m_background = blank_image(device_size, ratio, m_backColor);
    replay(m_background, 0, m_record.persisted());
    m_image = m_background;
    replay(m_image, m_record.persisted(), m_record.strokes().size());
}

// Draws onto an image of the plot's area, with the pen it last set.
struct PictureBox::Canvas {
    QPainter& painter;
    PenInUse& pen;
    QSizeF area;

    void line(const DrawnScale& scale, float x1, float y1, float x2, float y2, QRgb color,
              int width);
    // True when the box is filled and covers the whole area.
    bool box(const DrawnScale& scale, float x1, float y1, float x2, float y2, QRgb color,
             int width, bool filled);
    void polygon(const DrawnScale& scale, std::span<const DrawingRecord::PolygonPoint> points,
                 QRgb color);
};

void PictureBox::replay(QImage& image, std::size_t from, std::size_t to) const
{
    if (from == to)
        return;
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing, false);
    PenInUse pen;
    Canvas canvas{painter, pen, QSizeF(contentsRect().size())};
    for (std::size_t i = from; i < to; ++i) {
        const Stroke& stroke = m_record.strokes()[i];
        if (stroke.kind == StrokeKind::Polygon) {
            canvas.polygon(stroke.scale, m_record.polygonPoints(stroke), stroke.color);
            continue;
        }
        const auto points = m_record.points(stroke);
        if (stroke.kind == StrokeKind::Polyline) {
            for (std::size_t k = 1; k < points.size(); ++k)
                canvas.line(stroke.scale, points[k - 1].first, points[k - 1].second,
                            points[k].first, points[k].second, stroke.color, stroke.width);
        } else {
            canvas.box(stroke.scale, points[0].first, points[0].second, points[1].first,
                       points[1].second, stroke.color, stroke.width,
                       stroke.kind == StrokeKind::FilledBox);
        }
    }
}

QPainter& PictureBox::painter()
{
    if (!m_painter) {
        ensureImage();
        m_painter = std::make_unique<QPainter>(&m_image);
        m_painter->setRenderHint(QPainter::Antialiasing, false);
        m_paintArea = QSizeF(contentsRect().size());
        m_pen = {};
    }
    return *m_painter;
}

void PictureBox::endPainting() const
{
    if (m_painter) {
        m_painter->end();
        m_painter.reset();
    }
}

void PictureBox::PenInUse::use(QPainter& painter, QRgb new_color, int new_width,
                               Qt::PenCapStyle new_cap)
{
    if (width == new_width && color == new_color && cap == new_cap)
        return;
    painter.setPen(QPen(QColor::fromRgb(new_color), new_width, Qt::SolidLine, new_cap,
                        new_cap == Qt::RoundCap ? Qt::RoundJoin : Qt::MiterJoin));
    color = new_color;
    width = new_width;
    cap = new_cap;
}

void PictureBox::resizeEvent(QResizeEvent* event)
{
    endPainting();  // the next drawing follows the new area
    if (!m_userScale)
        scaleWritten();  // the twips scale is the area's
    for (QObject* child : children())
        if (auto* shape = dynamic_cast<tolvenar::Shape*>(child))
            shape->followContainer();
    Control<QFrame>::resizeEvent(event);
}

void PictureBox::showLater()
{
    if (!m_repaintPending) {
        m_repaintPending = true;
        update();
    }
}

void PictureBox::Canvas::line(const DrawnScale& scale, float x1, float y1, float x2, float y2,
                              QRgb color, int width)
{
    const PixelMap map(scale, area);
    double u1 = map.u(x1);
    double v1 = map.v(y1);
    double u2 = map.u(x2);
    double v2 = map.v(y2);
    if (std::isnan(u1) || std::isnan(v1) || std::isnan(u2) || std::isnan(v2))
        return;
    const double margin = width + 2.0;
    const QRectF bounds = QRectF(QPointF(0, 0), area).adjusted(-margin, -margin, margin, margin);
    if (!clip_segment(u1, v1, u2, v2, bounds))
        return;
    pen.use(painter, color, width, width > 1 ? Qt::RoundCap : Qt::SquareCap);
    painter.drawLine(QLineF(u1, v1, u2, v2));
}

bool PictureBox::Canvas::box(const DrawnScale& scale, float x1, float y1, float x2, float y2,
                             QRgb color, int width, bool filled)
{
    const PixelMap map(scale, area);
    const double u1 = map.u(x1);
    const double v1 = map.v(y1);
    const double u2 = map.u(x2);
    const double v2 = map.v(y2);
    if (std::isnan(u1) || std::isnan(v1) || std::isnan(u2) || std::isnan(v2))
        return false;
    const double margin = width + 2.0;
    const QRectF bounds = QRectF(QPointF(0, 0), area).adjusted(-margin, -margin, margin, margin);
    // Edges beyond the margin are invisible anyway; clamping keeps the visible ones exact.
    const auto clamp_x = [&](double u) { return std::clamp(u, bounds.left(), bounds.right()); };
    const auto clamp_y = [&](double v) { return std::clamp(v, bounds.top(), bounds.bottom()); };
    const double box_left = clamp_x(std::min(u1, u2));
    const double box_right = clamp_x(std::max(u1, u2));
    const double box_top = clamp_y(std::min(v1, v2));
    const double box_bottom = clamp_y(std::max(v1, v2));
    if (!filled) {
        pen.use(painter, color, width, Qt::SquareCap);
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(QRectF(QPointF(box_left, box_top), QPointF(box_right, box_bottom)));
        return false;
    }
    // Whole pixels from the first corner's to the second's, both included.
    const QRectF pixels(QPointF(std::floor(box_left), std::floor(box_top)),
                        QPointF(std::floor(box_right) + 1.0, std::floor(box_bottom) + 1.0));
    painter.fillRect(pixels, QColor::fromRgb(color));
    return pixels.contains(QRectF(QPointF(0, 0), area));
}

void PictureBox::Canvas::polygon(const DrawnScale& scale,
                                 std::span<const DrawingRecord::PolygonPoint> points, QRgb color)
{
    const PixelMap map(scale, area);
    // Far corners are clamped well outside the area: the visible part stays, and no pixel
    // coordinate overflows the painter.
    const double reach = 4.0 * (area.width() + area.height());
    QPolygonF polygon;
    polygon.reserve(static_cast<qsizetype>(points.size()));
    for (const auto& [x, y] : points) {
        const double u = map.u(x);
        const double v = map.v(y);
        if (std::isnan(u) || std::isnan(v))
            return;
        polygon << QPointF(std::clamp(u, -reach, reach), std::clamp(v, -reach, reach));
    }
    painter.setPen(Qt::NoPen);
    pen.width = 0;  // the pen is to be set again for the next line
    painter.setBrush(QColor::fromRgba(color));
    painter.drawPolygon(polygon);
    painter.setBrush(Qt::NoBrush);
}

void PictureBox::Line(float x1, float y1, float x2, float y2, QRgb color, LineKind kind)
{
    QPainter& p = painter();
    Canvas canvas{p, m_pen, m_paintArea};
    const DrawnScale scale = drawnScale();
    if (kind == LineKind::Line) {
        m_record.line(scale, {x1, y1}, {x2, y2}, color, m_drawWidth);
        canvas.line(scale, x1, y1, x2, y2, color, m_drawWidth);
    } else {
        const bool filled = kind == LineKind::FilledBox;
        const bool covers = canvas.box(scale, x1, y1, x2, y2, color, m_drawWidth, filled);
        m_record.box(scale, {x1, y1}, {x2, y2}, color, m_drawWidth, filled, covers);
    }
    showLater();
}

void PictureBox::Polygon(const std::vector<std::pair<double, double>>& points, QRgb color)
{
    if (points.size() < 3)
        return;
    QPainter& p = painter();
    Canvas canvas{p, m_pen, m_paintArea};
    const DrawnScale scale = drawnScale();
    m_record.polygon(scale, points, color);
    canvas.polygon(scale, points, color);
    showLater();
}

void PictureBox::setBackColor(QRgb color)
{
    ensureImage();
    endPainting();
    m_record.erase();
    m_backColor = color;
    m_image.fill(color);
    m_background.fill(color);
    showLater();
}

void PictureBox::Cls()
{
    ensureImage();
    endPainting();
    m_record.clear();
    m_image = m_background;
    showLater();
}

void PictureBox::Persist()
{
    ensureImage();
    endPainting();
    m_record.persist();
    m_background = m_image;
}

void PictureBox::Refresh()
{
    repaint();
}

QImage PictureBox::Image() const
{
    ensureImage();
    endPainting();
    return m_image;
}

void PictureBox::setMousePointer(int code)
{
    const QCursor shape = pointer::cursor_of(code);
    m_mousePointer = code;
    if (code == pointer::kDefault)
        unsetCursor();
    else
        setCursor(shape);
}

void PictureBox::paintEvent(QPaintEvent*)
{
    ensureImage();
    endPainting();
    m_repaintPending = false;
    QPainter p(this);
    p.drawImage(contentsRect().topLeft(), m_image);
    drawFrame(&p);
}

void PictureBox::deliver(const MouseHandler& handler, std::int16_t button, const QMouseEvent& event)
{
    if (!handler)
        return;
    const QPointF at = event.position() - QPointF(contentsRect().topLeft());
    const ScaleAxis ax = axisX();
    const ScaleAxis ay = axisY();
    run_event([&] {
        const float x = to_single(ax.user_at(at.x() * kTwipsPerPixel));
        const float y = to_single(ay.user_at(at.y() * kTwipsPerPixel));
        handler(button, shift_code(event.modifiers()), x, y);
    });
}

void PictureBox::mousePressEvent(QMouseEvent* event)
{
    event->accept();
    deliver(onMouseDown, button_code(event->button()), *event);
}

void PictureBox::mouseMoveEvent(QMouseEvent* event)
{
    event->accept();
    deliver(onMouseMove, button_code(event->buttons()), *event);
}

void PictureBox::mouseReleaseEvent(QMouseEvent* event)
{
    event->accept();
    deliver(onMouseUp, button_code(event->button()), *event);
}

// ---- Shape ----

Shape::Shape(QWidget* container)
    : QWidget(container), m_plot(dynamic_cast<PictureBox*>(container))
{
    setAttribute(Qt::WA_TransparentForMouseEvents);  // the container receives the mouse
    setAttribute(Qt::WA_NoSystemBackground);
}

ScaleAxis Shape::axis(int field, QSize area) const
{
    if (m_plot)
        return field % 2 == 0 ? m_plot->axisX(area) : m_plot->axisY(area);
    return {};  // twips: start 0, one user unit per twip
}

ScaleAxis Shape::axis(int field) const
{
    return axis(field, m_plot ? m_plot->contentsRect().size() : QSize());
}

float Shape::userValue(int field, const ScaleAxis& a) const
{
    return static_cast<float>(field < 2 ? a.user_at(m_twips[field])
                                        : a.user_length(m_twips[field]));
}

void Shape::setTwips(int field, float user, const ScaleAxis& a)
{
    m_twips[field] = field < 2 ? a.twips_at(user) : a.twips_length(user);
}

const std::array<float, 4>& Shape::userValues() const
{
    const std::uint64_t generation = m_plot ? m_plot->scaleGeneration() : 0;
    if (m_userValid && generation == m_generation)
        return m_user;
    for (int field = 0; field < 4; ++field)
        m_user[field] = userValue(field, axis(field));
    m_generation = generation;
    m_userValid = true;
    return m_user;
}

void Shape::write(int field, double value)
{
    const float single = to_single(value);
    if (field >= 2 && single < 0.0f)
        throw Fault(FaultKind::InvalidPropertyValue, field == 2 ? "Shape.Width" : "Shape.Height");
    userValues();  // the other fields in the current scale
    setTwips(field, single, axis(field));
    m_user[field] = single;
    reposition();
}

void Shape::place(double left, double top, double width, double height)
{
    m_twips = {left, top, width, height};
    m_userValid = false;
    reposition();
}

void Shape::followContainer()
{
    if (!m_plot || m_area.isEmpty() || m_area == m_plot->contentsRect().size())
        return;
    const QSize area = m_plot->contentsRect().size();
    if (m_plot->UserScaled()) {
        const bool known = m_userValid && m_generation == m_plot->scaleGeneration();
        for (int field = 0; field < 4; ++field) {
            if (!known)
                m_user[field] = userValue(field, axis(field, m_area));
            setTwips(field, m_user[field], axis(field, area));
        }
        m_generation = m_plot->scaleGeneration();
        m_userValid = true;
    } else {
        const double across = static_cast<double>(area.width()) / m_area.width();
        const double down = static_cast<double>(area.height()) / m_area.height();
        m_twips = {m_twips[0] * across, m_twips[1] * down, m_twips[2] * across,
                   m_twips[3] * down};
        m_userValid = false;
    }
    reposition();
}

void Shape::reposition()
{
    if (m_plot)
        m_area = m_plot->contentsRect().size();
    const QPoint origin = m_plot ? m_plot->contentsRect().topLeft() : QPoint();
    const auto pixels = [](double twips, double low) {
        return static_cast<int>(std::lround(std::clamp(twips / kTwipsPerPixel, low, kFarPixels)));
    };
    const int left = pixels(m_twips[0], -kFarPixels);
    const int top = pixels(m_twips[1], -kFarPixels);
    // A zero extent still shows as a one-pixel stroke.
    const int width = std::max(1, pixels(m_twips[2], 0.0));
    const int height = std::max(1, pixels(m_twips[3], 0.0));
    setGeometry(origin.x() + left, origin.y() + top, width, height);
}

void Shape::setBorderColor(QRgb color)
{
    m_borderColor = color;
    update();
}

void Shape::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setPen(QColor::fromRgb(m_borderColor));
    p.setBrush(Qt::NoBrush);
    p.drawRect(rect().adjusted(0, 0, -1, -1));
}

// ---- LineControl ----

LineControl::LineControl(QWidget* container, int x1, int y1, int x2, int y2)
    : QWidget(container), m_start(x1, y1), m_end(x2, y2)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_NoSystemBackground);
    const QPoint a(pixels_of_twips(x1), pixels_of_twips(y1));
    const QPoint b(pixels_of_twips(x2), pixels_of_twips(y2));
    setGeometry(QRect(a, b).normalized().adjusted(0, 0, 1, 1));
}

void LineControl::setBorderColor(QRgb color)
{
    m_borderColor = color;
    update();
}

void LineControl::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setPen(QPen(QColor::fromRgb(m_borderColor), 1));
    const QPoint origin = pos();
    p.drawLine(QPoint(pixels_of_twips(m_start.x()), pixels_of_twips(m_start.y())) - origin,
               QPoint(pixels_of_twips(m_end.x()), pixels_of_twips(m_end.y())) - origin);
}

}  // namespace tolvenar
