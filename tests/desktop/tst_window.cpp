#include "desktop/DesktopRuntime.h"
#include "desktop/QtPrinter.h"
#include "desktop/frmTest.h"
#include "host/TerminationRequests.h"
#include "records/RecordReader.h"
#include "signing/ListSignature.h"
#include "signing/Signatures.h"
#include "tests/fakes/ListText.h"
#include "tests/support/TestRuntime.h"

#include <QAbstractItemModel>
#include <QApplication>
#include <QCheckBox>
#include <QDropEvent>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QListView>
#include <QMap>
#include <QMimeData>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <csignal>

using namespace deptest;
using deptest::test::entry;
using deptest::test::Machine;
using deptest::test::TestRuntime;

namespace {

// How long a step may take on a busy machine before the test fails, in ms.
constexpr int patience = 60'000;

const QDateTime reference(QDate(2026, 12, 7), QTime(10, 30));
const std::string header = test::exceptionsHeaderLine();

QStringList lines(const QListView* view)
{
    QStringList list;
    for (int row = 0; row < view->model()->rowCount(); ++row)
        list << view->model()->index(row, 0).data().toString();
    return list;
}

std::string joined(const std::vector<std::string>& texts)
{
    std::string all;
    for (const std::string& text : texts)
        all += (all.empty() ? "" : "|") + text;
    return all;
}

// The long dates of March 6, 7 and 13 and April 6, 2020, in the languages
// the suite runs the window under, as the program writes them.
QStringList longDatesOfMarch2020(const QLocale& locale)
{
    const QMap<QString, QStringList> written {
        { "C", { "Friday, 6 March 2020", "Saturday, 7 March 2020", "Friday, 13 March 2020", "Monday, 6 April 2020" } },
        { "en_US",
            { "Friday, March 6, 2020", "Saturday, March 7, 2020", "Friday, March 13, 2020", "Monday, April 6, 2020" } },
        { "de_DE",
            { "Freitag, 6. März 2020", "Samstag, 7. März 2020", "Freitag, 13. März 2020", "Montag, 6. April 2020" } },
    };
    return written.value(locale.name());
}

// Runs the event loop until the program ends it (with 0), or for a minute
// at most, after which it ends with 1.
int execUntilTheProgramEnds()
{
    QTimer watchdog;
    watchdog.setSingleShot(true);
    QObject::connect(&watchdog, &QTimer::timeout, [] { QCoreApplication::exit(1); });
    watchdog.start(patience);
    return QCoreApplication::exec();
}

} // namespace

class tst_Window : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void controls_data();
    void controls();
    void captionsFitWithoutAStandInFont();
    void windowAndInitialState();
    void tabOrder();
    void ctrlBFromEveryControl_data();
    void ctrlBFromEveryControl();
    void otherKeysReachTheControlOnly();
    void accessKeys_data();
    void accessKeys();
    void listsKeepTheirOrder();
    void exitEndsTheLoopWhileDisabled();
    void closingTheWindowEndsTheProgram();
    void terminationRequestsEndTheProgram_data();
    void terminationRequestsEndTheProgram();
    // Test runs in the real window.
    void hugeLineInTheRealWindow();
    void realWindowEndToEnd();
    void ctrlBDuringARunSaysWhyNot();
    void ctrlBSignsWithTheConfiguredKey_data();
    void ctrlBSignsWithTheConfiguredKey();
    void contentsInTheWindow();
    void endingTheProgramStopsTheRun_data();
    void endingTheProgramStopsTheRun();
    void listFromAMachineOfAnotherLanguage_data();
    void listFromAMachineOfAnotherLanguage();
    void eachListInItsOwnCodePage();
    void numericDatesEndToEnd_data();
    void numericDatesEndToEnd();
    void droppedProgramsBecomeTheNameList();

private:
    // Opens the window anew on the test's machine, the runtime in the
    // language given; false when it never became active.
    bool open(const QLocale& locale);

    std::unique_ptr<Machine> m_machine;
    std::unique_ptr<TestRuntime> m_runtime;
    std::unique_ptr<frmTest> m_window;
};

void tst_Window::init()
{
    substituteWindowFonts(); // as the program does when it starts
    m_machine = std::make_unique<Machine>();
    QVERIFY(open(QLocale(QLocale::English, QLocale::UnitedStates)));
}

bool tst_Window::open(const QLocale& locale)
{
    m_window.reset();
    m_runtime = std::make_unique<TestRuntime>(*m_machine, locale);
    m_window = std::make_unique<frmTest>(*m_runtime);
    m_window->show();
    QApplication::setActiveWindow(m_window.get());
    return QTest::qWaitForWindowActive(m_window.get(), patience);
}

void tst_Window::cleanup()
{
    m_window.reset();
    m_runtime.reset();
    m_machine.reset();
}

