#pragma once

#include <QObject>

#include <memory>

class QSocketNotifier;

namespace deptest {

class TerminationWatch;

// Requests to end that reach the process from outside (Ctrl+C in a
// terminal, kill, a closing session) arrive as the signal below, in the
// event loop, instead of ending the process on the spot with records still
// unwritten. At most one object of this class may live at a time.
class TerminationRequests final : public QObject {
    Q_OBJECT
public:
    explicit TerminationRequests(QObject* parent = nullptr);
    ~TerminationRequests() override;
    TerminationRequests(const TerminationRequests&) = delete;
    TerminationRequests& operator=(const TerminationRequests&) = delete;

signals:
    void requested();

private:
    std::unique_ptr<TerminationWatch> m_watch;
    QSocketNotifier* m_notifier { nullptr };
};

} // namespace deptest
