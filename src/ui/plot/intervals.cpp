// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/plot/intervals.h"

#include "core/runtime/numbers.h"

#include <QApplication>
#include <QClipboard>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace tolvenar {

namespace {

constexpr std::int32_t kFewestReplicates = 20;

QString text_of(const std::string& text)
{
    return QString::fromStdString(text);
}

}  // namespace

QString level_text(double level)
{
    return text_of(number_text(std::round(level * 1e6) / 1e4)) + QStringLiteral(" %");
}

std::string read_interval_choice(const QString& replicates, const QString& level,
                                 const QString& seed, IntervalRequest& choice)
{
    bool whole = false;
    const qlonglong count = replicates.trimmed().toLongLong(&whole);
    if (!whole || count < kFewestReplicates || count > 1000000)
        return "The number of replicates must be a whole number from 20 to 1000000.";
    bool number = false;
    const double p = level.trimmed().toDouble(&number);
    if (!number || !(p > 0.0 && p < 1.0))
        return "The level must lie between 0 and 1, such as 0.9.";
    bool seeded = false;
    const qulonglong start = seed.trimmed().toULongLong(&seeded);
    if (!seeded || start > 0xffffffffULL)
        return "The seed must be a whole number from 0 to 4294967295.";
    choice.replicates = static_cast<std::int32_t>(count);
    choice.level = p;
    choice.seed = static_cast<std::uint32_t>(start);
    return {};
}

NumbersDialog::NumbersDialog(const QString& title, const QList<std::pair<QString, QString>>& rows,
                             Reader read, QWidget* parent)
    : QDialog(parent), m_read(std::move(read))
{
    setAttribute(Qt::WA_WindowPropagation);  // the window's font
    setWindowTitle(title);
    auto* form = new QFormLayout;
    for (const auto& [label, text] : rows) {
        Fields << new QLineEdit(text, this);
        form->addRow(label, Fields.back());
    }
    Reason = new QLabel(this);
    Reason->setWordWrap(true);
    Reason->setStyleSheet(QStringLiteral("color: #b00000"));
    Reason->hide();
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    OK = buttons->button(QDialogButtonBox::Ok);
    OK->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &NumbersDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &NumbersDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(Reason);
    layout->addWidget(buttons);
    if (!Fields.isEmpty())
        Fields.front()->setFocus();
}

void NumbersDialog::accept()
{
    QStringList texts;
    for (const QLineEdit* field : Fields)
        texts << field->text();
    if (const std::string reason = m_read(texts); !reason.empty()) {
        Reason->setText(text_of(reason));
        Reason->show();
        return;
    }
    QDialog::accept();
}

BootstrapDialog::BootstrapDialog(const IntervalRequest& last, QWidget* parent)
    : NumbersDialog(QStringLiteral("Bootstrap intervals"),
                    {{QStringLiteral("Replicates"), QString::number(last.replicates)},
                     {QStringLiteral("Level"), text_of(number_text(last.level))},
                     {QStringLiteral("Seed"), QString::number(last.seed)}},
                    [this](const QStringList& texts) {
                        IntervalRequest choice = m_choice;
                        std::string reason =
                            read_interval_choice(texts[0], texts[1], texts[2], choice);
                        if (reason.empty())
                            m_choice = choice;
                        return reason;
                    },
                    parent),
      Replicates(Fields[0]), Level(Fields[1]), Seed(Fields[2]), m_choice(last)
{
}

TableWindow::TableWindow(const QString& title, QSize size, QWidget* parent)
    : QWidget(parent, Qt::Tool)
{
    setAttribute(Qt::WA_WindowPropagation);
    setWindowTitle(title);
    Table = new QTableWidget(0, 4, this);
    Table->verticalHeader()->hide();
    Table->verticalHeader()->setDefaultSectionSize(Table->fontMetrics().height() + 6);
    Table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    Table->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    connect(Table, &QTableWidget::cellDoubleClicked, this, [this](int row, int) {
        if (onChoose)
            onChoose(row);
    });
    Note = new QLabel(this);
    CopyButton = new QPushButton(QStringLiteral("Copy"), this);
    connect(CopyButton, &QPushButton::clicked, this,
            [this] { QApplication::clipboard()->setText(text()); });
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Table);
    layout->addWidget(Note);
    layout->addWidget(CopyButton, 0, Qt::AlignRight);
    resize(size);
}

