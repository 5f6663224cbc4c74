#pragma once

#include <QAbstractListModel>
#include <QString>
#include <QTimer>

#include <unordered_map>
#include <vector>

namespace deptest {

// The lines of one list box. Appending is cheap however long the list is:
// new lines are held back and handed to the view in batches, every 100 ms
// for a short list and less often as it grows, so a run of a million
// entries lays the view out a few dozen times, not a million.
class LineListModel final : public QAbstractListModel {
    Q_OBJECT
public:
    explicit LineListModel(QObject* parent = nullptr);

    // A line and what it says to whoever asks (a tooltip, the accessible
    // description); no detail for most lines.
    void append(QString line, QString detail = {});
    void clear();
    // Shows every line held back now.
    void flush();
    // Every line added, shown or not yet.
    [[nodiscard]] int lineCount() const { return static_cast<int>(m_lines.size() + m_pending.size()); }

    [[nodiscard]] int rowCount(const QModelIndex& parent = {}) const override;
    [[nodiscard]] QVariant data(const QModelIndex& index, int role) const override;

private:
    std::vector<QString> m_lines;
    std::vector<QString> m_pending;
    std::unordered_map<int, QString> m_details; // by row, shown or not yet
    QTimer m_flushTimer;
};

} // namespace deptest
