#pragma once

// The four summaries of the invoices of a date span, from the "Sales Reports" list:
//  - "Sales Summary": one row per invoice (number, date, items, discount, the two charge lines,
//    total) and a totals row; 75 characters wide.
//  - "Product Summary": quantity and discounted value sold per product, in catalogue order, then
//    the products no longer in the catalogue as "Unknown Product"; a "Total Sales" row.
//  - "Tax Summary": net item sales, the taxable bases of the two charge lines, what they charged
//    and the total.
//  - "Sales by Dept.": one row per department (upper-cased, trimmed) in order of first
//    appearance, with the same five amounts as the sales summary, and a totals row.
//
// Per invoice: items value = the sum of quantity × unit price over its items, not rounded per
// item (sales, tax and department summaries); discount = round to cents(items value × Discount /
// 100); total = items value − discount + Ship + Tax. The product summary rounds each line to
// cents instead, so the two may differ by a cent.

#include "SalesReportSupport.h"
#include "engine/Engine.h"

#include <QDate>

class QWidget;

namespace tallyra {

class ReportBuffer;
struct ProgressDisplay;
struct SettingsRecord;

enum class SalesReport
{
    SalesSummary,
    ProductSummary,
    TaxSummary,
    DepartmentSummary,
};

// The tables a summary reads, open: INV6, ITM5 and Prod5. The build selects the tags it walks
// (INV6 InvD, ITM5 Itm, Prod5 Prod) and leaves them selected.
struct SalesTables
{
    db::Table &invoices;
    db::Table &items;
    db::Table &products;
};

// Fills `buffer` with one summary of the invoices dated start to end (both included), with the
// captions and rules of `settings` (ShipLine, TaxLine, ShipTax, TaxRate1). Progress runs from
// "Processing Sales" over the invoices of the span and ends. Returns Nothing with "No Invoices
// within selected dates." when the span holds no invoice (for the product summary also when its
// invoices hold no item); ReadFailed when a table fails part way (the buffer then holds what was
// built).
SalesReportResult buildSalesReport(SalesReport report, ReportBuffer &buffer, const SalesTables &tables,
                                   const QDate &start, const QDate &end, const SettingsRecord &settings,
                                   const ProgressDisplay &progress);

// The same after opening INV6, ITM5 and Prod5 on `engine`; all tables are closed afterwards.
SalesReportResult makeSalesReport(SalesReport report, db::Engine &engine, ReportBuffer &buffer,
                                  const QDate &start, const QDate &end, const SettingsRecord &settings,
                                  const ProgressDisplay &progress);

// The whole command: the date span (preset to the current month; "Cancel" ends it), the report
// into the program's buffer, then the notice or the viewer; the buffer is cleared and all
// tables closed. False only when a table cannot be opened: *openFailure then holds the fatal
// message the shell shows before it ends the program.
bool runSalesReport(SalesReport report, QWidget *parent, db::Engine &engine, const ProgressDisplay &progress,
                    QString *openFailure = nullptr);

} // namespace tallyra
