// Backup and restore of a large business against plain `cp` of the same files: the backup
// writes each file under a temporary name, syncs it, reads it back, compares it and writes the
// manifest; the restore copies the set in, checks it against the manifest, keeps a safety copy
// of the current files and rebuilds every index. Goals: backup within 2.5 times `cp` followed by
// `sync` of the copies (a copy that is not yet on the disk is no backup), restore within 3 times.
// The data set (20,000 customers, 100,000 invoices, 1,000,000 invoice items, all indexes) is made
// once and kept for later runs.
//
//   bench_backup [items]   (TALLYRA_BENCH_DIR: where to keep the data set; default
//                           /tmp/tallyra-bench-backup)

#include "BackupFiles.h"
#include "BackupSet.h"
#include "Maintenance.h"
#include "NewBusiness.h"
#include "Records.h"
#include "Tables.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <cstdio>

namespace {

using namespace tallyra;

bool fail(const QString &what)
{
    std::fprintf(stderr, "bench_backup: %s\n", qPrintable(what));
    return false;
}

bool makeDataSet(const QString &dir, int items)
{
    QDir(dir).removeRecursively();
    const NewBusinessResult made = createBusiness(dir, false);
    if (!made.ok())
        return fail(made.message);
    db::Engine engine(dir);
    engine.setAutoOpenIndex(false);
    db::Table *cust = engine.open(QStringLiteral("CUST5"));
    db::Table *inv = engine.open(QStringLiteral("INV6"));
    db::Table *itm = engine.open(QStringLiteral("ITM5"));
    if (!cust || !inv || !itm)
        return fail(QStringLiteral("cannot open the new tables"));
    const int customers = std::max(items / 50, 1);
    for (int i = 1; i <= customers; ++i) {
        CustomerRecord c;
        c.CuNo = i;
        c.Last = QStringLiteral("Customer %1").arg(i);
        c.Addr1 = QStringLiteral("%1 Long Road").arg(i);
        c.Comments = i % 4 ? QString() : QStringLiteral("Prefers delivery in the morning.");
        if (!cust->appendBlank().isOk() || !writeCustomer(*cust, c).isOk())
            return fail(QStringLiteral("customer %1").arg(i));
    }
    for (int i = 0; i < items; ++i) {
        if (i % 10 == 0) {
            InvoiceRecord r;
            r.IvNo = i / 10 + 1;
            r.CuNo = (i / 10) % customers + 1;
            r.IDate = QDate(2025, 1, 1).addDays((i / 10) % 600);
            r.REM = (i / 10) % 5 ? QString() : QStringLiteral("Deliver to the back door.");
            if (!inv->appendBlank().isOk() || !writeInvoice(*inv, r).isOk())
                return fail(QStringLiteral("invoice %1").arg(i / 10));
        }
        ItemRecord it;
        it.IvNo = i / 10 + 1;
        it.PrID = QStringLiteral("PROD%1").arg(i % 2000, 4, 10, QLatin1Char('0'));
        it.Qty = 1 + i % 9;
        it.UPR = 1.25 + i % 97;
        it.PDesc = QStringLiteral("Product number %1").arg(i % 2000);
        if (!itm->appendBlank().isOk() || !writeItem(*itm, it).isOk())
            return fail(QStringLiteral("item %1").arg(i));
    }
    if (!engine.closeAll().isOk())
        return fail(QStringLiteral("closing the tables"));
    const MaintenanceResult indexed = rebuildIndexes(engine, ReindexMode::Full);
    if (!indexed.ok())
        return fail(indexed.status.toString());
    QFile marker(QDir(dir).filePath(QStringLiteral("complete-%1").arg(items)));
    return marker.open(QIODevice::WriteOnly);
}

QStringList setFiles(const QString &dir)
{
    QStringList files;
    for (const BackupFile &f : backupFiles())
        files << findNoCase(dir, f.name);
    return files;
}

qint64 bytesOf(const QStringList &files)
{
    qint64 n = 0;
    for (const QString &f : files)
        n += QFileInfo(f).size();
    return n;
}

// Runs a program; the elapsed milliseconds, or -1 when it failed.
qint64 timed(const QString &program, const QStringList &args)
{
    QElapsedTimer t;
    t.start();
    QProcess p;
    p.start(program, args);
    if (!p.waitForFinished(-1) || p.exitCode() != 0)
        return -1;
    return t.elapsed();
}

qint64 cpAndSync(const QStringList &files, const QString &target)
{
    QDir(target).removeRecursively();
    QDir().mkpath(target);
    const qint64 cp = timed(QStringLiteral("cp"), QStringList(files) << target);
    QStringList copies;
    for (const QString &f : files)
        copies << QDir(target).filePath(QFileInfo(f).fileName());
    const qint64 sync = timed(QStringLiteral("sync"), copies);
    return cp < 0 || sync < 0 ? -1 : cp + sync;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int items = argc > 1 ? std::atoi(argv[1]) : 1000000;
    const QString root =
        qEnvironmentVariable("TALLYRA_BENCH_DIR", QStringLiteral("/tmp/tallyra-bench-backup"));
    const QString data = root + QStringLiteral("/data");
    if (!QFileInfo::exists(QDir(data).filePath(QStringLiteral("complete-%1").arg(items)))) {
        std::printf("making the data set (%d items) in %s ...\n", items, qPrintable(data));
        std::fflush(stdout);
        if (!makeDataSet(data, items))
            return 1;
    }
    const QStringList files = setFiles(data);
    const double mb = bytesOf(files) / 1e6;
    std::printf("backup set: %d files, %.1f MB\n", int(files.size()), mb);

    // Warm the page cache the same way for both, then the best of two runs each.
    const QString cpTarget = root + QStringLiteral("/cp");
    const QString backupTarget = root + QStringLiteral("/backup");
    cpAndSync(files, cpTarget);
    qint64 cp = -1;
    qint64 backup = -1;
    for (int run = 0; run < 2; ++run) {
        const qint64 c = cpAndSync(files, cpTarget);
        QDir(backupTarget).removeRecursively();
        QDir().mkpath(backupTarget);
        QElapsedTimer t;
        t.start();
        const BackupResult b = backupData(data, backupTarget, {});
        const qint64 ms = t.elapsed();
        if (!b.ok())
            return fail(b.message), 1;
        cp = cp < 0 || c < cp ? c : cp;
        backup = backup < 0 || ms < backup ? ms : backup;
    }
    std::printf("cp + sync:                 %6lld ms\n", static_cast<long long>(cp));
    std::printf("backup (verified, synced): %6lld ms  = %.2f x cp + sync (goal <= 2.5)\n",
                static_cast<long long>(backup), double(backup) / double(cp));

    // Restore into a copy of the business, so the data set stays as it is.
    const QString work = root + QStringLiteral("/work");
    QDir(work).removeRecursively();
    if (timed(QStringLiteral("cp"), {QStringLiteral("-r"), data, work}) < 0)
        return fail(QStringLiteral("copying the business")), 1;
    db::Engine engine(work);
    QElapsedTimer t;
    t.start();
    const RestoreResult r = restoreData(engine, backupTarget, {}, {});
    const qint64 restore = t.elapsed();
    if (!r.ok())
        return fail(r.message), 1;
    std::printf("restore (checked, safety copy, re-index): %6lld ms = %.2f x cp + sync (goal <= 3)\n",
                static_cast<long long>(restore), double(restore) / double(cp));
    QDir(work).removeRecursively();
    QDir(cpTarget).removeRecursively();
    return 0;
}
