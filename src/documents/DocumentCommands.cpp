#include "DocumentCommands.h"

#include "CurrentPrinter.h"
#include "DateSpanU.h"
#include "DocumentRun.h"
#include "InvoiceStore.h"
#include "PickCustU.h"
#include "PickInvU.h"
#include "Prompt.h"
#include "ReportBuffer.h"
#include "ReportFont.h"
#include "ReportU.h"
#include "Settings.h"
#include "StationaryU.h"
#include "Tables.h"

#include <QPrinter>

namespace tallyra {

namespace {

// The buffer of a command's documents, cleared whatever way the command ends.
struct BufferClear
{
    ReportBuffer &buffer;
    ~BufferClear() { buffer.reportClear(); }
};

void prepare(DocumentRun &run, const ProgressDisplay &progress)
{
    run.setProgress(progress);
    run.setPdfRenderer([](const ReportBuffer &buffer) {
        const QPrinter *printer = CurrentPrinter::printer();
        return documentPdf(buffer, printer->pageLayout(), printer->resolution(), ReportFont::font());
    });
}

// The end of a run: its failure told, and in viewer mode the documents shown.
void finish(QWidget *parent, const DocumentRun &run, ReportBuffer &buffer, DocumentSender *sender)
{
    if (run.failed())
        Prompt::info(parent, run.failure());
    if (!sender && buffer.curRow() >= 0)
        TReportF::showReport(parent, buffer, run.fileName());
}

bool openTables(db::Engine &engine, QString *openFailure)
{
    const OpenResult opened = InvoiceStore::openTables(engine);
    if (opened)
        return true;
    if (openFailure)
        *openFailure = opened.message();
    closeAllTables(engine);
    return false;
}

} // namespace

DocumentContext programDocumentContext()
{
    QPrinter *printer = CurrentPrinter::printer();
    const QFont font = ReportFont::font();
    return DocumentContext::from(settings(), DocumentMeasure(font, printer, printer->width()));
}

bool runDocumentsByDate(QWidget *parent, db::Engine &engine, DocumentType type,
                        const ProgressDisplay &progress, DocumentSender *sender, QString *openFailure)
{
    if (!openTables(engine, openFailure))
        return false;
    if (type == DocumentType::Bill || type == DocumentType::Statement)
        presetCurrentMonth();
    else
        presetToday();
    TDateSpan &dialog = TDateSpan::instance();
    dialog.useSpan();
    dialog.setWindowTitle(QString::fromLatin1(TDateSpan::kCaption));
    if (!TDateSpan::ask()) {
        closeAllTables(engine);
        return true;
    }
    const DateSpanValues span = dateSpan();
    ReportBuffer &buffer = reportBuffer();
    BufferClear clear{buffer};
    DocumentRun run(engine, buffer, programDocumentContext(), type, sender);
    prepare(run, progress);
    run.runDateSpan(span.start, span.end);
    closeAllTables(engine);
    finish(parent, run, buffer, sender);
    return true;
}

bool runDocumentsPicked(QWidget *parent, db::Engine &engine, DocumentType type,
                        const ProgressDisplay &progress, DocumentSender *sender, QString *openFailure)
{
    if (!openTables(engine, openFailure))
        return false;
    InvoiceStore store(engine);
    const quint32 lastInvoice = store.lastInvoiceRecord();
    if (type != DocumentType::Statement && lastInvoice == 0) {
        closeAllTables(engine);
        Prompt::info(parent, QStringLiteral("No invoices to select."));
        return true;
    }
    ReportBuffer &buffer = reportBuffer();
    BufferClear clear{buffer};
    DocumentRun run(engine, buffer, programDocumentContext(), type, sender);
    prepare(run, progress);
    qint64 selection = type == DocumentType::Statement ? 0 : qint64(lastInvoice);
    for (;;) {
        qint64 picked = -1;
        if (type == DocumentType::Statement) {
            TPickCust list(engine, parent);
            picked = list.pick(selection, false);
        } else {
            TPickInv list(engine, parent);
            picked = list.pick(selection, false);
        }
        if (picked <= 0)
            break;
        selection = picked;
        if (!run.addRecord(quint32(picked)))
            break;
    }
    closeAllTables(engine);
    finish(parent, run, buffer, sender);
    return true;
}

void runCurrentInvoice(QWidget *parent, db::Engine &engine, const CurrentInvoice &invoice, DocumentType type,
                       DocumentSender *sender)
{
    ReportBuffer &buffer = reportBuffer();
    BufferClear clear{buffer};
    DocumentRun run(engine, buffer, programDocumentContext(), type, sender);
    prepare(run, {});
    run.addInvoice(invoice);
    finish(parent, run, buffer, sender);
}

void runStationery(QWidget *parent, db::Engine &engine)
{
    TStationary window(parent);
    window.setValues(settings());
    window.setSaver([&engine](const SettingsRecord &changed, QString *error) {
        const SettingsResult saved = saveSettings(engine, changed);
        if (!saved) {
            *error = saved.message();
            return false;
        }
        settings() = changed;
        return true;
    });
    window.run();
}

} // namespace tallyra
