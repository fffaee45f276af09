// The record readers and writers at size: customers (fifteen fields, a memo among them) and
// invoice items (ten fields), written through writeCustomer()/writeItem() into tables without
// tags, then read back record by record through loadCustomer()/loadItem(), as reports and imports
// do. Beside them, the same records read field by field with the field numbers looked up once:
// the floor the readers can reach. Processor seconds, the median of three runs of each read.
//
//   bench_records [customers items]   default: 200000 1000000 (TALLYRA_BENCH_DIR: where to put the
//                                     files; default the temporary folder)

#include "Records.h"
#include "Schema.h"
#include "engine/Engine.h"

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <sys/resource.h>
#include <vector>

namespace {

using namespace tallyra;

double cpuSeconds()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

double median3(const std::function<void()> &run)
{
    std::vector<double> t;
    for (int i = 0; i < 3; ++i) {
        const double start = cpuSeconds();
        run();
        t.push_back(cpuSeconds() - start);
    }
    std::sort(t.begin(), t.end());
    return t[1];
}

void report(const char *what, qint64 records, double seconds)
{
    std::printf("%-40s %9lld records %7.3f s  %6.2f us/record\n", what, static_cast<long long>(records),
                seconds, seconds * 1e6 / double(std::max<qint64>(records, 1)));
    std::fflush(stdout);
}

bool fail(const db::Status &s)
{
    std::fprintf(stderr, "%s\n", qPrintable(s.toString()));
    return false;
}

bool run(const QString &dir, qint64 customers, qint64 items)
{
    for (TableId id : {TableId::Customers, TableId::Items}) {
        if (db::Status s = db::Table::create(dir, tableDef(id).fileName, tableDef(id).fields); !s.isOk())
            return fail(s);
    }
    db::Engine engine(dir);
    engine.setAutoOpenIndex(false);
    db::Table *cust = engine.open(tableDef(TableId::Customers).name);
    db::Table *itm = engine.open(tableDef(TableId::Items).name);
    if (!cust || !itm)
        return fail(db::Status::ioError(QStringLiteral("cannot open the tables")));

    double start = cpuSeconds();
    for (qint64 i = 0; i < customers; ++i) {
        CustomerRecord c;
        c.CuNo = i + 1;
        c.First = QStringLiteral("Anna");
        c.Last = QStringLiteral("Müller %1").arg(i);
        c.Addr1 = QStringLiteral("Harbor Lane Office Supply");
        c.Addr2 = QStringLiteral("12 Quay Street");
        c.Addr4 = QStringLiteral("Portsmouth NH");
        c.Zip = QStringLiteral("03801");
        c.Comments = i % 10 == 0 ? QStringLiteral("Pays by card.") : QString();
        c.NGroup = i % 12;
        c.Phone = QStringLiteral("+1 603 555 0142");
        c.EMail = QStringLiteral("anna%1@example.com").arg(i);
        if (db::Status s = cust->appendBlank(); !s.isOk())
            return fail(s);
        if (db::Status s = writeCustomer(*cust, c); !s.isOk())
            return fail(s);
    }
    report("writeCustomer (appends)", customers, cpuSeconds() - start);

    start = cpuSeconds();
    for (qint64 i = 0; i < items; ++i) {
        const ItemRecord r{1 + i / 10,
                           QStringLiteral("PROD-%1").arg(i % 5000),
                           1.0 + double(i % 7),
                           9.95,
                           i % 2 == 0,
                           i % 3 == 0,
                           QStringLiteral("Ball point pen, blue"),
                           QString()};
        if (db::Status s = itm->appendBlank(); !s.isOk())
            return fail(s);
        if (db::Status s = writeItem(*itm, r); !s.isOk())
            return fail(s);
    }
    report("writeItem (appends)", items, cpuSeconds() - start);
    if (db::Status s = engine.closeAll(); !s.isOk())
        return fail(s);

    cust = engine.open(tableDef(TableId::Customers).name);
    itm = engine.open(tableDef(TableId::Items).name);
    if (!cust || !itm)
        return fail(db::Status::ioError(QStringLiteral("cannot open the tables")));
    double sum = 0; // keeps the reads from being optimised away
    report("loadCustomer", customers, median3([&] {
               CustomerRecord c;
               for (bool more = cust->top(); more; more = cust->skip(1)) {
                   loadCustomer(*cust, c);
                   sum += double(c.CuNo) + c.Last.size();
               }
           }));
    report("customer fields, numbers looked up once", customers, median3([&] {
               std::vector<int> f;
               for (int i = 0; i < cust->fieldCount(); ++i)
                   f.push_back(i);
               for (bool more = cust->top(); more; more = cust->skip(1)) {
                   CustomerRecord c;
                   c.CuNo = cust->integer(f[0]);
                   c.Title = cust->text(f[1]);
                   c.First = cust->text(f[2]);
                   c.Last = cust->text(f[3]);
                   c.Addr1 = cust->text(f[4]);
                   c.Addr2 = cust->text(f[5]);
                   c.Addr3 = cust->text(f[6]);
                   c.Addr4 = cust->text(f[7]);
                   c.Zip = cust->text(f[8]);
                   c.Comments = cust->memo(f[9]);
                   c.NGroup = cust->integer(f[10]);
                   c.Note = cust->text(f[11]);
                   c.Phone = cust->text(f[12]);
                   c.Fax = cust->text(f[13]);
                   c.EMail = cust->text(f[14]);
                   sum += double(c.CuNo) + c.Last.size();
               }
           }));
    report("loadItem", items, median3([&] {
               ItemRecord r;
               for (bool more = itm->top(); more; more = itm->skip(1)) {
                   loadItem(*itm, r);
                   sum += r.Qty + r.PrID.size();
               }
           }));
    report("item fields, numbers looked up once", items, median3([&] {
               for (bool more = itm->top(); more; more = itm->skip(1)) {
                   ItemRecord r;
                   r.IvNo = itm->integer(0);
                   r.PrID = itm->text(1);
                   r.Qty = itm->number(2);
                   r.UPR = itm->number(3);
                   r.LTax1 = itm->logical(4);
                   r.LTax2 = itm->logical(5);
                   r.PDesc = itm->text(6);
                   r.IComm = itm->text(7);
                   sum += r.Qty + r.PrID.size();
               }
           }));
    std::printf("(checksum %.0f)\n", sum);
    return engine.closeAll().isOk();
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const qint64 customers = args.size() > 1 ? args.at(1).toLongLong() : 200000;
    const qint64 items = args.size() > 2 ? args.at(2).toLongLong() : 1000000;
    QTemporaryDir dir(qEnvironmentVariable("TALLYRA_BENCH_DIR", QDir::tempPath()) +
                      QStringLiteral("/tallyra-records-XXXXXX"));
    if (!dir.isValid()) {
        std::fprintf(stderr, "cannot make a temporary folder\n");
        return 1;
    }
    return run(dir.path(), customers, items) ? 0 : 1;
}
