// Re-index, pack and erase on a real sample business: which groups are rebuilt, what survives an
// erase, what a pack removes and leaves, the progress shown, and the access mode afterwards.

#include "Clock.h"
#include "Database.h"
#include "Maintenance.h"
#include "NewBusiness.h"
#include "Records.h"
#include "Settings.h"
#include "Tables.h"
#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QTest>
#include <map>

using namespace tallyra;
using testsupport::FixedClock;
using testsupport::TempDataDir;

namespace {

// What the progress display was told, as text: "start Packing Data Files", "10", ..., "end".
struct Recorder
{
    QStringList events;
    db::Engine *engine = nullptr;
    bool alwaysExclusive = true;

    ProgressDisplay display()
    {
        return {[this](const QString &m) {
                    events << "start " + m;
                    note();
                },
                [this](int p) {
                    events << QString::number(p);
                    note();
                },
                [this] { events << "end"; }};
    }
    void note()
    {
        if (engine && engine->access() != db::Access::Exclusive)
            alwaysExclusive = false;
    }
};

using Snapshot = std::map<QString, QByteArray>;

Snapshot snapshot(const QString &dir)
{
    Snapshot files;
    const QStringList names = QDir(dir).entryList(QDir::Files);
    for (const QString &name : names) {
        QFile f(QDir(dir).filePath(name));
        if (f.open(QIODevice::ReadOnly))
            files[name] = f.readAll();
    }
    return files;
}

// The names of the files whose bytes differ between two snapshots (or exist in only one).
QStringList changed(const Snapshot &before, const Snapshot &after)
{
    QStringList names;
    for (const auto &[name, bytes] : before) {
        auto it = after.find(name);
        if (it == after.end() || it->second != bytes)
            names << name;
    }
    for (const auto &[name, bytes] : after) {
        if (!before.count(name))
            names << name;
    }
    names.sort(Qt::CaseInsensitive);
    return names;
}

QStringList sorted(QStringList list)
{
    list.sort(Qt::CaseInsensitive);
    return list;
}

// Every tag of every indexed table agrees with its table.
QString checkAll(db::Engine &engine)
{
    for (const TableDef &def : schemaTables()) {
        const OpenResult open = openTable(engine, def.id);
        if (!open)
            return def.name + ": " + open.detail();
        QStringList report;
        const db::Status s = open.table->check(&report);
        engine.closeAll();
        if (!s.isOk())
            return def.name + ": " + s.toString() + " " + report.join("; ");
    }
    return {};
}

quint32 liveRecords(db::Engine &engine, TableId id)
{
    const OpenResult open = openTable(engine, id);
    if (!open)
        return 9999999;
    quint32 n = 0;
    open.table->selectNatural();
    for (bool more = open.table->go(1); more; more = open.table->skip(1))
        n += open.table->isDeleted() ? 0 : 1;
    engine.closeAll();
    return n;
}

// Marks every k-th record of a table deleted; returns how many.
int deleteEvery(db::Engine &engine, TableId id, int k)
{
    const OpenResult open = openTable(engine, id);
    if (!open)
        return -1;
    int n = 0;
    open.table->selectNatural();
    for (quint32 r = 1; r <= open.table->recordCount(); r += static_cast<quint32>(k)) {
        if (!open.table->go(r) || !open.table->markDeleted().isOk())
            return -1;
        ++n;
    }
    engine.closeAll();
    return n;
}

} // namespace

class TestMaintenance : public QObject
{
    Q_OBJECT

    TempDataDir *m_dir = nullptr;

private Q_SLOTS:
    void init()
    {
        tallyra::setFixedToday(QDate(2026, 3, 15));
        m_dir = new TempDataDir;
        const NewBusinessResult made = createBusiness(m_dir->path(), true);
        QVERIFY2(made.ok(), qPrintable(made.message));
    }
    void cleanup()
    {
        delete m_dir;
        tallyra::setFixedToday({});
        setPackNeeded(false);
    }

    void missingOnlyWithEveryIndexPresentBuildsNothing()
    {
        const Snapshot before = snapshot(m_dir->path());
        db::Engine engine(m_dir->path());
        Recorder rec;
        const MaintenanceResult r = rebuildIndexes(engine, ReindexMode::MissingOnly, rec.display());
        QVERIFY2(r, qPrintable(r.status.toString()));
        QVERIFY(r.tablesDone.isEmpty());
        QVERIFY(rec.events.isEmpty());
        QCOMPARE(changed(before, snapshot(m_dir->path())), QStringList());
    }

