// Numbering, saving, reloading and deleting invoices in the real files of a new business: what
// ends up in INV6, ITM5, PMT and CUST5, record by record, and what a full disk leaves behind.

#include "Conversions.h"
#include "Database.h"
#include "InvoiceStore.h"
#include "NewBusiness.h"
#include "Records.h"
#include "TestSupport.h"

#include <QCryptographicHash>
#include <QFile>
#include <QTest>
#include <memory>

using namespace tallyra;
using namespace testsupport;

namespace {

InvoiceItem item(const QString &id, double qty, double price, bool ship = false, bool tax = true)
{
    InvoiceItem i;
    i.productId = id;
    i.quantity = qty;
    i.unitPrice = price;
    i.shipLine = ship;
    i.taxLine = tax;
    i.description1 = QStringLiteral("Item ") + id;
    i.description2 = QStringLiteral("second line");
    return i;
}

QByteArray digest(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256);
}

struct StoredItem
{
    quint32 recNo;
    ItemRecord record;
    bool deleted;
};

// Every ITM5 record in file order.
QList<StoredItem> storedItems(db::Engine &engine)
{
    QList<StoredItem> out;
    db::Table *t = engine.table(QStringLiteral("ITM5"));
    const QString tag = t->selectedTag();
    t->selectNatural();
    for (bool ok = t->top(); ok; ok = t->skip(1)) {
        StoredItem s{t->recNo(), {}, t->isDeleted()};
        loadItem(*t, s.record);
        out << s;
    }
    t->selectTag(tag);
    return out;
}

QList<PaymentRecord> storedPayments(db::Engine &engine, qint64 number)
{
    QList<PaymentRecord> out;
    db::Table *t = engine.table(QStringLiteral("PMT"));
    const QString tag = t->selectedTag();
    t->selectNatural();
    for (bool ok = t->top(); ok; ok = t->skip(1)) {
        PaymentRecord r;
        loadPayment(*t, r);
        if (r.IvNo == number && !t->isDeleted())
            out << r;
    }
    t->selectTag(tag);
    return out;
}

} // namespace

class TestInvoiceStore : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TempDataDir> m_dir;
    std::unique_ptr<db::Engine> m_engine;
    std::unique_ptr<InvoiceStore> m_store;
    std::unique_ptr<FixedClock> m_clock;
    quint32 m_customerRec = 0;

    void openBusiness(std::shared_ptr<db::FileSystem> fs = db::FileSystem::posix())
    {
        m_store.reset();
        m_engine = std::make_unique<db::Engine>(m_dir->path(), fs);
        const OpenResult r = InvoiceStore::openTables(*m_engine);
        QVERIFY2(r.ok(), qPrintable(r.detail()));
        m_store = std::make_unique<InvoiceStore>(*m_engine);
    }

    void addCustomer(qint64 number, const QString &last, const QString &note)
    {
        db::Table *t = m_engine->table(QStringLiteral("CUST5"));
        CustomerRecord c;
        c.CuNo = number;
        c.Last = last;
        c.First = QStringLiteral("Ann");
        c.Addr1 = QStringLiteral("1 Main Street");
        c.Zip = QStringLiteral("15213");
        c.NGroup = 1;
        c.Note = note;
        QVERIFY(t->appendBlank().isOk());
        QVERIFY(writeCustomer(*t, c).isOk());
        m_customerRec = t->recNo();
    }

    void addProduct(const QString &id, const QString &code, const QString &text)
    {
        db::Table *t = m_engine->table(QStringLiteral("Prod5"));
        ProductRecord p;
        p.PrID = id;
        p.RCode = code;
        p.PDesc = QStringLiteral("Product ") + id;
        p.UPrice = 9.5;
        p.PMemo = text;
        QVERIFY(t->appendBlank().isOk());
        QVERIFY(writeProduct(*t, p).isOk());
    }

    // A saved invoice for customer 7; returns its INV6 record.
    quint32 saveNew(const QList<InvoiceItem> &items, const QList<InvoicePayment> &payments = {},
                    const QString &start = QStringLiteral("1"))
    {
        CurrentInvoice inv;
        m_store->startNew(inv);
        inv.customerNumber = 7;
        inv.items = items;
        inv.payments = payments;
        const InvoiceSaveResult r = m_store->save(inv, 0, QString(), [start] { return start; });
        if (!r.ok())
            qWarning() << r.message;
        return r.recNo;
    }

