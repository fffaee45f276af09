// A restore killed with SIGKILL at its different stages (copying the set in, taking the safety
// copy, replacing and re-indexing) leaves, after the next start-up's recovery and missing-only
// re-index, either the old data or the restored data, each complete, never a mixture.

#include "BackupFiles.h"
#include "BackupSet.h"
#include "Clock.h"
#include "MaintenanceTestSupport.h"
#include "NewBusiness.h"
#include "Records.h"
#include "TestSupport.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QTest>
#include <QThread>
#include <csignal>

using namespace tallyra;
using testsupport::FixedClock;
using testsupport::TempDataDir;

namespace {

// Appends `count` line items (and one invoice per ten items) with an engine of the test's own.
bool addItems(const QString &dir, int count, int firstInvoice)
{
    db::Engine engine(dir);
    engine.setAutoOpenIndex(false);
    db::Table *items = engine.open(QStringLiteral("ITM5"));
    db::Table *invoices = engine.open(QStringLiteral("INV6"));
    if (!items || !invoices)
        return false;
    for (int i = 0; i < count; ++i) {
        ItemRecord r;
        r.IvNo = firstInvoice + i / 10;
        r.PrID = QStringLiteral("P%1").arg(i % 500);
        r.Qty = 1 + i % 7;
        r.UPR = 2.5 + i % 13;
        r.PDesc = QStringLiteral("Item number %1").arg(i);
        if (!items->appendBlank().isOk() || !writeItem(*items, r).isOk())
            return false;
        if (i % 10 == 0) {
            InvoiceRecord inv;
            inv.IvNo = r.IvNo;
            inv.CuNo = 1;
            inv.IDate = QDate(2026, 1, 1).addDays(i % 300);
            inv.REM = QStringLiteral("Remark %1").arg(i);
            if (!invoices->appendBlank().isOk() || !writeInvoice(*invoices, inv).isOk())
                return false;
        }
    }
    return engine.closeAll().isOk() && rebuildIndexes(engine, ReindexMode::Full).ok();
}

// The restorable data files of a folder, by schema name.
mtest::Snapshot dataFiles(const QString &dir)
{
    mtest::Snapshot files;
    for (const BackupFile &f : backupFiles()) {
        if (!f.settings)
            files[f.name] = mtest::bytes(findNoCase(dir, f.name));
    }
    return files;
}

void copyFiles(const QString &from, const QString &to)
{
    QDir().mkpath(to);
    for (const auto &[name, bytes] : mtest::snapshot(from)) {
        QFile f(QDir(to).filePath(name));
        QVERIFY(f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size());
    }
}

} // namespace

class TestRestoreKill : public QObject
{
    Q_OBJECT

    FixedClock m_clock{QDate(2026, 6, 15)};
    TempDataDir m_dir;
    mtest::Snapshot m_old;
    mtest::Snapshot m_new;

private Q_SLOTS:
    void initTestCase()
    {
        // The backup: a business with many items. The current data: the same and more.
        const QString business = m_dir.file(QStringLiteral("old"));
        QVERIFY(createBusiness(business, true).ok());
        QVERIFY(addItems(business, 150000, 1000));
        QVERIFY(QDir().mkpath(m_dir.file(QStringLiteral("backup"))));
        QVERIFY(backupData(business, m_dir.file(QStringLiteral("backup")), {}).ok());
        m_new = dataFiles(business);
        QVERIFY(addItems(business, 3000, 90000));
        m_old = dataFiles(business);
        QVERIFY(m_old.at(QStringLiteral("ITM5.DBF")) != m_new.at(QStringLiteral("ITM5.DBF")));
    }

    // The stage is told by the files the restore leaves behind as it goes: the staging
    // folder while the set is copied in, the unfinished safety copy, the commit journal while
    // files are replaced and indexes rebuilt.
    void killedRestoreLeavesOldOrNew_data()
    {
        QTest::addColumn<QString>("marker");
        QTest::addColumn<QString>("expected");
        QTest::newRow("copying the set in") << ".tallyra-restore/new/INV6.DBF"
                                            << "old";
        QTest::newRow("taking the safety copy") << "backups/*.partial"
                                                << "old";
        QTest::newRow("replacing and re-indexing") << ".tallyra-restore/COMMIT"
                                                   << "new";
    }
    void killedRestoreLeavesOldOrNew()
    {
        QFETCH(QString, marker);
        QFETCH(QString, expected);
        const QString data =
            m_dir.file(QStringLiteral("data-") + QString::number(QTest::currentDataTag()[0]));
        copyFiles(m_dir.file(QStringLiteral("old")), data);
        QVERIFY(dataFiles(data) == m_old);

        auto markerSeen = [&] {
            if (!marker.contains('*'))
                return QFileInfo::exists(QDir(data).filePath(marker));
            return !QDir(data + "/backups")
                        .entryList({QStringLiteral(".*.partial")}, QDir::Dirs | QDir::Hidden)
                        .isEmpty();
        };
        QProcess tool;
        tool.start(testsupport::binPath(QStringLiteral("tallyra-dbtool")),
                   {QStringLiteral("restore"), data, m_dir.file(QStringLiteral("backup"))});
        QVERIFY(tool.waitForStarted());
        QElapsedTimer clock;
        clock.start();
        bool seen = false;
        while (!(seen = markerSeen()) && tool.state() == QProcess::Running && clock.elapsed() < 60000)
            QThread::yieldCurrentThread();
        QVERIFY2(seen, "the restore never reached the stage");
        ::kill(static_cast<pid_t>(tool.processId()), SIGKILL);
        QVERIFY(tool.waitForFinished(10000));
        QCOMPARE(tool.exitStatus(), QProcess::CrashExit);

        // The next start: finish or drop the restore, then build the missing indexes.
        finishInterruptedRestore(data);
        db::Engine engine(data);
        QVERIFY(rebuildIndexes(engine, ReindexMode::MissingOnly).ok());
        const mtest::Snapshot after = dataFiles(data);
        QVERIFY2(after == m_old || after == m_new, "a mixture of old and restored files");
        QCOMPARE(after == m_new ? QStringLiteral("new") : QStringLiteral("old"), expected);
        QCOMPARE(mtest::checkAll(data), QString());
        QVERIFY(!QFileInfo::exists(QDir(data).filePath(QStringLiteral(".tallyra-restore"))));
    }
};

QTEST_GUILESS_MAIN(TestRestoreKill)
#include "tst_restore_kill.moc"
