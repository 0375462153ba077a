// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/data/column_dialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QListWidget>
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

ColumnDialog::ColumnDialog(const std::vector<std::string>& titles, const ColumnsChoice& shown,
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

    MoreY = new QListWidget(this);
    for (int n = 1; n <= static_cast<int>(titles.size()); ++n) {
        auto* item = new QListWidgetItem(column_caption(titles, n), MoreY);
        item->setData(Qt::UserRole, n);
        const bool more = std::find(shown.more_y.begin(), shown.more_y.end(), n) != shown.more_y.end();
        item->setCheckState(more ? Qt::Checked : Qt::Unchecked);
    }
    MoreY->setMaximumHeight(MoreY->sizeHintForRow(0) * std::min<int>(5, titles.size()) +
                            2 * MoreY->frameWidth());
    LagsTo = new QComboBox(this);
    // The reference offered among the y chosen; the one shown stays while it is one of them.
    const auto offer_references = [this, select] {
        const int kept = LagsTo->currentData().toInt();
        LagsTo->clear();
        const ColumnsChoice chosen = choice();
        std::vector<int> ys{chosen.y.number};
        ys.insert(ys.end(), chosen.more_y.begin(), chosen.more_y.end());
        for (const int n : ys)
            LagsTo->addItem(YColumn->itemText(YColumn->findData(n)), n);
        select(LagsTo, kept);
        LagsTo->setEnabled(ys.size() >= 2);
    };
    offer_references();
    select(LagsTo, shown.lag_to);
    connect(MoreY, &QListWidget::itemChanged, this, offer_references);
    connect(YColumn, &QComboBox::currentIndexChanged, this, offer_references);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    OK = buttons->button(QDialogButtonBox::Ok);
    OK->setDefault(true);  // Return accepts
    connect(buttons, &QDialogButtonBox::accepted, this, &ColumnDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &ColumnDialog::reject);

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("x (time, depth, age)"), XColumn);
    form->addRow(QStringLiteral("y (measured value)"), YColumn);
    form->addRow(QStringLiteral("sigma (y uncertainty)"), SigmaColumn);
    form->addRow(QStringLiteral("more y (several series)"), MoreY);
    form->addRow(QStringLiteral("Lags to:"), LagsTo);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("The file has %1 columns: which are the series?")
                                     .arg(titles.size()),
                                 this));
    layout->addLayout(form);
    layout->addWidget(buttons);
    YColumn->setFocus();
}

ColumnsChoice ColumnDialog::choice() const
{
    ColumnsChoice options;
    options.x = {"", XColumn->currentData().toInt()};
    options.y = {"", YColumn->currentData().toInt()};
    if (const int sigma = SigmaColumn->currentData().toInt(); sigma > 0)
        options.sigma = ColumnChoice{"", sigma};
    for (int row = 0; row < MoreY->count(); ++row) {
        const int n = MoreY->item(row)->data(Qt::UserRole).toInt();
        if (MoreY->item(row)->checkState() == Qt::Checked && n != options.y.number &&
            n != options.x.number)
            options.more_y.push_back(n);
    }
    if (!options.more_y.empty())
        options.lag_to = LagsTo->currentData().toInt();
    return options;
}

}  // namespace tolvenar
