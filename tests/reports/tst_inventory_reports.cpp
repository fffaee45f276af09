// The inventory reports from a small business on disk whose figures are worked out by hand:
// "Stock On Hand", "Inventory" as of a day by both methods, "Cost of Goods Sold" for a month and
// the purchasing report; then the main window's report list running them through their dialogs
// into the viewer.

#include "AppTestSupport.h"
#include "CurrentPrinter.h"
#include "Database.h"
#include "DateSpanU.h"
#include "InventoryReports.h"
#include "MainU.h"
#include "Maintenance.h"
#include "NewBusiness.h"
#include "ProgramCommands.h"
#include "Prompt.h"
#include "Records.h"
#include "ReportBuffer.h"
#include "ReportFont.h"
#include "ReportText.h"
#include "ReportU.h"
#include "Settings.h"
#include "Tables.h"
#include "TestSupport.h"

#include <QAction>
#include <QDateEdit>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QPushButton>
#include <QTabWidget>
#include <QTableWidget>
#include <QTest>

using namespace tallyra;
using testsupport::ModalDriver;

namespace {

QDate d(int month, int day)
{
    return QDate(2024, month, day);
}

ProductRecord product(const QString &id, bool tracked, double reorder)
{
    ProductRecord p;
    p.PrID = id;
    p.PDesc = QStringLiteral("About ") + id.toLower();
    p.lInven = tracked;
    p.REORDER = reorder;
    return p;
}

PurchaseRecord purchase(const QString &id, const QDate &date, double qty, double cost)
{
    PurchaseRecord p;
    p.PURProd = id;
    p.PURDate = date;
    p.PURQty = qty;
    p.PURCost = cost;
    return p;
}

// The business: today is 20 March 2024.
//   ALPHA  tracked, reorder 10: 10 for 10.00 (10 Jan), 10 for 20.00 (10 Feb), 5 for 15.00 due
//          1 April; 15 sold 5 March, 2 sold 25 March (after today).
//   BETA   tracked, reorder 1: 4 for 8.00 bought 1 March.
//   EPS    tracked, no purchases: 2 sold 5 March.
//   GAMMA  not tracked: 3 for 30.00 bought 10 March.
//   DELTA  tracked, deleted.
//   ZETA   not in the catalogue: three purchases in March of 2.00 each.
// An item of ALPHA on a deleted invoice and one on an invoice number that does not exist.
bool makeBusiness(const QString &dir)
{
    if (!createBusiness(dir, false).ok())
        return false;
    db::Engine engine(dir);
    const OpenResult prod = openProducts(engine), pur = openPurchases(engine), inv = openInvoices(engine),
                     itm = openItems(engine);
    if (!prod || !pur || !inv || !itm)
        return false;
    bool ok = true;
    for (const ProductRecord &p :
         {product("EPS", true, 0), product("ALPHA", true, 10), product("GAMMA", false, 5),
          product("DELTA", true, 3), product("BETA", true, 1)}) {
        ok = ok && prod.table->appendBlank().isOk() && writeProduct(*prod.table, p).isOk();
        if (p.PrID == QStringLiteral("DELTA"))
            ok = ok && prod.table->markDeleted().isOk() && prod.table->flush().isOk();
    }
    for (const PurchaseRecord &p :
         {purchase("ZETA", d(3, 3), 1, 2), purchase("ALPHA", d(1, 10), 10, 10),
          purchase("BETA", d(3, 1), 4, 8), purchase("ALPHA", d(4, 1), 5, 15), purchase("ZETA", d(3, 2), 1, 2),
          purchase("GAMMA", d(3, 10), 3, 30), purchase("ALPHA", d(2, 10), 10, 20),
          purchase("ZETA", d(3, 3), 1, 2), purchase("DELTA", d(3, 4), 9, 9)})
        ok = ok && pur.table->appendBlank().isOk() && writePurchase(*pur.table, p).isOk();
    struct Sale
    {
        qint64 invoice;
        QDate date;
        QString id;
        double qty;
    };
    const Sale sales[] = {{1, d(3, 5), "ALPHA", 15},
                          {1, d(3, 5), "EPS", 2},
                          {2, d(3, 25), "ALPHA", 2},
                          {3, d(3, 6), "ALPHA", 50},
                          {4, d(3, 6), "ALPHA", 70}};
    for (const Sale &s : sales) {
        if (s.invoice != 4) { // number 4 has no invoice
            InvoiceRecord inv6;
            inv6.IvNo = s.invoice;
            inv6.IDate = s.date;
            ok = ok && inv.table->appendBlank().isOk() && writeInvoice(*inv.table, inv6).isOk();
            if (s.invoice == 3) // deleted invoice
                ok = ok && inv.table->markDeleted().isOk();
        }
        ItemRecord item;
        item.IvNo = s.invoice;
        item.PrID = s.id;
        item.Qty = s.qty;
        ok = ok && itm.table->appendBlank().isOk() && writeItem(*itm.table, item).isOk();
    }
    return ok && closeAllTables(engine).isOk();
}

// The rows whose first cell is a product, each as its cells without column codes.
QList<QStringList> productRows(const ReportBuffer &b, int firstCell = 0)
{
    QList<QStringList> rows;
    for (int row = 0; row < b.rowCount(); ++row) {
        const QString first = b.cell(firstCell, row);
        if (first.isEmpty() || first == QStringLiteral("EJECT") || b.cell(b.flagsCell() - 1, row).isEmpty() ||
            b.cell(0, row).startsWith(QStringLiteral("L00Page ")))
            continue;
        QStringList cells;
        for (int c = 0; c < b.flagsCell(); ++c)
            cells << b.cell(c, row).mid(3).trimmed();
        cells << b.flags(row);
        rows << cells;
    }
    return rows;
}

// Drops the heading rows each page repeats.
QList<QStringList> withoutHeadings(QList<QStringList> rows, const QString &heading)
{
    rows.removeIf([&](const QStringList &r) { return r.contains(heading); });
    return rows;
}

} // namespace

