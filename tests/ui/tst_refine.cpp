// SPDX-License-Identifier: GPL-3.0-or-later
// "Refine best fit" and "Bootstrap intervals…" on the working plot's menu: off until a search
// found a model, then the refined model in " Best fitting " as tolvenar-fit --refine prints it,
// the search's own best kept for the next "Run"; the bootstrap's dialog, its stop by Escape, and
// its intervals as tolvenar-fit --bootstrap gives them.
#include "ui/plot/intervals.h"
#include "window_fixture.h"

#include <nlohmann/json.hpp>

#include <QProcess>
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

    void intervalChoiceRefusesWhatItCannotTake()
    {
        for (const auto& [replicates, level, seed, reason] :  // reason: a word of it; "" taken
             std::initializer_list<std::array<QString, 4>>{
                 {"200", "0.9", "5489", ""}, {"20", "0.5", "0", ""},
                 {"19", "0.9", "5489", "replicates"}, {"2e2", "0.9", "5489", "replicates"},
                 {"200", "0", "5489", "level"}, {"200", "1", "5489", "level"},
                 {"200", "90", "5489", "level"}, {"200", "0.9", "4294967296", "seed"}}) {
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
    }

    void oneRecordFromTheWindowTheCommandLineAndPython_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("from");
        QTest::addColumn<QString>("to");
        QTest::addColumn<ModelFamily>("family");
        QTest::addColumn<bool>("refine_first");  // else the bootstrap refines
        QTest::addColumn<bool>("weighted");  // with a sigma column, chosen in the columns' dialog
        for (const ModelFamily family : {ModelFamily::SimpleRamp, ModelFamily::AsymmetricEvent,
                                         ModelFamily::EventWithDuration}) {
            const std::string name(family_row(family).short_name);
            QTest::addRow("plateau, %s", name.c_str())
                << "plateau_event.csv" << "0" << "1000" << family << true << false;
            QTest::addRow("asymmetric, %s", name.c_str())
                << "asymmetric_event.csv" << "300" << "900" << family << false << false;
        }
        // Uneven x: AR(1) replicates, some intervals the replicates' percentiles.
        QTest::newRow("gaps, duration") << "gauge_with_gaps.csv" << "0" << "480"
                                        << ModelFamily::EventWithDuration << true << false;
        QTest::newRow("step, ramp weighted") << "step_ramp.csv" << "50" << "250"
                                             << ModelFamily::SimpleRamp << true << true;
    }

    // Run, Refine, Bootstrap and Save give, byte for byte, what tolvenar-fit prints for the same
    // file, crop, family, counts and seed; the table's header and row too, and a picture; and
    // Python's fit() of the file's rows gives the same record.
    void oneRecordFromTheWindowTheCommandLineAndPython()
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
        const auto saved = [&](const QString& name) { return saved_as(w, dir, name); };
        std::vector<std::string> args{"--model", std::string(family_row(family).short_name),
                                      "--runs", "2", "--trials", "200", "--from",
                                      from.toStdString(), "--to", to.toStdString(),
                                      "--bootstrap", "40", example_path(file).toStdString()};
        if (weighted)
            args.insert(args.end() - 1, {"--sigma", "3"});
        const auto printed = [&](const std::string& form) {
            std::vector<std::string> with = args;
            with.insert(with.begin(), form);
            std::ostringstream out, err;
            run_fit_command(with, out, err);
            return QByteArray::fromStdString(out.str());
        };
        const QByteArray json = saved("fit.json");
        QVERIFY(json.contains("\"refined\"") && json.contains("\"bootstrap\""));
        QCOMPARE(json, printed("--json"));
        // The table's footer names the intervals the record reads off the percentiles.
        const std::string listed =
            nlohmann::json::parse(json.toStdString())["bootstrap"].value("percentile", "");
        QStringList named = QString::fromStdString(listed).split(QStringLiteral(", "), Qt::SkipEmptyParts);
        const std::string_view caption = measure_names(family_row(family).measure).caption;
        // The window shows the family's own vertices, not the copies of its last.
        named.removeIf([&](const QString& n) { return n[1].digitValue() > family_row(family).vertices; });
        for (QString& name : named)
            name = name == QStringLiteral("measure")
                       ? QString::fromUtf8(caption.data(), static_cast<qsizetype>(caption.size()))
                       : name.toUpper();
        QCOMPARE(w.frmIntervals->Note->text().section(QLatin1Char('\n'), 1),
                 named.isEmpty() ? QString()
                                 : named.join(QStringLiteral(", ")) +
                                       QStringLiteral(": the replicates' percentiles"));
