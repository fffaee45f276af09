// The invoice window and its dialogs driven as a user drives them, offscreen: boxes typed into
// and left, buttons clicked, rows double-clicked, questions answered; then the stored INV6, ITM5,
// PMT and CUST5 records read back by an independent dBASE reader (python3-dbfread).

#include "BrowseEdit.h"
#include "Database.h"
#include "DefTaxU.h"
#include "FormRules.h"
#include "InvoiceCommand.h"
#include "InvoiceU.h"
#include "NewBusiness.h"
#include "PickPmtU.h"
#include "Prompt.h"
#include "RecordTestSupport.h"
#include "Records.h"
#include "Settings.h"
#include "TestSupport.h"

#include <QApplication>
#include <QCheckBox>
#include <QDateEdit>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <deque>
#include <memory>

using namespace tallyra;
using namespace testsupport;
using recordtest::answer;
using recordtest::child;
using recordtest::clickLater;
using recordtest::ModalDriver;
using recordtest::runForm;

namespace {

using Answer = Prompt::Answer;

// Types into a box as a user does: click in, replace the text, leave with Tab.
void typeInto(QWidget *window, const char *name, const QString &text)
{
    QLineEdit *box = child<QLineEdit>(window, name);
    // A window just uncovered by a closed dialog may not be active yet; focus events need it.
    QApplication::setActiveWindow(box->window());
    box->setFocus(Qt::MouseFocusReason);
    box->selectAll();
    QTest::keyClicks(box, text);
    QTest::keyClick(box, Qt::Key_Tab);
}

QString textOf(QWidget *window, const char *name)
{
    return child<QLineEdit>(window, name)->text();
}

QStringList gridRow(QWidget *window, int row)
{
    auto *grid = child<QTableWidget>(window, "itemGrid");
    QStringList cells;
    for (int c = 0; c < grid->columnCount(); ++c)
        cells << (grid->item(row, c) ? grid->item(row, c)->text() : QString());
    return cells;
}

bool isRed(QWidget *w)
{
    return w->palette().color(QPalette::Text) == QColor(Qt::red);
}

// The live records of a table as Debian's python3-dbfread reads them.
QJsonArray liveRows(const QString &file)
{
    QJsonArray live;
    for (const QJsonValue &row : recordtest::peerRead(file)) {
        QJsonObject fields = row.toObject();
        if (fields.take(QStringLiteral("_deleted")).toBool())
            continue;
        live.append(fields);
    }
    return live;
}

} // namespace

class TestInvoiceWindow : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<FixedClock> m_clock;
    std::unique_ptr<TempDataDir> m_dir;
    std::unique_ptr<db::Engine> m_engine;
    quint32 m_smith = 0;
    quint32 m_bolt = 0;
    ChargeSettings m_charges;

    InvoiceCollaborators hooks()
    {
        InvoiceCollaborators h;
        h.pickCustomer = [this](QWidget *, quint32) { return qint64(m_smith); };
        h.pickProduct = [this](QWidget *) { return qint64(m_bolt); };
        h.editCustomer = [](QWidget *, quint32) {};
        return h;
    }

    quint32 append(const char *table, const std::function<db::Status(db::Table &)> &write)
    {
        db::Table *t = m_engine->table(QString::fromLatin1(table));
        if (!t || !t->appendBlank().isOk() || !write(*t).isOk())
            return 0;
        t->flush();
        return t->recNo();
    }

    void runScript(ModalDriver &script) { script.start(); }

