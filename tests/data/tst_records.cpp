// The schema's tables on disk, the record writers' text widths, flushing and empty dates (every
// field of every record type: tst_record_binding), the open operations with their exact failure
// texts, and the shared lookups (next customer number, group by number, number keys).

#include "Clock.h"
#include "Conversions.h"
#include "Records.h"
#include "Schema.h"
#include "Tables.h"
#include "TestSupport.h"

#include <QFile>
#include <QTest>

using namespace tallyra;
using testsupport::FixedClock;
using testsupport::TempDataDir;

namespace {

QByteArray fileBytes(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QString repeat(const QString &piece, int times)
{
    QString s;
    for (int i = 0; i < times; ++i)
        s += piece;
    return s;
}

// Appends one record through a writer and returns its record number (0 on failure).
template <typename Record, typename Write> quint32 appendWith(db::Table &t, const Record &r, Write write)
{
    if (!t.appendBlank().isOk() || !write(t, r).isOk())
        return 0;
    return t.recNo();
}

} // namespace

class TestRecords : public QObject
{
    Q_OBJECT

    TempDataDir *m_dir = nullptr;

private Q_SLOTS:
    void init()
    {
        tallyra::setFixedToday(QDate(2026, 3, 15));
        m_dir = new TempDataDir;
        QVERIFY(testsupport::createSchemaTables(m_dir->path()));
    }
    void cleanup()
    {
        delete m_dir;
        m_dir = nullptr;
        tallyra::setFixedToday({});
    }

    void schemaFilesHaveTheirListedNames()
    {
        const QStringList expected = {"TLR2.DBF",    "CUST5.DBF",   "CUST5.DBT",  "CUST5.cgp",  "cName.ntx",
                                      "ccno.ntx",    "czip.ntx",    "ccomp.ntx",  "cEmail.ntx", "GROUPS.DBF",
                                      "GROUPS.cgp",  "nGroup.ntx",  "cGroup.ntx", "Prod5.DBF",  "Prod5.DBT",
                                      "Prod5.cgp",   "Prod.ntx",    "Pur5.DBF",   "Pur5.cgp",   "Pur.ntx",
                                      "INV6.DBF",    "INV6.DBT",    "INV6.cgp",   "inv.ntx",    "invc.ntx",
                                      "invd.ntx",    "ITM5.DBF",    "ITM5.cgp",   "itm.ntx",    "itmP.ntx",
                                      "PMT.DBF",     "PMT.cgp",     "Pmt.ntx",    "PmtD.ntx",   "LABELS.DBF",
                                      "LABELS.cgp",  "Labels.ntx",  "ZZone.DBF",  "ZZone.cgp",  "ZZone.ntx",
                                      "ImportF.DBF", "ImpDirs.DBF", "MailSet.DBF"};
        QStringList onDisk = QDir(m_dir->path()).entryList(QDir::Files);
        for (const QString &name : expected)
            QVERIFY2(onDisk.removeOne(name), qPrintable(name));
        QVERIFY2(onDisk.isEmpty(), qPrintable(onDisk.join(' ')));
        // The group file names its tags in schema order.
        QCOMPARE(fileBytes(m_dir->file("INV6.cgp")), QByteArray("inv.ntx\ninvc.ntx\ninvd.ntx\n"));
        QCOMPARE(fileBytes(m_dir->file("CUST5.cgp")),
                 QByteArray("cName.ntx\nccno.ntx\nczip.ntx\nccomp.ntx\ncEmail.ntx\n"));
    }

