// SPDX-License-Identifier: GPL-3.0-or-later
// "Compare families…" of the working plot's popup menu, on the worker thread with its progress
// in the bars: the constant, the line and every event family at its optimum over the crop, the
// event test and the choice, listed in a table window. Double-clicking an event family selects
// its option button and shows its optimum in " Best fitting " as "Refine best fit" shows a
// refined fit; the constant and the line show likewise (ShowComparedNull).
#include "core/runtime/numbers.h"
#include "ui/app/frm_main.h"
#include "ui/app/result_labels.h"
#include "ui/plot/comparison_window.h"

#include <QHeaderView>
#include <QLabel>
#include <QTableWidget>
#include <QVBoxLayout>

#include <memory>

namespace tolvenar {

namespace {

QString number(double value, int decimals)
{
    return QString::number(value, 'f', decimals);
}

// A family's caption for its short name, "Constant" and "Straight line" for the models
// without an event.
QString model_caption(const std::string& name)
{
    if (const std::optional<ModelFamily> family = family_from_name(name))  // none for the nulls
        return QString::fromUtf8(family_caption(*family));
    return name == "line" ? QStringLiteral("Straight line") : QStringLiteral("Constant");
}

}  // namespace

ComparisonWindow::ComparisonWindow(QWidget* parent) : QWidget(parent, Qt::Tool)
{
    setWindowTitle(QStringLiteral("Compare families"));
    Table = new QTableWidget(0, 9, this);
    Table->setHorizontalHeaderLabels(
        {QStringLiteral("Model"), QStringLiteral("k"), QStringLiteral("Sum of squares"),
         QStringLiteral("AR(1)"), QStringLiteral("Log-likelihood"), QStringLiteral("AIC"),
         QStringLiteral("AIC weight"), QStringLiteral("BIC"), QStringLiteral("BIC weight")});
    Table->verticalHeader()->hide();
    Table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    Table->setSelectionBehavior(QAbstractItemView::SelectRows);
    Table->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    Table->horizontalHeader()->setStretchLastSection(true);
    Table->setToolTip(QStringLiteral("Double-click a model to show it as a fit"));
    connect(Table, &QTableWidget::cellDoubleClicked, this, [this](int row, int) {
        if (onChoose && Table->item(row, 0))
            onChoose(Table->item(row, 0)->data(Qt::UserRole).toString().toStdString());
    });
    Note = new QLabel(this);
    Note->setWordWrap(true);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Table);
    layout->addWidget(Note);
    resize(860, 330);
}

void ComparisonWindow::showComparison(const FamilyComparison& comparison, const QString& note)
{
    const auto& models = comparison.comparison.models;
    Table->setRowCount(static_cast<int>(models.size()));
    for (int row = 0; row < static_cast<int>(models.size()); ++row) {
        const compare::ModelRecord& m = models[static_cast<std::size_t>(row)];
        const QString mark = m.chosen ? QStringLiteral("▶ ") : QString();
        const QStringList cells{mark + model_caption(m.name),
                                QString::number(m.k),
                                QString::number(m.sum_of_squares, 'g', 7),
                                number(m.phi, 3),
                                number(m.log_likelihood, 2),
                                number(m.aic, 2),
                                number(m.aic_weight, 4),
                                number(m.bic, 2),
                                number(m.bic_weight, 4)};
        for (int column = 0; column < cells.size(); ++column) {
            auto* item = new QTableWidgetItem(cells[column]);
            if (column > 0)
                item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            QFont font = item->font();
            font.setBold(m.chosen);
            item->setFont(font);
            Table->setItem(row, column, item);
        }
        Table->item(row, 0)->setData(Qt::UserRole, QString::fromStdString(m.name));
    }
    Note->setText(note);
}

std::string read_compare_choice(const QString& replicates, const QString& alpha,
                                ComparisonRequest& choice)
{
    bool whole = false;
    const qlonglong count = replicates.trimmed().toLongLong(&whole);
    if (!whole || count < 0 || count > 1000000)
        return "The test's replicates must be a whole number from 0 to 1000000 (0: the choice "
               "by BIC alone).";
    bool number = false;
    const double level = alpha.trimmed().toDouble(&number);
    if (!number || !(level > 0.0 && level < 1.0))
        return "Alpha must lie between 0 and 1, such as 0.05.";
    choice.replicates = static_cast<std::size_t>(count);
    choice.alpha = level;
    return {};
}

