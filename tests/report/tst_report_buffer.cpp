// The report buffer's page logic and the cell texts it writes itself, read back from the buffer.

#include "Clock.h"
#include "ReportBuffer.h"
#include "ReportCell.h"
#include "TestSupport.h"

#include <QLocale>
#include <QTest>

using tallyra::ReportBuffer;
using tallyra::ReportCell;

namespace {

// A 64-wide report with five cells and the usual two heading rows.
void startListing(ReportBuffer &b)
{
    b.reportStart(64, 5);
    b.titles() << QStringLiteral("Product Listing");
    const QStringList codes = {"L00", "L12", "R51", "R64"};
    const QStringList headings = {"Product", "Description", "Unit Price", "Reorder"};
    b.setHeadingRowCount(2);
    for (int c = 0; c < 4; ++c) {
        b.setColCode(c, codes[c]);
        b.setHeading(c, 1, codes[c] + headings[c]);
    }
    b.setHeading(4, 0, QStringLiteral("U"));
    b.setHeading(4, 1, QStringLiteral("U"));
}

void addDataRow(ReportBuffer &b, int n)
{
    b.newRow();
    b.put(0, QStringLiteral("P%1").arg(n));
    b.put(1, QStringLiteral("Item %1").arg(n));
}

} // namespace

