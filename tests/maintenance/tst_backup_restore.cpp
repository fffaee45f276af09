// Backup and restore on a real sample business: the copy order and manifest, a target that fills
// up in the middle of a file and a set spread over two disks, the refusals, and every way a
// restore can go wrong leaving the current data exactly as they were.

#include "BackupFiles.h"
#include "BackupSet.h"
#include "Clock.h"
#include "MaintenanceTestSupport.h"
#include "NewBusiness.h"
#include "Records.h"
#include "SafetyBackup.h"
#include "Settings.h"
#include "TestSupport.h"

#include <QProcess>
#include <QTest>

using namespace tallyra;
using testsupport::FailingFileSystem;
using testsupport::FixedClock;
using testsupport::TempDataDir;

namespace {

bool addCustomer(const QString &dir, const QString &last)
{
    db::Engine engine(dir);
    const OpenResult open = openTable(engine, TableId::Customers);
    if (!open)
        return false;
    CustomerRecord r;
    r.CuNo = nextCustomerNumber(*open.table);
    r.Last = last;
    r.Comments = QStringLiteral("added after the backup");
    const bool ok = open.table->appendBlank().isOk() && writeCustomer(*open.table, r).isOk();
    return engine.closeAll().isOk() && ok;
}

// Appends a line item with its tags kept up to date, as the program does.
bool addItem(const QString &dir)
{
    db::Engine engine(dir);
    const OpenResult open = openTable(engine, TableId::Items);
    if (!open)
        return false;
    ItemRecord r;
    r.IvNo = 1;
    r.PrID = QStringLiteral("LATE");
    r.Qty = 2;
    r.PDesc = QStringLiteral("added while copying");
    const bool ok = open.table->appendBlank().isOk() && writeItem(*open.table, r).isOk();
    return engine.closeAll().isOk() && ok;
}

// The real file system, running `hook` once when a file whose name ends with `suffix` is
// created: another program at work while a backup copies.
class HookedFileSystem : public db::FileSystem
{
public:
    HookedFileSystem(QString suffix, std::function<void()> hook)
        : m_suffix(std::move(suffix))
        , m_hook(std::move(hook))
    {}
    db::Status open(const QString &path, db::OpenMode mode, std::unique_ptr<db::File> *file) override
    {
        if (mode == db::OpenMode::Create && m_hook && path.endsWith(m_suffix, Qt::CaseInsensitive))
            std::exchange(m_hook, nullptr)();
        return m_real->open(path, mode, file);
    }
    db::Status rename(const QString &from, const QString &to) override { return m_real->rename(from, to); }
    db::Status remove(const QString &path) override { return m_real->remove(path); }
    bool exists(const QString &path) const override { return m_real->exists(path); }
    db::Status list(const QString &dir, QStringList *names) const override
    {
        return m_real->list(dir, names);
    }

private:
    QString m_suffix;
    std::function<void()> m_hook;
    std::shared_ptr<db::FileSystem> m_real = db::FileSystem::posix();
};

qint64 sizeOf(const QString &dir, const QString &name)
{
    return QFileInfo(findNoCase(dir, name)).size();
}

// The questions asked, and what to do for each.
struct Asker
{
    QStringList asked;
    std::function<bool(const QString &)> answer = [](const QString &) { return true; };

    CopyPrompts prompts()
    {
        CopyPrompts p;
        p.okCancel = [this](const QString &text) {
            asked << text;
            return answer(text);
        };
        p.info = [this](const QString &text) { asked << "info: " + text; };
        return p;
    }
};

} // namespace

class TestBackupRestore : public QObject
{
    Q_OBJECT

    FixedClock m_clock{QDate(2026, 6, 15)};
    TempDataDir m_business; // the sample business, made once; each test works on a copy
    TempDataDir *m_dir = nullptr;

