// The pick-list mechanism without a display: real CUST5, INV6, Prod5 and Pur5 files in a temporary
// business, records appended in shuffled order so that tag order and record order differ, and the
// rows the grid shows compared with the order worked out here from the names themselves.

#include "Conversions.h"
#include "NewBusiness.h"
#include "PickGrid.h"
#include "PickLists.h"
#include "Records.h"
#include "Tables.h"
#include "TestSupport.h"

#include <QRandomGenerator>
#include <QTest>
#include <algorithm>
#include <memory>

using namespace tallyra;
using namespace testsupport;

namespace {

struct Person
{
    QString last;
    QString first;
    quint32 recNo = 0;
};

// The CName key of a customer, as the tag orders it: the upper-cased Last padded to its field,
// then First.
QByteArray nameKey(const Person &p)
{
    return keyUpper(p.last).leftJustified(40, ' ') + keyUpper(p.first).leftJustified(26, ' ');
}

QString rowName(const PickRow &row)
{
    return row.cells.value(0) + QLatin1Char('/') + row.cells.value(1);
}

} // namespace

class TestPickGrid : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TempDataDir> m_dir;
    std::unique_ptr<db::Engine> m_engine;
    QList<Person> m_sorted; // customers in CName order

    db::Table *customers() { return m_engine->table(QStringLiteral("CUST5")); }

    // A business whose CUST5 holds `count` customers, appended in shuffled order.
    void makeCustomers(int count, const QStringList &extraLastNames = {})
    {
        QList<Person> people;
        for (int i = 0; i < count; ++i)
            people.append(
                {QStringLiteral("Name%1").arg(i, 4, 10, QLatin1Char('0')), QStringLiteral("F%1").arg(i)});
        for (int i = 0; i < extraLastNames.size(); ++i)
            people.append({extraLastNames[i], QStringLiteral("X%1").arg(i)});
        QRandomGenerator random(count);
        std::shuffle(people.begin(), people.end(), random);

        db::Table *t = customers();
        for (Person &p : people) {
            QVERIFY(t->appendBlank().isOk());
            CustomerRecord c;
            c.CuNo = t->recNo();
            c.Last = p.last;
            c.First = p.first;
            c.NGroup = 1;
            c.Note = QStringLiteral("note %1").arg(p.first);
            QVERIFY(writeCustomer(*t, c).isOk());
            p.recNo = t->recNo();
        }
        std::sort(people.begin(), people.end(),
                  [](const Person &a, const Person &b) { return nameKey(a) < nameKey(b); });
        m_sorted = people;
    }

    // The names the grid must show with its first row at position top.
    QStringList expectedRows(qint64 top, int rows = PickGrid::kRows) const
    {
        QStringList names;
        for (qint64 i = top; i < top + rows && i < m_sorted.size(); ++i)
            names << m_sorted[i].last + QLatin1Char('/') + m_sorted[i].first;
        return names;
    }

    static QStringList shownRows(const PickGrid &grid)
    {
        QStringList names;
        for (const PickRow &row : grid.rows())
            names << rowName(row);
        return names;
    }

    PickGrid customerGrid() { return PickGrid(customerPickList(true).grid); }

