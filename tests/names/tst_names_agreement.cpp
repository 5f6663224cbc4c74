// The names agree with the loader's own tools on this machine's real files:
// ldd for every ELF program in /usr/bin and /usr/sbin, objdump's import
// lists for the Windows DLLs Wine installs. Only a test may run ldd.

#include "names/DependencyWalker.h"
#include "tests/support/Requirement.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>

#include <set>

using namespace deptest::names;

namespace {

using NameSet = std::set<QString>;

bool startsWith(const QString& path, const char* magic, int size)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) && file.read(size) == QByteArray(magic, size);
}

// Every regular file of the directories once, links to them included once.
QStringList filesOf(const QStringList& directories, const char* magic, int size)
{
    QStringList files;
    std::set<QString> seen;
    for (const QString& directory : directories) {
        const QStringList names = QDir(directory).entryList(QDir::Files, QDir::Name);
        for (const QString& name : names) {
            const QString path = directory + "/" + name;
            if (seen.insert(QFileInfo(path).canonicalFilePath()).second && startsWith(path, magic, size))
                files << path;
        }
    }
    return files;
}

// What ldd reports: each library's path, "NAME => not found" for a
// missing one; the kernel's virtual library left out.
NameSet lddSet(const QString& program)
{
    QProcess ldd;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove("LD_LIBRARY_PATH");
    environment.remove("LD_PRELOAD");
    environment.insert("LC_ALL", "C"); // its words are read, not shown
    ldd.setProcessEnvironment(environment);
    ldd.start("ldd", { program });
    if (!ldd.waitForFinished(60000))
        qFatal("ldd did not finish for %s", qPrintable(program));
    NameSet names;
    static const QRegularExpression arrow(R"(^\s*(\S+) => (.*?)(?: \(0x[0-9a-f]+\))?$)");
    static const QRegularExpression bare(R"(^\s*(/\S+) \(0x[0-9a-f]+\)$)");
    for (const QString& line : QString::fromLocal8Bit(ldd.readAllStandardOutput()).split('\n')) {
        if (line.contains("linux-vdso.so"))
            continue;
        if (const auto match = arrow.match(line); match.hasMatch())
            names.insert(match.captured(2) == "not found" ? match.captured(1) + " => not found" : match.captured(2));
        else if (const auto path = bare.match(line); path.hasMatch())
            names.insert(path.captured(1));
    }
    return names;
}

NameSet walkSet(const ProgramDependencies& walk)
{
    NameSet names;
    for (const Dependency& dependency : walk.dependencies)
        names.insert(dependency.path.empty() ? QString::fromStdString(dependency.name) + " => not found"
                                             : QString::fromStdString(dependency.path));
    return names;
}

// The files themselves: a library named under two paths (the loader
// started by ldd as /lib64/..., the same file found through the cache as
// /lib/x86_64-linux-gnu/...) is one file, and one name in the list.
NameSet canonical(const NameSet& names)
{
    NameSet files;
    for (const QString& name : names)
        files.insert(name.endsWith(" => not found") ? name : QFileInfo(name).canonicalFilePath());
    return files;
}

QString difference(const NameSet& a, const NameSet& b)
{
    QStringList only;
    for (const QString& name : a) {
        if (!b.contains(name))
            only << name;
    }
    return only.join(", ");
}

// The DLLs objdump says a PE file imports.
NameSet objdumpImports(const QString& file)
{
    QProcess objdump;
    objdump.start("x86_64-w64-mingw32-objdump", { "-p", file });
    if (!objdump.waitForFinished(60000))
        qFatal("objdump did not finish for %s", qPrintable(file));
    NameSet names;
    static const QRegularExpression dll(R"(^\s*DLL Name: (\S+)\s*$)");
    for (const QString& line : QString::fromLocal8Bit(objdump.readAllStandardOutput()).split('\n')) {
        if (const auto match = dll.match(line); match.hasMatch())
            names.insert(match.captured(1).toLower());
    }
    return names;
}

const QString wineDirectory = "/usr/lib/x86_64-linux-gnu/wine/x86_64-windows";

} // namespace

class tst_NamesAgreement : public QObject {
    Q_OBJECT

private slots:
    void elfProgramsAgreeWithLdd_data();
    void elfProgramsAgreeWithLdd();
    void peImportsAgreeWithObjdump();
};

void tst_NamesAgreement::elfProgramsAgreeWithLdd_data()
{
    QTest::addColumn<QStringList>("programs");
    QTest::newRow("/usr/bin and /usr/sbin") << filesOf({ "/usr/bin", "/usr/sbin" },
        "\x7f"
        "ELF",
        4);
    // The portable archive's own program and plugins with its bundled
    // libraries (load paths relative to $ORIGIN), when it has been built
    // (scripts/bundle.sh) and its folder is named.
    const QString bundle = qEnvironmentVariable("DEPTEST_BUNDLE_DIRECTORY");
    if (QFileInfo::exists(bundle + "/deptest")) {
        QStringList files { bundle + "/deptest" };
        QDirIterator plugins(bundle + "/plugins", { "*.so" }, QDir::Files, QDirIterator::Subdirectories);
        while (plugins.hasNext())
            files << plugins.next();
        QTest::newRow("the portable archive") << files;
    }
}

