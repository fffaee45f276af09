// The mail-merge file on its own: what a full disk, a table of deleted customers and an old file
// of the same name do to it. (The window's side is in tst_main_window.)

#include "AppTestSupport.h"
#include "MailMerge.h"
#include "ReportList.h"
#include "Tables.h"

#include <QBuffer>
#include <QFile>
#include <QTest>

using namespace tallyra;
using testsupport::TempDataDir;

class TstMailMerge : public QObject
{
    Q_OBJECT

private:
    TempDataDir m_dir;
    std::unique_ptr<db::Engine> m_engine;
    db::Table *m_customers = nullptr;

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(apptest::makeBusiness(m_dir, true));
        m_engine = std::make_unique<db::Engine>(m_dir.path());
        m_customers = openCustomers(*m_engine).table;
        QVERIFY(m_customers);
    }

    void everyCustomerOfTheGroupsInPostalCodeOrderWithProgress()
    {
        QList<int> progress;
        ProgressDisplay display;
        display.set = [&](int p) { progress << p; };
        QBuffer out;
        out.open(QIODevice::WriteOnly);
        const MergeExportResult result = writeMergeFile(*m_customers, {1, 2, 3, 4}, out, display);
        QVERIFY(result.ok);
        const QList<QByteArray> lines = out.data().split('\n');
        QCOMPARE(lines.last(), QByteArray());
        QCOMPARE(qint64(lines.size() - 2), qint64(m_customers->recordCount())); // header, every customer
        QByteArray previousZip;
        for (int i = 1; i < lines.size() - 1; ++i) {
            QVERIFY(lines[i].endsWith('\r'));
            const QList<QByteArray> columns = lines[i].chopped(1).split('\t');
            QCOMPARE(columns.size(), 8);
            QVERIFY(previousZip <= columns[7]);
            previousZip = columns[7];
        }
        QCOMPARE(progress.size(), int(m_customers->recordCount()));
        QCOMPARE(progress.last(), 100);
        QVERIFY(std::is_sorted(progress.begin(), progress.end()));
        QCOMPARE(result.rows, int(m_customers->recordCount()));

        QBuffer none;
        none.open(QIODevice::WriteOnly);
        QCOMPARE(writeMergeFile(*m_customers, {9}, none).rows, 0);
        QCOMPARE(none.data(),
                 QByteArray("Title\tFirstName\tLastName\tCompany\tAddr1\tAddr2\tAddr3\tPostalCode\r\n"));
    }

    void aFullDiskIsReported()
    {
        testsupport::FailDevice device(300);
        device.open(QIODevice::WriteOnly);
        const MergeExportResult result = writeMergeFile(*m_customers, {1, 2, 3, 4}, device);
        QVERIFY(!result.ok);
        QVERIFY(result.rows < int(m_customers->recordCount()));
    }

    void anOldFileIsReplacedWholeOrLeftAlone()
    {
        const QString path = m_dir.file(QStringLiteral("letters.doc"));
        QFile old(path);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write(QByteArray(100000, 'x'));
        old.close();
        MergeExportResult result = exportMergeFile(*m_customers, {2}, path);
        QVERIFY(result.ok);
        QFile made(path);
        QVERIFY(made.open(QIODevice::ReadOnly));
        const QByteArray text = made.readAll();
        QVERIFY(!text.contains('x' + QByteArray("xxxxxxxx")));
        QCOMPARE(text.count('\n'), result.rows + 1);

        // A folder of that name cannot become the file: the exact message, and nothing touched.
        const QString folder = m_dir.path();
        result = exportMergeFile(*m_customers, {2}, folder);
        QVERIFY(!result.ok);
        QCOMPARE(result.message, QStringLiteral("Unable to save to: ") + folder);
    }

    void reportListGeometryRoundsDown()
    {
        // rows 3, rows 20 pixels high, 161 pixels wide, on a page of 531 by 291 pixels
        QCOMPARE(reportListGeometry(3, 20, 161, QSize(531, 291)), QRect(318, 112, 161, 66));
        QCOMPARE(reportListGeometry(8, 19, 119, QSize(532, 280)), QRect(340, 59, 119, 163));
        // A list wider or taller than the room right of and below its centre stays on the page.
        QCOMPARE(reportListGeometry(8, 30, 300, QSize(532, 240)), QRect(232, 0, 300, 251));
    }
};

QTEST_MAIN(TstMailMerge)
#include "tst_mail_merge.moc"
