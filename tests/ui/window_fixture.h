// SPDX-License-Identifier: GPL-3.0-or-later
// The window tests act as a user does, and read back pixels, reports and tolvenar-fit's report.
#pragma once

#include "cli/fit_command.h"
#include "core/model/family.h"
#include "core/runtime/numbers.h"
#include "support/fixtures.h"
#include "ui/app/frm_main.h"

#include <QApplication>
#include <QDir>
#include <QMouseEvent>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>
#include <cmath>
#include <sstream>

namespace tolvenar::test {

inline constexpr QRgb kRed = 0xffff0000;     // best of best, convergence trace
inline constexpr QRgb kGreen = 0xff00ff00;   // candidate and constraint boxes
inline constexpr QRgb kOrange = 0xffffaa00;  // each run's best
inline constexpr QRgb kPink = 0xffff9696;    // manual boxes

inline QString example_path(const QString& name)  // an absolute path stays as it is
{
    return QDir(QStringLiteral(TOLVENAR_SOURCE_DIR "/examples/")).filePath(name);
}

// `text` written as the file `name` in `dir`; its path ("" when it cannot be written).
inline QString write_file(const QTemporaryDir& dir, const char* name, const QByteArray& text)
{
    const QString path = dir.filePath(QLatin1String(name));
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(text) == text.size() ? path : QString();
}

// What "Save" writes when its dialog answers `name` in `dir`; empty when nothing is written.
inline QByteArray saved_as(frmMain& w, const QTemporaryDir& dir, const QString& name)
{
    const QString path = dir.filePath(name);
    w.platform.ShowSave = [path](const QString&, const QString&) { return path; };
    QTest::mouseClick(w.Command6, Qt::LeftButton);
    QFile written(path);
    return written.open(QIODevice::ReadOnly) ? written.readAll() : QByteArray();
}

// Clicks "Import data" while the file dialog answers `path` ("" is Cancel).
inline void import_file(frmMain& w, const QString& path)
{
    auto dialog = std::move(w.platform.ShowOpen);
    w.platform.ShowOpen = [path](const QString&) { return path; };
    QTest::mouseClick(w.Command1, Qt::LeftButton);
    w.platform.ShowOpen = std::move(dialog);
}

// Clicks `button` ("Run") and waits until the work it started has ended.
inline void click_and_wait(frmMain& w, QWidget* button)
{
    QTest::mouseClick(button, Qt::LeftButton);
    w.Work->wait_until_idle();
}

// Replaces the field's text by typing: select all, then the keys one by one.
inline void type_into(TextField* field, const QString& keys)
{
    QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(field, keys);
}

// The widget point whose mouse events report the user point nearest to (x, y).
inline QPoint point_at(const PictureBox& plot, double x, double y)
{
    const auto pixel = [](const ScaleAxis& axis, double user) {
        return static_cast<int>(std::lround(axis.twips_at(user) / kTwipsPerPixel));
    };
    return plot.contentsRect().topLeft() + QPoint(pixel(plot.axisX(), x), pixel(plot.axisY(), y));
}

// The user x the plot's handlers receive at the widget point nearest to x.
inline float reported_x(const PictureBox& plot, double x)
{
    const int column = point_at(plot, x, 0).x() - plot.contentsRect().left();
    return to_single(plot.axisX().user_at(column * kTwipsPerPixel));
}

// A move with no button held, sent straight to the widget (QTest moves the screen pointer).
inline void hover(QWidget* widget, QPoint at)
{
    QMouseEvent move(QEvent::MouseMove, at, widget->mapToGlobal(at), Qt::NoButton, {}, {});
    QApplication::sendEvent(widget, &move);
}

// A left-button drag from `from` to `to` by way of their middle.
inline void drag(QWidget* widget, QPoint from, QPoint to)
{
    QTest::mousePress(widget, Qt::LeftButton, {}, from);
    QTest::mouseMove(widget, (from + to) / 2);
    QTest::mouseMove(widget, to);
    QTest::mouseRelease(widget, Qt::LeftButton, {}, to);
}

// The colour of the plot's pixel at the user point (x, y).
inline QRgb pixel_at(const PictureBox& plot, double x, double y)
{
    return plot.Image().pixel(point_at(plot, x, y) - plot.contentsRect().topLeft()) | 0xff000000u;
}

// Whether a pixel within `reach` of the user point (x, y) has the colour: a line through a point
// may pass a pixel or two off the point's own.
inline bool color_near(const PictureBox& plot, double x, double y, QRgb color, int reach = 1)
{
    const QImage image = plot.Image();
    const QPoint at = point_at(plot, x, y) - plot.contentsRect().topLeft();
    for (int dx = -reach; dx <= reach; ++dx)
        for (int dy = -reach; dy <= reach; ++dy)
            if (image.valid(at + QPoint(dx, dy)) &&
                (image.pixel(at + QPoint(dx, dy)) | 0xff000000u) == color)
                return true;
    return false;
}

inline int count_pixels(const PictureBox& plot, QRgb color)
{
    const QImage image = plot.Image().convertToFormat(QImage::Format_RGB32);
    const auto* pixels = reinterpret_cast<const QRgb*>(image.constBits());
    return static_cast<int>(std::count(pixels, pixels + image.width() * image.height(), color));
}

// The titles and texts of the message boxes a window showed, each answered `answer` (OK where
// it is the only button); whether both progress bars and the hourglass showed meanwhile; beeps.
struct Dialogs {
    QStringList titles;
    QStringList prompts;
    QList<bool> busy;
    int answer = kMsgBoxYes;
    int beeps = 0;
    void attach(frmMain& w)
    {
        w.platform.MsgBox = [this, &w](const QString& prompt, MsgBoxButtons b,
                                       const QString& title) {
            titles << title;
            prompts << prompt;
            busy << (w.ProgressBar1->Visible() && w.ProgressBar2->Visible()
                     && screen_mouse_pointer() == pointer::kHourglass);
            return b == MsgBoxButtons::OkOnly ? kMsgBoxOk : answer;
        };
        w.platform.Beep = [this] { ++beeps; };
    }
};

// A sample imported, cropped by typing its bounds (the right one first, so that no prefix of the
// left one passes it), the counts typed and the family clicked.
inline void prepare_search(frmMain& w, const QString& file, const QString& from,
                           const QString& to, const QString& runs, const QString& trials,
                           ModelFamily family)
{
    import_file(w, example_path(file));
    for (const auto& [field, text] : {std::pair{w.Text5, to}, {w.Text4, from}, {w.Text6, runs},
                                      {w.Text3[0], trials}})
        type_into(field, text);
    QTest::mouseClick(w.Option1[static_cast<int>(family)], Qt::LeftButton);
}

// The enabled result labels in reading order: X1, Y1, ..., R, then the measure.
inline QStringList shown_report(const frmMain& w)
{
    QStringList lines;
    for (const Label* label : {w.Label2[1], w.Label3[1], w.Label2[2], w.Label3[2], w.Label2[3],
                               w.Label3[3], w.Label2[4], w.Label3[4], w.Label2[5], w.Label3[5],
                               w.Label2[6], w.Label3[6], w.Label5, w.Label6})
        if (label->Enabled())
            lines << label->Caption();
    return lines;
}

// What tolvenar-fit prints for the file and the window's typed bounds, counts and family; a
// refusal as its one line, without the program's name.
inline QStringList fit_report_for(const frmMain& w, const QString& file, ModelFamily family,
                                  bool constrain)
{
    std::vector<std::string> args{"--model", std::string(family_caption(family))};
    for (const auto& [option, field] : {std::pair{"--runs", w.Text6}, {"--trials", w.Text3[0]},
                                        {"--from", w.Text4}, {"--to", w.Text5}})
        args.insert(args.end(), {option, field->Text().toStdString()});
    if (constrain)
        args.emplace_back("--constrain");
    args.push_back(example_path(file).toStdString());
    std::ostringstream out;
    run_fit_command(args, out, out);
    return QString::fromStdString(out.str())
        .remove(QStringLiteral("tolvenar-fit: "))
        .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

}  // namespace tolvenar::test