    // Character fields hold the form's characters even when every one takes two or three bytes;
    // longer texts are cut at a character boundary, never inside one.
    void customerRoundTripAtTheWidthLimits()
    {
        db::Engine engine(m_dir->path());
        OpenResult open = openCustomers(engine);
        QVERIFY2(open, qPrintable(open.detail()));
        CustomerRecord r;
        r.CuNo = 999999;
        r.Title = QStringLiteral("Dr.");
        r.First = repeat(QStringLiteral("é"), 13);
        r.Last = repeat(QStringLiteral("Ø"), 20);
        r.Addr1 = repeat(QStringLiteral("ñ"), 34);
        r.Addr2 = QStringLiteral("Suite 1400, Westgate Business Park");
        r.Addr3 = QString();
        r.Addr4 = repeat(QStringLiteral("ü"), 19);
        r.Zip = QStringLiteral("03801-4417");
        r.Comments = QStringLiteral("First line\r\nSecond line  \r\n\r\n  ");
        r.NGroup = 99;
        r.Note = repeat(QStringLiteral("€"), 34); // 102 bytes: cut to whole characters of 68 bytes
        r.Phone = QStringLiteral("+44 (0)20 7946 0958");
        r.Fax = repeat(QStringLiteral("9"), 20);
        r.EMail = repeat(QStringLiteral("a"), 48) + QStringLiteral("@example.com"); // 60 characters
        QCOMPARE(r.EMail.size(), 60);
        QVERIFY(appendWith(*open.table, r,
                           [](db::Table &t, const CustomerRecord &c) { return writeCustomer(t, c); }));
        QVERIFY(engine.closeAll().isOk());

        QVERIFY(openCustomers(engine));
        CustomerRecord back;
        QVERIFY(loadCustomer(*engine.table("CUST5"), back).isOk());
        CustomerRecord expected = r;
        expected.Comments = QStringLiteral("First line\r\nSecond line");
        expected.Note = repeat(QStringLiteral("€"), 22); // 66 of the 68 bytes
        QCOMPARE(back.CuNo, expected.CuNo);
        QCOMPARE(back.First, expected.First);
        QCOMPARE(back.Last, expected.Last);
        QCOMPARE(back.Addr1, expected.Addr1);
        QCOMPARE(back.Addr4, expected.Addr4);
        QCOMPARE(back.Comments, expected.Comments);
        QCOMPARE(back.Note, expected.Note);
        QCOMPARE(back.EMail, expected.EMail);
        QCOMPARE(back, expected);
    }

    void textsAreWrittenFromAtMost59Characters()
    {
        db::Engine engine(m_dir->path());
        OpenResult open = openGroups(engine);
        QVERIFY(open);
        GroupRecord g{12, repeat(QStringLiteral("x"), 70)};
        QVERIFY(
            appendWith(*open.table, g, [](db::Table &t, const GroupRecord &r) { return writeGroup(t, r); }));
        GroupRecord back;
        QVERIFY(loadGroup(*open.table, back).isOk());
        QCOMPARE(back.cGroup, repeat(QStringLiteral("x"), 59));
        // Import directories keep 126 characters, held trimmed.
        QVERIFY(engine.closeAll().isOk());
        open = openImportDirs(engine);
        QVERIFY(open);
        ImportDirsRecord dirs{QStringLiteral("  /home/office/") + repeat(QStringLiteral("d"), 130),
                              QStringLiteral("/srv/orders  ")};
        QVERIFY(appendWith(*open.table, dirs,
                           [](db::Table &t, const ImportDirsRecord &r) { return writeImportDirs(t, r); }));
        ImportDirsRecord dirsBack;
        QVERIFY(loadImportDirs(*open.table, dirsBack).isOk());
        QCOMPARE(dirsBack.InfoDir,
                 (QStringLiteral("/home/office/") + repeat(QStringLiteral("d"), 130)).left(126));
        QCOMPARE(dirsBack.OrderDir, QStringLiteral("/srv/orders"));
    }

    // A customer's record reaches the file as soon as it is written: a crash after the write
    // keeps it.
    void customerWritesAreFlushedAtOnce()
    {
        db::Engine engine(m_dir->path());
        OpenResult open = openCustomers(engine);
        QVERIFY(open);
        CustomerRecord r;
        r.CuNo = 1;
        r.Last = QStringLiteral("Holloway");
        QVERIFY(appendWith(*open.table, r,
                           [](db::Table &t, const CustomerRecord &c) { return writeCustomer(t, c); }));
        QVERIFY(fileBytes(m_dir->file("CUST5.DBF")).contains("Holloway"));
        // An invoice header is written when the table moves on or closes.
        OpenResult inv = openInvoices(engine);
        QVERIFY(inv);
        InvoiceRecord h;
        h.IvNo = 1001;
        h.IMemo = QStringLiteral("VISA ending 4821");
        QVERIFY(appendWith(*inv.table, h,
                           [](db::Table &t, const InvoiceRecord &i) { return writeInvoice(t, i); }));
        QVERIFY(engine.closeAll().isOk());
        QVERIFY(fileBytes(m_dir->file("INV6.DBF")).contains("VISA ending 4821"));
    }

