// The rules every record window keeps, driven through the real windows offscreen: the Tab and
// Enter order follows the form, Tab leaves grids, Enter presses the focused button, Escape asks
// before it discards changes, keystrokes a box cannot take are refused visibly, amounts and dates
// stay within what their fields hold, dates saved again and again never move, and a record that
// cannot be read or deleted is told, never lost.

#include "CustomerU.h"
#include "Database.h"
#include "DefTaxU.h"
#include "EnterMovesFocus.h"
#include "FormRules.h"
#include "GroupDefU.h"
#include "InvoiceStore.h"
#include "InvoiceU.h"
#include "ItemDefU.h"
#include "MoneyBox.h"
#include "PickCustU.h"
#include "PickGroupU.h"
#include "PmtDefU.h"
#include "ProdDefU.h"
#include "Prompt.h"
#include "PurDefU.h"
#include "RecordTables.h"
#include "RecordTestSupport.h"
#include "Records.h"
#include "Settings.h"
#include "TestSupport.h"

#include <QApplication>
#include <QDateEdit>
#include <QJsonArray>
#include <QJsonObject>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <functional>
#include <memory>

using namespace tallyra;
using namespace testsupport;
using recordtest::answer;
using recordtest::child;
using recordtest::ModalDriver;

namespace {

QString focusName()
{
    QWidget *f = QApplication::focusWidget();
    // A spin box's or combo box's own line edit stands for its owner.
    if (f && f->objectName().isEmpty() && f->parentWidget())
        return f->parentWidget()->objectName();
    return f ? f->objectName() : QStringLiteral("<none>");
}

// Presses `key` on the focused control `count` times, naming the control focused after each.
QStringList walk(Qt::Key key, int count)
{
    QStringList names;
    for (int i = 0; i < count; ++i) {
        QWidget *f = QApplication::focusWidget();
        if (!f)
            break;
        QTest::keyClick(f, key);
        names << focusName();
    }
    return names;
}

// A window started modally by `run`, named `window`, whose first control is `first`.
struct WindowCase
{
    const char *window;
    const char *first;
    QStringList tabOrder; // the controls Tab reaches from `first`, in order, back to `first`
    std::function<void(db::Engine &)> run;
};

} // namespace

class TestWindowRules : public QObject
{
    Q_OBJECT

private:
    recordtest::EmptyBusiness m_business;

private Q_SLOTS:
    void init()
    {
        QLocale::setDefault(QLocale::c());
        QVERIFY(m_business.open(QDate(2026, 12, 8)));
        QVERIFY(recordtest::appendRecord(openGroups(database()), GroupRecord{1, QStringLiteral("Retail")},
                                         writeGroup));
        CustomerRecord customer;
        customer.CuNo = 1;
        customer.Last = QStringLiteral("Holloway");
        customer.NGroup = 1;
        QVERIFY(recordtest::appendRecord(openCustomers(database()), customer, writeCustomer));
        QVERIFY(closeAllTables(database()).isOk());
    }
    void cleanup() { m_business.close(); }

    void tabAndEnterFollowTheFormInEveryRecordWindow();
    void escapeAndCancelAskBeforeChangesAreLost();
    void keystrokesABoxCannotTakeAreRefusedVisibly();
    void itemTotalsUseTheInvoiceRuleAndStayWithinTheField();
    void datesOutsideTheAcceptedYearsAreRefusedWhereTyped();
    void datesSavedTenTimesNeverMove();
    void failedReadsAndDeletesAreToldAndLoseNothing();
};

namespace {

// The small entry windows of an invoice, filled as the invoice window fills them.
void runTaxDef(db::Engine &)
{
    TTaxDef w;
    w.setValues(ChargeSettings::from(defaultSettings()));
    w.run();
}

void runPmtDef(db::Engine &)
{
    TPmtDef w;
    w.setPayment({QDate(2026, 12, 8), 0}, false);
    w.run();
}

void runItemDef(db::Engine &)
{
    TItemDef w;
    InvoiceItem item;
    item.productId = QStringLiteral("BOLT");
    item.unitPrice = 2.5;
    item.quantity = 1;
    w.setItem(item, 2.5, ChargeSettings::from(defaultSettings()), false);
    w.run();
}

} // namespace

