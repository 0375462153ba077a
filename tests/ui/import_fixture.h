// SPDX-License-Identifier: GPL-3.0-or-later
// Helpers of the window tests that work through the user's own roads: data files imported with
// "Import data" through the dialog seam, and mouse positions on a plot computed from user units.
#pragma once

#include "core/runtime/numbers.h"
#include "ui/app/frm_main.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QMouseEvent>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>
#include <string_view>

namespace tolvenar::test {

// A shipped sample data file, e.g. example_path("step_ramp.csv").
inline QString example_path(const char* name)
{
    return QStringLiteral(TOLVENAR_SOURCE_DIR "/examples/") + QLatin1String(name);
}

// Writes `text` byte for byte into `name` inside `dir` and returns the file's full path.
inline QString write_data_file(const QTemporaryDir& dir, const QString& name, std::string_view text)
{
    const QString path = QDir(dir.path()).filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)
        || file.write(text.data(), static_cast<qint64>(text.size()))
               != static_cast<qint64>(text.size()))
        qFatal("cannot write the test data file %s", qPrintable(path));
    return path;
}

// Clicks "Import data" while the file dialog answers `path` ("" answers Cancel). The dialog seam
// is restored afterwards and the filter the dialog was shown with is returned.
inline QString import_file(frmMain& window, const QString& path)
{
    QString filter;
    auto dialog = std::move(window.platform.ShowOpen);
    window.platform.ShowOpen = [&filter, path](const QString& shown) {
        filter = shown;
        return path;
    };
    // The button may still be disabled in a test that drives a half-built window; its handler is
    // what a click runs.
    if (window.Command1->isEnabled())
        QTest::mouseClick(window.Command1, Qt::LeftButton);
    else
        window.Command1_Click();
    window.platform.ShowOpen = std::move(dialog);
    return filter;
}

// Writes `csv` to `name` in `dir` and imports it.
inline QString import_text(frmMain& window, const QTemporaryDir& dir, std::string_view csv,
                           const QString& name = QStringLiteral("series.csv"))
{
    const QString path = write_data_file(dir, name, csv);
    import_file(window, path);
    return path;
}

// The user x that the plot's mouse events report at widget pixel column `column` (the frame
// border included), in single precision as the handlers receive it.
inline float user_x_at(const PictureBox& plot, int column)
{
    const double at = column - plot.contentsRect().left();
    return to_single(plot.axisX().user_at(at * kTwipsPerPixel));
}

inline float user_y_at(const PictureBox& plot, int row)
{
    const double at = row - plot.contentsRect().top();
    return to_single(plot.axisY().user_at(at * kTwipsPerPixel));
}

// The widget pixel column whose reported x lies nearest to `x` (the frame border included).
inline int column_at(const PictureBox& plot, double x)
{
    const ScaleAxis axis = plot.axisX();
    return plot.contentsRect().left()
           + static_cast<int>(std::lround(axis.twips_at(x) / kTwipsPerPixel));
}

inline int row_at(const PictureBox& plot, double y)
{
    const ScaleAxis axis = plot.axisY();
    return plot.contentsRect().top()
           + static_cast<int>(std::lround(axis.twips_at(y) / kTwipsPerPixel));
}

// The widget position nearest to the user point (x, y).
inline QPoint point_at(const PictureBox& plot, double x, double y)
{
    return {column_at(plot, x), row_at(plot, y)};
}

// A mouse move with no button held, straight to the widget (QTest moves the screen pointer
// instead, which reaches the widget only on a shown window).
inline void hover(QWidget* widget, QPoint at)
{
    QMouseEvent move(QEvent::MouseMove, at, widget->mapToGlobal(at), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QApplication::sendEvent(widget, &move);
}

}  // namespace tolvenar::test