    // An empty date is stored as blanks, never "00000000", and comes back as no date.
    void emptyDatesStayEmpty()
    {
        db::Engine engine(m_dir->path());
        OpenResult pmt = openPayments(engine);
        QVERIFY(pmt);
        QVERIFY(appendWith(*pmt.table, PaymentRecord{7, QDate(), 10},
                           [](db::Table &t, const PaymentRecord &r) { return writePayment(t, r); }));
        // A record that held a date loses it when written with none.
        OpenResult inv = openInvoices(engine);
        QVERIFY(inv);
        QVERIFY(appendWith(*inv.table, InvoiceRecord{1, 1, {}, QDate(2026, 1, 2), {}, 0, 0, 0, 0, {}},
                           [](db::Table &t, const InvoiceRecord &r) { return writeInvoice(t, r); }));
        InvoiceRecord h;
        QVERIFY(loadInvoice(*inv.table, h).isOk());
        h.IDate = QDate();
        QVERIFY(writeInvoice(*inv.table, h).isOk());
        QVERIFY(engine.closeAll().isOk());

        pmt = openPayments(engine);
        QCOMPARE(pmt.table->raw(pmt.table->fieldIndex("PDate")), QByteArray(8, ' '));
        PaymentRecord p;
        QVERIFY(loadPayment(*pmt.table, p).isOk());
        QVERIFY(p.PDate.isNull());
        inv = openInvoices(engine);
        QCOMPARE(inv.table->raw(inv.table->fieldIndex("IDate")), QByteArray(8, ' '));
        QVERIFY(!fileBytes(m_dir->file("PMT.DBF")).contains("00000000"));
        // A stored text that is no real date reads as no date.
        QVERIFY(pmt.table->setRaw(pmt.table->fieldIndex("PDate"), "20260231").isOk());
        QVERIFY(loadPayment(*pmt.table, p).isOk());
        QVERIFY(p.PDate.isNull());
    }

    void nextCustomerNumber_data()
    {
        QTest::addColumn<QList<int>>("numbers");
        QTest::addColumn<qint64>("next");
        QTest::newRow("empty") << QList<int>{} << qint64(1);
        QTest::newRow("1, 2 and 7 out of order") << QList<int>{7, 1, 2} << qint64(8);
        QTest::newRow("wide numbers") << QList<int>{99998, 100000, 5} << qint64(100001);
    }
    void nextCustomerNumber()
    {
        QFETCH(QList<int>, numbers);
        QFETCH(qint64, next);
        db::Engine engine(m_dir->path());
        OpenResult open = openCustomers(engine);
        QVERIFY(open);
        // Names sort the other way round from numbers.
        for (int n : numbers) {
            CustomerRecord r;
            r.CuNo = n;
            r.Last = QString(QChar('Z' - n % 26));
            QVERIFY(appendWith(*open.table, r,
                               [](db::Table &t, const CustomerRecord &c) { return writeCustomer(t, c); }));
        }
        open = openCustomers(engine);
        const quint32 first = open.table->recNo();
        QCOMPARE(tallyra::nextCustomerNumber(*open.table), next);
        QCOMPARE(open.table->selectedTag().toUpper(), QStringLiteral("CNAME"));
        QCOMPARE(open.table->recNo(), first);
        // The same without the index, and with the highest customer marked deleted.
        QVERIFY(engine.closeAll().isOk());
        engine.setAutoOpenIndex(false);
        db::Table *bare = engine.open("CUST5");
        QVERIFY(bare);
        QCOMPARE(tallyra::nextCustomerNumber(*bare), next);
        QVERIFY(bare->error().isOk());
        for (bool more = bare->go(1); more; more = bare->skip(1)) {
            if (bare->integer(bare->fieldIndex("CuNo")) == next - 1) {
                QVERIFY(bare->markDeleted().isOk());
                QCOMPARE(tallyra::nextCustomerNumber(*bare), next);
                break;
            }
        }
    }