void TestWindowRules::tabAndEnterFollowTheFormInEveryRecordWindow()
{
    const QList<WindowCase> cases = {
        {"customerDialog",
         "titleEdit",
         {"firstNameEdit", "lastNameEdit", "address1Edit", "address2Edit", "address3Edit", "address4Edit",
          "postalCodeEdit", "noteEdit", "phoneEdit", "faxEdit", "emailEdit", "commentsEdit", "saveButton",
          "cancelButton", "groupButton", "titleEdit"},
         [](db::Engine &e) { TCustomer(e).run(0); }},
        {"groupDefDialog",
         "groupNameEdit",
         {"saveButton", "cancelButton", "groupNameEdit"},
         [](db::Engine &e) { TGroupDef(e).run(0); }},
        {"productDialog",
         "productIdEdit",
         {"description1Edit", "description2Edit", "unitPriceEdit", "licenseCodeEdit", "shipLineCheckBox",
          "taxLineCheckBox", "inventoryCheckBox", "reorderLevelEdit", "productTextEdit", "saveButton",
          "cancelButton", "productIdEdit"},
         [](db::Engine &e) { TProdDef(e).run(0); }},
        // Each caption, then its rate: the row order of the form.
        {"taxDefDialog",
         "shipLineEdit",
         {"taxRate1Box", "taxLineEdit", "taxRate2Box", "shipTaxNoRadioButton", "roundNormalRadioButton",
          "saveButton", "cancelButton", "shipLineEdit"},
         runTaxDef},
        {"pmtDefDialog",
         "datePaidEdit",
         {"amountBox", "saveButton", "cancelButton", "datePaidEdit"},
         runPmtDef},
        {"itemDefDialog",
         "description1Edit",
         {"description2Edit", "shipLineCheckBox", "taxLineCheckBox", "unitPriceBox", "quantityBox",
          "saveButton", "cancelButton", "description1Edit"},
         runItemDef},
        // Tab leaves the item grid for the buttons beside it.
        {"invoiceDialog",
         "customerButton",
         {"editCustomerButton", "customerNoteEdit", "dateSoldEdit", "departmentEdit", "noteEdit", "itemGrid",
          "addItemButton", "editItemButton", "addPaymentButton", "editPaymentButton", "memoEdit",
          "discountBox", "shipBox", "taxBox", "saveButton", "cancelButton", "customerButton"},
         [](db::Engine &e) {
             TInvoice w(e);
             w.setChargeSettings(ChargeSettings::from(defaultSettings()));
             w.run(0);
         }},
        // Tab leaves the pick grid: 48 presses once never reached "Select".
        {"pickCustomerDialog",
         "searchEdit",
         {"pickGrid", "selectButton", "newButton", "cancelButton", "searchEdit"},
         [](db::Engine &e) { TPickCust(e).pick(0, true); }},
    };

    for (const WindowCase &c : cases) {
        QVERIFY(openTable(database(), TableId::Customers) && openTable(database(), TableId::Groups) &&
                openTable(database(), TableId::Products));
        if (QString::fromLatin1(c.window) == QLatin1String("invoiceDialog"))
            QVERIFY(InvoiceStore::openTables(database()).ok());
        QStringList tabbed;
        QStringList entered;
        QString enterEndsOn;
        ModalDriver script;
        script.then(QString::fromLatin1(c.window), [&](QWidget *w) {
            QApplication::setActiveWindow(w);
            child<QWidget>(w, c.first)->setFocus(Qt::TabFocusReason);
            tabbed = walk(Qt::Key_Tab, int(c.tabOrder.size()));
            // Enter from the first control moves through the same entry boxes up to the first
            // button, where it stops: Enter there would press it.
            child<QWidget>(w, c.first)->setFocus(Qt::TabFocusReason);
            for (int i = 0; i < c.tabOrder.size(); ++i) {
                if (qobject_cast<QPushButton *>(QApplication::focusWidget()) ||
                    QString(focusName()).endsWith(QLatin1String("TextEdit")) ||
                    focusName() == QLatin1String("commentsEdit") ||
                    focusName() == QLatin1String("memoEdit") || focusName() == QLatin1String("itemGrid") ||
                    focusName() == QLatin1String("pickGrid") || focusName() == QLatin1String("searchEdit") ||
                    focusName().endsWith(QLatin1String("RadioButton")))
                    break;
                QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
                entered << focusName();
            }
            enterEndsOn = focusName();
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
        });
        script.start();
        c.run(database());
        QVERIFY2(script.done(),
                 qPrintable(QString::fromLatin1(c.window) + QLatin1String(": ") + script.failure()));
        QVERIFY2(tabbed == c.tabOrder, qPrintable(QString::fromLatin1(c.window) + QLatin1String(" Tab: ") +
                                                  tabbed.join(QLatin1Char(','))));
        QVERIFY2(entered == c.tabOrder.mid(0, entered.size()),
                 qPrintable(QString::fromLatin1(c.window) + QLatin1String(" Enter: ") +
                            entered.join(QLatin1Char(','))));
        // Enter in a pick list's search box chooses the record found (tst_pick_windows).
        QVERIFY2(!entered.isEmpty() || c.tabOrder.first().endsWith(QLatin1String("Button")) ||
                     c.tabOrder.first().endsWith(QLatin1String("Grid")) ||
                     QLatin1String(c.first) == QLatin1String("searchEdit"),
                 c.window);
        QVERIFY(closeAllTables(database()).isOk());
    }
    // No question was asked: nothing had changed when Escape closed each window.
    QCOMPARE(Prompt::takeShown(), QStringList());
}

