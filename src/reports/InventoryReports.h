#pragma once

// The inventory reports: "Stock On Hand", "Inventory" (as of a day), "Cost of Goods Sold" (over a
// span) and the purchasing report (the purchases of a span by product). Each build*() opens the
// tables it needs on the engine, fills the buffer and leaves the tables open for the caller to
// close; the run*() functions are the main window's commands around them.

#include "InventoryCosting.h"
#include "engine/Engine.h"
#include "engine/Status.h"

#include <QDate>
#include <QString>

class QWidget;

namespace tallyra {

class ReportBuffer;
struct ProgressDisplay;

// What a build did.
struct InventoryBuild
{
    QString openFailure; // a table could not be opened: the program's fatal open message
    db::Status status;   // a table failed while it was read (the buffer holds what was built)
    int rows = 0;        // the rows of figures written (products or purchases)

    bool ok() const { return openFailure.isEmpty() && status.isOk(); }
};

// "Stock On-Hand as of <today>": every tracked product in identifier order with its quantity on
// hand, on order (purchases dated after today), reorder level and "YES" (bold row) when on hand
// plus on order is below the reorder level, else "OK".
InventoryBuild buildStockOnHand(ReportBuffer &buffer, db::Engine &engine, CostingMethod method,
                                const QDate &today, const ProgressDisplay &progress);

// "Inventory as of <day>": every tracked product with its quantity and cost value as of the day,
// and the total value.
InventoryBuild buildInventoryValue(ReportBuffer &buffer, db::Engine &engine, CostingMethod method,
                                   const QDate &asOf, const ProgressDisplay &progress);

// The figures of "Cost of Goods Sold" for a span, each rounded to cents.
struct GoodsSoldFigures
{
    double beginning = 0; // inventory value as of the day before the span
    double purchases = 0; // total cost of every purchase dated in the span, tracked or not
    double ending = 0;    // inventory value as of the span's last day
    double costOfGoods() const { return beginning + purchases - ending; }
};

// "Cost of Goods Sold from <from> through <to>". *figures (when given) receives the amounts.
InventoryBuild buildCostOfGoodsSold(ReportBuffer &buffer, db::Engine &engine, CostingMethod method,
                                    const QDate &from, const QDate &to, const ProgressDisplay &progress,
                                    GoodsSoldFigures *figures = nullptr);

// "Purchasing Report for <from> through <to>": the purchases of the span grouped by product, oldest
// first, the product's identifier and description on its first row only, and the cost total.
// No rows (rows 0) when the span holds no purchase.
InventoryBuild buildPurchasingReport(ReportBuffer &buffer, db::Engine &engine, const QDate &from,
                                     const QDate &to, const ProgressDisplay &progress);

// The main window's commands: ask for the date or span where the report needs one (Cancel ends
// the run), build into the program's report buffer, show it in the viewer, clear it and close all
// tables. A read failure is told to the user. False only when a table could not be opened:
// *openFailure then holds the message the shell shows before it ends the program.
bool runStockOnHand(QWidget *parent, db::Engine &engine, const ProgressDisplay &progress,
                    QString *openFailure = nullptr);
bool runInventoryValue(QWidget *parent, db::Engine &engine, const ProgressDisplay &progress,
                       QString *openFailure = nullptr);
bool runCostOfGoodsSold(QWidget *parent, db::Engine &engine, const ProgressDisplay &progress,
                        QString *openFailure = nullptr);
bool runPurchasingReport(QWidget *parent, db::Engine &engine, const ProgressDisplay &progress,
                         QString *openFailure = nullptr);

} // namespace tallyra