private Q_SLOTS:
    void init()
    {
        m_clock = std::make_unique<FixedClock>(QDate(2024, 6, 15));
        m_dir = std::make_unique<TempDataDir>();
        const NewBusinessResult made = createBusiness(m_dir->path(), false);
        QVERIFY2(made.ok(), qPrintable(made.message));
        openBusiness();
        addCustomer(7, QStringLiteral("Smith"), QStringLiteral("old note"));
        addProduct(QStringLiteral("BOLT"), QStringLiteral("LIC-1"), QStringLiteral("Keep dry.  \n"));
    }
    void cleanup()
    {
        m_store.reset();
        if (m_engine)
            m_engine->closeAll();
        m_engine.reset();
        m_dir.reset();
        m_clock.reset();
        setPackNeeded(false);
    }

    void firstInvoiceNumberAsked();
    void startNumberAnswers_data();
    void startNumberAnswers();
    void roundTripWithProductTexts();
    void fewerItemsOverwriteDeleteAndPack();
    void moreItemsOverwriteAndAppend();
    void paymentsRemovedAndReordered();
    void customerNoteWrittenBack();
    void deleteInvoice();
    void deleteNeverSavedTouchesNothing();
    void noCustomerWritesNothing();
    void fullDiskOnHeader();
    void fullDiskOnItemsKeepsWhatWasWritten();
};

void TestInvoiceStore::firstInvoiceNumberAsked()
{
    QCOMPARE(m_store->nextInvoiceNumber(), 1);
    QCOMPARE(m_store->lastInvoiceRecord(), 0u);
    int asked = 0;
    CurrentInvoice inv;
    m_store->startNew(inv);
    QCOMPARE(inv.number, 1);
    QCOMPARE(inv.date, QDate(2024, 6, 15));
    inv.customerNumber = 7;
    InvoiceSaveResult r = m_store->save(inv, 0, QString(), [&] {
        ++asked;
        return QStringLiteral(" 1001 ");
    });
    QVERIFY2(r.ok(), qPrintable(r.message));
    QCOMPARE(asked, 1);
    QCOMPARE(inv.number, 1001);

    CurrentInvoice next;
    m_store->startNew(next);
    QCOMPARE(next.number, 1002);
    next.customerNumber = 7;
    r = m_store->save(next, 0, QString(), [&] {
        ++asked;
        return QStringLiteral("5");
    });
    QVERIFY(r.ok());
    QCOMPARE(asked, 1); // only the very first invoice asks
    QCOMPARE(next.number, 1002);
    QCOMPARE(m_store->lastInvoiceRecord(), r.recNo);

    InvoiceRecord stored;
    db::Table *t = m_engine->table(QStringLiteral("INV6"));
    QVERIFY(t->go(r.recNo));
    QVERIFY(loadInvoice(*t, stored).isOk());
    QCOMPARE(stored.IvNo, 1002);
    QCOMPARE(stored.CuNo, 7);
}

void TestInvoiceStore::startNumberAnswers_data()
{
    QTest::addColumn<QString>("answer");
    QTest::addColumn<qint64>("number");
    QTest::newRow("not a number") << "abc" << qint64(1);
    QTest::newRow("cancelled gives the default") << "1" << qint64(1);
    QTest::newRow("empty") << "" << qint64(1);
    QTest::newRow("decimal") << "12.5" << qint64(1);
    QTest::newRow("zero") << "0" << qint64(1);
    QTest::newRow("negative") << "-40" << qint64(1);
    QTest::newRow("seven digits") << "1000000" << qint64(1);
    QTest::newRow("largest") << "999999" << qint64(999999);
}