void TestWindowRules::escapeAndCancelAskBeforeChangesAreLost()
{
    struct Case
    {
        const char *window;
        const char *box;
        std::function<void(db::Engine &)> run;
    };
    const QList<Case> cases = {
        {"customerDialog", "lastNameEdit", [](db::Engine &e) { TCustomer(e).run(0); }},
        {"groupDefDialog", "groupNameEdit", [](db::Engine &e) { TGroupDef(e).run(0); }},
        {"productDialog", "description1Edit", [](db::Engine &e) { TProdDef(e).run(0); }},
        {"invoiceDialog", "departmentEdit",
         [](db::Engine &e) {
             TInvoice w(e);
             w.run(0);
         }},
        {"taxDefDialog", "shipLineEdit", runTaxDef},
        {"pmtDefDialog", "amountBox", runPmtDef},
        {"itemDefDialog", "description2Edit", runItemDef},
    };
    for (const Case &c : cases) {
        QVERIFY(openTable(database(), TableId::Customers) && openTable(database(), TableId::Groups) &&
                openTable(database(), TableId::Products));
        QVERIFY(InvoiceStore::openTables(database()).ok());
        const QString name = QString::fromLatin1(c.window);
        bool stayedAfterNo = false;
        // Unchanged: Escape closes at once, without a question.
        ModalDriver script;
        script.then(name, [](QWidget *w) {
            QApplication::setActiveWindow(w);
            QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : w, Qt::Key_Escape);
        });
        ModalDriver changed;
        changed.then(name, [&](QWidget *w) {
            QApplication::setActiveWindow(w);
            QLineEdit *box = child<QLineEdit>(w, c.box);
            const QString before = box->text();
            recordtest::type(w, c.box, QStringLiteral("7"));
            const QString typed = box->text();
            // "No" keeps the window and what was typed; then "Cancel" and "Yes" close it.
            Prompt::setNextAnswers({answer(Prompt::Answer::No), answer(Prompt::Answer::Yes)});
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
            stayedAfterNo = typed != before && w->isVisible() && box->text() == typed;
            recordtest::click(w, "cancelButton");
        });
        Prompt::takeShown();
        script.start();
        c.run(database());
        QVERIFY2(script.done(), qPrintable(name + QLatin1String(": ") + script.failure()));
        QCOMPARE(Prompt::takeShown(), QStringList());
        changed.start();
        c.run(database());
        QVERIFY2(changed.done(), qPrintable(name + QLatin1String(": ") + changed.failure()));
        QVERIFY2(stayedAfterNo, c.window);
        QCOMPARE(Prompt::takeShown(), (QStringList{DiscardGuard::question(), DiscardGuard::question()}));
        QVERIFY(closeAllTables(database()).isOk());
    }
}

