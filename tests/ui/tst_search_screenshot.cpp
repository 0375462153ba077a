// SPDX-License-Identifier: GPL-3.0-or-later
// The window as a user sees it after a default search with "Show constraint" ticked, for two
// families on their samples: the red best of best, the orange run bests and the green boxes over
// the data, the convergence curve, and no candidate left over. With TOLVENAR_SEARCH_SCREENSHOTS
// set to a folder the renderings are saved there as search_<family>.png (docs/ holds them).
#include "search_fixture.h"
#include "ui_fixture.h"

#include <QDir>
#include <QImage>
#include <QPixmap>
#include <QtTest>

using namespace tolvenar;
using namespace tolvenar::test;

Q_DECLARE_METATYPE(tolvenar::ModelFamily)

class SearchScreenshotTest : public QObject {
    Q_OBJECT

private slots:
    void resultOnTheWorkingPlot_data();
    void resultOnTheWorkingPlot();
};

void SearchScreenshotTest::resultOnTheWorkingPlot_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("from");
    QTest::addColumn<QString>("to");
    QTest::addColumn<ModelFamily>("family");
    QTest::addColumn<bool>("constrain");  // a second search inside the boxes of the first
    QTest::addColumn<QString>("name");
    QTest::newRow("symmetric event") << "symmetric_event.csv" << "150" << "450"
                                     << ModelFamily::SymmetricEvent << false << "symmetric_event";
    QTest::newRow("event with duration") << "plateau_event.csv" << "200" << "800"
                                         << ModelFamily::EventWithDuration << true
                                         << "event_with_duration";
}

void SearchScreenshotTest::resultOnTheWorkingPlot()
{
    QFETCH(QString, file);
    QFETCH(QString, from);
    QFETCH(QString, to);
    QFETCH(ModelFamily, family);
    QFETCH(bool, constrain);
    QFETCH(QString, name);
    frmMain w;
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    import_file(w, example_path(qPrintable(file)));
    type_crop(w, from, to);
    choose_family(w, family);
    QCOMPARE(w.Check2->Value(), 1);  // "Show constraint" as designed
    press_run(w);
    if (constrain) {
        QTest::mouseClick(w.Check1, Qt::LeftButton);
        press_run(w);
    }
    QCOMPARE(w.Label8->Caption(), constrain ? QStringLiteral("20000") : QStringLiteral("10000"));

    // The final picture is the persisted data and run bests with the best of best and the boxes
    // drawn over them: nothing of the last candidate is left.
    PictureBox& plot = *w.Picture1;
    const QImage final_picture = plot.Image();
    plot.Cls();
    w.DrawBestOfBest();
    w.DrawConstraint();
    QCOMPARE(plot.Image(), final_picture);

    const QImage shot = w.grab().toImage();
    const QRect plot_area = plot.geometry();
    QVERIFY(count_in(shot, plot_area, kBlue) > plot_area.width());
    QVERIFY(count_in(shot, plot_area, kRed) > plot_area.width());
    QVERIFY(count_in(shot, plot_area, kOrange) > 0);
    QVERIFY(count_in(shot, plot_area, kGreen) > plot_area.height());
    QVERIFY(count_in(shot, w.Picture3->geometry(), kRed) > w.Picture3->width() / 2);
    QVERIFY(w.Label5->Caption().startsWith(QStringLiteral("R = 0.9")));

    const QString folder = qEnvironmentVariable("TOLVENAR_SEARCH_SCREENSHOTS");
    if (!folder.isEmpty())
        QVERIFY(shot.save(QDir(folder).filePath(QStringLiteral("search_%1.png").arg(name)),
                          "PNG"));
}

QTEST_MAIN(SearchScreenshotTest)
#include "tst_search_screenshot.moc"