void TestInvoiceStore::startNumberAnswers()
{
    QFETCH(QString, answer);
    QFETCH(qint64, number);
    CurrentInvoice inv;
    m_store->startNew(inv);
    inv.customerNumber = 7;
    QVERIFY(m_store->save(inv, 0, QString(), [answer] { return answer; }).ok());
    QCOMPARE(inv.number, number);
    if (number == 999999) {
        // The next one no longer fits the six digits of IvNo: refused, nothing written.
        CurrentInvoice next;
        m_store->startNew(next);
        next.customerNumber = 7;
        const quint32 before = m_engine->table(QStringLiteral("INV6"))->recordCount();
        const InvoiceSaveResult r = m_store->save(next, 0, QString(), {});
        QCOMPARE(r.outcome, InvoiceSaveResult::Outcome::HeaderNotAdded);
        QCOMPARE(m_engine->table(QStringLiteral("INV6"))->recordCount(), before);
    }
}

void TestInvoiceStore::roundTripWithProductTexts()
{
    CurrentInvoice inv;
    m_store->startNew(inv);
    inv.customerNumber = 7;
    inv.date = QDate(2024, 2, 29);
    inv.department = QStringLiteral("  Hardware ");
    inv.note = QStringLiteral("VISA 1234");
    inv.memo = QStringLiteral("Deliver to back door.\nRing twice.   \r\n\n");
    inv.discountPercent = 12.5;
    inv.shipAmount = 4.95;
    inv.taxAmount = 1.23;
    inv.amountDue = 40.11;
    inv.items << item(QStringLiteral("bolt"), 1.5, 1.15, true, false)  // product stored as BOLT
              << item(QStringLiteral("GONE"), -2, 3.333, false, true); // no such product
    inv.items[0].description1 = QStringLiteral("Zinc bolt, ½ inch — nickel");
    inv.payments << InvoicePayment{QDate(2024, 3, 1), 10} << InvoicePayment{QDate(2024, 3, 9), -2.5};
    const InvoiceSaveResult r = m_store->save(inv, 0, QString(), [] { return QStringLiteral("1"); });
    QVERIFY2(r.ok(), qPrintable(r.message));

    // Closed and opened again: what the next command sees.
    QVERIFY(m_engine->closeAll().isOk());
    openBusiness();
    CurrentInvoice back;
    QVERIFY(m_store->load(r.recNo, back).isOk());
    QCOMPARE(back.number, 1);
    QCOMPARE(back.customerNumber, 7);
    QCOMPARE(back.date, QDate(2024, 2, 29));
    QCOMPARE(back.department, QStringLiteral("  Hardware"));
    QCOMPARE(back.note, QStringLiteral("VISA 1234"));
    QCOMPARE(back.memo, QStringLiteral("Deliver to back door.\nRing twice."));
    QCOMPARE(back.discountPercent, 12.5);
    QCOMPARE(back.shipAmount, 4.95);
    QCOMPARE(back.taxAmount, 1.23);
    QCOMPARE(back.amountDue, 40.11);
    QCOMPARE(back.items.size(), 2);
    QCOMPARE(back.items[0].productId, QStringLiteral("bolt"));
    QCOMPARE(back.items[0].description1, QStringLiteral("Zinc bolt, ½ inch — nickel"));
    QCOMPARE(back.items[0].description2, QStringLiteral("second line"));
    QCOMPARE(back.items[0].quantity, 1.5);
    QCOMPARE(back.items[0].lineTotal(), 1.73); // 1.725 half away from zero
    QVERIFY(back.items[0].shipLine && !back.items[0].taxLine);
    QCOMPARE(back.items[0].licenceCode, QStringLiteral("LIC-1"));
    QCOMPARE(back.items[0].productText, QStringLiteral("Keep dry."));
    QCOMPARE(back.items[1].unitPrice, 3.33); // taken to the two decimals shown
    QVERIFY(back.items[1].licenceCode.isEmpty() && back.items[1].productText.isEmpty());
    QCOMPARE(back.payments.size(), 2);
    QCOMPARE(back.payments[1].date, QDate(2024, 3, 9));
    QCOMPARE(back.payments[1].amount, -2.5);

    // The items carry the invoice number and the constant fields.
    db::Table *itm = m_engine->table(QStringLiteral("ITM5"));
    QVERIFY(itm->go(1));
    QCOMPARE(itm->integer(itm->fieldIndex("IvNo")), 1);
    QCOMPARE(itm->logical(itm->fieldIndex("lBuild")), false);
    QCOMPARE(itm->integer(itm->fieldIndex("BackOrder")), 0);
}

