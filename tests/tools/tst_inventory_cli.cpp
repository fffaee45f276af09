// The inventory reports of tallyra-report, run as a user runs them on a business whose figures are
// worked out by hand: the costing option against the preference, the dates, and the exit statuses.

#include "NewBusiness.h"
#include "Records.h"
#include "Settings.h"
#include "Tables.h"
#include "TestSupport.h"

#include <QProcess>
#include <QTest>

using namespace tallyra;

namespace {

QDate d(int month, int day)
{
    return QDate(2024, month, day);
}

// A date as the reports print it: the short format of the locale the programs run in.
QString shown(const QDate &date)
{
    return QLocale::system().toString(date, QLocale::ShortFormat).simplified();
}

// ALPHA (tracked, reorder 10): 10 for 10.00 on 10 January, 10 for 20.00 on 10 February, 15 sold
// on 5 March. GAMMA (not tracked): 3 for 30.00 on 10 March. The preference is last in first out.
bool makeBusiness(const QString &dir)
{
    if (!createBusiness(dir, false).ok())
        return false;
    db::Engine engine(dir);
    const OpenResult prod = openProducts(engine), pur = openPurchases(engine), inv = openInvoices(engine),
                     itm = openItems(engine), tlr = openSettingsTable(engine);
    if (!prod || !pur || !inv || !itm || !tlr)
        return false;
    bool ok = true;
    for (const auto &[id, tracked] : {std::pair{"ALPHA", true}, std::pair{"GAMMA", false}}) {
        ProductRecord p;
        p.PrID = QString::fromLatin1(id);
        p.PDesc = QStringLiteral("About ") + p.PrID.toLower();
        p.lInven = tracked;
        p.REORDER = 10;
        ok = ok && prod.table->appendBlank().isOk() && writeProduct(*prod.table, p).isOk();
    }
    struct Bought
    {
        const char *id;
        QDate date;
        double qty, cost;
    };
    for (const Bought &b : {Bought{"ALPHA", d(1, 10), 10, 10}, Bought{"ALPHA", d(2, 10), 10, 20},
                            Bought{"GAMMA", d(3, 10), 3, 30}}) {
        PurchaseRecord p;
        p.PURProd = QString::fromLatin1(b.id);
        p.PURDate = b.date;
        p.PURQty = b.qty;
        p.PURCost = b.cost;
        ok = ok && pur.table->appendBlank().isOk() && writePurchase(*pur.table, p).isOk();
    }
    InvoiceRecord invoice;
    invoice.IvNo = 1;
    invoice.IDate = d(3, 5);
    ItemRecord item;
    item.IvNo = 1;
    item.PrID = QStringLiteral("ALPHA");
    item.Qty = 15;
    ok = ok && inv.table->appendBlank().isOk() && writeInvoice(*inv.table, invoice).isOk() &&
         itm.table->appendBlank().isOk() && writeItem(*itm.table, item).isOk();
    ok = ok && closeAllTables(engine).isOk();
    // The preference: last in first out.
    SettingsRecord s;
    ok = ok && loadSettings(engine).ok();
    s = settings();
    s.fifo = false;
    ok = ok && saveSettings(engine, s).ok();
    return ok && closeAllTables(engine).isOk();
}

} // namespace

class TestInventoryCli : public QObject
{
    Q_OBJECT

    testsupport::TempDataDir m_dir;

private Q_SLOTS:
    void initTestCase() { QVERIFY(makeBusiness(m_dir.path())); }

    void reports_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QStringList>("lines"); // each must appear as a line, blanks squeezed
        QTest::addColumn<QString>("error");

        QTest::newRow("inventory by the preference (last in)")
            << QStringList{"inventory", "--date", "2024-03-20"} << 0
            << QStringList{"ALPHA About alpha 5.00 5.00", "Total 5.00"} << QString();
        QTest::newRow("inventory, first in")
            << QStringList{"inventory", "--date", "2024-03-20", "--costing", "fifo"} << 0
            << QStringList{"ALPHA About alpha 5.00 10.00", "Total 10.00"} << QString();
        QTest::newRow("inventory before the sale")
            << QStringList{"inventory", "--date", "2024-03-04", "--costing", "FIFO"} << 0
            << QStringList{"ALPHA About alpha 20.00 30.00"} << QString();
        // March: beginning 30.00, purchases 30.00 (GAMMA, not tracked), ending 10.00 or 5.00.
        QTest::newRow("cost of goods, first in")
            << QStringList{"cogs", "--from", "2024-03-01", "--to", "2024-03-31", "--costing", "fifo"} << 0
            << QStringList{"Beginning Inventory 30.00", "Inventory Purchases 30.00", "Total 60.00",
                           "Ending Inventory 10.00", "Cost of Goods Sold 50.00"}
            << QString();
        QTest::newRow("cost of goods, last in")
            << QStringList{"cogs", "--from", "2024-03-01", "--to", "2024-03-31"} << 0
            << QStringList{"Ending Inventory 5.00", "Cost of Goods Sold 55.00"} << QString();
        QTest::newRow("stock on hand") << QStringList{"stock-on-hand", "--today", "2024-03-20"} << 0
                                       << QStringList{"ALPHA About alpha 5.00 0.00 10.00 YES"} << QString();
        QTest::newRow("purchasing") << QStringList{"purchasing", "--from", "2024-01-01", "--to", "2024-03-31"}
                                    << 0
                                    << QStringList{"ALPHA About alpha " + shown(d(1, 10)) + " 10.00 10.00",
                                                   shown(d(2, 10)) + " 10.00 20.00",
                                                   "GAMMA About gamma " + shown(d(3, 10)) + " 3.00 30.00",
                                                   "Total 60.00"}
                                    << QString();
        QTest::newRow("no purchases in the span")
            << QStringList{"purchasing", "--from", "2024-05-01", "--to", "2024-05-31"} << 1 << QStringList{}
            << "No Purchases within selected dates.";
        QTest::newRow("span the wrong way round")
            << QStringList{"cogs", "--from", "2024-03-31", "--to", "2024-03-01"} << 2 << QStringList{}
            << "--from is after --to";
        QTest::newRow("unknown costing")
            << QStringList{"inventory", "--costing", "average"} << 2 << QStringList{} << "--costing";
    }

    void reports()
    {
        QFETCH(QStringList, args);
        QFETCH(int, exitCode);
        QFETCH(QStringList, lines);
        QFETCH(QString, error);
        QProcess p;
        p.start(testsupport::binPath(QStringLiteral("tallyra-report")),
                QStringList{"--dir", m_dir.path()} + args);
        QVERIFY(p.waitForFinished(60000));
        const QString out = QString::fromUtf8(p.readAllStandardOutput());
        const QString err = QString::fromLocal8Bit(p.readAllStandardError());
        QCOMPARE(p.exitCode(), exitCode);
        QStringList squeezed;
        for (const QString &line : out.split(QLatin1Char('\n')))
            squeezed << line.simplified();
        for (const QString &line : lines)
            QVERIFY2(squeezed.contains(line), qPrintable(line + QStringLiteral(" not in:\n") + out));
        if (!error.isEmpty())
            QVERIFY2(err.contains(error), qPrintable(err));
    }
};

QTEST_GUILESS_MAIN(TestInventoryCli)
#include "tst_inventory_cli.moc"
