// The pick-list windows driven offscreen over a real business: what the grid shows, its hidden
// "RecNo" column, the keys, the scroll bar and the search box; the "Group:" and "Customer:"
// boxes; and the group list box.

#include "Conversions.h"
#include "NewBusiness.h"
#include "PickCustU.h"
#include "PickGroupU.h"
#include "PickInvU.h"
#include "PickProdU.h"
#include "PickPurU.h"
#include "Prompt.h"
#include "RecordTestSupport.h"
#include "Records.h"
#include "Settings.h"
#include "Tables.h"
#include "TestSupport.h"

#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QScopeGuard>
#include <QScrollBar>
#include <QStyle>
#include <QTableWidget>
#include <memory>

using namespace tallyra;
using namespace testsupport;
using namespace recordtest;

namespace {

QTableWidget *gridOf(QWidget *w)
{
    return child<QTableWidget>(w, "pickGrid");
}

QString cell(QWidget *w, int row, int column)
{
    QTableWidgetItem *item = gridOf(w)->item(row, column);
    return item ? item->text() : QString();
}

QString currentCell(QWidget *w, int column)
{
    return cell(w, gridOf(w)->currentRow(), column);
}

} // namespace

class TestPickWindows : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TempDataDir> m_dir;
    std::unique_ptr<db::Engine> m_engine;
    QList<quint32> m_byName; // customers' records in name order

    // 25 customers "C00".."C24" appended in reverse order, in groups 1 and 2.
    void addCustomers()
    {
        for (const GroupRecord &g :
             {GroupRecord{1, QStringLiteral("Retail")}, GroupRecord{2, QStringLiteral("Trade")}})
            QVERIFY(appendRecord(openGroups(*m_engine), g, writeGroup));
        m_byName = QList<quint32>(25, 0);
        for (int i = 24; i >= 0; --i) {
            CustomerRecord c;
            c.CuNo = 100 + i;
            c.Last = QStringLiteral("C%1").arg(i, 2, 10, QLatin1Char('0'));
            c.First = QStringLiteral("Ann");
            c.EMail = QStringLiteral("z%1@example.com").arg(24 - i, 2, 10, QLatin1Char('0'));
            c.NGroup = i % 2 ? 2 : 1;
            m_byName[i] = appendRecord(openCustomers(*m_engine), c, writeCustomer);
            QVERIFY(m_byName[i] != 0);
        }
    }

    // 25 records of the kind a list shows (60 groups, since the group list shows them all),
    // keyed "00".."24" after a prefix; the record numbers by key.
    QMap<QString, quint32> addRecords(const QString &kind)
    {
        const int count = kind == QLatin1String("groups") ? 60 : 25;
        QMap<QString, quint32> records;
        if (kind == QLatin1String("customers")) {
            addCustomers();
            for (int i = 0; i < 25; ++i)
                records[QStringLiteral("C%1").arg(i, 2, 10, QLatin1Char('0'))] = m_byName[i];
            return records;
        }
        for (int i = count - 1; i >= 0; --i) {
            const QString key = QStringLiteral("%1").arg(i, 2, 10, QLatin1Char('0'));
            db::Table *t = nullptr;
            db::Status written;
            if (kind == QLatin1String("products")) {
                t = openProducts(*m_engine).table;
                ProductRecord r;
                r.PrID = QStringLiteral("P") + key;
                r.PDesc = QStringLiteral("Product ") + key;
                r.UPrice = i + 0.5;
                written = t->appendBlank().isOk() ? writeProduct(*t, r) : t->takeError();
                records[r.PrID] = t->recNo();
            } else if (kind == QLatin1String("invoices")) {
                t = openInvoices(*m_engine).table;
                InvoiceRecord r;
                r.IvNo = i + 1;
                r.CuNo = 1;
                r.IDate = QDate(2024, 2, 1).addDays(i);
                written = t->appendBlank().isOk() ? writeInvoice(*t, r) : t->takeError();
                records[QString::fromLatin1(numberKey(r.IvNo, 6))] = t->recNo();
            } else if (kind == QLatin1String("purchases")) {
                t = openPurchases(*m_engine).table;
                PurchaseRecord r;
                r.PURProd = QStringLiteral("P") + key;
                r.PURDate = QDate(2088, 12, 28).addDays(-i);
                r.PURQty = 1;
                r.PURCost = 9.5;
                written = t->appendBlank().isOk() ? writePurchase(*t, r) : t->takeError();
                records[r.PURProd] = t->recNo();
            } else {
                t = openGroups(*m_engine).table;
                GroupRecord r{i + 1, QStringLiteral("G") + key};
                written = t->appendBlank().isOk() ? writeGroup(*t, r) : t->takeError();
                records[r.cGroup] = t->recNo();
            }
            if (!written.isOk() || !t->flush().isOk())
                return {};
        }
        return records;
    }

