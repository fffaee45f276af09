#include "SalesReports.h"

#include "Conversions.h"
#include "DateSpanU.h"
#include "Maintenance.h"
#include "ReportBuffer.h"
#include "Settings.h"
#include "Tables.h"

#include <vector>

namespace tallyra {

namespace {

const QString kProcessing = QStringLiteral("Processing Sales");

// The invoices of the span, visited one by one in date order with their items at hand.
class SpanWalk
{
public:
    explicit SpanWalk(const SalesTables &tables)
        : inv(tables.invoices)
        , items(tables.items)
    {}

    db::Status prepare(const QDate &start, const QDate &end)
    {
        db::Status s = f.resolve(inv);
        if (!s.isOk())
            return s;
        if (!items.status().isOk())
            return items.status();
        return recordsInSpan(inv, QStringLiteral("InvD"), f.iDate, start, end, &recNos);
    }
    qint64 count() const { return qint64(recNos.size()); }
    bool go(std::size_t i) { return inv.go(recNos[i]); }
    db::Status error() const
    {
        db::Status s = inv.error();
        return s.isOk() ? items.error() : s;
    }

    // Fields of the current invoice.
    qint64 number() const { return inv.integer(f.ivNo); }
    double discountPercent() const { return inv.number(f.discount); }
    double ship() const { return inv.number(f.ship); }
    double tax() const { return inv.number(f.tax); }

    // quantity × unit price summed over the invoice's items, without rounding.
    double itemsValue()
    {
        double sum = 0;
        for (bool more = items.first(number()); more; more = items.next())
            sum += items.quantity() * items.unitPrice();
        return sum;
    }

