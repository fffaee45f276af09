// The data upgrade from tables written here in the old layouts, with field widths of their own
// and Windows-1252 text: both conversions, what they carry over and what they leave empty, and
// the runs that must leave the current data as they were.

#include "BackupFiles.h"
#include "Clock.h"
#include "DataUpgrade.h"
#include "MaintenanceTestSupport.h"
#include "NewBusiness.h"
#include "Records.h"
#include "TestSupport.h"

#include <QTest>
#include <QVariant>

using namespace tallyra;
using testsupport::FixedClock;
using testsupport::TempDataDir;

namespace {

db::FieldDef C(const char *name, int length)
{
    return {name, db::FieldType::Character, length, 0};
}
db::FieldDef N(const char *name, int length, int decimals = 0)
{
    return {name, db::FieldType::Numeric, length, decimals};
}
db::FieldDef D(const char *name)
{
    return {name, db::FieldType::Date, 8, 0};
}
db::FieldDef L(const char *name)
{
    return {name, db::FieldType::Logical, 1, 0};
}
db::FieldDef M(const char *name)
{
    return {name, db::FieldType::Memo, 10, 0};
}

// Writes an old table: one row per record, values in field order (bytes for texts and memos as
// stored, numbers, dates, logicals).
bool writeOld(const QString &dir, const QString &file, const QList<db::FieldDef> &fields,
              const QList<QVariantList> &rows)
{
    if (!db::Table::create(dir, file, fields).isOk())
        return false;
    db::Engine engine(dir);
    engine.setAutoOpenIndex(false);
    db::Table *t = engine.open(file.section('.', 0, 0));
    if (!t)
        return false;
    for (const QVariantList &row : rows) {
        if (!t->appendBlank().isOk())
            return false;
        for (int i = 0; i < row.size(); ++i) {
            const QVariant &v = row[i];
            db::Status s;
            switch (fields[i].type) {
            case db::FieldType::Character:
                s = t->setRaw(i, v.toByteArray());
                break;
            case db::FieldType::Memo:
                s = t->setMemoBytes(i, v.toByteArray());
                break;
            case db::FieldType::Numeric:
                s = t->setNumber(i, v.toDouble());
                break;
            case db::FieldType::Date:
                s = t->setDate(i, v.toDate());
                break;
            case db::FieldType::Logical:
                s = t->setLogical(i, v.toBool());
                break;
            }
            if (!s.isOk())
                return false;
        }
    }
    return engine.closeAll().isOk();
}

// The tables both old layouts share, in widths of their own.
bool writeShared(const QString &dir)
{
    return writeOld(dir, "Groups.dbf", {N("nGroup", 2), C("cGroup", 20)}, {{1, "Retail"}, {2, "Trade"}}) &&
           writeOld(dir, "labels.dbf", {C("Name", 30), N("Width", 7, 2), N("Height", 7, 2), N("NAcross", 1)},
                    {{"Address 3x8", 200.0, 72.0, 3}}) &&
           writeOld(dir, "pmt.dbf", {N("IvNo", 5), D("PDate"), N("PAmt", 9, 2)},
                    {{1, QDate(2019, 3, 10), 50.0}});
}

bool writeRelease1(const QString &dir)
{
    return writeShared(dir) &&
           writeOld(dir, "cust5.dbf",
                    {N("CuNo", 5), C("Title", 4), C("First", 15), C("Last", 20), C("Addr1", 30),
                     C("Addr2", 30), C("Addr3", 30), C("Addr4", 30), C("Zip", 10), M("Comments"),
                     N("NGroup", 2), C("Note", 30), C("Phone", 15), C("Fax", 15), C("EMail", 40)},
                    {{1, "Herr", QByteArray("J\xfcrgen"), QByteArray("M\xfcller"),
                      QByteArray("Stra\xdf"
                                 "e 1"),
                      "", "", "Wien", "1010", QByteArray("Stammkunde \x80 5"), 1, "", "01 234", "",
                      "jm@example.org"}}) &&
           writeOld(dir, "inv5.dbf",
                    {N("IvNo", 6), N("CuNo", 6), D("IDate"), C("IMemo", 30), C("Dept", 10), M("REM"),
                     N("Ship", 8, 2), N("Tax", 8, 2), N("Due", 10, 2)},
                    {{1, 1, QDate(2019, 3, 4), "first order", "HW", "  paid in part  ", 5.0, 1.25, 56.25},
                     {2, 1, QDate(), "undated", "", "", 0.0, 0.0, 12.0}}) &&
           writeOld(dir, "itm5.dbf",
                    {N("IvNo", 6), C("PrID", 10), N("Qty", 8, 2), N("UPR", 9, 2), L("LTax1"), L("LTax2"),
                     C("PDesc", 30), C("IComm", 30)},
                    {{1, "WIDGET", 2.0, 25.0, true, false, "Blue widget", ""}}) &&
           writeOld(dir, "pur5.dbf",
                    {C("PURProd", 10), D("PURDate"), N("PURQty", 8, 2), N("PURCost", 9, 2), N("PURNo", 6)},
                    {{"WIDGET", QDate(2019, 1, 2), 10.0, 120.0, 7}}) &&
           writeOld(dir, "Prod5.dbf",
                    {C("PrID", 10), C("RCode", 10), C("PDesc", 30), C("IComm", 30), N("UPrice", 9, 2),
                     L("LTax1"), L("LTax2"), L("lInven"), N("REORDER", 8, 2), N("ONHAND", 8, 2), M("PMemo")},
                    {{"WIDGET", "W1", "Blue widget", "", 25.0, true, false, true, 5.0, 12.0, "Keep dry"}});
}

bool writeOlder(const QString &dir, bool itemsComplete = true)
{
    QList<db::FieldDef> itemFields{N("IvNo", 5),   C("Prid", 8), C("IComm", 20), N("Qty", 7, 2),
                                   N("UPR", 8, 2), L("LTax1"),   L("LTax2")};
    if (!itemsComplete)
        itemFields.removeAt(4); // no unit price: the line items cannot be converted
    QList<QVariantList> items{{1, "WIDGET", "", 2.0, 25.0, true, false},
                              {1, "widget", "typed small", 1.0, 25.0, false, false},
                              {2, "GONE", "product deleted", 3.0, 4.0, false, true},
                              {2, "ABC", "only ABCD exists", 1.0, 9.0, false, false}};
    if (!itemsComplete) {
        for (QVariantList &row : items)
            row.removeAt(4);
    }
    return writeShared(dir) &&
           writeOld(dir, "cust2.dbf",
                    {N("CuNo", 4), N("NGroup", 1), C("Title", 5), C("First", 12), C("Last", 18),
                     C("Addr1", 25), C("Addr2", 25), C("Addr3", 25), C("Addr4", 25), C("Zip", 9),
                     M("Comments"), C("Note", 25)},
                    {{7, 2, "Mme",
                      QByteArray("Ren\xe9"
                                 "e"),
                      QByteArray("Lef\xe8vre"), "Rue 3", "", "", "Paris", "75001", "VIP", "call first"}}) &&
           writeOld(dir, "inv.dbf",
                    {N("IvNo", 5), N("CuNo", 4), D("IDate"), C("IMemo", 25), M("REM"), N("Ship", 7, 2),
                     N("Tax", 7, 2), N("Due", 9, 2)},
                    {{1, 7, QDate(2018, 11, 30), "", " rush ", 0.0, 0.0, 75.0},
                     {2, 7, QDate(), "no date", "", 0.0, 0.0, 21.0}}) &&
           writeOld(dir, "itm4.dbf", itemFields, items) &&
           writeOld(dir, "Prod4.dbf",
                    {C("Prid", 8), C("RCode", 8), C("PDesc", 25), N("UPrice", 8, 2), L("LTax1"), L("LTax2"),
                     C("IComm", 20), M("PMemo")},
                    {{"WIDGET", "W", "Blue widget", 25.0, true, false, "", ""},
                     {"ABCD", "A", "Alphabet set", 9.0, false, false, "", "fragile"}});
}

template <typename Record>
QList<Record> readAll(const QString &dir, TableId id, db::Status (*load)(const db::Table &, Record &))
{
    QList<Record> records;
    db::Engine engine(dir);
    engine.setAutoOpenIndex(false);
    db::Table *t = engine.open(tableDef(id).name);
    if (!t)
        return records;
    for (bool more = t->go(1); more; more = t->skip(1)) {
        Record r;
        load(*t, r);
        records << r;
    }
    engine.closeAll();
    return records;
}

struct Recorder
{
    QStringList events;
    ProgressDisplay display()
    {
        return {[this](const QString &m) { events << "start " + m; },
                [this](int p) { events << QString::number(p); }, [this] { events << "end"; }};
    }
};

CopyPrompts answer(bool ok, QStringList *shown)
{
    CopyPrompts p;
    p.okCancel = [ok, shown](const QString &t) {
        *shown << t;
        return ok;
    };
    p.info = [shown](const QString &t) { *shown << "info: " + t; };
    return p;
}

} // namespace

