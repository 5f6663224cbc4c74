#include "system/TerminationWatch.h"

#include <cassert>
#include <mutex>

#include <windows.h>

namespace deptest {

namespace {

// Windows calls the handler on a thread of its own for each event.
std::mutex handing;
std::function<void()>* handOver = nullptr;

// Set while no watch lives. For a closed console, logging off and shutting
// down, Windows ends the process as soon as the handler returns: the
// handler waits, within the few seconds Windows grants, until the watch is
// gone, that is until the program has ended its run in good order.
HANDLE noWatch()
{
    static const HANDLE event = ::CreateEventW(nullptr, TRUE, TRUE, nullptr);
    return event;
}
constexpr DWORD endingGrace = 4500; // ms; Windows grants 5 s to a closed console

BOOL WINAPI noteRequest(DWORD event)
{
    switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT: {
        {
            const std::lock_guard lock(handing);
            if (handOver != nullptr)
                (*handOver)();
        }
        if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && noWatch() != nullptr)
            ::WaitForSingleObject(noWatch(), endingGrace);
        return TRUE;
    }
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
    {
        const std::lock_guard lock(handing);
        handOver = &m_watch->onRequest;
    }
    if (noWatch() != nullptr)
        ::ResetEvent(noWatch());
    if (::SetConsoleCtrlHandler(noteRequest, TRUE) == 0) {
        const std::lock_guard lock(handing);
        handOver = nullptr;
        m_watch.reset(); // the events keep their usual effect
        if (noWatch() != nullptr)
            ::SetEvent(noWatch());
    }
}

TerminationWatch::~TerminationWatch()
{
    if (!m_watch)
        return;
    ::SetConsoleCtrlHandler(noteRequest, FALSE);
    {
        const std::lock_guard lock(handing);
        handOver = nullptr;
    }
    if (noWatch() != nullptr)
        ::SetEvent(noWatch());
}

int TerminationWatch::descriptor() const { return -1; }

bool TerminationWatch::takeRequests() { return false; }

} // namespace deptest
