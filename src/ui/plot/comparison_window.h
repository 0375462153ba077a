// SPDX-License-Identifier: GPL-3.0-or-later
// "Compare families…" of the working plot's popup menu: the table window of the comparison,
// one row a model sorted by BIC with the chosen one marked, and the event test's p below.
// Double-clicking an event family's row hands its short name to the window.
#pragma once

#include "core/session/family_comparison.h"

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

// The line under the table: the event test's p and what was chosen, or why there is none.
QString comparison_note(const FamilyComparison& comparison, std::size_t replicates);

}  // namespace tolvenar
