#include "desktop/QtPrinter.h"

#include "dates/Languages.h"
#include "desktop/QueueJob.h"
#include "text/CodePageText.h"

#include <QDir>
#include <QFontMetricsF>
#include <QPrinter>
#include <QPrinterInfo>
#include <QTemporaryFile>

#include <algorithm>

namespace deptest {

QtPrinter::QtPrinter(QString jobTitle)
    : m_jobTitle(std::move(jobTitle))
{
}

QtPrinter::~QtPrinter()
{
    if (m_active)
        cancelDocument();
}

std::unique_ptr<QtPrinter> QtPrinter::toPdf(const QString& path, std::optional<QPageSize> paper)
{
    auto printer = std::make_unique<QtPrinter>();
    printer->m_pdfPath = path;
    printer->m_paper = std::move(paper);
    return printer;
}

Outcome QtPrinter::beginDocument()
{
    if (m_active)
        return {};
    if (!m_pdfPath.isEmpty()) {
        m_printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
        m_printer->setOutputFormat(QPrinter::PdfFormat);
        m_printer->setOutputFileName(m_pdfPath);
        if (m_paper)
            m_printer->setPageSize(*m_paper);
    } else {
        m_job = std::make_unique<QueueJob>();
        Result<std::unique_ptr<QPrinter>> printer = m_job->begin();
        if (!printer) {
            m_job.reset();
            return printer.error();
        }
        m_printer = std::move(printer).value();
    }
    m_printer->setDocName(m_jobTitle);
    if (!m_painter.begin(m_printer.get())) {
        m_printer.reset();
        m_job.reset();
        return Error::of(error::printer);
    }
    m_active = true;
    fitLinesToPage();
    return {};
}

void QtPrinter::fitLinesToPage()
{
    // The desktop's font decides the size; only when a page cannot take
    // its lines at that size is the text made smaller, by one factor for
    // the whole document.
    const qreal pageHeight = m_printer->pageRect(QPrinter::DevicePixel).height();
    QFont font = m_painter.font();
    const auto linesFit
        = [&] { return QFontMetricsF(font, m_printer.get()).lineSpacing() * printLinesPerPage <= pageHeight; };
    if (linesFit())
        return;
    const qreal original = font.pointSizeF();
    font.setPointSizeF(
        original * pageHeight / (QFontMetricsF(font, m_printer.get()).lineSpacing() * printLinesPerPage));
    // Line spacing does not shrink quite in proportion: step down the rest.
    while (!linesFit() && font.pointSizeF() > 1)
        font.setPointSizeF(font.pointSizeF() * 0.98);
    m_painter.setFont(font);
}

Outcome QtPrinter::printLine(std::span<const PrintText> texts)
{
    if (Outcome failure = beginDocument())
        return failure;
    PageLine line;
    for (const PrintText& piece : texts)
        line.push_back({ piece.column,
            toDisplayText(piece.text,
                m_runtime ? m_runtime->displayCodePage() : defaultCodePage(QLocale::system().language())) });
    m_page.push_back(std::move(line));
    return {};
}

qreal QtPrinter::layOutPage(qreal pageWidth, std::vector<PlacedText>& placed) const
{
    const QFontMetricsF metrics(m_painter.font(), m_printer.get());
    const qreal column = metrics.averageCharWidth();
    placed.clear();
    qreal y = 0;
    for (const PageLine& line : m_page) {
        qreal height = metrics.lineSpacing();
        qreal previousEnd = -1;
        for (const auto& [printColumn, text] : line) {
            qreal x = (printColumn - 1) * column;
            if (previousEnd >= 0)
                x = std::max(x, previousEnd + metrics.horizontalAdvance(QLatin1Char(' ')));
            x = std::min(x, pageWidth - column);
            const qreal width = pageWidth - x;
            const QRectF box = metrics.boundingRect(QRectF(x, 0, width, 1e9), textFlags, text);
            height = std::max(height, box.height());
            previousEnd = x + std::min(box.width(), width);
            placed.push_back({ QRectF(x, y, width, box.height()), text });
        }
        y += height;
    }
    return y;
}

void QtPrinter::drawPage()
{
    // The report decides where a page ends. Texts that wrap make its lines
    // taller than the page was sized for; then this page alone is drawn
    // smaller, so that its blocks stay whole and together.
    if (m_page.empty())
        return;
    const QRectF page = m_printer->pageRect(QPrinter::DevicePixel);
    std::vector<PlacedText> placed;
    qreal scale = 1;
    for (int attempt = 0; attempt < 4; ++attempt) {
        const qreal height = layOutPage(page.width() / scale, placed);
        if (height * scale <= page.height())
            break;
        // Drawn smaller, the lines are wider and wrap less: this scale fits.
        scale = page.height() / height;
    }
    m_painter.save();
    m_painter.scale(scale, scale);
    for (const PlacedText& piece : placed)
        m_painter.drawText(piece.box, textFlags, piece.text);
    m_painter.restore();
    m_page.clear();
}

Outcome QtPrinter::newPage()
{
    if (Outcome failure = beginDocument())
        return failure;
    drawPage();
    if (!m_printer->newPage())
        return Error::of(error::printer);
    return {};
}

Outcome QtPrinter::endDocument()
{
    if (!m_active) {
        // Nothing was printed; still, without a printer there is nothing to end.
        if (m_pdfPath.isEmpty())
            return QueueJob::defaultQueue();
        return {};
    }
    drawPage();
    m_active = false;
    const bool ended = m_painter.end();
    m_printer.reset();
    Outcome outcome = ended ? Outcome {} : Outcome { Error::of(error::printer) };
    if (!outcome && m_job)
        outcome = m_job->submit(m_jobTitle);
    m_job.reset();
    return outcome;
}

void QtPrinter::cancelDocument()
{
    if (!m_active)
        return;
    m_active = false;
    m_page.clear();
    m_printer->abort();
    if (m_painter.isActive())
        m_painter.end();
    m_printer.reset();
    m_job.reset(); // never handed to the printing system
}

} // namespace deptest