private Q_SLOTS:
    void init()
    {
        QLocale::setDefault(QLocale::c());
        Prompt::clearAnswers();
        Prompt::takeShown();
        m_clock = std::make_unique<FixedClock>(QDate(2024, 6, 15));
        m_dir = std::make_unique<TempDataDir>();
        QVERIFY(createBusiness(m_dir->path(), false).ok());
        m_engine = std::make_unique<db::Engine>(m_dir->path());
        QVERIFY(InvoiceStore::openTables(*m_engine).ok());
        QVERIFY(openZones(*m_engine).ok());
        for (auto [s, e, z] : {std::tuple{"100", "149", 1}, std::tuple{"150", "199", 2}})
            append("ZZone", [&](db::Table &t) { return writeZone(t, ZoneRecord{s, e, z}); });
        m_engine->close(QStringLiteral("ZZone"));
        CustomerRecord smith;
        smith.CuNo = 7;
        smith.First = QStringLiteral("Ann");
        smith.Last = QStringLiteral("Smith");
        smith.Addr1 = QStringLiteral("1 Main Street");
        smith.Zip = QStringLiteral("15213");
        smith.Note = QStringLiteral("old note");
        smith.EMail = QStringLiteral("ann@example.com");
        smith.NGroup = 1;
        m_smith = append("CUST5", [&](db::Table &t) { return writeCustomer(t, smith); });
        ProductRecord bolt;
        bolt.PrID = QStringLiteral("BOLT");
        bolt.PDesc = QStringLiteral("Hex bolt");
        bolt.IComm = QStringLiteral("zinc");
        bolt.UPrice = 2.5;
        bolt.LTax2 = true;
        bolt.ONHAND = 40;
        m_bolt = append("Prod5", [&](db::Table &t) { return writeProduct(t, bolt); });
        QVERIFY(m_smith && m_bolt);
        m_charges = ChargeSettings();
        m_charges.taxRate2 = 6.00;
    }
    void cleanup()
    {
        Prompt::clearAnswers();
        if (m_engine)
            m_engine->closeAll();
        m_engine.reset();
        m_dir.reset();
        m_clock.reset();
    }

    void composeAndSaveNewInvoice();
    void editItemsAndPaymentsOfSavedInvoice();
    void messagesAndAddAnother();
    void deleteAsksFirst();
    void amountBoxWithoutFigure();
    void taxDefinitionSaved();
    void paymentListSizing();
    void invoicesThroughTheProgramWindows();
};