class TestInventoryReports : public QObject
{
    Q_OBJECT

    testsupport::TempDataDir m_dir;

private Q_SLOTS:
    void initTestCase()
    {
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        CurrentPrinter::useFilePrinter();
        ReportFont::reset();
        QVERIFY(makeBusiness(m_dir.path()));
    }

    void init()
    {
        Prompt::clearAnswers();
        Prompt::takeShown();
    }

    void stockOnHand()
    {
        db::Engine engine(m_dir.path());
        ReportBuffer b([] { return 60; });
        QStringList messages;
        ProgressDisplay progress{[&](const QString &m) { messages << m; }, {}, {}};
        const InventoryBuild build =
            buildStockOnHand(b, engine, CostingMethod::FirstInFirstOut, d(3, 20), progress);
        closeAllTables(engine);
        QVERIFY(build.ok());
        QCOMPARE(build.rows, 3);
        QCOMPARE(messages, QStringList{"Processing Inventory"});
        QCOMPARE(b.titles(), QStringList{"Stock On-Hand as of 3/20/24"});
        QCOMPARE(b.reportWidth(), 85);
        QCOMPARE(b.cellCount(), 7);
        QCOMPARE(b.headingRowCount(), 3);
        QCOMPARE(b.heading(5, 1), QStringLiteral("R85Need"));
        QCOMPARE(b.heading(3, 2), QStringLiteral("R65On-Order"));
        const QList<QStringList> rows = withoutHeadings(productRows(b), QStringLiteral("Product"));
        // ALPHA: 5 left of the lots less the 2 sold after today; 5 on order; 3 + 5 < 10.
        // EPS: sold 2 without a purchase. GAMMA (not tracked) and DELTA (deleted) are left out.
        const QList<QStringList> expected = {
            {"ALPHA", "About alpha", "3.00", "5.00", "10.00", "YES", "B"},
            {"BETA", "About beta", "4.00", "0.00", "1.00", "OK", ""},
            {"EPS", "About eps", "-2.00", "0.00", "0.00", "YES", "BU"},
        };
        QCOMPARE(rows, expected);
        // The bold rows reach the printed text: the viewer's rendering draws them bold.
        QVERIFY(reportExportText(b, TextLayout::Padded).contains("YES"));
    }

    void inventoryAsOfADay_data()
    {
        QTest::addColumn<bool>("fifo");
        QTest::addColumn<QDate>("asOf");
        QTest::addColumn<QString>("alpha");
        QTest::addColumn<QString>("total");
        // First in: the 15 sold come from January's lot and half of February's.
        QTest::newRow("first in, 20 March") << true << d(3, 20) << "5.00 10.00"
                                            << "18.00";
        QTest::newRow("last in, 20 March") << false << d(3, 20) << "5.00 5.00"
                                           << "13.00";
        // The sale of 25 March lowers the stock on hand but not the inventory of the 20th; on the
        // 31st it is counted.
        QTest::newRow("first in, 31 March") << true << d(3, 31) << "3.00 6.00"
                                            << "14.00";
        QTest::newRow("before the first purchase") << true << d(1, 9) << "0.00 0.00"
                                                   << "0.00";
    }

