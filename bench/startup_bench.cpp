// Start-up of the desktop program on a large business: from making the main window to the window
// on screen and ready for input, without the splash's deliberate wait. The data set (100,000
// customers, 1,000,000 invoice items, all indexes) is made once and kept for later runs.
//
//   bench_startup [customers items]   (TALLYRA_BENCH_DIR: where to keep the data set; default
//                                       /tmp/tallyra-bench-startup)

#include "Database.h"
#include "MainU.h"
#include "Maintenance.h"
#include "NewBusiness.h"
#include "Records.h"
#include "Tables.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

using namespace tallyra;

// The splash clock of a start-up that has already taken its time: no wait.
class NoSplashWait : public StartupClock
{
public:
    qint64 now() override { return m_now += kSplashMilliseconds; }
    void wait(qint64) override {}

private:
    qint64 m_now = 0;
};

bool fail(const QString &what)
{
    std::fprintf(stderr, "bench_startup: %s\n", qPrintable(what));
    return false;
}

bool makeDataSet(const QString &dir, int customers, int items)
{
    QDir(dir).removeRecursively();
    const NewBusinessResult made = createBusiness(dir, false);
    if (!made.ok())
        return fail(made.message);
    QElapsedTimer timer;
    timer.start();
    db::Engine engine(dir);
    engine.setAutoOpenIndex(false); // tags are built once, afterwards
    db::Table *cust = engine.open(QStringLiteral("CUST5"));
    db::Table *itm = engine.open(QStringLiteral("ITM5"));
    if (!cust || !itm)
        return fail(QStringLiteral("cannot open the new tables"));
    static const char *const kLast[] = {"Smith", "Baker",  "Nguyen", "Müller",
                                        "Rossi", "Tanaka", "Silva",  "Cohen"};
    CustomerRecord c;
    for (int i = 1; i <= customers; ++i) {
        c.CuNo = i;
        c.Last = QString::fromUtf8(kLast[i % 8]) + QString::number(i * 7919 % 100000);
        c.First = QStringLiteral("Pat");
        c.Addr1 = i % 3 ? QString() : QStringLiteral("Company %1").arg(i);
        c.Addr2 = QStringLiteral("%1 Main Street").arg(i);
        c.Addr4 = QStringLiteral("Springfield");
        c.Zip = QString::number(10000 + i * 37 % 89999);
        c.NGroup = i % 4 + 1;
        c.EMail = QStringLiteral("pat%1@example.com").arg(i);
        if (!cust->appendBlank().isOk() || !writeCustomer(*cust, c).isOk())
            return fail(cust->takeError().toString());
    }
    ItemRecord it;
    for (int i = 0; i < items; ++i) {
        it.IvNo = 1001 + i / 10;
        it.PrID = QStringLiteral("P%1").arg(i % 500, 4, 10, QLatin1Char('0'));
        it.Qty = 1 + i % 5;
        it.UPR = 9.95;
        it.LTax2 = true;
        it.PDesc = QStringLiteral("Product %1").arg(i % 500);
        if (!itm->appendBlank().isOk() || !writeItem(*itm, it).isOk())
            return fail(itm->takeError().toString());
    }
    if (!engine.closeAll().isOk())
        return fail(QStringLiteral("closing the tables failed"));
    engine.setAutoOpenIndex(true);
    const MaintenanceResult indexed = rebuildIndexes(engine, ReindexMode::Full);
    if (!indexed)
        return fail(indexed.status.toString());
    QFile marker(dir + QStringLiteral("/bench-ready"));
    marker.open(QIODevice::WriteOnly);
    marker.write(QByteArray::number(customers) + ' ' + QByteArray::number(items));
    std::printf("data set made in %.1f s\n", timer.elapsed() / 1000.0);
    return true;
}

bool dataSetReady(const QString &dir, int customers, int items)
{
    QFile marker(dir + QStringLiteral("/bench-ready"));
    return marker.open(QIODevice::ReadOnly) &&
           marker.readAll() == QByteArray::number(customers) + ' ' + QByteArray::number(items);
}

// One start: the window made, started and shown with its first paint done. Milliseconds.
double startOnce(const QString &dir, bool *ok)
{
    QElapsedTimer timer;
    timer.start();
    double ms = 0;
    {
        TMain window;
        window.setDataDirectory(dir);
        window.setStartupClock(std::make_shared<NoSplashWait>());
        *ok = window.start();
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents); // first paint
        ms = timer.nsecsElapsed() / 1e6;
        setPackNeeded(false);
        window.close();
    }
    return ms;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tallyra"));
    const int customers = argc > 2 ? QByteArray(argv[1]).toInt() : 100000;
    const int items = argc > 2 ? QByteArray(argv[2]).toInt() : 1000000;
    QString dir = qEnvironmentVariable("TALLYRA_BENCH_DIR", QStringLiteral("/tmp"));
    dir += QStringLiteral("/tallyra-bench-startup");

    if (!dataSetReady(dir, customers, items) && !makeDataSet(dir, customers, items))
        return 1;
    {
        db::Engine engine(dir);
        engine.setAutoOpenIndex(false);
        db::Table *cust = engine.open(QStringLiteral("CUST5"));
        db::Table *itm = engine.open(QStringLiteral("ITM5"));
        if (!cust || !itm || int(cust->recordCount()) != customers || int(itm->recordCount()) != items)
            return fail(QStringLiteral("the data set in %1 is not complete; remove it").arg(dir)), 1;
    }
    std::vector<double> times;
    bool ok = true;
    const double first = startOnce(dir, &ok);
    if (!ok)
        return fail(QStringLiteral("the program did not start")), 1;
    for (int i = 0; i < 15 && ok; ++i)
        times.push_back(startOnce(dir, &ok));
    if (!ok)
        return 1;
    std::sort(times.begin(), times.end());
    const double median = times[times.size() / 2];
    std::printf("start-up to a usable main window, %d customers, %d items (splash wait excluded):\n",
                customers, items);
    std::printf(
        "  first start %.1f ms; then median %.1f ms, slowest %.1f ms over %zu starts (goal: under 300 ms)\n",
        first, median, times.back(), times.size());
    if (median >= 300 || first >= 300)
        std::printf("  GOAL MISSED\n");
    return 0;
}