void TestInvoiceWindow::composeAndSaveNewInvoice()
{
    TInvoice form(*m_engine);
    form.setCollaborators(hooks());
    form.setChargeSettings(m_charges);
    ModalDriver script;
    script.then("invoiceDialog", [](QWidget *w) {
        QCOMPARE(textOf(w, "invoiceNumberEdit"), QStringLiteral("     1"));
        QVERIFY(!child<QPushButton>(w, "deleteButton")->isEnabled());
        for (const char *b : {"printButton", "emailButton", "packingListButton"})
            QVERIFY(!child<QPushButton>(w, b)->isEnabled());
        QCOMPARE(child<QLabel>(w, "shipLabel")->text(), QStringLiteral("Shipping:"));
        QCOMPARE(child<QLabel>(w, "taxLabel")->text(), QStringLiteral("Sales Tax:"));
        QCOMPARE(child<QDateEdit>(w, "dateSoldEdit")->date(), QDate(2024, 6, 15));
        clickLater(w, "customerButton");
    });
    script.then("invoiceDialog", [](QWidget *w) {
        QCOMPARE(child<QPlainTextEdit>(w, "addressEdit")->toPlainText().split('\n'),
                 (QStringList{"Ann Smith", "1 Main Street  15213"}));
        QCOMPARE(child<QLabel>(w, "shipLabel")->text(), QStringLiteral("Zone 2 Shipping:"));
        QCOMPARE(textOf(w, "customerNoteEdit"), QStringLiteral("old note"));
        clickLater(w, "addItemButton");
    });
    script.then("itemDefDialog", [](QWidget *w) {
        QCOMPARE(w->windowTitle(), QStringLiteral("Invoice Line Item"));
        QCOMPARE(textOf(w, "productEdit"), QStringLiteral("BOLT"));
        QCOMPARE(textOf(w, "description1Edit"), QStringLiteral("Hex bolt"));
        QCOMPARE(textOf(w, "unitPriceBox"), QStringLiteral("    2.50"));
        QCOMPARE(textOf(w, "quantityBox"), QStringLiteral("     1.00"));
        QCOMPARE(textOf(w, "totalBox"), QStringLiteral("      2.50"));
        QVERIFY(child<QCheckBox>(w, "taxLineCheckBox")->isChecked());
        QVERIFY(!child<QCheckBox>(w, "shipLineCheckBox")->isChecked());
        QCOMPARE(child<QCheckBox>(w, "taxLineCheckBox")->text(), QStringLiteral("Sales Tax"));
        typeInto(w, "quantityBox", QStringLiteral("4"));
        QCOMPARE(textOf(w, "quantityBox"), QStringLiteral("     4.00"));
        QCOMPARE(textOf(w, "totalBox"), QStringLiteral("     10.00"));
        clickLater(w, "saveButton");
    });
    script.then("invoiceDialog", [](QWidget *w) {
        QCOMPARE(gridRow(w, 0), (QStringList{"BOLT", "Hex bolt", "    2.50", "     4.00", "     10.00 ft"}));
        QCOMPARE(textOf(w, "taxBox"), QStringLiteral("      0.60"));
        QCOMPARE(textOf(w, "totalBox"), QStringLiteral("     10.60"));
        typeInto(w, "discountBox", QStringLiteral("10"));
        QCOMPARE(textOf(w, "discountBox"), QStringLiteral("10.00"));
        QCOMPARE(textOf(w, "discountAmountBox"), QStringLiteral("     -1.00"));
        QVERIFY(isRed(child<QWidget>(w, "discountAmountBox")));
        QCOMPARE(textOf(w, "subtotalBox"), QStringLiteral("      9.00"));
        QCOMPARE(textOf(w, "taxBox"), QStringLiteral("      0.54"));
        QCOMPARE(textOf(w, "totalBox"), QStringLiteral("      9.54"));
        clickLater(w, "addPaymentButton");
    });
    script.then("pmtDefDialog", [](QWidget *w) {
        QVERIFY(!child<QPushButton>(w, "deleteButton")->isEnabled());
        QCOMPARE(child<QDateEdit>(w, "datePaidEdit")->date(), QDate(2024, 6, 15));
        QCOMPARE(textOf(w, "amountBox"), QStringLiteral("      0.00"));
        typeInto(w, "amountBox", QStringLiteral("5"));
        clickLater(w, "saveButton");
    });
    script.then("invoiceDialog", [](QWidget *w) {
        QCOMPARE(textOf(w, "paymentsBox"), QStringLiteral("      5.00"));
        QCOMPARE(textOf(w, "amountDueBox"), QStringLiteral("      4.54"));
        typeInto(w, "customerNoteEdit", QStringLiteral("  VIP "));
        QCOMPARE(textOf(w, "customerNoteEdit"), QStringLiteral("VIP")); // trimmed on leaving
        typeInto(w, "departmentEdit", QStringLiteral("Tools"));
        typeInto(w, "noteEdit", QStringLiteral("VISA 4111"));
        child<QPlainTextEdit>(w, "memoEdit")->setPlainText(QStringLiteral("Thank you!\n"));
        Prompt::setNextAnswers({QStringLiteral("1001"), answer(Answer::No)});
        clickLater(w, "saveButton");
    });
    const qint64 selection = runForm(form, 0, script);
    QCOMPARE(Prompt::takeShown(), (QStringList{"FIRST INVOICE", "Add another invoice?"}));
    QVERIFY(selection > 0);
    QVERIFY(m_engine->closeAll().isOk());

    // What another program reads from the files.
    const QJsonArray invoices = liveRows(m_dir->file("INV6.DBF"));
    QCOMPARE(invoices.size(), 1);
    const QJsonObject inv = invoices[0].toObject();
    QCOMPARE(inv["IVNO"].toInt(), 1001);
    QCOMPARE(inv["CUNO"].toInt(), 7);
    QCOMPARE(inv["IDATE"].toString(), QStringLiteral("2024-06-15"));
    QCOMPARE(inv["DEPT"].toString(), QStringLiteral("Tools"));
    QCOMPARE(inv["IMEMO"].toString(), QStringLiteral("VISA 4111"));
    QCOMPARE(inv["DISCOUNT"].toDouble(), 10.0);
    QCOMPARE(inv["SHIP"].toDouble(), 0.0);
    QCOMPARE(inv["TAX"].toDouble(), 0.54);
    QCOMPARE(inv["DUE"].toDouble(), 4.54);
    QCOMPARE(inv["REM"].toString(), QStringLiteral("Thank you!"));
    const QJsonArray items = liveRows(m_dir->file("ITM5.DBF"));
    QCOMPARE(items.size(), 1);
    const QJsonObject it = items[0].toObject();
    QCOMPARE(it["IVNO"].toInt(), 1001);
    QCOMPARE(it["PRID"].toString(), QStringLiteral("BOLT"));
    QCOMPARE(it["QTY"].toDouble(), 4.0);
    QCOMPARE(it["UPR"].toDouble(), 2.5);
    QCOMPARE(it["LTAX1"].toBool(), false);
    QCOMPARE(it["LTAX2"].toBool(), true);
    QCOMPARE(it["PDESC"].toString(), QStringLiteral("Hex bolt"));
    QCOMPARE(it["ICOMM"].toString(), QStringLiteral("zinc"));
    QCOMPARE(it["LBUILD"].toBool(), false);
    QCOMPARE(it["BACKORDER"].toDouble(), 0.0);
    const QJsonArray payments = liveRows(m_dir->file("PMT.DBF"));
    QCOMPARE(payments.size(), 1);
    QCOMPARE(payments[0].toObject()["IVNO"].toInt(), 1001);
    QCOMPARE(payments[0].toObject()["PDATE"].toString(), QStringLiteral("2024-06-15"));
    QCOMPARE(payments[0].toObject()["PAMT"].toDouble(), 5.0);
    const QJsonArray customers = liveRows(m_dir->file("CUST5.DBF"));
    QCOMPARE(customers[0].toObject()["NOTE"].toString(), QStringLiteral("VIP"));
    const QJsonArray products = liveRows(m_dir->file("Prod5.DBF"));
    QCOMPARE(products[0].toObject()["ONHAND"].toDouble(), 40.0); // invoicing keeps no stock
}

