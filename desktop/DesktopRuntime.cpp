#include "desktop/DesktopRuntime.h"

#include "desktop/QtPrinter.h"
#include "errors/Messages.h"
#include "records/DataFiles.h"
#include "text/CodePageText.h"

#include <QApplication>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>

#include <utility>

namespace deptest {

QString printJobTitle()
{
    return QStringLiteral("deptest - %1").arg(QString::fromLatin1(dataFile::nameOf(dataFile::exceptions)));
}

DesktopRuntime::DesktopRuntime(HostSettings settings)
    : HostRuntime(std::move(settings))
    , m_printer(std::make_unique<QtPrinter>(printJobTitle()))
{
    static_cast<QtPrinter&>(*m_printer).showTextOf(*this);
}

DesktopRuntime::~DesktopRuntime() = default;

void DesktopRuntime::showMessage(std::string_view text) { showMessageBox(text, displayCodePage()); }

bool DesktopRuntime::askYesNo(std::string_view question)
{
    QMessageBox box(QMessageBox::Question, toDisplayText(message::applicationTitle, displayCodePage()),
        toDisplayText(question, displayCodePage()), QMessageBox::Yes | QMessageBox::No, QApplication::activeWindow());
    box.setDefaultButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

std::optional<std::string> DesktopRuntime::askPassword(std::string_view prompt)
{
    // A command that shows a wait cursor still wants the password typed.
    const bool waiting = QGuiApplication::overrideCursor() != nullptr;
    if (waiting)
        QGuiApplication::setOverrideCursor(Qt::ArrowCursor);
    bool given = false;
    const QString password = QInputDialog::getText(QApplication::activeWindow(),
        toDisplayText(message::applicationTitle, displayCodePage()), toDisplayText(prompt, displayCodePage()),
        QLineEdit::Password, {}, &given);
    if (waiting)
        QGuiApplication::restoreOverrideCursor();
    if (!given)
        return std::nullopt;
    return password.toStdString();
}

void showMessageBox(std::string_view text, int codePage)
{
    QMessageBox box(QMessageBox::NoIcon, toDisplayText(message::applicationTitle, codePage),
        toDisplayText(text, codePage), QMessageBox::Ok, QApplication::activeWindow());
    // A command that shows a wait cursor still wants the box answered.
    const bool waiting = QGuiApplication::overrideCursor() != nullptr;
    if (waiting)
        QGuiApplication::setOverrideCursor(Qt::ArrowCursor);
    box.exec();
    if (waiting)
        QGuiApplication::restoreOverrideCursor();
}

Printer& DesktopRuntime::printer() { return *m_printer; }

} // namespace deptest