    void inventoryAsOfADay()
    {
        QFETCH(bool, fifo);
        QFETCH(QDate, asOf);
        QFETCH(QString, alpha);
        QFETCH(QString, total);
        db::Engine engine(m_dir.path());
        ReportBuffer b([] { return 60; });
        const InventoryBuild build = buildInventoryValue(b, engine, costingMethod(fifo), asOf, {});
        closeAllTables(engine);
        QVERIFY(build.ok());
        QCOMPARE(b.titles().value(0),
                 QStringLiteral("Inventory as of ") + asOf.toString(QStringLiteral("M/d/yy")));
        const QList<QStringList> rows = withoutHeadings(productRows(b), QStringLiteral("Product"));
        QCOMPARE(rows.size(), 3);
        QCOMPARE(rows[0][0], QStringLiteral("ALPHA"));
        QCOMPARE(rows[0][2] + ' ' + rows[0][3], alpha);
        QCOMPARE(rows[2][4], QStringLiteral("U")); // the last product row is ruled
        // The total row under the quantities.
        QCOMPARE(b.cell(2, b.curRow()), QStringLiteral("R52Total"));
        QCOMPARE(b.cell(3, b.curRow()).mid(3).trimmed(), total);
    }

    // March 2024, first in: beginning 30.00 (ALPHA's two lots; BETA bought on the 1st counts as a
    // purchase); purchases 8 + 30 (GAMMA, not tracked) + 3 x 2 (ZETA) + 9 (DELTA) = 53.00; ending
    // 14.00 (ALPHA 3 x 2.00, BETA 8.00).
    void costOfGoodsSold()
    {
        db::Engine engine(m_dir.path());
        ReportBuffer b([] { return 60; });
        GoodsSoldFigures f;
        QStringList messages;
        ProgressDisplay progress{[&](const QString &m) { messages << m; }, {}, {}};
        const InventoryBuild build =
            buildCostOfGoodsSold(b, engine, CostingMethod::FirstInFirstOut, d(3, 1), d(3, 31), progress, &f);
        closeAllTables(engine);
        QVERIFY(build.ok());
        QCOMPARE(messages, QStringList{"Processing Cost of Goods"});
        QCOMPARE(b.titles(), QStringList{"Cost of Goods Sold from 3/1/24 through 3/31/24"});
        QCOMPARE(f.beginning, 30.0);
        QCOMPARE(f.purchases, 53.0);
        QCOMPARE(f.ending, 14.0);
        const QList<QStringList> rows = withoutHeadings(productRows(b, 1), QStringLiteral("Amount"));
        const QList<QStringList> expected = {{"Beginning Inventory", "30.00", ""},
                                             {"Inventory Purchases", "53.00", "U"},
                                             {"Total", "83.00", ""},
                                             {"Ending Inventory", "14.00", "U"},
                                             {"Cost of Goods Sold", "69.00", ""}};
        QCOMPARE(rows, expected);
    }

    // March: ZETA's three purchases name it once, as "Not Found"; BETA, GAMMA and DELTA (marked
    // deleted but still in Prod5 until a pack) one row each; the total of the costs.
    void purchasingReport()
    {
        db::Engine engine(m_dir.path());
        ReportBuffer b([] { return 60; });
        const InventoryBuild build = buildPurchasingReport(b, engine, d(3, 1), d(3, 31), {});
        closeAllTables(engine);
        QVERIFY(build.ok());
        QCOMPARE(build.rows, 6);
        QCOMPARE(b.titles(), QStringList{"Purchasing Report for 3/1/24 through 3/31/24"});
        const QList<QStringList> rows = withoutHeadings(productRows(b, 2), QStringLiteral("Date"));
        const QList<QStringList> expected = {
            {"BETA", "About beta", "3/1/24", "4.00", "8.00", ""},
            {"DELTA", "About delta", "3/4/24", "9.00", "9.00", ""},
            {"GAMMA", "About gamma", "3/10/24", "3.00", "30.00", ""},
            {"ZETA", "Not Found", "3/2/24", "1.00", "2.00", ""},
            {"", "", "3/3/24", "1.00", "2.00", ""},
            {"", "", "3/3/24", "1.00", "2.00", "U"},
        };
        QCOMPARE(rows, expected);
        QCOMPARE(b.cell(0, b.curRow()), QStringLiteral("L00Total"));
        QCOMPARE(b.cell(4, b.curRow()), QStringLiteral("R71") + QString::asprintf("%13.2f", 53.0));

        // A span without purchases: no rows, and the command shows nothing and says nothing.
        db::Engine again(m_dir.path());
        ReportBuffer empty([] { return 60; });
        QCOMPARE(buildPurchasingReport(empty, again, d(5, 1), d(5, 31), {}).rows, 0);
        closeAllTables(again);
    }