class TestReportBuffer : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }

    void pageCheckKeepsABlockThatFitsAndBreaksOneThatDoesNot()
    {
        ReportBuffer b([] { return 54; });
        startListing(b);
        QCOMPARE(b.linesPerPage(), 54);
        QVERIFY(b.pageCheck(b.pageLines() + 1, true));
        // The first page never begins with a page break.
        QCOMPARE(b.cell(0, 0), QStringLiteral("L00Page 1"));
        for (int r = 0; r < b.rowCount(); ++r)
            QVERIFY(b.cell(0, r) != QStringLiteral("EJECT"));
        int n = 0;
        while (b.pageLines() < 50)
            addDataRow(b, ++n);
        QCOMPARE(b.pageLines(), 50);
        const int rows = b.rowCount();

        QVERIFY(!b.pageCheck(b.pageLines() + 4, true));
        QCOMPARE(b.rowCount(), rows);
        QCOMPARE(b.pageNo(), 1);

        QVERIFY(b.pageCheck(b.pageLines() + 5, true));
        QCOMPARE(b.pageNo(), 2);
        QCOMPARE(b.cell(0, rows), QStringLiteral("EJECT"));
    }

    void newPageClosesTheTableAndRepeatsTheWholeHeader()
    {
        testsupport::FixedClock clock(QDate(2024, 3, 5));
        ReportBuffer b([] { return 20; });
        startListing(b);
        b.titles() << QStringLiteral("Second title");
        b.pageCheck(b.pageLines() + 1, true);
        const int firstHeader = b.rowCount();
        while (!b.pageCheck(b.pageLines() + 1, true))
            addDataRow(b, b.rowCount());

        // Page 1 header: 1 page line, 1 blank, 2 titles, 2 blank lines, 1 blank, 2 heading rows.
        QCOMPARE(firstHeader, 9);
        // Find the break and read the rows after it.
        int eject = -1;
        for (int r = 0; r < b.rowCount(); ++r)
            if (b.cell(0, r) == QStringLiteral("EJECT"))
                eject = r;
        QVERIFY(eject > firstHeader);
        QCOMPARE(b.rowCount(), eject + 1 + 9);
        QCOMPARE(b.flags(eject - 1), QStringLiteral("U")); // the last data row closes the table
        QCOMPARE(b.cell(0, eject - 1).left(4), QStringLiteral("L00P"));
        for (int c = 1; c < 5; ++c)
            QVERIFY(b.cell(c, eject).isEmpty());

        const int h = eject + 1;
        QCOMPARE(b.cell(0, h), QStringLiteral("L00Page 2"));
        QCOMPARE(b.cell(1, h), QStringLiteral("R643/5/24"));
        QVERIFY(b.cell(0, h + 1).isEmpty());
        QCOMPARE(b.cell(0, h + 2), QStringLiteral("C32Product Listing"));
        QCOMPARE(b.flags(h + 2), QStringLiteral("B"));
        QCOMPARE(b.cell(0, h + 3), QStringLiteral("C32Second title"));
        QCOMPARE(b.flags(h + 3), QStringLiteral("B"));
        QVERIFY(b.cell(0, h + 4).isEmpty());
        QCOMPARE(b.cell(0, h + 5), QStringLiteral("L00"));
        QCOMPARE(b.flags(h + 5), QStringLiteral("B"));
        QVERIFY(b.cell(0, h + 6).isEmpty());
        for (int hr = 0; hr < 2; ++hr)
            for (int c = 0; c < 5; ++c)
                QCOMPARE(b.cell(c, h + 7 + hr), b.heading(c, hr));
        QCOMPARE(b.cell(2, h + 8), QStringLiteral("R51Unit Price"));
        QCOMPARE(b.pageLines(), 9);
        QCOMPARE(b.pageNo(), 2);
    }

    void newPageWithoutHeadingsLeavesTheLastRowAlone()
    {
        ReportBuffer b([] { return 10; });
        b.reportStart(73, 3);
        b.titles() << QStringLiteral("Receivables");
        b.pageCheck(b.pageLines() + 1, false);
        QCOMPARE(b.rowCount(), 5); // page line, blank, title, two blank lines
        while (b.pageLines() < 10) {
            b.newRow();
            b.setCell(0, QStringLiteral("L00x"));
        }
        b.setFlags(b.curRow(), QStringLiteral("B"));
        QVERIFY(b.pageCheck(b.pageLines() + 1, false));
        // The last data row, EJECT, page line, blank, title, two blank lines.
        QCOMPARE(b.flags(b.rowCount() - 7), QStringLiteral("B"));
        QCOMPARE(b.cell(0, b.rowCount() - 6), QStringLiteral("EJECT"));
        QCOMPARE(b.cell(0, b.rowCount() - 5), QStringLiteral("L00Page 2"));
        QCOMPARE(b.cell(1, b.rowCount() - 5).left(3), QStringLiteral("R73"));
        QCOMPARE(b.cell(0, b.rowCount() - 3), QStringLiteral("C36Receivables"));
        QCOMPARE(b.cell(0, b.rowCount() - 1), QStringLiteral("L00"));
        QCOMPARE(b.pageLines(), 5);
    }

    void titleAndDateColumnsFollowTheWidth_data()
    {
        QTest::addColumn<int>("width");
        QTest::addColumn<QString>("titlePrefix");
        QTest::addColumn<QString>("datePrefix");
        QTest::newRow("64") << 64 << "C32"
                            << "R64";
        QTest::newRow("85") << 85 << "C42"
                            << "R85";
        QTest::newRow("single digits padded with a blank") << 9 << "C 4"
                                                           << "R 9";
    }

    void titleAndDateColumnsFollowTheWidth()
    {
        QFETCH(int, width);
        QFETCH(QString, titlePrefix);
        QFETCH(QString, datePrefix);
        testsupport::FixedClock clock(QDate(2024, 11, 28));
        ReportBuffer b;
        b.reportStart(width, 4);
        b.titles() << QStringLiteral("T");
        b.pageCheck(1, false);
        QCOMPARE(b.cell(1, 0), datePrefix + QStringLiteral("11/28/24"));
        QCOMPARE(b.cell(0, 2), titlePrefix + QStringLiteral("T"));
        // What the renderings read back from those cells.
        QCOMPARE(ReportCell::parse(b.cell(1, 0)).col, width);
        QCOMPARE(ReportCell::parse(b.cell(0, 2)).col, width / 2);
    }

    // The page header's date is formatted once per report: a page begun after midnight still
    // shows the new day, and the next report the locale of its time.
    void pageDateFollowsTheDayAndTheLocale()
    {
        testsupport::FixedClock clock(QDate(2024, 3, 5));
        ReportBuffer b([] { return 14; });
        startListing(b);
        b.pageCheck(1, true);
        tallyra::setFixedToday(QDate(2024, 3, 6));
        while (!b.pageCheck(b.pageLines() + 1, true))
            addDataRow(b, b.rowCount());
        const QStringList expected = {"R643/5/24", "R643/6/24"};
        QStringList dates;
        for (int r = 0; r < b.rowCount(); ++r)
            if (b.cell(0, r).startsWith(QStringLiteral("L00Page ")))
                dates << b.cell(1, r);
        QCOMPARE(dates, expected);

        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        startListing(b);
        b.pageCheck(1, true);
        QCOMPARE(b.cell(1, 0), QStringLiteral("R6406.03.24"));
    }

    void imageFlagsCarryHeightAndWidthInInches()
    {
        const QString flags = ReportBuffer::imageFlags(0.75, 3);
        QCOMPARE(flags, QStringLiteral("S 0.75 3.00"));
        QCOMPARE(flags.size(), 11);
        QCOMPARE(ReportBuffer::imageFlags(1.5, 2), QStringLiteral("S 1.50 2.00"));
        double h = 0, w = 0;
        QVERIFY(tallyra::imageSizeFromFlags(flags, &h, &w));
        QCOMPARE(h, 0.75);
        QCOMPARE(w, 3.0);
        // Neither bold nor underline: an image row is never drawn bold.
        QVERIFY(!tallyra::flagsBold(flags));
        QVERIFY(!tallyra::flagsUnderline(flags));
        QVERIFY(!tallyra::imageSizeFromFlags(QStringLiteral("U"), &h, &w));
    }

    void reportStartForgetsThePreviousReport()
    {
        int measured = 0;
        ReportBuffer b([&] { return 40 + ++measured; });
        startListing(b);
        b.pageCheck(1, true);
        addDataRow(b, 1);
        b.reportStart(71, 6);
        QCOMPARE(measured, 2);
        QCOMPARE(b.linesPerPage(), 42);
        QCOMPARE(b.rowCount(), 0);
        QCOMPARE(b.curRow(), -1);
        QCOMPARE(b.pageLines(), -1);
        QCOMPARE(b.pageNo(), 0);
        QVERIFY(b.titles().isEmpty());
        QCOMPARE(b.colCodes(), QStringList(5));
        QCOMPARE(b.headingRowCount(), 1);
        for (int c = 0; c < 6; ++c)
            QVERIFY(b.heading(c, 0).isEmpty());

        b.reportClear();
        QVERIFY(b.isEmpty());
        QCOMPARE(b.headingRowCount(), 0);

        ReportBuffer unmeasured;
        unmeasured.reportStart(64, 5);
        QCOMPARE(unmeasured.linesPerPage(), 60);
    }

    void writesOutsideTheGridAreRefused()
    {
        ReportBuffer b;
        b.reportStart(64, 3);
        QVERIFY(!b.setCell(0, QStringLiteral("L00x"))); // no row yet
        QVERIFY(!b.setFlags(b.curRow(), QStringLiteral("U")));
        b.newRow();
        QVERIFY(b.setCell(2, 0, QStringLiteral("U")));
        QVERIFY(!b.setCell(3, 0, QStringLiteral("L00x")));
        QVERIFY(!b.setCell(0, 1, QStringLiteral("L00x")));
        QVERIFY(!b.setColCode(2, QStringLiteral("L00"))); // the flags cell has no column code
        QVERIFY(b.cell(5, 7).isEmpty());
        QCOMPARE(b.rowCount(), 1);
    }

    void cellCodesDecode_data()
    {
        QTest::addColumn<QString>("cell");
        QTest::addColumn<int>("kind");
        QTest::addColumn<int>("col");
        QTest::addColumn<int>("toCol");
        QTest::addColumn<QString>("text");
        using K = ReportCell::Kind;
        QTest::newRow("left") << "L12Widget" << int(K::Left) << 12 << 0 << "Widget";
        QTest::newRow("code only") << "L05" << int(K::Left) << 5 << 0 << "";
        QTest::newRow("blank for zero") << "R 9   1.50" << int(K::Right) << 9 << 0 << "   1.50";
        QTest::newRow("centre") << "C32Title" << int(K::Centre) << 32 << 0 << "Title";
        QTest::newRow("rule") << "H6073" << int(K::HRule) << 60 << 73 << "";
        QTest::newRow("vertical") << "V12" << int(K::VRule) << 12 << 0 << "";
        QTest::newRow("image") << "IC32 logo file.bmp   " << int(K::Image) << 32 << 0 << "logo file.bmp";
        QTest::newRow("eject") << "EJECT" << int(K::Eject) << 0 << 0 << "";
        QTest::newRow("malformed column") << "Lx7abc" << int(K::Left) << 7 << 0 << "abc";
        QTest::newRow("truncated") << "R" << int(K::Right) << 0 << 0 << "";
    }

    void cellCodesDecode()
    {
        QFETCH(QString, cell);
        QFETCH(int, kind);
        QFETCH(int, col);
        QFETCH(int, toCol);
        QFETCH(QString, text);
        const ReportCell c = ReportCell::parse(cell);
        QCOMPARE(int(c.kind), kind);
        QCOMPARE(c.col, col);
        QCOMPARE(c.toCol, toCol);
        QCOMPARE(c.text, text);
    }
};

QTEST_GUILESS_MAIN(TestReportBuffer)
#include "tst_report_buffer.moc"