class TestUpgrade : public QObject
{
    Q_OBJECT

    FixedClock m_clock{QDate(2026, 6, 15)};
    TempDataDir *m_dir = nullptr;
    QString data() const { return m_dir->file(QStringLiteral("data")); }
    QString old() const { return m_dir->file(QStringLiteral("QVL")); }

private Q_SLOTS:
    void init()
    {
        m_dir = new TempDataDir;
        QVERIFY(createBusiness(data(), true).ok());
        QVERIFY(QDir().mkpath(old()));
    }
    void cleanup() { delete m_dir; }

    void release1()
    {
        QVERIFY(writeRelease1(old()));
        const QByteArray customersBefore = mtest::bytes(QDir(data()).filePath(QStringLiteral("CUST5.DBF")));
        QStringList shown;
        Recorder progress;
        const UpgradeResult r = upgradeData(engineFor(), old(), answer(true, &shown), progress.display());
        QVERIFY2(r.outcome == UpgradeResult::Outcome::Done, qPrintable(r.message()));
        QCOMPARE(shown,
                 QStringList{QStringLiteral("Convert/Upgrade data from Tallyra version 1.xx\r\nWarning: All "
                                            "previously entered data will be overwritten")});
        QCOMPARE(progress.events.mid(0, 13),
                 QStringList({"start Converting Data Files", "5", "10", "15", "20", "25", "30", "35", "40",
                              "45", "50", "75", "100"}));
        QVERIFY(progress.events.contains(QStringLiteral("start Packing Data Files")));

        const auto invoices = readAll<InvoiceRecord>(data(), TableId::Invoices, loadInvoice);
        QCOMPARE(invoices.size(), 2);
        QCOMPARE(invoices[0].Dept, QStringLiteral("HW"));
        QCOMPARE(invoices[0].REM, QStringLiteral("paid in part"));
        QCOMPARE(invoices[0].IDate, QDate(2019, 3, 4));
        QCOMPARE(invoices[0].Discount, 0.0);
        QCOMPARE(invoices[0].Due, 56.25);
        QVERIFY(invoices[1].IDate.isNull());
        const auto customers = readAll<CustomerRecord>(data(), TableId::Customers, loadCustomer);
        QCOMPARE(customers.size(), 1);
        QCOMPARE(customers[0].Last, QStringLiteral("Müller"));
        QCOMPARE(customers[0].Addr1, QStringLiteral("Straße 1"));
        QCOMPARE(customers[0].Comments, QStringLiteral("Stammkunde € 5"));
        QCOMPARE(customers[0].EMail, QStringLiteral("jm@example.org"));
        const auto products = readAll<ProductRecord>(data(), TableId::Products, loadProduct);
        QCOMPARE(products.size(), 1);
        QCOMPARE(products[0].PMemo, QStringLiteral("Keep dry"));
        QCOMPARE(products[0].ONHAND, 12.0);
        QCOMPARE(readAll<PurchaseRecord>(data(), TableId::Purchases, loadPurchase).size(), 1);
        QCOMPARE(readAll<GroupRecord>(data(), TableId::Groups, loadGroup).size(), 2);
        QCOMPARE(mtest::checkAll(data()), QString());
        // The data replaced are kept aside and named.
        QVERIFY(r.message().contains(
            QStringLiteral("A copy of the data as they were before is in backups/upgrade-")));
        QCOMPARE(mtest::bytes(QDir(r.safety.folder).filePath(QStringLiteral("CUST5.DBF"))), customersBefore);
    }

