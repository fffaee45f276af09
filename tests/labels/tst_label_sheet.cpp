// Label runs drawn into real PDF files and read back with poppler's pdftotext -bbox: where each
// label lands on the sheet, page breaks, the font on narrow labels, and which customers each kind
// of run labels, counted against the stored records.

#include "Conversions.h"
#include "LabelRuns.h"
#include "LabelSheet.h"
#include "LabelStock.h"
#include "Maintenance.h"
#include "NewBusiness.h"
#include "Tables.h"
#include "TestSupport.h"

#include <QFile>
#include <QPageLayout>
#include <QPageSize>
#include <QPdfWriter>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTest>

using namespace tallyra;
using testsupport::TempDataDir;

namespace {

struct Word
{
    int page = 0;
    double x = 0, y = 0, right = 0, bottom = 0;
    QString text;
};

// Every word of a PDF with its box in points from the top-left of its page.
QList<Word> pdfWords(const QString &pdf, int *pages = nullptr)
{
    QList<Word> words;
    QProcess p;
    p.start(QStringLiteral("pdftotext"), {QStringLiteral("-bbox"), pdf, QStringLiteral("-")});
    if (!p.waitForFinished(60000))
        return words;
    const QString html = QString::fromUtf8(p.readAllStandardOutput());
    static const QRegularExpression word(QStringLiteral(
        "<word xMin=\"([\\d.]+)\" yMin=\"([\\d.]+)\" xMax=\"([\\d.]+)\" yMax=\"([\\d.]+)\">([^<]*)</word>"));
    int page = 0;
    for (const QString &line : html.split(QLatin1Char('\n'))) {
        if (line.contains(QStringLiteral("<page ")))
            ++page;
        const QRegularExpressionMatch m = word.match(line);
        if (m.hasMatch())
            words.append({page, m.captured(1).toDouble(), m.captured(2).toDouble(), m.captured(3).toDouble(),
                          m.captured(4).toDouble(), m.captured(5)});
    }
    if (pages)
        *pages = page;
    return words;
}

LabelRecord stock(double top, double left, double width, double height, double hgap, double vgap, int across)
{
    LabelRecord s;
    s.Name = QStringLiteral("Test");
    s.TopM = top;
    s.LeftM = left;
    s.BottomM = top;
    s.RightM = left;
    s.Width = width;
    s.Height = height;
    s.HGap = hgap;
    s.VGap = vgap;
    s.NAcross = across;
    return s;
}

QFont reportFont(int points = 10)
{
    QFont f(QStringLiteral("DejaVu Sans Mono"));
    f.setPointSize(points);
    return f;
}

struct Printed
{
    QList<Word> words;
    int pages = 0;
    QPoint next;
    int pointSize = 0;
};

// Prints `labels` (each one word on its first line) on a PDF page of `size` whose printable area
// starts `offset` points inside the sheet.
Printed printLabels(const QString &pdf, const LabelRecord &s, const QList<QString> &labels, int startColumn,
                    int startRow, QPageSize::PageSizeId size = QPageSize::Letter, double offset = 0)
{
    Printed out;
    {
        QPdfWriter writer(pdf);
        writer.setResolution(288);
        writer.setPageLayout(QPageLayout(QPageSize(size), QPageLayout::Portrait,
                                         QMarginsF(offset, offset, offset, offset), QPageLayout::Point));
        LabelSheet sheet(s, &writer, reportFont(), {startColumn, startRow, false});
        for (const QString &text : labels) {
            if (!sheet.addLabel({text, QStringLiteral("line2"), {}, {}, {}}))
                return out;
        }
        if (!sheet.finish())
            return out;
        out.next = sheet.nextPosition();
        out.pointSize = sheet.geometry().font.pointSize();
    }
    out.words = pdfWords(pdf, &out.pages);
    return out;
}

const Word *find(const QList<Word> &words, const QString &text)
{
    for (const Word &w : words) {
        if (w.text == text)
            return &w;
    }
    return nullptr;
}

// True when the word starts in the label at column `col`, row `row` of `s` on `page`. Positions
// are whole device pixels, so a point of slack covers the gaps cut to pixels along a row.
bool inLabel(const Word *w, const LabelRecord &s, int page, int col, int row)
{
    if (!w || w->page != page)
        return false;
    const double left = s.LeftM + (col - 1) * (s.Width + s.HGap);
    const double top = s.TopM + (row - 1) * (s.Height + s.VGap);
    return w->x >= left - 1 && w->x < left + 6 && w->y >= top - 1 && w->y < top + s.Height / 5 &&
           w->right <= left + s.Width + 0.5 && w->bottom <= top + s.Height + 0.5;
}

} // namespace