    QString data() const { return m_dir->file(QStringLiteral("data")); }
    QString folder(const QString &name) const
    {
        QDir().mkpath(m_dir->file(name));
        return m_dir->file(name);
    }

private Q_SLOTS:
    void initTestCase() { QVERIFY(createBusiness(m_business.file(QStringLiteral("demo")), true).ok()); }
    void init()
    {
        m_dir = new TempDataDir;
        QVERIFY(QDir().mkpath(data()));
        for (const auto &[name, bytes] : mtest::snapshot(m_business.file(QStringLiteral("demo")))) {
            QFile f(QDir(data()).filePath(name));
            QVERIFY(f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size());
        }
    }
    void cleanup()
    {
        delete m_dir;
        m_dir = nullptr;
    }

    // The same folder, by its own name, through a link or with a trailing slash, is refused for
    // both directions and nothing is written.
    void refusesTheDataDirectoryItself()
    {
        QVERIFY(QFile::link(data(), m_dir->file(QStringLiteral("link"))));
        const mtest::Snapshot before = mtest::snapshot(data());
        for (const QString &target : {data(), data() + "/", m_dir->file(QStringLiteral("link"))}) {
            const BackupResult b = backupData(data(), target, {});
            QVERIFY(!b.ok());
            QCOMPARE(b.message, QStringLiteral("Backup must be to a different drive and/or directory"));
            db::Engine engine(data());
            const RestoreResult r = restoreData(engine, target, {}, {});
            QVERIFY(!r.ok());
            QCOMPARE(r.message, QStringLiteral("Restore must be from a different drive and/or directory"));
            QVERIFY(!r.changed);
        }
        QCOMPARE(mtest::changed(before, mtest::snapshot(data())), QStringList());
    }

    // A backup copies the sixteen data and memo files in order with the percentages set before
    // each, each table's tag and group files after it, every copy equal to its original, and a
    // manifest that verify-backup accepts; a restore of it gives back the data as they were at
    // the backup with the tags taken with them (none rebuilt, every record found), and keeps a
    // safety copy of what it replaced. Settings stay unless asked for.
    void backupThenRestore()
    {
        const QString target = folder(QStringLiteral("stick"));
        QStringList progress;
        ProgressDisplay display{[&](const QString &m) { progress << "start " + m; },
                                [&](int p) { progress << QString::number(p); }, [&] { progress << "end"; }};
        const BackupResult b = backupData(data(), target, {}, display);
        QVERIFY2(b.ok(), qPrintable(b.message));
        QCOMPARE(progress, QStringList({"start Copying Data Files", "10", "20", "30", "35", "45", "55", "70",
                                        "75", "85", "95", "100", "100", "100", "100", "100", "100", "end"}));
        QStringList expected;
        const QList<BackupFile> &files = backupFiles();
        for (qsizetype i = 0; i < files.size(); ++i) {
            expected << files[i].name;
            if (i + 1 == files.size() || files[i + 1].table != files[i].table)
                expected << tableDef(files[i].table).indexFiles();
        }
        QCOMPARE(b.copied, expected);
        QVERIFY(b.absent.isEmpty() && b.changedDuringCopy.isEmpty());
        for (const QString &name : b.copied)
            QCOMPARE(mtest::bytes(QDir(target).filePath(name)), mtest::bytes(findNoCase(data(), name)));
        QVERIFY(verifyBackup(target).ok());
        const auto atBackup = mtest::dumpTables(data());

        QVERIFY(addCustomer(data(), QStringLiteral("Later")));
        SettingsRecord changedSettings;
        {
            db::Engine engine(data());
            QVERIFY(loadSettings(engine, changedSettings).ok());
            changedSettings.Company = QStringLiteral("Renamed Company");
            QVERIFY(saveSettings(engine, changedSettings).ok());
            engine.closeAll();
        }
        const auto beforeRestore = mtest::dumpTables(data());
        const mtest::Snapshot replacedFiles = mtest::snapshot(data());

        db::Engine engine(data());
        RestoreResult r = restoreData(engine, target, {}, {});
        QVERIFY2(r.ok(), qPrintable(r.message));
        QVERIFY(r.message.startsWith(QStringLiteral(
            "Restore complete. A copy of the data as they were before is in backups/restore-")));
        QCOMPARE(r.reindexed, QStringList());
        for (const QString &tag : tableDef(TableId::Customers).indexFiles())
            QCOMPARE(mtest::bytes(findNoCase(data(), tag)), mtest::bytes(QDir(target).filePath(tag)));
        auto after = mtest::dumpTables(data());
        QCOMPARE(after[QStringLiteral("CUST5")], atBackup.at(QStringLiteral("CUST5")));
        QCOMPARE(after[QStringLiteral("INV6")], atBackup.at(QStringLiteral("INV6")));
        QCOMPARE(after[QStringLiteral("TLR2")],
                 beforeRestore.at(QStringLiteral("TLR2"))); // settings untouched
        QCOMPARE(mtest::checkAll(data()), QString());
        // The safety copy holds the customer file as it was just before.
        QCOMPARE(mtest::bytes(QDir(r.safetyFolder).filePath(QStringLiteral("CUST5.DBF"))),
                 replacedFiles.at(QStringLiteral("CUST5.DBF")));
        QVERIFY(verifyBackup(r.safetyFolder).ok());
        QVERIFY(!QFileInfo::exists(QDir(data()).filePath(QStringLiteral(".tallyra-restore"))));

        RestoreOptions withSettings;
        withSettings.settings = true;
        r = restoreData(engine, target, withSettings, {});
        QVERIFY2(r.ok(), qPrintable(r.message));
        QCOMPARE(mtest::dumpTables(data())[QStringLiteral("TLR2")], atBackup.at(QStringLiteral("TLR2")));
    }

