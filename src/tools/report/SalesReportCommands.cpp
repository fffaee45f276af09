#include "Clock.h"
#include "CustomerReports.h"
#include "DateSpanU.h"
#include "ReceivableReports.h"
#include "ReportBuffer.h"
#include "ReportCommands.h"
#include "SalesReports.h"
#include "Settings.h"

namespace tallyra {

namespace {

// The span of --from/--to, or the dialog's preset: the current month.
DateSpanValues spanOf(const ReportOptions &options)
{
    if (options.from.isValid() && options.to.isValid())
        return {options.from, options.to, false};
    return currentMonthSpan(today());
}

// A built report with no rows has nothing to write: `empty` says why.
ReportOutcome outcomeOf(const SalesReportResult &result, const ReportBuffer &buffer, const QString &empty)
{
    switch (result.outcome) {
    case SalesReportResult::Outcome::Built:
        return buffer.curRow() < 0 ? ReportOutcome::nothing(empty) : ReportOutcome::done();
    case SalesReportResult::Outcome::Nothing:
        return ReportOutcome::nothing(result.message);
    case SalesReportResult::Outcome::OpenFailed:
        return ReportOutcome::failed(result.message);
    case SalesReportResult::Outcome::ReadFailed:
        return ReportOutcome::failed(reportReadFailure(result.message));
    }
    return ReportOutcome::done();
}

ReportOutcome usage(const QString &message)
{
    return {kExitUsage, message, false};
}

ReportCommand salesCommand(const char *name, const char *summary, SalesReport report)
{
    return {QString::fromLatin1(name), QString::fromLatin1(summary),
            [report](const ReportOptions &options, ReportContext &c) {
                const DateSpanValues span = spanOf(options);
                return outcomeOf(
                    makeSalesReport(report, c.engine, c.buffer, span.start, span.end, settings(), c.progress),
                    c.buffer, QString::fromLatin1(kNoInvoicesMessage));
            }};
}

} // namespace

void addSalesReportCommands(std::vector<ReportCommand> &commands)
{
    commands.push_back(salesCommand("sales-summary",
                                    "one row per invoice of the span with its totals (--from/--to)",
                                    SalesReport::SalesSummary));
    commands.push_back(salesCommand("product-summary",
                                    "quantity and discounted value sold per product (--from/--to)",
                                    SalesReport::ProductSummary));
    commands.push_back(salesCommand("tax-summary",
                                    "net sales, taxable bases and charges collected (--from/--to)",
                                    SalesReport::TaxSummary));
    commands.push_back(salesCommand("sales-by-dept", "the sales summary per department (--from/--to)",
                                    SalesReport::DepartmentSummary));
    commands.push_back({QStringLiteral("receivables"),
                        QStringLiteral("every invoice with an amount due, aged from today"),
                        [](const ReportOptions &, ReportContext &c) {
                            return outcomeOf(makeReceivables(c.engine, c.buffer, today(), c.progress),
                                             c.buffer, QStringLiteral("No amounts due."));
                        }});
    commands.push_back({QStringLiteral("income-summary"),
                        QStringLiteral("the payments of the span by day, with daily totals (--from/--to)"),
                        [](const ReportOptions &options, ReportContext &c) {
                            const DateSpanValues span = spanOf(options);
                            return outcomeOf(
                                makeDailyIncome(c.engine, c.buffer, span.start, span.end, c.progress),
                                c.buffer, QString::fromLatin1(kNoPaymentsMessage));
                        }});
    commands.push_back(
        {QStringLiteral("product-buyers"),
         QStringLiteral("who bought a product within the span (--product, --from/--to)"),
         [](const ReportOptions &options, ReportContext &c) {
             if (options.product.trimmed().isEmpty())
                 return usage(QStringLiteral("product-buyers needs --product ID"));
             const DateSpanValues span = spanOf(options);
             const QString product = options.product.trimmed().toUpper();
             return outcomeOf(
                 makeProductBuyers(c.engine, c.buffer, product, span.start, span.end, c.progress), c.buffer,
                 QStringLiteral("No buyers of %1 within selected dates.").arg(product));
         }});
    commands.push_back(
        {QStringLiteral("customer-profile"),
         QStringLiteral("address and purchase history of customers (--customers or --groups)"),
         [](const ReportOptions &options, ReportContext &c) {
             if (options.customers.isEmpty() == options.groups.isEmpty())
                 return usage(QStringLiteral("customer-profile needs --customers or --groups"));
             QList<qint64> unknown;
             const SalesReportResult r =
                 makeCustomerProfiles(c.engine, c.buffer, options.customers, options.groups, &unknown);
             QStringList missing;
             for (qint64 n : unknown)
                 missing << QString::number(n);
             return outcomeOf(r, c.buffer,
                              missing.isEmpty() ? QStringLiteral("No customers in the chosen groups.")
                                                : QStringLiteral("No such customers: ") +
                                                      missing.join(QStringLiteral(", ")));
         }});
}

} // namespace tallyra