void tst_Window::controls_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QRect>("twips");
    QTest::addColumn<qreal>("pointSize"); // 0: the window's default font
    QTest::addColumn<QString>("accessibleName");

    QTest::newRow("lstMatching") << "lstMatching"
                                 << "" << QRect(120, 480, 3015, 2985) << 0.0 << "Matching Files";
    QTest::newRow("lstMissing") << "lstMissing"
                                << "" << QRect(3360, 480, 3495, 2985) << 0.0 << "Missing/Unmatched Files";
    QTest::newRow("cmdTest") << "cmdTest"
                             << "&Test" << QRect(600, 4080, 1695, 495) << 9.75 << "Test";
    QTest::newRow("cmdPrint") << "cmdPrint"
                              << "&Print" << QRect(2640, 4080, 1695, 495) << 9.75 << "Print";
    QTest::newRow("cmdExit") << "cmdExit"
                             << "E&xit" << QRect(4680, 4080, 1695, 495) << 9.75 << "Exit";
    QTest::newRow("lblCaption(0)") << "lblCaption(0)"
                                   << "Matching Files:" << QRect(120, 120, 2775, 255) << 9.75 << "Matching Files:";
    QTest::newRow("lblCaption(1)") << "lblCaption(1)"
                                   << "Missing/Unmatched Files:" << QRect(3360, 120, 3015, 255) << 9.75
                                   << "Missing/Unmatched Files:";
    QTest::newRow("chkAppDir") << "chkAppDir"
                               << "Search the Application Directory only" << QRect(1320, 3600, 3735, 255) << 8.25
                               << "Search the Application Directory only";
}

void tst_Window::controls()
{
    QFETCH(QString, name);
    QFETCH(QString, caption);
    QFETCH(QRect, twips);
    QFETCH(qreal, pointSize);
    QFETCH(QString, accessibleName);

    auto* control = m_window->findChild<QWidget*>(name);
    QVERIFY2(control, qPrintable(name));
    QCOMPARE(control->parentWidget(), m_window.get());
    QCOMPARE(control->geometry(), QRect(twips.x() / 15, twips.y() / 15, twips.width() / 15, twips.height() / 15));
    QCOMPARE(control->accessibleName(), accessibleName);
    QString shown;
    if (auto* button = qobject_cast<QAbstractButton*>(control))
        shown = button->text();
    else if (auto* label = qobject_cast<QLabel*>(control))
        shown = label->text();
    QCOMPARE(shown, caption);
    if (pointSize > 0) {
        QCOMPARE(control->font().family(), QStringLiteral("MS Sans Serif"));
        // Smaller only where the font this machine has would cut the caption.
        QVERIFY2(control->font().pointSizeF() <= pointSize && control->font().pointSizeF() >= 7.0,
            qPrintable(QString::number(control->font().pointSizeF())));
        // The whole caption fits its control in the font actually used:
        // the style's own measure of text, margins and check box indicator.
        QVERIFY2(control->sizeHint().width() <= control->width(),
            qPrintable(QStringLiteral("%1 needs %2 pixels, has %3 (%4)")
                           .arg(name)
                           .arg(control->sizeHint().width())
                           .arg(control->width())
                           .arg(QFontInfo(control->font()).family())));
        QCOMPARE(control->font().weight(), QFont::Weight(700));
        QVERIFY(!control->font().italic() && !control->font().underline() && !control->font().strikeOut());
    }
}

void tst_Window::captionsFitWithoutAStandInFont()
{
    // Without a sans serif of the old width the window's bold fallback is
    // wider: the captions are made smaller until they fit.
    const QStringList standIns = QFont::substitutes(QStringLiteral("MS Sans Serif"));
    QFont::removeSubstitutions(QStringLiteral("MS Sans Serif"));
    QFont wide(QStringLiteral("DejaVu Sans"));
    QFont::insertSubstitution(QStringLiteral("MS Sans Serif"), wide.family());
    frmTest window(*m_runtime);
    QFont::removeSubstitutions(QStringLiteral("MS Sans Serif"));
    QFont::insertSubstitutions(QStringLiteral("MS Sans Serif"), standIns);
    for (const char* name : { "cmdTest", "cmdPrint", "cmdExit", "lblCaption(0)", "lblCaption(1)", "chkAppDir" }) {
        auto* control = window.findChild<QWidget*>(name);
        QVERIFY2(control->sizeHint().width() <= control->width(), name);
        QVERIFY(control->font().pointSizeF() >= 7.0);
    }
    QVERIFY(window.findChild<QWidget*>("chkAppDir")->font().pointSizeF() < 8.25);
}

void tst_Window::windowAndInitialState()
{
    QCOMPARE(m_window->objectName(), QStringLiteral("frmTest"));
    QCOMPARE(m_window->windowTitle(), QStringLiteral("Test Dependent Files"));
    QCOMPARE(m_window->size(), QSize(466, 320));
    QCOMPARE(m_window->minimumSize(), m_window->maximumSize());
    const QList<QSize> iconSizes = m_window->windowIcon().availableSizes();
    QVERIFY(iconSizes.contains(QSize(16, 16)) && iconSizes.contains(QSize(32, 32)));

    for (const char* name : { "lstMatching", "lstMissing" }) {
        auto* list = m_window->findChild<QListView*>(name);
        QCOMPARE(list->model()->rowCount(), 0);
        QCOMPARE(list->selectionMode(), QAbstractItemView::SingleSelection);
    }
    QVERIFY(!m_window->findChild<QCheckBox*>("chkAppDir")->isChecked());
    for (const char* name : { "cmdTest", "cmdPrint", "cmdExit" })
        QVERIFY(m_window->findChild<QPushButton*>(name)->isEnabled());
    QCOMPARE(QApplication::focusWidget(), m_window->findChild<QWidget*>("lstMatching"));
    QCOMPARE(m_window->findChildren<QLabel*>().size(), 2);
}

