// SPDX-License-Identifier: GPL-3.0-or-later
// "Compare families…" of the working plot's popup menu: the table window of the comparison,
// one row a model sorted by BIC with the chosen one marked, and the event test's p below.
// Double-clicking a row hands its model's short name to the window.
#pragma once

#include "core/session/family_comparison.h"
#include "ui/plot/intervals.h"

#include <QWidget>

#include <functional>
#include <string>

class QLabel;
class QTableWidget;

namespace tolvenar {

class ComparisonWindow final : public QWidget {
public:
    explicit ComparisonWindow(QWidget* parent);

    // The models of `comparison` in its order; `note` under them.
    void showComparison(const FamilyComparison& comparison, const QString& note);

    QTableWidget* Table = nullptr;
    QLabel* Note = nullptr;
    std::function<void(const std::string&)> onChoose;  // a row's model, double-clicked
};

// The event test's replicates and level as typed, read into `choice`; the reason when they are
// refused (replicates not a whole number from 0 to 1000000, alpha outside (0, 1)), else "".
std::string read_compare_choice(const QString& replicates, const QString& alpha,
                                ComparisonRequest& choice);

// The event test's replicates (199; 0: the choice by BIC alone) and level alpha (0.05), as
// tolvenar-fit's --test-replicates and --alpha.
class CompareDialog final : public NumbersDialog {
public:
    CompareDialog(const ComparisonRequest& last, QWidget* parent);

    ComparisonRequest choice() const { return m_choice; }

private:
    ComparisonRequest m_choice;
};

// The line under the table: the event test's p and what was chosen, or why there is none.
QString comparison_note(const FamilyComparison& comparison, std::size_t replicates);

}  // namespace tolvenar
