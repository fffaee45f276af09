#include "CurrentPrinter.h"

#include "Prompt.h"
#include "ReportBuffer.h"
#include "ReportFont.h"

#include <QFontMetrics>
#include <QLocale>
#include <QPageLayout>
#include <QPageSize>
#include <QPrintDialog>
#include <QPrinter>
#include <QPrinterInfo>

namespace tallyra {

namespace {

std::unique_ptr<QPrinter> g_printer;

std::unique_ptr<QPrinter> makeFilePrinter()
{
    auto printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
    printer->setOutputFormat(QPrinter::PdfFormat);
    // Letter where the locale measures in inches, A4 elsewhere; half-inch margins.
    const QPageSize size(QLocale().measurementSystem() == QLocale::ImperialUSSystem ? QPageSize::Letter
                                                                                    : QPageSize::A4);
    printer->setPageLayout(
        QPageLayout(size, QPageLayout::Portrait, QMarginsF(12.7, 12.7, 12.7, 12.7), QPageLayout::Millimeter));
    return printer;
}

std::unique_ptr<QPrinter> makeSystemPrinter()
{
    QPrinterInfo info = QPrinterInfo::defaultPrinter();
    if (info.isNull()) {
        const QList<QPrinterInfo> installed = QPrinterInfo::availablePrinters();
        if (!installed.isEmpty())
            info = installed.constFirst();
    }
    if (info.isNull())
        return makeFilePrinter();
    auto printer = std::make_unique<QPrinter>(info, QPrinter::HighResolution);
    if (!printer->isValid())
        return makeFilePrinter();
    return printer;
}

} // namespace

QPrinter *CurrentPrinter::printer()
{
    if (!g_printer)
        g_printer = makeSystemPrinter();
    return g_printer.get();
}

bool CurrentPrinter::isFilePrinter()
{
    return printer()->outputFormat() == QPrinter::PdfFormat;
}

QString CurrentPrinter::description()
{
    QPrinter *p = printer();
    const QString name = isFilePrinter() ? QStringLiteral("PDF file") : p->printerName();
    return name + (p->pageLayout().orientation() == QPageLayout::Landscape ? QStringLiteral("-Landscape")
                                                                           : QStringLiteral("-Portrait"));
}

bool CurrentPrinter::setup(QWidget *parent)
{
    QPrintDialog dialog(printer(), parent);
    dialog.setWindowTitle(QStringLiteral("Printer Setup"));
    return dialog.exec() == QDialog::Accepted;
}

void CurrentPrinter::useFilePrinter()
{
    g_printer = makeFilePrinter();
}

int CurrentPrinter::linesPerPage()
{
    return measureLinesPerPage(printer(), ReportFont::font());
}

int CurrentPrinter::measureLinesPerPage(const QPrinter *printer, const QFont &font)
{
    if (!printer || !printer->isValid()) {
        Prompt::info(nullptr, QStringLiteral("Default Printer Not Found. Printing 60 Lines per page"));
        return ReportBuffer::kDefaultLinesPerPage;
    }
    const int pageHeight = printer->height();
    const int lineHeight = QFontMetrics(font, printer).height();
    if (pageHeight <= 0 || lineHeight <= 0)
        return ReportBuffer::kDefaultLinesPerPage;
    const int lines = pageHeight / lineHeight - 6;
    // A page that holds no row at all cannot be right: the printer gave nonsense.
    return lines > 0 ? lines : ReportBuffer::kDefaultLinesPerPage;
}

ReportBuffer &reportBuffer()
{
    static ReportBuffer buffer(&CurrentPrinter::linesPerPage);
    return buffer;
}

} // namespace tallyra
