// Backup and restore of a large business against plain `cp` of the same files (data, memo, tag
// and group files): the backup writes each file under a temporary name, syncs it, reads it back,
// compares it and writes the manifest; the restore copies the set in, checks it against the
// manifest, keeps a safety copy of the current files, puts the set in place and checks that every
// index group opens. Goals: backup within 2.5 times `cp` followed by `sync` of the copies (a copy
// that is not yet on the disk is no backup), restore within 3 times. Also shown, without a goal:
// the restore of a set without tag files, which builds every index from the records. Wall and
// processor times of each. The data set (20,000 customers, 100,000 invoices, 1,000,000 invoice
// items, all indexes) is made once and kept for later runs.
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
#include <sys/resource.h>

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

qint64 timed(const QString &program, const QStringList &args);

// Every file a backup copies: data and memo files with the tag and group files of their tables.
QStringList setFiles(const QString &dir)
{
    QStringList files;
    QList<TableId> tables;
    for (const BackupFile &f : backupFiles()) {
        if (!tables.contains(f.table))
            tables << f.table;
    }
    for (TableId id : tables) {
        for (const QString &name : tableFiles(id, true)) {
            const QString path = findNoCase(dir, name);
            if (!path.isEmpty())
                files << path;
        }
    }
    return files;
}

// Processor time of this process so far (user + system, all threads), in milliseconds.
qint64 cpuMs()
{
    rusage u = {};
    getrusage(RUSAGE_SELF, &u);
    return (qint64(u.ru_utime.tv_sec) + u.ru_stime.tv_sec) * 1000 +
           (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1000;
}

// A restore into a fresh copy of the business, so the data set stays as it is. Elapsed and
// processor milliseconds; false when it failed.
bool timedRestore(const QString &data, const QString &work, const QString &source, qint64 *ms, qint64 *cpu)
{
    QDir(work).removeRecursively();
    // On the disk before the clock starts, as a business's files are: the restore's own syncs
    // should not pay for writing out this copy.
    if (timed(QStringLiteral("cp"), {QStringLiteral("-r"), data, work}) < 0 ||
        timed(QStringLiteral("sync"), {}) < 0)
        return fail(QStringLiteral("copying the business"));
    db::Engine engine(work);
    const qint64 cpuBefore = cpuMs();
    QElapsedTimer t;
    t.start();
    const RestoreResult r = restoreData(engine, source, {}, {});
    *ms = t.elapsed();
    *cpu = cpuMs() - cpuBefore;
    QDir(work).removeRecursively();
    return r.ok() || fail(r.message);
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
    qint64 backupCpu = -1;
    for (int run = 0; run < 2; ++run) {
        const qint64 c = cpAndSync(files, cpTarget);
        QDir(backupTarget).removeRecursively();
        QDir().mkpath(backupTarget);
        const qint64 cpuBefore = cpuMs();
        QElapsedTimer t;
        t.start();
        const BackupResult b = backupData(data, backupTarget, {});
        const qint64 ms = t.elapsed();
        const qint64 cpu = cpuMs() - cpuBefore;
        if (!b.ok())
            return fail(b.message), 1;
        cp = cp < 0 || c < cp ? c : cp;
        if (backup < 0 || ms < backup) {
            backup = ms;
            backupCpu = cpu;
        }
    }
    std::printf("cp + sync:                 %6lld ms\n", static_cast<long long>(cp));
    std::printf("backup (verified, synced): %6lld ms  = %.2f x cp + sync (goal <= 2.5), processor %lld ms\n",
                static_cast<long long>(backup), double(backup) / double(cp),
                static_cast<long long>(backupCpu));

    const QString work = root + QStringLiteral("/work");
    qint64 restore = 0;
    qint64 restoreCpu = 0;
    if (!timedRestore(data, work, backupTarget, &restore, &restoreCpu))
        return 1;
    std::printf("restore (checked, safety copy, tags checked): %6lld ms = %.2f x cp + sync (goal <= 3), "
                "processor %lld ms\n",
                static_cast<long long>(restore), double(restore) / double(cp),
                static_cast<long long>(restoreCpu));

    // The same set without its tag files, as a backup of an earlier release holds it: every
    // index is built from the records.
    const QString plain = root + QStringLiteral("/plain");
    QDir(plain).removeRecursively();
    QDir().mkpath(plain);
    Manifest manifest;
    bool present = false;
    if (!readManifest(backupTarget, &manifest, &present).isOk() || !present)
        return fail(QStringLiteral("the backup's manifest cannot be read")), 1;
    for (const QString &name : QStringList(manifest.names)) {
        TableId id;
        if (tableOfFile(name, &id) && tableDef(id).indexFiles().contains(name, Qt::CaseInsensitive))
            manifest.remove(name);
        else if (!QFile::copy(QDir(backupTarget).filePath(name), QDir(plain).filePath(name)))
            return fail(QStringLiteral("copying %1").arg(name)), 1;
    }
    if (!writeManifest(*db::FileSystem::posix(), plain, manifest).isOk())
        return fail(QStringLiteral("writing the manifest")), 1;
    if (!timedRestore(data, work, plain, &restore, &restoreCpu))
        return 1;
    std::printf(
        "restore without tag files (every index built): %6lld ms = %.2f x cp + sync, processor %lld ms\n",
        static_cast<long long>(restore), double(restore) / double(cp), static_cast<long long>(restoreCpu));
    QDir(plain).removeRecursively();
    QDir(cpTarget).removeRecursively();
    return 0;
}
