// The inventory reports at size: 10,000 products (four in five tracked), 200,000 purchases and
// 100,000 invoices holding 1,000,000 items sold, then the same business doubled. "Stock On Hand"
// and "Cost of Goods Sold" for a year are built into a report buffer; medians of three runs.
// Goals: each under 2 s, and the doubled business at most twice the time.
//
//   bench_inventory [SCALE [once]]   SCALE 1 (default) is the size above; the doubled run uses 2 x SCALE
//                             (TALLYRA_BENCH_DIR: where to put the files; TALLYRA_BENCH_KEEP=1 keeps
//                             them there for the next run)

#include "Clock.h"
#include "InventoryReports.h"
#include "Maintenance.h"
#include "NewBusiness.h"
#include "Records.h"
#include "ReportBuffer.h"
#include "Tables.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <time.h>
#include <vector>

using namespace tallyra;

namespace {

double millis(const std::function<void()> &f)
{
    QElapsedTimer t;
    t.start();
    f();
    return double(t.nsecsElapsed()) / 1e6;
}

// The processor time this process used, in ms: on a machine shared with other work the wall time
// can be much longer than the work itself.
double cpuMillis()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
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

QString productId(int n)
{
    return QStringLiteral("P%1").arg(n, 6, 10, QLatin1Char('0'));
}

// Fills Prod5, Pur5, INV6 and ITM5 without their indexes, then builds every index group.
bool fill(const QString &dir, int products, int purchases, int invoices, int itemsPerInvoice)
{
    db::Engine engine(dir);
    engine.setAutoOpenIndex(false);
    db::Table *prod = engine.open(QStringLiteral("Prod5"));
    db::Table *pur = engine.open(QStringLiteral("Pur5"));
    db::Table *inv = engine.open(QStringLiteral("INV6"));
    db::Table *itm = engine.open(QStringLiteral("ITM5"));
    if (!prod || !pur || !inv || !itm)
        return false;
    for (int n = 0; n < products; ++n) {
        ProductRecord p;
        p.PrID = productId(n);
        p.PDesc = QStringLiteral("Bench product %1").arg(n);
        p.lInven = n % 5 != 0;
        p.REORDER = n % 40;
        if (!check(prod->appendBlank(), "Prod5") || !check(writeProduct(*prod, p), "Prod5"))
            return false;
    }
    // Purchases over two years, each product's spread through them.
    for (int n = 0; n < purchases; ++n) {
        PurchaseRecord p;
        p.PURProd = productId((n * 7919) % products);
        p.PURDate = QDate(2023, 1, 1).addDays((n * 31) % 730);
        p.PURQty = 20 + n % 60;
        p.PURCost = p.PURQty * (1 + n % 17) * 0.75;
        p.PURNo = n;
        if (!check(pur->appendBlank(), "Pur5") || !check(writePurchase(*pur, p), "Pur5"))
            return false;
    }
    for (int n = 1; n <= invoices; ++n) {
        InvoiceRecord h;
        h.IvNo = n;
        h.CuNo = 1;
        h.IDate = QDate(2023, 1, 1).addDays(qint64(n) * 730 / invoices);
        if (!check(inv->appendBlank(), "INV6") || !check(writeInvoice(*inv, h), "INV6"))
            return false;
        for (int i = 0; i < itemsPerInvoice; ++i) {
            ItemRecord r;
            r.IvNo = n;
            r.PrID = productId((n * 13 + i * 997) % products);
            r.Qty = 1 + (n + i) % 4;
            r.UPR = 2.5;
            r.PDesc = QStringLiteral("Bench item");
            if (!check(itm->appendBlank(), "ITM5") || !check(writeItem(*itm, r), "ITM5"))
                return false;
        }
    }
    if (!check(engine.closeAll(), "close"))
        return false;
    return rebuildIndexes(engine, ReindexMode::Full).ok();
}

struct Timing
{
    double stock = 0;
    double cogs = 0;
    double stockCpu = 0;
    double cogsCpu = 0;
};

bool measure(int scale, Timing *timing)
{
    const int products = 10000 * scale, purchases = 200000 * scale, invoices = 100000 * scale;
    QTemporaryDir tmp(qEnvironmentVariable("TALLYRA_BENCH_DIR", QDir::tempPath()) +
                      QStringLiteral("/inventory-bench-XXXXXX"));
    std::printf("inventory: %d products, %d purchases, %d items sold ...\n", products, purchases,
                invoices * 10);
    std::fflush(stdout);
    // TALLYRA_BENCH_KEEP=1 keeps the business in TALLYRA_BENCH_DIR/inventory-<scale> for later runs.
    QString dir = tmp.path();
    const bool keep = qEnvironmentVariableIntValue("TALLYRA_BENCH_KEEP") == 1;
    if (keep)
        dir = qEnvironmentVariable("TALLYRA_BENCH_DIR", QDir::tempPath()) +
              QStringLiteral("/inventory-%1").arg(scale);
    if (!keep || !QFile::exists(dir + QStringLiteral("/ITM5.DBF"))) {
        QDir().mkpath(dir);
        if (!tmp.isValid() || !createBusiness(dir, false).ok())
            return false;
        const double fillMs = millis([&] {
            if (!fill(dir, products, purchases, invoices, 10))
                std::exit(1);
        });
        std::printf("  filled and indexed in %.1f s\n", fillMs / 1000);
    }

    ReportBuffer buffer([] { return 60; });
    std::vector<double> stock, cogs, stockCpu, cogsCpu;
    int rows = 0;
    GoodsSoldFigures figures;
    for (int run = 0; run < 3; ++run) {
        db::Engine engine(dir);
        double cpu = cpuMillis();
        stock.push_back(millis([&] {
            const InventoryBuild b =
                buildStockOnHand(buffer, engine, CostingMethod::FirstInFirstOut, QDate(2024, 12, 31), {});
            if (!b.ok())
                std::exit(1);
            rows = b.rows;
        }));
        stockCpu.push_back(cpuMillis() - cpu);
        closeAllTables(engine);
        cpu = cpuMillis();
        cogs.push_back(millis([&] {
            const InventoryBuild b =
                buildCostOfGoodsSold(buffer, engine, CostingMethod::LastInFirstOut, QDate(2024, 1, 1),
                                     QDate(2024, 12, 31), {}, &figures);
            if (!b.ok())
                std::exit(1);
        }));
        cogsCpu.push_back(cpuMillis() - cpu);
        closeAllTables(engine);
    }
    timing->stock = median(stock);
    timing->cogs = median(cogs);
    timing->stockCpu = median(stockCpu);
    timing->cogsCpu = median(cogsCpu);
    std::printf(
        "  Stock On Hand (%d rows):            median %7.0f ms (processor %5.0f ms)  (goal < 2000)  %s\n",
        rows, timing->stock, timing->stockCpu, timing->stock < 2000 ? "ok" : "SLOW");
    std::printf(
        "  Cost of Goods Sold, 2024 (last in):  median %7.0f ms (processor %5.0f ms)  (goal < 2000)  %s\n",
        timing->cogs, timing->cogsCpu, timing->cogs < 2000 ? "ok" : "SLOW");
    std::printf("    beginning %.2f, purchases %.2f, ending %.2f\n", figures.beginning, figures.purchases,
                figures.ending);
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int scale = argc > 1 ? std::max(1, std::atoi(argv[1])) : 1;
    setFixedToday(QDate(2024, 12, 31));
    Timing single, doubled;
    if (!measure(scale, &single))
        return 1;
    if (argc > 2 && qstrcmp(argv[2], "once") == 0) // the one size only, as for a profiler
        return 0;
    if (!measure(2 * scale, &doubled))
        return 1;
    const double stockRatio = doubled.stock / single.stock, cogsRatio = doubled.cogs / single.cogs;
    std::printf(
        "inventory: doubling the data: Stock On Hand x%.2f, Cost of Goods Sold x%.2f (goal <= 2)  %s\n",
        stockRatio, cogsRatio, stockRatio <= 2.0 && cogsRatio <= 2.0 ? "ok" : "SLOW");
    std::printf("           in processor time:   Stock On Hand x%.2f, Cost of Goods Sold x%.2f\n",
                doubled.stockCpu / single.stockCpu, doubled.cogsCpu / single.cogsCpu);
    return 0;
}