void tst_NamesAgreement::elfProgramsAgreeWithLdd()
{
    QFETCH(QStringList, programs);
    QVERIFY(!programs.isEmpty());
    DependencyWalker walker(machineLoaderOptions({}));
    QCOMPARE(walker.cacheProblem(), std::string());
    int agreeing = 0;
    int samePaths = 0;
    QStringList differing;
    for (const QString& program : programs) {
        const ProgramDependencies walk = walker.walk(program.toStdString());
        // ldd takes $ORIGIN from the path it is given, the system from the
        // program file it starts: so ldd is asked about the file itself.
        const NameSet theirPaths = lddSet(QFileInfo(program).canonicalFilePath());
        const NameSet ourPaths = walkSet(walk);
        samePaths += ourPaths == theirPaths ? 1 : 0;
        const NameSet ours = canonical(ourPaths);
        const NameSet theirs = canonical(theirPaths);
        if (ours == theirs) {
            ++agreeing;
            continue;
        }
        differing << program + ": only here: " + difference(ours, theirs) + "; only ldd: " + difference(theirs, ours);
    }
    qInfo("%d of %lld programs agree with ldd, %d of them path for path", agreeing,
        static_cast<long long>(programs.size()), samePaths);
    for (const QString& line : differing)
        qInfo("%s", qPrintable(line));
    QVERIFY2(differing.isEmpty(), qPrintable(QString::number(differing.size()) + " programs differ"));
}

namespace {

// The walk's first level: everything the file itself imports.
NameSet firstLevelOf(const ProgramDependencies& walk, const QString& file)
{
    NameSet names;
    for (const Dependency& dependency : walk.dependencies) {
        if (dependency.neededBy == file.toStdString())
            names.insert(QString::fromStdString(dependency.name).toLower());
    }
    return names;
}

// Every name the walk found, at any level.
NameSet everyNameOf(const ProgramDependencies& walk)
{
    NameSet names;
    for (const Dependency& dependency : walk.dependencies)
        names.insert(QString::fromStdString(dependency.name).toLower());
    return names;
}

// objdump's import lists of a file without the API sets and the file's
// own name.
NameSet objdumpDirectImports(const QString& file)
{
    NameSet names;
    for (const QString& name : objdumpImports(file)) {
        if (!isApiSetName(name.toStdString()) && name != QFileInfo(file).fileName().toLower())
            names.insert(name);
    }
    return names;
}

// objdump's import lists followed through the file's directory and Wine's.
NameSet objdumpClosure(const QString& file)
{
    NameSet closure;
    QStringList queue { file };
    while (!queue.isEmpty()) {
        const QString next = queue.takeFirst();
        for (const QString& name : objdumpImports(next)) {
            if (isApiSetName(name.toStdString()) || name == QFileInfo(file).fileName().toLower()
                || !closure.insert(name).second)
                continue;
            for (const QString& directory : { QFileInfo(file).absolutePath(), wineDirectory }) {
                const QStringList match = QDir(directory).entryList({ name }, QDir::Files);
                if (!match.isEmpty()) {
                    queue << directory + "/" + match.first();
                    break;
                }
            }
        }
    }
    return closure;
}

// Whether our names and objdump's agree; where not, says how they differ.
bool agree(const QString& what, const NameSet& ours, const NameSet& theirs, QStringList& differing)
{
    if (ours == theirs)
        return true;
    differing << what + ": only here: " + difference(ours, theirs) + "; only objdump: " + difference(theirs, ours);
    return false;
}

} // namespace

void tst_NamesAgreement::peImportsAgreeWithObjdump()
{
    QStringList files = filesOf({ wineDirectory }, "MZ", 2);
    // The project's own Windows test program, when it has been cross-built
    // (scripts/test-windows.sh).
    const QString program = qEnvironmentVariable("DEPTEST_WINDOWS_PROGRAM");
    if (QFileInfo::exists(program))
        files.prepend(program);
    if (files.isEmpty())
        SKIP_UNLESS_REQUIRED("Wine's DLLs are not installed (Debian: wine64)");
    DependencyWalker walker(machineLoaderOptions({ wineDirectory.toStdString() }));
    int direct = 0;
    int recursive = 0;
    QStringList differing;
    for (qsizetype index = 0; index < files.size(); ++index) {
        const QString& file = files[index];
        const ProgramDependencies walk = walker.walk(file.toStdString());
        if (!walk.problems.empty())
            QFAIL(qPrintable(file + ": " + QString::fromStdString(walk.problems[0].why)));
        // Direct: the names in the import table, as objdump lists them.
        direct += agree(file + " direct", firstLevelOf(walk, file), objdumpDirectImports(file), differing) ? 1 : 0;
        // Recursive: objdump's lists followed through the same directories;
        // it runs objdump many times, so for the first files only.
        if (index < 60)
            recursive += agree(file + " recursive", everyNameOf(walk), objdumpClosure(file), differing) ? 1 : 0;
    }
    qInfo("%d PE files agree directly, %d recursively, %lld differences", direct, recursive,
        static_cast<long long>(differing.size()));
    for (const QString& line : differing)
        qInfo("%s", qPrintable(line));
    QVERIFY2(differing.isEmpty(), qPrintable(QString::number(differing.size()) + " differences"));
}

QTEST_GUILESS_MAIN(tst_NamesAgreement)
#include "tst_names_agreement.moc"
