// SPDX-License-Identifier: GPL-3.0-or-later
// tolvenar-screenshots EXAMPLES DOCS: the pictures of docs/ beyond the start-up window, made by
// driving the window with mouse and key events as a user does: a crop window dragged over the
// event of a sample, the results of two searches, a bootstrap's band and bars with its table,
// the window maximised, the events a scan found with one of them shown, and the lags of three
// proxies. Built beside the window, not installed.
#include "core/model/family.h"
#include "ui/app/frm_main.h"
#include "ui/plot/intervals.h"

#include <QApplication>
#include <QDir>
#include <QImage>
#include <QPainter>
#include <QPixmap>
#include <QTableWidget>
#include <QTest>

#include <algorithm>
#include <cmath>
#include <cstdio>

using namespace tolvenar;

namespace {

QPoint strip_point(const PictureBox& strip, double x)
{
    constexpr int kRow = 30;  // the drag's y plays no part
    const double twips = strip.axisX().twips_at(x);
    return {strip.contentsRect().left() + static_cast<int>(std::lround(twips / kTwipsPerPixel)),
            kRow};
}

void import_file(frmMain& w, const QString& path)
{
    auto dialog = std::move(w.platform.ShowOpen);
    w.platform.ShowOpen = [path](const QString&) { return path; };
    QTest::mouseClick(w.Command1, Qt::LeftButton);
    w.platform.ShowOpen = std::move(dialog);
}

void type_into(TextField* field, const QString& keys)
{
    QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(field, keys);
}

bool save(const QImage& image, const QString& file)
{
    if (image.save(file, "PNG"))
        return true;
    std::fprintf(stderr, "tolvenar-screenshots: cannot write %s\n", qPrintable(file));
    return false;
}

bool save(frmMain& w, const QString& file)
{
    return save(w.grab().toImage(), file);
}

// The right edge of the crop window out to 600 min, then the whole window to 300..900.
bool crop_window(const QDir& examples, const QDir& docs)
{
    frmMain w;
    w.show();
    if (!QTest::qWaitForWindowExposed(&w))
        return false;
    import_file(w, examples.filePath(QStringLiteral("asymmetric_event.csv")));
    PictureBox& strip = *w.Picture2;
    const QPoint right_edge = strip_point(strip, w.Shape1->Left() + w.Shape1->Width());
    QTest::mousePress(&strip, Qt::LeftButton, {}, right_edge);
    QTest::mouseMove(&strip, strip_point(strip, 600));
    QTest::mouseRelease(&strip, Qt::LeftButton, {}, strip_point(strip, 600));
    QTest::mousePress(&strip, Qt::LeftButton, {}, strip_point(strip, 300));
    QTest::mouseMove(&strip, strip_point(strip, 450));
    QTest::mouseMove(&strip, strip_point(strip, 600));
    QTest::mouseRelease(&strip, Qt::LeftButton, {}, strip_point(strip, 600));
    return save(w, docs.filePath(QStringLiteral("crop_window.png")));
}

// A default search (10 x 1000) with "Show constraint" ticked; `constrain` runs a second one
// inside the boxes of the first.
bool search(const QDir& examples, const QDir& docs, const char* file, const char* from,
            const char* to, ModelFamily family, bool constrain, const char* name)
{
    frmMain w;
    w.show();
    if (!QTest::qWaitForWindowExposed(&w))
        return false;
    import_file(w, examples.filePath(QLatin1String(file)));
    type_into(w.Text5, QLatin1String(to));
    type_into(w.Text4, QLatin1String(from));
    QTest::mouseClick(w.Option1[static_cast<int>(family)], Qt::LeftButton);
    QTest::mouseClick(w.Command2, Qt::LeftButton);
    w.Work->wait_until_idle();
    if (constrain) {
        QTest::mouseClick(w.Check1, Qt::LeftButton);
        QTest::mouseClick(w.Command2, Qt::LeftButton);
        w.Work->wait_until_idle();
    }
    return save(w, docs.filePath(QStringLiteral("search_%1.png").arg(QLatin1String(name))));
}

// A default search of the family, its run bests and boxes cleared away, then "Bootstrap
// intervals…" with its defaults: the band and the bars over the data.
void search_and_bootstrap(frmMain& w, ModelFamily family)
{
    QTest::mouseClick(w.Option1[static_cast<int>(family)], Qt::LeftButton);
    QTest::mouseClick(w.Command2, Qt::LeftButton);
    w.Work->wait_until_idle();
    QTest::mouseClick(w.Check2, Qt::LeftButton);   // "Show constraint" off
    QTest::mouseClick(w.Command5, Qt::LeftButton);  // "Clean up diagram"
    w.AskIntervals = [](const IntervalRequest& choice) { return std::optional(choice); };
    w.mnuBootstrap1->trigger();
    w.Work->wait_until_idle();
}

}  // namespace