void TestInvoiceStore::fewerItemsOverwriteDeleteAndPack()
{
    // Invoice 1 with five items, invoice 2 with two, their records interleaved in the file.
    const quint32 first = saveNew({item("A1", 1, 1), item("A2", 1, 2)});
    QVERIFY(first);
    const quint32 second = saveNew({item("B1", 1, 10), item("B2", 1, 20)});
    QVERIFY(second);
    CurrentInvoice inv;
    QVERIFY(m_store->load(first, inv).isOk());
    inv.items << item("A3", 1, 3) << item("A4", 1, 4) << item("A5", 1, 5);
    QVERIFY(m_store->save(inv, first, QString(), {}).ok());
    QList<StoredItem> before = storedItems(*m_engine);
    QCOMPARE(before.size(), 7);

    // Down to three: the first three records rewritten where they are, two deleted, packed.
    QVERIFY(m_store->load(first, inv).isOk());
    inv.items = {item("X1", 2, 1), item("X2", 2, 2), item("X3", 2, 3)};
    const InvoiceSaveResult r = m_store->save(inv, first, QString(), {});
    QVERIFY(r.ok());
    QCOMPARE(r.itemsDeleted, 2);
    const QList<StoredItem> after = storedItems(*m_engine);
    QCOMPARE(after.size(), 5); // packed: no deleted record left
    for (const StoredItem &s : after)
        QVERIFY(!s.deleted);
    QStringList ids;
    for (const StoredItem &s : after)
        ids << QString::number(s.record.IvNo) + QLatin1Char(':') + s.record.PrID;
    // Records 1, 2 held A1, A2; 3, 4 held B1, B2; 5..7 held A3..A5. The third overwritten
    // record is A3's; A4 and A5 are gone.
    QCOMPARE(ids, (QStringList{"1:X1", "1:X2", "2:B1", "2:B2", "1:X3"}));
    QVERIFY(!packNeeded());
    CurrentInvoice back;
    QVERIFY(m_store->load(first, back).isOk());
    QCOMPARE(back.items.size(), 3);
    QCOMPARE(back.items[2].productId, QStringLiteral("X3"));
    QCOMPARE(back.items[2].quantity, 2.0);
}

void TestInvoiceStore::moreItemsOverwriteAndAppend()
{
    const quint32 first = saveNew({item("A1", 1, 1), item("A2", 1, 2), item("A3", 1, 3)});
    saveNew({item("B1", 1, 10)});
    CurrentInvoice inv;
    QVERIFY(m_store->load(first, inv).isOk());
    inv.items = {item("Y1", 1, 1), item("Y2", 1, 1), item("Y3", 1, 1), item("Y4", 1, 1), item("Y5", 1, 1)};
    const InvoiceSaveResult r = m_store->save(inv, first, QString(), {});
    QVERIFY(r.ok());
    QCOMPARE(r.itemsDeleted, 0);
    const QList<StoredItem> after = storedItems(*m_engine);
    QStringList ids;
    for (const StoredItem &s : after)
        ids << QString::number(s.recNo) + QLatin1Char(':') + s.record.PrID + (s.deleted ? "*" : "");
    QCOMPARE(ids, (QStringList{"1:Y1", "2:Y2", "3:Y3", "4:B1", "5:Y4", "6:Y5"}));
    CurrentInvoice back;
    QVERIFY(m_store->load(first, back).isOk());
    QStringList order;
    for (const InvoiceItem &i : back.items)
        order << i.productId;
    QCOMPARE(order, (QStringList{"Y1", "Y2", "Y3", "Y4", "Y5"}));
}

