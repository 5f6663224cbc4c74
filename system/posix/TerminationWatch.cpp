#include "system/TerminationWatch.h"

#include <array>
#include <cassert>
#include <cerrno>
#include <csignal>

#include <fcntl.h>
#include <unistd.h>

namespace deptest {

namespace {

constexpr std::array<int, 3> requestSignals { SIGINT, SIGTERM, SIGHUP };

// The handler may only do what is safe in a signal handler: it writes one
// byte into a pipe, and the event loop reads it.
std::array<int, 2> requestPipe { -1, -1 };

extern "C" void noteRequest(int /*signal*/)
{
    const int savedErrno = errno;
    const char byte = 1;
    // When the pipe is full, requests are already waiting to be read.
    [[maybe_unused]] const ssize_t ignored = ::write(requestPipe[1], &byte, 1);
    errno = savedErrno;
}

} // namespace

struct TerminationWatch::Watch { };

// Requests are noted on the descriptor here, not handed to a function: the
// function Windows keeps is not needed.
// NOLINTNEXTLINE(performance-unnecessary-value-param)
TerminationWatch::TerminationWatch(std::function<void()> /*onRequest*/)
{
    assert(requestPipe[0] < 0);
    if (::pipe2(requestPipe.data(), O_CLOEXEC | O_NONBLOCK) != 0) {
        requestPipe = { -1, -1 };
        return; // the signals keep their usual effect
    }
    m_watch = std::make_unique<Watch>();
    struct sigaction action { };
    action.sa_handler = noteRequest;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signal : requestSignals)
        ::sigaction(signal, &action, nullptr);
}

TerminationWatch::~TerminationWatch()
{
    if (!m_watch)
        return;
    for (const int signal : requestSignals)
        std::signal(signal, SIG_DFL);
    ::close(requestPipe[0]);
    ::close(requestPipe[1]);
    requestPipe = { -1, -1 };
}

int TerminationWatch::descriptor() const { return m_watch ? requestPipe[0] : -1; }

bool TerminationWatch::takeRequests()
{
    if (!m_watch)
        return false;
    std::array<char, 64> bytes {};
    bool any = false;
    while (::read(requestPipe[0], bytes.data(), bytes.size()) > 0)
        any = true;
    return any;
}

} // namespace deptest
