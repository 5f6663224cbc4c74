#include "platform/QtPrinter.h"

#include "platform/LegacyText.h"

#include <QFontMetricsF>
#include <QPrinter>
#include <QPrinterInfo>

#include <algorithm>

namespace deptest {

QtPrinter::QtPrinter() = default;
QtPrinter::~QtPrinter()
{
    if (m_active)
        cancelDocument();
}

std::unique_ptr<QtPrinter> QtPrinter::toPdf(const QString& path)
{
    auto printer = std::make_unique<QtPrinter>();
    printer->m_pdfPath = path;
    return printer;
}

Outcome QtPrinter::beginDocument()
{
    if (m_active)
        return {};
    if (m_pdfPath.isEmpty()) {
        const QPrinterInfo info = QPrinterInfo::defaultPrinter();
        if (info.isNull())
            return Error::of(error::printer);
        m_printer = std::make_unique<QPrinter>(info, QPrinter::HighResolution);
    } else {
        m_printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
        m_printer->setOutputFormat(QPrinter::PdfFormat);
        m_printer->setOutputFileName(m_pdfPath);
    }
    m_printer->setDocName(QStringLiteral("deptest report"));
    if (!m_painter.begin(m_printer.get())) {
        m_printer.reset();
        return Error::of(error::printer);
    }
    m_active = true;
    m_y = 0;
    return {};
}

Outcome QtPrinter::startPageIfFull(qreal height)
{
    const qreal pageHeight = m_printer->pageRect(QPrinter::DevicePixel).height();
    if (m_y > 0 && m_y + height > pageHeight)
        return newPage();
    return {};
}

Outcome QtPrinter::printLine(std::span<const PrintText> texts)
{
    if (Outcome failure = beginDocument())
        return failure;
    const QFontMetricsF metrics(m_painter.font(), m_printer.get());
    const qreal column = metrics.averageCharWidth();
    const qreal pageWidth = m_printer->pageRect(QPrinter::DevicePixel).width();
    constexpr int flags = Qt::AlignLeft | Qt::AlignTop | Qt::TextWrapAnywhere;

    struct Placed {
        QRectF box;
        QString text;
    };
    std::vector<Placed> placed;
    qreal height = metrics.lineSpacing();
    qreal previousEnd = -1;
    for (const PrintText& piece : texts) {
        const QString text = toDisplayText(piece.text);
        qreal x = (piece.column - 1) * column;
        if (previousEnd >= 0)
            x = std::max(x, previousEnd + metrics.horizontalAdvance(QLatin1Char(' ')));
        x = std::min(x, pageWidth - column);
        const qreal width = pageWidth - x;
        const QRectF box = metrics.boundingRect(QRectF(x, 0, width, 1e9), flags, text);
        height = std::max(height, box.height());
        previousEnd = x + std::min(box.width(), width);
        placed.push_back({ QRectF(x, 0, width, box.height()), text });
    }
    if (Outcome failure = startPageIfFull(height))
        return failure;
    for (Placed& piece : placed) {
        piece.box.moveTop(m_y);
        m_painter.drawText(piece.box, flags, piece.text);
    }
    m_y += height;
    return {};
}

Outcome QtPrinter::newPage()
{
    if (Outcome failure = beginDocument())
        return failure;
    if (!m_printer->newPage())
        return Error::of(error::printer);
    m_y = 0;
    return {};
}

Outcome QtPrinter::endDocument()
{
    if (!m_active) {
        // Nothing was printed; still, without a printer there is nothing to end.
        if (m_pdfPath.isEmpty() && QPrinterInfo::defaultPrinter().isNull())
            return Error::of(error::printer);
        return {};
    }
    m_active = false;
    const bool ended = m_painter.end();
    m_printer.reset();
    if (!ended)
        return Error::of(error::printer);
    return {};
}

void QtPrinter::cancelDocument()
{
    if (!m_active)
        return;
    m_active = false;
    m_printer->abort();
    if (m_painter.isActive())
        m_painter.end();
    m_printer.reset();
}

} // namespace deptest
