#include "tests/support/Machine.h"

#include <QDir>
#include <QFile>

#include <fstream>
#include <sstream>

namespace deptest::test {

Machine::Machine()
{
    for (const char* leaf : { "system", "windows", "app" })
        QDir(m_root.path()).mkpath(QLatin1String(leaf));
}

HostSettings Machine::settings(const QLocale& locale) const
{
    return { applicationDirectory(), HostDirectories { systemDirectory() + "/", windowsDirectory() + "/" }, locale, {},
        {} };
}

void Machine::makeFile(const std::string& path, qint64 size, const QDateTime& modified)
{
    QFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        qFatal("cannot create %s", path.c_str());
    file.write(QByteArray(size, 'x'));
    file.flush(); // a later flush would move the modification time again
    file.setFileTime(modified, QFileDevice::FileModificationTime);
}

void Machine::makeDirectory(const std::string& path)
{
    if (!QDir().mkpath(QString::fromStdString(path)))
        qFatal("cannot create %s", path.c_str());
}

void Machine::writeText(const std::string& path, std::string_view bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

QStringList Machine::filesInApplicationDirectory() const
{
    QStringList files = QDir(QString::fromStdString(applicationDirectory())).entryList(QDir::Files | QDir::Hidden);
    files.removeOne(QStringLiteral(".deptest-tidy"));
    return files;
}

std::string Machine::readText(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

} // namespace deptest::test
