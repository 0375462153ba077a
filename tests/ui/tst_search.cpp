// SPDX-License-Identifier: GPL-3.0-or-later
// "Run" as a user runs it: each family's report equals tolvenar-fit's for the same file, crop,
// counts and family; the pictures a search leaves; its silent endings; edits after a result.
#include "window_fixture.h"

#include <memory>

using namespace tolvenar;
using namespace tolvenar::test;

Q_DECLARE_METATYPE(tolvenar::ModelFamily)

namespace {

constexpr QRgb kPaleGreen = 0xff96ff96;  // sampling frames of the constraint boxes

// A clock standing at 0 for the search's start that reads `later` seconds afterwards.
std::function<double()> clock_jumping_to(double later)
{
    auto calls = std::make_shared<int>(0);
    return [calls, later] { return (*calls)++ == 0 ? 0.0 : later; };
}

}  // namespace

class SearchTest : public QObject {
    Q_OBJECT

private slots:
    void init();
    void reportAsTheCommandLine_data();
    void reportAsTheCommandLine();
    void picturesOfAResult();
    void silentEndings_data();
    void silentEndings();
    void constraintEdgeDrag();
    void manualBoxesBoundTheSearch();

private:
    frmMain& prepare(ModelFamily family, const QString& runs = QStringLiteral("2"),
                     const QString& trials = QStringLiteral("60"));
    std::unique_ptr<frmMain> m_window;
    Dialogs m_dialogs;
    const QString m_file = example_path(QStringLiteral("symmetric_event.csv"));
};

void SearchTest::init()
{
    m_window = std::make_unique<frmMain>();
    m_dialogs = {};
    m_dialogs.attach(*m_window);
}

frmMain& SearchTest::prepare(ModelFamily family, const QString& runs, const QString& trials)
{
    prepare_search(*m_window, m_file, QStringLiteral("150"), QStringLiteral("450"), runs, trials,
                   family);
    return *m_window;
}

void SearchTest::reportAsTheCommandLine_data()
{
    QTest::addColumn<ModelFamily>("family");
    for (const ModelFamily family :
         {ModelFamily::SimpleRamp, ModelFamily::SymmetricEvent, ModelFamily::AsymmetricEvent,
          ModelFamily::Free4Segments, ModelFamily::Free3Segments, ModelFamily::EventWithDuration})
        QTest::newRow(family_caption(family).data()) << family;
}

void SearchTest::reportAsTheCommandLine()
{
    QFETCH(ModelFamily, family);
    frmMain& w = prepare(family);
    QTest::mouseClick(w.Command2, Qt::LeftButton);
    QCOMPARE(shown_report(w), fit_report_for(w, m_file, family, false));
    QCOMPARE(w.Label8->Caption(), QStringLiteral("120"));
    QVERIFY(!w.ProgressBar1->Visible() && !w.ProgressBar2->Visible());
    QCOMPARE(screen_mouse_pointer(), pointer::kDefault);
    QVERIFY(w.Frame6->isEnabled() && w.Check1->isEnabled() && w.Command7->isEnabled());

    QTest::mouseClick(w.Check1, Qt::LeftButton);  // "Constrain": inside the first search's boxes
    QTest::mouseClick(w.Command2, Qt::LeftButton);
    QCOMPARE(shown_report(w), fit_report_for(w, m_file, family, true));
    QCOMPARE(w.Label8->Caption(), QStringLiteral("240"));
}

void SearchTest::picturesOfAResult()
{
    frmMain& w = prepare(ModelFamily::SymmetricEvent);
    QTest::mouseClick(w.Command2, Qt::LeftButton);
    PictureBox& plot = *w.Picture1;
    QVERIFY(count_pixels(plot, kRed) > 0 && count_pixels(plot, kPaleGreen) > 0);
    QVERIFY(count_pixels(*w.Picture3, kRed) > 0);  // the convergence trace
    // Unticking "Show constraint" leaves no green: none of it was the last candidate.
    QTest::mouseClick(w.Check2, Qt::LeftButton);
    QCOMPARE(count_pixels(plot, kGreen) + count_pixels(plot, kPaleGreen), 0);
    QVERIFY(count_pixels(plot, kOrange) > 0 && count_pixels(plot, kRed) > 0);
    QTest::mouseClick(w.Command5, Qt::LeftButton);  // "Clean up diagram": the run bests go
    QCOMPARE(count_pixels(plot, kOrange), 0);
    QVERIFY(count_pixels(plot, kRed) > 0);
    // A new run count forgets the result: the bare data, the report's labels kept.
    const QStringList report = shown_report(w);
    type_into(w.Text6, QStringLiteral("3"));
    QCOMPARE(count_pixels(plot, kRed), 0);
    QCOMPARE(w.state.BestOfBestX[2], kUnsetVertex);
    QCOMPARE(shown_report(w), report);
}