class TstLabelSheet : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void placement_data();
    void placement();
    void fontFitsTheLabel_data();
    void fontFitsTheLabel();
    void unusableStocksAreRefused_data();
    void unusableStocksAreRefused();
    void dimensionBoxes_data();
    void dimensionBoxes();
    void standardStocksPlaceTextInsideEachLabel();
    void runKindsLabelTheRightCustomers();
    void zoneFollowsTheFirstLine();
};

void TstLabelSheet::initTestCase()
{
    if (QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty())
        QSKIP("pdftotext (poppler-utils) is not installed");
}

void TstLabelSheet::placement_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("startColumn");
    QTest::addColumn<int>("startRow");
    // Each expected label: page, column, row; then the next position and the page count.
    QTest::addColumn<QList<QList<int>>>("expected");
    QTest::addColumn<QPoint>("next");
    QTest::addColumn<int>("pages");
    QTest::addColumn<double>("leftMargin");
    QTest::addColumn<double>("unprintable"); // points the printer cannot reach at each edge

    QTest::newRow("column 3 row 2, then row 3 column 1")
        << 2 << 3 << 2 << QList<QList<int>>{{1, 3, 2}, {1, 1, 3}} << QPoint(2, 3) << 1 << 13.5 << 0.0;
    QTest::newRow("three rows exactly: no empty row after")
        << 9 << 1 << 1 << QList<QList<int>>{{1, 1, 1}, {1, 3, 3}} << QPoint(1, 4) << 1 << 13.5 << 0.0;
    QTest::newRow("start beyond the page: first page empty")
        << 1 << 1 << 11 << QList<QList<int>>{{2, 1, 1}} << QPoint(2, 1) << 2 << 13.5 << 0.0;
    QTest::newRow("a full sheet and one more")
        << 31 << 1 << 1 << QList<QList<int>>{{1, 1, 1}, {2, 1, 1}} << QPoint(2, 1) << 2 << 13.5 << 0.0;
    QTest::newRow("column beyond the stock is its last")
        << 1 << 7 << 1 << QList<QList<int>>{{1, 3, 1}} << QPoint(1, 2) << 1 << 13.5 << 0.0;
    // The outer half inch cannot be printed: the top margin of 36 points lies in it, so the first
    // row starts at the printable edge, which is where the sheet's first row is.
    QTest::newRow("printable area subtracted")
        << 2 << 1 << 1 << QList<QList<int>>{{1, 1, 1}, {1, 2, 1}} << QPoint(3, 1) << 1 << 36.0 << 36.0;
}

void TstLabelSheet::placement()
{
    QFETCH(int, count);
    QFETCH(int, startColumn);
    QFETCH(int, startRow);
    QFETCH(QList<QList<int>>, expected);
    QFETCH(QPoint, next);
    QFETCH(int, pages);
    QFETCH(double, leftMargin);
    QFETCH(double, unprintable);

    // Letter, 3 across and 10 down: 1 x 2-5/8 in labels.
    const LabelRecord s = stock(36, leftMargin, 189, 72, 9, 0, 3);
    QList<QString> labels;
    for (int i = 1; i <= count; ++i)
        labels << QStringLiteral("N%1").arg(i);
    TempDataDir dir;
    const Printed printed = printLabels(dir.file(QStringLiteral("labels.pdf")), s, labels, startColumn,
                                        startRow, QPageSize::Letter, unprintable);
    QCOMPARE(printed.pages, pages);
    QCOMPARE(printed.next, next);
    // The first and the last label where the table says; every label once.
    QVERIFY(inLabel(find(printed.words, labels.first()), s, expected[0][0], expected[0][1], expected[0][2]));
    QVERIFY(inLabel(find(printed.words, labels.last()), s, expected.last()[0], expected.last()[1],
                    expected.last()[2]));
    int found = 0;
    for (const Word &w : printed.words)
        found += w.text.startsWith(QLatin1Char('N')) ? 1 : 0;
    QCOMPARE(found, count);
    if (pages == 2 && startRow > 10) {
        for (const Word &w : printed.words)
            QCOMPARE(w.page, 2);
    }
}

void TstLabelSheet::fontFitsTheLabel_data()
{
    QTest::addColumn<LabelRecord>("stock");
    QTest::addColumn<int>("smallest"); // the point sizes the font may take
    QTest::addColumn<int>("largest");
    // 1/2 x 1-3/4 in return-address labels are narrower than six "Abcde" in 10 points.
    QTest::newRow("narrow") << stock(36, 20.25, 126, 36, 22.5, 0, 4) << kMinLabelPointSize << 9;
    QTest::newRow("wide") << stock(36, 11.25, 288, 96, 13.5, 0, 2) << 10 << 10;
    // A label too small for any size stops at the smallest, never at 0.
    QTest::newRow("tiny") << stock(36, 20, 20, 10, 2, 0, 4) << kMinLabelPointSize << kMinLabelPointSize;
}