    // A missing Pur5 is the program's fatal open; the report buffer is left empty.
    void withoutPur5TheCommandReportsTheFatalOpen()
    {
        testsupport::TempDataDir dir;
        QVERIFY(makeBusiness(dir.path()));
        QVERIFY(QFile::remove(dir.file(QStringLiteral("Pur5.DBF"))));
        db::Engine engine(dir.path());
        QString failure;
        QVERIFY(!runStockOnHand(nullptr, engine, {}, &failure));
        QCOMPARE(failure, QStringLiteral("Unable to open file Pur5.DBF\nProgram will now terminate."));
        QVERIFY(reportBuffer().isEmpty());
        QVERIFY(!engine.table(QStringLiteral("Prod5")));
    }

    // An index of the item table lost (a copy that left it behind): the report stops with the
    // message naming the file, and no file is written to.
    void aMissingItemIndexIsReported()
    {
        testsupport::TempDataDir dir;
        QVERIFY(makeBusiness(dir.path()));
        QStringList found;
        for (const QString &name : QDir(dir.path()).entryList(QDir::Files))
            if (name.compare(QStringLiteral("itmP.ntx"), Qt::CaseInsensitive) == 0)
                found << name;
        QCOMPARE(found.size(), 1);
        QVERIFY(QFile::remove(dir.file(found[0])));
        QStringList before;
        for (const QString &name : QDir(dir.path()).entryList(QDir::Files))
            before << name + QString::number(QFileInfo(dir.file(name)).lastModified().toMSecsSinceEpoch());
        db::Engine engine(dir.path());
        ReportBuffer b([] { return 60; });
        const InventoryBuild build =
            buildStockOnHand(b, engine, CostingMethod::FirstInFirstOut, d(3, 20), {});
        closeAllTables(engine);
        QVERIFY(!build.ok());
        // The program's message for an index it cannot open names the table's index file.
        QCOMPARE(build.openFailure,
                 QStringLiteral("Unable to open file Itm.Ntx\nProgram will now terminate."));
        QStringList after;
        for (const QString &name : QDir(dir.path()).entryList(QDir::Files))
            after << name + QString::number(QFileInfo(dir.file(name)).lastModified().toMSecsSinceEpoch());
        QCOMPARE(after, before);
    }

    // A business without inventory items: Stock On Hand says so instead of showing an empty page;
    // Cost of Goods Sold still counts every purchase of the span.
    void withoutInventoryItems()
    {
        testsupport::TempDataDir dir;
        QVERIFY(createBusiness(dir.path(), false).ok());
        {
            db::Engine engine(dir.path());
            const OpenResult prod = openProducts(engine), pur = openPurchases(engine);
            QVERIFY(prod && pur);
            QVERIFY(prod.table->appendBlank().isOk() &&
                    writeProduct(*prod.table, product("SVC", false, 0)).isOk());
            QVERIFY(pur.table->appendBlank().isOk() &&
                    writePurchase(*pur.table, purchase("SVC", d(3, 1), 2, 7.5)).isOk());
            QVERIFY(closeAllTables(engine).isOk());
        }
        db::Engine engine(dir.path());
        Prompt::setNextAnswers({QVariant::fromValue(Prompt::Answer::Ok)});
        QVERIFY(runStockOnHand(nullptr, engine, {}));
        QCOMPARE(Prompt::takeShown(), QStringList{"No product is marked as an inventory item."});
        QVERIFY(reportBuffer().isEmpty());
        ReportBuffer b([] { return 60; });
        GoodsSoldFigures f;
        QVERIFY(
            buildCostOfGoodsSold(b, engine, CostingMethod::LastInFirstOut, d(3, 1), d(3, 31), {}, &f).ok());
        closeAllTables(engine);
        QCOMPARE(f.purchases, 7.5);
        QCOMPARE(f.costOfGoods(), 7.5);
    }

