#include "cli/Console.h"

#include "dates/Languages.h"
#include "errors/Messages.h"
#include "services/Printer.h"
#include "system/Terminal.h"
#include "text/CodePageText.h"

#include <QJsonDocument>
#include <QLocale>

#include <algorithm>

namespace deptest::cli {

namespace {

// A printer for a runtime that was given none: every job fails as on a
// machine without a printer.
class NoPrinter final : public Printer {
public:
    Outcome printLine(std::span<const PrintText> /*texts*/) override { return failure(); }
    Outcome newPage() override { return failure(); }
    Outcome endDocument() override { return failure(); }
    void cancelDocument() override { }

private:
    static Error failure() { return { error::printer, std::string(message::noDefaultDestination) }; }
};

} // namespace

QByteArray oneLine(std::string_view bytes)
{
    QString text = toDisplayText(bytes, defaultCodePage(QLocale::system().language()));
    for (QChar& character : text) {
        if (character.unicode() < 0x20 || character.unicode() == 0x7f)
            character = QLatin1Char('?');
    }
    return text.toUtf8();
}

void writeLine(std::FILE* stream, const QByteArray& line)
{
    std::fwrite(line.constData(), 1, static_cast<std::size_t>(line.size()), stream);
    std::fputc('\n', stream);
}

void writeJson(std::FILE* stream, const QJsonObject& object)
{
    const QByteArray line = QJsonDocument(object).toJson(QJsonDocument::Compact);
    writeLine(stream, line);
}

QJsonValue textOrNull(std::string_view bytes, bool present)
{
    return present ? QJsonValue(toDisplayText(bytes, defaultCodePage(QLocale::system().language())))
                   : QJsonValue(QJsonValue::Null);
}

std::optional<std::string> ConsoleRuntime::askPassword(std::string_view prompt) { return readPassword(prompt); }

void ConsoleRuntime::showMessage(std::string_view text)
{
    if (progress != nullptr)
        progress->erase();
    writeLine(m_err, toDisplayText(text, defaultCodePage(QLocale::system().language())).toUtf8());
    messages.emplace_back(text);
}

void ConsoleWindow::noteSignature(const ListSignatureNote& note)
{
    std::string comment = note.trustedComment;
    std::replace(comment.begin(), comment.end(), '\t', ' ');
    const std::string text
        = note.checked ? message::signedBy(note.list, note.keyId, comment) : message::signatureNotChecked(note.list);
    writeLine(m_err, oneLine("deptest: " + text));
    if (!m_options.json)
        return;
    QJsonObject object;
    object.insert(QStringLiteral("list"), QString::fromStdString(note.list));
    object.insert(
        QStringLiteral("signature"), note.checked ? QStringLiteral("verified") : QStringLiteral("not checked"));
    object.insert(
        QStringLiteral("keyId"), note.checked ? QJsonValue(QString::fromStdString(note.keyId)) : QJsonValue());
    object.insert(QStringLiteral("trustedComment"), textOrNull(note.trustedComment, note.checked));
    writeJson(m_out, object);
}

Printer& ConsoleRuntime::printer()
{
    if (!m_printer)
        m_printer = m_makePrinter ? m_makePrinter() : nullptr;
    if (!m_printer)
        m_printer = std::make_unique<NoPrinter>();
    return *m_printer;
}

} // namespace deptest::cli
