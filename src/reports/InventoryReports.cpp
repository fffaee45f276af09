#include "InventoryReports.h"

#include "Clock.h"
#include "Conversions.h"
#include "DateSpanU.h"
#include "Maintenance.h"
#include "Prompt.h"
#include "ReportBuffer.h"
#include "ReportU.h"
#include "Settings.h"
#include "Tables.h"
#include "engine/Table.h"

#include <algorithm>
#include <vector>

namespace tallyra {

namespace {

QString money(double value, int width = 12)
{
    return QString::asprintf("%*.2f", width, value);
}

// An amount rounded to cents the way the report prints it.
double printedAmount(double value)
{
    return money(value).trimmed().toDouble();
}

// The heading block of a report: an empty ruled row, then the headings (ruled).
void startReport(ReportBuffer &b, int width, const QString &title, const QStringList &codes,
                 const QStringList &headings)
{
    b.reportStart(width, int(codes.size()) + 1);
    b.titles() << title;
    b.setHeadingRowCount(2);
    for (int c = 0; c < codes.size(); ++c) {
        b.setColCode(c, codes[c]);
        b.setHeading(c, 1, codes[c] + headings[c]);
    }
    b.setHeading(b.flagsCell(), 0, QStringLiteral("U"));
    b.setHeading(b.flagsCell(), 1, QStringLiteral("U"));
}

void start(const ProgressDisplay &p, const QString &message)
{
    if (p.start)
        p.start(message);
}

void finish(const ProgressDisplay &p)
{
    if (p.end)
        p.end();
}

// The tracked products of the catalogue, in identifier order.
struct TrackedProduct
{
    QString id;
    QString description;
    double reorder = 0;
    QByteArray key;
};

struct Tables
{
    db::Table *products = nullptr;
    db::Table *purchases = nullptr;
    db::Table *items = nullptr;
    db::Table *invoices = nullptr;
};

// Opens the tables the inventory costing reads; false with *failure set when one fails.
bool openCostingTables(db::Engine &engine, Tables *t, QString *failure)
{
    const OpenResult prod = openProducts(engine);
    const OpenResult pur = prod ? openPurchases(engine) : prod;
    const OpenResult itm = pur ? openItems(engine) : pur;
    const OpenResult inv = itm ? openInvoices(engine) : itm;
    if (!inv) {
        *failure = inv.message();
        return false;
    }
    *t = {prod.table, pur.table, itm.table, inv.table};
    return true;
}

db::Status readTracked(db::Table &products, std::vector<TrackedProduct> *out,
                       const std::function<void(int)> &progress)
{
    const int id = products.fieldIndex("PrID"), desc = products.fieldIndex("PDesc"),
              tracked = products.fieldIndex("lInven"), reorder = products.fieldIndex("REORDER");
    if (id < 0 || desc < 0 || tracked < 0 || reorder < 0)
        return db::Status::invalid(products.fileName() + QStringLiteral(": a product field is missing"));
    const qint64 count = qMax<qint64>(1, products.recordCount());
    qint64 done = 0;
    int shown = -1;
    for (bool more = products.top(); more; more = products.skip(1)) {
        // Each change of the percentage is painted, so it is passed on only when it changes.
        if (const int percent = int(++done * 100 / count); progress && percent != shown)
            progress(shown = percent);
        if (products.isDeleted() || !products.logical(tracked))
            continue;
        TrackedProduct p;
        p.id = products.text(id).trimmed();
        p.description = products.text(desc).trimmed();
        p.reorder = products.number(reorder);
        p.key = productKey(p.id.toUtf8());
        out->push_back(std::move(p));
    }
    return products.takeError();
}

QList<QByteArray> keysOf(const std::vector<TrackedProduct> &products)
{
    QList<QByteArray> keys;
    keys.reserve(qsizetype(products.size()));
    for (const TrackedProduct &p : products)
        keys.append(p.key);
    return keys;
}

// Progress over phases: the products read first (a share of the bar), then the ledger.
std::function<void(int)> phase(const ProgressDisplay &p, int from, int to)
{
    if (!p.set)
        return {};
    return [set = p.set, from, to](int percent) { set(from + (to - from) * percent / 100); };
}

// Reads the tracked products and their histories; the purchases of [from, to] are summed.
InventoryBuild readStock(db::Engine &engine, const ProgressDisplay &progress,
                         std::vector<TrackedProduct> *tracked, StockLedger *ledger, const QDate &from = {},
                         const QDate &to = {})
{
    InventoryBuild build;
    Tables t;
    if (!openCostingTables(engine, &t, &build.openFailure))
        return build;
    build.status = readTracked(*t.products, tracked, phase(progress, 0, 10));
    if (build.status)
        build.status = ledger->read(keysOf(*tracked), *t.purchases, *t.items, *t.invoices,
                                    phase(progress, 10, 90), from, to);
    return build;
}

} // namespace

InventoryBuild buildStockOnHand(ReportBuffer &b, db::Engine &engine, CostingMethod method, const QDate &today,
                                const ProgressDisplay &progress)
{
    const QStringList codes = {QStringLiteral("L00"), QStringLiteral("L12"), QStringLiteral("R52"),
                               QStringLiteral("R65"), QStringLiteral("R78"), QStringLiteral("R85")};
    b.reportStart(85, 7);
    b.titles() << QStringLiteral("Stock On-Hand as of ") + formatShortDate(today);
    b.setHeadingRowCount(3);
    const QStringList upper = {QStringLiteral("Quantity"), QStringLiteral("Quantity"),
                               QStringLiteral("Reorder"), QStringLiteral("Need")};
    const QStringList lower = {QStringLiteral("Product"), QStringLiteral("Description"),
                               QStringLiteral("On-Hand"), QStringLiteral("On-Order"),
                               QStringLiteral("Level"),   QStringLiteral("Stock")};
    for (int c = 0; c < codes.size(); ++c) {
        b.setColCode(c, codes[c]);
        if (c >= 2)
            b.setHeading(c, 1, codes[c] + upper[c - 2]);
        b.setHeading(c, 2, codes[c] + lower[c]);
    }
    b.setHeading(b.flagsCell(), 0, QStringLiteral("U"));
    b.setHeading(b.flagsCell(), 2, QStringLiteral("U"));

    start(progress, QStringLiteral("Processing Inventory"));
    std::vector<TrackedProduct> tracked;
    StockLedger ledger;
    InventoryBuild build = readStock(engine, progress, &tracked, &ledger);
    if (build.ok()) {
        for (const TrackedProduct &p : tracked) {
            const CostingResult r = costInventory(true, ledger.history(p.key), today, method);
            b.pageCheck(b.pageLines() + 2, true);
            b.newRow();
            b.put(0, p.id);
            b.put(1, p.description);
            b.put(2, money(r.onHand()));
            b.put(3, money(r.laterPurchases));
            b.put(4, money(p.reorder));
            if (r.onHand() + r.laterPurchases >= p.reorder) {
                b.put(5, QStringLiteral("OK"));
            } else {
                b.put(5, QStringLiteral("YES"));
                b.setFlags(b.curRow(), QStringLiteral("B"));
            }
            ++build.rows;
        }
        if (b.curRow() >= 0)
            b.setFlags(b.curRow(), b.flags(b.curRow()) + QStringLiteral("U"));
    }
    if (progress.set)
        progress.set(100);
    finish(progress);
    return build;
}

InventoryBuild buildInventoryValue(ReportBuffer &b, db::Engine &engine, CostingMethod method,
                                   const QDate &asOf, const ProgressDisplay &progress)
{
    startReport(b, 67, QStringLiteral("Inventory as of ") + formatShortDate(asOf),
                {QStringLiteral("L00"), QStringLiteral("L12"), QStringLiteral("R52"), QStringLiteral("R67")},
                {QStringLiteral("Product"), QStringLiteral("Description"), QStringLiteral("Quantity"),
                 QStringLiteral("Cost")});
    start(progress, QStringLiteral("Processing Inventory"));
    std::vector<TrackedProduct> tracked;
    StockLedger ledger;
    InventoryBuild build = readStock(engine, progress, &tracked, &ledger);
    if (build.ok()) {
        double total = 0;
        for (const TrackedProduct &p : tracked) {
            const CostingResult r = costInventory(true, ledger.history(p.key), asOf, method);
            b.pageCheck(b.pageLines() + 2, true);
            b.newRow();
            b.put(0, p.id);
            b.put(1, p.description);
            b.put(2, money(r.quantity));
            b.put(3, money(r.value));
            total += r.value;
            ++build.rows;
        }
        if (b.curRow() >= 0)
            b.setFlags(b.curRow(), QStringLiteral("U"));
        b.newRow();
        b.put(2, QStringLiteral("Total"));
        b.put(3, money(total));
    }
    if (progress.set)
        progress.set(100);
    finish(progress);
    return build;
}

InventoryBuild buildCostOfGoodsSold(ReportBuffer &b, db::Engine &engine, CostingMethod method,
                                    const QDate &from, const QDate &to, const ProgressDisplay &progress,
                                    GoodsSoldFigures *figures)
{
    startReport(b, 50,
                QStringLiteral("Cost of Goods Sold from ") + formatShortDate(from) +
                    QStringLiteral(" through ") + formatShortDate(to),
                {QStringLiteral("L00"), QStringLiteral("R50")},
                {QStringLiteral("Description"), QStringLiteral("Amount")});
    start(progress, QStringLiteral("Processing Cost of Goods"));
    std::vector<TrackedProduct> tracked;
    StockLedger ledger;
    InventoryBuild build = readStock(engine, progress, &tracked, &ledger, from, to);
    if (build.ok()) {
        GoodsSoldFigures f;
        const QDate before = from.addDays(-1);
        for (const TrackedProduct &p : tracked) {
            const StockHistory &h = ledger.history(p.key);
            f.beginning += costInventory(true, h, before, method).value;
            f.ending += costInventory(true, h, to, method).value;
        }
        f.beginning = printedAmount(f.beginning);
        f.ending = printedAmount(f.ending);
        f.purchases = ledger.purchaseCost();
        build.rows = int(tracked.size());

        b.pageCheck(b.pageLines() + 6, true);
        auto row = [&b](const QString &text, double amount, bool ruled) {
            b.newRow();
            b.put(0, text);
            b.put(1, money(amount));
            if (ruled)
                b.setFlags(b.curRow(), QStringLiteral("U"));
        };
        row(QStringLiteral("Beginning Inventory"), f.beginning, false);
        row(QStringLiteral("Inventory Purchases"), f.purchases, true);
        row(QStringLiteral("Total"), f.beginning + f.purchases, false);
        row(QStringLiteral("Ending Inventory"), f.ending, true);
        row(QStringLiteral("Cost of Goods Sold"), f.costOfGoods(), false);
        if (figures)
            *figures = f;
    }
    if (progress.set)
        progress.set(100);
    finish(progress);
    return build;
}

InventoryBuild buildPurchasingReport(ReportBuffer &b, db::Engine &engine, const QDate &from, const QDate &to,
                                     const ProgressDisplay &progress)
{
    // The columns are placed for dates of eight characters ("03/05/24"); where the locale writes
    // longer ones ("22 May 2026") the date, quantity and cost columns move right by the difference
    // and one more, so a description of full width (27 characters) keeps a blank before the date.
    auto startColumns = [&b, &from, &to](int shift) {
        auto at = [shift](int column) { return QStringLiteral("R%1").arg(column + shift); };
        startReport(b, 71 + shift,
                    QStringLiteral("Purchasing Report for ") + formatShortDate(from) +
                        QStringLiteral(" through ") + formatShortDate(to),
                    {QStringLiteral("L00"), QStringLiteral("L12"), at(47), at(58), at(71)},
                    {QStringLiteral("Product"), QStringLiteral("Description"), QStringLiteral("Date"),
                     QStringLiteral("Quantity"), QStringLiteral("Cost")});
    };
    startColumns(0);
    InventoryBuild build;
    const OpenResult prod = openProducts(engine);
    const OpenResult pur = prod ? openPurchases(engine) : prod;
    if (!pur) {
        build.openFailure = pur.message();
        return build;
    }
    db::Table &products = *prod.table;
    db::Table &purchases = *pur.table;
    const int purProd = purchases.fieldIndex("PURProd"), purDate = purchases.fieldIndex("PURDate"),
              purQty = purchases.fieldIndex("PURQty"), purCost = purchases.fieldIndex("PURCost");
    const int prodDesc = products.fieldIndex("PDesc"), prodId = products.fieldIndex("PrID");
    if (purProd < 0 || purDate < 0 || purQty < 0 || purCost < 0 || prodDesc < 0 || prodId < 0) {
        build.status = db::Status::invalid(QStringLiteral("Prod5 or Pur5 lacks a field the report reads"));
        return build;
    }
    start(progress, QStringLiteral("Processing Purchasing Report"));

    // The purchases of the span in the order of the tag Pur (upper-case product, then date; equal
    // keys in record order), found by one pass in record order and a sort.
    struct Row
    {
        QByteArray key;
        quint32 recNo;
        QString product;
        QDate date;
        double qty;
        double cost;
    };
    std::vector<Row> rows;
    purchases.selectNatural();
    const qint64 count = qMax<qint64>(1, purchases.recordCount());
    qint64 done = 0;
    int shown = -1;
    for (bool more = purchases.top(); more; more = purchases.skip(1)) {
        if (progress.set && (++done & 1023) == 0 && int(done * 90 / count) != shown)
            progress.set(shown = int(done * 90 / count));
        if (purchases.isDeleted())
            continue;
        const QDate date = purchases.date(purDate);
        if (!date.isValid() || date < from || date > to)
            continue;
        QByteArray key = purchases.raw(purProd);
        for (char &c : key) {
            if (c >= 'a' && c <= 'z')
                c = char(c - 'a' + 'A');
        }
        key += purchases.raw(purDate);
        rows.push_back({key, purchases.recNo(), purchases.text(purProd).trimmed(), date,
                        purchases.number(purQty), purchases.number(purCost)});
    }
    build.status = purchases.takeError();
    purchases.selectTag(QStringLiteral("Pur"));
    if (!build.status) {
        finish(progress);
        return build;
    }
    std::sort(rows.begin(), rows.end(),
              [](const Row &a, const Row &b) { return a.key != b.key ? a.key < b.key : a.recNo < b.recNo; });
    qsizetype dateWidth = 8;
    for (const Row &r : rows)
        dateWidth = std::max(dateWidth, formatShortDate(r.date).size());
    startColumns(dateWidth > 8 ? int(dateWidth - 7) : 0);

    const int keyWidth = products.field(prodId).length;
    double total = 0;
    QString last;
    bool first = true;
    for (const Row &r : rows) {
        const bool newProduct = first || r.product != last;
        QString description;
        if (newProduct) {
            // The whole padded key, so "AB" never finds "ABC".
            QByteArray key = r.product.toUtf8();
            for (char &c : key) {
                if (c >= 'a' && c <= 'z')
                    c = char(c - 'a' + 'A');
            }
            description = QStringLiteral("Not Found");
            if (!key.isEmpty() && key.size() <= keyWidth &&
                products.seek(key.leftJustified(keyWidth, ' ')) == db::SeekResult::Found &&
                productKey(products.raw(prodId)) == productKey(key))
                description = products.text(prodDesc).trimmed();
            products.takeError();
        }
        b.pageCheck(b.pageLines() + 1, true);
        b.newRow();
        if (newProduct) {
            b.put(0, r.product);
            b.put(1, description);
        }
        b.put(2, formatShortDate(r.date));
        b.put(3, money(r.qty, 10));
        b.put(4, money(r.cost));
        total += r.cost;
        last = r.product;
        first = false;
        ++build.rows;
    }
    if (build.rows > 0) {
        b.setFlags(b.curRow(), QStringLiteral("U"));
        b.newRow();
        b.put(0, QStringLiteral("Total"));
        b.put(4, money(total, 13));
    }
    if (progress.set)
        progress.set(100);
    finish(progress);
    return build;
}

// --- The main window's commands ---------------------------------------------------------------

namespace {

// Shows what was built; the buffer is cleared and the tables closed in every case.
bool showBuild(QWidget *parent, db::Engine &engine, const InventoryBuild &build, QString *openFailure)
{
    ReportBuffer &buffer = reportBuffer();
    closeAllTables(engine);
    if (!build.openFailure.isEmpty()) {
        buffer.reportClear();
        if (openFailure)
            *openFailure = build.openFailure;
        return false;
    }
    if (!build.status)
        Prompt::info(parent,
                     QStringLiteral("Unable to read the inventory records:\n") + build.status.toString());
    else if (build.rows > 0)
        TReportF::showReport(parent, buffer);
    buffer.reportClear();
    return true;
}

CostingMethod programMethod()
{
    return costingMethod(settings().fifo);
}

} // namespace

bool runStockOnHand(QWidget *parent, db::Engine &engine, const ProgressDisplay &progress,
                    QString *openFailure)
{
    const InventoryBuild build = buildStockOnHand(reportBuffer(), engine, programMethod(), today(), progress);
    if (build.ok() && build.rows == 0)
        Prompt::info(parent, QStringLiteral("No product is marked as an inventory item."));
    return showBuild(parent, engine, build, openFailure);
}

bool runInventoryValue(QWidget *parent, db::Engine &engine, const ProgressDisplay &progress,
                       QString *openFailure)
{
    presetToday();
    TDateSpan &dialog = TDateSpan::instance();
    dialog.useSingleDate(QStringLiteral("Inventory as Of:"));
    const bool asked = TDateSpan::ask();
    dialog.useSpan();
    if (!asked)
        return true;
    const InventoryBuild build =
        buildInventoryValue(reportBuffer(), engine, programMethod(), dateSpan().start, progress);
    if (build.ok() && build.rows == 0)
        Prompt::info(parent, QStringLiteral("No product is marked as an inventory item."));
    return showBuild(parent, engine, build, openFailure);
}

bool runCostOfGoodsSold(QWidget *parent, db::Engine &engine, const ProgressDisplay &progress,
                        QString *openFailure)
{
    presetCurrentMonth();
    if (!TDateSpan::ask())
        return true;
    InventoryBuild build = buildCostOfGoodsSold(reportBuffer(), engine, programMethod(), dateSpan().start,
                                                dateSpan().end, progress);
    build.rows = 1; // the figures are shown even when no product is tracked
    return showBuild(parent, engine, build, openFailure);
}

bool runPurchasingReport(QWidget *parent, db::Engine &engine, const ProgressDisplay &progress,
                         QString *openFailure)
{
    presetCurrentMonth();
    if (!TDateSpan::ask())
        return true;
    const InventoryBuild build =
        buildPurchasingReport(reportBuffer(), engine, dateSpan().start, dateSpan().end, progress);
    return showBuild(parent, engine, build, openFailure);
}

} // namespace tallyra