void tst_Window::tabOrder()
{
    const QStringList expected { "lstMissing", "cmdTest", "cmdPrint", "cmdExit", "chkAppDir", "lstMatching" };
    QStringList visited;
    for (int step = 0; step < expected.size(); ++step) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        visited << QApplication::focusWidget()->objectName();
    }
    QCOMPARE(visited, expected);
}

void tst_Window::ctrlBFromEveryControl_data()
{
    QTest::addColumn<QString>("control");
    QTest::addColumn<int>("modifiers");
    for (const char* name : { "lstMatching", "lstMissing", "cmdTest", "cmdPrint", "cmdExit", "chkAppDir" })
        QTest::newRow(name) << name << int(Qt::ControlModifier);
    QTest::newRow("with Shift") << "lstMissing" << int(Qt::ControlModifier | Qt::ShiftModifier);
}

void tst_Window::ctrlBFromEveryControl()
{
    QFETCH(QString, control);
    QFETCH(int, modifiers);
    // Without a name list the generation says so: that message proves the
    // handler ran, and that it ran exactly once.
    auto* widget = m_window->findChild<QWidget*>(control);
    widget->setFocus();
    QTest::keyClick(widget, Qt::Key_B, Qt::KeyboardModifiers(modifiers));
    QCOMPARE(QString::fromStdString(joined(m_runtime->messages)), QStringLiteral("Error:  Could not find DLLs.txt."));
    QVERIFY(!QGuiApplication::overrideCursor());
}

void tst_Window::otherKeysReachTheControlOnly()
{
    m_window->append(ListBox::Matching, "first", {});
    m_window->append(ListBox::Matching, "second", {});
    auto* list = m_window->findChild<QListView*>("lstMatching");
    QTRY_COMPARE_WITH_TIMEOUT(list->model()->rowCount(), 2, patience); // the lines reach the view in a batch
    list->setFocus();
    QTest::keyClick(list, Qt::Key_Down);
    QTest::keyClick(list, Qt::Key_Down);
    QCOMPARE(list->currentIndex().row(), 1);
    QTest::keyClick(list, Qt::Key_B);

    auto* box = m_window->findChild<QCheckBox*>("chkAppDir");
    box->setFocus();
    QTest::keyClick(box, Qt::Key_Space);
    QVERIFY(box->isChecked());
    QVERIFY(m_window->appDirOnly());

    auto* print = m_window->findChild<QPushButton*>("cmdPrint");
    print->setFocus();
    QTest::keyClick(print, Qt::Key_Space);
    QCOMPARE(m_runtime->messages, std::vector<std::string> { "No missing files to report." });

    // Character codes: only Ctrl+B gives 2.
    QCOMPARE(characterCode(QKeyEvent(QEvent::KeyPress, Qt::Key_B, Qt::ControlModifier)), std::int16_t { 2 });
    QCOMPARE(characterCode(QKeyEvent(QEvent::KeyPress, Qt::Key_B, Qt::NoModifier, QStringLiteral("b"))),
        std::int16_t { 'b' });
    QCOMPARE(characterCode(QKeyEvent(QEvent::KeyPress, Qt::Key_A, Qt::ControlModifier)), std::int16_t { 1 });
    QCOMPARE(characterCode(QKeyEvent(QEvent::KeyPress, Qt::Key_F2, Qt::NoModifier)), std::int16_t { 0 });
}

void tst_Window::accessKeys_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<QString>("message");
    QTest::addColumn<bool>("unloaded");
    QTest::newRow("Alt+T runs Test") << int(Qt::Key_T) << "Error:  Could not find InDLL.txt." << true;
    QTest::newRow("Alt+P runs Print") << int(Qt::Key_P) << "No missing files to report." << false;
    QTest::newRow("Alt+X runs Exit") << int(Qt::Key_X) << "" << true;
}

void tst_Window::accessKeys()
{
    QFETCH(int, key);
    QFETCH(QString, message);
    QFETCH(bool, unloaded);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key(key), Qt::AltModifier);
    // An access key presses its button with a short animation: once the
    // press has done anything, it has done all it does.
    QTRY_VERIFY_WITH_TIMEOUT(m_window->isUnloaded() || !m_runtime->messages.empty(), patience);
    QCOMPARE(m_window->isUnloaded(), unloaded);
    QCOMPARE(QString::fromStdString(joined(m_runtime->messages)), message);
    QCOMPARE(m_window->isVisible(), !unloaded);
}

void tst_Window::listsKeepTheirOrder()
{
    for (int i = 0; i < 20000; ++i)
        m_window->append(ListBox::Missing, std::to_string(i), {});
    QCOMPARE(m_window->missingCount(), 20000);
    auto* list = m_window->findChild<QListView*>("lstMissing");
    QTRY_COMPARE_WITH_TIMEOUT(list->model()->rowCount(), 20000, patience);
    for (int row : { 0, 1, 9999, 19999 })
        QCOMPARE(list->model()->index(row, 0).data().toString(), QString::number(row));
    m_window->clear(ListBox::Missing);
    QCOMPARE(m_window->missingCount(), 0);
    QCOMPARE(list->model()->rowCount(), 0);
}

void tst_Window::exitEndsTheLoopWhileDisabled()
{
    QTimer::singleShot(0, m_window.get(), [this] {
        setButtonsEnabled(*m_window, false);
        m_window->pressExit();
    });
    QCOMPARE(execUntilTheProgramEnds(), 0);
    QVERIFY(m_window->isUnloaded());
    QVERIFY(!m_window->isVisible());
}

