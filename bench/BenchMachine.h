#pragma once

#include "services/Window.h"
#include "tests/support/TestRuntime.h"

#include <QDateTime>
#include <QFile>

#include <chrono>
#include <cstdio>
#include <string>

#include <sys/stat.h>

namespace deptest::bench {

using test::TestRuntime;

// The test machine, filled with generated files whose dates spread over a
// year, as in a real list.
class BenchMachine : public test::Machine {
public:
    [[nodiscard]] std::string directory(const char* leaf) const { return root() + "/" + leaf; }

    static std::string fileName(int index) { return "lib" + std::to_string(index) + ".so"; }

    // Creates `count` files in `leaf`, dated over `days` days; returns
    // nothing, the files are the point.
    void makeFiles(const char* leaf, int count, int days = 365) const
    {
        const QDateTime base(QDate(2026, 12, 7), QTime(10, 0));
        for (int i = 0; i < count; ++i) {
            QFile file(QString::fromStdString(directory(leaf) + "/" + fileName(i)));
            if (!file.open(QIODevice::WriteOnly))
                qFatal("cannot create %s", qPrintable(file.fileName()));
            file.write(QByteArray(i % 97, 'x'));
            file.flush();
            file.setFileTime(base.addDays(-(i % days)), QFileDevice::FileModificationTime);
        }
    }
};

// A window that only counts what a run adds to its lists.
class StubWindow final : public Window {
public:
    void setEnabled(Button, bool) override { }
    void clear(ListBox) override { lines = matching = 0; }
    void append(ListBox list, std::string_view, std::string_view) override
    {
        ++lines;
        matching += list == ListBox::Matching ? 1 : 0;
    }
    [[nodiscard]] int missingCount() const override { return lines - matching; }
    [[nodiscard]] bool appDirOnly() const override { return false; }
    void pressExit() override { }
    [[nodiscard]] bool isUnloaded() const override { return false; }
    int lines { 0 };
    int matching { 0 };
};

template <typename Work> double seconds(Work&& work)
{
    const auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// What a plain program does for one file without any of ours: a stat call
// for each directory tried, the same paths the locator tries, then the
// date rendered by the locale.
inline std::size_t plainLookup(std::initializer_list<std::string> tried, const QLocale& locale)
{
    struct stat status { };
    bool found = false;
    for (const std::string& path : tried) {
        found = ::stat(path.c_str(), &status) == 0;
        if (found)
            break;
    }
    if (!found)
        return 0;
    const QDate day = QDateTime::fromSecsSinceEpoch(status.st_mtime).date();
    return locale.toString(day, QLocale::LongFormat).size() + static_cast<std::size_t>(status.st_size);
}

} // namespace deptest::bench
