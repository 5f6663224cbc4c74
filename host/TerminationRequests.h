#pragma once

#include <QObject>

class QSocketNotifier;

namespace deptest {

// Requests to end that reach the process from outside (Ctrl+C in a
// terminal, kill, a closing session) arrive as the signal below, in the
// event loop, instead of ending the process on the spot with records still
// unwritten. While an object of this class lives it holds SIGINT, SIGTERM
// and SIGHUP; at most one may live at a time.
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
    void takeRequests();

    QSocketNotifier* m_notifier { nullptr };
};

} // namespace deptest
