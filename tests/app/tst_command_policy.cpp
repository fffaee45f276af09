// The main window's record commands and its "File Maintenance" page without a window: on a sample business
// with one deleted record in each table the commands pack, what each command opens, the order it browses in,
// what it packs when records were deleted during it and whether the pack-needed flag stays; and a damaged
// index met on the way, offered for rebuilding once, never when it is only in use.

#include "CommandPolicy.h"
#include "Database.h"
#include "FileMaintenance.h"
#include "NewBusiness.h"
#include "Records.h"
#include "Tables.h"
#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QTest>
#include <memory>

using namespace tallyra;
using testsupport::readFile;
using testsupport::recordCount;
using testsupport::TempDataDir;
using testsupport::writeFile;

namespace {

const QStringList kPacked = {"CUST5", "GROUPS", "INV6", "LABELS", "Pur5", "Prod5"};

// Marks the first record of each table deleted; false when a table is empty or cannot be changed.
bool deleteOneOfEach(const QString &dir)
{
    db::Engine engine(dir);
    for (const QString &name : kPacked) {
        db::Table *t = engine.open(name);
        if (!t || t->recordCount() == 0 || !t->go(1) || !t->markDeleted().isOk())
            return false;
    }
    return engine.closeAll().isOk();
}

} // namespace