    // Keys are sought as the key expressions give them: group 12 is "12", customer 5 is five
    // blanks and "5".
    void numberKeysFindTheirRecords()
    {
        db::Engine engine(m_dir->path());
        OpenResult groups = openGroups(engine);
        QVERIFY(groups);
        for (int g : {3, 12, 1})
            QVERIFY(appendWith(*groups.table, GroupRecord{g, QStringLiteral("Group %1").arg(g)},
                               [](db::Table &t, const GroupRecord &r) { return writeGroup(t, r); }));
        OpenResult cust = openCustomers(engine);
        QVERIFY(cust);
        for (int c : {50, 5, 500}) {
            CustomerRecord r;
            r.CuNo = c;
            QVERIFY(appendWith(*cust.table, r,
                               [](db::Table &t, const CustomerRecord &x) { return writeCustomer(t, x); }));
        }
        QVERIFY(groups.table->selectTag("NGroup"));
        QCOMPARE(groups.table->seek(groupNumberKey(12)), db::SeekResult::Found);
        QCOMPARE(groups.table->keyFor("NGroup"), QByteArray("12"));
        QCOMPARE(groups.table->text(groups.table->fieldIndex("cGroup")), QStringLiteral("Group 12"));
        QVERIFY(cust.table->selectTag("CCNO"));
        QCOMPARE(cust.table->seek(customerNumberKey(5)), db::SeekResult::Found);
        QCOMPARE(cust.table->keyFor("CCNO"), QByteArray("     5"));
        QCOMPARE(cust.table->integer(cust.table->fieldIndex("CuNo")), 5);

        // Find group by number, kept in the group buffer.
        groups.table->selectTag("CGroup");
        QVERIFY(findGroupByNumber(*groups.table, 3));
        QCOMPARE(groupBuffer(), (GroupRecord{3, QStringLiteral("Group 3")}));
        QCOMPARE(groups.table->selectedTag().toUpper(), QStringLiteral("CGROUP"));
        QVERIFY(!findGroupByNumber(*groups.table, 4));
        QCOMPARE(groupBuffer(), GroupRecord{});
    }

    void openSelectsTheListedTag()
    {
        db::Engine engine(m_dir->path());
        for (const TableDef &def : schemaTables()) {
            const OpenResult open = openTable(engine, def.id);
            QVERIFY2(open, qPrintable(def.name + ": " + open.detail()));
            QCOMPARE(open.table->selectedTag().toUpper(), def.openTag.toUpper());
            QCOMPARE(open.table->tagNames().size(), def.tags.size());
            QVERIFY(engine.autoOpenIndex());
        }
        QVERIFY(closeAllTables(engine).isOk());
        QVERIFY(engine.table("CUST5") == nullptr);
    }