    // The working directory itself holding inv5: nothing is copied, inv5 becomes INV6 in place.
    void release1InPlace()
    {
        QVERIFY(writeOld(data(), "inv5.dbf",
                         {N("IvNo", 6), N("CuNo", 6), D("IDate"), C("IMemo", 30), C("Dept", 10), M("REM"),
                          N("Ship", 8, 2), N("Tax", 8, 2), N("Due", 10, 2)},
                         {{41, 3, QDate(2020, 2, 2), "kept", "", "", 0.0, 0.0, 10.0}}));
        const auto customers = mtest::dumpTables(data()).at(QStringLiteral("CUST5"));
        QStringList shown;
        const UpgradeResult r = upgradeData(engineFor(), data(), answer(true, &shown), {});
        QVERIFY2(r.outcome == UpgradeResult::Outcome::Done, qPrintable(r.message()));
        const auto invoices = readAll<InvoiceRecord>(data(), TableId::Invoices, loadInvoice);
        QCOMPARE(invoices.size(), 1);
        QCOMPARE(invoices[0].IvNo, 41);
        QCOMPARE(mtest::dumpTables(data()).at(QStringLiteral("CUST5")), customers);
    }

    void olderLayout()
    {
        QVERIFY(writeOlder(old()));
        QStringList shown;
        Recorder progress;
        const UpgradeResult r = upgradeData(engineFor(), old(), answer(true, &shown), progress.display());
        QVERIFY2(r.outcome == UpgradeResult::Outcome::Done, qPrintable(r.message()));
        QCOMPARE(shown,
                 QStringList{QStringLiteral("Warning: All previously entered data will be overwritten")});
        QCOMPARE(progress.events.mid(0, 9),
                 QStringList({"start Converting Data Files", "5", "10", "15", "20", "25", "22", "25", "50"}));
        QVERIFY(progress.events.contains(QStringLiteral("start Transferring Item Descriptions")));

        const auto items = readAll<ItemRecord>(data(), TableId::Items, loadItem);
        QCOMPARE(items.size(), 4);
        QStringList descriptions;
        for (const ItemRecord &i : items)
            descriptions << i.PrID + "=" + i.PDesc;
        // A product that no longer exists, or only one whose identifier begins the same, gives none.
        QCOMPARE(descriptions, QStringList({"WIDGET=Blue widget", "widget=Blue widget", "GONE=", "ABC="}));
        const auto customers = readAll<CustomerRecord>(data(), TableId::Customers, loadCustomer);
        QCOMPARE(customers.size(), 1);
        QCOMPARE(customers[0].CuNo, 7);
        QCOMPARE(customers[0].First, QStringLiteral("Renée"));
        QCOMPARE(customers[0].Last, QStringLiteral("Lefèvre"));
        QCOMPARE(customers[0].NGroup, 2);
        QVERIFY(customers[0].Phone.isEmpty());
        const auto invoices = readAll<InvoiceRecord>(data(), TableId::Invoices, loadInvoice);
        QCOMPARE(invoices.size(), 2);
        QCOMPARE(invoices[0].REM, QStringLiteral("rush"));
        QVERIFY(invoices[0].Dept.isEmpty());
        QVERIFY(invoices[1].IDate.isNull());
        const auto products = readAll<ProductRecord>(data(), TableId::Products, loadProduct);
        QCOMPARE(products.size(), 2);
        QCOMPARE(products[1].PMemo, QStringLiteral("fragile"));
        QVERIFY(!products[0].lInven);
        QCOMPARE(mtest::checkAll(data()), QString());
    }

