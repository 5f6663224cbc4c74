#include "system/TerminationWatch.h"

#include <cassert>

#include <windows.h>

namespace deptest {

namespace {

// Windows calls the handler on a thread of its own for each event.
std::function<void()>* handOver = nullptr;

BOOL WINAPI noteRequest(DWORD event)
{
    switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
        if (handOver != nullptr)
            (*handOver)();
        return TRUE;
    default: return FALSE;
    }
}

} // namespace

struct TerminationWatch::Watch {
    std::function<void()> onRequest;
};

TerminationWatch::TerminationWatch(std::function<void()> onRequest)
{
    assert(handOver == nullptr);
    m_watch = std::make_unique<Watch>(Watch { std::move(onRequest) });
    handOver = &m_watch->onRequest;
    if (::SetConsoleCtrlHandler(noteRequest, TRUE) == 0) {
        handOver = nullptr;
        m_watch.reset(); // the events keep their usual effect
    }
}

TerminationWatch::~TerminationWatch()
{
    if (!m_watch)
        return;
    ::SetConsoleCtrlHandler(noteRequest, FALSE);
    handOver = nullptr;
}

int TerminationWatch::descriptor() const { return -1; }

bool TerminationWatch::takeRequests() { return false; }

} // namespace deptest
