#include "cli/Progress.h"

#include "system/Terminal.h"

#include <utility>

namespace deptest::cli {

Progress::Progress(int descriptor, std::int64_t total, std::function<Clock::time_point()> now)
    : m_descriptor(descriptor)
    , m_total(total)
    , m_now(std::move(now))
    , m_enabled(drawsOn(descriptor))
{
    if (m_enabled)
        m_start = m_now();
}

Progress::~Progress() { erase(); }

bool Progress::drawsOn(int descriptor) { return isTerminal(descriptor); }

void Progress::update(std::int64_t done)
{
    if (!m_enabled)
        return;
    const Clock::time_point now = m_now();
    if (now - m_start < firstAfter || (m_shown && now - m_lastDrawn < redrawEvery))
        return;
    const double seconds = std::chrono::duration<double>(now - m_start).count();
    const auto rate = static_cast<std::int64_t>(static_cast<double>(done) / seconds);
    std::string line = "\rdeptest: " + std::to_string(done);
    if (m_total > 0)
        line += " of " + std::to_string(m_total);
    line += " entries, " + std::to_string(rate) + "/s";
    line += "\033[K"; // clears what a longer line before left
    write(line);
    m_shown = true;
    m_lastDrawn = now;
}

void Progress::erase()
{
    if (!m_shown)
        return;
    write("\r\033[K");
    m_shown = false;
}

void Progress::write(const std::string& text) const
{
    // Straight to the descriptor, unbuffered, so that the line is there at
    // once; a terminal that will not take it leaves nothing to report it to.
    (void)writeUnbuffered(m_descriptor, text);
}

} // namespace deptest::cli