void TestInvoiceWindow::editItemsAndPaymentsOfSavedInvoice()
{
    InvoiceStore store(*m_engine);
    CurrentInvoice inv;
    store.startNew(inv);
    inv.customerNumber = 7;
    InvoiceItem a;
    a.productId = QStringLiteral("BOLT");
    a.quantity = 1;
    a.unitPrice = 20;
    InvoiceItem b = a;
    b.productId = QStringLiteral("NUT");
    b.unitPrice = 5;
    inv.items = {a, b};
    inv.payments = {{QDate(2024, 6, 1), 10}, {QDate(2024, 6, 2), 5.5}, {QDate(2024, 6, 3), 4.5}};
    const InvoiceSaveResult saved = store.save(inv, 0, QString(), [] { return QStringLiteral("1"); });
    QVERIFY(saved.ok());

    TInvoice form(*m_engine);
    form.setCollaborators(hooks());
    form.setChargeSettings(m_charges);
    ModalDriver script;
    script.then("invoiceDialog", [](QWidget *w) {
        QVERIFY(child<QPushButton>(w, "deleteButton")->isEnabled());
        QCOMPARE(textOf(w, "amountDueBox"), QStringLiteral("      5.00"));
        QCOMPARE(child<QLabel>(w, "shipLabel")->text(), QStringLiteral("Zone 2 Shipping:"));
        auto *grid = child<QTableWidget>(w, "itemGrid");
        QCOMPARE(grid->rowCount(), 4);
        // A row below the last item: nothing happens.
        const QRect blank = grid->visualRect(grid->model()->index(2, 0));
        QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {}, blank.center());
        QCOMPARE(QApplication::activeModalWidget(), w);
        const QRect second = grid->visualRect(grid->model()->index(1, 0));
        QTimer::singleShot(0, grid, [grid, second] {
            QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, second.center());
            QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {}, second.center());
        });
    });
    script.then("itemDefDialog", [](QWidget *w) {
        QCOMPARE(textOf(w, "productEdit"), QStringLiteral("NUT"));
        QVERIFY(child<QPushButton>(w, "deleteButton")->isEnabled());
        clickLater(w, "deleteButton");
    });
    script.then("invoiceDialog", [](QWidget *w) {
        QCOMPARE(gridRow(w, 1), QStringList(5));
        QCOMPARE(textOf(w, "totalBox"), QStringLiteral("     20.00"));
        QCOMPARE(textOf(w, "amountDueBox"), QStringLiteral("      0.00"));
        clickLater(w, "editPaymentButton");
    });
    script.then("pickPmtDialog", [](QWidget *w) {
        QCOMPARE(w->windowTitle(), QStringLiteral("Select Payment"));
        auto *grid = child<QTableWidget>(w, "paymentGrid");
        QCOMPARE(grid->rowCount(), 3);
        QCOMPARE(grid->item(1, 1)->text(), QStringLiteral("      5.50"));
        grid->selectRow(1);
        clickLater(w, "selectButton");
    });
    script.then("pmtDefDialog", [](QWidget *w) {
        QCOMPARE(textOf(w, "amountBox"), QStringLiteral("      5.50"));
        QCOMPARE(child<QDateEdit>(w, "datePaidEdit")->date(), QDate(2024, 6, 2));
        QVERIFY(child<QPushButton>(w, "deleteButton")->isEnabled());
        clickLater(w, "deleteButton");
    });
    script.then("invoiceDialog", [](QWidget *w) {
        QCOMPARE(textOf(w, "paymentsBox"), QStringLiteral("     14.50"));
        QCOMPARE(textOf(w, "amountDueBox"), QStringLiteral("      5.50"));
        clickLater(w, "editPaymentButton");
    });
    script.then("pickPmtDialog", [](QWidget *w) {
        auto *grid = child<QTableWidget>(w, "paymentGrid");
        QCOMPARE(grid->rowCount(), 2);
        QCOMPARE(grid->item(1, 1)->text(), QStringLiteral("      4.50")); // moved up
        grid->selectRow(1);
        clickLater(w, "selectButton");
    });
    script.then("pmtDefDialog", [](QWidget *w) {
        typeInto(w, "amountBox", QStringLiteral("6.25"));
        clickLater(w, "saveButton");
    });
    script.then("invoiceDialog", [](QWidget *w) {
        QCOMPARE(textOf(w, "amountDueBox"), QStringLiteral("      3.75"));
        clickLater(w, "saveButton"); // an existing invoice: saved and closed, no question
    });
    QCOMPARE(runForm(form, saved.recNo, script), qint64(saved.recNo));
    QVERIFY(Prompt::takeShown().isEmpty());

    CurrentInvoice back;
    QVERIFY(store.load(saved.recNo, back).isOk());
    QCOMPARE(back.items.size(), 1);
    QCOMPARE(back.items[0].productId, QStringLiteral("BOLT"));
    QCOMPARE(back.payments.size(), 2);
    QCOMPARE(back.payments[1].amount, 6.25);
    QCOMPARE(back.amountDue, 3.75);
    QCOMPARE(m_engine->table("ITM5")->recordCount(), 1u); // packed
    QCOMPARE(m_engine->table("PMT")->recordCount(), 2u);
}