#ifdef TOLVENAR_PYTHON
        // fit() on the file's rows, its record with the file's name: the same members, each
        // number the same double.
        QProcess python;
        python.setProcessEnvironment([] {
            QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
            environment.insert(QStringLiteral("PYTHONPATH"), QStringLiteral(TOLVENAR_PYTHONPATH));
            return environment;
        }());
        const QString script = QStringLiteral(
            "import json, sys, numpy as np, tolvenar\n"
            "rows = np.genfromtxt(sys.argv[1], delimiter=',', skip_header=1)\n"
            "rows = rows[~np.isnan(rows[:, :2]).any(axis=1)]\n"
            "sigma = rows[:, 2] if rows.shape[1] > 2 else None\n"
            "record = tolvenar.fit(rows[:, 0], rows[:, 1], model=sys.argv[2], runs=2, trials=200,"
            " lo=float(sys.argv[3]), hi=float(sys.argv[4]), bootstrap=40, sigma=sigma)\n"
            "print(json.dumps({**record.to_dict(), 'file': sys.argv[1]}))\n");
        python.start(QStringLiteral(TOLVENAR_PYTHON),
                     {QStringLiteral("-c"), script, example_path(file),
                      QString::fromUtf8(family_row(family).short_name), from, to});
        QVERIFY(python.waitForFinished(120000));
        nlohmann::json record = nlohmann::json::parse(json.toStdString());
        record.erase("gaps");  // the file's marker rows, which no array holds
        QCOMPARE(nlohmann::json::parse(python.readAllStandardOutput().toStdString()), record);
#endif
        QCOMPARE(saved("fit.csv"), printed("--csv"));
        QVERIFY(saved("fit.png").startsWith("\x89PNG"));
        // The picture tolvenar-fit draws of the same fit.
        const std::string drawn = dir.filePath("drawn.svg").toStdString();
        printed("--plot=" + drawn);
        QFile picture(QString::fromStdString(drawn));
        QVERIFY(picture.open(QIODevice::ReadOnly));
        QCOMPARE(saved("fit.svg"), picture.readAll());
        // A write that fails says why, and nothing else changes.
        const QStringList report = shown_report(w);
        Dialogs dialogs;
        dialogs.attach(w);
        QVERIFY(saved("no/such/folder/fit.json").isEmpty());
        QCOMPARE(dialogs.titles, QStringList{"Save"});
        QCOMPARE(shown_report(w), report);
    }

    // A record saved after any Run names the searches its best came from and where the random
    // stream stood before them: tolvenar-fit given the record's own members alone prints it
    // again, byte for byte, after a Reset, a second Run on top, or one inside the boxes.
    void aRecordReproducesItself()
    {
        frmMain w;
        prepare_search(w, "asymmetric_event.csv", "300", "900", "2", "150",
                       ModelFamily::AsymmetricEvent);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("fit.json"));
        w.platform.ShowSave = [path](const QString&, const QString&) { return path; };
        const auto saved = [&] {
            QTest::mouseClick(w.Command6, Qt::LeftButton);
            QFile written(path);
            return written.open(QIODevice::ReadOnly) ? written.readAll().toStdString()
                                                     : std::string();
        };
        // tolvenar-fit's arguments from the record's members.
        const auto reproduced = [](const std::string& line) {
            const nlohmann::json record = nlohmann::json::parse(line);
            std::vector<std::string> args{"--json", "--model", record["model"].get<std::string>(),
                                          "--from", record["from"].dump(),
                                          "--to", record["to"].dump(),
                                          "--seed", record["seed"].dump()};
            if (record.contains("draws"))
                args.insert(args.end(), {"--draws", record["draws"].dump()});
            if (record.contains("searches")) {
                std::string list;
                for (const auto& search : record["searches"])
                    list += (list.empty() ? "" : ",") + search["runs"].dump() + "x" +
                            search["trials"].dump() + (search["constrain"] ? "c" : "");
                args.insert(args.end(), {"--searches", list});
            } else {
                args.insert(args.end(), {"--runs", record["runs"].dump(), "--trials",
                                         record["trials"].dump()});
                if (record["constrain"])
                    args.emplace_back("--constrain");
            }
            args.push_back(record["file"].get<std::string>());
            std::ostringstream out, err;
            run_fit_command(args, out, err);
            return out.str();
        };
        click_and_wait(w, w.Command2);
        const std::string first = saved();
        QCOMPARE(reproduced(first), first);
        QVERIFY(first.find("\"draws\"") == std::string::npos);
        click_and_wait(w, w.Command7);  // Reset
        click_and_wait(w, w.Command2);  // the second Run, from where the stream stands
        const std::string second = saved();
        QVERIFY(second.find("\"draws\":") != std::string::npos && second != first);
        QCOMPARE(reproduced(second), second);
        type_into(w.Text3[0], QStringLiteral("100"));
        click_and_wait(w, w.Command2);  // the third, on top of the second with other counts
        const std::string third = saved();
        QVERIFY(third.find("\"searches\":") != std::string::npos);
        QCOMPARE(reproduced(third), third);
        QTest::mouseClick(w.Check1, Qt::LeftButton);  // "Constrain"
        click_and_wait(w, w.Command2);
        const std::string fourth = saved();
        QVERIFY(fourth.find("\"constrain\":true}]") != std::string::npos);
        QCOMPARE(reproduced(fourth), fourth);
    }

    // Escape stops a long bootstrap: the refined fit stays, with the intervals of the
    // replicates done, said as such.
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
        QTRY_VERIFY_WITH_TIMEOUT(w.ProgressBar1->Value() >= 2, 60000);  // replicates are done
        QTest::keyClick(w.Picture1, Qt::Key_Escape);
        w.Work->wait_until_idle();  // a million replicates unless Escape stopped them
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