void TestInvoiceStore::paymentsRemovedAndReordered()
{
    const quint32 first = saveNew(
        {item("A", 1, 25)}, {{QDate(2024, 5, 1), 10}, {QDate(2024, 5, 2), 5.5}, {QDate(2024, 5, 3), 4.5}});
    const quint32 second = saveNew({item("B", 1, 5)}, {{QDate(2024, 5, 4), 5}});
    CurrentInvoice inv;
    QVERIFY(m_store->load(first, inv).isOk());
    QCOMPARE(inv.payments.size(), 3);
    inv.payments.removeAt(1); // the middle one
    InvoiceSaveResult r = m_store->save(inv, first, QString(), {});
    QVERIFY(r.ok());
    QCOMPARE(r.paymentsDeleted, 1);
    QList<PaymentRecord> stored = storedPayments(*m_engine, 1);
    QCOMPARE(stored.size(), 2);
    QCOMPARE(stored[0].PDate, QDate(2024, 5, 1));
    QCOMPARE(stored[1].PDate, QDate(2024, 5, 3));
    QCOMPARE(stored[1].PAmt, 4.5);

    inv.payments.clear();
    r = m_store->save(inv, first, QString(), {});
    QVERIFY(r.ok());
    QCOMPARE(r.paymentsDeleted, 2);
    QVERIFY(storedPayments(*m_engine, 1).isEmpty());
    QCOMPARE(m_engine->table(QStringLiteral("PMT"))->recordCount(), 1u); // packed
    QCOMPARE(storedPayments(*m_engine, 2).size(), 1);
    CurrentInvoice other;
    QVERIFY(m_store->load(second, other).isOk());
    QCOMPARE(other.payments.size(), 1);
}

void TestInvoiceStore::customerNoteWrittenBack()
{
    addCustomer(8, QStringLiteral("Jones"), QStringLiteral("jones note"));
    CurrentInvoice inv;
    m_store->startNew(inv);
    inv.customerNumber = 7;
    QVERIFY(
        m_store->save(inv, 0, QStringLiteral("   pays in cash   "), [] { return QStringLiteral("1"); }).ok());
    db::Table *cust = m_engine->table(QStringLiteral("CUST5"));
    QCOMPARE(cust->selectedTag().toLower(), QStringLiteral("cname"));
    InvoiceCustomer seven;
    InvoiceCustomer eight;
    QVERIFY(m_store->findCustomer(7, &seven));
    QVERIFY(m_store->findCustomer(8, &eight));
    QCOMPARE(seven.note, QStringLiteral("pays in cash"));
    QCOMPARE(eight.note, QStringLiteral("jones note"));
    QCOMPARE(seven.address, (QStringList{"Ann Smith", "1 Main Street  15213"}));
    QVERIFY(!m_store->findCustomer(99, &eight));

    // The address block: a long first line pushes the postal code onto its own line.
    QCOMPARE(addressBlock("Dr", " Jo ", "Lee", {"Quite A Long Company Name 1234", "", "", ""}, " 90210 "),
             (QStringList{"Dr Jo Lee", "Quite A Long Company Name 1234", QString(20, ' ') + "90210"}));
    QCOMPARE(addressBlock("", "Jo", "Lee", {"Short Co Ltd 15 chr", "", "Town", ""}, "1000"),
             (QStringList{"Jo Lee", "Short Co Ltd 15 chr", "", "Town  1000"}));
}

