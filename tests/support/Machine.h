#pragma once

#include "host/HostRuntime.h"
#include "tests/fakes/FakeRuntime.h"

#include <QDateTime>
#include <QStringList>
#include <QTemporaryDir>

#include <string>
#include <string_view>

namespace deptest::test {

// Three real directories standing in for the system, windows and
// application directories, and helpers to put files into them. Tests and
// benchmarks share it.
class Machine {
public:
    Machine();
    [[nodiscard]] bool isValid() const { return m_root.isValid(); }
    [[nodiscard]] std::string systemDirectory() const { return path("system"); }
    [[nodiscard]] std::string windowsDirectory() const { return path("windows"); }
    [[nodiscard]] std::string applicationDirectory() const { return path("app"); }
    [[nodiscard]] std::string root() const { return m_root.path().toStdString(); }

    // The host settings of this machine under a locale.
    [[nodiscard]] HostSettings settings(const QLocale& locale = QLocale(QLocale::English, QLocale::UnitedStates)) const;

    // Writes `size` bytes and sets the modification time.
    static void makeFile(const std::string& path, qint64 size, const QDateTime& modified);
    static void writeText(const std::string& path, std::string_view bytes);
    static void makeDirectory(const std::string& path);
    static std::string readText(const std::string& path);
    // The files in the application directory, hidden ones too, but for the
    // mark that runs put in a folder they leave tidy.
    [[nodiscard]] QStringList filesInApplicationDirectory() const;
    [[nodiscard]] std::string dataFile(std::string_view name) const
    {
        return applicationDirectory() + "/" + std::string(name);
    }

private:
    [[nodiscard]] std::string path(const char* leaf) const
    {
        return m_root.filePath(QLatin1String(leaf)).toStdString();
    }
    QTemporaryDir m_root;
};

} // namespace deptest::test