    // Runs that stop before converting, or fail half-way, leave every record as it was.
    void nothingChanges_data()
    {
        QTest::addColumn<QString>("setup");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<int>("outcome");
        QTest::newRow("release 1, warning cancelled")
            << "release1" << false
            << "Convert/Upgrade data from Tallyra version 1.xx\r\nWarning: All previously entered data will "
               "be overwritten"
            << int(UpgradeResult::Outcome::Cancelled);
        QTest::newRow("older, warning cancelled")
            << "older" << false << "Warning: All previously entered data will be overwritten"
            << int(UpgradeResult::Outcome::Cancelled);
        QTest::newRow("files missing") << "partial" << true << "info: Data files not found in %1"
                                       << int(UpgradeResult::Outcome::FilesMissing);
        QTest::newRow("items cannot be converted")
            << "broken" << true << "Warning: All previously entered data will be overwritten"
            << int(UpgradeResult::Outcome::Failed);
    }
    void nothingChanges()
    {
        QFETCH(QString, setup);
        QFETCH(bool, ok);
        QFETCH(QString, shown);
        QFETCH(int, outcome);
        if (setup == "release1")
            QVERIFY(writeRelease1(old()));
        if (setup == "older" || setup == "broken")
            QVERIFY(writeOlder(old(), setup != "broken"));
        if (setup == "partial") {
            QVERIFY(writeOlder(old()));
            QVERIFY(QFile::remove(findNoCase(old(), QStringLiteral("itm4.dbf"))));
        }
        const auto before = mtest::dumpTables(data());
        QStringList asked;
        const UpgradeResult r = upgradeData(engineFor(), old(), answer(ok, &asked), {});
        QCOMPARE(int(r.outcome), outcome);
        QCOMPARE(asked, QStringList{QString(shown).replace("%1", old())});
        QVERIFY(mtest::dumpTables(data()) == before);
        QCOMPARE(mtest::checkAll(data()), QString());
        if (r.outcome == UpgradeResult::Outcome::Failed) {
            QVERIFY(r.putBack);
            QVERIFY2(r.message().startsWith(QStringLiteral("Unable to convert all data files\n")),
                     qPrintable(r.message()));
            QVERIFY(r.message().contains(QStringLiteral("UPR")));
            QVERIFY(r.message().contains(
                QStringLiteral("Your data were put back as they were before the upgrade.")));
        } else {
            QVERIFY(safetyBackupFolders(data()).isEmpty());
        }
    }

