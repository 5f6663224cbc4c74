#include "text/CodePageText.h"

#include <QTest>

#include <string>

using namespace deptest;

class tst_Text : public QObject {
    Q_OBJECT
private slots:
    void shortenedOnACharacterBoundary();
};

void tst_Text::shortenedOnACharacterBoundary()
{
    std::string umlauts;
    for (int i = 0; i < 700; ++i)
        umlauts += "ä"; // two bytes each: byte 1024 falls inside none
    const QString shown = toDisplayText(umlauts, 1252, 1024);
    QCOMPARE(shown, QString(700, QChar(0xE4)));
    const std::string longer = umlauts + umlauts;
    const QString cut = toDisplayText(longer, 1252, 1024);
    QCOMPARE(cut, QString(1024, QChar(0xE4)) + QChar(0x2026));
    // A character outside the basic plane is never split in two.
    std::string emoji = std::string(1023, 'x') + "😀😀";
    const QString emojiCut = toDisplayText(emoji, 1252, 1024);
    QCOMPARE(emojiCut, QString(1023, QLatin1Char('x')) + QChar(0x2026));
}

QTEST_GUILESS_MAIN(tst_Text)
#include "tst_text.moc"