void TestInvoiceStore::deleteInvoice()
{
    const QString prodFile = m_dir->file(QStringLiteral("Prod5.DBF"));
    QVERIFY(m_engine->closeAll().isOk());
    const QByteArray products = digest(prodFile);
    openBusiness();
    const quint32 first = saveNew({item("BOLT", 1, 1), item("BOLT", 2, 1)}, {{QDate(2024, 5, 1), 1}});
    const quint32 second = saveNew({item("B", 1, 5)}, {{QDate(2024, 5, 4), 5}});
    const quint32 third = saveNew({item("C", 1, 5)});
    QVERIFY(first && second && third);

    quint32 after = 99;
    QVERIFY(m_store->remove(second, &after).isOk());
    // INV6 packed: the third invoice moved up to record 2 and is now the last.
    QCOMPARE(m_engine->table(QStringLiteral("INV6"))->recordCount(), 2u);
    QCOMPARE(after, 2u);
    CurrentInvoice inv;
    QVERIFY(m_store->load(after, inv).isOk());
    QCOMPARE(inv.number, 3);
    QCOMPARE(storedItems(*m_engine).size(), 3);
    QVERIFY(storedPayments(*m_engine, 2).isEmpty());
    QCOMPARE(m_engine->table(QStringLiteral("PMT"))->recordCount(), 1u);

    QVERIFY(m_store->remove(1, &after).isOk());
    QVERIFY(m_store->remove(1, &after).isOk());
    QCOMPARE(after, 0u); // nothing left
    QCOMPARE(m_engine->table(QStringLiteral("INV6"))->recordCount(), 0u);
    QCOMPARE(m_engine->table(QStringLiteral("ITM5"))->recordCount(), 0u);
    QCOMPARE(m_engine->table(QStringLiteral("PMT"))->recordCount(), 0u);
    QVERIFY(m_engine->closeAll().isOk());
    QCOMPARE(digest(prodFile), products); // no product record touched
}

void TestInvoiceStore::deleteNeverSavedTouchesNothing()
{
    saveNew({item("A", 1, 1)}, {{QDate(2024, 5, 1), 1}});
    QVERIFY(m_engine->closeAll().isOk());
    QStringList files{"INV6.DBF", "ITM5.DBF", "PMT.DBF", "INV6.DBT"};
    QList<QByteArray> before;
    for (const QString &f : files)
        before << digest(m_dir->file(f));
    openBusiness();
    CurrentInvoice inv;
    m_store->startNew(inv); // shows number 2, which belongs to no stored invoice
    quint32 after = 99;
    QVERIFY(m_store->remove(0, &after).isOk());
    QCOMPARE(after, 0u);
    QVERIFY(m_engine->closeAll().isOk());
    for (int i = 0; i < files.size(); ++i)
        QCOMPARE(digest(m_dir->file(files[i])), before[i]);
}

void TestInvoiceStore::noCustomerWritesNothing()
{
    CurrentInvoice inv;
    m_store->startNew(inv);
    inv.items << item("A", 1, 1);
    bool asked = false;
    const InvoiceSaveResult r = m_store->save(inv, 0, QStringLiteral("note"), [&] {
        asked = true;
        return QStringLiteral("1");
    });
    QCOMPARE(r.outcome, InvoiceSaveResult::Outcome::NoCustomer);
    QCOMPARE(r.message, QStringLiteral("Customer selection required before saving."));
    QVERIFY(!asked);
    QCOMPARE(m_engine->table(QStringLiteral("INV6"))->recordCount(), 0u);
    QCOMPARE(m_engine->table(QStringLiteral("ITM5"))->recordCount(), 0u);
}

