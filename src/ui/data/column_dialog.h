// SPDX-License-Identifier: GPL-3.0-or-later
// The columns of a data file with more than two: x, y and (optionally) sigma, chosen in a small
// dialog whose OK is the default button, so that Return accepts what it shows; and further y
// columns, fitted on the same crop with their lags against the one chosen under "Lags to:".
#pragma once

#include "core/data/data_reader.h"

#include <QDialog>

#include <string>
#include <utility>
#include <vector>

class QComboBox;
class QListWidget;
class QPushButton;

namespace tolvenar {

// A column as the dialog lists it: "2: depth", or "Column 2" where the title is empty.
QString column_caption(const std::vector<std::string>& titles, int number);

// The columns as the reader takes them (its y: the series the window shows and fits, as with
// one y), with the further y columns chosen, by number in the file's order, and the column the
// lags are measured to (one of the y; 0 with one y).
struct ColumnsChoice : ReadOptions {
    ColumnsChoice(ReadOptions read = {}) : ReadOptions(std::move(read)) {}  // one y
    std::vector<int> more_y;
    int lag_to = 0;
};

// Lists every column of `titles` under x, y and sigma ("none" first), each set from `shown`
// (columns by number; a title not in the row leaves the first choices).
class ColumnDialog final : public QDialog {
public:
    ColumnDialog(const std::vector<std::string>& titles, const ColumnsChoice& shown,
                 QWidget* parent);

    ColumnsChoice choice() const;  // the columns by number

    QComboBox* XColumn = nullptr;
    QComboBox* YColumn = nullptr;
    QComboBox* SigmaColumn = nullptr;
    QListWidget* MoreY = nullptr;  // every column, checkable: further series
    QComboBox* LagsTo = nullptr;   // the y chosen; enabled with two or more
    QPushButton* OK = nullptr;
};

}  // namespace tolvenar
