// The inventory costing without a display: worked histories with known answers, a thousand random
// histories against a unit-by-unit model written here, and the one-pass ledger read from real
// tables on disk against the product-by-product seeks.

#include "InventoryCosting.h"
#include "NewBusiness.h"
#include "Records.h"
#include "Tables.h"
#include "TestSupport.h"
#include "engine/Table.h"

#include <QRandomGenerator>
#include <QTest>
#include <map>

using namespace tallyra;

namespace {

QDate d(int month, int day, int year = 2024)
{
    return QDate(year, month, day);
}

struct Case
{
    std::vector<StockPurchase> purchases;
    std::vector<StockSale> sales;
};

// The unit model: stock held unit by unit, each unit knowing its lot. Taking a unit takes it from
// the oldest lot holding one (first in first out), or from the newest lot bought on or before the
// day that holds one, else the oldest holding one (last in first out). An item credited back puts
// its units into the lot the method would have taken from first (the oldest lot, or the newest of
// the day holding stock). Quantities are whole units.
CostingResult unitModel(bool tracked, const Case &c, const QDate &asOf, bool fifo)
{
    CostingResult r;
    if (!tracked)
        return r;
    r.tracked = true;
    struct ModelLot
    {
        QDate date;
        double unitCost;
        long units;
    };
    std::vector<ModelLot> lots;
    for (const StockPurchase &p : c.purchases) {
        if (p.quantity == 0)
            continue;
        if (p.date > asOf)
            r.laterPurchases += p.quantity;
        else if (p.quantity > 0)
            lots.push_back({p.date, p.cost / p.quantity, long(p.quantity)});
    }
    auto pickOne = [&](const QDate &day) -> ModelLot * {
        if (fifo) {
            for (ModelLot &l : lots)
                if (l.units > 0)
                    return &l;
            return nullptr;
        }
        for (auto it = lots.rbegin(); it != lots.rend(); ++it)
            if (it->units > 0 && !(it->date > day))
                return &*it;
        for (ModelLot &l : lots)
            if (l.units > 0)
                return &l;
        return nullptr;
    };
    auto take = [&](long units, const QDate &day) -> double {
        if (lots.empty())
            return double(units);
        if (units < 0) {
            ModelLot *target = nullptr;
            if (fifo) {
                target = &lots.front();
            } else {
                for (auto it = lots.rbegin(); it != lots.rend() && !target; ++it)
                    if (it->units > 0 && !(it->date > day))
                        target = &*it;
            }
            if (!target)
                return double(units);
            target->units -= units;
            return 0;
        }
        long left = units;
        while (left > 0) {
            ModelLot *lot = pickOne(day);
            if (!lot)
                break;
            --lot->units;
            --left;
        }
        return double(left);
    };
    for (const StockPurchase &p : c.purchases)
        if (p.quantity < 0 && !(p.date > asOf))
            r.unallocated += take(long(-p.quantity), p.date);
    for (const StockSale &s : c.sales)
        r.unallocated += s.date > asOf ? s.quantity : take(long(s.quantity), s.date);
    for (const ModelLot &l : lots) {
        r.quantity += double(l.units);
        r.value += double(l.units) * l.unitCost;
    }
    return r;
}

bool close(double a, double b)
{
    return std::abs(a - b) <= 1e-6 * std::max(1.0, std::abs(a) + std::abs(b));
}

QString describe(const CostingResult &r)
{
    return QStringLiteral("qty %1 value %2 later %3 unallocated %4")
        .arg(r.quantity)
        .arg(r.value, 0, 'f', 4)
        .arg(r.laterPurchases)
        .arg(r.unallocated);
}

} // namespace

Q_DECLARE_METATYPE(Case)