void tst_Window::closingTheWindowEndsTheProgram()
{
    QTimer::singleShot(0, m_window.get(), [this] { m_window->close(); });
    QCOMPARE(execUntilTheProgramEnds(), 0);
    QVERIFY(m_window->isUnloaded());
}

void tst_Window::terminationRequestsEndTheProgram_data()
{
    QTest::addColumn<QString>("messageBox");
    QTest::addColumn<int>("requestsNeeded");
    QTest::newRow("idle window") << "none" << 1;
    // A box that belongs to the window goes with it.
    QTest::newRow("box of the window waiting") << "window's" << 1;
    // A box shown while another program was active belongs to no window
    // and keeps the program alive after the window has closed.
    QTest::newRow("box of no window waiting") << "own" << 2;
}

void tst_Window::terminationRequestsEndTheProgram()
{
    QFETCH(QString, messageBox);
    QFETCH(int, requestsNeeded);
    TerminationRequests termination;
    connect(&termination, &TerminationRequests::requested, m_window.get(), &frmTest::endOnRequest);
    int requests = 0;
    const auto request = [&requests] {
        ++requests;
        std::raise(SIGTERM);
    };
    // Asks again once the program has handled a request, for as long as it
    // still shows a window that belongs to no other: the program cannot end
    // by itself then. Nothing here depends on how long a request takes. A
    // request still queued when the program has ended goes with `termination`.
    connect(
        &termination, &TerminationRequests::requested, &termination,
        [&request] {
            const QWidgetList windows = QApplication::topLevelWidgets();
            if (std::any_of(windows.begin(), windows.end(),
                    [](const QWidget* window) { return window->isVisible() && window->parentWidget() == nullptr; }))
                request();
        },
        Qt::QueuedConnection);
    bool boxReturned = false;
    QTimer::singleShot(0, m_window.get(), [&] {
        request();
        if (messageBox == "none")
            return;
        if (messageBox == "own")
            QApplication::setActiveWindow(nullptr);
        showMessageBox("Error  61: Disk full");
        boxReturned = true;
    });
    QCOMPARE(execUntilTheProgramEnds(), 0);
    QVERIFY(m_window->isUnloaded());
    QCOMPARE(requests, requestsNeeded);
    QCOMPARE(boxReturned, messageBox != "none");
}

void tst_Window::hugeLineInTheRealWindow()
{
    const Machine& machine = *m_machine;
    Machine::writeText(machine.dataFile("indll.txt"), std::string(50 * 1024 * 1024, 'n') + "\r\n");
    frmTest& window = *m_window;
    QTest::mouseClick(window.findChild<QPushButton*>("cmdTest"), Qt::LeftButton);
    const QStringList shown = lines(window.findChild<QListView*>("lstMissing"));
    QCOMPARE(shown.size(), 1);
    QVERIFY(shown.front().size() <= 1025);
    auto* view = window.findChild<QListView*>("lstMissing");
    view->viewport()->repaint(); // paints the shortened line now
    // A name longer than any path is refused; the exceptions file keeps
    // its start, as long as a path can be.
    const std::string exceptions = Machine::readText(machine.dataFile("outdll.txt"));
    QVERIFY(exceptions.find("\"" + std::string(RecordReader::longestField, 'n') + "\",0,") != std::string::npos);
    QVERIFY(exceptions.ends_with("\"Bad file name or number\"\r\n"));
}

void tst_Window::realWindowEndToEnd()
{
    const Machine& machine = *m_machine;
    Machine::makeFile(machine.systemDirectory() + "/a.so", 10, reference);
    Machine::writeText(machine.dataFile("indll.txt"), entry("a.so", "10") + entry("b.so", "10"));
    TestRuntime& runtime = *m_runtime;
    frmTest& window = *m_window;
    auto* cmdTest = window.findChild<QPushButton*>("cmdTest");
    std::vector<bool> enabledDuringRun;
    runtime.onProcessEvents = [&] { enabledDuringRun.push_back(cmdTest->isEnabled()); };
    QTest::mouseClick(cmdTest, Qt::LeftButton);
    QCOMPARE(lines(window.findChild<QListView*>("lstMatching")), QStringList { "a.so" });
    auto* lstMissing = window.findChild<QListView*>("lstMissing");
    QCOMPARE(lines(lstMissing), QStringList { "b.so - Error: File not found" });
    // The line says why in its tooltip, and to a screen reader.
    const QModelIndex missing = lstMissing->model()->index(0, 0);
    const QString why = QStringLiteral("Looked for last as %1/b.so\nError  53: File not found")
                            .arg(QString::fromStdString(machine.applicationDirectory()));
    QCOMPARE(missing.data(Qt::ToolTipRole).toString(), why);
    QCOMPARE(missing.data(Qt::AccessibleDescriptionRole).toString(), why);
    QVERIFY(!window.findChild<QListView*>("lstMatching")->model()->index(0, 0).data(Qt::ToolTipRole).isValid());
    // Events are handled at least once an entry, and while lookups are
    // under way as often as they take: the button is off each time.
    QVERIFY(enabledDuringRun.size() >= 2);
    QCOMPARE(std::count(enabledDuringRun.begin(), enabledDuringRun.end(), true), 0);
    QVERIFY(cmdTest->isEnabled());
}

