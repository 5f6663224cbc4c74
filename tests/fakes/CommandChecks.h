#pragma once

#include "generate/ReferenceGeneration.h"
#include "tests/fakes/FakeWindow.h"
#include "tests/fakes/ListText.h"
#include "verify/TestRun.h"

#include <QTest>

#include <algorithm>
#include <functional>
#include <string>

// Checks of the commands run alike on files in memory and on the real
// files of a test machine: `Machine` is either kind, `runtimeOn(machine)`
// gives its runtime, and `monday` is when its files were made (December 7,
// 2026). Each takes its row from the calling test's data.
namespace deptest::test {

// Rows: referenceListExists, exceptionsIsDirectory and the message. The
// program ends without a line in either list; `beforeRun` may spoil the
// machine further.
template <class Machine>
void checkUnopenableFilesEndTheProgram(
    Machine& machine, const std::function<void()>& beforeRun = [] {})
{
    QFETCH(bool, referenceListExists);
    QFETCH(bool, exceptionsIsDirectory);
    QFETCH(QString, message);
    const std::string list = "\"a.so\",\"1\",\"x\"\r\n";
    if (referenceListExists)
        machine.writeText(machine.dataFile("indll.txt"), list);
    if (exceptionsIsDirectory)
        machine.makeDirectory(machine.dataFile("outdll.txt"));
    beforeRun();
    auto runtime = runtimeOn(machine);
    FakeWindow window;
    runTest(window, runtime);
    QCOMPARE(lines(runtime.messages), QStringList { message });
    QVERIFY(window.exited);
    QVERIFY(window.matching.empty() && window.missing.empty());
    QCOMPARE(runtime.eventRounds, 0);
    if (referenceListExists)
        QCOMPARE(machine.readText(machine.dataFile("indll.txt")), list);
}

// Rows: the reference list, the missing and the matching lines joined by
// '|'. The machine has "a" and "a.so" (10 bytes, Monday) in the system
// directory and a directory "sub" with "x.so" (the same) in the
// application directory.
template <class Machine, class Time> void checkBadReferenceEntries(const Time& monday)
{
    QFETCH(QByteArray, list);
    QFETCH(QString, missing);
    QFETCH(QString, matching);
    Machine machine;
    machine.makeFile(machine.systemDirectory() + "/a", 10, monday);
    machine.makeFile(machine.systemDirectory() + "/a.so", 10, monday);
    machine.makeDirectory(machine.applicationDirectory() + "/sub");
    machine.makeFile(machine.applicationDirectory() + "/sub/x.so", 10, monday);
    machine.writeText(machine.dataFile("indll.txt"), list.toStdString());
    auto runtime = runtimeOn(machine);
    FakeWindow window;
    runTest(window, runtime);
    QStringList missingLines;
    for (const std::string& line : window.missing)
        missingLines << QString::fromLatin1(line.data(), static_cast<qsizetype>(line.size()));
    QCOMPARE(missingLines.join('|'), missing);
    QCOMPARE(lines(window.matching).join('|'), matching);
    QVERIFY(runtime.messages.empty());
    // Whatever came in, the exceptions file holds whole records.
    const std::string written = machine.readText(machine.dataFile("outdll.txt"));
    QCOMPARE(std::count(written.begin(), written.end(), '\n'), std::ptrdiff_t(1 + window.missing.size()));
}

// Rows: the name list, the reference and the not-found lists generated
// from it. The machine has sys.so (3 bytes, Monday) and q"uote.so in the
// system directory and a directory "sub" in the application directory.
template <class Machine, class Time> void checkBadNames(const Time& monday)
{
    QFETCH(QByteArray, names);
    QFETCH(QByteArray, references);
    QFETCH(QByteArray, notFound);
    Machine machine;
    machine.makeFile(machine.systemDirectory() + "/sys.so", 3, monday);
    machine.makeFile(machine.systemDirectory() + "/q\"uote.so", 3, monday);
    machine.makeDirectory(machine.applicationDirectory() + "/sub");
    machine.writeText(machine.dataFile("dlls.txt"), names.toStdString());
    auto runtime = runtimeOn(machine);
    generateReference(runtime);
    QVERIFY(runtime.messages.empty());
    QCOMPARE(QByteArray::fromStdString(machine.readText(machine.dataFile("indll.txt"))), references);
    QCOMPARE(QByteArray::fromStdString(machine.readText(machine.dataFile("dllerr.txt"))), notFound);
    // Whatever the reference list holds, a test run reads it back as written.
    FakeWindow window;
    runTest(window, runtime);
    QCOMPARE(window.missing.size(), std::size_t { 0 });
}

} // namespace deptest::test