void TestInvoiceStore::fullDiskOnHeader()
{
    saveNew({item("A", 1, 1)});
    QVERIFY(m_engine->closeAll().isOk());
    const QByteArray inv6 = digest(m_dir->file(QStringLiteral("INV6.DBF")));
    auto disk = std::make_shared<FailingFileSystem>(0);
    openBusiness(disk);
    CurrentInvoice inv;
    m_store->startNew(inv);
    inv.customerNumber = 7;
    inv.items << item("B", 1, 1);
    const InvoiceSaveResult r = m_store->save(inv, 0, QString(), {});
    QCOMPARE(r.outcome, InvoiceSaveResult::Outcome::HeaderNotAdded);
    QCOMPARE(r.message, QStringLiteral("Unable to add invoice at this time. Please try again later"));
    QCOMPARE(r.recNo, 0u);
    QCOMPARE(inv.items.size(), 1); // the invoice in memory is kept for another try
    m_engine->closeAll();
    QCOMPARE(digest(m_dir->file(QStringLiteral("INV6.DBF"))), inv6);
    openBusiness();
    QCOMPARE(m_engine->table(QStringLiteral("INV6"))->recordCount(), 1u);
    QCOMPARE(m_engine->table(QStringLiteral("ITM5"))->recordCount(), 1u);
}

void TestInvoiceStore::fullDiskOnItemsKeepsWhatWasWritten()
{
    // The first item and payment keep their keys, so rewriting them needs no new index room.
    const quint32 rec = saveNew({item("A", 1, 1)}, {{QDate(2024, 5, 1), 1}});
    QVERIFY(m_engine->closeAll().isOk());
    auto disk = std::make_shared<FailingFileSystem>(0); // existing bytes may be rewritten
    openBusiness(disk);
    CurrentInvoice inv;
    QVERIFY(m_store->load(rec, inv).isOk());
    inv.items = {item("A", 3, 1), item("N2", 1, 1)}; // the second must be appended
    inv.note = QStringLiteral("changed");
    InvoiceSaveResult r = m_store->save(inv, rec, QString(), {});
    QCOMPARE(r.outcome, InvoiceSaveResult::Outcome::ItemsNotAdded);
    QCOMPARE(r.message, QStringLiteral("Unable to add invoice Items at this time. Please try again later"));

    // Payments: items now fit in place, the second payment has to grow PMT.
    inv.items = {item("A", 3, 1)};
    inv.payments << InvoicePayment{QDate(2024, 5, 2), 2};
    r = m_store->save(inv, rec, QString(), {});
    QCOMPARE(r.outcome, InvoiceSaveResult::Outcome::PaymentsNotAdded);
    QCOMPARE(r.message, QStringLiteral("Unable to add Payments at this time. Please try again later"));
    m_engine->closeAll();

    // With room again: the header and first item were written, the files are sound, and a
    // second save finishes the job.
    openBusiness();
    for (const char *name : {"INV6", "ITM5", "PMT"})
        QVERIFY2(m_engine->table(QString::fromLatin1(name))->check().isOk(), name);
    CurrentInvoice back;
    QVERIFY(m_store->load(rec, back).isOk());
    QCOMPARE(back.note, QStringLiteral("changed"));
    QCOMPARE(back.items.size(), 1);
    QCOMPARE(back.items[0].productId, QStringLiteral("A"));
    QCOMPARE(back.items[0].quantity, 3.0);
    QCOMPARE(back.payments.size(), 1);
    back.payments << InvoicePayment{QDate(2024, 5, 2), 2};
    back.items << item("N2", 1, 1);
    QVERIFY(m_store->save(back, rec, QString(), {}).ok());
    CurrentInvoice done;
    QVERIFY(m_store->load(rec, done).isOk());
    QCOMPARE(done.items.size(), 2);
    QCOMPARE(done.payments.size(), 2);
}

QTEST_GUILESS_MAIN(TestInvoiceStore)
#include "tst_invoice_store.moc"