    // Deleting invd.ntx rebuilds the three INV6 tags and touches no other file.
    void missingOnlyRebuildsTheGroupOfAMissingFile()
    {
        // Damaged siblings prove the whole group is rebuilt, not just the missing file.
        const Snapshot original = snapshot(m_dir->path());
        for (const char *sibling : {"inv.ntx", "invc.ntx"}) {
            QFile tag(m_dir->file(sibling));
            QVERIFY(tag.open(QIODevice::ReadWrite));
            tag.seek(1024 + 16);
            tag.write(QByteArray(64, '\xff'));
        }
        QVERIFY(QFile::remove(m_dir->file("invd.ntx")));
        const Snapshot before = snapshot(m_dir->path());

        db::Engine engine(m_dir->path());
        Recorder rec;
        const MaintenanceResult r = rebuildIndexes(engine, ReindexMode::MissingOnly, rec.display());
        QVERIFY2(r, qPrintable(r.status.toString()));
        QCOMPARE(r.tablesDone, QStringList{"INV6"});
        QVERIFY(rec.events.isEmpty());
        // The three tags are back as they were first built; nothing else changed.
        QCOMPARE(changed(before, snapshot(m_dir->path())), sorted({"inv.ntx", "invc.ntx", "invd.ntx"}));
        QCOMPARE(changed(original, snapshot(m_dir->path())), QStringList());
        QCOMPARE(checkAll(engine), QString());
        // The rebuilt tags find what they should.
        const OpenResult open = openInvoices(engine);
        QVERIFY(open);
        QVERIFY(open.table->selectTag("InvD"));
        QVERIFY(open.table->top());
        const QDate first = open.table->date(open.table->fieldIndex("IDate"));
        QVERIFY(open.table->bottom());
        QVERIFY(first <= open.table->date(open.table->fieldIndex("IDate")));
    }

    void missingGroupFileRebuildsThatGroup()
    {
        QVERIFY(QFile::remove(m_dir->file("GROUPS.cgp")));
        QVERIFY(QFile::remove(m_dir->file("Labels.ntx")));
        db::Engine engine(m_dir->path());
        const MaintenanceResult r = rebuildIndexes(engine, ReindexMode::MissingOnly);
        QVERIFY(r);
        QCOMPARE(r.tablesDone, (QStringList{"GROUPS", "LABELS"}));
        QCOMPARE(checkAll(engine), QString());
    }

    void fullRebuildShowsItsProgressAndEndsShared()
    {
        db::Engine engine(m_dir->path());
        Recorder rec;
        rec.engine = &engine;
        const MaintenanceResult r = rebuildIndexes(engine, ReindexMode::Full, rec.display());
        QVERIFY2(r, qPrintable(r.status.toString()));
        QCOMPARE(r.tablesDone,
                 (QStringList{"CUST5", "ZZone", "GROUPS", "Prod5", "Pur5", "INV6", "ITM5", "PMT", "LABELS"}));
        QCOMPARE(rec.events, (QStringList{"start Rebuilding Indexes", "5", "25", "30", "35", "40", "60", "80",
                                          "100", "100", "end"}));
        QVERIFY(rec.alwaysExclusive);
        QCOMPARE(engine.access(), db::Access::Shared);
        QVERIFY(engine.autoOpenIndex());
        QVERIFY(engine.indexSafety());
        QCOMPARE(checkAll(engine), QString());
    }

    // After an erase the business tables are empty and the settings, label stock, import formats,
    // zones and import directories are exactly as they were.
    void eraseEmptiesTheBusinessAndKeepsTheRest()
    {
        const Snapshot before = snapshot(m_dir->path());
        db::Engine engine(m_dir->path());
        Recorder rec;
        rec.engine = &engine;
        const EraseResult r = eraseDataFiles(engine, rec.display());
        QVERIFY2(r, qPrintable(r.status.toString()));
        QCOMPARE(rec.events, (QStringList{"start Erasing Data Files", "5", "15", "30", "40", "50", "60", "70",
                                          "85", "90", "95", "100", "end"}));
        QVERIFY(rec.alwaysExclusive);
        QCOMPARE(engine.access(), db::Access::Shared);
        const Snapshot after = snapshot(m_dir->path());
        for (const char *kept :
             {"TLR2.DBF", "LABELS.DBF", "Labels.ntx", "ImportF.DBF", "ZZone.DBF", "ImpDirs.DBF"})
            QVERIFY2(before.at(kept) == after.at(kept), kept);
        for (TableId id : {TableId::Customers, TableId::Groups, TableId::Invoices, TableId::Items,
                           TableId::Payments, TableId::Products, TableId::Purchases}) {
            const OpenResult open = openTable(engine, id);
            QVERIFY(open);
            QCOMPARE(open.table->recordCount(), 0u);
            engine.closeAll();
        }
        // Memo files are compacted to their header.
        QVERIFY(after.at("CUST5.DBT").size() < before.at("CUST5.DBT").size());
        QVERIFY(after.at("CUST5.DBT").size() <= 512);
        const OpenResult cust = openCustomers(engine);
        QCOMPARE(nextCustomerNumber(*cust.table), 1);
        engine.closeAll();
        SettingsRecord s;
        QVERIFY(loadSettings(engine, s));
        QCOMPARE(s.Company, QStringLiteral("Harbor Lane Office Supply"));
        QCOMPARE(checkAll(engine), QString());
    }

