// SPDX-License-Identifier: GPL-3.0-or-later
// The columns of a data file with more than two: x, y and (optionally) sigma, chosen in a small
// dialog whose OK is the default button, so that Return accepts what it shows.
#pragma once

#include "core/data/data_reader.h"

#include <QDialog>

#include <string>
#include <vector>

class QComboBox;
class QPushButton;

namespace tolvenar {

// A column as the dialog lists it: "2: depth", or "Column 2" where the title is empty.
QString column_caption(const std::vector<std::string>& titles, int number);

// Lists every column of `titles` under x, y and sigma ("none" first), each set from `shown`
// (columns by number; a title not in the row leaves the first choices).
class ColumnDialog final : public QDialog {
public:
    ColumnDialog(const std::vector<std::string>& titles, const ReadOptions& shown,
                 QWidget* parent);

    ReadOptions choice() const;  // the columns by number

    QComboBox* XColumn = nullptr;
    QComboBox* YColumn = nullptr;
    QComboBox* SigmaColumn = nullptr;
    QPushButton* OK = nullptr;
};

}  // namespace tolvenar