    // The target fills up during INV6.DBT: the question names the file, the first disk keeps
    // what it holds with its own manifest, INV6.DBT is written whole onto the second disk and
    // the backup goes on there. The restore of the two-disk set from removable media asks for
    // each disk in turn and gives back every table.
    void fullTargetAsksForAnotherDisk()
    {
        const QString target = folder(QStringLiteral("drive"));
        // Room for the files before INV6.DBT, with the manifest written after each, and 1000 bytes.
        const QStringList preceding = QStringList{"CUST5.DBF", "CUST5.DBT"} +
                                      tableDef(TableId::Customers).indexFiles() + QStringList{"GROUPS.DBF"} +
                                      tableDef(TableId::Groups).indexFiles() + QStringList{"INV6.DBF"};
        qint64 before = 0;
        Manifest written;
        written.created = QStringLiteral("2026-06-15T09:00:00.000Z");
        for (const QString &name : preceding) {
            written.set(name, {QByteArray(64, '0'), sizeOf(data(), name)});
            before += sizeOf(data(), name) + written.toText().size();
        }
        auto fs = std::make_shared<FailingFileSystem>(before + 1000);
        QVERIFY(sizeOf(data(), QStringLiteral("INV6.DBT")) > 1000);
        Asker asker;
        asker.answer = [&](const QString &) {
            // The full disk goes out, an empty one comes in.
            const bool moved = mtest::moveFiles(target, m_dir->file(QStringLiteral("disk1")));
            fs->setBudget(1 << 30);
            return moved;
        };
        const BackupResult b = backupData(data(), target, asker.prompts(), {}, fs);
        QVERIFY2(b.ok(), qPrintable(b.message));
        QCOMPARE(asker.asked, QStringList{QStringLiteral("Disk Full. Insert another disk. INV6.DBT")});
        QCOMPARE(b.media, 2);

        const QString disk1 = m_dir->file(QStringLiteral("disk1"));
        QStringList first = QDir(disk1).entryList(QDir::Files | QDir::Hidden);
        first.sort();
        QStringList expected = preceding + QStringList{"TALLYRA.MANIFEST"};
        expected.sort();
        QCOMPARE(first, expected);
        QCOMPARE(mtest::bytes(QDir(target).filePath(QStringLiteral("INV6.DBT"))),
                 mtest::bytes(findNoCase(data(), QStringLiteral("INV6.DBT"))));
        QVERIFY(QFileInfo::exists(QDir(target).filePath(QStringLiteral("ITM5.DBF"))));
        QVERIFY(!QFileInfo::exists(QDir(target).filePath(QStringLiteral("CUST5.DBF"))));
        const VerifyResult v1 = verifyBackup(disk1);
        QVERIFY(v1.ok());
        QVERIFY(v1.report.contains(QStringLiteral("the set continues on another disk")));
        QVERIFY(verifyBackup(target).ok());

        const auto atBackup = mtest::dumpTables(data());
        QVERIFY(addCustomer(data(), QStringLiteral("Later")));
        const QString disk2 = m_dir->file(QStringLiteral("disk2"));
        Asker swapper;
        swapper.answer = [&](const QString &text) {
            // Whichever disk is in the drive goes out and the other comes in.
            const bool firstIn = QFileInfo::exists(QDir(target).filePath(QStringLiteral("CUST5.DBF")));
            const QString out = firstIn ? disk1 : disk2;
            const QString in = firstIn ? disk2 : disk1;
            Q_UNUSED(text);
            return mtest::moveFiles(target, out) && mtest::moveFiles(in, target);
        };
        RestoreOptions removable;
        removable.removable = true;
        db::Engine engine(data());
        const RestoreResult r = restoreData(engine, target, removable, swapper.prompts());
        QVERIFY2(r.ok(), qPrintable(r.message));
        QCOMPARE(swapper.asked,
                 QStringList({"Insert disk containing CUST5.DBF", "Insert disk containing INV6.DBT"}));
        auto after = mtest::dumpTables(data());
        for (const char *table : {"CUST5", "GROUPS", "INV6", "ITM5", "Prod5"})
            QCOMPARE(after[QString::fromLatin1(table)], atBackup.at(QString::fromLatin1(table)));
        QCOMPARE(mtest::checkAll(data()), QString());
    }

