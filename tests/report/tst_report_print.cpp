// Printing, checked on real PDF files read back with poppler's tools: every row lands on the
// page the buffer's page breaks put it on, nothing runs off the paper, images take their size
// in inches, and a failed PDF never costs the user an existing file.

#include "CurrentPrinter.h"
#include "Prompt.h"
#include "ReportFont.h"
#include "ReportU.h"
#include "TestSupport.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QPageLayout>
#include <QPrinter>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>
#include <csignal>
#include <sys/resource.h>

using tallyra::Prompt;
using tallyra::ReportBuffer;
using tallyra::TReportF;

namespace {

QByteArray run(const QString &program, const QStringList &args, int *exitCode = nullptr)
{
    QProcess p;
    p.start(program, args);
    if (!p.waitForFinished(30000))
        return {};
    if (exitCode)
        *exitCode = p.exitCode();
    return p.readAllStandardOutput();
}

// The text of each page, in order.
QStringList pdfPages(const QString &pdf)
{
    QStringList pages =
        QString::fromUtf8(run(QStringLiteral("pdftotext"), {"-layout", pdf, "-"})).split(QLatin1Char('\f'));
    if (!pages.isEmpty() && pages.last().trimmed().isEmpty())
        pages.removeLast();
    return pages;
}

struct WordBox
{
    int page;
    QString word;
    QRectF box;
};

// Every word with its box, and each page's size, in points.
QList<WordBox> pdfWords(const QString &pdf, QList<QSizeF> *pageSizes)
{
    const QString html = QString::fromUtf8(run(QStringLiteral("pdftotext"), {"-bbox", pdf, "-"}));
    static const QRegularExpression tag(QStringLiteral(
        R"re(<page width="([\d.]+)" height="([\d.]+)">|<word xMin="([\d.-]+)" yMin="([\d.-]+)" xMax="([\d.-]+)" yMax="([\d.-]+)">([^<]*)</word>)re"));
    QList<WordBox> words;
    int page = -1;
    for (auto it = tag.globalMatch(html); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        if (!m.captured(1).isEmpty()) {
            ++page;
            pageSizes->append(QSizeF(m.captured(1).toDouble(), m.captured(2).toDouble()));
            continue;
        }
        words.append({page, m.captured(7),
                      QRectF(QPointF(m.captured(3).toDouble(), m.captured(4).toDouble()),
                             QPointF(m.captured(5).toDouble(), m.captured(6).toDouble()))});
    }
    return words;
}

// The first page rendered at 72 dpi, so one pixel is one point.
QImage firstPageImage(const QString &pdf, const QString &dir)
{
    const QString prefix = QDir(dir).filePath(QStringLiteral("page"));
    run(QStringLiteral("pdftoppm"), {"-r", "72", "-png", "-singlefile", "-f", "1", "-l", "1", pdf, prefix});
    return QImage(prefix + QStringLiteral(".png"));
}

// The part of a page inside the current printer's margins, in points (with a point to spare
// for the rounding of pdftotext's boxes).
QRectF printable(const QSizeF &page)
{
    const QMarginsF m = tallyra::CurrentPrinter::printer()->pageLayout().margins(QPageLayout::Point);
    return QRectF(QPointF(0, 0), page).marginsRemoved(m).adjusted(-1, -1, 1, 1);
}

void trigger(TReportF &v, const char *action)
{
    QAction *a = v.findChild<QAction *>(QLatin1String(action));
    QVERIFY2(a, action);
    a->trigger();
}

// "Print" on the PDF file printer, answering its file dialog with `path`.
void printTo(const ReportBuffer &b, const QString &path)
{
    TReportF v(b);
    Prompt::setNextAnswers({path});
    trigger(v, "printAction");
    QCOMPARE(Prompt::takeShown(), QStringList{"Print to File"});
}

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

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

class TestReportPrint : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        tallyra::CurrentPrinter::useFilePrinter();
        QVERIFY(tallyra::CurrentPrinter::isFilePrinter());
    }

    void init()
    {
        tallyra::ReportFont::reset();
        Prompt::clearAnswers();
        Prompt::takeShown();
    }

    void printedRowsLandOnTheirPages()
    {
        testsupport::FixedClock clock(QDate(2024, 3, 5));
        testsupport::TempDataDir dir;
        // The program's own buffer, paginated by the current printer and the report font.
        ReportBuffer &b = tallyra::reportBuffer();
        b.reportStart(64, 5);
        QVERIFY2(b.linesPerPage() > 30 && b.linesPerPage() < 90,
                 qPrintable(QString::number(b.linesPerPage())));
        b.titles() << QStringLiteral("Product Listing");
        b.setHeadingRowCount(2);
        b.setHeading(4, 0, QStringLiteral("U"));
        b.setHeading(0, 1, QStringLiteral("L00Product"));
        b.setHeading(2, 1, QStringLiteral("R51Unit Price"));
        b.setHeading(4, 1, QStringLiteral("U"));
        for (int c = 0; c < 4; ++c)
            b.setColCode(c, QStringList{"L00", "L12", "R51", "R64"}[c]);
        const int products = 160;
        for (int i = 0; i < products; ++i) {
            const bool twoLines = i % 7 == 3;
            b.pageCheck(b.pageLines() + (twoLines ? 2 : 1), true);
            b.newRow();
            b.put(0, QStringLiteral("ITEM%1").arg(i, 4, 10, QLatin1Char('0')));
            b.put(1, QStringLiteral("Widget %1").arg(i));
            b.put(2, QString::asprintf("%12.2f", i * 1.25));
            if (twoLines) {
                b.newRow();
                b.put(1, QStringLiteral("NOTE%1").arg(i, 4, 10, QLatin1Char('0')));
            }
        }
        b.setFlags(b.curRow(), QStringLiteral("U"));
        QVERIFY(b.pageNo() >= 3);

        const QString pdf = dir.file(QStringLiteral("listing.pdf"));
        printTo(b, pdf);
        const QStringList pages = pdfPages(pdf);
        QCOMPARE(pages.size(), b.pageNo());

        // Each row on the page its preceding page breaks give it, with the page's header.
        int page = 0;
        int checked = 0;
        for (int row = 0; row < b.rowCount(); ++row) {
            const QString first = b.cell(0, row);
            if (first == QStringLiteral("EJECT")) {
                ++page;
                continue;
            }
            const QString text = first.startsWith(QStringLiteral("L00ITEM")) ? first.mid(3)
                                 : b.cell(1, row).startsWith(QStringLiteral("L12NOTE"))
                                     ? b.cell(1, row).mid(3)
                                     : QString();
            if (text.isEmpty())
                continue;
            QVERIFY2(pages[page].contains(text),
                     qPrintable(text + " not on page " + QString::number(page + 1)));
            ++checked;
        }
        QCOMPARE(checked, products + (products + 3) / 7);
        for (int p = 0; p < pages.size(); ++p) {
            QVERIFY(pages[p].contains(QStringLiteral("Page %1").arg(p + 1)));
            QVERIFY(pages[p].contains(QStringLiteral("3/5/24")));
            QVERIFY(pages[p].contains(QStringLiteral("Product Listing")));
            QVERIFY(pages[p].contains(QStringLiteral("Unit Price")));
        }

        // Nothing runs past the edges of the paper.
        QList<QSizeF> sizes;
        const QList<WordBox> words = pdfWords(pdf, &sizes);
        QCOMPARE(sizes.size(), b.pageNo());
        for (const WordBox &w : words)
            QVERIFY2(printable(sizes[w.page]).contains(w.box), qPrintable(w.word));
        b.reportClear();
    }

    void textCellsSitAtTheirColumnsOnPaper()
    {
        testsupport::TempDataDir dir;
        ReportBuffer b;
        b.reportStart(64, 4);
        // A full line of 64 characters measures the left margin and the character width.
        b.newRow();
        b.setCell(0, QStringLiteral("L00") + QString(64, QLatin1Char('M')));
        b.newRow();
        b.setCell(0, QStringLiteral("L12Left"));
        b.setCell(1, QStringLiteral("R51 1234.50"));
        b.setCell(2, QStringLiteral("C32Centred"));
        const QString pdf = dir.file(QStringLiteral("columns.pdf"));
        printTo(b, pdf);

        QList<QSizeF> sizes;
        QHash<QString, QRectF> box;
        for (const WordBox &w : pdfWords(pdf, &sizes))
            box.insert(w.word, w.box);
        const QRectF full = box.value(QString(64, QLatin1Char('M')));
        QVERIFY(full.width() > 100);
        const double cw = full.width() / 64;
        auto x = [&](int col) { return full.left() + col * cw; };
        // L begins at its column, R ends at it, C is centred on it: within half a character, since
        // columns are whole device pixels apart and pdftotext's boxes are approximate.
        QVERIFY2(qAbs(box.value("Left").left() - x(12)) < cw / 2,
                 qPrintable(QString::number(box.value("Left").left())));
        QVERIFY2(qAbs(box.value("1234.50").right() - x(51)) < cw / 2,
                 qPrintable(QString::number(box.value("1234.50").right())));
        QVERIFY2(qAbs(box.value("Centred").center().x() - x(32)) < cw / 2,
                 qPrintable(QString::number(box.value("Centred").center().x())));
        // The line is centred on the page.
        QVERIFY(qAbs(full.center().x() - sizes.value(0).width() / 2) < 2);
    }

    void aLineTooWideForThePaperShrinksTheFont()
    {
        testsupport::TempDataDir dir;
        ReportBuffer b;
        b.reportStart(99, 2);
        b.newRow();
        const QString wide = QString(99, QLatin1Char('W'));
        b.setCell(0, QStringLiteral("L00") + wide);
        const QString pdf = dir.file(QStringLiteral("wide.pdf"));
        printTo(b, pdf);

        QList<QSizeF> sizes;
        const QList<WordBox> words = pdfWords(pdf, &sizes);
        QCOMPARE(words.size(), 1);
        QCOMPARE(words[0].word, wide);
        QVERIFY2(printable(sizes[0]).contains(words[0].box),
                 qPrintable(QStringLiteral("%1 %2").arg(words[0].box.left()).arg(words[0].box.right())));
        // Centred on the page like any report line.
        const double centre = (words[0].box.left() + words[0].box.right()) / 2;
        QVERIFY2(qAbs(centre - sizes[0].width() / 2) < 4, qPrintable(QString::number(centre)));
    }

    void imagesTakeTheirSizeInInches()
    {
        testsupport::TempDataDir dir;
        const QString logo = dir.file(QStringLiteral("logo.png"));
        QImage red(200, 100, QImage::Format_RGB32);
        red.fill(Qt::red);
        QVERIFY(red.save(logo));

        ReportBuffer b;
        b.reportStart(64, 2);
        b.newRow();
        b.setCell(0, QStringLiteral("L00Letterhead"));
        b.newRow();
        b.setCell(0, QStringLiteral("IC32") + logo);
        b.setFlags(1, ReportBuffer::imageFlags(0.75, 3));
        const QString pdf = dir.file(QStringLiteral("logo.pdf"));
        printTo(b, pdf);

        const QImage page = firstPageImage(pdf, dir.path());
        QVERIFY(!page.isNull());
        QRect found;
        for (int y = 0; y < page.height(); ++y)
            for (int x = 0; x < page.width(); ++x) {
                const QRgb c = page.pixel(x, y);
                if (qRed(c) > 200 && qGreen(c) < 80 && qBlue(c) < 80)
                    found |= QRect(x, y, 1, 1);
            }
        // 3 by 0.75 inches at 72 points per inch, centred on the page's column 32.
        QVERIFY2(qAbs(found.width() - 216) <= 2, qPrintable(QString::number(found.width())));
        QVERIFY2(qAbs(found.height() - 54) <= 2, qPrintable(QString::number(found.height())));
        QVERIFY2(qAbs(found.center().x() - page.width() / 2) <= 3,
                 qPrintable(QString::number(found.center().x())));
    }

    void aMissingImageStillClosesTheJob()
    {
        testsupport::TempDataDir dir;
        ReportBuffer b;
        b.reportStart(64, 2);
        b.newRow();
        b.setCell(0, QStringLiteral("IL00") + dir.file(QStringLiteral("gone.bmp")));
        b.setFlags(0, ReportBuffer::imageFlags(1, 1));
        b.newRow();
        b.setCell(0, QStringLiteral("L00Below the logo"));
        const QString pdf = dir.file(QStringLiteral("nologo.pdf"));
        printTo(b, pdf);
        int exitCode = -1;
        const QString text = QString::fromUtf8(run(QStringLiteral("pdftotext"), {pdf, "-"}, &exitCode));
        QCOMPARE(exitCode, 0);
        QVERIFY(text.contains(QStringLiteral("Below the logo")));
    }

    void pdfExportMatchesPrinting()
    {
        testsupport::TempDataDir dir;
        ReportBuffer b;
        b.reportStart(64, 3);
        for (int i = 0; i < 80; ++i) {
            if (i == 40) {
                b.newRow();
                b.setCell(0, QStringLiteral("EJECT"));
            }
            b.newRow();
            b.setCell(0, QStringLiteral("L00Line%1").arg(i));
        }
        TReportF v(b);
        const QString exported = dir.file(QStringLiteral("export.pdf"));
        Prompt::setNextAnswers({exported});
        trigger(v, "pdfAction");
        QCOMPARE(Prompt::takeShown(), QStringList{"Export Report"});
        const QString printed = dir.file(QStringLiteral("printed.pdf"));
        printTo(b, printed);

        const QStringList pages = pdfPages(exported);
        QCOMPARE(pages, pdfPages(printed));
        QCOMPARE(pages.size(), 2);
        QVERIFY(pages[0].contains(QStringLiteral("Line39")));
        QVERIFY(!pages[0].contains(QStringLiteral("Line40")));
        QVERIFY(pages[1].contains(QStringLiteral("Line40")));
        QVERIFY(pages[1].contains(QStringLiteral("Line79")));
    }

    void aFailedPdfKeepsTheOldFile()
    {
        testsupport::TempDataDir dir;
        ReportBuffer b;
        b.reportStart(64, 3);
        for (int i = 0; i < 3000; ++i) {
            b.newRow();
            b.setCell(0, QStringLiteral("L00Line %1 of a long report").arg(i));
            if (i % 50 == 49) {
                b.newRow();
                b.setCell(0, QStringLiteral("EJECT"));
            }
        }
        const QString path = dir.file(QStringLiteral("report.pdf"));
        const QByteArray old("%PDF-1.4 last month's report");
        {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(old);
        }
        TReportF v(b);
        for (const char *action : {"pdfAction", "printAction"}) {
            Prompt::setNextAnswers({path, QVariant::fromValue(Prompt::Answer::Ok)});
            {
                FileSizeLimit full(16384);
                trigger(v, action);
            }
            QCOMPARE(Prompt::takeShown().last(), "Unable to save to: " + path);
            QCOMPARE(readAll(path), old);
        }
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{"report.pdf"});

        // Cancelling the file dialog of "Print" prints nothing.
        Prompt::setNextAnswers({QVariant()});
        trigger(v, "printAction");
        QCOMPARE(Prompt::takeShown(), QStringList{"Print to File"});
        QCOMPARE(readAll(path), old);
    }
};

QTEST_MAIN(TestReportPrint)
#include "tst_report_print.moc"