    void startFolderAndDecoding()
    {
        const QString home = m_dir->file(QStringLiteral("home"));
        const QString stick = m_dir->file(QStringLiteral("stick"));
        QVERIFY(QDir().mkpath(home + "/QVL") && QDir().mkpath(stick + "/QVL_bus") &&
                QDir().mkpath(home + "/QVL_sb"));
        QCOMPARE(upgradeStartFolder({home, stick}), QString());
        QFile(home + "/QVL/PROD4.DBF").open(QIODevice::WriteOnly);
        QCOMPARE(upgradeStartFolder({home, stick}), home + "/QVL");
        QFile(stick + "/QVL_bus/prod4.dbf").open(QIODevice::WriteOnly);
        QCOMPARE(upgradeStartFolder({home, stick}), stick + "/QVL_bus");
        QFile(home + "/QVL_sb/Inv5.dbf").open(QIODevice::WriteOnly);
        QCOMPARE(upgradeStartFolder({home, stick}), home + "/QVL_sb");

        QCOMPARE(decodeOldText("M\xfcller \x80\x93x\x94"), QStringLiteral("Müller €“x”"));
        QCOMPARE(decodeOldText("Müller"), QStringLiteral("Müller")); // already UTF-8
    }

private:
    db::Engine &engineFor()
    {
        m_engine = std::make_unique<db::Engine>(data());
        return *m_engine;
    }
    std::unique_ptr<db::Engine> m_engine;
};

QTEST_GUILESS_MAIN(TestUpgrade)
#include "tst_upgrade.moc"