void TestWindowRules::keystrokesABoxCannotTakeAreRefusedVisibly()
{
    struct Case
    {
        const char *what;
        std::function<QLineEdit *(QWidget *)> make;
        QString start;
        QString typed;
        QString expected; // the text left
        bool refused;
        QString message; // shown after the keystroke, if any
    };
    const QList<Case> cases = {
        {"third decimal of a price",
         [](QWidget *p) { return new MoneyBox(8, 5, 2, p); },
         "12.34",
         "5",
         "12.34",
         true,
         {}},
        {"150 in a percentage", [](QWidget *p) { return new MoneyBox(5, 2, 2, p); }, "15", "0", "15", true,
         "The amount is too large: at most 99.99"},
        {"a tenth whole digit in an amount", [](QWidget *p) { return new MoneyBox(10, 9, 2, p); },
         "999999999", "9", "999999999", true, "The amount is too large: at most 999,999,999.99"},
        {"a letter in an amount",
         [](QWidget *p) { return new MoneyBox(10, 9, 2, p); },
         "12",
         "x",
         "12",
         true,
         {}},
        {"a fitting digit",
         [](QWidget *p) { return new MoneyBox(10, 9, 2, p); },
         "12",
         "3",
         "123",
         false,
         {}},
        {"a 21st letter in a last name",
         [](QWidget *p) {
             auto *e = new QLineEdit(p);
             e->setMaxLength(20);
             return e;
         },
         "ABCDEFGHIJKLMNOPQRST",
         "U",
         "ABCDEFGHIJKLMNOPQRST",
         true,
         {}},
    };
    for (const Case &c : cases) {
        QDialog window;
        QLineEdit *box = c.make(&window);
        box->setObjectName(QStringLiteral("box"));
        auto *next = new QLineEdit(&window);
        next->move(0, 40);
        EnterMovesFocus::install(&window);
        window.show();
        QApplication::setActiveWindow(&window);
        box->setFocus();
        box->setText(c.start);
        box->end(false);
        Prompt::setNextAnswers({answer(Prompt::Answer::Ok)});
        QTest::keyClicks(box, c.typed);
        QVERIFY2(box->text() == c.expected, c.what);
        QCOMPARE(box->property("refusals").toInt() > 0, c.refused);
        QCOMPARE(isFlashing(box), c.refused);
        // The message comes once the keystroke is over.
        QStringList shown;
        QTRY_VERIFY2((shown += Prompt::takeShown(), shown.size() == (c.message.isEmpty() ? 0 : 1)), c.what);
        QCOMPARE(shown, c.message.isEmpty() ? QStringList() : QStringList{c.message});
        if (c.message.isEmpty())
            Prompt::clearAnswers();
        // The flash ends by itself.
        QTRY_VERIFY(!isFlashing(box));
    }
}

