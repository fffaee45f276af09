// The report viewer as a user sees it: the screen font and margins for the window's width, the
// scroll bar, what each cell code paints, and the export menu with its dialogs and messages.

#include "CurrentPrinter.h"
#include "ModalDriver.h"
#include "Prompt.h"
#include "ReportFont.h"
#include "ReportU.h"
#include "TestSupport.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QScrollBar>
#include <QTest>
#include <QTimer>

using tallyra::Prompt;
using tallyra::ReportBuffer;
using tallyra::TReportF;
using testsupport::ModalDriver;

namespace {

ReportBuffer rowsOf(int width, int count)
{
    ReportBuffer b;
    b.reportStart(width, 3);
    for (int i = 0; i < count; ++i) {
        b.newRow();
        b.setCell(0, QStringLiteral("L00Row %1").arg(i));
        b.setCell(1, QStringLiteral("R%1%2").arg(width).arg(i));
    }
    return b;
}

QWidget *canvasOf(TReportF &v)
{
    return v.findChild<QWidget *>(QStringLiteral("reportCanvasWidget"));
}

QScrollBar *scrollBarOf(TReportF &v)
{
    return v.findChild<QScrollBar *>(QStringLiteral("reportScrollBar"));
}

void trigger(TReportF &v, const char *action)
{
    QAction *a = v.findChild<QAction *>(QLatin1String(action));
    QVERIFY2(a, action);
    a->trigger();
}

bool showAt(TReportF &v, int width, int height)
{
    v.resize(width, height);
    v.show();
    return QTest::qWaitForWindowExposed(&v);
}

QImage grabCanvas(TReportF &v)
{
    QWidget *canvas = canvasOf(v);
    QImage image(canvas->size(), QImage::Format_RGB32);
    image.fill(Qt::gray);
    canvas->render(&image);
    return image;
}

bool isDark(QRgb c)
{
    return qGray(c) < 100;
}

bool isRed(QRgb c)
{
    return qRed(c) > 200 && qGreen(c) < 60 && qBlue(c) < 60;
}

int darkPixels(const QImage &image, const QRect &area)
{
    int n = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            n += isDark(image.pixel(x, y)) ? 1 : 0;
    return n;
}

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

} // namespace