void TestInvoiceWindow::messagesAndAddAnother()
{
    TInvoice form(*m_engine);
    form.setCollaborators(hooks());
    ModalDriver script;
    script.then("invoiceDialog", [](QWidget *w) {
        Prompt::setNextAnswers({answer(Answer::Ok), answer(Answer::Ok)});
        QTest::mouseClick(child<QPushButton>(w, "saveButton"), Qt::LeftButton);
        QTest::mouseClick(child<QPushButton>(w, "editCustomerButton"), Qt::LeftButton);
        QCOMPARE(Prompt::takeShown(),
                 (QStringList{"Customer selection required before saving.", "Customer not selected"}));
        clickLater(w, "customerButton");
    });
    script.then("invoiceDialog", [](QWidget *w) {
        Prompt::setNextAnswers({QStringLiteral("7"), answer(Answer::Yes)});
        clickLater(w, "saveButton");
    });
    script.then("invoiceDialog", [](QWidget *w) {
        // "Yes": a new, empty invoice on the same form, numbered after the one just saved.
        QCOMPARE(Prompt::takeShown(), (QStringList{"FIRST INVOICE", "Add another invoice?"}));
        QCOMPARE(textOf(w, "invoiceNumberEdit"), QStringLiteral("     8"));
        QVERIFY(child<QPlainTextEdit>(w, "addressEdit")->toPlainText().isEmpty());
        QCOMPARE(gridRow(w, 0), QStringList(5));
        QCOMPARE(child<QTableWidget>(w, "itemGrid")->rowCount(), 4);
        QVERIFY(!child<QPushButton>(w, "deleteButton")->isEnabled());
        QCOMPARE(child<QLabel>(w, "shipLabel")->text(), QStringLiteral("Shipping:"));
        clickLater(w, "cancelButton");
    });
    QCOMPARE(runForm(form, 0, script), qint64(0));
    QCOMPARE(m_engine->table("INV6")->recordCount(), 1u);
    InvoiceRecord stored;
    QVERIFY(m_engine->table("INV6")->go(1));
    QVERIFY(loadInvoice(*m_engine->table("INV6"), stored).isOk());
    QCOMPARE(stored.IvNo, 7);
}

