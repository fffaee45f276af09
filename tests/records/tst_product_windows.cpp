// The catalogue as a user keeps it: the product form and the "Products && Services" loop driven
// offscreen on a real business, with Prod5, Pur5 and ITM5 read back by Debian's python3-dbfread.

#include "BrowseEdit.h"
#include "Database.h"
#include "MoneyBox.h"
#include "NewBusiness.h"
#include "ProdDefU.h"
#include "ProductCatalog.h"
#include "Prompt.h"
#include "RecordCommands.h"
#include "RecordTestSupport.h"
#include "Records.h"
#include "Settings.h"
#include "Tables.h"
#include "TestSupport.h"

#include <QCheckBox>
#include <QPushButton>
#include <QTableWidget>
#include <memory>

using namespace tallyra;
using namespace testsupport;
using namespace recordtest;

class TestProductWindows : public QObject
{
    Q_OBJECT

private:
    EmptyBusiness m_business;
    db::Engine *m_engine = nullptr;

    quint32 addProduct(const QString &id, double onHand = 0, double price = 1)
    {
        ProductRecord p;
        p.PrID = id;
        p.PDesc = QStringLiteral("Item ") + id;
        p.UPrice = price;
        p.ONHAND = onHand;
        return appendRecord(openProducts(*m_engine), p, writeProduct);
    }

    void addPurchase(const QString &id, const QDate &date)
    {
        PurchaseRecord p;
        p.PURProd = id;
        p.PURDate = date;
        p.PURQty = 2;
        p.PURCost = 10;
        QVERIFY(appendRecord(openPurchases(*m_engine), p, writePurchase));
    }

    ProductRecord stored(quint32 recNo)
    {
        ProductRecord p;
        db::Table *t = openProducts(*m_engine).table;
        if (t && t->go(recNo))
            loadProduct(*t, p);
        return p;
    }

    // Runs the product form on `selection` with the given steps; returns what run() returns.
    qint64 runForm(TProdDef &form, qint64 selection, const std::function<void(QWidget *)> &steps)
    {
        ModalDriver driver;
        driver.then("productDialog", steps);
        return recordtest::runForm(form, selection, driver);
    }

private Q_SLOTS:
    void init()
    {
        QVERIFY(m_business.open());
        m_engine = &database();
    }

    void cleanup() { m_business.close(); }

    // "ab-1" is stored as "AB-1"; a second "ab-1" is refused; a product keeps its own identifier
    // typed in lower case; "AB" beside "ABC" is accepted; renaming onto another product is not;
    // a blank identifier is refused.
    void identifiersAreUpperCaseAndUnique()
    {
        TProdDef form(*m_engine);
        const qint64 ab1 = runForm(form, 0, [](QWidget *w) {
            QCOMPARE(w->windowTitle(), QStringLiteral("Product Definition"));
            QVERIFY(!child<QWidget>(w, "deleteButton")->isEnabled());
            type(w, "productIdEdit", "ab-1");
            type(w, "description1Edit", "Anchor bolt");
            click(w, "saveButton");
        });
        QVERIFY(ab1 > 0);
        QCOMPARE(stored(quint32(ab1)).PrID, QStringLiteral("AB-1"));

        QCOMPARE(runForm(form, 0,
                         [](QWidget *w) {
                             type(w, "productIdEdit", " ab-1 ");
                             Prompt::setNextAnswers({ok()});
                             click(w, "saveButton");
                             QVERIFY(w->isVisible());
                             Prompt::setNextAnswers({answer(Prompt::Answer::Yes)});
                             click(w, "cancelButton");
                         }),
                 -1);
        QCOMPARE(Prompt::takeShown(),
                 (QStringList{"Duplicate Product ID's are not allowed", "Discard the changes?"}));

        addProduct(QStringLiteral("ABC"));
        const qint64 ab = runForm(form, 0, [](QWidget *w) {
            type(w, "productIdEdit", "ab");
            click(w, "saveButton");
        });
        QVERIFY(ab > 0);
        QCOMPARE(runForm(form, ab1,
                         [](QWidget *w) {
                             QCOMPARE(child<QLineEdit>(w, "productIdEdit")->text(), QStringLiteral("AB-1"));
                             type(w, "productIdEdit", "ab-1");
                             type(w, "description2Edit", "zinc plated");
                             click(w, "saveButton");
                         }),
                 ab1);
        QCOMPARE(stored(quint32(ab1)).IComm, QStringLiteral("zinc plated"));
        QCOMPARE(runForm(form, ab,
                         [](QWidget *w) {
                             type(w, "productIdEdit", "abc");
                             Prompt::setNextAnswers({ok()});
                             click(w, "saveButton");
                             type(w, "productIdEdit", "   ");
                             Prompt::setNextAnswers({ok()});
                             click(w, "saveButton");
                             Prompt::setNextAnswers({answer(Prompt::Answer::Yes)});
                             click(w, "cancelButton");
                         }),
                 ab);
        QCOMPARE(Prompt::takeShown(), (QStringList{"Duplicate Product ID's are not allowed",
                                                   "Blank Product ID not allowed", "Discard the changes?"}));
        QCOMPARE(stored(quint32(ab)).PrID, QStringLiteral("AB"));
        QCOMPARE(openProducts(*m_engine).table->recordCount(), 3u);
    }

