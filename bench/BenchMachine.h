#pragma once

#include "platform/HostRuntime.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <chrono>
#include <cstdio>
#include <string>

#include <sys/stat.h>

namespace deptest::bench {

// Directories for a measured run: the search directories and the
// application directory, filled with generated files whose dates spread
// over a year, as in a real list.
class BenchMachine {
public:
    BenchMachine()
    {
        for (const char* leaf : { "system", "windows", "app" })
            QDir(m_root.path()).mkpath(QLatin1String(leaf));
    }

    [[nodiscard]] std::string directory(const char* leaf) const
    {
        return m_root.filePath(QLatin1String(leaf)).toStdString();
    }

    static std::string fileName(int index) { return "lib" + std::to_string(index) + ".so"; }

    // Creates `count` files in `leaf`; returns nothing, the files are the point.
    void makeFiles(const char* leaf, int count) const
    {
        const QDateTime base(QDate(2026, 12, 7), QTime(10, 0));
        for (int i = 0; i < count; ++i) {
            QFile file(QString::fromStdString(directory(leaf) + "/" + fileName(i)));
            if (!file.open(QIODevice::WriteOnly))
                qFatal("cannot create %s", qPrintable(file.fileName()));
            file.write(QByteArray(i % 97, 'x'));
            file.flush();
            file.setFileTime(base.addDays(-(i % 365)), QFileDevice::FileModificationTime);
        }
    }

    [[nodiscard]] HostSettings settings() const
    {
        return { directory("app"), HostDirectories { directory("system") + "/", directory("windows") + "/" },
            QLocale(QLocale::English, QLocale::UnitedStates) };
    }

private:
    QTemporaryDir m_root;
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