// A default search of an event with duration over all of a noisy plateau, its run bests and boxes
// cleared away, then "Bootstrap intervals…" with its defaults: the band and the bars on the
// working plot, and the "Intervals" table beside the window.
bool intervals(const QDir& examples, const QDir& docs)
{
    frmMain w;
    w.show();
    if (!QTest::qWaitForWindowExposed(&w))
        return false;
    import_file(w, examples.filePath(QStringLiteral("noisy_plateau.csv")));
    type_into(w.Text5, QStringLiteral("397.5"));
    type_into(w.Text4, QStringLiteral("0"));
    search_and_bootstrap(w, ModelFamily::EventWithDuration);
    return w.frmIntervals != nullptr && save(w, docs.filePath(QStringLiteral("intervals.png"))) &&
           w.frmIntervals->grab().toImage().save(docs.filePath(QStringLiteral("intervals_table.png")));
}

// The window maximised on a desktop of 1920 x 1080: a flood wave in a gauge record with its
// recording gaps, searched with "Symmetric event" and refined, the bootstrap's band and bars
// over the data.
bool maximised(const QDir& examples, const QDir& docs)
{
    frmMain w;
    w.resize(1920, 1080);
    w.show();
    if (!QTest::qWaitForWindowExposed(&w))
        return false;
    import_file(w, examples.filePath(QStringLiteral("gauge_with_gaps.csv")));
    type_into(w.Text5, QStringLiteral("330"));
    type_into(w.Text4, QStringLiteral("60"));
    search_and_bootstrap(w, ModelFamily::SymmetricEvent);
    if (w.frmIntervals)
        w.frmIntervals->hide();
    return save(w, docs.filePath(QStringLiteral("window_maximised.png")));
}

// The window and a table window below it, as one picture.
bool save_with_table(frmMain& w, QWidget& table, const QString& file)
{
    const QImage window = w.grab().toImage();
    const QImage list = table.grab().toImage();
    QImage both(std::max(window.width(), list.width()), window.height() + list.height(),
                QImage::Format_RGB32);
    both.fill(Qt::white);
    QPainter painter(&both);
    painter.drawImage(0, 0, window);
    painter.drawImage(0, window.height(), list);
    painter.end();
    return save(both, file);
}

// "Find events…" on 50,000 years of ten-year means with a dozen ramps in red noise: the events
// marked on the strip, the fifth one double-clicked in the "Events" table, its crop and refined
// fit on display.
bool events(const QDir& examples, const QString& file)
{
    frmMain w;
    w.show();
    if (!QTest::qWaitForWindowExposed(&w))
        return false;
    import_file(w, examples.filePath(QStringLiteral("ramps_in_red_noise.csv")));
    w.mnuFindEvents2->trigger();
    w.Work->wait_until_idle();
    if (w.frmEvents == nullptr || w.frmEvents->Table->rowCount() < 5)
        return false;
    w.ShowEvent(4);
    return save_with_table(w, *w.frmEvents, file);
}

// Three proxies around one warming, Ca and Na fitted with d18O on the crop 150..280 and
// bootstrapped together: each series scaled in its colour with its fit and intervals, and the
// "Lags" table below the window.
bool lags(const QDir& examples, const QString& file)
{
    frmMain w;
    w.show();
    if (!QTest::qWaitForWindowExposed(&w))
        return false;
    w.AskColumns = [](const std::vector<std::string>&, ColumnsChoice choice) {
        choice.more_y = {3, 4};
        choice.lag_to = 4;
        return std::optional(choice);
    };
    import_file(w, examples.filePath(QStringLiteral("proxies_one_event.csv")));
    type_into(w.Text5, QStringLiteral("280"));
    type_into(w.Text4, QStringLiteral("150"));
    QTest::mouseClick(w.Command2, Qt::LeftButton);
    w.Work->wait_until_idle();
    w.AskIntervals = [](const IntervalRequest& choice) { return std::optional(choice); };
    w.mnuBootstrap1->trigger();
    w.Work->wait_until_idle();
    return w.frmLags != nullptr && save_with_table(w, *w.frmLags, file);
}

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    // The pictures are drawn at 96 dots per inch whatever the screen says.
    QApplication::setAttribute(Qt::AA_Use96Dpi, true);
    if (argc != 3) {
        std::fprintf(stderr, "usage: tolvenar-screenshots EXAMPLES DOCS\n");
        return 2;
    }
    const QDir examples(QString::fromLocal8Bit(argv[1]));
    const QDir docs(QString::fromLocal8Bit(argv[2]));
    const bool made =
        crop_window(examples, docs)
        && search(examples, docs, "symmetric_event.csv", "150", "450",
                  ModelFamily::SymmetricEvent, false, "symmetric_event")
        && search(examples, docs, "plateau_event.csv", "200", "800",
                  ModelFamily::EventWithDuration, true, "event_with_duration")
        && intervals(examples, docs) && maximised(examples, docs)
        && events(examples, docs.filePath(QStringLiteral("window_events.png")))
        && lags(examples, docs.filePath(QStringLiteral("window_lags.png")));
    return made ? 0 : 1;
}
