#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

namespace deptest::cli {

// A one-line indicator of entries done of total and their rate, for a
// person watching a terminal: it appears only once a run has taken about a
// second, is redrawn at most ten times a second and is erased when the run
// ends or before a message is written. When the stream is not a terminal it
// writes nothing at all, so logs and pipes stay clean.
class Progress {
public:
    using Clock = std::chrono::steady_clock;

    // `descriptor` is the stream to draw on (standard error); `now` reads the clock.
    Progress(int descriptor, std::int64_t total, std::function<Clock::time_point()> now = &Clock::now);
    ~Progress();
    Progress(const Progress&) = delete;
    Progress& operator=(const Progress&) = delete;

    // Whether anything will ever be drawn: the stream is a terminal.
    [[nodiscard]] bool enabled() const { return m_enabled; }
    static bool drawsOn(int descriptor);
    void update(std::int64_t done);
    // Removes the line, if one is shown.
    void erase();

    static constexpr std::chrono::milliseconds firstAfter { 1000 };
    static constexpr std::chrono::milliseconds redrawEvery { 100 };

private:
    void write(const std::string& text) const;

    int m_descriptor;
    std::int64_t m_total;
    std::function<Clock::time_point()> m_now;
    bool m_enabled;
    bool m_shown { false };
    Clock::time_point m_start;
    Clock::time_point m_lastDrawn;
};

} // namespace deptest::cli