    // A full target answered with "Cancel" fails the backup and leaves the previous backup on
    // it whole: each file of the old set is either its old copy or a whole new one.
    void cancelledFullTargetKeepsThePreviousBackup()
    {
        const QString target = folder(QStringLiteral("drive"));
        QVERIFY(backupData(data(), target, {}).ok());
        const mtest::Snapshot old = mtest::snapshot(target);
        QVERIFY(addCustomer(data(), QStringLiteral("Later")));
        // Room for the new customer file only: CUST5.DBT does not fit.
        auto fs = std::make_shared<FailingFileSystem>(sizeOf(data(), QStringLiteral("CUST5.DBF")) + 100);
        Asker asker;
        asker.answer = [](const QString &) { return false; };
        const BackupResult b = backupData(data(), target, asker.prompts(), {}, fs);
        QVERIFY(!b.ok());
        QVERIFY(b.message.startsWith(
            QStringLiteral("Backup Failed . . Check that disk is not write protected\n")));
        QCOMPARE(asker.asked, QStringList{QStringLiteral("Disk Full. Insert another disk. CUST5.DBT")});
        const mtest::Snapshot now = mtest::snapshot(target);
        QCOMPARE(now.at(QStringLiteral("CUST5.DBF")),
                 mtest::bytes(findNoCase(data(), QStringLiteral("CUST5.DBF"))));
        for (const auto &[name, bytes] : now) {
            if (name != QLatin1String("CUST5.DBF") && name != QLatin1String(Manifest::kFileName))
                QVERIFY2(old.at(name) == bytes, qPrintable(name));
        }
        QVERIFY(!now.count(QStringLiteral("CUST5.DBT.copying")));
    }