void tst_Window::ctrlBDuringARunSaysWhyNot()
{
    const Machine& machine = *m_machine;
    Machine::makeFile(machine.systemDirectory() + "/a.so", 10, reference);
    Machine::writeText(machine.dataFile("dlls.txt"), "a.so\r\n");
    const std::string list = "\"a.so\",\"10\",\"Monday, December 7, 2026\"\r\n\"b.so\",\"10\",\"x\"\r\n";
    Machine::writeText(machine.dataFile("indll.txt"), list);
    TestRuntime& runtime = *m_runtime;
    frmTest& window = *m_window;
    const auto pressCtrlB = [&window] {
        QWidget* focus = QApplication::focusWidget();
        QTest::keyClick(focus ? focus : &window, Qt::Key_B, Qt::ControlModifier);
    };
    runtime.onProcessEvents = pressCtrlB;
    QTest::mouseClick(window.findChild<QPushButton*>("cmdTest"), Qt::LeftButton);
    QCOMPARE(Machine::readText(machine.dataFile("indll.txt")), list);
    QVERIFY(!QFile::exists(QString::fromStdString(machine.dataFile("dllerr.txt"))));
    // The key is not dropped unseen: each press during the run says why
    // nothing was built.
    QVERIFY(!runtime.messages.empty());
    for (const std::string& message : runtime.messages)
        QCOMPARE(message,
            "The reference list was not built: a test is reading it. Press Ctrl+B again when the test has ended.");
    runtime.messages.clear();
    // Outside a run the same key does generate.
    runtime.onProcessEvents = nullptr;
    pressCtrlB();
    QVERIFY(QFile::exists(QString::fromStdString(machine.dataFile("dllerr.txt"))));
    QCOMPARE(runtime.messages.size(), std::size_t { 0 });
}

void tst_Window::ctrlBSignsWithTheConfiguredKey_data()
{
    QTest::addColumn<QString>("password"); // the key's own; empty for a plain key
    QTest::addColumn<QString>("typed"); // "-" for a cancelled box
    QTest::addColumn<bool>("keyThere");
    QTest::addColumn<QString>("refusal"); // what the message says after the key's path; empty when signed
    QTest::newRow("plain key") << ""
                               << "" << true << "";
    QTest::newRow("encrypted key, its password") << "right"
                                                 << "right" << true << "";
    QTest::newRow("encrypted key, a wrong password") << "right"
                                                     << "wrong" << true << ": wrong password";
    QTest::newRow("encrypted key, box cancelled") << "right"
                                                  << "-" << true << ": no password was given for it";
    QTest::newRow("no key file") << ""
                                 << "" << false << ": ";
}

void tst_Window::ctrlBSignsWithTheConfiguredKey()
{
    QFETCH(QString, password);
    QFETCH(QString, typed);
    QFETCH(bool, keyThere);
    QFETCH(QString, refusal);
    const Machine& machine = *m_machine;
    Machine::makeFile(machine.systemDirectory() + "/a.so", 10, reference);
    Machine::writeText(machine.dataFile("dlls.txt"), "a.so\r\n");
    Machine::writeText(machine.dataFile("indll.txt"), "old\r\n");
    const signing::SecretKey key = signing::newSecretKey();
    const std::string keyFile = machine.root() + "/signing.key";
    if (keyThere)
        Machine::writeText(
            keyFile, signing::secretKeyText(signing::sealSecretKey(key, password.toStdString(), 1 << 15, 1 << 24)));
    HostSettings settings = machine.settings(QLocale(QLocale::English, QLocale::UnitedStates));
    settings.signingKey = keyFile;
    m_window.reset();
    m_runtime = std::make_unique<TestRuntime>(std::move(settings));
    if (typed != "-")
        m_runtime->password = typed.toStdString();
    m_window = std::make_unique<frmTest>(*m_runtime);
    m_window->show();

    QTest::keyClick(m_window.get(), Qt::Key_B, Qt::ControlModifier);
    // The password is asked for only where the key has one.
    QCOMPARE(m_runtime->prompts.size(), keyThere && !password.isEmpty() ? std::size_t { 1 } : std::size_t { 0 });
    const std::string list = Machine::readText(machine.dataFile("indll.txt"));
    const std::string signatureFile = machine.dataFile("indll.txt.minisig");
    if (!refusal.isEmpty()) {
        // Said with the key's file, and the old list kept as it was.
        QCOMPARE(m_runtime->messages.size(), std::size_t { 1 });
        QVERIFY2(
            m_runtime->messages[0].starts_with("The reference list was not built: " + keyFile + refusal.toStdString()),
            m_runtime->messages[0].c_str());
        QCOMPARE(list, std::string("old\r\n"));
        QVERIFY(!QFile::exists(QString::fromStdString(signatureFile)));
        return;
    }
    QCOMPARE(m_runtime->messages, std::vector<std::string> {});
    QVERIFY(list.starts_with("\"a.so\",\"10\","));
    const std::vector<signing::TrustedKey> trusted { { "signing.pub", signing::publicKeyOf(key) } };
    const auto checked = signing::checkList(list, Machine::readText(signatureFile), trusted);
    QVERIFY2(checked, checked ? "" : checked.error().description.c_str());
    QVERIFY2(checked->trustedComment.starts_with("timestamp:"), checked->trustedComment.c_str());
    QVERIFY2(checked->trustedComment.ends_with("\tdeptest 1.0"), checked->trustedComment.c_str());
}