void TstLabelSheet::fontFitsTheLabel()
{
    QFETCH(LabelRecord, stock);
    QFETCH(int, smallest);
    QFETCH(int, largest);
    TempDataDir dir;
    const Printed printed =
        printLabels(dir.file(QStringLiteral("font.pdf")), stock, {QStringLiteral("N1")}, 1, 1);
    QVERIFY2(printed.pointSize >= smallest && printed.pointSize <= largest,
             qPrintable(QString::number(printed.pointSize)));
}

void TstLabelSheet::unusableStocksAreRefused_data()
{
    QTest::addColumn<LabelRecord>("stock");
    QTest::addColumn<QString>("problem");
    QTest::newRow("usable") << stock(36, 13.5, 189, 72, 9, 0, 3) << QString();
    QTest::newRow("none across") << stock(36, 13.5, 189, 72, 9, 0, 0) << "No. Labels Across";
    QTest::newRow("no width") << stock(36, 13.5, 0, 72, 9, 0, 3) << "Width";
    QTest::newRow("no height") << stock(36, 13.5, 189, 0, 9, 0, 3) << "Height";
    QTest::newRow("rows take no room") << stock(36, 13.5, 189, 5, 9, -5, 3) << "Vertical Gap";
}

void TstLabelSheet::unusableStocksAreRefused()
{
    QFETCH(LabelRecord, stock);
    QFETCH(QString, problem);
    const QString found = labelStockProblem(stock);
    if (problem.isEmpty())
        QVERIFY2(found.isEmpty(), qPrintable(found));
    else
        QVERIFY2(found.startsWith(problem), qPrintable(found));
}

void TstLabelSheet::dimensionBoxes_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("shown");
    QTest::newRow("whole part right-aligned") << "12"
                                              << "  12.000";
    QTest::newRow("fraction") << "1.5"
                              << "   1.500";
    QTest::newRow("blanks inside") << " 1 2. 5"
                                   << "  12.500";
    QTest::newRow("negative") << "-3.25"
                              << "  -3.250";
    QTest::newRow("negative zero keeps its sign") << "      -0"
                                                  << "  -0.000";
    QTest::newRow("emptied box left for Save to refuse") << "   "
                                                         << "   ";
}

void TstLabelSheet::dimensionBoxes()
{
    QFETCH(QString, typed);
    QFETCH(QString, shown);
    QCOMPARE(reformatDimension(typed), shown);
}

void TstLabelSheet::standardStocksPlaceTextInsideEachLabel()
{
    TempDataDir dir;
    QVERIFY(createBusiness(dir.path(), false).ok());
    db::Engine engine(dir.path());
    const OpenResult labels = openLabels(engine);
    QVERIFY(labels);
    QList<LabelRecord> stocks;
    for (bool more = labels.table->top(); more; more = labels.table->skip(1)) {
        LabelRecord r;
        QVERIFY(loadLabel(*labels.table, r).isOk());
        stocks << r;
    }
    engine.closeAll();
    QVERIFY(stocks.size() >= 5);

    for (const LabelRecord &s : stocks) {
        if (s.Continuous)
            continue;
        const bool a4 = s.Name.startsWith(QStringLiteral("A4"));
        const double pageHeight = a4 ? 841.89 : 792;
        const int rows = int((pageHeight - s.TopM - s.BottomM + s.VGap) / (s.Height + s.VGap) + 0.001);
        QList<QString> texts;
        for (int i = 0; i < rows * s.NAcross; ++i)
            texts << QStringLiteral("N%1").arg(i);
        const Printed printed = printLabels(dir.file(QStringLiteral("stock.pdf")), s, texts, 1, 1,
                                            a4 ? QPageSize::A4 : QPageSize::Letter);
        QVERIFY2(printed.pages == 1, qPrintable(s.Name));
        for (int i = 0; i < texts.size(); ++i) {
            const int col = i % s.NAcross + 1;
            const int row = i / s.NAcross + 1;
            const Word *w = find(printed.words, texts[i]);
            QVERIFY2(inLabel(w, s, 1, col, row), qPrintable(QStringLiteral("%1: label %2 at %3,%4")
                                                                .arg(s.Name, texts[i])
                                                                .arg(w ? w->x : -1)
                                                                .arg(w ? w->y : -1)));
        }
    }
}

