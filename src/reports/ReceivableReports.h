#pragma once

// Money owed and money received, from the "Sales Reports" list:
//  - "Receivable Income" ("RECEIVABLES"): every invoice whose amount due is not 0 (credits
//    included), in invoice-number order, with the customer's name, the invoice's age in days
//    from today and the amount due; a "Total Receivables" row.
//  - "Income Summary" ("Daily Income from ..."): the payments of a date span in date order,
//    grouped by day: the date on the day's first row, the day total ("%12.2f") on its last row,
//    which closes the group with a rule; a "Total Payments" row.

#include "SalesReportSupport.h"
#include "engine/Engine.h"

#include <QDate>

class QWidget;

namespace tallyra {

class ReportBuffer;
struct ProgressDisplay;

// Fills `buffer` with the receivables of INV6 (read in the order of its tag Inv) and CUST5 (names
// found on tag CCNO, "UNKNOWN" when missing), both open. Ages are counted to `today`. Progress
// runs from "Processing Receivables" over the records of INV6. Nothing with "No Invoices within
// selected dates." when INV6 holds no record; a built but empty buffer when none is due.
SalesReportResult buildReceivables(ReportBuffer &buffer, db::Table &invoices, db::Table &customers,
                                   const QDate &today, const ProgressDisplay &progress);
// The same after opening INV6 and CUST5; all tables are closed afterwards.
SalesReportResult makeReceivables(db::Engine &engine, ReportBuffer &buffer, const QDate &today,
                                  const ProgressDisplay &progress);
// The command: no question; the report against today(), then the notice or the viewer. False
// only when a table cannot be opened (*openFailure gets the fatal message).
bool runReceivables(QWidget *parent, db::Engine &engine, const ProgressDisplay &progress,
                    QString *openFailure = nullptr);

// Fills `buffer` with the payments of PMT (open; read on tag PmtD) dated start to end, each with
// its invoice's note IMemo from INV6 (open; found on tag Inv, left out when the invoice is
// missing). Progress runs from "Processing Payments" over the payments of the span. Nothing with
// "No Payments within selected dates." when there are none.
SalesReportResult buildDailyIncome(ReportBuffer &buffer, db::Table &payments, db::Table &invoices,
                                   const QDate &start, const QDate &end, const ProgressDisplay &progress);
SalesReportResult makeDailyIncome(db::Engine &engine, ReportBuffer &buffer, const QDate &start,
                                  const QDate &end, const ProgressDisplay &progress);
// The command: the date span preset to the current month ("Cancel" ends it), then the report.
bool runDailyIncome(QWidget *parent, db::Engine &engine, const ProgressDisplay &progress,
                    QString *openFailure = nullptr);

} // namespace tallyra