void tst_Window::contentsInTheWindow()
{
    const Machine& machine = *m_machine;
    const std::string file = machine.systemDirectory() + "/a.so";
    // Three blocks of bytes at the reference time.
    const auto write = [&file](char byte) {
        Machine::writeText(file, std::string(std::size_t { 3 } << 20, byte));
        QFile touched(QString::fromStdString(file));
        return touched.open(QIODevice::ReadWrite) && touched.setFileTime(reference, QFileDevice::FileModificationTime);
    };
    QVERIFY(write('a'));
    Machine::writeText(machine.dataFile("dlls.txt"), "a.so\r\n");
    Machine::writeText(machine.dataFile("indll.sha256"), "");
    TestRuntime& runtime = *m_runtime;
    frmTest& window = *m_window;
    // A digest list that is there is kept current by Ctrl+B, with no option to set.
    QTest::keyClick(&window, Qt::Key_B, Qt::ControlModifier);
    QVERIFY(Machine::readText(machine.dataFile("indll.sha256")).ends_with("  a.so\n"));
    auto* cmdTest = window.findChild<QPushButton*>("cmdTest");
    QTest::mouseClick(cmdTest, Qt::LeftButton);
    QCOMPARE(lines(window.findChild<QListView*>("lstMatching")), QStringList { "a.so" });
    // The window answered after the entry. Its lookups run in flight: a
    // worker reads the blocks while the window waits for the entry's
    // answer, handling events every few milliseconds meanwhile, which no
    // count of rounds can tell without a clock; a run in turn answers
    // between the blocks (tst_testrun_machine).
    QVERIFY(runtime.eventRounds >= 1);

    QVERIFY(write('b'));
    QTest::mouseClick(cmdTest, Qt::LeftButton);
    QCOMPARE(lines(window.findChild<QListView*>("lstMissing")), QStringList { "a.so - Contents differ" });
    QVERIFY(runtime.messages.empty());
}

void tst_Window::endingTheProgramStopsTheRun_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("close box") << "close";
    QTest::newRow("Exit") << "exit";
    QTest::newRow("terminate signal") << "signal";
}

void tst_Window::endingTheProgramStopsTheRun()
{
    QFETCH(QString, how);
    const Machine& machine = *m_machine;
    std::string list;
    for (int i = 0; i < 50; ++i)
        list += "\"m" + std::to_string(i) + ".so\",\"1\",\"x\"\r\n";
    Machine::writeText(machine.dataFile("indll.txt"), list);
    TestRuntime& runtime = *m_runtime;
    frmTest& window = *m_window;
    TerminationRequests termination;
    connect(&termination, &TerminationRequests::requested, &window, &frmTest::endOnRequest);
    runtime.onProcessEvents = [&] {
        if (runtime.eventRounds != 2)
            return;
        if (how == "close")
            window.close();
        else if (how == "exit")
            window.pressExit();
        else
            std::raise(SIGTERM); // as from kill, or Ctrl+C in a terminal
    };
    QTest::mouseClick(window.findChild<QPushButton*>("cmdTest"), Qt::LeftButton);
    QVERIFY(window.isUnloaded());
    QVERIFY(runtime.eventRounds >= 2 && runtime.eventRounds < 50);
    // The records of the entries done so far, each of them whole and in
    // the list's order. Events are also processed while lookups are under
    // way, so there may be fewer entries done than event rounds, never more.
    const std::string written = Machine::readText(machine.dataFile("outdll.txt"));
    const auto done = static_cast<int>(std::count(written.begin(), written.end(), '\n')) - 1;
    QVERIFY2(done >= 0 && done <= runtime.eventRounds, written.c_str());
    std::string expected = header;
    for (int i = 0; i < done; ++i)
        expected += "\"m" + std::to_string(i) + ".so\",1,\"x\",\"File not found\"\r\n";
    QCOMPARE(written, expected);
}

void tst_Window::listFromAMachineOfAnotherLanguage_data()
{
    QTest::addColumn<QLocale>("referenceMachine");
    QTest::addColumn<QLocale>("targetMachine");
    QTest::addColumn<QString>("march"); // March 2, 2025 in the list
    QTest::newRow("German list, English machine") << QLocale("de_DE") << QLocale("en_US") << "Sonntag, 2. März 2025";
    QTest::newRow("Russian list, Japanese machine")
        << QLocale("ru_RU") << QLocale("ja_JP") << "воскресенье, 2 марта 2025 г.";
    QTest::newRow("Arabic list, French machine") << QLocale("ar_EG") << QLocale("fr_FR") << "الأحد، ٢ مارس ٢٠٢٥";
    QTest::newRow("Polish list, Croatian machine") << QLocale("pl_PL") << QLocale("hr_HR") << "niedziela, 2 marca 2025";
}

void tst_Window::listFromAMachineOfAnotherLanguage()
{
    // Ctrl+B on a machine of one language, Test on a machine of another,
    // the same files: everything matches.
    QFETCH(QLocale, referenceMachine);
    QFETCH(QLocale, targetMachine);
    QFETCH(QString, march);
    const Machine& machine = *m_machine;
    QStringList names;
    for (int month = 1; month <= 12; ++month) {
        const std::string name = "m" + std::to_string(month) + ".so";
        Machine::makeFile(machine.systemDirectory() + "/" + name, month, QDateTime(QDate(2025, month, 2), QTime(9, 0)));
        names << QString::fromStdString(name);
    }
    Machine::writeText(machine.dataFile("dlls.txt"), names.join(QStringLiteral("\r\n")).toStdString());
    QVERIFY(open(referenceMachine));
    QTest::keyClick(m_window->findChild<QWidget*>("lstMatching"), Qt::Key_B, Qt::ControlModifier);
    QVERIFY(m_runtime->messages.empty());
    const std::string list = Machine::readText(machine.dataFile("indll.txt"));
    QVERIFY2(QString::fromStdString(list).contains(march), list.c_str());

    QVERIFY(open(targetMachine));
    QTest::mouseClick(m_window->findChild<QPushButton*>("cmdTest"), Qt::LeftButton);
    QCOMPARE(lines(m_window->findChild<QListView*>("lstMatching")), names);
    QCOMPARE(lines(m_window->findChild<QListView*>("lstMissing")), QStringList {});
    QCOMPARE(Machine::readText(machine.dataFile("outdll.txt")), header);
}

