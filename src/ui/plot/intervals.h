// SPDX-License-Identifier: GPL-3.0-or-later
// Intervals in the window: the "Bootstrap intervals…" dialog, and the "Intervals" table window
// that lists every reported value of the refined fit with its interval and copies them as text;
// the "Events" and "Lags" tables are windows of the same kind.
#pragma once

#include "core/session/fit_session.h"

#include <QDialog>
#include <QWidget>

#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;

namespace tolvenar {

// The replicates, level and seed as typed, read into `choice`; the reason when they are refused
// (fewer than 20 replicates, a level outside (0, 1), a seed that is no 32-bit whole number),
// else "".
std::string read_interval_choice(const QString& replicates, const QString& level,
                                 const QString& seed, IntervalRequest& choice);

// A few numbers asked at once, one field a row. OK (the default button: Return accepts) keeps
// them only when `read` takes them (it returns ""); else its reason shows and the dialog stays.
class NumbersDialog : public QDialog {
public:
    using Reader = std::function<std::string(const QStringList& texts)>;
    NumbersDialog(const QString& title, const QList<std::pair<QString, QString>>& rows,
                  Reader read, QWidget* parent);
    void accept() override;

    QList<QLineEdit*> Fields;  // one a row, in the rows' order
    QLabel* Reason = nullptr;
    QPushButton* OK = nullptr;

private:
    Reader m_read;
};

// What `ask` answers when set (tests answer for the user), else what `Dialog` opened on `last`
// is given; nullopt: Cancel.
template <class Dialog, class Request>
std::optional<Request> ask_choice(const std::function<std::optional<Request>(const Request&)>& ask,
                                  const Request& last, QWidget* parent)
{
    if (ask)
        return ask(last);
    Dialog dialog(last, parent);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return dialog.choice();
}

// The replicates (200), the level (0.9) and the seed of the bootstrap.
class BootstrapDialog final : public NumbersDialog {
public:
    BootstrapDialog(const IntervalRequest& last, QWidget* parent);

    IntervalRequest choice() const { return m_choice; }

    QLineEdit* Replicates = nullptr;
    QLineEdit* Level = nullptr;
    QLineEdit* Seed = nullptr;

private:
    IntervalRequest m_choice;
};

// A table of text in a window of its own: a title row, one row a line, a note under it and
// "Copy", which puts the table on the clipboard as tab-separated text with the title row. The
// columns share the width, each as wide as the widest text of any. A double-clicked row goes to
// onChoose, when set.
class TableWindow : public QWidget {
public:
    TableWindow(const QString& title, QSize size, QWidget* parent);

    void showRows(const QStringList& titles, const std::vector<QStringList>& rows,
                  const QString& note);
    // The same from the core's cells, the titles first.
    void showCells(const std::vector<std::vector<std::string>>& cells, const QString& note);
    QString text() const;  // what "Copy" puts on the clipboard

    QTableWidget* Table = nullptr;
    QLabel* Note = nullptr;
    QPushButton* CopyButton = nullptr;
    std::function<void(int row)> onChoose;

private:
    void fitColumnsToText();
};

// The values and their intervals, one row each.
class IntervalsWindow final : public TableWindow {
public:
    explicit IntervalsWindow(QWidget* parent);

    void showLines(const std::vector<IntervalLine>& lines, double level, const QString& note);
};

// "90 %" for a level of 0.9.
QString level_text(double level);

}  // namespace tolvenar
