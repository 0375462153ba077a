// SPDX-License-Identifier: GPL-3.0-or-later
// "Refine best fit" and "Bootstrap intervals…" on the working plot's menu: off until a search
// found a model, then the refined model in " Best fitting " as tolvenar-fit --refine prints it,
// the search's own best kept for the next "Run"; the bootstrap's dialog, its stop by Escape, and
// its intervals as tolvenar-fit --bootstrap gives them.
#include "ui/plot/intervals.h"
#include "window_fixture.h"

#include <QElapsedTimer>
#include <QLineEdit>
#include <QMenu>

using namespace tolvenar;
using namespace tolvenar::test;

Q_DECLARE_METATYPE(tolvenar::ModelFamily)

namespace {

// The working plot's popup menu opened with the right button, as a user opens it, and closed.
bool refine_offered(frmMain& w)
{
    QTest::mouseClick(w.Picture1, Qt::RightButton, {}, w.Picture1->rect().center());
    const bool enabled = w.mnuRB1->isVisible() && w.mnuRefine1->isEnabled() &&
                         w.mnuBootstrap1->isEnabled();
    w.mnuRB1->close();
    return enabled;
}

// The lines of tolvenar-fit's text report that start with `prefix`, without it.
QStringList fit_lines(const std::vector<std::string>& args, const QString& prefix)
{
    std::ostringstream out;
    run_fit_command(args, out, out);
    QStringList lines;
    for (const QString& line : QString::fromStdString(out.str()).split(QLatin1Char('\n')))
        if (line.startsWith(prefix))
            lines << line.mid(prefix.size());
    return lines;
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

        const std::vector<std::string> args{"--model", "duration", "--runs", "2", "--trials", "200",
                                            "--from", "0", "--to", "1000", "--refine",
                                            example_path("plateau_event.csv").toStdString()};
        QStringList refined = fit_lines(args, QStringLiteral("Refined "));
        refined.removeIf([](const QString& line) { return line.contains(QLatin1String("squares")); });
        QCOMPARE(refined.size(), 13);  // X1..X6, Y1..Y6, R
        QCOMPARE(shown_report(w), refined);
        QCOMPARE(w.session.best().x, searched);
        QVERIFY(count_pixels(*w.Picture1, kRed) > 0 && count_pixels(*w.Picture1, kRed) != red_before);
    }

    void intervalChoiceRefusesWhatItCannotTake_data()
    {
        QTest::addColumn<QString>("replicates");
        QTest::addColumn<QString>("level");
        QTest::addColumn<QString>("seed");
        QTest::addColumn<QString>("reason");  // "" taken
        QTest::newRow("defaults") << "200" << "0.9" << "5489" << "";
        QTest::newRow("fewest") << "20" << "0.5" << "0" << "";
        QTest::newRow("too few") << "19" << "0.9" << "5489" << "replicates";
        QTest::newRow("no count") << "2e2" << "0.9" << "5489" << "replicates";
        QTest::newRow("level 0") << "200" << "0" << "5489" << "level";
        QTest::newRow("level 1") << "200" << "1" << "5489" << "level";
        QTest::newRow("percent") << "200" << "90" << "5489" << "level";
        QTest::newRow("seed past 32 bits") << "200" << "0.9" << "4294967296" << "seed";
    }

    void intervalChoiceRefusesWhatItCannotTake()
    {
        QFETCH(QString, replicates);
        QFETCH(QString, level);
        QFETCH(QString, seed);
        QFETCH(QString, reason);
        IntervalRequest choice;
        const QString said =
            QString::fromStdString(read_interval_choice(replicates, level, seed, choice));
        QVERIFY2(reason.isEmpty() ? said.isEmpty() : said.contains(reason), qPrintable(said));
        if (reason.isEmpty())
            QCOMPARE(choice.replicates, replicates.toInt());
        // The dialog keeps a refused entry open with its reason; Return is OK.
        BootstrapDialog dialog(IntervalRequest{}, nullptr);
        dialog.Replicates->setText(replicates);
        dialog.Level->setText(level);
        dialog.Seed->setText(seed);
        dialog.show();
        QTest::keyClick(dialog.Level, Qt::Key_Return);
        QCOMPARE(dialog.result(), reason.isEmpty() ? QDialog::Accepted : QDialog::Rejected);
        QCOMPARE(dialog.Reason->text(), reason.isEmpty() ? QString() : said);
    }