    // The stored on-hand quantity is carried through an edit, and a new product starts at 0
    // whatever product the form showed before. The check boxes carry the charge lines' captions.
    void onHandIsCarriedAndChargeLinesAreCaptioned()
    {
        settings().ShipLine = QStringLiteral("  Shipping   ");
        settings().TaxLine = QStringLiteral("GST");
        const quint32 bolt = addProduct(QStringLiteral("BOLT"), 17.5, 2);
        TProdDef form(*m_engine);
        QCOMPARE(
            runForm(form, bolt,
                    [](QWidget *w) {
                        QCOMPARE(child<QCheckBox>(w, "shipLineCheckBox")->text(), QStringLiteral("Shipping"));
                        QCOMPARE(child<QCheckBox>(w, "taxLineCheckBox")->text(), QStringLiteral("GST"));
                        QCOMPARE(child<QLineEdit>(w, "unitPriceEdit")->text(), QStringLiteral("    2.00"));
                        QCOMPARE(child<QLineEdit>(w, "reorderLevelEdit")->text(),
                                 QStringLiteral("     0.00"));
                        type(w, "unitPriceEdit", "3.25");
                        type(w, "reorderLevelEdit", "4");
                        child<QCheckBox>(w, "taxLineCheckBox")->setChecked(true);
                        child<QCheckBox>(w, "inventoryCheckBox")->setChecked(true);
                        click(w, "saveButton");
                    }),
            bolt);
        const ProductRecord p = stored(bolt);
        QCOMPARE(p.UPrice, 3.25);
        QCOMPARE(p.REORDER, 4.0);
        QCOMPARE(p.ONHAND, 17.5);
        QVERIFY(!p.LTax1 && p.LTax2 && p.lInven);

        const qint64 nut = runForm(form, 0, [](QWidget *w) {
            QVERIFY(child<QLineEdit>(w, "productIdEdit")->text().isEmpty());
            QCOMPARE(child<QLineEdit>(w, "unitPriceEdit")->text(), QStringLiteral("    0.00"));
            QVERIFY(!child<QCheckBox>(w, "taxLineCheckBox")->isChecked());
            type(w, "productIdEdit", "NUT");
            click(w, "saveButton");
        });
        QCOMPARE(stored(quint32(nut)).ONHAND, 0.0);

        const QJsonArray rows = peerRead(m_business.file("Prod5.DBF"));
        QCOMPARE(rows.size(), 2);
        QCOMPARE(rows[0].toObject()["ONHAND"].toDouble(), 17.5);
        QCOMPARE(rows[0].toObject()["LBUILD"].toBool(), false);
    }

    // A price box left without a figure is not taken: the form says so and saves nothing.
    void priceWithoutAFigureIsRefused()
    {
        TProdDef form(*m_engine);
        QString message;
        QCOMPARE(runForm(form, 0,
                         [&](QWidget *w) {
                             // The box must really hold the focus (which an inactive window does not
                             // give) for "Save" to find it without a figure.
                             QVERIFY(QTest::qWaitForWindowActive(w));
                             type(w, "productIdEdit", "GIZMO");
                             auto *price = child<MoneyBox>(w, "unitPriceEdit");
                             price->setFocus();
                             QTRY_VERIFY(price->hasFocus());
                             price->selectAll();
                             QTest::keyClick(price, Qt::Key_Delete);
                             message = price->invalidMessage();
                             Prompt::setNextAnswers({ok(), ok()});
                             child<QPushButton>(w, "saveButton")->click(); // as a shortcut: the focus stays
                             QVERIFY(w->isVisible());
                             QTRY_VERIFY(price->hasFocus());
                             Prompt::setNextAnswers({answer(Prompt::Answer::Yes)});
                             click(w, "cancelButton");
                         }),
                 -1);
        QVERIFY(Prompt::takeShown().contains(message));
        QCOMPARE(openProducts(*m_engine).table->recordCount(), 0u);
    }

