#include "Clock.h"
#include "LabelRuns.h"
#include "LabelSheet.h"
#include "LabelStock.h"
#include "Maintenance.h"
#include "ReportCommands.h"
#include "ReportFont.h"
#include "Tables.h"

#include <QDir>
#include <QFile>
#include <QPageLayout>
#include <QPageSize>
#include <QPrinter>

namespace tallyra {

namespace {

// The sheet a stock describes: the standard size its margins, labels and gaps add up to across,
// else the locale's.
QPageSize paperFor(const LabelRecord &stock)
{
    const double across = stock.LeftM + stock.RightM + double(stock.NAcross) * stock.Width +
                          double(stock.NAcross - 1) * stock.HGap;
    for (QPageSize::PageSizeId id : {QPageSize::Letter, QPageSize::A4, QPageSize::Legal}) {
        if (qAbs(QPageSize(id).size(QPageSize::Point).width() - across) < 1.0)
            return QPageSize(id);
    }
    return QPageSize(QLocale().measurementSystem() == QLocale::ImperialUSSystem ? QPageSize::Letter
                                                                                : QPageSize::A4);
}

ReportOutcome runLabels(const ReportOptions &o, ReportContext &context)
{
    if (o.kind < 1 || o.kind > 6)
        return {kExitUsage, QStringLiteral("labels: --kind 1 to 6"), false};
    if (o.stock.trimmed().isEmpty())
        return {kExitUsage, QStringLiteral("labels: --stock NAME"), false};
    if (o.output.isEmpty())
        return {kExitUsage, QStringLiteral("labels: --output FILE.pdf"), false};
    const LabelKind kind = LabelKind(o.kind);
    if (kind == LabelKind::SelectedCustomers && o.customers.isEmpty())
        return {kExitUsage, QStringLiteral("labels --kind 1: --customers N,..."), false};
    if (kind == LabelKind::Groups && o.groups.isEmpty())
        return {kExitUsage, QStringLiteral("labels --kind 5: --groups N,..."), false};

    const OpenResult labels = openLabels(context.engine);
    if (!labels)
        return ReportOutcome::failed(labels.message());
    if (labels.table->recordCount() == 0)
        return ReportOutcome::failed(
            QStringLiteral("Label Stock has not been defined. Choose Setup - Labels to define label stock."));
    LabelRecord stock;
    bool found = false;
    for (bool more = labels.table->top(); more && !found; more = labels.table->skip(1)) {
        LabelRecord r;
        if (loadLabel(*labels.table, r).isOk() &&
            r.Name.trimmed().compare(o.stock.trimmed(), Qt::CaseInsensitive) == 0) {
            stock = r;
            found = true;
        }
    }
    if (!found)
        return ReportOutcome::failed(QStringLiteral("No label stock named ") + o.stock);
    if (const QString problem = labelStockProblem(stock); !problem.isEmpty())
        return ReportOutcome::failed(stock.Name.trimmed() + QStringLiteral(": ") + problem);

    LabelSelection selection;
    selection.from = o.from.isValid() ? o.from : today();
    selection.to = o.to.isValid() ? o.to : today();
    selection.groups = o.groups;
    selection.customers = o.customers;
    if (kind == LabelKind::Batch) {
        const QString batch = context.engine.findFile(QLatin1String(kBatchLabelFile));
        if (batch.isEmpty())
            return ReportOutcome::failed(QStringLiteral("Unable to save to: ") +
                                         QLatin1String(kBatchLabelFile));
        selection.batchFile = QDir(context.engine.directory()).filePath(batch);
    }

    // A PDF has no unprintable edge: labels land where the sheet's dimensions put them.
    const QString partial = o.output + QStringLiteral(".tmp");
    int placed = 0;
    bool printed = true;
    {
        QPrinter printer(QPrinter::HighResolution);
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(partial);
        printer.setPageLayout(QPageLayout(paperFor(stock), QPageLayout::Portrait, QMarginsF()));
        printer.setDocName(QStringLiteral("Labels"));
        LabelSheet sheet(stock, &printer, ReportFont::font(), {o.startColumn, o.startRow, false});
        const db::Status status = selectLabelCustomers(
            context.engine, kind, selection, context.progress, [&](const CustomerRecord &c) {
                printed = sheet.addLabel(labelLines(context.engine, c));
                return printed;
            });
        printed = sheet.finish() && printed;
        placed = sheet.labelsPlaced();
        if (!status) {
            QFile::remove(partial);
            return ReportOutcome::failed(status.message());
        }
    }
    if (placed == 0) {
        QFile::remove(partial);
        return ReportOutcome::nothing(QStringLiteral("No labels to print."));
    }
    QFile::remove(o.output);
    if (!printed || !QFile::rename(partial, o.output)) {
        QFile::remove(partial);
        return ReportOutcome::failed(QStringLiteral("Unable to write ") + o.output);
    }
    return ReportOutcome::wroteOutput();
}

} // namespace

void addLabelCommands(std::vector<ReportCommand> &commands)
{
    commands.push_back(
        {QStringLiteral("labels"),
         QStringLiteral("address labels to a PDF (--stock NAME --kind 1..6 --output FILE.pdf)"), runLabels});
}

} // namespace tallyra
