// SPDX-License-Identifier: GPL-3.0-or-later
// What the window tests do as a user does: import a file through the dialog seam, type into a
// field, drag on a plot in its user units, answer the message box, run a search; and what they
// read back: pixels of a colour, the report shown, the report of tolvenar-fit.
#pragma once

#include "cli/fit_command.h"
#include "core/model/family.h"
#include "core/runtime/numbers.h"
#include "support/fixtures.h"
#include "ui/app/frm_main.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QMouseEvent>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>
#include <sstream>
#include <string>
#include <vector>

namespace tolvenar::test {

inline constexpr QRgb kRed = 0xffff0000;     // best of best, crop window, convergence trace
inline constexpr QRgb kGreen = 0xff00ff00;   // candidate and constraint boxes
inline constexpr QRgb kOrange = 0xffffaa00;  // each run's best
inline constexpr QRgb kPink = 0xffff9696;    // manual boxes

inline QString example_path(const QString& name)
{
    return QStringLiteral(TOLVENAR_SOURCE_DIR "/examples/") + name;
}

inline QString write_data_file(const QTemporaryDir& dir, const QString& name, const QByteArray& text)
{
    const QString path = QDir(dir.path()).filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size())
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

// Clicks "Import data" while the file dialog answers `path` ("" is Cancel).
inline void import_file(frmMain& w, const QString& path)
{
    auto dialog = std::move(w.platform.ShowOpen);
    w.platform.ShowOpen = [path](const QString&) { return path; };
    QTest::mouseClick(w.Command1, Qt::LeftButton);
    w.platform.ShowOpen = std::move(dialog);
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

// The user x the plot reports at widget column `column`, as its handlers receive it.
inline float user_x_at(const PictureBox& plot, int column)
{
    return to_single(plot.axisX().user_at((column - plot.contentsRect().left()) * kTwipsPerPixel));
}

// A move with no button held, sent straight to the widget (QTest moves the screen pointer).
inline void hover(QWidget* widget, QPoint at)
{
    QMouseEvent move(QEvent::MouseMove, at, widget->mapToGlobal(at), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
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

inline int count_pixels(const PictureBox& plot, QRgb color)
{
    const QImage image = plot.Image();
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            count += (image.pixel(x, y) | 0xff000000u) == color ? 1 : 0;
    return count;
}

// The message boxes a window showed, answered with `answer`, and its beeps.
struct Dialogs {
    QStringList prompts;
    QStringList titles;
    int answer = kMsgBoxYes;
    int beeps = 0;

    void attach(frmMain& w)
    {
        w.platform.MsgBox = [this](const QString& prompt, MsgBoxButtons buttons, const QString& title) {
            prompts << prompt;
            titles << title;
            return buttons == MsgBoxButtons::OkOnly ? kMsgBoxOk : answer;
        };
        w.platform.Beep = [this] { ++beeps; };
    }
};

// A sample imported, cropped by typing its bounds, the counts typed and the family clicked.
inline void prepare_search(frmMain& w, const QString& file, const QString& from, const QString& to,
                           const QString& runs, const QString& trials, ModelFamily family)
{
    import_file(w, file);
    type_into(w.Text5, to);  // the right bound first: no prefix of the left one reaches it
    type_into(w.Text4, from);
    type_into(w.Text6, runs);
    type_into(w.Text3[0], trials);
    QTest::mouseClick(w.Option1[static_cast<int>(family)], Qt::LeftButton);
}

// The enabled result labels in reading order: X1, Y1, ..., R, then the measure.
inline QStringList shown_report(const frmMain& w)
{
    QStringList lines;
    for (int i = 1; i <= 6; ++i)
        for (const Label* label : {w.Label2[i], w.Label3[i]})
            if (label->Enabled())
                lines << label->Caption();
    for (const Label* label : {w.Label5, w.Label6})
        if (label->Enabled())
            lines << label->Caption();
    return lines;
}

// What tolvenar-fit prints for the window's file, typed bounds, counts and family.
inline QStringList fit_report_for(const frmMain& w, const QString& file, ModelFamily family,
                                  bool constrain)
{
    std::vector<std::string> args{"--model", std::string(family_caption(family)),
                                  "--runs", w.Text6->Text().toStdString(),
                                  "--trials", w.Text3[0]->Text().toStdString(),
                                  "--from", w.Text4->Text().toStdString(),
                                  "--to", w.Text5->Text().toStdString()};
    if (constrain)
        args.emplace_back("--constrain");
    args.push_back(file.toStdString());
    std::ostringstream out, err;
    if (run_fit_command(args, out, err) != kExitSuccess)
        return {QString::fromStdString("refused: " + err.str())};
    return QString::fromStdString(out.str()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

}  // namespace tolvenar::test