void SearchTest::silentEndings_data()
{
    QTest::addColumn<ModelFamily>("family");
    QTest::addColumn<QString>("trials");
    QTest::addColumn<QString>("from");  // crop bounds
    QTest::addColumn<QString>("to");
    QTest::addColumn<double>("later");  // clock reading after the start, seconds
    QTest::addColumn<int>("answer");  // to "Heavy task!!"
    QTest::addColumn<QString>("label5");
    QTest::addColumn<int>("count");  // TrialCount at the end
    // Asymmetric event after runs without trials: the symmetry index divides 0 by 0 after the
    // break points (-9999) and R were written.
    QTest::newRow("report fault") << ModelFamily::AsymmetricEvent << "0" << "150" << "450" << 0.0
                                  << kMsgBoxYes << "0" << 0;
    // A crop between two data points holds none: its correlation divides 0 by 0.
    QTest::newRow("empty crop") << ModelFamily::SymmetricEvent << "60" << "150.2" << "150.8" << 0.0
                                << kMsgBoxYes << "0" << 1;
    QTest::newRow("No to the estimate") << ModelFamily::SymmetricEvent << "500" << "150" << "450"
                                        << 1000.0 << kMsgBoxNo << "" << 999;
    QTest::newRow("Yes to the estimate") << ModelFamily::SymmetricEvent << "500" << "150" << "450"
                                         << 1000.0 << kMsgBoxYes << "" << 1000;
}

void SearchTest::silentEndings()
{
    QFETCH(ModelFamily, family);
    QFETCH(QString, trials);
    QFETCH(QString, from);
    QFETCH(QString, to);
    QFETCH(double, later);
    QFETCH(int, answer);
    QFETCH(QString, label5);
    QFETCH(int, count);
    frmMain& w = *m_window;
    prepare_search(w, m_file, from, to, QStringLiteral("2"), trials, family);
    w.platform.MonotonicSeconds = clock_jumping_to(later);
    m_dialogs.answer = answer;
    QTest::mouseClick(w.Command2, Qt::LeftButton);

    QCOMPARE(w.state.TrialCount, count);
    QCOMPARE(w.Label8->Caption(), QString::number(count));
    QCOMPARE(m_dialogs.titles, later > 0 ? QStringList{"Heavy task!!"} : QStringList{});
    QCOMPARE(m_dialogs.beeps, later > 0 ? 1 : 0);
    QVERIFY(!w.ProgressBar1->Visible() && !w.ProgressBar2->Visible());
    QCOMPARE(w.ProgressBar2->Value(), 0.0f);
    QCOMPARE(screen_mouse_pointer(), pointer::kDefault);
    const bool ended_well = label5.isEmpty() && answer == kMsgBoxYes;
    QCOMPARE(w.Frame6->isEnabled(), ended_well);
    if (ended_well)
        return;
    if (!label5.isEmpty())
        QCOMPARE(w.Label5->Caption(), label5);  // the plain R of the best of best
    for (const QRgb colour : {kGreen, kOrange, kRed})
        QCOMPARE(count_pixels(*w.Picture1, colour), 0);  // the bare data again
    QVERIFY(count_pixels(*w.Picture1, kBlue) > 0 || w.state.CropCount == 0);
}

void SearchTest::constraintEdgeDrag()
{
    frmMain& w = prepare(ModelFamily::SymmetricEvent);
    QTest::mouseClick(w.Command2, Qt::LeftButton);
    QTest::mouseClick(w.Check1, Qt::LeftButton);
    ProgramState& s = w.state;
    PictureBox& plot = *w.Picture1;
    for (std::size_t k = 1; k <= 6; ++k) {  // baseline boxes at 11..12
        s.ConXMin[k] = k == 1 ? 150 : 150 + 50 * k;
        s.ConXMax[k] = k == 1 ? 150 : 180 + 50 * k;
        s.ConYMin[k] = 11;
        s.ConYMax[k] = 12;
    }
    const QPoint edge = point_at(plot, 265, 12);  // the top of box 2
    hover(&plot, edge);
    QCOMPARE(plot.MousePointer(), pointer::kSizeVertical);
    drag(&plot, edge, point_at(plot, 265, 14));
    const float top = s.ConYMax[2];
    QVERIFY(top > 13.5f && top < 14.5f);
    QCOMPARE((QList<float>{s.ConYMax[1], s.ConYMax[4], s.ConYMax[5], s.ConYMax[3]}),
             (QList<float>{top, top, top, 12}));  // the baseline's levels are tied
    hover(&plot, point_at(plot, 300, 20));
    QCOMPARE(plot.MousePointer(), pointer::kArrow);
}

void SearchTest::manualBoxesBoundTheSearch()
{
    frmMain& w = prepare(ModelFamily::ManualConstraint);
    PictureBox& plot = *w.Picture1;
    drag(&plot, point_at(plot, 160, 11), point_at(plot, 200, 12));
    drag(&plot, point_at(plot, 260, 16), point_at(plot, 300, 20));
    drag(&plot, point_at(plot, 380, 11), point_at(plot, 420, 12.5));
    QTest::mouseClick(w.Command2, Qt::LeftButton);
    // The last box reaches the right edge and holds vertices 4 to 6.
    QCOMPARE(w.state.ManXMax[3], 450.0f);
    QCOMPARE(w.state.ManXMin[6], w.state.ManXMin[3]);
    QCOMPARE(w.Label8->Caption(), QStringLiteral("120"));
    for (int k = 1; k <= 3; ++k) {
        const float margin = 0.1f * (w.state.ManYMax[k] - w.state.ManYMin[k]);
        QVERIFY(w.state.BestOfBestY[k] >= w.state.ManYMin[k] - margin);
        QVERIFY(w.state.BestOfBestY[k] <= w.state.ManYMax[k] + margin);
    }
    QVERIFY(w.Label2[3]->Enabled() && !w.Label2[4]->Enabled());
    QVERIFY(count_pixels(plot, kPink) > 0);
}

QTEST_MAIN(SearchTest)
#include "tst_search.moc"