    // In the "Products && Services" loop, deleting a product deletes its three purchases (not
    // those of AB-10, which begins with the same letters) and leaves the invoice items that name
    // it; the list shows the product with its marker until the command packs.
    void deletingAProductDeletesItsPurchases()
    {
        addProduct(QStringLiteral("AB-1"));
        addProduct(QStringLiteral("AB-10"));
        for (int day : {3, 1, 2})
            addPurchase(QStringLiteral("AB-1"), QDate(2024, 5, day));
        addPurchase(QStringLiteral("AB-10"), QDate(2024, 5, 1));
        addPurchase(QStringLiteral("A"), QDate(2024, 5, 1));
        ItemRecord item;
        item.IvNo = 1;
        item.PrID = QStringLiteral("AB-1");
        QVERIFY(appendRecord(openItems(*m_engine), item, writeItem));
        closeAllTables(*m_engine);

        ModalDriver driver;
        driver
            .then("pickProductDialog",
                  [](QWidget *w) {
                      auto *grid = child<QTableWidget>(w, "pickGrid");
                      QCOMPARE(grid->item(0, 0)->text(), QStringLiteral("AB-1"));
                      grid->setCurrentCell(0, 0);
                      clickLater(w, "selectButton");
                  })
            .then("productDialog", [](QWidget *w) { click(w, "deleteButton"); })
            .then("pickProductDialog", [this](QWidget *w) {
                auto *grid = child<QTableWidget>(w, "pickGrid");
                QCOMPARE(grid->item(0, 2)->text(), QStringLiteral("<DELETED>"));
                QCOMPARE(grid->item(1, 2)->text(), QStringLiteral("    1.00"));
                QVERIFY(!m_engine->table(QStringLiteral("Pur5"))); // opened for the delete and closed
                const QJsonArray purchases = peerRead(m_business.file("Pur5.DBF"));
                int deleted = 0;
                for (const QJsonValue &p : purchases) {
                    const bool isDeleted = p.toObject()["_deleted"].toBool();
                    deleted += isDeleted;
                    QCOMPARE(isDeleted, p.toObject()["PURPROD"].toString() == QLatin1String("AB-1"));
                }
                QCOMPARE(deleted, 3);
                click(w, "cancelButton");
            });
        QVERIFY(runLoop(driver, openProducts(*m_engine), RecordKind::Product));
        QVERIFY(packNeeded());

        const QJsonArray productRows = peerRead(m_business.file("Prod5.DBF"));
        QCOMPARE(productRows.size(), 2);
        for (const QJsonValue &p : productRows)
            QCOMPARE(p.toObject()["_deleted"].toBool(),
                     p.toObject()["PRID"].toString() == QLatin1String("AB-1"));
        const QJsonArray itemRows = peerRead(m_business.file("ITM5.DBF"));
        QCOMPARE(itemRows.size(), 1);
        QCOMPARE(itemRows[0].toObject()["PRID"].toString(), QStringLiteral("AB-1"));
        QVERIFY(!itemRows[0].toObject()["_deleted"].toBool());
    }

    // A command that has Pur5 open (the purchase loop) keeps it open, in its order, after a
    // product is deleted from within it.
    void deletingKeepsTheCallersPurchaseTable()
    {
        const quint32 bolt = addProduct(QStringLiteral("BOLT"));
        addPurchase(QStringLiteral("BOLT"), QDate(2024, 1, 1));
        addPurchase(QStringLiteral("NUT"), QDate(2024, 1, 1));
        db::Table *purchases = m_engine->table(QStringLiteral("Pur5"));
        QVERIFY(purchases->go(2));
        ProductCatalog catalog(*m_engine, *openProducts(*m_engine).table);
        const ProductCatalog::Removal removed = catalog.remove(bolt);
        QVERIFY(removed.status.isOk());
        QCOMPARE(removed.purchases, 1);
        QCOMPARE(m_engine->table(QStringLiteral("Pur5")), purchases);
        QCOMPARE(purchases->recNo(), 2u);
        QCOMPARE(purchases->selectedTag().toUpper(), QStringLiteral("PUR"));
        QVERIFY(purchases->go(1) && purchases->isDeleted());
        QVERIFY(packNeeded());
    }
};

QTEST_MAIN(TestProductWindows)
#include "tst_product_windows.moc"