void TestWindowRules::itemTotalsUseTheInvoiceRuleAndStayWithinTheField()
{
    struct Case
    {
        QString price;
        QString quantity;
        QString total;   // the total box after leaving the quantity
        QString message; // shown by "Save", empty when the line is taken
    };
    const QList<Case> cases = {
        {"1.50", "0.75", "      1.13", {}},
        {"-1.50", "0.75", "     -1.13", {}},
        {"1.125", "1", {}, {}}, // the third decimal is refused: 1.12 stays
        {"99999.99", "999999.99", "99999989000.00", "The amount is too large: at most 999,999,999.99"},
    };
    for (const Case &c : cases) {
        TItemDef dialog;
        InvoiceItem item;
        item.productId = QStringLiteral("BOLT");
        dialog.setItem(item, 0, ChargeSettings::from(defaultSettings()), false);
        int result = -1;
        QString total;
        ModalDriver script;
        script.then(QStringLiteral("itemDefDialog"), [&](QWidget *w) {
            QApplication::setActiveWindow(w);
            for (auto [box, text] :
                 {std::pair{"unitPriceBox", c.price}, std::pair{"quantityBox", c.quantity}}) {
                auto *b = child<QLineEdit>(w, box);
                b->setFocus(Qt::TabFocusReason);
                b->selectAll();
                QTest::keyClicks(b, text);
                QTest::keyClick(b, Qt::Key_Tab);
            }
            total = child<QLineEdit>(w, "totalBox")->text();
            // A refused line leaves the window open; "Cancel" then asks before the typing goes.
            Prompt::setNextAnswers({answer(Prompt::Answer::Ok), answer(Prompt::Answer::Yes)});
            recordtest::click(w, "saveButton");
            if (w->isVisible())
                recordtest::click(w, "cancelButton");
        });
        script.start();
        result = dialog.run();
        QVERIFY2(script.done(), qPrintable(script.failure()));
        QStringList shown = Prompt::takeShown();
        shown.removeAll(QStringLiteral("The amount is too large: at most 99,999.99"));
        shown.removeAll(QStringLiteral("The amount is too large: at most 999,999.99"));
        if (c.total.isEmpty()) {
            QCOMPARE(dialog.item().unitPrice, 1.12);
            Prompt::clearAnswers();
            continue;
        }
        QCOMPARE(total, c.total);
        const QStringList expected =
            c.message.isEmpty() ? QStringList() : QStringList{c.message, DiscardGuard::question()};
        QCOMPARE(shown, expected);
        QCOMPARE(result, c.message.isEmpty() ? int(TItemDef::Saved) : int(TItemDef::Cancelled));
        Prompt::clearAnswers();
    }

    // An invoice whose line total overflows (read from a file, say) is refused before saving,
    // naming the line.
    CurrentInvoice invoice;
    InvoiceItem a;
    a.productId = QStringLiteral("BOLT");
    a.unitPrice = 2;
    a.quantity = 3;
    InvoiceItem b = a;
    b.productId = QStringLiteral("SVC-REPAIR");
    b.unitPrice = 99999.99;
    b.quantity = 999999.99;
    invoice.items = {a, b};
    InvoiceTotals totals(invoice, ChargeSettings::from(defaultSettings()));
    totals.refreshTotals();
    QCOMPARE(totals.overflowMessage(),
             QStringLiteral("Line 2 (SVC-REPAIR): The amount is too large: at most 999,999,999.99"));
    invoice.items.removeLast();
    totals.refreshTotals();
    QCOMPARE(totals.overflowMessage(), QString());
}

void TestWindowRules::datesOutsideTheAcceptedYearsAreRefusedWhereTyped()
{
    struct Case
    {
        QDate typed;
        bool refused;
    };
    const QList<Case> cases = {{QDate(1850, 12, 8), true},
                               {QDate(2200, 12, 8), true},
                               {QDate(1900, 12, 8), false},
                               {QDate(2199, 12, 8), false},
                               {QDate(1965, 12, 8), false}};
    for (const Case &c : cases) {
        TPmtDef dialog;
        dialog.setPayment({QDate(2026, 12, 8), 10}, false);
        QDate shownAfter;
        QString format;
        ModalDriver script;
        script.then(QStringLiteral("pmtDefDialog"), [&](QWidget *w) {
            QApplication::setActiveWindow(w);
            auto *date = child<QDateEdit>(w, "datePaidEdit");
            format = date->displayFormat();
            date->setFocus(Qt::TabFocusReason);
            // The year typed over with four digits.
            date->setCurrentSection(QDateTimeEdit::YearSection);
            date->setSelectedSection(QDateTimeEdit::YearSection);
            Prompt::setNextAnswers({answer(Prompt::Answer::Ok)});
            QTest::keyClicks(date, QString::number(c.typed.year()));
            QTest::qWait(0);
            QTRY_VERIFY(!c.refused || Prompt::hasCannedAnswers() == false);
            shownAfter = date->date();
            Prompt::clearAnswers();
            recordtest::click(w, "saveButton");
        });
        script.start();
        dialog.run();
        QVERIFY2(script.done(), qPrintable(script.failure()));
        QVERIFY2(format.contains(QLatin1String("yyyy")), qPrintable(format));
        const QStringList shown = Prompt::takeShown();
        QCOMPARE(shown, c.refused ? QStringList{dateRangeMessage()} : QStringList());
        QCOMPARE(shownAfter, c.refused ? QDate(2026, 12, 8) : c.typed);
        QCOMPARE(dialog.payment().date, c.refused ? QDate(2026, 12, 8) : c.typed);
    }
    QCOMPARE(dateRangeMessage(), QStringLiteral("The date must be between 1 Jan 1900 and 31 Dec 2199."));
}

