// SPDX-License-Identifier: GPL-3.0-or-later
// "Refine best fit" on the working plot's menu: off until a search found a model, then the
// refined model in " Best fitting " as tolvenar-fit --refine prints it, the search's own best
// kept for the next "Run".
#include "window_fixture.h"

#include <QMenu>

using namespace tolvenar;
using namespace tolvenar::test;

namespace {

// The working plot's popup menu opened with the right button, as a user opens it, and closed.
bool refine_offered(frmMain& w)
{
    QTest::mouseClick(w.Picture1, Qt::RightButton, {}, w.Picture1->rect().center());
    const bool enabled = w.mnuRB1->isVisible() && w.mnuRefine1->isEnabled();
    w.mnuRB1->close();
    return enabled;
}

}  // namespace

class RefineTest : public QObject {
    Q_OBJECT

private slots:
    void refinesTheBestOfBestAsTheCommandLine()
    {
        frmMain w;
        prepare_search(w, "plateau_event.csv", "0", "1000", "2", "200",
                       ModelFamily::EventWithDuration);
        QVERIFY(!refine_offered(w));
        click_and_wait(w, w.Command2);
        QVERIFY(refine_offered(w));
        const Vertices searched = w.session.best().x;
        const int red_before = count_pixels(*w.Picture1, kRed);
        w.mnuRefine1->trigger();
        w.Work->wait_until_idle();

        std::ostringstream out;
        const std::vector<std::string> args{"--model", "duration", "--runs", "2", "--trials", "200",
                                            "--from", "0", "--to", "1000", "--refine",
                                            example_path("plateau_event.csv").toStdString()};
        run_fit_command(args, out, out);
        QStringList refined;
        for (const QString& line : QString::fromStdString(out.str()).split(QLatin1Char('\n')))
            if (line.startsWith(QStringLiteral("Refined ")) && !line.contains(QStringLiteral("squares")))
                refined << line.mid(8);
        QCOMPARE(refined.size(), 13);  // X1..X6, Y1..Y6, R
        QCOMPARE(shown_report(w), refined);
        QCOMPARE(w.session.best().x, searched);
        QVERIFY(count_pixels(*w.Picture1, kRed) > 0 && count_pixels(*w.Picture1, kRed) != red_before);
    }
};

QTEST_MAIN(RefineTest)
#include "tst_refine.moc"
