// The product listing from a real catalogue on disk, end to end: its text against a reviewed
// golden file, its run through the viewer into a PDF whose pages hold the rows the buffer put
// on them, its button in the main window, and what happens without a usable Prod5.

#include "AppTestSupport.h"
#include "CurrentPrinter.h"
#include "Database.h"
#include "MainU.h"
#include "Maintenance.h"
#include "NewBusiness.h"
#include "ProductListing.h"
#include "ProgramCommands.h"
#include "Prompt.h"
#include "Records.h"
#include "ReportBuffer.h"
#include "ReportFont.h"
#include "ReportText.h"
#include "ReportU.h"
#include "Tables.h"
#include "TestSupport.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QPushButton>
#include <QStatusBar>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <algorithm>

using tallyra::ProductRecord;
using tallyra::Prompt;
using tallyra::ReportBuffer;
using testsupport::ModalDriver;

namespace {

ProductRecord product(const QString &id, const QString &desc, const QString &second, double price,
                      double reorder)
{
    ProductRecord p;
    p.PrID = id;
    p.PDesc = desc;
    p.IComm = second;
    p.UPrice = price;
    p.REORDER = reorder;
    return p;
}

// A new business in `dir` whose catalogue holds `products`, appended in the given order; the
// identifiers in `deleted` are then marked deleted (not yet packed).
bool makeCatalogue(const QString &dir, const QList<ProductRecord> &products, const QStringList &deleted = {})
{
    if (!tallyra::createBusiness(dir, false).ok())
        return false;
    db::Engine engine(dir);
    const tallyra::OpenResult prod = tallyra::openProducts(engine);
    if (!prod)
        return false;
    for (const ProductRecord &p : products) {
        if (!prod.table->appendBlank() || !tallyra::writeProduct(*prod.table, p))
            return false;
        if (deleted.contains(p.PrID) && !prod.table->markDeleted())
            return false;
    }
    return tallyra::closeAllTables(engine).isOk();
}

// A varied catalogue: accents, a second description line on some products, a description of
// the full 27 characters, a price of twelve characters, a lower-case identifier, a deleted one.
QList<ProductRecord> sampleCatalogue()
{
    QList<ProductRecord> list = {
        product("WIDGET-10", "Widget, ten inch", "Zinc plated", 12.5, 20),
        product("BOLT-M6", "Hex bolt M6 x 30", "", 0.35, 500),
        product("SVC-HOUR", "Service call, per hour", "  ", 65, 0),
        product("CAFE-01", "Café crème blend 1 kg", "Fair trade", 18.9, 12),
        product("ANVIL", "Anvil, 50 kg", "", 1234.5, 1),
        product("zz-lower", "Entered in lower case", "", 1, 0),
        product("GONE", "A product deleted today", "", 9.99, 3),
        product("LONGDESC", "ABCDEFGHIJKLMNOPQRSTUVWXYZ!", "", 123456789.99, 2.5),
    };
    for (int i = 20; i >= 1; --i)
        list.append(product(QStringLiteral("PART-%1").arg(i, 3, 10, QLatin1Char('0')),
                            QStringLiteral("Spare part number %1").arg(i),
                            i % 4 == 0 ? QStringLiteral("Fits models A and B") : QString(), i * 2.25, i % 3));
    return list;
}

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

QStringList pdfPages(const QString &pdf)
{
    QProcess p;
    p.start(QStringLiteral("pdftotext"), {"-layout", pdf, "-"});
    p.waitForFinished(30000);
    QStringList pages = QString::fromUtf8(p.readAllStandardOutput()).split(QLatin1Char('\f'));
    if (!pages.isEmpty() && pages.last().trimmed().isEmpty())
        pages.removeLast();
    return pages;
}

} // namespace