void TableWindow::showRows(const QStringList& titles, const std::vector<QStringList>& rows,
                           const QString& note)
{
    Table->setColumnCount(static_cast<int>(titles.size()));
    Table->setHorizontalHeaderLabels(titles);
    Table->setRowCount(static_cast<int>(rows.size()));
    for (int row = 0; row < static_cast<int>(rows.size()); ++row) {
        const QStringList& cells = rows[static_cast<std::size_t>(row)];
        for (int column = 0; column < cells.size(); ++column)
            Table->setItem(row, column, new QTableWidgetItem(cells[column]));
    }
    Note->setText(note);
    fitColumnsToText();
}

void TableWindow::showCells(const std::vector<std::vector<std::string>>& cells,
                            const QString& note)
{
    std::vector<QStringList> rows;
    for (const std::vector<std::string>& line : cells) {
        QStringList row;
        for (const std::string& cell : line)
            row << text_of(cell);
        rows.push_back(row);
    }
    const QStringList titles = rows.empty() ? QStringList() : rows.front();
    showRows(titles, {rows.begin() + (rows.empty() ? 0 : 1), rows.end()}, note);
}

IntervalsWindow::IntervalsWindow(QWidget* parent)
    : TableWindow(QStringLiteral("Intervals"), QSize(420, 380), parent)  // a dozen values
{
}

void IntervalsWindow::showLines(const std::vector<IntervalLine>& lines, double level,
                                const QString& note)
{
    const QString level_name = level_text(level);
    std::vector<QStringList> rows;
    for (const IntervalLine& line : lines) {
        const std::string missing = line.lo.empty() ? "not determined" : line.lo;
        rows.push_back({text_of(line.name), text_of(line.estimate), text_of(missing),
                        text_of(line.hi)});
    }
    showRows({QStringLiteral("Value"), QStringLiteral("Estimate"),
              level_name + QStringLiteral(" low"), level_name + QStringLiteral(" high")},
             rows, note);
    for (int row = 0; row < Table->rowCount(); ++row)  // why a value is cut or missing
        for (int column = 0; column < Table->columnCount(); ++column)
            Table->item(row, column)->setToolTip(
                text_of(lines[static_cast<std::size_t>(row)].note));
}

// The columns share the width evenly, each at least as wide as the widest text of any (dates
// and date-times are long); the window widens to show them whole.
void TableWindow::fitColumnsToText()
{
    QHeaderView& header = *Table->horizontalHeader();
    const QAbstractItemView& view = *Table;  // where the column's size hint is public
    int widest = 0;
    for (int column = 0; column < Table->columnCount(); ++column)
        widest = std::max({widest, view.sizeHintForColumn(column), header.sectionSizeHint(column)});
    header.setMinimumSectionSize(widest);
    const QMargins margins = layout()->contentsMargins();
    const int needed = widest * Table->columnCount() + 2 * Table->frameWidth() + margins.left() +
                       margins.right();
    if (needed > width())
        resize(needed, height());
}

QString TableWindow::text() const
{
    QStringList rows;
    QStringList titles;
    for (int column = 0; column < Table->columnCount(); ++column)
        titles << Table->horizontalHeaderItem(column)->text();
    rows << titles.join(QLatin1Char('\t'));
    for (int row = 0; row < Table->rowCount(); ++row) {
        QStringList cells;
        for (int column = 0; column < Table->columnCount(); ++column)
            cells << Table->item(row, column)->text();
        rows << cells.join(QLatin1Char('\t'));
    }
    return rows.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

}  // namespace tolvenar
