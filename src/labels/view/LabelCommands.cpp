#include "LabelCommands.h"

#include "BrowseEdit.h"
#include "CurrentPrinter.h"
#include "Database.h"
#include "DateSpanU.h"
#include "LabPrintU.h"
#include "LabelDefU.h"
#include "LabelPositions.h"
#include "LabelSheet.h"
#include "Maintenance.h"
#include "MultGroupU.h"
#include "PickLabelU.h"
#include "Prompt.h"
#include "RecordTables.h"
#include "ReportFont.h"
#include "Settings.h"
#include "Tables.h"

#include <QDir>
#include <QPrinter>

namespace tallyra {

void registerLabelWindows()
{
    RecordWindows windows;
    windows.pick = [](QWidget *parent, qint64 selection, bool allowNew) {
        TPickLab pick(database(), parent);
        return pick.pick(selection, allowNew);
    };
    windows.edit = [](QWidget *parent, qint64 selection) {
        TLabelDef form(database(), parent);
        return form.run(selection);
    };
    setRecordWindows(RecordKind::Label, windows);
}

namespace {

// The printer the run draws on: the current printer, or for the PDF file printer a copy of it
// writing to the file the user names. Null when the user cancelled the file name.
std::unique_ptr<QPrinter> labelPrinter(QWidget *parent, QPrinter **target)
{
    *target = CurrentPrinter::printer();
    if (!CurrentPrinter::isFilePrinter())
        return {};
    const QString path = Prompt::saveFile(parent, QStringLiteral("Print Labels to File"), QDir::homePath(),
                                          QStringLiteral("PDF files (*.pdf)"), QStringLiteral("pdf"));
    if (path.isEmpty()) {
        *target = nullptr;
        return {};
    }
    auto printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
    printer->setOutputFormat(QPrinter::PdfFormat);
    printer->setPageLayout((*target)->pageLayout());
    printer->setOutputFileName(path);
    *target = printer.get();
    return printer;
}

} // namespace

bool runLabelRun(QWidget *parent, db::Engine &engine, LabelKind kind, const ProgressDisplay &progress,
                 QString *openFailure)
{
    const auto fail = [&](const QString &message) {
        if (openFailure)
            *openFailure = message;
        closeAllTables(engine);
        return false;
    };
    // The stock and where to start.
    const OpenResult labels = openLabels(engine);
    if (!labels)
        return fail(labels.message());
    if (labels.table->recordCount() == 0) {
        closeAllTables(engine);
        Prompt::info(
            parent,
            QStringLiteral("Label Stock has not been defined. Choose Setup - Labels to define label stock."));
        return true;
    }
    TLabPrint dialog(engine, engine.directory(), parent);
    const bool confirmed = dialog.ask(*labels.table, settings().LabID);
    closeAllTables(engine);
    if (!confirmed)
        return true;
    const LabelRecord stock = dialog.stock();
    if (stock.Name != settings().LabID) {
        SettingsRecord changed = settings();
        changed.LabID = stock.Name;
        if (saveSettings(engine, changed))
            settings() = changed;
        closeAllTables(engine);
    }

    // What to label.
    LabelSelection selection;
    switch (kind) {
    case LabelKind::InvoicesDated:
    case LabelKind::PastDue:
    case LabelKind::BalanceDue:
        presetToday();
        TDateSpan::instance().useSpan();
        if (!TDateSpan::ask())
            return true;
        selection.from = dateSpan().start;
        selection.to = dateSpan().end;
        break;
    case LabelKind::Groups: {
        const OpenResult groups = openGroups(engine);
        if (!groups)
            return fail(groups.message());
        const bool picked = TMultGroup::ask(*groups.table);
        closeAllTables(engine);
        if (!picked || selectedGroups().isEmpty())
            return true;
        selection.groups = selectedGroups();
        break;
    }
    case LabelKind::Batch:
        selection.batchFile =
            QDir(engine.directory()).filePath(engine.findFile(QLatin1String(kBatchLabelFile)));
        break;
    case LabelKind::SelectedCustomers:
        break;
    }

    QPrinter *printer = nullptr;
    const std::unique_ptr<QPrinter> file = labelPrinter(parent, &printer);
    if (!printer)
        return true;
    printer->setDocName(QStringLiteral("Labels"));
    LabelSheet sheet(stock, printer, ReportFont::font(), dialog.options());
    bool printed = true;
    if (kind == LabelKind::SelectedCustomers) {
        const OpenResult customers = openCustomers(engine);
        if (!customers)
            return fail(customers.message());
        customers.table->selectTag(QStringLiteral("CName"));
        const RecordWindows &pick = recordWindows(RecordKind::Customer);
        qint64 selected = firstRecordNumber(*customers.table);
        for (;;) {
            const PickStepResult step =
                pickStep(*customers.table, RecordKind::Customer, pick, selected, false, parent);
            if (!step.picked())
                break;
            selected = step.selection;
            CustomerRecord c;
            if (!customers.table->go(quint32(selected)) || !loadCustomer(*customers.table, c).isOk()) {
                customers.table->takeError();
                continue;
            }
            if (!sheet.addLabel(labelLines(engine, c))) {
                printed = false;
                break;
            }
        }
    } else {
        const db::Status status =
            selectLabelCustomers(engine, kind, selection, progress, [&](const CustomerRecord &c) {
                printed = sheet.addLabel(labelLines(engine, c));
                return printed;
            });
        if (!status) {
            sheet.finish();
            closeAllTables(engine);
            Prompt::info(parent, status.message());
            return true;
        }
    }
    printed = sheet.finish() && printed;
    closeAllTables(engine);
    if (!printed) {
        Prompt::info(parent, QStringLiteral("Unable to print the labels on ") + printer->printerName() +
                                 (printer->outputFileName().isEmpty()
                                      ? QString()
                                      : QStringLiteral(": ") + printer->outputFileName()));
        return true;
    }
    if (sheet.labelsPlaced() > 0)
        rememberLabelPosition(engine.directory(), stock.Name, sheet.nextPosition());
    return true;
}

} // namespace tallyra