void TstLabelSheet::runKindsLabelTheRightCustomers()
{
    TempDataDir dir;
    QVERIFY(createBusiness(dir.path(), true).ok());
    db::Engine engine(dir.path());

    // What the stored records say each kind must give, computed here from INV6 and CUST5.
    QList<InvoiceRecord> invoices;
    {
        const OpenResult inv = openInvoices(engine);
        QVERIFY(inv);
        for (bool more = inv.table->top(); more; more = inv.table->skip(1)) {
            InvoiceRecord r;
            QVERIFY(loadInvoice(*inv.table, r).isOk());
            invoices << r;
        }
        engine.closeAll();
    }
    QVERIFY(invoices.size() >= 3);
    QDate from = invoices.first().IDate, to = from;
    for (const InvoiceRecord &r : invoices) {
        from = qMin(from, r.IDate);
        to = qMax(to, r.IDate);
    }
    int inSpan = 0, dueInSpan = 0;
    QSet<qint64> owing;
    for (const InvoiceRecord &r : invoices) {
        ++inSpan;
        if (r.Due != 0) {
            ++dueInSpan;
            owing.insert(r.CuNo);
        }
    }
    QVERIFY(dueInSpan > owing.size()); // some customer owes on more than one invoice

    const auto count = [&](LabelKind kind, const LabelSelection &selection,
                           QList<qint64> *numbers = nullptr) {
        int n = 0;
        QStringList statuses;
        ProgressDisplay progress;
        progress.start = [&](const QString &text) { statuses << text; };
        const db::Status s =
            selectLabelCustomers(engine, kind, selection, progress, [&](const CustomerRecord &c) {
                ++n;
                if (numbers)
                    numbers->append(c.CuNo);
                return true;
            });
        engine.closeAll();
        if (!s)
            return -1;
        if (statuses.value(0) != labelRunStatus(kind))
            return -2;
        return n;
    };
    QCOMPARE(count(LabelKind::InvoicesDated, {from, to, {}, {}, {}}), inSpan);
    QCOMPARE(count(LabelKind::PastDue, {from, to, {}, {}, {}}), dueInSpan);
    QList<qint64> balance;
    QCOMPARE(count(LabelKind::BalanceDue, {from, to, {}, {}, {}}, &balance), int(owing.size()));
    QCOMPARE(QSet<qint64>(balance.begin(), balance.end()), owing);
    // A span after the last invoice gives nothing.
    QCOMPARE(count(LabelKind::InvoicesDated, {to.addDays(1), to.addDays(30), {}, {}, {}}), 0);

    // The batch file: customers in file order, an unknown number skipped.
    const QString batch = dir.file(QString::fromLatin1(kBatchLabelFile));
    {
        QFile f(batch);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(customerNumberKey(2) + "\r\n" + customerNumberKey(99999) + "\n" + customerNumberKey(1) +
                "\n");
    }
    QList<qint64> order;
    QCOMPARE(count(LabelKind::Batch, {{}, {}, {}, {}, batch}, &order), 2);
    QCOMPARE(order, (QList<qint64>{2, 1}));
    QFile::remove(batch);
    const db::Status missing = selectLabelCustomers(engine, LabelKind::Batch, {{}, {}, {}, {}, batch}, {},
                                                    [](const CustomerRecord &) { return true; });
    engine.closeAll();
    QCOMPARE(missing.message(), QStringLiteral("Unable to save to: BatchLab.dat"));
}

void TstLabelSheet::zoneFollowsTheFirstLine()
{
    TempDataDir dir;
    QVERIFY(createBusiness(dir.path(), false).ok());
    db::Engine engine(dir.path());
    {
        const OpenResult zones = openZones(engine);
        QVERIFY(zones);
        for (const auto &[start, end, zone] : {std::tuple{"100", "149", 1}, std::tuple{"150", "199", 2}}) {
            QVERIFY(zones.table->appendBlank().isOk());
            QVERIFY(zones.table->setText(0, QString::fromLatin1(start)).isOk());
            QVERIFY(zones.table->setText(1, QString::fromLatin1(end)).isOk());
            QVERIFY(zones.table->setInteger(2, zone).isOk());
            QVERIFY(zones.table->flush().isOk());
        }
        engine.closeAll();
    }
    CustomerRecord c;
    c.First = QStringLiteral("Ann");
    c.Last = QStringLiteral("Lee");
    c.Addr2 = QStringLiteral("1 Main St");
    c.Addr4 = QStringLiteral("Pittsburgh PA");
    c.Zip = QStringLiteral("15213");
    QStringList lines = labelLines(engine, c);
    QCOMPARE(lines.size(), kLabelLineCount);
    QCOMPARE(lines[0].indexOf(QStringLiteral("(Z2)")), 33);
    QVERIFY(lines[0].startsWith(QStringLiteral("Ann Lee ")));
    c.Last = QStringLiteral("Featherstonehaugh-Worthington III");
    lines = labelLines(engine, c);
    QVERIFY(lines[0].endsWith(QStringLiteral("Worthington III(Z2)")));
    c.Zip = QStringLiteral("09876");
    lines = labelLines(engine, c);
    QVERIFY(!lines[0].contains(QStringLiteral("(Z")));
    engine.closeAll();
}

QTEST_MAIN(TstLabelSheet)
#include "tst_label_sheet.moc"
