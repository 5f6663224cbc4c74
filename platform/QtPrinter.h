#pragma once

#include "services/Printer.h"

#include <QPainter>
#include <QString>

#include <memory>

class QPrinter;

namespace deptest {

// Prints through Qt's print support on the system's default printer, with
// the printer's own font, paper and margins. Texts never overlap: a text
// that would reach into the next one starts after it, and a text wider
// than the page wraps onto further lines.
class QtPrinter final : public Printer {
public:
    QtPrinter();
    ~QtPrinter() override;
    QtPrinter(const QtPrinter&) = delete;
    QtPrinter& operator=(const QtPrinter&) = delete;

    // The same printing into a PDF file instead of the default printer.
    static std::unique_ptr<QtPrinter> toPdf(const QString& path);

    Outcome printLine(std::span<const PrintText> texts) override;
    Outcome newPage() override;
    Outcome endDocument() override;
    void cancelDocument() override;

private:
    Outcome beginDocument();
    Outcome startPageIfFull(qreal height);

    QString m_pdfPath;
    std::unique_ptr<QPrinter> m_printer;
    QPainter m_painter;
    bool m_active { false };
    qreal m_y { 0 };
};

} // namespace deptest
