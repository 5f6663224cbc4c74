#pragma once

#include "services/Printer.h"
#include "services/Runtime.h"

#include <QPageSize>
#include <QPainter>
#include <QString>

#include <QRectF>

#include <memory>
#include <optional>
#include <utility>
#include <vector>

class QPrinter;

namespace deptest {

class QueueJob;

// Prints with Qt's print support on the system's default printer, with the
// printer's own font, paper and margins. A page holds printLinesPerPage
// lines: when the font is too large for that, the whole document's text is
// scaled down just enough. Texts never overlap: a text that would reach
// into the next one starts after it, and a text wider than the page wraps
// onto further lines. Pages end only where the caller says (newPage()): a
// page that wrapping makes too tall is drawn smaller instead.
//
// Where the printing system is CUPS, the pages are drawn into a PDF that
// is handed to the default queue through libcups, so that a job the queue
// refuses is an error (482 with the queue's reason).
class QtPrinter final : public Printer {
public:
    // The default printer; `jobTitle` names the job in the printer's queue.
    explicit QtPrinter(QString jobTitle = QStringLiteral("deptest"));
    ~QtPrinter() override;
    QtPrinter(const QtPrinter&) = delete;
    QtPrinter& operator=(const QtPrinter&) = delete;

    // The same printing into a PDF file instead, on the given paper (the
    // locale's default paper when none is given).
    static std::unique_ptr<QtPrinter> toPdf(const QString& path, std::optional<QPageSize> paper = std::nullopt);

    Outcome printLine(std::span<const PrintText> texts) override;
    Outcome newPage() override;
    Outcome endDocument() override;
    void cancelDocument() override;

    // Text that is not UTF-8 is printed in the code page of the runtime's
    // list; without a runtime, in this machine's.
    void showTextOf(const Runtime& runtime) { m_runtime = &runtime; }

private:
    // A line's texts with their print columns, kept until its page is drawn.
    using PageLine = std::vector<std::pair<int, QString>>;
    struct PlacedText {
        QRectF box;
        QString text;
    };
    static constexpr int textFlags = Qt::AlignLeft | Qt::AlignTop | Qt::TextWrapAnywhere;

    Outcome beginDocument();
    const Runtime* m_runtime { nullptr };
    void fitLinesToPage();
    // Places the page's texts on a page of that width; their height.
    qreal layOutPage(qreal pageWidth, std::vector<PlacedText>& placed) const;
    void drawPage();

    QString m_jobTitle;
    QString m_pdfPath;
    std::optional<QPageSize> m_paper;
    std::unique_ptr<QueueJob> m_job; // printing to the default queue
    std::unique_ptr<QPrinter> m_printer;
    QPainter m_painter;
    bool m_active { false };
    std::vector<PageLine> m_page;
};

} // namespace deptest