void TestWindowRules::datesSavedTenTimesNeverMove()
{
    // Four-digit years inside and outside the 100-year window (1966 .. 2065 on this clock), and
    // dates the windows refuse but a file may hold.
    const QList<QDate> dates = {QDate(2026, 12, 8), QDate(1965, 12, 31), QDate(2066, 1, 1),
                                QDate(1850, 12, 8), QDate(2199, 12, 31), QDate(1900, 2, 28)};
    for (const QDate &date : dates) {
        // Invoice and payment through the invoice store, saved unchanged ten times.
        QVERIFY(InvoiceStore::openTables(database()).ok());
        InvoiceStore store(database());
        CurrentInvoice invoice;
        store.startNew(invoice);
        invoice.customerNumber = 1;
        invoice.date = date;
        invoice.payments = {{date, 5}};
        quint32 recNo = 0;
        for (int i = 0; i < 10; ++i) {
            const InvoiceSaveResult saved =
                store.save(invoice, recNo, QString(), [] { return QStringLiteral("1"); });
            QVERIFY2(saved.ok(), qPrintable(saved.message));
            recNo = saved.recNo;
            CurrentInvoice again;
            QVERIFY(store.load(recNo, again).isOk());
            QCOMPARE(again.date, date);
            QCOMPARE(again.payments.size(), 1);
            QCOMPARE(again.payments.first().date, date);
            invoice = again;
        }
        QVERIFY(closeAllTables(database()).isOk());

        // A purchase record read and written back ten times.
        QVERIFY(openTable(database(), TableId::Purchases));
        db::Table *purchases = database().table(QStringLiteral("Pur5"));
        PurchaseRecord purchase;
        purchase.PURProd = QStringLiteral("BOLT");
        purchase.PURDate = date;
        purchase.PURQty = 3;
        QVERIFY(purchases->appendBlank().isOk() && writePurchase(*purchases, purchase).isOk());
        const quint32 purchaseNo = purchases->recNo();
        for (int i = 0; i < 10; ++i) {
            QVERIFY(purchases->go(purchaseNo));
            PurchaseRecord read;
            QVERIFY(loadPurchase(*purchases, read).isOk());
            QCOMPARE(read.PURDate, date);
            QVERIFY(writePurchase(*purchases, read).isOk());
        }
        QVERIFY(closeAllTables(database()).isOk());
    }

    // The invoice window: an invoice of 2066 opened and saved unchanged ten times stays in 2066,
    // and so does its payment.
    QVERIFY(InvoiceStore::openTables(database()).ok());
    const quint32 first = 1;
    for (int i = 0; i < 10; ++i) {
        TInvoice window(database());
        window.setChargeSettings(ChargeSettings::from(defaultSettings()));
        ModalDriver script;
        script.then(QStringLiteral("invoiceDialog"), [](QWidget *w) { recordtest::click(w, "saveButton"); });
        script.start();
        window.run(first);
        QVERIFY2(script.done(), qPrintable(script.failure()));
        InvoiceStore store(database());
        CurrentInvoice stored;
        QVERIFY(store.load(first, stored).isOk());
        QCOMPARE(stored.date, dates.first());
        QCOMPARE(stored.payments.first().date, dates.first());
    }
    // The peer reader sees the same dates on disk.
    QVERIFY(closeAllTables(database()).isOk());
    const QJsonArray rows = recordtest::peerRead(m_business.file(QStringLiteral("INV6.DBF")));
    QVERIFY(!rows.isEmpty());
    QStringList years;
    for (const QJsonValue &row : rows)
        years << row.toObject().value(QStringLiteral("IDATE")).toString().left(4);
    QCOMPARE(years.mid(0, dates.size()), (QStringList{"2026", "1965", "2066", "1850", "2199", "1900"}));
}