class TestReportViewer : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { tallyra::CurrentPrinter::useFilePrinter(); }

    void init()
    {
        tallyra::ReportFont::reset();
        Prompt::clearAnswers();
        Prompt::takeShown();
    }

    void screenFontShrinksToFitButNotBelowEightPoints()
    {
        ReportBuffer b = rowsOf(85, 5);
        TReportF v(b);
        QVERIFY(showAt(v, 1600, 500));
        QWidget *canvas = canvasOf(v);
        const int barWidth = scrollBarOf(v)->width();
        QCOMPARE(canvas->width(), v.width() - barWidth);

        // Wide enough: the report font as chosen, the line centred in the drawing area.
        QCOMPARE(v.screenFont().pointSize(), 10);
        QCOMPARE(v.screenFont().family(), QStringLiteral("DejaVu Sans Mono"));
        const tallyra::ReportGeometry wide = v.geometry();
        QCOMPARE(wide.rightMargin - wide.leftMargin, 85 * wide.charWidth);
        QVERIFY(qAbs((canvas->width() - wide.rightMargin) - wide.leftMargin) <= 1);

        // Room for 85 characters at 9 points but not at 10: one point smaller, no more.
        QFont nine = tallyra::ReportFont::font();
        nine.setPointSize(9);
        const int nineWidth = QFontMetrics(nine, canvas).horizontalAdvance(QLatin1Char('B'));
        QVERIFY(nineWidth < wide.charWidth);
        v.resize(85 * nineWidth + barWidth + 2, 500);
        QCOMPARE(v.screenFont().pointSize(), 9);
        QVERIFY(v.geometry().rightMargin <= canvas->width());

        // Far too narrow: 8 points, and the report is cut at the right.
        v.resize(300, 500);
        QCOMPARE(v.screenFont().pointSize(), 8);
        QVERIFY(v.geometry().rightMargin > canvas->width());
        QVERIFY(v.geometry().leftMargin < 0);
    }

    void scrollBarCoversRowsBeyondOneScreen()
    {
        ReportBuffer few = rowsOf(64, 3);
        TReportF small(few);
        QVERIFY(showAt(small, 900, 600));
        QVERIFY(!scrollBarOf(small)->isEnabled());

        ReportBuffer many = rowsOf(64, 500);
        TReportF v(many);
        QVERIFY(showAt(v, 900, 600));
        QScrollBar *bar = scrollBarOf(v);
        const int perScreen = v.rowsPerScreen();
        const int lineHeight = v.geometry().lineHeight;
        // Whole rows only, as many as the area holds.
        QVERIFY(perScreen * lineHeight <= canvasOf(v)->height());
        QVERIFY((perScreen + 1) * lineHeight > canvasOf(v)->height());
        QVERIFY(bar->isEnabled());
        QCOMPARE(bar->minimum(), 0);
        QCOMPARE(bar->maximum(), 500 - perScreen);
        QCOMPARE(bar->singleStep(), 1);
        QCOMPARE(v.firstRow(), 0);

        const QImage top = grabCanvas(v);
        QTest::keyClick(&v, Qt::Key_PageDown);
        QCOMPARE(v.firstRow(), perScreen - 1); // the last row stays in sight
        QTest::keyClick(&v, Qt::Key_End);
        QCOMPARE(v.firstRow() + perScreen, 500); // the last row at the bottom
        QVERIFY(grabCanvas(v) != top);
        QTest::keyClick(&v, Qt::Key_Home);
        QCOMPARE(grabCanvas(v), top);
    }

    void everyCodePaintsAtItsPlace()
    {
        testsupport::TempDataDir dir;
        const QString logo = dir.file(QStringLiteral("logo.png"));
        QImage red(30, 12, QImage::Format_RGB32);
        red.fill(Qt::red);
        QVERIFY(red.save(logo));

        ReportBuffer b;
        b.reportStart(64, 3);
        const QList<QStringList> rows = {
            {"L00Text", "", "U"},
            {"EJECT", "", ""},
            {"IL05" + logo, "", ReportBuffer::imageFlags(0.5, 1)},
            {"IR40" + logo, "", ReportBuffer::imageFlags(0.5, 1)},
            {"V10", "", ""},
            {"H0520", "", ""},
            {"L00MMMMMMMMMMMM", "", ""},
            {"L00MMMMMMMMMMMM", "", "B"},
            {"IL00" + dir.file(QStringLiteral("missing.png")), "L30after", ""},
        };
        for (const QStringList &cells : rows) {
            b.newRow();
            for (int c = 0; c < cells.size(); ++c)
                b.setCell(c, cells[c]);
        }
        TReportF v(b);
        QVERIFY(showAt(v, 1000, 700));
        const QImage img = grabCanvas(v);
        const tallyra::ReportGeometry g = v.geometry();
        const int lh = g.lineHeight;
        QVERIFY(g.leftMargin > 10);

        // Underline after row 0, from margin to margin.
        for (int x = g.leftMargin; x < g.rightMargin; ++x)
            QVERIFY2(isDark(img.pixel(x, lh)), qPrintable(QString::number(x)));
        QVERIFY(!isDark(img.pixel(g.leftMargin - 3, lh)));
        QVERIFY(!isDark(img.pixel(g.rightMargin + 3, lh)));

        // EJECT: a dotted line across the whole area, half way down its row.
        const int dotY = lh + lh / 2;
        const int dots = darkPixels(img, QRect(0, dotY, img.width(), 1));
        QVERIFY2(dots > img.width() / 4 && dots < img.width() * 3 / 4, qPrintable(QString::number(dots)));
        QVERIFY(darkPixels(img, QRect(0, dotY, 10, 1)) > 0);
        QVERIFY(darkPixels(img, QRect(img.width() - 10, dotY, 10, 1)) > 0);

        // Images at their natural size: left edge at column 5, right edge at column 40.
        const int y2 = 2 * lh;
        QVERIFY(isRed(img.pixel(g.x(5), y2)));
        QVERIFY(isRed(img.pixel(g.x(5) + 29, y2 + 11)));
        QVERIFY(!isRed(img.pixel(g.x(5) + 30, y2 + 5)));
        QVERIFY(!isRed(img.pixel(g.x(5) - 1, y2 + 5)));
        QVERIFY(!isRed(img.pixel(g.x(5) + 5, y2 + 12)));
        const int y3 = 3 * lh;
        QVERIFY(isRed(img.pixel(g.x(40) - 1, y3)));
        QVERIFY(isRed(img.pixel(g.x(40) - 30, y3 + 11)));
        QVERIFY(!isRed(img.pixel(g.x(40), y3 + 5)));
        QVERIFY(!isRed(img.pixel(g.x(40) - 31, y3 + 5)));

        // Rules: vertical one line high at column 10, horizontal from column 5 to 20.
        const int y4 = 4 * lh;
        QVERIFY(isDark(img.pixel(g.x(10), y4 + lh / 2)));
        QVERIFY(!isDark(img.pixel(g.x(10) + 3, y4 + lh / 2)));
        const int y5 = 5 * lh;
        QVERIFY(isDark(img.pixel(g.x(12), y5)));
        QVERIFY(isDark(img.pixel(g.x(20) - 1, y5)));
        QVERIFY(!isDark(img.pixel(g.x(20) + 2, y5)));
        QVERIFY(!isDark(img.pixel(g.x(5) - 2, y5)));

        // Bold rows carry more ink than the same text regular.
        const QRect rowArea(g.leftMargin, 0, 12 * g.charWidth, lh);
        const int regular = darkPixels(img, rowArea.translated(0, 6 * lh));
        const int bold = darkPixels(img, rowArea.translated(0, 7 * lh));
        QVERIFY(regular > 0);
        QVERIFY2(bold > regular * 1.15, qPrintable(QStringLiteral("%1 %2").arg(bold).arg(regular)));

        // A missing image draws nothing; the rest of the row still paints.
        const int y8 = 8 * lh;
        QCOMPARE(darkPixels(img, QRect(g.leftMargin, y8, 20 * g.charWidth, lh)), 0);
        QVERIFY(darkPixels(img, QRect(g.x(30), y8, 5 * g.charWidth, lh)) > 0);
    }

    void exportMenuWritesTheChosenFiles()
    {
        testsupport::TempDataDir dir;
        ReportBuffer b;
        b.reportStart(64, 4);
        b.newRow();
        b.setCell(0, QStringLiteral("L00Product"));
        b.setCell(1, QStringLiteral("L12"));
        b.setCell(2, QStringLiteral("R51 12.50"));
        TReportF v(b);
        QVERIFY(showAt(v, 900, 600));

        const QString text = dir.file(QStringLiteral("report.txt"));
        Prompt::setNextAnswers({text});
        trigger(v, "asciiTextAction");
        QCOMPARE(Prompt::takeShown(), QStringList{"Export Report"});
        QCOMPARE(readAll(text), QByteArray("Product") + QByteArray(39, ' ') + QByteArray("12.50\r\n"));

        const QString tabs = dir.file(QStringLiteral("report.asc"));
        Prompt::setNextAnswers({tabs});
        trigger(v, "tabDelimitedAction");
        QCOMPARE(Prompt::takeShown(), QStringList{"Export Report"});
        QCOMPARE(readAll(tabs), QByteArray("Product\t\t 12.50\r\n"));

        // Cancelled: nothing written, nothing said.
        Prompt::setNextAnswers({QVariant()});
        trigger(v, "asciiTextAction");
        QCOMPARE(Prompt::takeShown(), QStringList{"Export Report"});
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), (QStringList{"report.asc", "report.txt"}));
    }

    void exportToAnImpossiblePathSaysSo()
    {
        testsupport::TempDataDir dir;
        ReportBuffer b = rowsOf(64, 3);
        TReportF v(b);
        QVERIFY(showAt(v, 900, 600));
        for (const char *action : {"asciiTextAction", "tabDelimitedAction", "pdfAction"}) {
            const QString bad = dir.file(QStringLiteral("no such folder/report.out"));
            Prompt::setNextAnswers({bad, QVariant::fromValue(Prompt::Answer::Ok)});
            trigger(v, action);
            QCOMPARE(Prompt::takeShown(), (QStringList{"Export Report", "Unable to save to: " + bad}));
            QVERIFY(v.isVisible());
        }
        QVERIFY(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot).isEmpty());
    }

    void generatorsShowTheViewerMaximizedAndModal()
    {
        bool shown = false;
        bool maximized = false;
        QString caption;
        auto inspect = [&] {
            auto *v = qobject_cast<TReportF *>(QApplication::activeModalWidget());
            if (!v)
                return;
            shown = true;
            maximized = v->isMaximized();
            caption = v->windowTitle();
            trigger(*v, "exitAction");
        };
        ReportBuffer empty;
        empty.reportStart(64, 3);
        // A viewer would run its own event loop inside the call: the timer then finds it.
        QTimer::singleShot(0, inspect);
        TReportF::showReport(nullptr, empty);
        QCoreApplication::processEvents();
        QVERIFY(!shown);
        QVERIFY(!QApplication::activeModalWidget());

        ReportBuffer b = rowsOf(64, 3);
        ModalDriver driver;
        driver.then<TReportF>([&](TReportF *) { inspect(); });
        driver.start();
        TReportF::showReport(nullptr, b);
        QVERIFY(shown);
        QVERIFY(maximized);
        QCOMPARE(caption, QStringLiteral("Report"));
    }

    void withoutAPrinterPagesHoldSixtyLines()
    {
        Prompt::setNextAnswers({QVariant::fromValue(Prompt::Answer::Ok)});
        QCOMPARE(tallyra::CurrentPrinter::measureLinesPerPage(nullptr, tallyra::ReportFont::font()), 60);
        QCOMPARE(Prompt::takeShown(), QStringList{"Default Printer Not Found. Printing 60 Lines per page"});
    }
};

QTEST_MAIN(TestReportViewer)
#include "tst_report_viewer.moc"
