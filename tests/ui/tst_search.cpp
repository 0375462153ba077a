// SPDX-License-Identifier: GPL-3.0-or-later
// "Run" driven as a user drives it: a sample imported through the dialog, the crop typed, a
// family clicked, the counts typed and "Run" pressed. The report equals tolvenar-fit's for the
// same file, crop, family and counts; the controls, the trial count, the pictures, the
// cleanup path on a fault or a No to the time estimate, and the count fields.
#include "core/runtime/numbers.h"
#include "search_fixture.h"
#include "ui_fixture.h"

#include <QtTest>

#include <memory>
#include <string>

using namespace tolvenar;
using namespace tolvenar::test;

Q_DECLARE_METATYPE(tolvenar::ModelFamily)

namespace {

constexpr QRgb kPaleGreen = 0xff96ff96;

// A clock that stands still at 0 for the search's start and reads `later` seconds afterwards.
std::function<double()> clock_jumping_to(double later)
{
    auto calls = std::make_shared<int>(0);
    return [calls, later] { return (*calls)++ == 0 ? 0.0 : later; };
}

struct Question {
    QString prompt;
    QString title;
    MsgBoxButtons buttons = MsgBoxButtons::OkOnly;
};

}  // namespace

class SearchTest : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void eachFamilyReportsAsTheCommandLine_data();
    void eachFamilyReportsAsTheCommandLine();
    void constrainedSearchAsTheCommandLine();
    void tiedCandidatesKeepTheFirst();
    void trialCountAndConvergencePlotAcrossSearches();
    void finalPictureHoldsTheResultsNotTheCandidate();
    void noRunsStillEndsTheSearch();
    void cropWithoutPointsEndsThroughTheCleanupPath();
    void reportFaultKeepsTheStepsWritten();
    void heavyTaskQuestion_data();
    void heavyTaskQuestion();
    void questionOnlyAboveTwoMinutes_data();
    void questionOnlyAboveTwoMinutes();
    void editingTheRunCountForgetsTheBestOfBest();
    void editingTheTrialCountChangesNothing();

private:
    frmMain& importSymmetricEvent();  // cropped to 150..450, R = 2, N = 60
    void expectCompletedSearch(int trials);
    void expectCleanupPath();

    std::unique_ptr<frmMain> m_window;
    std::unique_ptr<QTemporaryDir> m_dir;
    std::vector<Question> m_questions;
    int m_beeps = 0;
};

void SearchTest::init()
{
    m_window = std::make_unique<frmMain>();
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_questions.clear();
    m_beeps = 0;
    m_window->platform.MsgBox = [this](const QString& prompt, MsgBoxButtons buttons,
                                       const QString& title) {
        m_questions.push_back({prompt, title, buttons});
        return kMsgBoxYes;
    };
    m_window->platform.Beep = [this] { ++m_beeps; };
}

void SearchTest::cleanup()
{
    m_window.reset();
    m_dir.reset();
}

frmMain& SearchTest::importSymmetricEvent()
{
    frmMain& w = *m_window;
    import_file(w, example_path("symmetric_event.csv"));
    type_crop(w, QStringLiteral("150"), QStringLiteral("450"));
    type_counts(w, QStringLiteral("2"), QStringLiteral("60"));
    return w;
}

void SearchTest::expectCompletedSearch(int trials)
{
    const frmMain& w = *m_window;
    QCOMPARE(w.Label8->Caption(), QString::number(trials));
    QCOMPARE(w.state.TrialCount, trials);
    QVERIFY(w.Label7->Enabled() && w.Label8->Enabled());
    for (QWidget* control :
         std::initializer_list<QWidget*>{w.Frame6, w.Command5, w.Command7, w.Check2})
        QVERIFY2(control->isEnabled(), qPrintable(control->objectName()));
    // Each run enables "Constrain" and the report's frame (a search of no trials made no run).
    QCOMPARE(w.Check1->isEnabled(), trials > 0);
    QCOMPARE(w.Frame5->isEnabled(), trials > 0);
    QVERIFY(!w.ProgressBar1->Visible() && !w.ProgressBar2->Visible());
    QCOMPARE(w.ProgressBar2->Value(), 0.0f);
    QCOMPARE(screen_mouse_pointer(), 0);
    QVERIFY(w.state.BestOfBestShown);
}

