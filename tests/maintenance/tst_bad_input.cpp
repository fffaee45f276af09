// Damaged data files: a cut table, a damaged memo file, damaged and missing index files. Opening
// names the file and the fault, nothing is written over the damaged file, and a re-index
// repairs an index from its table.

#include "Clock.h"
#include "Maintenance.h"
#include "NewBusiness.h"
#include "Records.h"
#include "Tables.h"
#include "TestSupport.h"

#include <QFile>
#include <QTest>

using namespace tallyra;
using testsupport::TempDataDir;

namespace {

QByteArray bytesOf(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool writeBytes(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

// Reads every customer in name order; the first failure, or ok.
db::Status readAllCustomers(db::Engine &engine, int *count = nullptr)
{
    const OpenResult open = openCustomers(engine);
    if (!open)
        return open.status;
    int n = 0;
    for (bool more = open.table->top(); more; more = open.table->skip(1)) {
        CustomerRecord r;
        const db::Status s = loadCustomer(*open.table, r);
        if (!s.isOk()) {
            engine.closeAll();
            return s;
        }
        ++n;
    }
    const db::Status s = open.table->takeError();
    engine.closeAll();
    if (count)
        *count = n;
    return s;
}

} // namespace

class TestBadInput : public QObject
{
    Q_OBJECT

    TempDataDir *m_dir = nullptr;

private Q_SLOTS:
    void init()
    {
        tallyra::setFixedToday(QDate(2026, 3, 15));
        m_dir = new TempDataDir;
        QVERIFY(createBusiness(m_dir->path(), true).ok());
    }
    void cleanup()
    {
        delete m_dir;
        tallyra::setFixedToday({});
    }

    void tableCutInsideItsHeader()
    {
        const QString path = m_dir->file("CUST5.DBF");
        const QByteArray cut = bytesOf(path).left(100);
        QVERIFY(writeBytes(path, cut));
        db::Engine engine(m_dir->path());
        const OpenResult open = openCustomers(engine);
        QVERIFY(!open);
        QCOMPARE(open.message(),
                 QStringLiteral("Unable to open file CUST5.DBF\nProgram will now terminate."));
        QVERIFY2(open.detail().contains("CUST5.DBF") && open.status.isCorruption(),
                 qPrintable(open.detail()));
        QVERIFY(!open.indexDamaged()); // the table's fault: no index rebuild is offered
        // Neither the open nor a re-index writes over the damaged table or its indexes.
        const QByteArray tag = bytesOf(m_dir->file("ccno.ntx"));
        const MaintenanceResult r = rebuildIndexes(engine, ReindexMode::Full);
        QVERIFY(!r);
        QVERIFY2(r.status.message().contains("CUST5.DBF"), qPrintable(r.status.toString()));
        QCOMPARE(bytesOf(path), cut);
        QCOMPARE(bytesOf(m_dir->file("ccno.ntx")), tag);
        QCOMPARE(engine.access(), db::Access::Shared);
    }

    // A table cut inside its records: the whole records are read, the cut one is reported when
    // an index leads to it, no stored record is written over, and a re-index makes the tags match
    // the records left.
    void tableCutInsideItsRecords()
    {
        const QString path = m_dir->file("CUST5.DBF");
        const QByteArray whole = bytesOf(path);
        const QByteArray cut = whole.left(whole.size() - 200);
        QVERIFY(writeBytes(path, cut));
        db::Engine engine(m_dir->path());
        int read = 0;
        const db::Status s = readAllCustomers(engine, &read);
        QVERIFY(!s.isOk());
        QVERIFY2(s.message().contains("CUST5.DBF") && s.message().contains("record 60"),
                 qPrintable(s.toString()));
        // The records and the cut remains are all still there (only the header's count may be
        // brought in line with the records present).
        const QByteArray after = bytesOf(path);
        QCOMPARE(after.size(), cut.size());
        QCOMPARE(after.mid(32), cut.mid(32));
        QVERIFY(rebuildIndexes(engine, ReindexMode::Full));
        QVERIFY(readAllCustomers(engine, &read).isOk());
        QCOMPARE(read, 59);
        const OpenResult open = openCustomers(engine);
        const db::Status checked = open.table->check();
        QVERIFY2(checked.isOk(), qPrintable(checked.toString()));
    }

    void memoFileCutShort()
    {
        const QString memo = m_dir->file("CUST5.DBT");
        const QByteArray whole = bytesOf(memo);
        QVERIFY(whole.size() > 1024);
        const QByteArray cut = whole.left(512); // header only: every memo now lies past the end
        QVERIFY(writeBytes(memo, cut));
        db::Engine engine(m_dir->path());
        const db::Status s = readAllCustomers(engine);
        QVERIFY(!s.isOk());
        QVERIFY2(s.isCorruption() && s.message().contains("CUST5.DBT"), qPrintable(s.toString()));
        QCOMPARE(bytesOf(memo), cut);
        QVERIFY(bytesOf(m_dir->file("CUST5.DBF")).size() > 0);
    }

    void memoFileWithoutHeader()
    {
        const QString memo = m_dir->file("CUST5.DBT");
        QVERIFY(writeBytes(memo, "\x01"));
        const QByteArray table = bytesOf(m_dir->file("CUST5.DBF"));
        db::Engine engine(m_dir->path());
        const OpenResult open = openCustomers(engine);
        QVERIFY(!open);
        QCOMPARE(open.failedFile, QStringLiteral("CUST5.DBF"));
        QVERIFY2(open.detail().contains("CUST5.DBT"), qPrintable(open.detail()));
        QCOMPARE(bytesOf(memo), QByteArray("\x01"));
        QCOMPARE(bytesOf(m_dir->file("CUST5.DBF")), table);
    }

    // An index cut in half: the open names the tag file of the message and says what is wrong;
    // the table is untouched, and a full re-index rebuilds the index from the table.
    void damagedIndexIsRepairedByReindex()
    {
        const QString tag = m_dir->file("ccno.ntx");
        const QByteArray whole = bytesOf(tag);
        QVERIFY(writeBytes(tag, whole.left(whole.size() / 2)));
        const QByteArray table = bytesOf(m_dir->file("CUST5.DBF"));
        db::Engine engine(m_dir->path());
        const OpenResult open = openCustomers(engine);
        QVERIFY(!open);
        QCOMPARE(open.message(),
                 QStringLiteral("Unable to open file AccTag.Ntx\nProgram will now terminate."));
        QVERIFY2(open.detail().contains("ccno.ntx"), qPrintable(open.detail()));
        QCOMPARE(bytesOf(m_dir->file("CUST5.DBF")), table);
        QCOMPARE(bytesOf(tag), whole.left(whole.size() / 2));

        QVERIFY(rebuildIndexes(engine, ReindexMode::Full));
        QCOMPARE(bytesOf(tag), whole);
        const OpenResult repaired = openCustomers(engine);
        QVERIFY2(repaired, qPrintable(repaired.detail()));
        QVERIFY(repaired.table->check().isOk());
        QCOMPARE(nextCustomerNumber(*repaired.table), 61);
        QCOMPARE(bytesOf(m_dir->file("CUST5.DBF")), table);
    }

    // A damaged index is told apart from one another program is changing: only the first is
    // "damaged" (rebuilding the second would throw away that program's work), and the repair of
    // one group touches no other file.
    void damagedIndexIsToldFromOneInUse()
    {
        const QString tag = m_dir->file("ccno.ntx");
        const QByteArray products = bytesOf(m_dir->file("Prod.ntx"));

        // In use: another engine has begun changing CUST5's tags and holds them.
        {
            db::Engine other(m_dir->path());
            const OpenResult writer = openCustomers(other);
            QVERIFY(writer);
            QVERIFY(writer.table->appendBlank().isOk());
            CustomerRecord c;
            c.CuNo = 900;
            c.Last = QStringLiteral("Busy");
            QVERIFY(writeCustomer(*writer.table, c).isOk());

            db::Engine engine(m_dir->path());
            const OpenResult open = openCustomers(engine);
            QVERIFY(!open);
            QVERIFY2(open.status.isLocked(), qPrintable(open.detail()));
            QVERIFY(open.indexFailed);
            QVERIFY(!open.indexDamaged());
            QCOMPARE(open.message(),
                     QStringLiteral("Unable to open file AccTag.Ntx\nProgram will now terminate."));
            QVERIFY(closeAllTables(other).isOk());
        }
        const QByteArray written = bytesOf(tag);

        // Damaged: cut in half.
        QVERIFY(writeBytes(tag, written.left(written.size() / 2)));
        db::Engine engine(m_dir->path());
        const OpenResult open = openCustomers(engine);
        QVERIFY(!open);
        QVERIFY2(open.indexDamaged(), qPrintable(open.detail()));

        const MaintenanceResult repaired = rebuildIndexGroup(engine, TableId::Customers);
        QVERIFY2(repaired, qPrintable(repaired.status.toString()));
        QCOMPARE(repaired.tablesDone, QStringList{"CUST5"});
        QVERIFY(bytesOf(tag).size() >= 2048);
        QCOMPARE(bytesOf(m_dir->file("Prod.ntx")), products);
        QCOMPARE(engine.access(), db::Access::Shared);
        QVERIFY(engine.autoOpenIndex());
        const OpenResult reopened = openCustomers(engine);
        QVERIFY2(reopened, qPrintable(reopened.detail()));
        QVERIFY(reopened.table->check().isOk());
        QCOMPARE(nextCustomerNumber(*reopened.table), 901); // the other engine's record is in it
    }

    // Keys out of order inside an index page are not seen at open; the check finds them and a
    // re-index repairs them.
    void disorderedIndexIsFoundByCheckAndRepaired()
    {
        const QString tag = m_dir->file("inv.ntx");
        const QByteArray whole = bytesOf(tag);
        QByteArray bad = whole;
        // Swap the first two keys' text in the first leaf: "  1001" and "  1002" become disordered.
        const qsizetype a = bad.indexOf("  1001");
        const qsizetype b = bad.indexOf("  1002");
        QVERIFY(a > 0 && b > 0);
        bad.replace(a, 6, "  1002");
        bad.replace(b, 6, "  1001");
        QVERIFY(writeBytes(tag, bad));
        db::Engine engine(m_dir->path());
        OpenResult open = openInvoices(engine);
        db::Status checked = open ? open.table->check() : open.status;
        QVERIFY(!checked.isOk());
        QVERIFY2(checked.message().contains("inv.ntx", Qt::CaseInsensitive), qPrintable(checked.toString()));
        engine.closeAll();
        QVERIFY(rebuildIndexes(engine, ReindexMode::Full));
        open = openInvoices(engine);
        QVERIFY(open);
        QVERIFY(open.table->check().isOk());
        QCOMPARE(open.table->seek("  1002"), db::SeekResult::Found);
        QCOMPARE(open.table->integer(open.table->fieldIndex("IvNo")), 1002);
    }
};

QTEST_GUILESS_MAIN(TestBadInput)
#include "tst_bad_input.moc"