private Q_SLOTS:
    void init()
    {
        m_dir = std::make_unique<TempDataDir>();
        QVERIFY(createBusiness(m_dir->path(), false).ok());
        m_engine = std::make_unique<db::Engine>(m_dir->path());
        QVERIFY(openCustomers(*m_engine).ok());
        m_sorted.clear();
    }

    void cleanup()
    {
        if (m_engine)
            closeAllTables(*m_engine);
        m_engine.reset();
        m_dir.reset();
    }

    void emptyTableShowsNoRows()
    {
        PickGrid grid = customerGrid();
        grid.open(customers(), 0);
        QVERIFY(grid.isEmpty());
        QVERIFY(grid.rows().isEmpty());
        QCOMPARE(grid.currentRow(), -1);
        QCOMPARE(grid.currentRecNo(), 0u);
        QVERIFY(!grid.scrollable());
        grid.pageDown();
        grid.keyDown();
        QVERIFY(grid.search(QStringLiteral("A"))); // sought, but nothing to find
        QVERIFY(grid.rows().isEmpty());
        QVERIFY(grid.takeError().isOk());
    }

    // Ten records or fewer: all shown from the first row, no scrolling, every paging input leaves
    // the list as it is; the caller's record is still the one selected.
    void tenOrFewerNeverScroll()
    {
        makeCustomers(7);
        PickGrid grid = customerGrid();
        const Person &fifth = m_sorted[4];
        grid.open(customers(), fifth.recNo);
        QCOMPARE(shownRows(grid), expectedRows(0));
        QVERIFY(!grid.scrollable());
        QCOMPARE(grid.top(), 0);
        QCOMPARE(grid.currentRow(), 4);
        for (auto move : {&PickGrid::pageDown, &PickGrid::pageUp, &PickGrid::end, &PickGrid::home,
                          &PickGrid::lineDown, &PickGrid::lineUp}) {
            (grid.*move)();
            QCOMPARE(shownRows(grid), expectedRows(0));
            QCOMPARE(grid.currentRow(), 4);
        }
        grid.thumbReleased(100);
        QCOMPARE(grid.top(), 0);
        // The arrow keys only move the selection.
        for (int i = 0; i < 5; ++i)
            grid.keyDown();
        QCOMPARE(grid.currentRow(), 6);
        QCOMPARE(shownRows(grid), expectedRows(0));
    }

    // 25 records, the caller's record at position 20: top becomes 15 (the last top) and the record
    // shows in row 6. Then every scrolling input moves top as the list promises.
    void twentyFiveRecordsOpenedNearTheEnd()
    {
        makeCustomers(25);
        PickGrid grid = customerGrid();
        grid.open(customers(), m_sorted[20].recNo);
        QCOMPARE(grid.lastTop(), 15);
        QCOMPARE(grid.top(), 15);
        QVERIFY(grid.topExact());
        QCOMPARE(grid.currentRow(), 5);
        QCOMPARE(grid.currentRecNo(), m_sorted[20].recNo);
        QCOMPARE(shownRows(grid), expectedRows(15));
        QCOMPARE(grid.scrollPosition(), 100);

        grid.pageUp();
        QCOMPARE(grid.top(), 5);
        QCOMPARE(shownRows(grid), expectedRows(5));
        QCOMPARE(grid.currentRow(), 0); // customer list: the first row when the target is gone
        QCOMPARE(grid.scrollPosition(), 33);
        grid.pageUp();
        QCOMPARE(grid.top(), 0); // clamped
        grid.lineUp();
        QCOMPARE(grid.top(), 0);
        QCOMPARE(shownRows(grid), expectedRows(0));
        grid.pageDown();
        grid.pageDown();
        QCOMPARE(grid.top(), 15); // 20 clamped to the last top
        QCOMPARE(shownRows(grid), expectedRows(15));
        grid.home();
        grid.lineDown();
        QCOMPARE(grid.top(), 1);
        QCOMPARE(shownRows(grid), expectedRows(1));
        grid.end();
        QCOMPARE(grid.top(), 15);
        grid.thumbReleased(40); // 40 * 15 / 100 = 6
        QCOMPARE(grid.top(), 6);
        QCOMPARE(shownRows(grid), expectedRows(6));
        QCOMPARE(grid.scrollPosition(), 40);

        // Down on the last row scrolls one record and keeps the last row on the record that came
        // into view; Up on the first row likewise.
        grid.setCurrentRow(9);
        grid.keyDown();
        QCOMPARE(grid.top(), 7);
        QCOMPARE(grid.currentRow(), 9);
        QCOMPARE(grid.currentRecNo(), m_sorted[16].recNo);
        grid.setCurrentRow(0);
        grid.keyUp();
        grid.keyUp();
        QCOMPARE(grid.top(), 5);
        QCOMPARE(grid.currentRow(), 0);
        QCOMPARE(grid.currentRecNo(), m_sorted[5].recNo);
        QVERIFY(grid.takeError().isOk());
    }

    // A list enlarged to more rows keeps its first row and its current record, shows the rows
    // that fit, pages by them and stops a page short of the end; one taller than the table shows
    // it all without scrolling. Asking for fewer than ten keeps ten.
    void rowCountFollowsTheWindow()
    {
        makeCustomers(25);
        PickGrid grid = customerGrid();
        grid.open(customers(), m_sorted[8].recNo);
        grid.home();
        grid.lineDown();
        grid.setCurrentRow(7); // m_sorted[8]
        grid.setRowCount(15);
        QCOMPARE(grid.rowCount(), 15);
        QCOMPARE(grid.lastTop(), 10);
        QCOMPARE(grid.top(), 1);
        QCOMPARE(shownRows(grid), expectedRows(1, 15));
        QCOMPARE(grid.currentRecNo(), m_sorted[8].recNo);
        grid.pageDown();
        QCOMPARE(grid.top(), 10); // 16 clamped to the last top
        QCOMPARE(shownRows(grid), expectedRows(10, 15));
        grid.setRowCount(20); // at the end: the first row moves up so that the last stays full
        QCOMPARE(grid.top(), 5);
        QCOMPARE(shownRows(grid), expectedRows(5, 20));
        grid.pageUp();
        QCOMPARE(grid.top(), 0);
        grid.setRowCount(30);
        QVERIFY(!grid.scrollable());
        QCOMPARE(shownRows(grid), expectedRows(0, 25));
        grid.setRowCount(4);
        QCOMPARE(grid.rowCount(), PickGrid::kRows);
        QCOMPARE(shownRows(grid), expectedRows(0));
        QVERIFY(grid.takeError().isOk());
    }

    // The product list keeps the current row when its target leaves the view (the customer list
    // goes back to the first row); a target that does not exist opens on the first record.
    void productListKeepsItsRowAndMissingTargetsOpenAtTheTop()
    {
        OpenResult products = openProducts(*m_engine);
        QVERIFY(products.ok());
        for (int i = 0; i < 30; ++i) {
            QVERIFY(products.table->appendBlank().isOk());
            ProductRecord p;
            p.PrID = QStringLiteral("P%1").arg(29 - i, 2, 10, QLatin1Char('0'));
            p.UPrice = i + 0.5;
            QVERIFY(writeProduct(*products.table, p).isOk());
        }
        PickGrid grid(productPickList().grid);
        grid.open(products.table, 9999);
        QCOMPARE(grid.top(), 0);
        QCOMPARE(grid.currentRow(), 0);
        QCOMPARE(grid.rows().first().cells, (QStringList{"P00", "", "   29.50"}));
        grid.setCurrentRow(3);
        grid.pageDown();
        QCOMPARE(grid.currentRow(), 3);
        QCOMPARE(grid.rows()[3].cells.first(), QStringLiteral("P13"));
    }

    // Typing narrows, deleting back to the same text seeks no more; case and blanks around the
    // text do not count as a change. A text past the last key leaves the list where it is.
    void searchSeeksOncePerChange()
    {
        makeCustomers(40, {"Smale", "Smith", "Smithers", "Smythe", "Snow", "Adams"});
        PickGrid grid = customerGrid();
        grid.open(customers(), 0);
        QCOMPARE(grid.seeks(), 0);

        QVERIFY(grid.search(QStringLiteral("s")));
        QVERIFY(grid.search(QStringLiteral("sm")));
        QCOMPARE(rowName(grid.rows()[grid.currentRow()]), QStringLiteral("Smale/X0"));
        QVERIFY(grid.search(QStringLiteral("smi")));
        QCOMPARE(rowName(grid.rows()[grid.currentRow()]), QStringLiteral("Smith/X1"));
        QVERIFY(grid.search(QStringLiteral("smith")));
        QVERIFY(grid.search(QStringLiteral("smithe")));
        QCOMPARE(rowName(grid.rows()[grid.currentRow()]), QStringLiteral("Smithers/X2"));
        QCOMPARE(grid.seeks(), 5);
        QVERIFY(grid.search(QStringLiteral("smi")));
        QVERIFY(grid.search(QStringLiteral("sm")));
        QCOMPARE(grid.seeks(), 7);
        QCOMPARE(grid.lastSearchText(), QByteArray("SM"));
        QVERIFY(!grid.search(QStringLiteral("SM")));
        QVERIFY(!grid.search(QStringLiteral(" sm ")));
        QCOMPARE(grid.seeks(), 7);
        QCOMPARE(rowName(grid.rows()[grid.currentRow()]), QStringLiteral("Smale/X0"));

        // The found record is placed as on opening: its position is the top unless near the end.
        const qint64 smale = std::find_if(m_sorted.begin(), m_sorted.end(),
                                          [](const Person &p) { return p.last == QLatin1String("Smale"); }) -
                             m_sorted.begin();
        QCOMPARE(grid.top(), std::min<qint64>(smale, grid.lastTop()));
        QCOMPARE(shownRows(grid), expectedRows(grid.top()));

        const QStringList before = shownRows(grid);
        const int row = grid.currentRow();
        QVERIFY(grid.search(QStringLiteral("ZZZ")));
        QCOMPARE(shownRows(grid), before);
        QCOMPARE(grid.currentRow(), row);
        QVERIFY(grid.takeError().isOk());
    }

    // Invoice numbers are keys of six characters: 12 finds invoice 12, not 120, and a missing
    // number finds the next one. Mask blanks and spaces do not count.
    void invoiceSearchPadsTheNumber()
    {
        OpenResult invoices = openInvoices(*m_engine);
        QVERIFY(invoices.ok());
        for (qint64 n : {120, 5, 121, 12, 1200, 13, 7, 15, 100, 11, 14, 3}) {
            QVERIFY(invoices.table->appendBlank().isOk());
            InvoiceRecord r;
            r.IvNo = n;
            r.IDate = QDate(2024, 3, 1);
            r.IMemo = QStringLiteral("memo %1").arg(n);
            QVERIFY(writeInvoice(*invoices.table, r).isOk());
        }
        invoices.table->flush();
        PickGrid grid(invoicePickList().grid);
        grid.open(invoices.table, 0);
        const auto currentNumber = [&] { return grid.rows()[grid.currentRow()].cells.first().trimmed(); };

        QCOMPARE(PickGrid::searchKey(QStringLiteral("12"), PickGrid::SearchKind::InvoiceNumber),
                 QByteArray("    12"));
        QCOMPARE(PickGrid::searchKey(QStringLiteral("12____"), PickGrid::SearchKind::InvoiceNumber),
                 QByteArray("    12"));
        QVERIFY(grid.search(QStringLiteral("12")));
        QCOMPARE(currentNumber(), QStringLiteral("12"));
        QCOMPARE(grid.rows()[grid.currentRow()].cells[0], QStringLiteral("    12"));
        QVERIFY(grid.search(QStringLiteral("120")));
        QCOMPARE(currentNumber(), QStringLiteral("120"));
        QVERIFY(grid.search(QStringLiteral("101"))); // none: the next number
        QCOMPARE(currentNumber(), QStringLiteral("120"));
        QVERIFY(grid.search(QStringLiteral("4")));
        QCOMPARE(currentNumber(), QStringLiteral("5"));
        QVERIFY(!grid.search(QStringLiteral(" 4 ")));
    }

    // A record marked deleted stays listed, with the marker in its list's column.
    void deletedRecordsCarryTheirMarker()
    {
        makeCustomers(3);
        db::Table *t = customers();
        QVERIFY(t->go(m_sorted[1].recNo));
        QVERIFY(t->markDeleted().isOk());
        QVERIFY(t->flush().isOk());
        PickGrid grid = customerGrid();
        grid.open(t, 0);
        QCOMPARE(grid.rows().size(), 3);
        QCOMPARE(grid.rows()[1].cells, (QStringList{m_sorted[1].last, m_sorted[1].first, "< DELETED >"}));
        QVERIFY(grid.rows()[1].deleted);
        QCOMPARE(grid.rows()[0].cells[2], QStringLiteral("note ") + m_sorted[0].first);

        OpenResult purchases = openPurchases(*m_engine);
        QVERIFY(purchases.ok());
        QVERIFY(purchases.table->appendBlank().isOk());
        PurchaseRecord p;
        p.PURProd = QStringLiteral("AB-1");
        p.PURDate = QDate(2024, 1, 31);
        p.PURQty = 3;
        p.PURCost = 1234.5;
        QVERIFY(writePurchase(*purchases.table, p).isOk());
        PickGrid purchaseGrid(purchasePickList().grid);
        purchaseGrid.open(purchases.table, 0);
        QCOMPARE(purchaseGrid.rows()[0].cells,
                 (QStringList{"AB-1", formatShortDate(p.PURDate), "      3.00", "     1234.50"}));
        QVERIFY(purchases.table->go(1));
        QVERIFY(purchases.table->markDeleted().isOk());
        purchaseGrid.open(purchases.table, 0);
        QCOMPARE(purchaseGrid.rows()[0].cells[3], QStringLiteral("<DELETED>"));
    }

    // Far from both ends of a large table the top is estimated, yet every row shown is the one an
    // exact count would show: opening on targets, searching and paging in both directions until
    // the ends make the top exact again.
    void estimatedTopsShowTheSameRows()
    {
        makeCustomers(400);
        PickGrid grid = customerGrid();
        grid.setExactLimit(32);
        for (int pos : {0, 5, 31, 33, 40, 150, 199, 200, 301, 365, 366, 367, 380, 389, 390, 399}) {
            grid.open(customers(), m_sorted[pos].recNo);
            const qint64 top = std::min<qint64>(pos, 390);
            QCOMPARE(shownRows(grid), expectedRows(top));
            QCOMPARE(grid.currentRecNo(), m_sorted[pos].recNo);
            if (grid.topExact())
                QCOMPARE(grid.top(), top);
            else
                QVERIFY2(pos > 32 && pos < 367, qPrintable(QString::number(pos)));
        }

        grid.open(customers(), m_sorted[200].recNo);
        QVERIFY(!grid.topExact());
        qint64 top = 200;
        for (int i = 0; i < 25; ++i) {
            grid.pageDown();
            top = std::min<qint64>(top + 10, 390);
            QCOMPARE(shownRows(grid), expectedRows(top));
        }
        QVERIFY(grid.topExact());
        QCOMPARE(grid.top(), 390);
        QCOMPARE(grid.scrollPosition(), 100);
        grid.open(customers(), m_sorted[200].recNo);
        top = 200;
        for (int i = 0; i < 30; ++i) {
            (i % 3 == 0) ? grid.lineUp() : grid.pageUp();
            top = std::max<qint64>(top - ((i % 3 == 0) ? 1 : 10), 0);
            QCOMPARE(shownRows(grid), expectedRows(top));
        }
        QVERIFY(grid.topExact());
        QCOMPARE(grid.top(), 0);

        // The thumb lands near its share of the table; the rows are whole and consecutive.
        grid.thumbReleased(50);
        const QStringList rows = shownRows(grid);
        const qint64 landed = expectedRows(0, 400).indexOf(rows.first());
        QVERIFY2(std::abs(landed - 195) <= 40, qPrintable(QString::number(landed)));
        QCOMPARE(rows, expectedRows(landed));
        QVERIFY(grid.scrollPosition() > 30 && grid.scrollPosition() < 70);

        grid.search(QStringLiteral("NAME0250"));
        QCOMPARE(grid.currentRecNo(), m_sorted[250].recNo);
        QCOMPARE(shownRows(grid), expectedRows(250));
        QVERIFY(grid.takeError().isOk());
    }
};

QTEST_GUILESS_MAIN(TestPickGrid)
#include "tst_pick_grid.moc"