void tst_Window::eachListInItsOwnCodePage()
{
    // Two lists from Windows machines tested one after the other in one
    // program on this machine's language (the test runs under LANG=C.UTF-8
    // and without LANG too): the second list's names show in the code page
    // its own dates read in, not in the first list's.
    const Machine& machine = *m_machine;
    QVERIFY(open(QLocale::system()));
    frmTest& window = *m_window;
    auto* lstMissing = window.findChild<QListView*>("lstMissing");
    Machine::writeText(
        machine.dataFile("indll.txt"), "\"\xf4\xe0\xe9\xeb.so\",\"10\",\"6 \xec\xe0\xf0\xf2\xe0 2020 \xe3.\"\r\n");
    QTest::mouseClick(window.findChild<QPushButton*>("cmdTest"), Qt::LeftButton);
    QCOMPARE(lines(lstMissing), QStringList { QStringLiteral("файл.so - Error: File not found") });
    Machine::writeText(machine.dataFile("indll.txt"), "\"M\xf6tor.so\",\"10\",\"Freitag, 6. M\xe4rz 2020\"\r\n");
    QTest::mouseClick(window.findChild<QPushButton*>("cmdTest"), Qt::LeftButton);
    QCOMPARE(lines(lstMissing), QStringList { QStringLiteral("Mötor.so - Error: File not found") });
    // The exceptions file keeps the name's bytes and the date in this
    // machine's long format.
    const QString march6 = longDatesOfMarch2020(QLocale::system()).value(0);
    if (march6.isEmpty())
        QSKIP("the long dates of this machine's language are not written down here");
    QCOMPARE(Machine::readText(machine.dataFile("outdll.txt")),
        header + "\"M\xf6tor.so\",10,\"" + march6.toStdString() + "\",\"File not found\"\r\n");
}

void tst_Window::numericDatesEndToEnd_data()
{
    // Texts put in place of long dates the program wrote: one of the file's
    // true day, one of another day, one that names no day. Each list's own
    // entries may decide the order of its numbers.
    QTest::addColumn<QString>("right");
    QTest::addColumn<QString>("wrong");
    QTest::addColumn<int>("wrongDay"); // of the long dates of March 2020
    QTest::addColumn<QString>("unreadable");
    QTest::addColumn<QString>("decider"); // for a file of March 13, 2020; empty: none
    QTest::newRow("ISO") << "2020-03-06"
                         << "2020-03-07" << 1 << "2020-13-06"
                         << "";
    QTest::newRow("dotted") << "06.03.2020"
                            << "07.03.2020" << 1 << "32.03.2020"
                            << "";
    QTest::newRow("slashed, the list decides") << "06/03/2020"
                                               << "06/04/2020" << 3 << "32/03/2020"
                                               << "13/03/2020";
}

namespace {

// Files of March 6, 2020, and one of March 13 (decide.so), with the name
// list of them all.
void makeFilesOfMarch2020(const Machine& machine)
{
    const QStringList names { "long.so", "right.so", "wrong.so", "unread.so", "decide.so" };
    for (const QString& name : names) {
        const QDate day = name == "decide.so" ? QDate(2020, 3, 13) : QDate(2020, 3, 6);
        Machine::makeFile(machine.systemDirectory() + "/" + name.toStdString(), 10, QDateTime(day, QTime(9, 0)));
    }
    Machine::writeText(machine.dataFile("dlls.txt"), names.join(QStringLiteral("\r\n")).toStdString());
}

// Puts another text in place of the date of a file of size 10 in a
// reference list.
void rewriteDate(std::string& list, const QString& name, const std::string& from, const QString& to)
{
    const std::string line = "\"" + name.toStdString() + "\",\"10\",\"" + from + "\"";
    const std::size_t at = list.find(line);
    QVERIFY2(at != std::string::npos, list.c_str());
    list.replace(at, line.size(), "\"" + name.toStdString() + "\",\"10\",\"" + to.toStdString() + "\"");
}

// pdftotext may break or join lines; the blocks compare without spaces.
QString compact(QString printed) { return printed.remove(QRegularExpression("\\s")); }

// Alt+P prints the report to the PDF: it holds each of the blocks, and
// nothing of the files that matched.
void checkPrintedReport(frmTest& window, const TestRuntime& runtime, const QString& pdftotext, const QString& pdf,
    const QStringList& blocks)
{
    QTest::keyClick(window.findChild<QWidget*>("lstMatching"), Qt::Key_P, Qt::AltModifier);
    QTRY_VERIFY_WITH_TIMEOUT(
        QFileInfo(pdf).size() > 0 && window.findChild<QPushButton*>("cmdPrint")->isEnabled(), patience);
    QVERIFY2(runtime.messages.empty(), joined(runtime.messages).c_str());
    QProcess text;
    text.start(pdftotext, { pdf, "-" });
    QVERIFY(text.waitForFinished(patience));
    QCOMPARE(text.exitCode(), 0);
    const QString printed = compact(QString::fromUtf8(text.readAllStandardOutput()));
    for (const QString& block : blocks)
        QVERIFY2(printed.contains(block), qPrintable(block + " not in " + printed));
    QVERIFY(!printed.contains("right.so") && !printed.contains("long.so"));
}

} // namespace

