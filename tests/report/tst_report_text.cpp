// The text renderings of the report buffer: padded and tab-delimited exports, the e-mail body,
// and writing export files that never lose an existing file.

#include "ReportBuffer.h"
#include "ReportText.h"
#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QTest>
#include <csignal>
#include <sys/resource.h>

using tallyra::ReportBuffer;
using tallyra::TextLayout;

namespace {

// One row per list entry; each entry holds the row's cells, the flags cell last.
ReportBuffer bufferOf(int width, const QList<QStringList> &rows)
{
    ReportBuffer b;
    b.reportStart(width, rows.isEmpty() ? 2 : int(rows.first().size()));
    for (const QStringList &cells : rows) {
        b.newRow();
        for (int c = 0; c < cells.size(); ++c)
            b.setCell(c, cells[c]);
    }
    return b;
}

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

bool writeFile(const QString &path, const QByteArray &data)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(data) == data.size();
}

// Files beyond `bytes` cannot grow while it lives: writes past the limit fail as on a full disk.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        m_oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &m_old);
        rlimit limit = m_old;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &m_old);
        std::signal(SIGXFSZ, m_oldHandler);
    }

private:
    rlimit m_old{};
    void (*m_oldHandler)(int) = nullptr;
};

} // namespace

class TestReportText : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void paddedPlacesTextByItsColumn()
    {
        // An amount formatted "%6.2f" right-aligned at 51 after a word at column 0.
        ReportBuffer b = bufferOf(64, {{"L00Product", "R51123.45", ""}});
        const QString line = tallyra::reportLine(b, 0, TextLayout::Padded);
        QCOMPARE(line, QStringLiteral("Product") + QString(38, ' ') + QStringLiteral("123.45"));
        QCOMPARE(line.indexOf(QStringLiteral("123.45")), 45);
        QCOMPARE(line.size(), 51);
    }

    void paddedCentresAndNeverPadsAnOverlongLine()
    {
        ReportBuffer b = bufferOf(64, {
                                          {"C32Title", "", ""},            // 32 - 5/2 = 30
                                          {"L00ABCDEFGHIJ", "L05xyz", ""}, // already past 5
                                          {"R03toolong", "L01a", ""},      // R before column 0
                                          {"L05", "R10end", ""},           // code-only cell
                                      });
        QCOMPARE(tallyra::reportLine(b, 0, TextLayout::Padded), QString(30, ' ') + QStringLiteral("Title"));
        QCOMPARE(tallyra::reportLine(b, 1, TextLayout::Padded), QStringLiteral("ABCDEFGHIJxyz"));
        QCOMPARE(tallyra::reportLine(b, 2, TextLayout::Padded), QStringLiteral("toolonga"));
        QCOMPARE(tallyra::reportLine(b, 3, TextLayout::Padded), QStringLiteral("       end"));
    }

    void tabDelimitedKeepsEmptyFieldsOnlyBetweenTexts()
    {
        ReportBuffer b = bufferOf(64, {
                                          {"L00", "L12Widget", "R51  5.00", "U"}, // empty first cell
                                          {"L00A", "L12", "R51B", ""},            // empty middle cell
                                          {"L00A", "", "R51B", ""},               // absent cell
                                      });
        QCOMPARE(tallyra::reportLine(b, 0, TextLayout::TabDelimited), QStringLiteral("Widget\t  5.00"));
        QCOMPARE(tallyra::reportLine(b, 1, TextLayout::TabDelimited), QStringLiteral("A\t\tB"));
        QCOMPARE(tallyra::reportLine(b, 2, TextLayout::TabDelimited), QStringLiteral("A\tB"));
    }

    void rowsWithoutTextGiveEmptyLines()
    {
        const QList<QStringList> rows = {
            {"L00Before", "", "", "U"},
            {"EJECT", "", "", ""},
            {"V00", "H0010", "IL00logo.bmp", ReportBuffer::imageFlags(1, 2)},
            {"L00After", "", "", "BU"},
        };
        ReportBuffer b = bufferOf(20, rows);
        QCOMPARE(tallyra::reportExportText(b, TextLayout::Padded), QByteArray("Before\r\n\r\n\r\nAfter\r\n"));
        QCOMPARE(tallyra::reportExportText(b, TextLayout::TabDelimited),
                 QByteArray("Before\r\n\r\n\r\nAfter\r\n"));
    }

    void exportIsUtf8()
    {
        ReportBuffer b = bufferOf(20, {{"L00Müller", "R12Ø", ""}});
        QCOMPARE(tallyra::reportExportText(b, TextLayout::Padded),
                 QByteArray("M\xc3\xbcller     \xc3\x98\r\n"));
    }

    void emailTextRulesRowsFlaggedExactlyU()
    {
        const QList<QStringList> rows = {
            {"L00Invoice", "R10 1", "U"},
            {"L00Total", "R10 2", "BU"},
            {"L00", "R10 3", "B"},
        };
        ReportBuffer b = bufferOf(10, rows);
        QCOMPARE(tallyra::reportEmailText(b, TextLayout::Padded),
                 QStringLiteral("Invoice  1\n-----------\nTotal    2\n         3\n"));
        QCOMPARE(tallyra::reportEmailText(b, TextLayout::TabDelimited),
                 QStringLiteral("Invoice\t 1\n-----------\nTotal\t 2\n 3\n"));
    }

    void savedFileReplacesAnOldOne()
    {
        testsupport::TempDataDir dir;
        const QString path = dir.file(QStringLiteral("report.txt"));
        QVERIFY(writeFile(path, QByteArray(5000, 'x')));
        ReportBuffer b = bufferOf(20, {{"L00One", "R20 1.00", ""}, {"L02Two", "", ""}});
        QVERIFY(tallyra::saveReportText(b, TextLayout::Padded, path));
        QCOMPARE(readAll(path), QByteArray("One             1.00\r\n  Two\r\n"));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{"report.txt"});
    }

    void failedSaveLeavesTheOldFileIntact()
    {
        testsupport::TempDataDir dir;
        ReportBuffer b;
        b.reportStart(64, 3);
        for (int i = 0; i < 2000; ++i) {
            b.newRow();
            b.setCell(0, QStringLiteral("L00Row %1").arg(i));
        }

        QVERIFY(
            !tallyra::saveReportText(b, TextLayout::Padded, dir.file(QStringLiteral("missing/report.txt"))));
        QVERIFY(!QFile::exists(dir.file(QStringLiteral("missing"))));

        // A disk that fills up halfway through the export.
        const QString path = dir.file(QStringLiteral("report.txt"));
        const QByteArray old("last month's report\r\n");
        QVERIFY(writeFile(path, old));
        {
            FileSizeLimit full(4096);
            QVERIFY(!tallyra::saveReportText(b, TextLayout::Padded, path));
        }
        QCOMPARE(readAll(path), old);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{"report.txt"});

        // The same export succeeds once there is room.
        QVERIFY(tallyra::saveReportText(b, TextLayout::Padded, path));
        QVERIFY(readAll(path).endsWith("Row 1999\r\n"));
    }

    void writeFailureOnADeviceIsReported()
    {
        ReportBuffer b;
        b.reportStart(64, 2);
        for (int i = 0; i < 20000; ++i) {
            b.newRow();
            b.setCell(0, QStringLiteral("L00Row %1").arg(i));
        }
        testsupport::FailDevice device(1000);
        QVERIFY(device.open(QIODevice::WriteOnly));
        QVERIFY(!tallyra::writeReportText(b, TextLayout::TabDelimited, &device));
    }
};

QTEST_GUILESS_MAIN(TestReportText)
#include "tst_report_text.moc"