class TestInventoryCosting : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void workedHistories_data()
    {
        QTest::addColumn<Case>("history");
        QTest::addColumn<QDate>("asOf");
        QTest::addColumn<bool>("fifo");
        QTest::addColumn<bool>("tracked");
        QTest::addColumn<double>("quantity");
        QTest::addColumn<double>("value");
        QTest::addColumn<double>("later");
        QTest::addColumn<double>("unallocated");

        const std::vector<StockPurchase> twoLots = {{d(1, 10), 10, 10.0}, {d(2, 10), 10, 20.0}};
        const Case fifteenInMarch{twoLots, {{d(3, 5), 15}}};
        QTest::newRow("first in: 5 left of the 2.00 lot")
            << fifteenInMarch << d(3, 31) << true << true << 5.0 << 10.0 << 0.0 << 0.0;
        QTest::newRow("last in: 5 left of the 1.00 lot")
            << fifteenInMarch << d(3, 31) << false << true << 5.0 << 5.0 << 0.0 << 0.0;
        // Sold 12 in January, before the second lot: 10 from the first, the other 2 from the second
        // in the oldest-first pass.
        const Case early{twoLots, {{d(1, 20), 12}}};
        QTest::newRow("last in: early sale overflows into the later lot")
            << early << d(3, 31) << false << true << 8.0 << 16.0 << 0.0 << 0.0;
        // Two sales: 5 in January (from the first lot either way), 8 in March: last in takes the
        // February lot, first in the rest of January's.
        const Case twoSales{twoLots, {{d(1, 15), 5}, {d(3, 1), 8}}};
        QTest::newRow("last in: each sale from the newest lot of its day")
            << twoSales << d(3, 31) << false << true << 7.0 << 9.0 << 0.0 << 0.0;
        QTest::newRow("first in: the same sales")
            << twoSales << d(3, 31) << true << true << 7.0 << 14.0 << 0.0 << 0.0;
        // As of mid-February the March sale has not happened: it is unallocated, the lots untouched.
        QTest::newRow("a sale after the day")
            << fifteenInMarch << d(2, 15) << true << true << 20.0 << 30.0 << 0.0 << 15.0;
        QTest::newRow("a purchase after the day is on order")
            << fifteenInMarch << d(1, 31) << true << true << 10.0 << 10.0 << 10.0 << 15.0;
        QTest::newRow("a purchase on the day is a lot")
            << fifteenInMarch << d(2, 10) << true << true << 20.0 << 30.0 << 0.0 << 15.0;
        QTest::newRow("not tracked: nothing")
            << fifteenInMarch << d(3, 31) << true << false << 0.0 << 0.0 << 0.0 << 0.0;
        QTest::newRow("no purchases: all sold is unallocated")
            << Case{{}, {{d(1, 5), 3}, {d(9, 5), 4}}} << d(3, 31) << true << true << 0.0 << 0.0 << 0.0 << 7.0;
        QTest::newRow("a purchase of 0 is ignored, its cost too")
            << Case{{{d(1, 1), 0, 50.0}, {d(1, 2), 4, 8.0}}, {}} << d(3, 31) << true << true << 4.0 << 8.0
            << 0.0 << 0.0;
        // Returns to the supplier: 4 sent back in March at the lots' own cost.
        const Case returned{{twoLots[0], twoLots[1], {d(3, 1), -4, -9.0}}, {}};
        QTest::newRow("first in: a return leaves from the oldest lot")
            << returned << d(3, 31) << true << true << 16.0 << 26.0 << 0.0 << 0.0;
        QTest::newRow("last in: a return leaves from the newest lot")
            << returned << d(3, 31) << false << true << 16.0 << 22.0 << 0.0 << 0.0;
        QTest::newRow("a return after the day lowers what is on order")
            << returned << d(2, 28) << true << true << 20.0 << 30.0 << -4.0 << 0.0;
        QTest::newRow("returning more than is held") << Case{{{d(1, 1), 3, 3.0}, {d(1, 2), -5, -5.0}}, {}}
                                                     << d(3, 31) << true << true << 0.0 << 0.0 << 0.0 << 2.0;
        // An invoice line crediting 2 back: first in puts them into the oldest lot.
        QTest::newRow("first in: a credited item goes back to the oldest lot")
            << Case{twoLots, {{d(2, 20), 15}, {d(2, 21), -2}}} << d(3, 31) << true << true << 7.0 << 12.0
            << 0.0 << 0.0;
    }

    void workedHistories()
    {
        QFETCH(Case, history);
        QFETCH(QDate, asOf);
        QFETCH(bool, fifo);
        QFETCH(bool, tracked);
        QFETCH(double, quantity);
        QFETCH(double, value);
        QFETCH(double, later);
        QFETCH(double, unallocated);
        const StockHistory h{history.purchases, history.sales};
        const CostingResult r = costInventory(tracked, h, asOf, costingMethod(fifo));
        QCOMPARE(r.tracked, tracked);
        QCOMPARE(r.quantity, quantity);
        QCOMPARE(r.value, value);
        QCOMPARE(r.laterPurchases, later);
        QCOMPARE(r.unallocated, unallocated);
        // The unit model agrees on every worked case.
        const CostingResult m = unitModel(tracked, history, asOf, fifo);
        QVERIFY2(close(m.value, r.value) && m.quantity == r.quantity && m.unallocated == r.unallocated,
                 qPrintable(describe(m)));
    }

    // A thousand random histories, each costed on several days by both methods, against the unit
    // model. Purchases come in date order with several on one day; sales in invoice order, which
    // is not always date order; some purchases are returns, some items credits.
    void randomHistoriesMatchTheUnitModel()
    {
        QRandomGenerator rng(20240305);
        int compared = 0;
        for (int n = 0; n < 1000; ++n) {
            Case c;
            const int purchases = rng.bounded(0, 9);
            QDate day = d(1, 1).addDays(rng.bounded(0, 10));
            for (int i = 0; i < purchases; ++i) {
                day = day.addDays(rng.bounded(0, 20));
                int qty = rng.bounded(0, 30);
                if (rng.bounded(8) == 0)
                    qty = -rng.bounded(1, 15);
                const double cost = qty * (rng.bounded(1, 500) / 100.0);
                c.purchases.push_back({day, double(qty), cost});
            }
            const int sales = rng.bounded(0, 12);
            for (int i = 0; i < sales; ++i) {
                int qty = rng.bounded(1, 25);
                if (rng.bounded(10) == 0)
                    qty = -rng.bounded(1, 6);
                c.sales.push_back({d(1, 1).addDays(rng.bounded(0, 200)), double(qty)});
            }
            const StockHistory h{c.purchases, c.sales};
            for (const QDate &asOf : {d(1, 1).addDays(rng.bounded(0, 200)), d(12, 31)}) {
                for (bool fifo : {true, false}) {
                    const CostingResult r = costInventory(true, h, asOf, costingMethod(fifo));
                    const CostingResult m = unitModel(true, c, asOf, fifo);
                    QVERIFY2(close(r.quantity, m.quantity) && close(r.value, m.value) &&
                                 close(r.laterPurchases, m.laterPurchases) &&
                                 close(r.unallocated, m.unallocated),
                             qPrintable(QStringLiteral("history %1, %2, as of %3: %4, model %5")
                                            .arg(n)
                                            .arg(fifo ? "first in" : "last in", asOf.toString(Qt::ISODate),
                                                 describe(r), describe(m))));
                    ++compared;
                }
            }
        }
        QCOMPARE(compared, 4000);
    }

    // A business on disk with random purchases, invoices and items, some records deleted, some
    // items on invoices that do not exist: the one-pass ledger gives every product the history the
    // seeks on the product, purchase, item and invoice tags give it.
    void ledgerReadsWhatTheSeeksRead()
    {
        testsupport::TempDataDir dir;
        QVERIFY(createBusiness(dir.path(), false).ok());
        db::Engine engine(dir.path());
        const OpenResult pur = openPurchases(engine), itm = openItems(engine), inv = openInvoices(engine);
        QVERIFY(pur && itm && inv);
        QRandomGenerator rng(7);
        const QStringList ids = {"A1", "A10", "B", "BOLT-M6", "CAFE", "Z"};
        for (int i = 0; i < 300; ++i) {
            PurchaseRecord p;
            p.PURProd = ids[rng.bounded(int(ids.size()))];
            if (i % 17 == 0)
                p.PURProd = p.PURProd.toLower();             // typed in lower case by another tool
            p.PURDate = d(1, 1).addDays(rng.bounded(0, 40)); // many on one day
            p.PURQty = rng.bounded(-3, 20);
            p.PURCost = p.PURQty * 1.5;
            p.PURNo = i;
            QVERIFY(pur.table->appendBlank().isOk() && writePurchase(*pur.table, p).isOk());
            if (i % 13 == 0)
                QVERIFY(pur.table->markDeleted().isOk() && pur.table->flush().isOk());
        }
        for (int n = 1; n <= 120; ++n) {
            InvoiceRecord inv6;
            inv6.IvNo = n;
            inv6.IDate = d(1, 1).addDays(rng.bounded(0, 90));
            if (n % 10 == 3)
                continue; // numbers without an invoice
            QVERIFY(inv.table->appendBlank().isOk() && writeInvoice(*inv.table, inv6).isOk());
            if (n % 11 == 0)
                QVERIFY(inv.table->markDeleted().isOk());
        }
        QVERIFY(inv.table->flush().isOk());
        for (int i = 0; i < 1500; ++i) {
            ItemRecord item;
            item.IvNo = 125 - rng.bounded(1, 125); // out of order, some past the last invoice
            item.PrID = ids[rng.bounded(int(ids.size()))];
            item.Qty = rng.bounded(-2, 9);
            QVERIFY(itm.table->appendBlank().isOk() && writeItem(*itm.table, item).isOk());
            if (i % 19 == 0)
                QVERIFY(itm.table->markDeleted().isOk() && itm.table->flush().isOk());
        }
        QVERIFY(closeAllTables(engine).isOk());

        db::Engine reader(dir.path());
        const OpenResult p2 = openPurchases(reader), i2 = openItems(reader), v2 = openInvoices(reader);
        QVERIFY(p2 && i2 && v2);
        QList<QByteArray> keys;
        for (const QString &id : ids)
            keys << productKey(id.toUtf8());
        StockLedger ledger;
        QList<int> percents;
        QVERIFY(ledger.read(keys, *p2.table, *i2.table, *v2.table, [&](int p) { percents << p; }).isOk());
        QVERIFY(!percents.isEmpty() && percents.last() == 100);
        int sales = 0;
        for (const QString &id : ids) {
            StockHistory sought;
            QVERIFY(readStockHistory(id, *p2.table, *i2.table, *v2.table, &sought).isOk());
            const StockHistory &read = ledger.history(productKey(id.toUtf8()));
            QCOMPARE(read.purchases.size(), sought.purchases.size());
            for (size_t i = 0; i < read.purchases.size(); ++i) {
                QCOMPARE(read.purchases[i].date, sought.purchases[i].date);
                QCOMPARE(read.purchases[i].quantity, sought.purchases[i].quantity);
                QCOMPARE(read.purchases[i].cost, sought.purchases[i].cost);
            }
            QCOMPARE(read.sales.size(), sought.sales.size());
            for (size_t i = 0; i < read.sales.size(); ++i) {
                QCOMPARE(read.sales[i].date, sought.sales[i].date);
                QCOMPARE(read.sales[i].quantity, sought.sales[i].quantity);
            }
            sales += int(read.sales.size());
            QVERIFY(std::is_sorted(
                read.purchases.begin(), read.purchases.end(),
                [](const StockPurchase &a, const StockPurchase &b) { return a.date < b.date; }));
        }
        // Deleted items and items without a live invoice are left out, the rest kept.
        QVERIFY(sales > 900 && sales < 1400);
        // The tags the tables were opened on are theirs again.
        QCOMPARE(p2.table->selectedTag().toUpper(), QStringLiteral("PUR"));
        QCOMPARE(i2.table->selectedTag().toUpper(), QStringLiteral("ITM"));
    }
};

QTEST_GUILESS_MAIN(TestInventoryCosting)
#include "tst_inventory_costing.moc"