void tst_Window::numericDatesEndToEnd()
{
    // Ctrl+B, Test and Print to a PDF in the real window on this machine's
    // language (the test runs under LANG=C.UTF-8, without LANG and under a
    // named language).
    QFETCH(QString, right);
    QFETCH(QString, wrong);
    QFETCH(int, wrongDay);
    QFETCH(QString, unreadable);
    QFETCH(QString, decider);
    const QString pdftotext = QStandardPaths::findExecutable("pdftotext");
    QVERIFY2(!pdftotext.isEmpty(), "pdftotext (poppler-utils) is not installed");
    const Machine& machine = *m_machine;
    const QLocale here = QLocale::system();
    const QStringList longDates = longDatesOfMarch2020(here);
    if (longDates.isEmpty())
        QSKIP("the long dates of this machine's language are not written down here");
    makeFilesOfMarch2020(machine);
    QVERIFY(open(here));
    TestRuntime& runtime = *m_runtime;
    frmTest& window = *m_window;
    const QString pdf = QString::fromStdString(machine.root() + "/report.pdf");
    runtime.setPrinter(QtPrinter::toPdf(pdf));
    QTest::keyClick(window.findChild<QWidget*>("lstMatching"), Qt::Key_B, Qt::ControlModifier);
    QCOMPARE(QString::fromStdString(joined(runtime.messages)), QString());

    // The reference list in this machine's long dates, some rewritten.
    const std::string long6 = longDates[0].toStdString();
    const std::string long13 = longDates[2].toStdString();
    std::string list = Machine::readText(machine.dataFile("indll.txt"));
    rewriteDate(list, "right.so", long6, right);
    rewriteDate(list, "wrong.so", long6, wrong);
    rewriteDate(list, "unread.so", long6, unreadable);
    if (!decider.isEmpty())
        rewriteDate(list, "decide.so", long13, decider);
    if (QTest::currentTestFailed())
        return;
    Machine::writeText(machine.dataFile("indll.txt"), list);

    QTest::keyClick(window.findChild<QWidget*>("lstMatching"), Qt::Key_T, Qt::AltModifier);
    const QStringList matching { "long.so", "right.so", "decide.so" };
    QTRY_COMPARE_WITH_TIMEOUT(lines(window.findChild<QListView*>("lstMatching")), matching, patience);
    QTRY_COMPARE_WITH_TIMEOUT(lines(window.findChild<QListView*>("lstMissing")),
        (QStringList { "wrong.so - Could not match date/size", "unread.so - Could not match date/size" }), patience);
    QVERIFY2(runtime.messages.empty(), joined(runtime.messages).c_str());
    // A day that was read is written in this machine's long format, a text
    // that names no day as it was.
    const std::string longWrong = longDates[wrongDay].toStdString();
    QCOMPARE(Machine::readText(machine.dataFile("outdll.txt")),
        header + "\"wrong.so\",10,10,\"" + long6 + "\",\"" + longWrong + "\",\"Bad date or size\"\r\n"
            + "\"unread.so\",10,10,\"" + long6 + "\",\"" + unreadable.toStdString() + "\",\"Bad date or size\"\r\n");

    checkPrintedReport(window, runtime, pdftotext, pdf,
        { "File:wrong.so", "File:unread.so", "TargetFileDate:" + compact(QString::fromStdString(long6)),
            "OriginalFileDate:" + compact(QString::fromStdString(longWrong)), "OriginalFileDate:" + unreadable });
}

void tst_Window::droppedProgramsBecomeTheNameList()
{
    const Machine& machine = *m_machine;
    const QString program = QString::fromStdString(machine.applicationDirectory() + "/true");
    QVERIFY(QFile::copy("/usr/bin/true", program));
    Machine::writeText(machine.dataFile("dlls.txt"), "\"old list\"\r\n");
    TestRuntime& runtime = *m_runtime;
    frmTest& window = *m_window;

    QMimeData text;
    text.setText("not a file");
    QDragEnterEvent refused(QPoint(10, 10), Qt::CopyAction, &text, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&window, &refused);
    QVERIFY(!refused.isAccepted());

    QMimeData files;
    files.setUrls({ QUrl::fromLocalFile(program) });
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &files, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&window, &enter);
    QVERIFY(enter.isAccepted());
    runtime.answer = true;
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &files, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&window, &drop);
    QCOMPARE(runtime.questions.size(), std::size_t { 1 });
    QVERIFY(runtime.questions[0].starts_with("Write the names of the "));
    // The program first; its libraries lie outside this test machine's
    // directories, which the message after the list says.
    QVERIFY(Machine::readText(machine.dataFile("dlls.txt")).starts_with("\"true\"\r\n"));
    QCOMPARE(runtime.messages.size(), std::size_t { 1 });
    QVERIFY(runtime.messages[0].find("libc.so.6") != std::string::npos);
}

QTEST_MAIN(tst_Window)
#include "tst_window.moc"