    // The "Inventory Reports" list of the running program: "Inventory" asks for one day labelled
    // "Inventory as Of:", the preference picks the method, the viewer shows the report; "Cost of
    // Goods Sold" cancelled shows nothing; "Purchase Report" runs the purchasing report.
    void theReportListRunsThem()
    {
        testsupport::FixedClock clock(d(3, 20));
        testsupport::TempDataDir dir;
        QVERIFY(makeBusiness(dir.path()));
        SettingsRecord stored = apptest::storedSettings(dir.path());
        stored.fifo = false;
        QVERIFY(apptest::storeSettings(dir.path(), stored));
        TMain window;
        window.setDataDirectory(dir.path());
        window.setStartupClock(std::make_shared<apptest::ScriptedClock>(QList<qint64>{0, 5000}));
        registerProgramCommands(window);
        QVERIFY(window.start());
        window.findChild<QTabWidget *>(QStringLiteral("pageTabs"))->setCurrentIndex(2);
        QTest::mouseClick(window.findChild<QPushButton *>(QStringLiteral("inventoryReportsButton")),
                          Qt::LeftButton);
        auto *list = window.findChild<QTableWidget *>(QStringLiteral("reportList"));
        auto runEntry = [list](int row) {
            const QRect cell = list->visualRect(list->model()->index(row, 0));
            QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, cell.center());
            QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, cell.center());
        };
        QCOMPARE(list->item(1, 0)->text(), QStringLiteral("Inventory"));

        QString label, total, title;
        bool endShown = true;
        ModalDriver driver;
        driver.then<TDateSpan>([&](TDateSpan *dialog) {
            label = dialog->findChild<QLabel *>(QStringLiteral("beginLabel"))->text();
            endShown = dialog->findChild<QDateEdit *>(QStringLiteral("endDateEdit"))->isVisible();
            QCOMPARE(dialog->findChild<QDateEdit *>(QStringLiteral("beginDateEdit"))->date(), d(3, 20));
            QTest::mouseClick(dialog->findChild<QPushButton *>(QStringLiteral("okButton")), Qt::LeftButton);
        });
        driver.then<TReportF>([&](TReportF *viewer) {
            const ReportBuffer &b = reportBuffer();
            title = b.titles().value(0);
            total = b.cell(3, b.curRow()).mid(3).trimmed();
            viewer->findChild<QAction *>(QStringLiteral("exitAction"))->trigger();
        });
        driver.start();
        runEntry(1);
        QTRY_VERIFY(!total.isEmpty());
        QCOMPARE(label, QStringLiteral("Inventory as Of:"));
        QVERIFY(!endShown);
        QCOMPARE(title, QStringLiteral("Inventory as of 3/20/24"));
        QCOMPARE(total, QStringLiteral("13.00")); // last in first out, from the preference
        QVERIFY(reportBuffer().isEmpty());
        QVERIFY(!database().table(QStringLiteral("Pur5")));

        // Cancelled: no viewer, and the span dialog is back to two dates for the next caller.
        bool cancelled = false;
        ModalDriver second;
        second.then<TDateSpan>([&](TDateSpan *dialog) {
            cancelled = dialog->findChild<QDateEdit *>(QStringLiteral("endDateEdit"))->isVisible();
            QTest::mouseClick(dialog->findChild<QPushButton *>(QStringLiteral("cancelButton")),
                              Qt::LeftButton);
        });
        second.start();
        runEntry(2);
        QTRY_VERIFY(cancelled);
        QVERIFY(reportBuffer().isEmpty());

        // The "Purchase Report" button: the month of today, in the viewer.
        QString purchasing;
        ModalDriver third;
        third.then<TDateSpan>([&](TDateSpan *dialog) {
            QTest::mouseClick(dialog->findChild<QPushButton *>(QStringLiteral("okButton")), Qt::LeftButton);
        });
        third.then<TReportF>([&](TReportF *viewer) {
            purchasing = reportBuffer().titles().value(0);
            viewer->findChild<QAction *>(QStringLiteral("exitAction"))->trigger();
        });
        third.start();
        window.findChild<QTabWidget *>(QStringLiteral("pageTabs"))->setCurrentIndex(1);
        QTest::mouseClick(window.findChild<QPushButton *>(QStringLiteral("purchaseReportButton")),
                          Qt::LeftButton);
        QTRY_VERIFY(!purchasing.isEmpty());
        QCOMPARE(purchasing, QStringLiteral("Purchasing Report for 3/1/24 through 3/31/24"));
        window.close();
    }
};

QTEST_MAIN(TestInventoryReports)
#include "tst_inventory_reports.moc"
