// Saving and opening invoices in a large business: 100,000 invoices with 1,000,000 line items
// and 100,000 payments, then invoices of 100 items and 10 payments saved new (appended),
// saved again in place, and opened. Medians of repeated runs; goals: save under 50 ms, open
// under 20 ms. The cost of the rare save that removes items (which packs ITM5) is shown too.
//
//   bench_invoice [ITEMS]     default 1000000 (TALLYRA_BENCH_DIR: where to put the files)

#include "Clock.h"
#include "InvoiceStore.h"
#include "Maintenance.h"
#include "NewBusiness.h"
#include "Records.h"
#include "Tables.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

using namespace tallyra;

namespace {

constexpr int kItemsPerStored = 10;
constexpr int kRuns = 21;

double millis(const std::function<void()> &f)
{
    QElapsedTimer t;
    t.start();
    f();
    return double(t.nsecsElapsed()) / 1e6;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

bool check(const db::Status &s, const char *what)
{
    if (!s.isOk())
        std::fprintf(stderr, "%s: %s\n", what, qPrintable(s.toString()));
    return s.isOk();
}

// Fills INV6, ITM5 and PMT without their indexes, then builds every index group at once.
bool fill(const QString &dir, int items)
{
    db::Engine engine(dir);
    engine.setAutoOpenIndex(false);
    db::Table *inv = engine.open(QStringLiteral("INV6"));
    db::Table *itm = engine.open(QStringLiteral("ITM5"));
    db::Table *pmt = engine.open(QStringLiteral("PMT"));
    db::Table *cust = engine.open(QStringLiteral("CUST5"));
    if (!inv || !itm || !pmt || !cust)
        return false;
    CustomerRecord c;
    c.CuNo = 1;
    c.Last = QStringLiteral("Bench");
    c.NGroup = 1;
    if (!check(cust->appendBlank(), "customer") || !check(writeCustomer(*cust, c), "customer"))
        return false;
    const int invoices = items / kItemsPerStored;
    for (int n = 1; n <= invoices; ++n) {
        InvoiceRecord h;
        h.IvNo = n;
        h.CuNo = 1;
        h.IDate = QDate(2024, 1, 1).addDays(n % 365);
        h.Due = 10;
        if (!check(inv->appendBlank(), "INV6") || !check(writeInvoice(*inv, h), "INV6"))
            return false;
        for (int i = 0; i < kItemsPerStored; ++i) {
            ItemRecord r;
            r.IvNo = n;
            r.PrID = QStringLiteral("P%1").arg((n * 7 + i) % 3000);
            r.Qty = 1 + i;
            r.UPR = 2.5;
            r.LTax2 = true;
            r.PDesc = QStringLiteral("Bench item");
            if (!check(itm->appendBlank(), "ITM5") || !check(writeItem(*itm, r), "ITM5"))
                return false;
        }
        PaymentRecord p;
        p.IvNo = n;
        p.PDate = h.IDate;
        p.PAmt = 5;
        if (!check(pmt->appendBlank(), "PMT") || !check(writePayment(*pmt, p), "PMT"))
            return false;
    }
    if (!check(engine.closeAll(), "close"))
        return false;
    return rebuildIndexes(engine, ReindexMode::Full).ok();
}

CurrentInvoice bigInvoice(InvoiceStore &store)
{
    CurrentInvoice inv;
    store.startNew(inv);
    inv.customerNumber = 1;
    for (int i = 0; i < 100; ++i) {
        InvoiceItem item;
        item.productId = QStringLiteral("P%1").arg(i);
        item.quantity = 1 + i % 5;
        item.unitPrice = 3.75;
        item.taxLine = true;
        item.description1 = QStringLiteral("Benchmark line %1").arg(i);
        inv.items << item;
    }
    for (int i = 0; i < 10; ++i)
        inv.payments << InvoicePayment{QDate(2024, 6, 1 + i), 12.5};
    return inv;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int items = argc > 1 ? std::max(1000, std::atoi(argv[1])) : 1000000;
    setFixedToday(QDate(2024, 6, 15));
    QTemporaryDir tmp(qEnvironmentVariable("TALLYRA_BENCH_DIR", QDir::tempPath()) +
                      QStringLiteral("/invoice-bench-XXXXXX"));
    if (!tmp.isValid() || !createBusiness(tmp.path(), false).ok())
        return 1;
    std::printf("invoices: filling %d items ...\n", items);
    const double fillMs = millis([&] {
        if (!fill(tmp.path(), items))
            std::exit(1);
    });
    std::printf("  filled and indexed in %.1f s\n", fillMs / 1000);

    db::Engine engine(tmp.path());
    if (!InvoiceStore::openTables(engine))
        return 1;
    InvoiceStore store(engine);

    std::vector<double> saveNew, saveAgain, open;
    std::vector<quint32> records;
    for (int run = 0; run < kRuns; ++run) {
        CurrentInvoice inv = bigInvoice(store);
        InvoiceSaveResult r;
        saveNew.push_back(millis([&] { r = store.save(inv, 0, QString(), {}); }));
        if (!r.ok()) {
            std::fprintf(stderr, "save: %s\n", qPrintable(r.message));
            return 1;
        }
        records.push_back(r.recNo);
    }
    for (int run = 0; run < kRuns; ++run) {
        CurrentInvoice inv;
        open.push_back(millis([&] {
            if (!store.load(records[std::size_t(run)], inv).isOk())
                std::exit(1);
        }));
        if (inv.items.size() != 100 || inv.payments.size() != 10)
            return 1;
        inv.items[50].quantity += 1;
        inv.note = QStringLiteral("run %1").arg(run);
        InvoiceSaveResult r;
        saveAgain.push_back(millis([&] { r = store.save(inv, records[std::size_t(run)], QString(), {}); }));
        if (!r.ok() || r.itemsDeleted != 0)
            return 1;
    }
    // One save that drops an item: the left-over record is deleted and ITM5 packed.
    CurrentInvoice shrink;
    store.load(records.front(), shrink);
    shrink.items.removeLast();
    const double shrinkMs = millis([&] { store.save(shrink, records.front(), QString(), {}); });
    const double closeMs = millis([&] { engine.closeAll(); });

    const double newMedian = median(saveNew);
    const double againMedian = median(saveAgain);
    const double openMedian = median(open);
    std::printf("  save new invoice (100 items, 10 payments):  median %7.2f ms  (goal < 50)  %s\n", newMedian,
                newMedian < 50 ? "ok" : "SLOW");
    std::printf("  save it again in place:                      median %7.2f ms  (goal < 50)  %s\n",
                againMedian, againMedian < 50 ? "ok" : "SLOW");
    std::printf("  open it (header, items, products, payments): median %7.2f ms  (goal < 20)  %s\n",
                openMedian, openMedian < 20 ? "ok" : "SLOW");
    std::printf("  save with one item fewer (packs ITM5):       %7.0f ms, once\n", shrinkMs);
    std::printf("  closing the tables (writes reach the disk):  %7.1f ms\n", closeMs);
    return 0;
}