    db::Table &inv;
    InvoiceFields f;
    InvoiceItems items;
    std::vector<quint32> recNos;
};

// The five amount columns of the sales and department summaries.
struct Amounts
{
    double items = 0, discount = 0, ship = 0, tax = 0;
    double total() const { return items - discount + ship + tax; }
    void add(const Amounts &a)
    {
        items += a.items;
        discount += a.discount;
        ship += a.ship;
        tax += a.tax;
    }
};

Amounts invoiceAmounts(SpanWalk &walk)
{
    Amounts a;
    a.items = walk.itemsValue();
    a.discount = roundCents(a.items * walk.discountPercent() / 100);
    a.ship = walk.ship();
    a.tax = walk.tax();
    return a;
}

// Puts the five amounts and the total into cells first, first + 2, ... (rules between them).
void putAmounts(ReportBuffer &b, int first, const Amounts &a)
{
    putAmount(b, first, a.items, 10);
    putAmount(b, first + 2, a.discount, 10);
    putAmount(b, first + 4, a.ship, 10);
    putAmount(b, first + 6, a.tax, 10);
    putAmount(b, first + 8, a.total(), 10);
}

SalesReportResult salesSummary(ReportBuffer &b, SpanWalk &walk, const QString &title, const SettingsRecord &s,
                               const ProgressDisplay &display)
{
    startReportLayout(
        b, 75, {QStringLiteral("Sales Summary for ") + title},
        {"V00", "R07", "V08", "R17", "V18", "R28", "V29", "R40", "V41", "R52", "V53", "R63", "V64", "R74",
         "V75"},
        {"Inv. No", "Date", "Items", "Discounts", s.ShipLine.trimmed(), s.TaxLine.trimmed(), "Total"});
    ProgressSteps progress(display, kProcessing, walk.count());
    DateTexts dates;
    Amounts totals;
    b.reserveRows(int(walk.count()) + 1, true);
    for (std::size_t i = 0; i < walk.recNos.size(); ++i) {
        if (!walk.go(i))
            break;
        const Amounts a = invoiceAmounts(walk);
        totals.add(a);
        b.pageCheck(b.pageLines() + 1, true);
        b.newRow();
        putRules(b, {0, 2, 4, 6, 8, 10, 12, 14});
        b.setCell(1, numberCell(b.colCode(1), walk.number(), 6));
        b.setCell(3, dates.cell(b.colCode(3), walk.inv.rawView(walk.f.iDate)));
        putAmounts(b, 5, a);
        progress.step();
    }
    if (const db::Status s = walk.error(); !s.isOk())
        return SalesReportResult::readFailed(s);
    progress.end();
    b.setFlags(b.curRow(), QStringLiteral("U"));
    b.pageCheck(b.pageLines() + 1, true);
    b.newRow();
    putRules(b, {0, 4, 6, 8, 10, 12, 14});
    b.put(3, QStringLiteral("Totals"));
    putAmounts(b, 5, totals);
    b.setFlags(b.curRow(), QStringLiteral("U"));
    return {};
}

SalesReportResult productSummary(ReportBuffer &b, SpanWalk &walk, db::Table &products, const QString &title,
                                 const ProgressDisplay &display)
{
    const QStringList codes = {"V00", "L02", "V13", "L15", "V43", "R49", "V51", "R63", "V65"};
    startReportLayout(b, 65, {QStringLiteral("Sales by Product from ") + title}, codes,
                      {"Item Code", "Description", "Qty.", "Discounted Total"});
    ProgressSteps progress(display, kProcessing, walk.count());

    // The products sold in order of first sale; found by identifier through the hash.
    struct Entry
    {
        QString id;
        double quantity = 0;
        double value = 0;
        bool printed = false;
    };
    std::vector<Entry> entries;
    QHash<QByteArray, std::size_t> byId; // by the identifier's stored bytes
    for (std::size_t i = 0; i < walk.recNos.size(); ++i) {
        if (!walk.go(i))
            break;
        const double percent = walk.discountPercent();
        for (bool more = walk.items.first(walk.number()); more; more = walk.items.next()) {
            const double gross = walk.items.quantity() * walk.items.unitPrice();
            const double value = roundCents(gross) - (percent != 0 ? roundCents(gross * percent / 100) : 0);
            // Looked up through a key over the record's bytes; only a new product's is copied.
            const QByteArrayView id = walk.items.productIdBytes();
            auto it = byId.find(QByteArray::fromRawData(id.data(), id.size()));
            if (it == byId.end()) {
                it = byId.insert(id.toByteArray(), entries.size());
                entries.push_back({QString::fromUtf8(id)});
            }
            // Both sums are kept to cents, as they would be as "%10.2f" text.
            Entry &e = entries[it.value()];
            e.quantity = roundCents(e.quantity + walk.items.quantity());
            e.value = roundCents(e.value + value);
        }
        progress.step();
    }
    if (const db::Status s = walk.error(); !s.isOk())
        return SalesReportResult::readFailed(s);
    progress.end();
    if (entries.empty()) {
        b.reportClear();
        return SalesReportResult::nothing(QString::fromLatin1(kNoInvoicesMessage));
    }

    double total = 0;
    auto printEntry = [&](Entry &e, const QString &description) {
        b.pageCheck(b.pageLines() + 2, true);
        b.newRow();
        putRules(b, {0, 2, 4, 6, 8});
        b.put(1, e.id);
        b.put(3, description);
        putAmount(b, 5, e.quantity, 10);
        putAmount(b, 7, e.value, 10);
        total += e.value;
        e.printed = true;
    };
    // Catalogue order first; a product listed twice prints once.
    const int idField = products.fieldIndex("PrID");
    const int descField = products.fieldIndex("PDesc");
    if (idField < 0 || descField < 0)
        return SalesReportResult::readFailed(db::Status::corruption(
            products.fileName() + QStringLiteral(": the field PrID or PDesc is missing")));
    if (!products.selectTag(QStringLiteral("Prod")))
        return SalesReportResult::readFailed(products.takeError());
    for (bool more = products.top(); more; more = products.skip(1)) {
        if (products.isDeleted())
            continue;
        const auto it = byId.constFind(products.text(idField).toUtf8());
        if (it == byId.constEnd() || entries[it.value()].printed)
            continue;
        printEntry(entries[it.value()], products.text(descField));
    }
    if (db::Status s = products.takeError(); !s.isOk())
        return SalesReportResult::readFailed(s);
    for (Entry &e : entries) {
        if (!e.printed)
            printEntry(e, QStringLiteral("Unknown Product"));
    }
    b.setFlags(b.curRow(), QStringLiteral("U"));
    b.newRow();
    putRules(b, {0, 6, 8});
    b.put(1, QStringLiteral("Total Sales"));
    putAmount(b, 7, total, 10);
    b.setFlags(b.curRow(), QStringLiteral("U"));
    return {};
}

SalesReportResult taxSummary(ReportBuffer &b, SpanWalk &walk, const QString &title, const SettingsRecord &s,
                             const ProgressDisplay &display)
{
    startReportLayout(b, 50, {QStringLiteral("Tax report for ") + title}, {"L00", "R38", "R50"}, {});
    ProgressSteps progress(display, kProcessing, walk.count());
    double net = 0, base1 = 0, base2 = 0, shipCharged = 0, taxCharged = 0;
    for (std::size_t i = 0; i < walk.recNos.size(); ++i) {
        if (!walk.go(i))
            break;
        const double percent = walk.discountPercent();
        for (bool more = walk.items.first(walk.number()); more; more = walk.items.next()) {
            const double gross = walk.items.quantity() * walk.items.unitPrice();
            const double itemNet = gross - roundCents(gross * percent / 100);
            net += itemNet;
            if (walk.items.shipFlag())
                base1 += itemNet;
            if (walk.items.taxFlag())
                base2 += itemNet;
        }
        const double ship = walk.ship();
        const double tax = walk.tax();
        if (s.ShipTax == 2 || (s.ShipTax == 3 && tax > 0))
            base2 += ship;
        shipCharged += ship;
        taxCharged += tax;
        progress.step();
    }
    if (const db::Status st = walk.error(); !st.isOk())
        return SalesReportResult::readFailed(st);
    progress.end();

    // The captions as the settings record holds them, not trimmed.
    const QString &shipLine = s.ShipLine;
    const QString &taxLine = s.TaxLine;
    const QString u = QStringLiteral("U");
    b.pageCheck(b.pageLines() + 2, false);
    b.newRow();
    b.setFlags(b.curRow(), u);
    b.newRow();
    b.put(0, QStringLiteral("Net Item Sales"));
    putAmount(b, 2, net, 11);
    if (s.TaxRate1 > 0) {
        b.setFlags(b.curRow(), u);
        b.newRow();
        b.put(0, QStringLiteral("Sales subject to ") + shipLine);
        putAmount(b, 1, base1, 11);
    }
    b.newRow();
    b.put(0, shipLine + QStringLiteral(" Charged"));
    putAmount(b, 2, shipCharged, 11);
    b.setFlags(b.curRow(), u);
    b.newRow();
    b.put(0, QStringLiteral("Sales subject to ") + taxLine);
    putAmount(b, 1, base2, 11);
    b.newRow();
    b.put(0, taxLine + QStringLiteral(" Charged"));
    putAmount(b, 2, taxCharged, 11);
    b.setFlags(b.curRow(), u);
    b.newRow();
    b.put(0, QStringLiteral("Total"));
    putAmount(b, 2, net + shipCharged + taxCharged, 11);
    b.setFlags(b.curRow(), u);
    return {};
}

SalesReportResult departmentSummary(ReportBuffer &b, SpanWalk &walk, const QString &title,
                                    const SettingsRecord &s, const ProgressDisplay &display)
{
    startReportLayout(
        b, 71, {QStringLiteral("Summary of Sales by Department for ") + title},
        {"V00", "L01", "V11", "R22", "V23", "R34", "V35", "R46", "V47", "R58", "V59", "R70", "V71"},
        {"Department", "Items", "Discounts", s.ShipLine.trimmed(), s.TaxLine.trimmed(), "Total"});
    ProgressSteps progress(display, kProcessing, walk.count());
    // Departments in order of first appearance, found by key through the hash.
    std::vector<std::pair<QString, Amounts>> departments;
    QHash<QString, std::size_t> byKey;
    for (std::size_t i = 0; i < walk.recNos.size(); ++i) {
        if (!walk.go(i))
            break;
        const QString key = walk.inv.text(walk.f.dept).toUpper().trimmed();
        auto it = byKey.find(key);
        if (it == byKey.end()) {
            it = byKey.insert(key, departments.size());
            departments.push_back({key, Amounts()});
        }
        departments[it.value()].second.add(invoiceAmounts(walk));
        progress.step();
    }
    if (const db::Status st = walk.error(); !st.isOk())
        return SalesReportResult::readFailed(st);
    progress.end();

    Amounts totals;
    for (const auto &[key, amounts] : departments) {
        b.pageCheck(b.pageLines() + 1, true);
        b.newRow();
        putRules(b, {0, 2, 4, 6, 8, 10, 12});
        b.put(1, key);
        putAmounts(b, 3, amounts);
        totals.add(amounts);
    }
    b.setFlags(b.curRow(), QStringLiteral("U"));
    b.pageCheck(b.pageLines() + 1, true);
    b.newRow();
    putRules(b, {0, 2, 12});
    b.put(1, QStringLiteral("Totals"));
    putAmounts(b, 3, totals);
    b.setFlags(b.curRow(), QStringLiteral("U"));
    return {};
}

} // namespace

SalesReportResult buildSalesReport(SalesReport report, ReportBuffer &buffer, const SalesTables &tables,
                                   const QDate &start, const QDate &end, const SettingsRecord &settings,
                                   const ProgressDisplay &progress)
{
    SpanWalk walk(tables);
    if (const db::Status s = walk.prepare(start, end); !s.isOk())
        return SalesReportResult::readFailed(s);
    if (walk.count() == 0)
        return SalesReportResult::nothing(QString::fromLatin1(kNoInvoicesMessage));
    const QString title = spanText(start, end);
    switch (report) {
    case SalesReport::SalesSummary:
        return salesSummary(buffer, walk, title, settings, progress);
    case SalesReport::ProductSummary:
        return productSummary(buffer, walk, tables.products, title, progress);
    case SalesReport::TaxSummary:
        return taxSummary(buffer, walk, title, settings, progress);
    case SalesReport::DepartmentSummary:
        return departmentSummary(buffer, walk, title, settings, progress);
    }
    return {};
}

SalesReportResult makeSalesReport(SalesReport report, db::Engine &engine, ReportBuffer &buffer,
                                  const QDate &start, const QDate &end, const SettingsRecord &settings,
                                  const ProgressDisplay &progress)
{
    SalesReportResult result;
    const OpenResult inv = openInvoices(engine);
    const OpenResult itm = inv ? openItems(engine) : OpenResult();
    const OpenResult prod = itm ? openProducts(engine) : OpenResult();
    if (!inv || !itm || !prod)
        result = SalesReportResult::openFailed(!inv ? inv.message() : !itm ? itm.message() : prod.message());
    else
        result = buildSalesReport(report, buffer, {*inv.table, *itm.table, *prod.table}, start, end, settings,
                                  progress);
    closeAllTables(engine);
    return result;
}

bool runSalesReport(SalesReport report, QWidget *parent, db::Engine &engine, const ProgressDisplay &progress,
                    QString *openFailure)
{
    presetCurrentMonth();
    if (!TDateSpan::ask())
        return true;
    const DateSpanValues span = dateSpan();
    ReportBuffer &buffer = reportBuffer();
    const SalesReportResult result =
        makeSalesReport(report, engine, buffer, span.start, span.end, settings(), progress);
    return finishReportRun(parent, result, buffer, openFailure);
}

} // namespace tallyra
