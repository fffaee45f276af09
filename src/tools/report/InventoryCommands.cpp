#include "Clock.h"
#include "DateSpanU.h"
#include "InventoryReports.h"
#include "Maintenance.h"
#include "ReportBuffer.h"
#include "ReportCommands.h"
#include "Settings.h"

namespace tallyra {

namespace {

// --costing fifo|lifo (checked by the option parser), or the preference of the business.
CostingMethod methodOf(const ReportOptions &options)
{
    if (options.costing == QLatin1String("fifo"))
        return CostingMethod::FirstInFirstOut;
    if (options.costing == QLatin1String("lifo"))
        return CostingMethod::LastInFirstOut;
    return costingMethod(settings().fifo);
}

// --from/--to (given together, in order: the option parser sees to it), or the dialog's preset:
// the current month.
void spanOf(const ReportOptions &options, QDate *from, QDate *to)
{
    const DateSpanValues month = currentMonthSpan(today());
    *from = options.from.isValid() ? options.from : month.start;
    *to = options.to.isValid() ? options.to : month.end;
}

ReportOutcome outcomeOf(const InventoryBuild &build, const QString &nothing)
{
    if (!build.openFailure.isEmpty())
        return ReportOutcome::failed(build.openFailure);
    if (!build.status)
        return ReportOutcome::failed(QStringLiteral("Unable to read the inventory records:\n") +
                                     build.status.toString());
    if (build.rows == 0)
        return ReportOutcome::nothing(nothing);
    return ReportOutcome::done();
}

const QString kNoInventoryItems = QStringLiteral("No product is marked as an inventory item.");

} // namespace

void addInventoryCommands(std::vector<ReportCommand> &commands)
{
    commands.push_back({QStringLiteral("stock-on-hand"),
                        QStringLiteral("inventory items on hand and on order today, and what to reorder"),
                        [](const ReportOptions &options, ReportContext &context) {
                            return outcomeOf(buildStockOnHand(context.buffer, context.engine,
                                                              methodOf(options), today(), context.progress),
                                             kNoInventoryItems);
                        }});
    commands.push_back({QStringLiteral("inventory"),
                        QStringLiteral("quantity and cost value of the inventory items as of a day (--date)"),
                        [](const ReportOptions &options, ReportContext &context) {
                            const QDate day = options.date.isValid() ? options.date : today();
                            return outcomeOf(buildInventoryValue(context.buffer, context.engine,
                                                                 methodOf(options), day, context.progress),
                                             kNoInventoryItems);
                        }});
    commands.push_back(
        {QStringLiteral("cogs"), QStringLiteral("cost of goods sold over a span (--from/--to)"),
         [](const ReportOptions &options, ReportContext &context) {
             QDate from, to;
             spanOf(options, &from, &to);
             InventoryBuild build = buildCostOfGoodsSold(context.buffer, context.engine, methodOf(options),
                                                         from, to, context.progress);
             build.rows = 1; // the figures are reported even without inventory items
             return outcomeOf(build, QString());
         }});
    commands.push_back({QStringLiteral("purchasing"),
                        QStringLiteral("the stock purchases of a span by product (--from/--to)"),
                        [](const ReportOptions &options, ReportContext &context) {
                            QDate from, to;
                            spanOf(options, &from, &to);
                            return outcomeOf(buildPurchasingReport(context.buffer, context.engine, from, to,
                                                                   context.progress),
                                             QStringLiteral("No Purchases within selected dates."));
                        }});
}

} // namespace tallyra
