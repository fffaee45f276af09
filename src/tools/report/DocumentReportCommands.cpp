// The documents of tallyra-report: invoices, bills, statements and packing lists, by date span or
// by number, through the same runs as the program's windows.

#include "Clock.h"
#include "CurrentPrinter.h"
#include "DateSpanU.h"
#include "DocumentCommands.h"
#include "DocumentRun.h"
#include "DocumentSender.h"
#include "InvoiceStore.h"
#include "ReportBuffer.h"
#include "ReportCommands.h"
#include "ReportFont.h"
#include "Tables.h"

#include <QPrinter>

namespace tallyra {

namespace {

QString nothingMessage(DocumentType type, bool bySpan)
{
    if (!bySpan)
        return QStringLiteral("No documents for the selected numbers.");
    switch (type) {
    case DocumentType::Invoice:
    case DocumentType::PackingList:
        return QStringLiteral("No Invoices within selected dates.");
    case DocumentType::Bill:
        return QStringLiteral("No Bills within selected dates.");
    case DocumentType::Statement:
        return QStringLiteral("No Statements within selected dates.");
    }
    return {};
}

ReportOutcome runDocuments(DocumentType type, const ReportOptions &options, ReportContext &context,
                           const DocumentSenderFactory &senders)
{
    std::unique_ptr<DocumentSender> sender;
    if (options.email) {
        if (type == DocumentType::PackingList)
            return {kExitUsage, QStringLiteral("packing lists are never e-mailed"), false};
        if (senders)
            sender = senders();
        if (!sender)
            return ReportOutcome::failed(QStringLiteral("E-mail is not set up for this program."));
    }
    const OpenResult opened = InvoiceStore::openTables(context.engine);
    if (!opened)
        return ReportOutcome::failed(opened.message());

    DocumentRun run(context.engine, context.buffer, programDocumentContext(), type, sender.get());
    run.setProgress(context.progress);
    // An e-mailed document carries its pages as the program prints them.
    run.setPdfRenderer([](const ReportBuffer &buffer) {
        const QPrinter *printer = CurrentPrinter::printer();
        return documentPdf(buffer, printer->pageLayout(), printer->resolution(), ReportFont::font());
    });
    const QList<qint64> &numbers = type == DocumentType::Statement ? options.customers : options.invoices;
    const bool bySpan = numbers.isEmpty();
    if (bySpan) {
        // The presets of the date span dialog.
        const DateSpanValues preset = type == DocumentType::Bill || type == DocumentType::Statement
                                          ? currentMonthSpan(today())
                                          : DateSpanValues{today(), today(), false};
        const QDate from = options.from.isValid() ? options.from : preset.start;
        const QDate to = options.to.isValid() ? options.to : preset.end;
        run.runDateSpan(from, to);
    } else {
        for (const qint64 number : numbers) {
            const quint32 rec =
                type == DocumentType::Statement ? run.customerRecord(number) : run.invoiceRecord(number);
            if (rec == 0)
                return ReportOutcome::nothing((type == DocumentType::Statement
                                                   ? QStringLiteral("No customer numbered %1.")
                                                   : QStringLiteral("No invoice numbered %1."))
                                                  .arg(number));
            if (!run.addRecord(rec))
                break;
        }
    }
    if (run.failed())
        return ReportOutcome::failed(run.failure());
    if (sender) {
        if (run.documents() == 0)
            return ReportOutcome::nothing(nothingMessage(type, bySpan));
        return ReportOutcome::wroteOutput();
    }
    if (context.buffer.curRow() < 0)
        return ReportOutcome::nothing(nothingMessage(type, bySpan));
    return ReportOutcome::done();
}

} // namespace

void addDocumentCommands(std::vector<ReportCommand> &commands, const DocumentSenderFactory &senders)
{
    struct Entry
    {
        const char *name;
        DocumentType type;
        const char *summary;
    };
    const Entry entries[] = {
        {"invoices", DocumentType::Invoice, "invoices (--from/--to, default today; or --invoices)"},
        {"bills", DocumentType::Bill,
         "bills of invoices with a balance due (--from/--to, default this month; or --invoices)"},
        {"statements", DocumentType::Statement,
         "account statements with balance due (--from/--to, default this month; or --customers: all "
         "their invoices)"},
        {"packing-lists", DocumentType::PackingList,
         "packing lists (--from/--to, default today; or --invoices)"},
    };
    for (const Entry &e : entries) {
        const DocumentType type = e.type;
        commands.push_back({QString::fromLatin1(e.name), QString::fromLatin1(e.summary),
                            [type, senders](const ReportOptions &options, ReportContext &context) {
                                return runDocuments(type, options, context, senders);
                            }});
    }
}

} // namespace tallyra