    void openFailuresNameTheFile_data()
    {
        QTest::addColumn<int>("table");
        QTest::addColumn<QString>("remove");    // file removed before the open
        QTest::addColumn<QString>("groupText"); // group file rewritten, when not empty
        QTest::addColumn<QString>("failedFile");
        QTest::newRow("no customers table") << int(TableId::Customers) << "CUST5.DBF"
                                            << ""
                                            << "CUST5.DBF";
        QTest::newRow("no customers memo") << int(TableId::Customers) << "CUST5.DBT"
                                           << ""
                                           << "CUST5.DBF";
        QTest::newRow("customer tag missing from group") << int(TableId::Customers) << ""
                                                         << "ccno.ntx\n"
                                                         << "AccTag.Ntx";
        QTest::newRow("group tag file gone") << int(TableId::Groups) << "nGroup.ntx"
                                             << ""
                                             << "AccTag.Ntx";
        QTest::newRow("invoice tag file gone") << int(TableId::Invoices) << "invd.ntx"
                                               << ""
                                               << "Inv.Ntx";
        QTest::newRow("no items table") << int(TableId::Items) << "ITM5.DBF"
                                        << ""
                                        << "ITM5.DBF";
        QTest::newRow("item tag file gone") << int(TableId::Items) << "itmP.ntx"
                                            << ""
                                            << "Itm.Ntx";
        QTest::newRow("payment tag file gone") << int(TableId::Payments) << "Pmt.ntx"
                                               << ""
                                               << "Pmt.Ntx";
        QTest::newRow("product tag file gone") << int(TableId::Products) << "Prod.ntx"
                                               << ""
                                               << "Prod.Ntx";
        QTest::newRow("purchase tag file gone") << int(TableId::Purchases) << "Pur.ntx"
                                                << ""
                                                << "Pur.Ntx";
        QTest::newRow("label tag file gone") << int(TableId::Labels) << "Labels.ntx"
                                             << ""
                                             << "Labels.Ntx";
        QTest::newRow("zone tag file gone") << int(TableId::Zones) << "ZZone.ntx"
                                            << ""
                                            << "ZZone.Ntx";
        QTest::newRow("no zones table") << int(TableId::Zones) << "ZZone.DBF"
                                        << ""
                                        << "ZZone.DBF";
        QTest::newRow("no settings table") << int(TableId::Settings) << "TLR2.DBF"
                                           << ""
                                           << "TLR2.DBF";
        QTest::newRow("no import formats") << int(TableId::ImportFormats) << "ImportF.DBF"
                                           << ""
                                           << "ImportF.DBF";
        QTest::newRow("no import directories") << int(TableId::ImportDirs) << "ImpDirs.DBF"
                                               << ""
                                               << "ImpDirs.DBF";
    }
    void openFailuresNameTheFile()
    {
        QFETCH(int, table);
        QFETCH(QString, remove);
        QFETCH(QString, groupText);
        QFETCH(QString, failedFile);
        const TableDef &def = tableDef(static_cast<TableId>(table));
        if (!remove.isEmpty())
            QVERIFY(QFile::remove(m_dir->file(remove)));
        if (!groupText.isEmpty()) {
            QFile group(m_dir->file(def.groupFileName));
            QVERIFY(group.open(QIODevice::WriteOnly | QIODevice::Truncate));
            group.write(groupText.toUtf8());
        }
        db::Engine engine(m_dir->path());
        const OpenResult open = openTable(engine, def.id);
        QVERIFY(!open);
        QCOMPARE(open.failedFile, failedFile);
        QCOMPARE(open.message(), QStringLiteral("Unable to open file ") + failedFile +
                                     QStringLiteral("\nProgram will now terminate."));
        QVERIFY(!open.status.isOk());
        QVERIFY(!open.detail().isEmpty());
        // Nothing is left open and the engine's settings are as they were.
        QVERIFY(engine.table(def.name) == nullptr);
        QVERIFY(engine.autoOpenIndex());
    }

    void dataFilesCheckTestsTheTenFilesInOrder()
    {
        QString missing;
        QVERIFY(dataFilesPresent(m_dir->path(), &missing));
        QVERIFY(missing.isEmpty());
        // Memo files, zones and import directories are not needed.
        QVERIFY(QFile::remove(m_dir->file("CUST5.DBT")));
        QVERIFY(QFile::remove(m_dir->file("ZZone.DBF")));
        QVERIFY(QFile::remove(m_dir->file("ImpDirs.DBF")));
        QVERIFY(dataFilesPresent(m_dir->path()));
        // Names match without regard to case.
        QVERIFY(QFile::rename(m_dir->file("GROUPS.DBF"), m_dir->file("groups.dbf")));
        QVERIFY(dataFilesPresent(m_dir->path()));
        QVERIFY(QFile::remove(m_dir->file("Pur5.DBF")));
        QVERIFY(QFile::remove(m_dir->file("LABELS.DBF")));
        QVERIFY(!dataFilesPresent(m_dir->path(), &missing));
        QCOMPARE(missing, QStringLiteral("LABELS.dbf"));
        QCOMPARE(requiredDataFiles(),
                 (QStringList{"TLR2.dbf", "CUST5.dbf", "GROUPS.dbf", "INV6.dbf", "ITM5.dbf", "LABELS.dbf",
                              "PMT.dbf", "Prod5.dbf", "Pur5.dbf", "ImportF.dbf"}));
    }
};

QTEST_GUILESS_MAIN(TestRecords)
#include "tst_records.moc"