// The state the cleanup path leaves: bars gone, pointer back, the display frame still off and
// the working plot back to the bare data.
void SearchTest::expectCleanupPath()
{
    const frmMain& w = *m_window;
    QVERIFY(!w.ProgressBar1->Visible() && !w.ProgressBar2->Visible());
    QCOMPARE(w.ProgressBar1->Value(), 0.0f);
    QCOMPARE(w.ProgressBar2->Value(), 0.0f);
    QCOMPARE(screen_mouse_pointer(), 0);
    QCOMPARE(w.Label5->Caption(), QString::fromStdString(number_text(w.state.BestOfBestR)));
    QCOMPARE(w.Label8->Caption(), QString::number(w.state.TrialCount));
    QVERIFY(!w.Frame6->Enabled() && !w.Command5->Enabled() && !w.Check2->Enabled());
    for (const QRgb colour : {kGreen, kOrange, kRed})
        QCOMPARE(count_pixels(*w.Picture1, colour), 0);
}

void SearchTest::eachFamilyReportsAsTheCommandLine_data()
{
    QTest::addColumn<ModelFamily>("family");
    QTest::addColumn<int>("points");      // break points shown
    QTest::addColumn<QString>("measure");  // the start of Label6 when it is enabled, else ""
    QTest::newRow("ramp") << ModelFamily::SimpleRamp << 4 << "Duration of change = ";
    QTest::newRow("symmetric") << ModelFamily::SymmetricEvent << 5 << "";
    QTest::newRow("asymmetric") << ModelFamily::AsymmetricEvent << 5 << "Symmetry index = ";
    QTest::newRow("free4") << ModelFamily::Free4Segments << 5 << "";
    QTest::newRow("free3") << ModelFamily::Free3Segments << 4 << "";
    QTest::newRow("duration") << ModelFamily::EventWithDuration << 6 << "";
}

void SearchTest::eachFamilyReportsAsTheCommandLine()
{
    QFETCH(ModelFamily, family);
    QFETCH(int, points);
    QFETCH(QString, measure);
    frmMain& w = importSymmetricEvent();
    choose_family(w, family);
    press_run(w);

    expectCompletedSearch(120);
    const QStringList report = shown_report(w);
    QCOMPARE(report, fit_report_for(w, example_path("symmetric_event.csv"), family));
    QCOMPARE(report.size(), 2 * points + 1 + (measure.isEmpty() ? 0 : 1));
    QCOMPARE(report.front(), QStringLiteral("X1 = 150"));  // vertex 1 on the plot's left edge
    QCOMPARE(report[2 * points - 2], QStringLiteral("X%1 = 450").arg(points));
    QVERIFY(w.Label5->Caption().startsWith(QStringLiteral("R = 0.")));
    if (measure.isEmpty()) {
        QVERIFY(!w.Label6->Enabled());
        QCOMPARE(w.Label6->Caption(), QStringLiteral("Symmetry index = "));
    } else {
        QVERIFY(w.Label6->Caption().startsWith(measure));
    }
    for (int i = points + 1; i <= 6; ++i) {
        QVERIFY(!w.Label2[i]->Enabled() && !w.Label3[i]->Enabled());
        QCOMPARE(w.Label2[i]->Caption(), QStringLiteral("X%1 =").arg(i));
        QCOMPARE(w.Label3[i]->Caption(), QStringLiteral("Y%1 =").arg(i));
    }
}

void SearchTest::constrainedSearchAsTheCommandLine()
{
    frmMain& w = importSymmetricEvent();
    choose_family(w, ModelFamily::AsymmetricEvent);
    press_run(w);
    const ProgramState before = w.state;

    QTest::mouseClick(w.Check1, Qt::LeftButton);
    QCOMPARE(w.Check1->Value(), 1);
    press_run(w);

    expectCompletedSearch(240);
    QCOMPARE(shown_report(w), fit_report_for(w, example_path("symmetric_event.csv"),
                                             ModelFamily::AsymmetricEvent, true));
    // Constrained runs draw inside the boxes and leave them as they were.
    QCOMPARE(w.state.ConXMin, before.ConXMin);
    QCOMPARE(w.state.ConXMax, before.ConXMax);
    QCOMPARE(w.state.ConYMin, before.ConYMin);
    QCOMPARE(w.state.ConYMax, before.ConYMax);
    QVERIFY(w.state.BestOfBestSqDist <= before.BestOfBestSqDist);
    QCOMPARE(w.Check1->Value(), 1);
}