    void savesTheCommandLinesObject_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("from");
        QTest::addColumn<QString>("to");
        QTest::addColumn<ModelFamily>("family");
        QTest::addColumn<bool>("refine_first");  // else the bootstrap refines
        QTest::addColumn<bool>("weighted");  // with a sigma column, chosen in the columns' dialog
        QTest::newRow("plateau, duration") << "plateau_event.csv" << "0" << "1000"
                                           << ModelFamily::EventWithDuration << true << false;
        QTest::newRow("asymmetric") << "asymmetric_event.csv" << "300" << "900"
                                    << ModelFamily::AsymmetricEvent << false << false;
        QTest::newRow("ramp weighted") << "step_ramp.csv" << "50" << "250"
                                       << ModelFamily::SimpleRamp << true << true;
    }

    // Run, Refine, Bootstrap and Save give, byte for byte, what tolvenar-fit prints for the same
    // file, crop, family, counts and seed; the table's header and row too, and a picture.
    void savesTheCommandLinesObject()
    {
        QFETCH(QString, file);
        QFETCH(QString, from);
        QFETCH(QString, to);
        QFETCH(ModelFamily, family);
        QFETCH(bool, refine_first);
        QFETCH(bool, weighted);
        frmMain w;
        QTemporaryDir data;
        if (weighted) {  // every third point four times as sure
            QFile source(example_path(file));
            QVERIFY(source.open(QIODevice::ReadOnly));
            const QList<QByteArray> rows = source.readAll().trimmed().split('\n');
            QByteArray text = rows[0].trimmed() + ",sigma\n";
            for (qsizetype i = 1; i < rows.size(); ++i)
                text += rows[i].trimmed() + (i % 3 == 0 ? ",0.25\n" : ",1\n");
            file = write_file(data, "weighted.csv", text);
            w.AskColumns = [](const std::vector<std::string>&, ReadOptions choice) {
                choice.sigma = ColumnChoice{"", 3};
                return std::optional(choice);
            };
        }
        prepare_search(w, file, from, to, "2", "200", family);
        QVERIFY(!w.Command6->isEnabled());
        click_and_wait(w, w.Command2);
        QVERIFY(w.Command6->isEnabled());
        if (refine_first) {
            w.mnuRefine1->trigger();
            w.Work->wait_until_idle();
        }
        w.AskIntervals = [](IntervalRequest choice) {
            choice.replicates = 40;
            return std::optional(choice);
        };
        w.mnuBootstrap1->trigger();
        w.Work->wait_until_idle();

        QTemporaryDir dir;
        const auto saved = [&](const QString& name) {
            const QString path = dir.filePath(name);
            w.platform.ShowSave = [path](const QString&, const QString&) { return path; };
            QTest::mouseClick(w.Command6, Qt::LeftButton);
            QFile written(path);
            return written.open(QIODevice::ReadOnly) ? written.readAll() : QByteArray();
        };
        std::vector<std::string> args{"--model", std::string(family_row(family).short_name),
                                      "--runs", "2", "--trials", "200", "--from",
                                      from.toStdString(), "--to", to.toStdString(),
                                      "--bootstrap", "40", example_path(file).toStdString()};
        if (weighted)
            args.insert(args.end() - 1, {"--sigma", "3"});
        const auto printed = [&](const char* form) {
            std::vector<std::string> with = args;
            with.insert(with.begin(), form);
            std::ostringstream out, err;
            run_fit_command(with, out, err);
            return QByteArray::fromStdString(out.str());
        };
        const QByteArray json = saved("fit.json");
        QVERIFY(json.contains("\"refined\"") && json.contains("\"bootstrap\""));
        QCOMPARE(json, printed("--json"));
        QCOMPARE(saved("fit.csv"), printed("--csv"));
        QVERIFY(saved("fit.png").startsWith("\x89PNG"));
        QVERIFY(saved("fit.svg").contains("<svg"));
        // A write that fails says why, and nothing else changes.
        const QStringList report = shown_report(w);
        Dialogs dialogs;
        dialogs.attach(w);
        QVERIFY(saved("no/such/folder/fit.json").isEmpty());
        QCOMPARE(dialogs.titles, QStringList{"Save"});
        QCOMPARE(shown_report(w), report);
    }

    // Escape stops a long bootstrap within about a second: the refined fit stays, with the
    // intervals of the replicates done, said as such.
    void escapeStopsTheBootstrapAndKeepsTheRefinedFit()
    {
        frmMain w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        prepare_search(w, "plateau_event.csv", "0", "1000", "2", "200",
                       ModelFamily::EventWithDuration);
        click_and_wait(w, w.Command2);
        const float searched = w.session.best_sq_dist();
        w.AskIntervals = [](IntervalRequest choice) {
            choice.replicates = 1000000;
            return std::optional(choice);
        };
        w.mnuBootstrap1->trigger();
        QVERIFY(w.Busy() && !w.Command2->isEnabled() && !w.Frame1->isEnabled());
        QTRY_VERIFY(w.ProgressBar1->Value() >= 2);  // replicates are done
        QElapsedTimer stop;
        stop.start();
        QTest::keyClick(w.Picture1, Qt::Key_Escape);
        w.Work->wait_until_idle();
        QVERIFY(stop.elapsed() < 1500);
        QVERIFY(w.Results.refined && w.Results.refined->sq_dist < searched);
        QVERIFY(w.Results.intervals && w.Results.intervals->done < 1000000);
        QVERIFY(w.Command2->isEnabled() && w.Frame1->isEnabled() && !w.ProgressBar1->Visible());
        QVERIFY(w.frmIntervals != nullptr &&
                w.frmIntervals->text().count(QLatin1Char('\n')) == 1 + 12);  // X1..Y6, no R
        QVERIFY(w.Label2[2]->toolTip().startsWith(QStringLiteral("90 % interval: ")));
    }
};

QTEST_MAIN(RefineTest)
#include "tst_refine.moc"