// A record number that cannot be read is told and shows no window; a delete the disk refuses is
// told with its reason, the window stays open, and the record stays stored.
void TestWindowRules::failedReadsAndDeletesAreToldAndLoseNothing()
{
    struct Case
    {
        const char *window;
        const char *file;
        QString unreadable;
        QString undeleted; // followed by the engine's reason
        std::function<TRecordForm *(db::Engine &)> make;
    };
    const QList<Case> cases = {
        {"customerDialog", "CUST5.DBF", "Customer record 99 could not be read.",
         "The customer could not be deleted.\n",
         [](db::Engine &e) -> TRecordForm * { return new TCustomer(e); }},
        {"productDialog", "Prod5.DBF", "Product record 99 could not be read.",
         "The product could not be deleted.\n",
         [](db::Engine &e) -> TRecordForm * { return new TProdDef(e); }},
        {"purchaseDialog", "Pur5.DBF", "Purchase record 99 could not be read.",
         "The purchase could not be deleted.\n",
         [](db::Engine &e) -> TRecordForm * { return new TPurDef(e); }},
    };
    QVERIFY(recordtest::appendRecord(openProducts(database()), ProductRecord{QStringLiteral("BOLT")},
                                     writeProduct));
    PurchaseRecord bought{QStringLiteral("BOLT"), QDate(2026, 12, 1), 2, 10};
    QVERIFY(recordtest::appendRecord(openPurchases(database()), bought, writePurchase));
    QVERIFY(closeDatabase().isOk());
    auto disk = std::make_shared<FailingFileSystem>(1 << 30, false);
    openDatabase(m_business.path(), disk);

    for (const Case &c : cases) {
        // One form, run twice: first on a record that is not there.
        const std::unique_ptr<TRecordForm> form(c.make(database()));
        Prompt::takeShown();
        Prompt::setNextAnswers({answer(Prompt::Answer::Ok)});
        QCOMPARE(form->run(99), qint64(-1));
        QCOMPARE(Prompt::takeShown(), QStringList{c.unreadable});

        bool stayed = false;
        ModalDriver script;
        script.then(c.window, [&](QWidget *w) {
            disk->setBudget(0);
            Prompt::setNextAnswers({answer(Prompt::Answer::Ok)});
            recordtest::click(w, "deleteButton");
            stayed = w->isVisible();
            disk->setBudget(1 << 30);
            recordtest::click(w, "cancelButton");
        });
        QCOMPARE(recordtest::runForm(*form, 1, script), qint64(1));
        QVERIFY2(stayed, c.window);
        const QStringList shown = Prompt::takeShown();
        QCOMPARE(shown.size(), 1);
        QVERIFY2(shown[0].startsWith(c.undeleted) && shown[0].size() > c.undeleted.size(),
                 qPrintable(shown[0]));
        closeAllTables(database());
    }
    closeDatabase();
    openDatabase(m_business.path());
    for (const Case &c : cases) {
        const QJsonArray rows = recordtest::peerRead(m_business.file(QString::fromLatin1(c.file)));
        QVERIFY2(rows.size() == 1 && !rows[0].toObject()["_deleted"].toBool(), c.file);
    }
}

QTEST_MAIN(TestWindowRules)
#include "tst_window_rules.moc"