    // Every restore that cannot be completed leaves every current file byte for byte as it was,
    // takes no safety copy, and says why.
    void failedRestoreChangesNothing_data()
    {
        QTest::addColumn<QString>("damage");
        QTest::addColumn<QString>("message");
        QTest::newRow("GROUPS.DBF missing") << "remove GROUPS.DBF"
                                            << "Unable to find %1/GROUPS.DBF\nFunction Aborted";
        QTest::newRow("ITM5.DBF altered") << "flip ITM5.DBF"
                                          << "The backup copy of ITM5.DBF has been changed";
        QTest::newRow("INV6.DBT cut short") << "cut INV6.DBT"
                                            << "The backup copy of INV6.DBT has been changed";
        QTest::newRow("no manifest, damaged table") << "plain cut ITM5.DBF"
                                                    << "The backup holds a damaged table";
        QTest::newRow("manifest unreadable") << "garble manifest"
                                             << "The backup cannot be used";
        QTest::newRow("data disk full") << "full data disk"
                                        << "Restore Failed . . Check that your disk is not full.";
        QTest::newRow("removable, disk not inserted") << "removable remove PMT.DBF"
                                                      << "Nothing was restored.";
    }
    void failedRestoreChangesNothing()
    {
        QFETCH(QString, damage);
        QFETCH(QString, message);
        const QString source = folder(QStringLiteral("backup"));
        QVERIFY(backupData(data(), source, {}).ok());
        QVERIFY(addCustomer(data(), QStringLiteral("Later")));
        const QString file = damage.section(' ', -1);
        const QString path = QDir(source).filePath(file);
        if (damage.startsWith("plain"))
            QVERIFY(QFile::remove(QDir(source).filePath(QLatin1String(Manifest::kFileName))));
        if (damage.contains("remove"))
            QVERIFY(QFile::remove(path));
        if (damage.contains("flip")) {
            QByteArray b = mtest::bytes(path);
            b[b.size() / 2] = char(b[b.size() / 2] ^ 0x20);
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly) && f.write(b) == b.size());
        }
        if (damage.contains("cut"))
            QVERIFY(QFile::resize(path, QFileInfo(path).size() - 700));
        if (damage == "garble manifest") {
            QFile f(QDir(source).filePath(QLatin1String(Manifest::kFileName)));
            QVERIFY(f.open(QIODevice::Append) && f.write("not a line\n") > 0);
        }

        const mtest::Snapshot before = mtest::snapshot(data());
        std::shared_ptr<db::FileSystem> fs = db::FileSystem::posix();
        if (damage == "full data disk")
            fs = std::make_shared<FailingFileSystem>(50000);
        db::Engine engine(data(), fs);
        RestoreOptions options;
        options.removable = damage.startsWith("removable");
        Asker asker;
        asker.answer = [](const QString &) { return false; };
        const RestoreResult r = restoreData(engine, source, options, asker.prompts());
        QVERIFY(!r.ok());
        QVERIFY(!r.changed);
        QVERIFY2(r.message.startsWith(QString(message).replace("%1", source)), qPrintable(r.message));
        if (options.removable)
            QCOMPARE(asker.asked, QStringList{QStringLiteral("Insert disk containing PMT.DBF")});
        QCOMPARE(mtest::changed(before, mtest::snapshot(data())), QStringList());
        QVERIFY(safetyBackupFolders(data()).isEmpty());
        QVERIFY(!QFileInfo::exists(QDir(data()).filePath(QStringLiteral(".tallyra-restore"))));
    }

    // Tags come back with their tables only when they are the very files taken with them and
    // their group opens whole; any other group is built from the restored records. In every case
    // the data are those of the backup, every tag finds every record, and every restored file can
    // be written, even from read-only media (a read-only folder of read-only files).
    void restoreRebuildsOnlyTagsItCannotTrust_data()
    {
        QTest::addColumn<QString>("setup");
        QTest::addColumn<QStringList>("reindexed");
        QTest::newRow("tags as taken, read-only medium") << "read-only" << QStringList();
        QTest::newRow("set without tag files")
            << "no tags"
            << QStringList({"CUST5", "GROUPS", "Prod5", "Pur5", "INV6", "ITM5", "PMT", "LABELS"});
        QTest::newRow("tag altered on the backup") << "flip itm.ntx" << QStringList{"ITM5"};
        QTest::newRow("tag damaged when taken") << "cut cName.ntx" << QStringList{"CUST5"};
        QTest::newRow("group file short of a tag") << "drop a tag of INV6.cgp" << QStringList{"INV6"};
        QTest::newRow("table written during its copy") << "write ITM5" << QStringList{"ITM5"};
    }
    void restoreRebuildsOnlyTagsItCannotTrust()
    {
        QFETCH(QString, setup);
        QFETCH(QStringList, reindexed);
        const QString source = folder(QStringLiteral("backup"));
        const QString file = setup.section(' ', -1);
        if (setup.startsWith("cut"))
            QVERIFY(QFile::resize(findNoCase(data(), file), 100));
        if (setup.startsWith("drop")) {
            QList<QByteArray> lines = mtest::bytes(findNoCase(data(), file)).trimmed().split('\n');
            lines.removeLast();
            QFile f(findNoCase(data(), file));
            QVERIFY(f.open(QIODevice::WriteOnly) && f.write(lines.join('\n') + '\n') > 0);
        }
        const auto atBackup = mtest::dumpTables(data());
        // Another program adds a line item while the backup copies the item tags.
        auto fs = std::make_shared<HookedFileSystem>(QStringLiteral("itm.ntx.copying"), [&] {
            if (setup.startsWith("write"))
                QVERIFY(addItem(data()));
        });
        const BackupResult b = backupData(data(), source, {}, {}, fs);
        QVERIFY2(b.ok(), qPrintable(b.message));
        QCOMPARE(b.changedDuringCopy, setup.startsWith("write") ? QStringList{"ITM5"} : QStringList());
        Manifest manifest;
        bool present = false;
        QVERIFY(readManifest(source, &manifest, &present).isOk() && present);
        QCOMPARE(manifest.find(QStringLiteral("itm.ntx")) == nullptr, setup.startsWith("write"));
        if (setup == "no tags") {
            for (const TableDef &def : schemaTables()) {
                for (const QString &tag : def.indexFiles()) {
                    QFile::remove(QDir(source).filePath(tag));
                    manifest.remove(tag);
                }
            }
            QVERIFY(writeManifest(*db::FileSystem::posix(), source, manifest).isOk());
        }
        if (setup.startsWith("flip")) {
            const QString path = QDir(source).filePath(file);
            QByteArray bytes = mtest::bytes(path);
            bytes[bytes.size() - 3] = char(bytes[bytes.size() - 3] ^ 0x20);
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size());
        }
        if (setup == "read-only") {
            for (const QString &name : QDir(source).entryList(QDir::Files))
                QVERIFY(
                    QFile::setPermissions(QDir(source).filePath(name), QFile::ReadOwner | QFile::ReadGroup));
            QVERIFY(QFile::setPermissions(source, QFile::ReadOwner | QFile::ExeOwner));
        }
        QVERIFY(addCustomer(data(), QStringLiteral("Later")) || setup.startsWith("cut"));

        QStringList progress;
        ProgressDisplay display{[&](const QString &m) { progress << m; }, {}, {}};
        db::Engine engine(data());
        const RestoreResult r = restoreData(engine, source, {}, {}, display);
        QFile::setPermissions(source, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QVERIFY2(r.ok(), qPrintable(r.message));
        QCOMPARE(r.reindexed, reindexed);
        QCOMPARE(progress.contains(QStringLiteral("Rebuilding Indexes")), !reindexed.isEmpty());
        const auto after = mtest::dumpTables(data());
        for (const char *table : {"CUST5", "GROUPS", "INV6", "ITM5", "PMT", "Prod5", "Pur5", "LABELS"})
            QCOMPARE(after.at(QString::fromLatin1(table)), atBackup.at(QString::fromLatin1(table)));
        QCOMPARE(mtest::checkAll(data()), QString());
        for (const QString &name : r.restored)
            QVERIFY2(QFileInfo(findNoCase(data(), name)).permissions() & QFile::WriteOwner, qPrintable(name));
        QVERIFY(addCustomer(data(), QStringLiteral("Written after the restore")));
        QVERIFY(addItem(data()));
        QCOMPARE(mtest::checkAll(data()), QString());
    }

    // The settings tables a business may lack (zones, import directories, mail never set up) are
    // noted as not present, listed nowhere and no longer left in the folder from an older backup;
    // a restore with the settings brings back those there are. Without the letterhead or the
    // import formats there is no backup, and the older one is left as it was.
    void optionalSettingsTables_data()
    {
        QTest::addColumn<QStringList>("removed");
        QTest::addColumn<QStringList>("absent");
        QTest::addColumn<bool>("fails");
        QTest::newRow("every settings table") << QStringList() << QStringList() << false;
        QTest::newRow("mail never set up")
            << QStringList{"MailSet.DBF"} << QStringList{"MailSet.DBF"} << false;
        QTest::newRow("no zones, import directories or mail")
            << QStringList({"ZZone.DBF", "ZZone.ntx", "ZZone.cgp", "ImpDirs.DBF", "MailSet.DBF"})
            << QStringList({"ZZone.DBF", "ImpDirs.DBF", "MailSet.DBF"}) << false;
        QTest::newRow("no letterhead") << QStringList{"TLR2.DBF"} << QStringList() << true;
        QTest::newRow("no import formats") << QStringList{"ImportF.DBF"} << QStringList() << true;
    }
    void optionalSettingsTables()
    {
        QFETCH(QStringList, removed);
        QFETCH(QStringList, absent);
        QFETCH(bool, fails);
        const QString target = folder(QStringLiteral("stick"));
        QVERIFY(backupData(data(), target, {}).ok()); // the older backup, every settings table in it
        QVERIFY(QFileInfo::exists(QDir(target).filePath(QStringLiteral("MailSet.DBF"))));
        for (const QString &name : removed)
            QVERIFY(QFile::remove(findNoCase(data(), name)));
        const mtest::Snapshot old = mtest::snapshot(target);
        const BackupResult b = backupData(data(), target, {});
        if (fails) {
            QVERIFY(!b.ok());
            QCOMPARE(b.message, QStringLiteral("Backup Failed . . Check that disk is not write protected\n"
                                               "Unable to find ") +
                                    QDir(data()).filePath(removed.first()));
            QCOMPARE(mtest::changed(old, mtest::snapshot(target)), QStringList());
            return;
        }
        QVERIFY2(b.ok(), qPrintable(b.message));
        QCOMPARE(b.absent, absent);
        Manifest manifest;
        bool present = false;
        QVERIFY(readManifest(target, &manifest, &present).isOk() && present);
        for (const QString &name : removed) {
            QVERIFY(!manifest.find(name));
            QVERIFY2(findNoCase(target, name).isEmpty(), qPrintable(name));
            QVERIFY(!b.copied.contains(name));
        }
        QVERIFY(verifyBackup(target).ok());

        // The mail settings lost since: restored with the settings when the backup has them.
        if (!absent.contains(QStringLiteral("MailSet.DBF")))
            QVERIFY(QFile::remove(findNoCase(data(), QStringLiteral("MailSet.DBF"))));
        db::Engine engine(data());
        RestoreOptions withSettings;
        withSettings.settings = true;
        const RestoreResult r = restoreData(engine, target, withSettings, {});
        QVERIFY2(r.ok(), qPrintable(r.message));
        for (const BackupFile &f : backupFiles()) {
            if (!f.settings)
                continue;
            QCOMPARE(r.restored.contains(f.name), !absent.contains(f.name));
            const QString restored = findNoCase(data(), f.name);
            QCOMPARE(restored.isEmpty(), absent.contains(f.name));
            if (!restored.isEmpty())
                QCOMPARE(mtest::bytes(restored), mtest::bytes(QDir(target).filePath(f.name)));
        }
    }

    // The safety copies: a disk too full for one leaves no half folder and reports the failure;
    // of many, the newest five are kept and folders of other names are never touched.
    void safetyCopiesKeepTheNewestFive()
    {
        auto full = std::make_shared<FailingFileSystem>(1000);
        const SafetyBackupResult failed =
            takeSafetyBackup(data(), QStringLiteral("erase"), {TableId::Customers}, full);
        QVERIFY(!failed.ok());
        QVERIFY(failed.status.message().contains(QStringLiteral("No space left on device")));
        QVERIFY(
            QDir(data() + "/backups").entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden).isEmpty());

        QVERIFY(QDir().mkpath(data() + "/backups/my own copy"));
        const QDateTime start(QDate(2026, 6, 15), QTime(9, 0));
        QStringList made;
        for (int i = 0; i < 7; ++i) {
            const QString operation = i % 2 ? QStringLiteral("delete-customers") : QStringLiteral("restore");
            const SafetyBackupResult r =
                takeSafetyBackup(data(), i == 6 ? QStringLiteral("delete-customers") : operation,
                                 {TableId::Customers, TableId::Groups}, db::FileSystem::posix(),
                                 start.addSecs(i == 6 ? 300 : 60 * i));
            QVERIFY(r.ok());
            made << r.folder;
            QCOMPARE(r.files, QStringList({"CUST5.DBF", "CUST5.DBT", "cName.ntx", "ccno.ntx", "czip.ntx",
                                           "ccomp.ntx", "cEmail.ntx", "CUST5.cgp", "GROUPS.DBF", "nGroup.ntx",
                                           "cGroup.ntx", "GROUPS.cgp"}));
        }
        // The seventh came in the same second as the sixth and got a name of its own.
        QVERIFY(made[6].endsWith(QStringLiteral("delete-customers-20260615-090500-2")));
        QStringList kept;
        for (const QString &f : safetyBackupFolders(data()))
            kept << QFileInfo(f).fileName();
        QCOMPARE(kept, QStringList({"restore-20260615-090200", "delete-customers-20260615-090300",
                                    "restore-20260615-090400", "delete-customers-20260615-090500",
                                    "delete-customers-20260615-090500-2"}));
        QVERIFY(QFileInfo::exists(data() + "/backups/my own copy"));
        QVERIFY(verifyBackup(made[5]).ok());
    }

    // A safety copy of some tables is restored as such: its tables come back with their tags, the
    // others stay.
    void safetyCopyRestoresItsTablesOnly()
    {
        const SafetyBackupResult safety =
            takeSafetyBackup(data(), QStringLiteral("delete-customers"), {TableId::Customers});
        QVERIFY(safety.ok());
        const auto before = mtest::dumpTables(data());
        QVERIFY(addCustomer(data(), QStringLiteral("Later")));
        const QByteArray invoices = mtest::bytes(QDir(data()).filePath(QStringLiteral("INV6.DBF")));
        db::Engine engine(data());
        const RestoreResult r = restoreData(engine, safety.folder, {}, {});
        QVERIFY2(r.ok(), qPrintable(r.message));
        QCOMPARE(r.restored, QStringList({"CUST5.DBF", "CUST5.DBT", "cName.ntx", "ccno.ntx", "czip.ntx",
                                          "ccomp.ntx", "cEmail.ntx", "CUST5.cgp"}));
        QCOMPARE(r.reindexed, QStringList());
        QCOMPARE(mtest::dumpTables(data()).at(QStringLiteral("CUST5")), before.at(QStringLiteral("CUST5")));
        QCOMPARE(mtest::bytes(QDir(data()).filePath(QStringLiteral("INV6.DBF"))), invoices);
        QCOMPARE(mtest::checkAll(data()), QString());
    }

    // tallyra-dbtool: backup, verify-backup and restore with their exit codes and messages.
    void dbtoolCommands()
    {
        const QString tool = testsupport::binPath(QStringLiteral("tallyra-dbtool"));
        const QString target = folder(QStringLiteral("nightly"));
        auto run = [&](const QStringList &args, QString *err = nullptr) {
            QProcess p;
            p.start(tool, args);
            p.waitForFinished(60000);
            if (err)
                *err = QString::fromLocal8Bit(p.readAllStandardError());
            return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
        };
        QString err;
        QCOMPARE(run({"backup", data(), target}), 0);
        QCOMPARE(run({"verify-backup", target}), 0);
        QCOMPARE(run({"backup", data(), data()}, &err), 3);
        QVERIFY(err.contains(QStringLiteral("Backup must be to a different drive and/or directory")));
        QVERIFY(QFile::resize(QDir(target).filePath(QStringLiteral("PMT.DBF")), 100));
        QCOMPARE(run({"verify-backup", target}, &err), 3);
        QVERIFY2(err.contains(QStringLiteral("PMT.DBF: 100 bytes, the manifest says")), qPrintable(err));
        QCOMPARE(run({"restore", data(), target}, &err), 3);
        QVERIFY(err.contains(QStringLiteral("The backup copy of PMT.DBF has been changed")));
        QCOMPARE(run({"backup", data(), target}), 0);
        QCOMPARE(run({"restore", data(), target, "--settings"}), 0);
        QCOMPARE(run({"restore", data()}), 2);
        QCOMPARE(mtest::checkAll(data()), QString());
    }
};

QTEST_GUILESS_MAIN(TestBackupRestore)
#include "tst_backup_restore.moc"
