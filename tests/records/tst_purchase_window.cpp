// The purchase form and the "Inventory Purchases" loop driven offscreen on a real business, with
// Pur5 and Prod5 read back by Debian's python3-dbfread.

#include "BrowseEdit.h"
#include "Clock.h"
#include "Database.h"
#include "MoneyBox.h"
#include "Prompt.h"
#include "PurDefU.h"
#include "PurchaseBook.h"
#include "PurchaseCommand.h"
#include "RecordTestSupport.h"
#include "Records.h"
#include "Tables.h"
#include "TestSupport.h"

#include <QDateEdit>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <memory>

using namespace tallyra;
using namespace testsupport;
using namespace recordtest;

namespace {

QByteArray fileBytes(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

class TestPurchaseWindow : public QObject
{
    Q_OBJECT

private:
    EmptyBusiness m_business;
    db::Engine *m_engine = nullptr;

    quint32 addProduct(const QString &id, bool tracked, double onHand)
    {
        ProductRecord p;
        p.PrID = id;
        p.PDesc = QStringLiteral("Item ") + id;
        p.lInven = tracked;
        p.ONHAND = onHand;
        return appendRecord(openProducts(*m_engine), p, writeProduct);
    }

    qint64 runForm(qint64 selection, ModalDriver &driver)
    {
        TPurDef form(*m_engine);
        const qint64 result = recordtest::runForm(form, selection, driver);
        closeAllTables(*m_engine);
        return result;
    }

private Q_SLOTS:
    void init()
    {
        QVERIFY(m_business.open(QDate(2024, 6, 14)));
        registerPurchaseWindows();
        m_engine = &database();
    }

    void cleanup() { m_business.close(); }

    // Twelve units of a product not tracked, picked with "Product": the purchase is stored with
    // 12.00 and 30.00, and the product becomes an inventory item with its on-hand figure and every
    // other field as they were. Saving it again without "Product" leaves Prod5 byte for byte.
    void buyingMarksTheProductAndResavingLeavesIt()
    {
        addProduct(QStringLiteral("ANVIL"), false, 1);
        addProduct(QStringLiteral("WIDGET"), false, 7);
        closeAllTables(*m_engine);
        const QJsonArray before = peerRead(m_business.file("Prod5.DBF"));

        ModalDriver driver;
        driver
            .then("purchaseDialog",
                  [](QWidget *w) {
                      QCOMPARE(w->windowTitle(), QStringLiteral("Inventory Purchase Definition"));
                      QVERIFY(QTest::qWaitForWindowActive(w));
                      QCOMPARE(QApplication::focusWidget(), child<QWidget>(w, "productButton"));
                      QVERIFY(!child<QWidget>(w, "deleteButton")->isEnabled());
                      QCOMPARE(child<QDateEdit>(w, "dateAcquiredEdit")->date(), QDate(2024, 6, 14));
                      clickLater(w, "productButton");
                  })
            .then("pickProductDialog",
                  [](QWidget *w) {
                      auto *grid = child<QTableWidget>(w, "pickGrid");
                      QCOMPARE(grid->item(1, 0)->text(), QStringLiteral("WIDGET"));
                      grid->setCurrentCell(1, 0);
                      clickLater(w, "selectButton");
                  })
            .then("purchaseDialog", [](QWidget *w) {
                QCOMPARE(child<QLineEdit>(w, "productIdEdit")->text(), QStringLiteral("WIDGET"));
                child<QDateEdit>(w, "dateAcquiredEdit")->setDate(QDate(2024, 6, 3));
                type(w, "quantityEdit", "12");
                type(w, "totalCostEdit", "30");
                click(w, "saveButton");
            });
        const qint64 saved = runForm(0, driver);
        QCOMPARE(saved, 1);
        QVERIFY(Prompt::takeShown().isEmpty());

        const QJsonArray purchases = peerRead(m_business.file("Pur5.DBF"));
        QCOMPARE(purchases.size(), 1);
        const QJsonObject p = purchases[0].toObject();
        QCOMPARE(p["PURPROD"].toString(), QStringLiteral("WIDGET"));
        QCOMPARE(p["PURDATE"].toString(), QStringLiteral("2024-06-03"));
        QCOMPARE(p["PURQTY"].toDouble(), 12.0);
        QCOMPARE(p["PURCOST"].toDouble(), 30.0);
        QCOMPARE(p["PURNO"].toInt(), 0);
        const QJsonArray after = peerRead(m_business.file("Prod5.DBF"));
        QCOMPARE(after.size(), 2);
        QJsonObject widget = after[1].toObject();
        QCOMPARE(widget["LINVEN"].toBool(), true);
        QCOMPARE(widget["ONHAND"].toDouble(), 7.0);
        widget["LINVEN"] = false;
        QCOMPARE(widget, before[1].toObject()); // nothing else changed
        QCOMPARE(after[0].toObject(), before[0].toObject());

        // The flag turned off again by hand; the purchase edited without "Product".
        db::Table *products = openProducts(*m_engine).table;
        QVERIFY(products->go(2) && products->setLogical(products->fieldIndex("lInven"), false).isOk());
        QVERIFY(closeAllTables(*m_engine).isOk());
        const QByteArray productFile = fileBytes(m_business.file("Prod5.DBF"));
        ModalDriver again;
        again.then("purchaseDialog", [](QWidget *w) {
            QVERIFY(child<QWidget>(w, "deleteButton")->isEnabled());
            QCOMPARE(child<MoneyBox>(w, "quantityEdit")->value(), 12.0);
            type(w, "quantityEdit", "14");
            type(w, "productIdEdit", "widget");
            click(w, "saveButton");
        });
        QCOMPARE(runForm(saved, again), saved);
        QCOMPARE(fileBytes(m_business.file("Prod5.DBF")), productFile);
        const QJsonObject edited = peerRead(m_business.file("Pur5.DBF"))[0].toObject();
        QCOMPARE(edited["PURQTY"].toDouble(), 14.0);
        QCOMPARE(edited["PURPROD"].toString(), QStringLiteral("WIDGET"));
    }

    // What the form refuses, with its message, and what it takes. Nothing refused reaches Pur5.
    void savingRules_data()
    {
        QTest::addColumn<QString>("product");
        QTest::addColumn<QString>("quantity");
        QTest::addColumn<QString>("cost");
        QTest::addColumn<QString>("message");
        QTest::addColumn<bool>("returnNote");
        QTest::newRow("no product") << "   "
                                    << "5"
                                    << "10" << kProductSelectionRequiredMessage << false;
        QTest::newRow("quantity without a figure") << "BOLT"
                                                   << "-"
                                                   << "10"
                                                   << "'-' is not a valid floating point value" << false;
        QTest::newRow("a return charged") << "BOLT"
                                          << "-5"
                                          << "10" << kReturnCostMessage << true;
        QTest::newRow("a purchase refunded") << "BOLT"
                                             << "5"
                                             << "-10" << kNegativeCostMessage << false;
        QTest::newRow("a return refunded") << "bolt"
                                           << "-5"
                                           << "-9.5" << QString() << true;
        QTest::newRow("a return of goods given free") << "BOLT"
                                                      << "-2"
                                                      << "0" << QString() << true;
        QTest::newRow("free goods") << "BOLT"
                                    << "3"
                                    << "0" << QString() << false;
    }

    void savingRules()
    {
        QFETCH(QString, product);
        QFETCH(QString, quantity);
        QFETCH(QString, cost);
        QFETCH(QString, message);
        QFETCH(bool, returnNote);
        bool noteShown = false;
        ModalDriver driver;
        driver.then("purchaseDialog", [&](QWidget *w) {
            QVERIFY(QTest::qWaitForWindowActive(w));
            type(w, "productIdEdit", product);
            type(w, "totalCostEdit", cost);
            type(w, "quantityEdit", quantity);
            noteShown = child<QLabel>(w, "returnNote")->isVisible();
            if (!message.isEmpty())
                Prompt::setNextAnswers({ok()});
            click(w, "saveButton");
            QCoreApplication::processEvents(); // a box left without a figure says so once the focus moved
            if (!message.isEmpty()) {
                QVERIFY(w->isVisible());
                Prompt::setNextAnswers({answer(Prompt::Answer::Yes)});
                click(w, "cancelButton");
            }
        });
        const qint64 result = runForm(0, driver);
        QCOMPARE(noteShown, returnNote);
        QStringList shown = Prompt::takeShown();
        if (message.isEmpty()) {
            QVERIFY(result > 0);
            QVERIFY(shown.isEmpty());
            const QJsonArray rows = peerRead(m_business.file("Pur5.DBF"));
            QCOMPARE(rows.size(), 1);
            QCOMPARE(rows[0].toObject()["PURPROD"].toString(), QStringLiteral("BOLT"));
            QCOMPARE(rows[0].toObject()["PURQTY"].toDouble(), quantity.toDouble());
            QCOMPARE(rows[0].toObject()["PURCOST"].toDouble(), cost.toDouble());
        } else {
            QCOMPARE(result, -1);
            QCOMPARE(shown.value(0), message);
            QCOMPARE(shown.value(1), QStringLiteral("Discard the changes?"));
            QCOMPARE(apptestRecordCount(), 0);
        }
    }

    // Leaving with changes asks first; "No" keeps the form and what was typed. Leaving unchanged
    // asks nothing. Deleting marks the record and asks for a pack; the product stays.
    void leavingAndDeleting()
    {
        addProduct(QStringLiteral("BOLT"), true, 0);
        const PurchaseRecord p{QStringLiteral("BOLT"), QDate(2024, 1, 2), 4, 6};
        QVERIFY(appendRecord(openPurchases(*m_engine), p, writePurchase));
        closeAllTables(*m_engine);

        ModalDriver driver;
        driver.then("purchaseDialog", [](QWidget *w) {
            QCOMPARE(child<QDateEdit>(w, "dateAcquiredEdit")->date(), QDate(2024, 1, 2));
            type(w, "totalCostEdit", "7");
            Prompt::setNextAnswers({answer(Prompt::Answer::No)});
            QTest::keyClick(w, Qt::Key_Escape);
            QVERIFY(w->isVisible());
            QCOMPARE(child<QLineEdit>(w, "totalCostEdit")->text().trimmed(), QStringLiteral("7"));
            Prompt::setNextAnswers({answer(Prompt::Answer::Yes)});
            click(w, "cancelButton");
        });
        QCOMPARE(runForm(1, driver), 1);
        QCOMPARE(Prompt::takeShown(), (QStringList{"Discard the changes?", "Discard the changes?"}));
        QCOMPARE(peerRead(m_business.file("Pur5.DBF"))[0].toObject()["PURCOST"].toDouble(), 6.0);

        ModalDriver unchanged;
        unchanged.then("purchaseDialog", [](QWidget *w) { click(w, "cancelButton"); });
        QCOMPARE(runForm(1, unchanged), 1);
        QVERIFY(Prompt::takeShown().isEmpty());

        // From the loop, as the main window runs it: pick, delete, cancel the list.
        ModalDriver loop;
        loop.then("pickPurchaseDialog",
                  [](QWidget *w) {
                      auto *grid = child<QTableWidget>(w, "pickGrid");
                      QCOMPARE(grid->item(0, 0)->text(), QStringLiteral("BOLT"));
                      grid->setCurrentCell(0, 0);
                      clickLater(w, "selectButton");
                  })
            .then("purchaseDialog", [](QWidget *w) { click(w, "deleteButton"); })
            .then("pickPurchaseDialog", [](QWidget *w) { click(w, "cancelButton"); });
        QVERIFY(runLoop(loop, openPurchases(*m_engine), RecordKind::Purchase));
        QVERIFY(packNeeded());
        const QJsonArray rows = peerRead(m_business.file("Pur5.DBF"));
        QCOMPARE(rows.size(), 1);
        QVERIFY(rows[0].toObject()["_deleted"].toBool());
        QCOMPARE(peerRead(m_business.file("Prod5.DBF")).size(), 1);
    }

private:
    int apptestRecordCount()
    {
        const OpenResult pur = openPurchases(*m_engine);
        const int count = pur ? int(pur.table->recordCount()) : -1;
        closeAllTables(*m_engine);
        return count;
    }
};

QTEST_MAIN(TestPurchaseWindow)
#include "tst_purchase_window.moc"
