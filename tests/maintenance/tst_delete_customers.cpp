// "Delete Customers" on customers and invoices written by the test: the cut-off date exactly,
// the day after, no invoice, undated invoices; what is packed, what stays and what is kept aside.

#include "Clock.h"
#include "DeleteCustomers.h"
#include "MaintenanceTestSupport.h"
#include "NewBusiness.h"
#include "Records.h"
#include "TestSupport.h"

#include <QTest>

using namespace tallyra;
using testsupport::FixedClock;
using testsupport::TempDataDir;

namespace {

struct Customer
{
    QString last;
    QList<QDate> invoices; // a null date is an undated invoice
    bool kept;
};

// Writes the customers (numbers 1, 2, ...) and their invoices; rebuilds the indexes.
bool writeCustomers(const QString &dir, const QList<Customer> &customers)
{
    db::Engine engine(dir);
    const OpenResult cust = openTable(engine, TableId::Customers);
    const OpenResult inv = openTable(engine, TableId::Invoices);
    if (!cust || !inv)
        return false;
    qint64 invoice = 100;
    for (int i = 0; i < customers.size(); ++i) {
        CustomerRecord c;
        c.CuNo = i + 1;
        c.Last = customers[i].last;
        if (!cust.table->appendBlank().isOk() || !writeCustomer(*cust.table, c).isOk())
            return false;
        for (const QDate &date : customers[i].invoices) {
            InvoiceRecord r;
            r.IvNo = ++invoice;
            r.CuNo = c.CuNo;
            r.IDate = date;
            if (!inv.table->appendBlank().isOk() || !writeInvoice(*inv.table, r).isOk() ||
                !inv.table->flush().isOk())
                return false;
        }
    }
    return engine.closeAll().isOk();
}

QStringList remaining(const QString &dir)
{
    QStringList names;
    db::Engine engine(dir);
    engine.setAutoOpenIndex(false);
    db::Table *t = engine.open(QStringLiteral("CUST5"));
    for (bool more = t && t->go(1); more; more = t->skip(1))
        names << t->text(t->fieldIndex("Last")) + (t->isDeleted() ? "*" : "");
    engine.closeAll();
    names.sort();
    return names;
}

} // namespace

Q_DECLARE_METATYPE(QList<Customer>)

class TestDeleteCustomers : public QObject
{
    Q_OBJECT

    FixedClock m_clock{QDate(2026, 6, 15)};

private Q_SLOTS:
    void deletesWhoHasNotOrderedSince_data()
    {
        QTest::addColumn<QDate>("cutoff");
        QTest::addColumn<QList<Customer>>("customers");
        const QDate cut(2026, 3, 1);
        QTest::newRow("the usual cases")
            << cut
            << QList<Customer>{{"OnCutoff", {cut}, false},
                               {"DayAfter", {cut.addDays(1)}, true},
                               {"NoInvoice", {}, false},
                               {"OldAndNew", {QDate(2024, 1, 1), QDate(2026, 5, 1)}, true},
                               {"Undated", {QDate()}, false},
                               {"BeforeAndUndated", {cut.addDays(-1), QDate()}, false},
                               {"UndatedThenLater", {QDate(), cut.addDays(30)}, true}};
        QTest::newRow("nobody to delete")
            << cut
            << QList<Customer>{{"DayAfter", {cut.addDays(1)}, true}, {"Recent", {QDate(2026, 6, 1)}, true}};
        QTest::newRow("no customers at all") << cut << QList<Customer>{};
    }
    void deletesWhoHasNotOrderedSince()
    {
        QFETCH(QDate, cutoff);
        QFETCH(QList<Customer>, customers);
        TempDataDir dir;
        QVERIFY(createBusiness(dir.path(), false).ok());
        QVERIFY(writeCustomers(dir.path(), customers));
        QStringList kept;
        int deleted = 0;
        for (const Customer &c : customers) {
            if (c.kept)
                kept << c.last;
            else
                ++deleted;
        }
        kept.sort();
        const auto before = mtest::dumpTables(dir.path());
        const QByteArray customerFile = mtest::bytes(dir.file(QStringLiteral("CUST5.DBF")));

        QStringList events;
        ProgressDisplay progress{[&](const QString &m) { events << "start " + m; },
                                 [&](int p) { events << QString::number(p); }, [&] { events << "end"; }};
        db::Engine engine(dir.path());
        const DeleteCustomersResult r = deleteInactiveCustomers(engine, cutoff, progress);
        QVERIFY2(r.ok(), qPrintable(r.status.toString()));
        QCOMPARE(r.deleted, deleted);
        QCOMPARE(remaining(dir.path()), kept); // packed: no record left marked
        QCOMPARE(r.message().section('\n', 0, 0), QString::number(deleted) + " Customers Deleted");
        QCOMPARE(events.first(), QStringLiteral("start Processing Customer Orders & Deleting Customers"));
        QCOMPARE(events.contains(QStringLiteral("start Packing Customer File")), deleted > 0);
        if (!customers.isEmpty())
            QVERIFY(events.contains(QStringLiteral("100")));
        // Invoices, items and payments stay as they were.
        const auto after = mtest::dumpTables(dir.path());
        for (const char *table : {"INV6", "ITM5", "PMT"})
            QCOMPARE(after.at(QString::fromLatin1(table)), before.at(QString::fromLatin1(table)));
        QCOMPARE(mtest::checkAll(dir.path()), QString());
        if (deleted == 0) {
            QVERIFY(!r.packed);
            QCOMPARE(mtest::bytes(dir.file(QStringLiteral("CUST5.DBF"))), customerFile);
            QVERIFY(safetyBackupFolders(dir.path()).isEmpty());
        } else {
            QVERIFY(r.packed);
            // The customers as they were are kept aside, and the message says where.
            QCOMPARE(safetyBackupFolders(dir.path()).size(), 1);
            QCOMPARE(mtest::bytes(safetyBackupFolders(dir.path()).first() + "/CUST5.DBF"), customerFile);
            QVERIFY(r.message().section('\n', 1).startsWith(
                QStringLiteral("A copy of the data as they were before is in backups/delete-customers-")));
        }
    }

    void defaultCutoffIsAYearBack() { QCOMPARE(defaultDeleteCutoff(), QDate(2025, 6, 15)); }
};

QTEST_GUILESS_MAIN(TestDeleteCustomers)
#include "tst_delete_customers.moc"
