#include "errors/ErrorState.h"

#include <QTest>

using namespace deptest;

class tst_ErrorState : public QObject {
    Q_OBJECT
private slots:
    void generalMessage_data();
    void generalMessage();
    void errorStaysPendingAcrossSuccess();
    void firstFailureStaysFirst();
};

void tst_ErrorState::generalMessage_data()
{
    QTest::addColumn<int>("number");
    QTest::addColumn<QString>("description");
    QTest::addColumn<QString>("expected");
    QTest::newRow("not found has two spaces") << 53 << "File not found"
                                              << "Error  53: File not found";
    QTest::newRow("negative has a minus sign") << -5 << "Odd"
                                               << "Error -5: Odd";
    QTest::newRow("printer") << 482 << "Printer error"
                             << "Error  482: Printer error";
    QTest::newRow("most negative") << int(INT32_MIN) << "x"
                                   << "Error -2147483648: x";
    QTest::newRow("empty description") << 61 << ""
                                       << "Error  61: ";
}

void tst_ErrorState::generalMessage()
{
    QFETCH(int, number);
    QFETCH(QString, description);
    QFETCH(QString, expected);
    QCOMPARE(QString::fromStdString(generalErrorMessage(Error { number, description.toStdString() })), expected);
}

void tst_ErrorState::errorStaysPendingAcrossSuccess()
{
    ErrorState state;
    state.raise(error::fileNotFound);
    QCOMPARE(state.error().description, std::string("File not found"));
    // A later step that succeeds does not touch the state.
    state.raise(Outcome {});
    QCOMPARE(state.number(), error::fileNotFound);
    state.raise(error::inputPastEnd);
    QCOMPARE(state.number(), error::inputPastEnd);
    QCOMPARE(state.error().description, std::string("Input past end of file"));
    state.reset();
    QVERIFY(!state.pending());
}

void tst_ErrorState::firstFailureStaysFirst()
{
    Outcome first = firstFailure(Outcome {}, Outcome {});
    QVERIFY(!first);
    first = firstFailure(first, Error::of(error::diskFull));
    first = firstFailure(first, Error::of(error::deviceIo));
    QVERIFY(first);
    QCOMPARE(QString::fromStdString(generalErrorMessage(*first)), QStringLiteral("Error  61: Disk full"));
}

QTEST_GUILESS_MAIN(tst_ErrorState)
#include "tst_errorstate.moc"