void TestInvoiceWindow::deleteAsksFirst()
{
    InvoiceStore store(*m_engine);
    QList<quint32> records;
    for (int i = 0; i < 2; ++i) {
        CurrentInvoice inv;
        store.startNew(inv);
        inv.customerNumber = 7;
        inv.payments = {{QDate(2024, 6, 1), 1}};
        records << store.save(inv, 0, QString(), [] { return QStringLiteral("1"); }).recNo;
    }
    TInvoice form(*m_engine);
    ModalDriver script;
    script.then("invoiceDialog", [](QWidget *w) {
        Prompt::setNextAnswers({answer(Answer::Cancel)});
        QTest::mouseClick(child<QPushButton>(w, "deleteButton"), Qt::LeftButton);
        QCOMPARE(Prompt::takeShown(), QStringList{"Are you sure you want to delete this invoice?"});
        QVERIFY(w->isVisible());
        Prompt::setNextAnswers({answer(Answer::Ok)});
        clickLater(w, "deleteButton");
    });
    // The first invoice deleted: the second, now record 1 after the pack, is the selection.
    QCOMPARE(runForm(form, records[0], script), qint64(1));
    QCOMPARE(m_engine->table("INV6")->recordCount(), 1u);
    QCOMPARE(m_engine->table("PMT")->recordCount(), 1u);
}

void TestInvoiceWindow::amountBoxWithoutFigure()
{
    TInvoice form(*m_engine);
    form.setCollaborators(hooks());
    ModalDriver script;
    script.then("invoiceDialog", [](QWidget *w) {
        QTest::mouseClick(child<QPushButton>(w, "customerButton"), Qt::LeftButton);
        Prompt::setNextAnswers({answer(Answer::Ok), answer(Answer::Ok)});
        typeInto(w, "shipBox", QStringLiteral("-"));
        QCoreApplication::processEvents();                   // the box speaks once the focus has moved on
        QCOMPARE(textOf(w, "shipBox"), QStringLiteral("-")); // kept as typed
        QVERIFY(isRed(child<QWidget>(w, "shipBox")));
        QTest::mouseClick(child<QPushButton>(w, "saveButton"), Qt::LeftButton);
        QCOMPARE(Prompt::takeShown(), (QStringList{"'-' is not a valid floating point value",
                                                   "'-' is not a valid floating point value"}));
        // "-" then the decimal separator: minus zero, right-aligned, red.
        auto *ship = child<QLineEdit>(w, "shipBox");
        QApplication::setActiveWindow(w);
        ship->setFocus();
        ship->selectAll();
        QTest::keyClicks(ship, QStringLiteral("-."));
        QCOMPARE(ship->text(), QStringLiteral("     -0.00"));
        QVERIFY(isRed(ship));
        QTest::keyClicks(ship, QStringLiteral("75"));
        QTest::keyClick(ship, Qt::Key_Tab);
        QCOMPARE(ship->text(), QStringLiteral("     -0.75"));
        QCOMPARE(textOf(w, "totalBox"), QStringLiteral("     -0.75"));
        Prompt::setNextAnswers({answer(Answer::Yes)});
        clickLater(w, "cancelButton");
    });
    script.start();
    form.run(0);
    QVERIFY2(script.done(), qPrintable(script.failure()));
    QCOMPARE(m_engine->table("INV6")->recordCount(), 0u);
}