// On a crop where every candidate fits equally well (flat data, so every free candidate is flat
// at the same level), the first candidate of the first run stays the best of best.
void SearchTest::tiedCandidatesKeepTheFirst()
{
    std::string csv = "x,y\n";
    for (int x = 0; x <= 100; ++x)
        csv += std::to_string(x) + ",5\n";
    for (int x = 101; x <= 110; ++x)
        csv += std::to_string(x) + "," + std::to_string(x - 95) + "\n";
    const QString file = write_data_file(*m_dir, QStringLiteral("flat.csv"), csv);

    const auto search = [&](frmMain& w, const QString& runs, const QString& trials) {
        import_file(w, file);
        type_crop(w, QStringLiteral("10"), QStringLiteral("50"));
        type_counts(w, runs, trials);
        choose_family(w, ModelFamily::SymmetricEvent);
        press_run(w);
        QCOMPARE(w.state.CropMinY, 5.0f);
        QCOMPARE(w.state.CropMaxY, 5.0f);
    };
    frmMain& first = *m_window;
    search(first, QStringLiteral("1"), QStringLiteral("1"));
    frmMain later;
    search(later, QStringLiteral("3"), QStringLiteral("10"));

    QCOMPARE(later.state.BestOfBestSqDist, 0.0f);
    QCOMPARE(later.state.BestOfBestX, first.state.BestOfBestX);
    QCOMPARE(shown_report(later), shown_report(first));
    QCOMPARE(later.Label5->Caption(), QStringLiteral("R = 0"));  // constant data correlate 0
    QCOMPARE(shown_report(later), fit_report_for(later, file, ModelFamily::SymmetricEvent));
}

void SearchTest::trialCountAndConvergencePlotAcrossSearches()
{
    frmMain& w = importSymmetricEvent();
    press_run(w);
    const std::int16_t points = w.state.ConvergenceCount;
    QVERIFY(points >= 1);
    press_run(w);

    expectCompletedSearch(240);
    QCOMPARE(w.Picture3->ScaleWidth(), 240.0f);
    QVERIFY(w.state.ConvergenceCount >= points);
    // Points record falling squared distances at rising trial counts.
    for (int i = 2; i <= w.state.ConvergenceCount; ++i) {
        QVERIFY(w.state.ConvergenceTrace[i].x > w.state.ConvergenceTrace[i - 1].x);
        QVERIFY(w.state.ConvergenceTrace[i].y < w.state.ConvergenceTrace[i - 1].y);
    }
    const ConvergencePoint& last = w.state.ConvergenceTrace[w.state.ConvergenceCount];
    QCOMPARE(last.y, w.state.BestOfBestSqDist);
    QVERIFY(count_pixels(*w.Picture3, kRed) > 0);  // at least the level line to the right edge
}

void SearchTest::finalPictureHoldsTheResultsNotTheCandidate()
{
    frmMain& w = importSymmetricEvent();
    type_counts(w, QStringLiteral("4"), QStringLiteral("60"));
    press_run(w);
    QCOMPARE(w.Check2->Value(), 1);
    QVERIFY(count_pixels(*w.Picture1, kRed) > 0);
    QVERIFY(count_pixels(*w.Picture1, kPaleGreen) > 0);  // sampling frames, drawn at the end

    // Unticking "Show constraint" goes back to the persisted plot: no green is left, so none of
    // it was the last candidate.
    QTest::mouseClick(w.Check2, Qt::LeftButton);
    QCOMPARE(w.Check2->Value(), 0);
    QCOMPARE(count_pixels(*w.Picture1, kGreen), 0);
    QCOMPARE(count_pixels(*w.Picture1, kPaleGreen), 0);
    QVERIFY(count_pixels(*w.Picture1, kRed) > 0);
    QVERIFY(count_pixels(*w.Picture1, kOrange) > 0);  // the runs' bests stay

    QTest::mouseClick(w.Check2, Qt::LeftButton);
    QVERIFY(count_pixels(*w.Picture1, kGreen) > 0);

    QTest::mouseClick(w.Command5, Qt::LeftButton);  // "Clean up diagram"
    QCOMPARE(count_pixels(*w.Picture1, kOrange), 0);
    QVERIFY(count_pixels(*w.Picture1, kRed) > 0);
    QVERIFY(count_pixels(*w.Picture1, kGreen) > 0);
}

