#include "desktop/LineListModel.h"

#include <algorithm>
#include <utility>

namespace deptest {

namespace {

// A view lays out all of its rows again whenever rows are added, so the
// wait between batches grows with the list: a long list is laid out no more
// than a few percent of the time, and the cost per line stays flat however
// long the list gets.
constexpr int shortestWaitMs = 100;
constexpr int waitMsPerThousandLines = 2;

int waitBeforeShowing(std::size_t linesShown)
{
    const auto proportional = static_cast<qint64>(linesShown / 1000) * waitMsPerThousandLines;
    return static_cast<int>(std::max<qint64>(shortestWaitMs, proportional));
}

} // namespace

LineListModel::LineListModel(QObject* parent)
    : QAbstractListModel(parent)
{
    m_flushTimer.setSingleShot(true);
    connect(&m_flushTimer, &QTimer::timeout, this, &LineListModel::flush);
}

void LineListModel::append(QString line, QString detail)
{
    if (!detail.isEmpty())
        m_details.emplace(lineCount(), std::move(detail));
    m_pending.push_back(std::move(line));
    if (!m_flushTimer.isActive())
        m_flushTimer.start(waitBeforeShowing(m_lines.size()));
}

void LineListModel::clear()
{
    m_flushTimer.stop();
    beginResetModel();
    m_lines.clear();
    m_pending.clear();
    m_details.clear();
    endResetModel();
}

void LineListModel::flush()
{
    m_flushTimer.stop();
    if (m_pending.empty())
        return;
    const int first = static_cast<int>(m_lines.size());
    beginInsertRows({}, first, first + static_cast<int>(m_pending.size()) - 1);
    m_lines.insert(m_lines.end(), std::make_move_iterator(m_pending.begin()), std::make_move_iterator(m_pending.end()));
    m_pending.clear();
    endInsertRows();
}

int LineListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_lines.size());
}

QVariant LineListModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= static_cast<int>(m_lines.size()))
        return {};
    if (role == Qt::DisplayRole || role == Qt::AccessibleTextRole)
        return m_lines[static_cast<std::size_t>(index.row())];
    if (role == Qt::ToolTipRole || role == Qt::AccessibleDescriptionRole) {
        const auto found = m_details.find(index.row());
        return found == m_details.end() ? QVariant() : QVariant(found->second);
    }
    return {};
}

} // namespace deptest