class TestProductListing : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        tallyra::CurrentPrinter::useFilePrinter();
        tallyra::ReportFont::reset();
    }

    void init()
    {
        Prompt::clearAnswers();
        Prompt::takeShown();
    }

    void listingMatchesTheGoldenFile()
    {
        testsupport::FixedClock clock(QDate(2024, 3, 5));
        testsupport::TempDataDir dir;
        QVERIFY(makeCatalogue(dir.path(), sampleCatalogue(), {"GONE"}));

        db::Engine engine(dir.path());
        const tallyra::OpenResult prod = tallyra::openProducts(engine);
        QVERIFY(prod);
        ReportBuffer buffer([] { return 25; });
        QStringList started;
        QList<int> percents;
        int ended = 0;
        tallyra::ProgressDisplay progress{[&](const QString &m) { started << m; },
                                          [&](int p) { percents << p; }, [&] { ++ended; }};
        QVERIFY(tallyra::buildProductListing(buffer, *prod.table, progress));
        tallyra::closeAllTables(engine);

        const QByteArray text = tallyra::reportExportText(buffer, tallyra::TextLayout::Padded);
        const QByteArray golden =
            readAll(testsupport::fixturePath(QStringLiteral("report/product_listing.txt")));
        if (text != golden) {
            QFile actual(QDir::temp().filePath(QStringLiteral("product_listing.actual.txt")));
            if (actual.open(QIODevice::WriteOnly))
                actual.write(text);
            QFAIL(qPrintable("listing differs from the golden file; actual output in " + actual.fileName()));
        }
        QVERIFY(!text.contains("GONE"));
        QCOMPARE(buffer.flags(buffer.curRow()), QStringLiteral("U"));

        // One step per record read, deleted ones included, ending at 100.
        QCOMPARE(started, QStringList{"Processing Product Listing"});
        QCOMPARE(percents.size(), sampleCatalogue().size());
        QCOMPARE(percents.first(), 100 / int(sampleCatalogue().size())); // one record of 28 read
        QCOMPARE(percents.last(), 100);
        QVERIFY(std::is_sorted(percents.begin(), percents.end()));
        QCOMPARE(ended, 1);
    }

    void runShowsTheListingAndPrintsItPageByPage()
    {
        testsupport::FixedClock clock(QDate(2024, 3, 5));
        testsupport::TempDataDir dir;
        QList<ProductRecord> many;
        for (int i = 0; i < 150; ++i)
            many.append(product(
                QStringLiteral("ITEM%1").arg(i, 4, 10, QLatin1Char('0')),
                QStringLiteral("Catalogue item %1").arg(i),
                i % 6 == 0 ? QStringLiteral("NOTE%1").arg(i, 4, 10, QLatin1Char('0')) : QString(), i, i % 9));
        QVERIFY(makeCatalogue(dir.path(), many));
        const QString pdf = dir.file(QStringLiteral("listing.pdf"));

        // While the viewer is up: note the page of every product, export the PDF, close.
        QHash<QString, int> pageOf;
        int pageCount = 0;
        bool shown = false;
        ModalDriver driver;
        driver.then<tallyra::TReportF>([&](tallyra::TReportF *viewer) {
            shown = true;
            const ReportBuffer &b = tallyra::reportBuffer();
            int page = 1;
            for (int row = 0; row < b.rowCount(); ++row) {
                if (b.cell(0, row) == QStringLiteral("EJECT"))
                    ++page;
                for (int c = 0; c < 2; ++c) {
                    const QString cell = b.cell(c, row);
                    if (cell.startsWith(QStringLiteral("L00ITEM")) ||
                        cell.startsWith(QStringLiteral("L12NOTE")))
                        pageOf.insert(cell.mid(3), page);
                }
            }
            pageCount = b.pageNo();
            Prompt::setNextAnswers({pdf});
            viewer->findChild<QAction *>(QStringLiteral("pdfAction"))->trigger();
            viewer->findChild<QAction *>(QStringLiteral("exitAction"))->trigger();
        });
        driver.start();
        db::Engine engine(dir.path());
        QString failure;
        QVERIFY(tallyra::runProductListing(nullptr, engine, {}, &failure));
        QVERIFY(shown);
        QVERIFY(failure.isEmpty());
        QCOMPARE(Prompt::takeShown(), QStringList{"Export Report"});
        // The command leaves nothing behind.
        QVERIFY(tallyra::reportBuffer().isEmpty());
        QVERIFY(!engine.table(QStringLiteral("Prod5")));

        QCOMPARE(pageOf.size(), 150 + 25);
        QVERIFY(pageCount >= 3);
        const QStringList pages = pdfPages(pdf);
        QCOMPARE(pages.size(), pageCount);
        for (auto it = pageOf.cbegin(); it != pageOf.cend(); ++it)
            QVERIFY2(pages[it.value() - 1].contains(it.key()),
                     qPrintable(it.key() + " not on page " + QString::number(it.value())));
        for (int p = 0; p < pages.size(); ++p) {
            QVERIFY(pages[p].contains(QStringLiteral("Page %1").arg(p + 1)));
            QVERIFY(pages[p].contains(QStringLiteral("Description")));
        }
    }

    void theMainWindowButtonRunsTheListing()
    {
        testsupport::TempDataDir dir;
        QVERIFY(apptest::makeBusiness(dir, true));
        tallyra::TMain window;
        window.setDataDirectory(dir.path());
        window.setStartupClock(std::make_shared<apptest::ScriptedClock>(QList<qint64>{0, 5000}));
        tallyra::registerProgramCommands(window);
        QVERIFY(window.start());
        window.findChild<QTabWidget *>(QStringLiteral("pageTabs"))->setCurrentIndex(1);
        auto *button = window.findChild<QPushButton *>(QStringLiteral("productListingButton"));
        QVERIFY(button && button->isVisible() && button->isEnabled());

        // While the viewer is up: the buffer holds the demo catalogue in identifier order.
        QStringList ids;
        QString title;
        bool maximized = false;
        ModalDriver driver;
        driver.then<tallyra::TReportF>([&](tallyra::TReportF *viewer) {
            maximized = viewer->isMaximized();
            const ReportBuffer &b = tallyra::reportBuffer();
            title = b.titles().value(0);
            for (int row = 0; row < b.rowCount(); ++row) {
                const QString id = b.cell(0, row);
                if (id.startsWith(QStringLiteral("L00")) &&
                    b.cell(2, row).startsWith(QStringLiteral("R51")) && id != QStringLiteral("L00Product"))
                    ids << id.mid(3);
            }
            viewer->findChild<QAction *>(QStringLiteral("exitAction"))->trigger();
        });
        driver.start();
        QTest::mouseClick(button, Qt::LeftButton);
        QTRY_VERIFY(!ids.isEmpty());
        QVERIFY(maximized);
        QCOMPARE(title, QStringLiteral("Product Listing"));
        QCOMPARE(ids.size(), int(testsupport::recordCount(dir.path(), QStringLiteral("Prod5"))));
        QStringList sorted = ids;
        std::sort(sorted.begin(), sorted.end(),
                  [](const QString &a, const QString &b) { return a.toUpper() < b.toUpper(); });
        QCOMPARE(ids, sorted);
        // Afterwards nothing is left open or held, and the program goes on.
        QVERIFY(tallyra::reportBuffer().isEmpty());
        QVERIFY(!tallyra::database().table(QStringLiteral("Prod5")));
        QVERIFY(window.isVisible());
        window.close();
    }

    void anEmptyCatalogueShowsNothing()
    {
        testsupport::TempDataDir dir;
        QVERIFY(makeCatalogue(dir.path(), {}));
        // A modal window would run its own event loop inside the call: the timer then finds it.
        bool shown = false;
        QTimer::singleShot(0, [&] {
            if (QWidget *w = QApplication::activeModalWidget()) {
                shown = true;
                w->close();
            }
        });
        db::Engine engine(dir.path());
        QVERIFY(tallyra::runProductListing(nullptr, engine, {}));
        QCoreApplication::processEvents();
        QVERIFY(!shown);
        QVERIFY(!QApplication::activeModalWidget());
        QVERIFY(Prompt::takeShown().isEmpty());
        QVERIFY(tallyra::reportBuffer().isEmpty());
    }

    void withoutProd5TheCommandReportsTheFatalOpen()
    {
        testsupport::TempDataDir dir;
        QVERIFY(makeCatalogue(dir.path(), sampleCatalogue()));
        QVERIFY(QFile::remove(dir.file(QStringLiteral("Prod5.DBF"))) ||
                QFile::remove(dir.file(QStringLiteral("Prod5.dbf"))));
        db::Engine engine(dir.path());
        QString failure;
        QVERIFY(!tallyra::runProductListing(nullptr, engine, {}, &failure));
        QCOMPARE(failure, QStringLiteral("Unable to open file Prod5.DBF\nProgram will now terminate."));
        QVERIFY(tallyra::reportBuffer().isEmpty());
    }
};

QTEST_MAIN(TestProductListing)
#include "tst_product_listing.moc"