CompareDialog::CompareDialog(const ComparisonRequest& last, QWidget* parent)
    : NumbersDialog(QStringLiteral("Compare families"),
                    {{QStringLiteral("Test replicates"), QString::number(last.replicates)},
                     {QStringLiteral("Alpha"), QString::fromStdString(number_text(last.alpha))}},
                    [this](const QStringList& texts) {
                        ComparisonRequest choice = m_choice;
                        std::string reason = read_compare_choice(texts[0], texts[1], choice);
                        if (reason.empty())
                            m_choice = choice;
                        return reason;
                    },
                    parent),
      m_choice(last)
{
}

QString comparison_note(const FamilyComparison& comparison, std::size_t replicates)
{
    QString note;
    if (const auto& test = comparison.comparison.test)
        note = QStringLiteral("Event test: p = %1 against the %2 (%3 of %4 replicates). ")
                   .arg(number_text(test->p).c_str())
                   .arg(QString::fromStdString(test->null_name))
                   .arg(test->replicates)
                   .arg(replicates);
    if (comparison.stopped)
        note += QStringLiteral("Stopped before the end. ");
    if (comparison.comparison.models.empty())
        return note;
    if (comparison.chosen_family())
        note += QStringLiteral("Chosen: %1.").arg(model_caption(comparison.chosen().name));
    else
        note += QStringLiteral("Chosen: no event (%1).")
                    .arg(model_caption(comparison.chosen().name).toLower());
    return note;
}

const FamilyComparison* frmMain::CurrentComparison() const
{
    return current_comparison(session, Results);
}

// Enabled while there is a crop to compare on and no work runs.
void frmMain::mnuCompare1_AboutToShow()
{
    mnuCompare1->setEnabled(session.crop_info().points > 0 && !Busy());
}

void frmMain::mnuCompare1_Click()
{
    if (Busy() || session.crop_info().points == 0)
        return;
    const auto choice = ask_choice<CompareDialog>(AskCompare, CompareChoice, this);
    if (!choice)
        return;
    CompareChoice = *choice;
    JobSteps steps;
    steps.compare = CompareChoice;
    steps.compare->left = Picture1->ScaleLeft();
    steps.compare->right = steps.compare->left + static_cast<double>(Picture1->ScaleWidth());
    StartJob(std::move(steps), std::make_shared<SearchObserver>(), [this](const JobOutcome&) {
        if (!Results.comparison)
            return;
        Command6->setEnabled(HasRecord());
        if (frmComparison == nullptr) {
            frmComparison = new ComparisonWindow(this);
            frmComparison->onChoose = [this](const std::string& name) {
                if (const std::optional<ModelFamily> family = family_from_name(name))
                    ShowComparedFamily(*family);
                else
                    ShowComparedNull(name);
            };
        }
        const std::size_t replicates = Results.comparison_request.replicates;
        frmComparison->showComparison(*Results.comparison,
                                      comparison_note(*Results.comparison, replicates));
        frmComparison->show();
        frmComparison->raise();
    });
}

// The family's option button selected (which forgets the results on display, as a click does),
// then its optimum from the comparison in place of a best of best, as a refined fit shows.
void frmMain::ShowComparedFamily(ModelFamily family)
{
    const FamilyComparison* comparison = CurrentComparison();
    const refine::RefinedFit* fit = comparison ? comparison->fit(family) : nullptr;
    if (Busy() || fit == nullptr) {
        if (platform.Beep)
            platform.Beep();
        return;
    }
    const refine::RefinedFit shown = *fit;
    Option1[static_cast<int>(family)]->select();
    Results.refined = shown;
    Frame5->setEnabled(true);
    apply_label_writes(*this, session.refined_report(family, shown).writes);
    Picture1->Cls();
    DrawBestOfBest();
    Command6->setEnabled(HasRecord());
}

}  // namespace tolvenar