    void eraseStopsAtATableThatCannotBeOpened()
    {
        QVERIFY(QFile::remove(m_dir->file("INV6.DBF")));
        db::Engine engine(m_dir->path());
        const EraseResult r = eraseDataFiles(engine);
        QVERIFY(!r);
        QCOMPARE(r.failedFile, QStringLiteral("INV6.DBF"));
        QVERIFY(r.tablesDone.isEmpty());
        QCOMPARE(engine.access(), db::Access::Shared);
        // Nothing was erased, not even the tables before INV6.
        QCOMPARE(liveRecords(engine, TableId::Customers), 60u);
        QCOMPARE(liveRecords(engine, TableId::Groups), 4u);
        QVERIFY(liveRecords(engine, TableId::Items) > 0);
    }

    void packingATableWithoutDeletedRecordsLeavesItAsItWas()
    {
        const Snapshot before = snapshot(m_dir->path());
        db::Engine engine(m_dir->path());
        for (TableId id : {TableId::Items, TableId::Groups, TableId::Customers, TableId::Invoices}) {
            const MaintenanceResult r = packTable(engine, id, true);
            QVERIFY2(r, qPrintable(r.status.toString()));
        }
        QCOMPARE(changed(before, snapshot(m_dir->path())), QStringList());
        QCOMPARE(engine.access(), db::Access::Shared);
    }

    void packRemovesDeletedRecordsAndKeepsTagsMatching()
    {
        db::Engine engine(m_dir->path());
        const quint32 items = liveRecords(engine, TableId::Items);
        const int gone = deleteEvery(engine, TableId::Items, 3);
        QVERIFY(gone > 0);
        // The items left, in invoice order, before the pack ...
        auto itemsInOrder = [&] {
            QList<ItemRecord> list;
            const OpenResult open = openItems(engine);
            for (bool more = open.table->top(); more; more = open.table->skip(1)) {
                if (open.table->isDeleted())
                    continue;
                ItemRecord r;
                loadItem(*open.table, r);
                list << r;
            }
            engine.closeAll();
            return list;
        };
        const QList<ItemRecord> expected = itemsInOrder();
        const MaintenanceResult r = packTable(engine, TableId::Items, false);
        QVERIFY2(r, qPrintable(r.status.toString()));
        QCOMPARE(r.tablesDone, QStringList{"ITM5"});
        const OpenResult open = openItems(engine);
        QCOMPARE(open.table->recordCount(), items - static_cast<quint32>(gone));
        engine.closeAll();
        QCOMPARE(itemsInOrder(), expected);
        QCOMPARE(checkAll(engine), QString());
    }

    void packDataFilesPacksEveryBusinessTableAndClearsTheFlag()
    {
        db::Engine engine(m_dir->path());
        const Snapshot before = snapshot(m_dir->path());
        QVERIFY(deleteEvery(engine, TableId::Customers, 10) > 0);
        QVERIFY(deleteEvery(engine, TableId::Payments, 4) > 0);
        QVERIFY(deleteEvery(engine, TableId::Products, 7) > 0);
        const quint32 customers = liveRecords(engine, TableId::Customers);
        setPackNeeded(true);
        Recorder rec;
        rec.engine = &engine;
        const MaintenanceResult r = packDataFiles(engine, rec.display());
        QVERIFY2(r, qPrintable(r.status.toString()));
        QCOMPARE(rec.events, (QStringList{"start Packing Data Files", "10", "30", "35", "50", "70", "75",
                                          "85", "100", "end"}));
        QVERIFY(rec.alwaysExclusive);
        QVERIFY(!packNeeded());
        QCOMPARE(engine.access(), db::Access::Shared);
        const OpenResult cust = openCustomers(engine);
        QCOMPARE(cust.table->recordCount(), customers);
        engine.closeAll();
        // The customer memo file shrank with the customers, and the settings were not touched.
        const Snapshot after = snapshot(m_dir->path());
        QVERIFY(after.at("CUST5.DBT").size() <= before.at("CUST5.DBT").size());
        QVERIFY(after.at("TLR2.DBF") == before.at("TLR2.DBF"));
        QVERIFY(after.at("ZZone.DBF") == before.at("ZZone.DBF"));
        QCOMPARE(checkAll(engine), QString());
    }