private Q_SLOTS:
    void init()
    {
        m_dir = std::make_unique<TempDataDir>();
        QVERIFY(createBusiness(m_dir->path(), false).ok());
        m_engine = std::make_unique<db::Engine>(m_dir->path());
        settings() = defaultSettings();
        settings().ByCust = true;
        Prompt::clearAnswers();
        Prompt::takeShown();
    }

    void cleanup()
    {
        while (QWidget *w = QApplication::activeModalWidget())
            w->close();
        Prompt::clearAnswers();
        if (m_engine)
            closeAllTables(*m_engine);
        m_engine.reset();
        m_dir.reset();
    }

    // 25 customers, the caller's at position 20: rows C15..C24 with C20 selected in row 6, the
    // scroll bar at its end, the group of the selected customer beside; the keys and the scroll
    // bar page through the list; Enter chooses the current row's record.
    void customerListOpensOnTheCallersRecord()
    {
        addCustomers();
        ModalDriver driver;
        driver.then("pickCustomerDialog", [this](QWidget *w) {
            QTableWidget *grid = gridOf(w);
            auto *scroll = child<QScrollBar>(w, "pickScrollBar");
            QCOMPARE(grid->rowCount(), 10);
            QCOMPARE(cell(w, 0, 0), QStringLiteral("C15"));
            QCOMPARE(cell(w, 9, 0), QStringLiteral("C24"));
            QCOMPARE(grid->currentRow(), 5);
            QCOMPARE(currentCell(w, 3), QString::number(m_byName[20]));
            QVERIFY(grid->isColumnHidden(3));
            QCOMPARE(grid->horizontalHeaderItem(3)->text(), QStringLiteral("RecNo"));
            QVERIFY(scroll->isVisible());
            QCOMPARE(scroll->value(), 100);
            QCOMPARE(child<QLineEdit>(w, "groupEdit")->text(), QStringLiteral("Retail"));
            // Three columns in widths of "B": 20, 13 and 34 letters.
            const int b = grid->fontMetrics().horizontalAdvance(QLatin1Char('B'));
            QCOMPARE(grid->columnWidth(0), 20 * b);
            QCOMPARE(grid->columnWidth(2), 34 * b);

            QTest::keyClick(grid, Qt::Key_Down);
            QCOMPARE(currentCell(w, 0), QStringLiteral("C21"));
            QCOMPARE(child<QLineEdit>(w, "groupEdit")->text(), QStringLiteral("Trade"));
            QTest::keyClick(grid, Qt::Key_PageUp);
            QCOMPARE(cell(w, 0, 0), QStringLiteral("C05"));
            QCOMPARE(grid->currentRow(), 0);
            QCOMPARE(scroll->value(), 33);
            QTest::keyClick(grid, Qt::Key_Home);
            QCOMPARE(cell(w, 0, 0), QStringLiteral("C00"));
            QTest::keyClick(grid, Qt::Key_Up); // already at the top
            QCOMPARE(cell(w, 0, 0), QStringLiteral("C00"));
            scroll->triggerAction(QAbstractSlider::SliderPageStepAdd);
            QCOMPARE(cell(w, 0, 0), QStringLiteral("C10"));
            QCOMPARE(scroll->value(), 66);
            scroll->triggerAction(QAbstractSlider::SliderSingleStepSub);
            QCOMPARE(cell(w, 0, 0), QStringLiteral("C09"));
            // Dragging the thumb moves nothing until it is released.
            scroll->setSliderDown(true);
            scroll->setSliderPosition(20);
            QCOMPARE(cell(w, 0, 0), QStringLiteral("C09"));
            scroll->setSliderDown(false);
            QCOMPARE(cell(w, 0, 0), QStringLiteral("C03")); // 20 * 15 / 100
            QCOMPARE(scroll->value(), 20);
            QTest::keyClick(grid, Qt::Key_End);
            QCOMPARE(cell(w, 9, 0), QStringLiteral("C24"));
            grid->setCurrentCell(9, 0);
            QTest::keyClick(grid, Qt::Key_Down); // the end: nothing further
            QCOMPARE(currentCell(w, 0), QStringLiteral("C24"));
            grid->setCurrentCell(2, 0);
            QTest::keyClick(grid, Qt::Key_Return);
        });
        TPickCust list(*m_engine);
        QCOMPARE(runPick(list, m_byName[20], true, driver), qint64(m_byName[17]));
    }

    // Typing SM, more letters and back to SM seeks once per change of the text; the list moves to
    // the first name at or after the text, and a text past the last name leaves it where it is.
    void searchBoxSeeksOncePerChange()
    {
        addCustomers();
        for (const char *name : {"Smale", "Smith", "Smythe"}) {
            CustomerRecord c;
            c.Last = QString::fromLatin1(name);
            c.NGroup = 1;
            QVERIFY(appendRecord(openCustomers(*m_engine), c, writeCustomer));
        }
        ModalDriver driver;
        driver.then("pickCustomerDialog", [](QWidget *w) {
            auto *list = qobject_cast<PickGridDialog *>(w);
            auto *search = child<QLineEdit>(w, "searchEdit");
            QTRY_VERIFY(search->hasFocus());
            QTest::keyClicks(search, "sm");
            QCOMPARE(list->grid().seeks(), 2);
            QCOMPARE(currentCell(w, 0), QStringLiteral("Smale"));
            QTest::keyClicks(search, "it");
            QCOMPARE(currentCell(w, 0), QStringLiteral("Smith"));
            QTest::keyClick(search, Qt::Key_Backspace);
            QTest::keyClick(search, Qt::Key_Backspace);
            QCOMPARE(list->grid().seeks(), 6);
            QCOMPARE(currentCell(w, 0), QStringLiteral("Smale"));
            QTest::keyClick(search, Qt::Key_Space); // "sm ": the same search text
            QCOMPARE(list->grid().seeks(), 6);
            click(w, "cancelButton");
        });
        TPickCust list(*m_engine);
        QCOMPARE(runPick(list, 0, true, driver), -1);
    }

    // Every pick list grows with its window, showing more rows when enlarged, and answers its
    // search box: Down moves into the list on the record found, Enter chooses that record.
    void everyListGrowsAndAnswersItsSearchBox_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("window");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("found"); // the key shown for the record found

        QTest::newRow("customers") << "customers"
                                   << "pickCustomerDialog"
                                   << "c17"
                                   << "C17";
        QTest::newRow("products") << "products"
                                  << "pickProductDialog"
                                  << "p17"
                                  << "P17";
        QTest::newRow("invoices") << "invoices"
                                  << "pickInvoiceDialog"
                                  << "17"
                                  << "    17";
        QTest::newRow("purchases") << "purchases"
                                   << "pickPurchaseDialog"
                                   << "p17"
                                   << "P17";
        QTest::newRow("groups") << "groups"
                                << "pickGroupDialog"
                                << "g17"
                                << "G17";
    }

    void everyListGrowsAndAnswersItsSearchBox()
    {
        QFETCH(QString, kind);
        QFETCH(QString, window);
        QFETCH(QString, typed);
        QFETCH(QString, found);
        const QMap<QString, quint32> records = addRecords(kind);
        QCOMPARE(records.size(), kind == QLatin1String("groups") ? 60 : 25);

        std::unique_ptr<QDialog> list;
        std::function<qint64()> pick;
        if (kind == QLatin1String("customers")) {
            auto *l = new TPickCust(*m_engine);
            pick = [l] { return l->pick(0, true); };
            list.reset(l);
        } else if (kind == QLatin1String("products")) {
            auto *l = new TPickProd(*m_engine);
            pick = [l] { return l->pick(0, true); };
            list.reset(l);
        } else if (kind == QLatin1String("invoices")) {
            auto *l = new TPickInv(*m_engine);
            pick = [l] { return l->pick(0, true); };
            list.reset(l);
        } else if (kind == QLatin1String("purchases")) {
            auto *l = new TPickPur(*m_engine);
            pick = [l] { return l->pick(0, true); };
            list.reset(l);
        } else {
            auto *l = new TPickGroup(*m_engine);
            pick = [l] { return l->pick(0, true); };
            list.reset(l);
        }
        const bool grid = kind != QLatin1String("groups");

        // The key of the current record, and the rows shown whole.
        const auto current = [grid](QWidget *w) {
            if (grid)
                return currentCell(w, 0);
            QListWidgetItem *item = child<QListWidget>(w, "groupList")->currentItem();
            return item ? item->text() : QString();
        };
        const auto rowsShown = [grid](QWidget *w) {
            QAbstractItemView *view =
                grid ? static_cast<QAbstractItemView *>(gridOf(w)) : child<QListWidget>(w, "groupList");
            const QRect area = view->viewport()->rect();
            int whole = 0;
            for (int row = 0; row < view->model()->rowCount(); ++row) {
                const QRect r = view->visualRect(view->model()->index(row, 0));
                if (r.isValid() && area.contains(r.topLeft()) && r.bottom() <= area.bottom())
                    ++whole;
            }
            return whole;
        };

        ModalDriver driver;
        driver.then(window, [&](QWidget *w) {
            QWidget *view = grid ? static_cast<QWidget *>(gridOf(w)) : child<QListWidget>(w, "groupList");
            auto *search = child<QLineEdit>(w, "searchEdit");
            QTRY_VERIFY(search->hasFocus());
            search->setCursorPosition(0);
            QTest::keyClicks(search, typed);
            QCOMPARE(current(w), found);
            QTest::keyClick(search, Qt::Key_Down);
            QVERIFY(view->hasFocus());
            QCOMPARE(current(w), found);

            const int before = rowsShown(w);
            QVERIFY2(grid ? before == 10 : before < records.size() - 10, qPrintable(QString::number(before)));
            const int rowHeight = grid ? gridOf(w)->verticalHeader()->defaultSectionSize()
                                       : child<QListWidget>(w, "groupList")->sizeHintForRow(0);
            w->resize(w->width() + 40, w->height() + 8 * rowHeight);
            QTRY_VERIFY2(rowsShown(w) >= before + 7, qPrintable(QString::number(rowsShown(w))));
            QCOMPARE(current(w), found);
            if (grid) {
                // Every row shown holds a record, in order, and the paging keys reach the end.
                QCOMPARE(gridOf(w)->rowCount(), rowsShown(w));
                QTest::keyClick(gridOf(w), Qt::Key_End);
                QCOMPARE(cell(w, gridOf(w)->rowCount() - 1, 0), records.lastKey());
                QTest::keyClick(gridOf(w), Qt::Key_Home);
                QCOMPARE(cell(w, 0, 0), records.firstKey());
            }

            search->setFocus();
            search->selectAll();
            QTest::keyClick(search, Qt::Key_Delete);
            search->setCursorPosition(0);
            QTest::keyClicks(search, typed);
            QTest::keyClick(search, Qt::Key_Return);
        });
        driver.start();
        QCOMPARE(pick(), qint64(records.value(found)));
        QVERIFY2(driver.done(), qPrintable(driver.failure()));
    }

    // The purchase list's Date column holds the widest date of the locale's short format.
    void purchaseDatesFitTheirColumn_data()
    {
        QTest::addColumn<QString>("locale");
        for (const char *name : {"C", "en_US", "de_DE", "sv_SE", "bg_BG", "ko_KR"})
            QTest::newRow(name) << QString::fromLatin1(name);
    }

    void purchaseDatesFitTheirColumn()
    {
        QFETCH(QString, locale);
        const QLocale previous;
        QLocale::setDefault(QLocale(locale));
        const auto restore = qScopeGuard([previous] { QLocale::setDefault(previous); });
        QVERIFY(addRecords(QStringLiteral("purchases")).size() == 25);

        ModalDriver driver;
        driver.then("pickPurchaseDialog", [](QWidget *w) {
            QTableWidget *grid = gridOf(w);
            const QFontMetrics metrics = grid->fontMetrics();
            const int room =
                grid->columnWidth(1) - 2 * (grid->style()->pixelMetric(QStyle::PM_FocusFrameHMargin) + 1);
            for (int row = 0; row < grid->rowCount(); ++row) {
                const QString date = cell(w, row, 1);
                QVERIFY(!date.isEmpty());
                QVERIFY2(metrics.horizontalAdvance(date) <= room,
                         qPrintable(QStringLiteral("%1 in %2 pixels").arg(date).arg(room)));
            }
            click(w, "cancelButton");
        });
        TPickPur list(*m_engine);
        QCOMPARE(runPick(list, 0, true, driver), -1);
    }

    // By e-mail address (ByCust off): the EMail column first, in address order.
    void customerListByEmailAddress()
    {
        addCustomers();
        settings().ByCust = false;
        ModalDriver driver;
        driver.then("pickCustomerDialog", [](QWidget *w) {
            QTableWidget *grid = gridOf(w);
            QCOMPARE(grid->horizontalHeaderItem(0)->text(), QStringLiteral("EMail"));
            QCOMPARE(cell(w, 0, 0), QStringLiteral("z00@example.com"));
            QCOMPARE(cell(w, 0, 1), QStringLiteral("C24"));
            QTest::keyClicks(child<QLineEdit>(w, "searchEdit"), "Z05");
            QCOMPARE(currentCell(w, 1), QStringLiteral("C19"));
            click(w, "newButton");
        });
        TPickCust list(*m_engine);
        QCOMPARE(runPick(list, 0, true, driver), 0);
        QCOMPARE(m_engine->table(QStringLiteral("CUST5"))->selectedTag().toUpper(), QStringLiteral("CEMAIL"));
    }

    // "Select Invoice": the search pads the typed number (12 finds 12, not 120); the
    // "Customer:" box names the invoice's customer; CUST5 keeps its order.
    void invoiceListFindsTheTypedNumber()
    {
        CustomerRecord ann;
        ann.CuNo = 7;
        ann.First = QStringLiteral("Ann");
        ann.Last = QStringLiteral("Lee");
        db::Table *customers = openCustomers(*m_engine).table;
        QVERIFY(customers->appendBlank().isOk() && writeCustomer(*customers, ann).isOk());
        db::Table *invoices = openInvoices(*m_engine).table;
        QMap<qint64, quint32> records;
        for (qint64 n : {120, 12, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 121}) {
            InvoiceRecord r;
            r.IvNo = n;
            r.CuNo = n == 12 ? 7 : 99;
            r.IDate = QDate(2024, 2, 1);
            QVERIFY(invoices->appendBlank().isOk() && writeInvoice(*invoices, r).isOk());
            records[n] = invoices->recNo();
        }
        invoices->flush();
        ModalDriver driver;
        driver.then("pickInvoiceDialog", [](QWidget *w) {
            QCOMPARE(w->windowTitle(), QStringLiteral("Select Invoice"));
            QCOMPARE(child<QLabel>(w, "searchLabel")->text(), QStringLiteral("Seek Invoice No:"));
            auto *search = child<QLineEdit>(w, "searchEdit");
            search->setCursorPosition(0);
            QTest::keyClicks(search, "12");
            QCOMPARE(currentCell(w, 0), QStringLiteral("    12"));
            QCOMPARE(child<QLineEdit>(w, "customerEdit")->text(), QStringLiteral("Ann Lee"));
            QTest::keyClicks(search, "x0"); // letters are not taken: "120"
            QCOMPARE(currentCell(w, 0), QStringLiteral("   120"));
            QVERIFY(child<QLineEdit>(w, "customerEdit")->text().isEmpty()); // customer 99 does not exist
            click(w, "selectButton");
        });
        TPickInv list(*m_engine);
        QCOMPARE(runPick(list, records[3], false, driver), qint64(records[120]));
        QCOMPARE(customers->selectedTag().toUpper(), QStringLiteral("CNAME"));
    }

    // An empty table: no rows, "Select" and the grid disabled; only "New" and "Cancel" act.
    void emptyListsOfferOnlyNewAndCancel()
    {
        ModalDriver driver;
        driver.then("pickProductDialog", [](QWidget *w) {
            QCOMPARE(gridOf(w)->rowCount(), 0);
            QVERIFY(!child<QWidget>(w, "selectButton")->isEnabled());
            QVERIFY(!gridOf(w)->isEnabled());
            QVERIFY(!child<QScrollBar>(w, "pickScrollBar")->isVisible());
            QTest::keyClick(gridOf(w), Qt::Key_Return);
            QVERIFY(w->isVisible());
            click(w, "newButton");
        });
        driver.then("pickPurchaseDialog", [](QWidget *w) {
            QCOMPARE(child<QPushButton>(w, "selectButton")->text(), QStringLiteral("Edit Selected"));
            QCOMPARE(child<QPushButton>(w, "newButton")->text(), QStringLiteral("Add New Purchase"));
            QVERIFY(!child<QWidget>(w, "newButton")->isEnabled());
            w->close(); // closing counts as "Cancel"
        });
        driver.start();
        TPickProd products(*m_engine);
        QCOMPARE(products.pick(0, true), 0);
        TPickPur purchases(*m_engine);
        QCOMPARE(purchases.pick(5, false), -1);
        QVERIFY2(driver.done(), qPrintable(driver.failure()));
    }

    // The group list: every group in name order, deleted ones marked; the caller's group
    // selected; the search selects the first name at or after the text, and past the last name the
    // group selected stays selected, so "Select" always has one; GROUPS gets its previous tag back.
    void groupListSearchesAndRestoresTheTag()
    {
        db::Table *groups = openGroups(*m_engine).table;
        QMap<QString, quint32> records;
        for (const GroupRecord &g :
             {GroupRecord{1, QStringLiteral("Zeta")}, GroupRecord{2, QStringLiteral("alpha")},
              GroupRecord{3, QStringLiteral("Beta")}, GroupRecord{4, QStringLiteral("Gamma")}}) {
            QVERIFY(groups->appendBlank().isOk() && writeGroup(*groups, g).isOk());
            records[g.cGroup] = groups->recNo();
        }
        QVERIFY(groups->go(records["Beta"]) && groups->markDeleted().isOk() && groups->flush().isOk());

        ModalDriver driver;
        driver.then("pickGroupDialog", [](QWidget *w) {
            auto *names = child<QListWidget>(w, "groupList");
            QStringList shown;
            for (int i = 0; i < names->count(); ++i)
                shown << names->item(i)->text();
            QCOMPARE(shown, (QStringList{"alpha", "Beta <DELETED>", "Gamma", "Zeta"}));
            QCOMPARE(names->currentItem()->text(), QStringLiteral("Gamma"));
            auto *search = child<QLineEdit>(w, "searchEdit");
            QTest::keyClicks(search, "z");
            QCOMPARE(names->currentItem()->text(), QStringLiteral("Zeta"));
            QTest::keyClicks(search, "z"); // "ZZ": nothing at or after it
            QCOMPARE(names->selectedItems().size(), 1);
            QCOMPARE(names->currentItem()->text(), QStringLiteral("Zeta"));
            search->clear();
            QTest::keyClicks(search, "C");
            QCOMPARE(names->currentItem()->text(), QStringLiteral("Gamma"));
            QTest::keyClick(names, Qt::Key_Return);
        });
        TPickGroup list(*m_engine);
        QCOMPARE(runPick(list, records["Gamma"], true, driver), qint64(records["Gamma"]));
        QCOMPARE(Prompt::takeShown(), QStringList());
        QCOMPARE(groups->selectedTag().toUpper(), QStringLiteral("NGROUP"));
    }
};

QTEST_MAIN(TestPickWindows)
#include "tst_pick_windows.moc"