void SearchTest::noRunsStillEndsTheSearch()
{
    frmMain& w = importSymmetricEvent();
    type_counts(w, QStringLiteral("0"), QStringLiteral("60"));
    press_run(w);
    expectCompletedSearch(0);
    QVERIFY(!w.Check1->isEnabled() && !w.Frame5->isEnabled());
    QCOMPARE(w.Label5->Caption(), QStringLiteral("R = "));  // no report was written
    QVERIFY(!w.Label2[1]->Enabled());
}

// A crop between two data points holds none: the first candidate fits it perfectly and its
// correlation divides 0 by 0. The search ends silently; R of the earlier crop's search shows
// plainly in Label5.
void SearchTest::cropWithoutPointsEndsThroughTheCleanupPath()
{
    std::string csv = "x,y\n";
    for (int x = 0; x <= 200; x += 10)
        csv += std::to_string(x) + "," + std::to_string((x * 7) % 13) + "\n";
    const QString file = write_data_file(*m_dir, QStringLiteral("sparse.csv"), csv);
    frmMain& w = *m_window;
    import_file(w, file);
    type_crop(w, QStringLiteral("0"), QStringLiteral("200"));
    type_counts(w, QStringLiteral("1"), QStringLiteral("20"));
    press_run(w);
    expectCompletedSearch(20);
    const float earlier_r = w.state.BestOfBestR;
    QVERIFY(earlier_r != 0.0f);

    type_crop(w, QStringLiteral("12"), QStringLiteral("18"));
    QCOMPARE(w.state.CropCount, std::int16_t{0});
    press_run(w);

    expectCleanupPath();
    QCOMPARE(w.state.BestOfBestR, earlier_r);
    QCOMPARE(w.Label5->Caption(), QString::fromStdString(number_text(earlier_r)));
    QCOMPARE(w.state.TrialCount, 1);
    QCOMPARE(w.Label8->Caption(), QStringLiteral("1"));
    QCOMPARE(w.Label2[1]->Caption(), QStringLiteral("X1 = "));  // the crop's reset labels stay
    QVERIFY(count_pixels(*w.Picture1, kBlue) > 0);
}

// "Asymmetric event" after runs without trials: the report's break points are the -9999 of an
// empty best of best, and its symmetry index divides 0 by 0 after they and R were written.
void SearchTest::reportFaultKeepsTheStepsWritten()
{
    frmMain& w = importSymmetricEvent();
    choose_family(w, ModelFamily::AsymmetricEvent);
    type_counts(w, QStringLiteral("2"), QStringLiteral("0"));
    press_run(w);

    expectCleanupPath();
    for (int i = 1; i <= 6; ++i) {
        QCOMPARE(w.Label2[i]->Caption(), QStringLiteral("X%1 = -9999").arg(i));
        QVERIFY(w.Label3[i]->Enabled());
    }
    QCOMPARE(w.Label5->Caption(), QStringLiteral("0"));
    QVERIFY(!w.Label6->Enabled());
    QCOMPARE(w.Label6->Caption(), QStringLiteral("Symmetry index ="));
    QVERIFY(w.Check1->isEnabled() && w.Frame5->isEnabled());  // the run itself ended
    QCOMPARE(w.state.ConXMin[3], -9999.0f);  // the empty run's best widened the envelope
}

void SearchTest::heavyTaskQuestion_data()
{
    QTest::addColumn<double>("elapsed");  // seconds for the first 999 of 2 x 500 trials
    QTest::addColumn<int>("answer");
    QTest::addColumn<QString>("estimate");
    // 1000 s: 1000 * 1000 / 999 = 1001 s in all.
    QTest::newRow("yes") << 1000.0 << kMsgBoxYes << "00:16:41";
    QTest::newRow("no") << 1000.0 << kMsgBoxNo << "00:16:41";
    // 400000 s: 400400 s, 111 hours and more, shown with all the hours' digits.
    QTest::newRow("over 100 hours") << 400000.0 << kMsgBoxYes << "111:13:20";
}