    void packPassesOverWhatItCannotOpen()
    {
        db::Engine engine(m_dir->path());
        QVERIFY(deleteEvery(engine, TableId::Items, 5) > 0);
        QVERIFY(QFile::remove(m_dir->file("Pur5.DBF")));
        MaintenanceResult r = packTable(engine, TableId::Purchases, false);
        QVERIFY(r);
        QVERIFY(r.tablesDone.isEmpty());
        QCOMPARE(r.tablesSkipped, QStringList{"Pur5"});
        // Settings, import formats, zones and import directories are never packed.
        const Snapshot before = snapshot(m_dir->path());
        for (TableId id : {TableId::Settings, TableId::ImportFormats, TableId::Zones, TableId::ImportDirs})
            QVERIFY(packTable(engine, id, true).tablesDone.isEmpty());
        QCOMPARE(changed(before, snapshot(m_dir->path())), QStringList());
        // The whole pack goes on past the missing table and keeps the flag for another try.
        setPackNeeded(true);
        r = packDataFiles(engine);
        QVERIFY(r);
        QVERIFY(r.tablesDone.contains("ITM5"));
        QCOMPARE(r.tablesSkipped, QStringList{"Pur5"});
        QVERIFY(packNeeded());
    }

    // A second program holding a table open keeps it from being packed under it: the pack
    // passes it over and its records stay as they were.
    void packNeverWorksUnderAnotherUser()
    {
        db::Engine engine(m_dir->path());
        QVERIFY(deleteEvery(engine, TableId::Items, 5) > 0);
        const Snapshot before = snapshot(m_dir->path());
        db::Engine other(m_dir->path());
        QVERIFY(openItems(other));
        const MaintenanceResult r = packTable(engine, TableId::Items, false);
        QVERIFY(r.tablesDone.isEmpty());
        QCOMPARE(r.tablesSkipped, QStringList{"ITM5"});
        QCOMPARE(engine.access(), db::Access::Shared);
        other.closeAll();
        QVERIFY(before.at("ITM5.DBF") == snapshot(m_dir->path()).at("ITM5.DBF"));
        // Erase refuses too, names the table, and erases nothing.
        QVERIFY(openPayments(other));
        const Snapshot beforeErase = snapshot(m_dir->path());
        const EraseResult e = eraseDataFiles(engine);
        QVERIFY(!e);
        QCOMPARE(e.failedFile, QStringLiteral("PMT.DBF"));
        QVERIFY2(e.status.isLocked(), qPrintable(e.status.toString()));
        other.closeAll();
        QCOMPARE(changed(beforeErase, snapshot(m_dir->path())), QStringList());
    }

    // A disk that fills up during a pack leaves the table as it was.
    void fullDiskDuringPackLosesNothing()
    {
        {
            db::Engine engine(m_dir->path());
            QVERIFY(deleteEvery(engine, TableId::Items, 2) > 0);
        }
        const Snapshot before = snapshot(m_dir->path());
        auto fs = std::make_shared<testsupport::FailingFileSystem>(2000);
        db::Engine engine(m_dir->path(), fs);
        const MaintenanceResult r = packTable(engine, TableId::Items, false);
        QVERIFY(!r);
        QVERIFY2(r.status.message().contains("ITM5", Qt::CaseInsensitive), qPrintable(r.status.toString()));
        QCOMPARE(engine.access(), db::Access::Shared);
        const Snapshot after = snapshot(m_dir->path());
        QVERIFY(after.at("ITM5.DBF") == before.at("ITM5.DBF"));
        QVERIFY(after.at("itm.ntx") == before.at("itm.ntx"));
        QVERIFY(after.at("itmP.ntx") == before.at("itmP.ntx"));
        // With room again the pack succeeds.
        fs->setBudget(1 << 30);
        QVERIFY(packTable(engine, TableId::Items, false));
        QCOMPARE(checkAll(engine), QString());
    }
};

QTEST_GUILESS_MAIN(TestMaintenance)
#include "tst_maintenance.moc"
