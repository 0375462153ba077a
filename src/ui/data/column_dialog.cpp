// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/data/column_dialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

namespace tolvenar {

namespace {

// The 1-based number of `column` among `titles`; 0 when it names none.
int number_of(const ColumnChoice& column, const std::vector<std::string>& titles)
{
    if (column.name.empty())
        return column.number >= 1 && column.number <= static_cast<int>(titles.size())
                   ? column.number
                   : 0;
    const auto found = std::find(titles.begin(), titles.end(), column.name);
    return found == titles.end() ? 0 : static_cast<int>(found - titles.begin()) + 1;
}

}  // namespace

QString column_caption(const std::vector<std::string>& titles, int number)
{
    const std::string& title = titles.at(static_cast<std::size_t>(number) - 1);
    if (title.empty())
        return QStringLiteral("Column %1").arg(number);
    return QStringLiteral("%1: %2").arg(number).arg(QString::fromStdString(title));
}

ColumnDialog::ColumnDialog(const std::vector<std::string>& titles, const ReadOptions& shown,
                           QWidget* parent)
    : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Columns"));
    XColumn = new QComboBox(this);
    YColumn = new QComboBox(this);
    SigmaColumn = new QComboBox(this);
    SigmaColumn->addItem(QStringLiteral("none"), 0);
    for (int n = 1; n <= static_cast<int>(titles.size()); ++n)
        for (QComboBox* box : {XColumn, YColumn, SigmaColumn})
            box->addItem(column_caption(titles, n), n);
    const auto select = [](QComboBox* box, int number) {
        const int index = box->findData(number);
        if (index >= 0)
            box->setCurrentIndex(index);
    };
    select(XColumn, number_of(shown.x, titles));
    select(YColumn, number_of(shown.y, titles));
    select(SigmaColumn, shown.sigma ? number_of(*shown.sigma, titles) : 0);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    OK = buttons->button(QDialogButtonBox::Ok);
    OK->setDefault(true);  // Return accepts
    connect(buttons, &QDialogButtonBox::accepted, this, &ColumnDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &ColumnDialog::reject);

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("x (time, depth, age)"), XColumn);
    form->addRow(QStringLiteral("y (measured value)"), YColumn);
    form->addRow(QStringLiteral("sigma (y uncertainty)"), SigmaColumn);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("The file has %1 columns: which are the series?")
                                     .arg(titles.size()),
                                 this));
    layout->addLayout(form);
    layout->addWidget(buttons);
    YColumn->setFocus();
}

ReadOptions ColumnDialog::choice() const
{
    ReadOptions options;
    options.x = {"", XColumn->currentData().toInt()};
    options.y = {"", YColumn->currentData().toInt()};
    if (const int sigma = SigmaColumn->currentData().toInt(); sigma > 0)
        options.sigma = ColumnChoice{"", sigma};
    return options;
}

}  // namespace tolvenar