void TestInvoiceWindow::taxDefinitionSaved()
{
    QVERIFY(m_engine->closeAll().isOk());
    QVERIFY(loadSettings(*m_engine).ok());
    const SettingsRecord before = settings();
    bool diskFull = false;
    // What the program's "Sales Tax" command does with the window's values.
    auto saver = [&](const ChargeSettings &charges, QString *error) {
        if (diskFull) {
            *error = QStringLiteral("The settings were not saved: disk full");
            return false;
        }
        SettingsRecord changed = settings();
        charges.applyTo(changed);
        const SettingsResult saved = saveSettings(*m_engine, changed);
        if (!saved) {
            *error = saved.message();
            return false;
        }
        settings() = changed;
        return true;
    };
    TTaxDef form;
    form.setSaver(saver);
    form.setValues(ChargeSettings::from(settings()));
    ModalDriver script;
    script.then("taxDefDialog", [](QWidget *w) {
        QCOMPARE(w->windowTitle(), QStringLiteral("Tax Definition"));
        QCOMPARE(textOf(w, "shipLineEdit"), QStringLiteral("Shipping"));
        QCOMPARE(textOf(w, "taxRate1Box"), QStringLiteral(" 0.00"));
        QVERIFY(child<QRadioButton>(w, "shipTaxNoRadioButton")->isChecked());
        QVERIFY(child<QRadioButton>(w, "roundNormalRadioButton")->isChecked());
        typeInto(w, "shipLineEdit", QStringLiteral("  Freight "));
        typeInto(w, "taxRate2Box", QStringLiteral("7.25"));
        child<QRadioButton>(w, "shipTaxOnItemsRadioButton")->click();
        child<QRadioButton>(w, "roundUpRadioButton")->click();
        clickLater(w, "saveButton");
    });
    script.start();
    QVERIFY(form.run());
    QVERIFY2(script.done(), qPrintable(script.failure()));
    QVERIFY(m_engine->table("TLR2") == nullptr); // closed again

    SettingsRecord expected = before;
    expected.ShipLine = QStringLiteral("Freight");
    expected.TaxRate2 = 7.25;
    expected.ShipTax = 3;
    expected.TaxRound = ChargeRounding::Up;
    QVERIFY(settings() == expected);
    SettingsRecord stored;
    QVERIFY(loadSettings(*m_engine, stored).ok());
    QVERIFY(stored == expected); // every other field written back unchanged

    // A save that fails says why and keeps the window open; Cancel then changes nothing.
    diskFull = true;
    TTaxDef again;
    again.setSaver(saver);
    again.setValues(ChargeSettings::from(settings()));
    ModalDriver failing;
    failing.then("taxDefDialog", [](QWidget *w) {
        QCOMPARE(textOf(w, "shipLineEdit"), QStringLiteral("Freight"));
        QVERIFY(child<QRadioButton>(w, "roundUpRadioButton")->isChecked());
        typeInto(w, "taxLineEdit", QStringLiteral("VAT"));
        Prompt::setNextAnswers({answer(Answer::Ok)});
        QTest::mouseClick(child<QPushButton>(w, "saveButton"), Qt::LeftButton);
        QCOMPARE(Prompt::takeShown(), QStringList{"The settings were not saved: disk full"});
        QVERIFY(w->isVisible());
        Prompt::setNextAnswers({answer(Answer::Yes)});
        clickLater(w, "cancelButton");
    });
    failing.start();
    QVERIFY(!again.run());
    QVERIFY2(failing.done(), qPrintable(failing.failure()));
    QCOMPARE(Prompt::takeShown(), QStringList{DiscardGuard::question()}); // what was typed goes
    QVERIFY(settings() == expected);
    QVERIFY(loadSettings(*m_engine, stored).ok());
    QVERIFY(stored == expected);
}

void TestInvoiceWindow::paymentListSizing()
{
    TPickPmt list;
    QList<InvoicePayment> payments;
    for (int i = 0; i < 12; ++i)
        payments << InvoicePayment{QDate(2024, 9, i + 20 > 30 ? 30 : i + 19), 123456789.0 + i};
    const int m = list.fontMetrics().horizontalAdvance(QLatin1Char('M'));
    auto *grid = list.findChild<QTableWidget *>("paymentGrid");
    list.setPayments(payments.mid(0, 11));
    // At least 7 and 10 letters M, and every date and amount on one line in the font in use.
    QVERIFY(grid->columnWidth(0) >= 7 * m);
    QVERIFY(grid->columnWidth(1) >= 10 * m);
    QVERIFY(!grid->wordWrap());
    for (int row = 0; row < grid->rowCount(); ++row) {
        for (int c = 0; c < 2; ++c) {
            const QString text = grid->item(row, c)->text();
            QVERIFY2(grid->fontMetrics().horizontalAdvance(text) < grid->columnWidth(c), qPrintable(text));
        }
    }
    const int narrow = grid->minimumWidth();
    QCOMPARE(narrow, grid->columnWidth(0) + grid->columnWidth(1) + 1 + 2 * grid->frameWidth());
    list.setPayments(payments);
    QCOMPARE(grid->rowCount(), 12);
    QCOMPARE(grid->minimumWidth(), narrow + 16); // room for the scroll bar
    QVERIFY(list.minimumWidth() >= grid->minimumWidth() + 16);
    // The caption is not cut.
    QVERIFY(list.minimumWidth() > list.fontMetrics().horizontalAdvance(list.windowTitle()));
}

