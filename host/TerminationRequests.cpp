#include "host/TerminationRequests.h"

#include "system/TerminationWatch.h"

#include <QSocketNotifier>

namespace deptest {

TerminationRequests::TerminationRequests(QObject* parent)
    : QObject(parent)
    // Where the system hands a request over on a thread of its own, it
    // reaches this object's thread as an event, and goes with the object if
    // it is gone.
    , m_watch(std::make_unique<TerminationWatch>(
          [this] { QMetaObject::invokeMethod(this, "requested", Qt::QueuedConnection); }))
{
    // Where it notes requests on a descriptor, the event loop takes them.
    if (const int descriptor = m_watch->descriptor(); descriptor >= 0) {
        m_notifier = new QSocketNotifier(descriptor, QSocketNotifier::Read, this);
        connect(m_notifier, &QSocketNotifier::activated, this, [this] {
            if (m_watch->takeRequests())
                emit requested();
        });
    }
}

TerminationRequests::~TerminationRequests()
{
    delete m_notifier; // before the descriptor it watches closes
    m_watch.reset();
}

} // namespace deptest
