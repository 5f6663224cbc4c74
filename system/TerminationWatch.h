#pragma once

#include <functional>
#include <memory>

namespace deptest {

// Requests to end that reach the process from outside: Ctrl+C in a
// terminal, kill and a closing session (SIGINT, SIGTERM, SIGHUP), or on
// Windows the console's control events (Ctrl+C, Ctrl+Break, a closed
// console, logging off, shutting down). While a watch lives the process
// does not end on them, so that the program can end in good order. At most
// one watch may live at a time; when the system will not hand requests
// over, they keep their usual effect.
//
// POSIX notes a request on a descriptor (descriptor()), for an event loop
// to watch and take (takeRequests()) where it is safe to act on it.
// Windows hands each request to `onRequest` on a thread of its own, and
// there descriptor() is -1.
class TerminationWatch {
public:
    explicit TerminationWatch(std::function<void()> onRequest);
    ~TerminationWatch();
    TerminationWatch(const TerminationWatch&) = delete;
    TerminationWatch& operator=(const TerminationWatch&) = delete;

    [[nodiscard]] int descriptor() const;
    // Takes the requests noted on the descriptor; true when there was any.
    bool takeRequests();

private:
    struct Watch;
    std::unique_ptr<Watch> m_watch;
};

} // namespace deptest