// The main window's "Invoices" loop through the program's own windows: the invoice list's "New",
// the customer and product lists, the item dialog; then the list again, the saved invoice
// reopened from it, and the list cancelled.
void TestInvoiceWindow::invoicesThroughTheProgramWindows()
{
    QVERIFY(m_engine->closeAll().isOk());
    m_engine.reset();
    openDatabase(m_dir->path());
    QVERIFY(loadSettings(database()).ok());
    registerInvoiceWindows();
    const OpenResult invoices = InvoiceStore::openTables(database());
    QVERIFY(invoices.ok());

    ModalDriver script;
    script.then("pickInvoiceDialog", [](QWidget *w) {
        QVERIFY(!child<QPushButton>(w, "selectButton")->isEnabled()); // no invoice yet
        clickLater(w, "newButton");
    });
    script.then("invoiceDialog", [](QWidget *w) { clickLater(w, "customerButton"); });
    script.then("pickCustomerDialog", [](QWidget *w) {
        auto *grid = child<QTableWidget>(w, "pickGrid");
        QCOMPARE(grid->item(0, 0)->text().trimmed(), QStringLiteral("Smith"));
        grid->selectRow(0);
        clickLater(w, "selectButton");
    });
    script.then("invoiceDialog", [](QWidget *w) {
        QCOMPARE(child<QPlainTextEdit>(w, "addressEdit")->toPlainText().split('\n').value(0),
                 QStringLiteral("Ann Smith"));
        clickLater(w, "addItemButton");
    });
    script.then("pickProductDialog", [](QWidget *w) {
        auto *grid = child<QTableWidget>(w, "pickGrid");
        QCOMPARE(grid->item(0, 0)->text().trimmed(), QStringLiteral("BOLT"));
        grid->selectRow(0);
        clickLater(w, "selectButton");
    });
    script.then("itemDefDialog", [](QWidget *w) {
        typeInto(w, "quantityBox", QStringLiteral("3"));
        clickLater(w, "saveButton");
    });
    script.then("invoiceDialog", [](QWidget *w) {
        QCOMPARE(textOf(w, "totalBox"), QStringLiteral("      7.50"));
        Prompt::setNextAnswers({QStringLiteral("1001"), answer(Answer::No)});
        clickLater(w, "saveButton");
    });
    script.then("pickInvoiceDialog", [](QWidget *w) {
        auto *grid = child<QTableWidget>(w, "pickGrid");
        QCOMPARE(grid->item(0, 0)->text(), QStringLiteral("  1001"));
        grid->selectRow(0);
        clickLater(w, "selectButton");
    });
    script.then("invoiceDialog", [](QWidget *w) {
        QCOMPARE(textOf(w, "invoiceNumberEdit"), QStringLiteral("  1001"));
        QCOMPARE(gridRow(w, 0).value(3), QStringLiteral("     3.00"));
        clickLater(w, "cancelButton");
    });
    script.then("pickInvoiceDialog", [](QWidget *w) { clickLater(w, "cancelButton"); });
    script.start();
    browseAndEdit(*invoices.table, RecordKind::Invoice, lastRecordNumber(*invoices.table), nullptr);
    QVERIFY2(script.done(), qPrintable(script.failure()));
    QVERIFY(closeDatabase().isOk());

    const QJsonArray items = liveRows(m_dir->file("ITM5.DBF"));
    QCOMPARE(items.size(), 1);
    QCOMPARE(items[0].toObject()["IVNO"].toInt(), 1001);
    QCOMPARE(items[0].toObject()["QTY"].toDouble(), 3.0);
}

QTEST_MAIN(TestInvoiceWindow)
#include "tst_invoice_window.moc"