void SearchTest::heavyTaskQuestion()
{
    QFETCH(double, elapsed);
    QFETCH(int, answer);
    QFETCH(QString, estimate);
    frmMain& w = importSymmetricEvent();
    type_counts(w, QStringLiteral("2"), QStringLiteral("500"));
    w.platform.MonotonicSeconds = clock_jumping_to(elapsed);
    std::int32_t asked_at = 0;
    w.platform.MsgBox = [&](const QString& prompt, MsgBoxButtons buttons, const QString& title) {
        m_questions.push_back({prompt, title, buttons});
        asked_at = w.state.TrialCount;
        return answer;
    };
    press_run(w);

    QCOMPARE(m_questions.size(), std::size_t{1});
    QCOMPARE(asked_at, 999);
    QCOMPARE(m_beeps, 1);
    QCOMPARE(m_questions[0].title, QStringLiteral("Heavy task!!"));
    QCOMPARE(m_questions[0].prompt, QStringLiteral("Estimated processing time: %1 (hh:mm:ss). "
                                                   "Do you continue?")
                                        .arg(estimate));
    QVERIFY(m_questions[0].buttons == MsgBoxButtons::YesNo);
    if (answer == kMsgBoxYes) {
        expectCompletedSearch(1000);
        return;
    }
    expectCleanupPath();
    QCOMPARE(w.state.TrialCount, 999);
    // The first run's result stays on the labels.
    QVERIFY(w.Label2[2]->Enabled());
    QVERIFY(w.Label2[2]->Caption() != QStringLiteral("X2 = -9999"));
    QVERIFY(w.state.BestOfBestSqDist < 999999.0f);
}

void SearchTest::questionOnlyAboveTwoMinutes_data()
{
    QTest::addColumn<double>("elapsed");
    QTest::addColumn<bool>("asked");
    // 1 x 1000 trials: the estimate is elapsed * 1000 / 999.
    QTest::newRow("estimate 119.88 s") << 119.76 << false;
    QTest::newRow("estimate 120.02 s") << 119.9 << true;
}

void SearchTest::questionOnlyAboveTwoMinutes()
{
    QFETCH(double, elapsed);
    QFETCH(bool, asked);
    frmMain& w = importSymmetricEvent();
    type_counts(w, QStringLiteral("1"), QStringLiteral("1000"));
    w.platform.MonotonicSeconds = clock_jumping_to(elapsed);
    press_run(w);
    QCOMPARE(m_questions.size(), asked ? std::size_t{1} : std::size_t{0});
    expectCompletedSearch(1000);
}

void SearchTest::editingTheRunCountForgetsTheBestOfBest()
{
    frmMain& w = importSymmetricEvent();
    press_run(w);
    const QStringList report = shown_report(w);
    const float r = w.state.BestOfBestR;

    type_into(w.Text6, QStringLiteral("3"));

    for (int k = 1; k <= 6; ++k) {
        QCOMPARE(w.state.BestOfBestX[k], -9999.0f);
        QCOMPARE(w.state.BestOfBestY[k], -9999.0f);
        QCOMPARE(w.state.ConXMin[k], 999999.0f);
        QCOMPARE(w.state.ConYMax[k], -999999.0f);
    }
    QCOMPARE(w.state.BestOfBestSqDist, kUnsetBestOfBest);
    QCOMPARE(w.state.BestOfBestR, r);
    QCOMPARE(w.state.TrialCount, 120);
    QCOMPARE(shown_report(w), report);  // the labels keep the last report
    QVERIFY(w.state.BestOfBestShown);
    for (const QRgb colour : {kGreen, kOrange, kRed})
        QCOMPARE(count_pixels(*w.Picture1, colour), 0);
    QVERIFY(count_pixels(*w.Picture1, kBlue) > 0);
}

void SearchTest::editingTheTrialCountChangesNothing()
{
    frmMain& w = importSymmetricEvent();
    press_run(w);
    const QImage picture = w.Picture1->Image();
    const Vertices best = w.state.BestOfBestX;
    type_into(w.Text3[0], QStringLiteral("5"));
    QCOMPARE(w.Picture1->Image(), picture);
    QCOMPARE(w.state.BestOfBestX, best);
}

QTEST_MAIN(SearchTest)
#include "tst_search.moc"