class TestCommandPolicy : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cleanup()
    {
        if (databaseOpen())
            closeDatabase();
        setPackNeeded(false);
    }

    void recordCommand_data()
    {
        QTest::addColumn<int>("main");
        QTest::addColumn<bool>("byName");
        QTest::addColumn<QStringList>("opened"); // every table open while the loop runs
        QTest::addColumn<QString>("order");      // the main table's tag
        QTest::addColumn<QStringList>("packed"); // tables whose deleted record is gone afterwards
        QTest::addColumn<bool>("flagAfter");

        const auto row = [](const char *name, TableId main, bool byName, QStringList opened, QString order,
                            QStringList packed, bool flagAfter) {
            QTest::newRow(name) << int(main) << byName << opened << order << packed << flagAfter;
        };
        // "Invoices" packs every data file; the others the tables they own, and clear the flag.
        row("invoices", TableId::Invoices, true, {"CUST5", "GROUPS", "INV6", "ITM5", "PMT", "Prod5"}, "Inv",
            kPacked, false);
        row("customers by name", TableId::Customers, true, {"CUST5", "GROUPS"}, "CName", {"CUST5"}, false);
        row("customers by company", TableId::Customers, false, {"CUST5", "GROUPS"}, "cComp", {"CUST5"},
            false);
        row("products, with their purchases", TableId::Products, true, {"Prod5"}, "Prod", {"Pur5", "Prod5"},
            false);
        row("purchases", TableId::Purchases, true, {"Pur5", "Prod5"}, "Pur", {"Pur5"}, false);
        row("groups", TableId::Groups, true, {"GROUPS", "CUST5"}, "CGroup", {"GROUPS"}, false);
        // Deleted label stock waits for the next full pack.
        row("label stock", TableId::Labels, true, {"LABELS"}, "Labels", {}, true);
    }

    void recordCommand()
    {
        QFETCH(int, main);
        QFETCH(bool, byName);
        QFETCH(QStringList, opened);
        QFETCH(QString, order);
        QFETCH(QStringList, packed);
        QFETCH(bool, flagAfter);

        TempDataDir dir;
        QVERIFY(createBusiness(dir.path(), true).ok());
        QVERIFY(deleteOneOfEach(dir.path()));
        QMap<QString, qint64> before;
        for (const QString &name : kPacked)
            before[name] = recordCount(dir.path(), name);
        openDatabase(dir.path());
        const RecordCommandPolicy policy = recordCommandPolicy(TableId(main), byName);
        // Flagged by an earlier command: customers start from a clear flag, the others keep it.
        setPackNeeded(true);

        RecordCommandRun run(database(), policy);
        int asked = 0;
        QVERIFY(run.begin([&asked](const QString &) { return ++asked, true; }));
        QCOMPARE(asked, 0);
        QCOMPARE(packNeeded(), TableId(main) != TableId::Customers);
        QCOMPARE(run.mainTable(), database().table(tableDef(TableId(main)).name));
        QCOMPARE(run.mainTable()->selectedTag().toUpper(), order.toUpper());
        for (const TableDef &def : schemaTables())
            QCOMPARE(database().table(def.name) != nullptr, opened.contains(def.name));

        // The loop deleted records: the flag is set when it ends.
        setPackNeeded(true);
        QCOMPARE(run.finish(), QStringList());
        QCOMPARE(packNeeded(), flagAfter);
        for (const TableDef &def : schemaTables())
            QVERIFY2(!database().table(def.name), qPrintable(def.name));
        closeDatabase();
        for (const QString &name : kPacked)
            QCOMPARE(recordCount(dir.path(), name), before[name] - (packed.contains(name) ? 1 : 0));
    }

    // Re-index, pack and erase of the whole business, alone and while another program holds
    // CUST5 open: what is done on disk and what the window is told.
    void fileMaintenance_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<bool>("otherProgram");
        QTest::addColumn<QString>("status");
        QTest::addColumn<QString>("messageStart");
        QTest::addColumn<QString>(
            "customers"); // afterwards: "kept", "packed" (the deleted one gone), "erased"

        QTest::newRow("re-index") << "reindex" << false << "Indexes rebuilt" << QString() << "kept";
        QTest::newRow("re-index under another program")
            << "reindex" << true << QString() << QString() << "kept";
        QTest::newRow("pack") << "pack" << false << "Data files packed" << QString() << "packed";
        QTest::newRow("pack under another program")
            << "pack" << true << QString()
            << "These data files were not packed (in use by another program, or damaged): CUST5.DBF"
            << "kept";
        QTest::newRow("erase") << "erase" << false << "Data files erased"
                               << "The data files were erased.\n"
                               << "erased";
        QTest::newRow("erase under another program")
            << "erase" << true << QString() << "Nothing was erased.\n"
            << "kept";
    }

    void fileMaintenance()
    {
        QFETCH(QString, command);
        QFETCH(bool, otherProgram);
        QFETCH(QString, status);
        QFETCH(QString, messageStart);
        QFETCH(QString, customers);

        TempDataDir dir;
        QVERIFY(createBusiness(dir.path(), true).ok());
        QVERIFY(deleteOneOfEach(dir.path()));
        const qint64 before = recordCount(dir.path(), QStringLiteral("CUST5"));
        std::unique_ptr<db::Engine> other;
        if (otherProgram) {
            other = std::make_unique<db::Engine>(dir.path());
            QVERIFY(openCustomers(*other));
        }
        openDatabase(dir.path());
        const MaintenanceOutcome outcome = command == QLatin1String("reindex") ? reindexBusiness(database())
                                           : command == QLatin1String("pack")  ? packBusiness(database())
                                                                               : eraseBusiness(database());
        QCOMPARE(outcome.status, status);
        QVERIFY(outcome.fatal.isEmpty());
        if (otherProgram && command == QLatin1String("reindex"))
            QVERIFY2(outcome.message.contains(QStringLiteral("CUST5"), Qt::CaseInsensitive),
                     qPrintable(outcome.message));
        else
            QVERIFY2(outcome.message.startsWith(messageStart), qPrintable(outcome.message));
        QCOMPARE(outcome.message.isEmpty(),
                 messageStart.isEmpty() && !(otherProgram && command == "reindex"));
        for (const TableDef &def : schemaTables())
            QVERIFY2(!database().table(def.name), qPrintable(def.name));
        closeDatabase();
        if (other)
            QVERIFY(other->closeAll().isOk());
        const qint64 expected = customers == QLatin1String("kept")     ? before
                                : customers == QLatin1String("packed") ? before - 1
                                                                       : 0;
        QCOMPARE(recordCount(dir.path(), QStringLiteral("CUST5")), expected);
        if (command == QLatin1String("erase") && !otherProgram) {
            // The closing message names the copy taken first, which holds the customers.
            const QStringList copies =
                QDir(dir.file(QStringLiteral("backups"))).entryList({QStringLiteral("erase-*")}, QDir::Dirs);
            QCOMPARE(copies.size(), 1);
            QVERIFY2(outcome.message.contains(copies.first()), qPrintable(outcome.message));
            QCOMPARE(
                recordCount(dir.file(QStringLiteral("backups/") + copies.first()), QStringLiteral("CUST5")),
                before);
        }
    }

    // A damaged index is offered once; "Yes" rebuilds it as it was and opens every table again,
    // "No" ends the program leaving the file as it is. A missing table or an index another
    // program is changing is never offered.
    void damagedIndex_data()
    {
        QTest::addColumn<QString>("damage");
        QTest::addColumn<bool>("answer");
        QTest::addColumn<int>("asked");
        QTest::addColumn<QString>("fatal");
        QTest::addColumn<bool>("fileRestored");

        const QString tagFailure =
            QStringLiteral("Unable to open file AccTag.Ntx\nProgram will now terminate.");
        QTest::newRow("cut tag, rebuilt") << "cut" << true << 1 << QString() << true;
        QTest::newRow("cut tag, refused") << "cut" << false << 1 << tagFailure << false;
        QTest::newRow("tag in use elsewhere") << "in use" << true << 0 << tagFailure << false;
        QTest::newRow("table missing")
            << "no table" << true << 0
            << QStringLiteral("Unable to open file GROUPS.DBF\nProgram will now terminate.") << false;
    }

    void damagedIndex()
    {
        QFETCH(QString, damage);
        QFETCH(bool, answer);
        QFETCH(int, asked);
        QFETCH(QString, fatal);
        QFETCH(bool, fileRestored);

        TempDataDir dir;
        QVERIFY(createBusiness(dir.path(), true).ok());
        const QString tag = dir.file(QStringLiteral("czip.ntx"));
        const QByteArray whole = readFile(tag);
        std::unique_ptr<db::Engine> other;
        if (damage == QLatin1String("cut")) {
            QVERIFY(writeFile(tag, whole.left(1500)));
        } else if (damage == QLatin1String("no table")) {
            QVERIFY(QFile::remove(dir.file(QStringLiteral("GROUPS.DBF"))));
        } else {
            // Another program adds a customer and holds CUST5's tags while it changes them.
            other = std::make_unique<db::Engine>(dir.path());
            const OpenResult writer = openCustomers(*other);
            QVERIFY(writer);
            QVERIFY(writer.table->appendBlank().isOk());
            CustomerRecord c;
            c.CuNo = 900;
            c.Last = QStringLiteral("Busy");
            QVERIFY(writeCustomer(*writer.table, c).isOk());
        }
        const QByteArray before = readFile(tag);
        openDatabase(dir.path());

        QStringList questions;
        const CommandTables opened =
            openCommandTables(database(), {TableId::Customers, TableId::Groups}, [&](const QString &q) {
                questions << q;
                return answer;
            });
        QCOMPARE(questions.size(), asked);
        if (asked) {
            QVERIFY2(questions[0].startsWith(QStringLiteral("The index of CUST5.DBF is damaged:\n")),
                     qPrintable(questions[0]));
            QVERIFY(questions[0].contains(QStringLiteral("czip.ntx")));
            QVERIFY(questions[0].endsWith(QStringLiteral("\n\nRebuild it from the table now?")));
        }
        QCOMPARE(opened.fatal, fatal);
        QCOMPARE(opened.ok(), fatal.isEmpty());
        QCOMPARE(opened.rebuilt, fileRestored ? QStringList{"CUST5"} : QStringList());
        QCOMPARE(opened.warnings.isEmpty(), damage == QLatin1String("none"));
        if (opened) {
            QVERIFY(database().table(QStringLiteral("CUST5")));
            QVERIFY(database().table(QStringLiteral("GROUPS")));
        }
        QVERIFY(closeCommandTables(database()).isEmpty());
        QCOMPARE(readFile(tag), fileRestored ? whole : before);
        if (other)
            QVERIFY(other->closeAll().isOk());
    }
};

QTEST_GUILESS_MAIN(TestCommandPolicy)
#include "tst_command_policy.moc"
