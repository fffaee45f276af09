// The label windows driven as a user drives them, on real data files: the stock form with its
// refusals, the stock list, the "Print Labels" dialog remembering the stock and the place on the
// sheet, and a whole run from the dialogs to a PDF file.

#include "../records/RecordTestSupport.h"
#include "CurrentPrinter.h"
#include "DateSpanU.h"
#include "LabPrintU.h"
#include "LabelCommands.h"
#include "LabelDefU.h"
#include "LabelPositions.h"
#include "Maintenance.h"
#include "PickLabelU.h"
#include "Tables.h"
#include "TestSupport.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QFileInfo>
#include <QListWidget>
#include <QSpinBox>

using namespace tallyra;
using namespace recordtest;
using testsupport::TempDataDir;

namespace {

QList<LabelRecord> storedStocks()
{
    QList<LabelRecord> stocks;
    const OpenResult labels = openLabels(database());
    if (!labels)
        return stocks;
    labels.table->selectNatural();
    for (bool more = labels.table->top(); more; more = labels.table->skip(1)) {
        LabelRecord r;
        if (loadLabel(*labels.table, r).isOk())
            stocks << r;
    }
    closeAllTables(database());
    return stocks;
}

} // namespace

class TstLabelWindows : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        m_dir = std::make_unique<TempDataDir>();
        QVERIFY(openEmptyBusiness(m_dir->path()));
        registerLabelWindows();
    }
    void cleanup()
    {
        closeBusiness();
        m_dir.reset();
    }

    void stockFormSavesOrRefuses_data();
    void stockFormSavesOrRefuses();
    void pickListOrderAndDeletedMark();
    void printDialogRemembersStockAndPlace();
    void invoiceLabelRunToPdf();

private:
    std::unique_ptr<TempDataDir> m_dir;
};

void TstLabelWindows::stockFormSavesOrRefuses_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("top");
    QTest::addColumn<QString>("width");
    QTest::addColumn<int>("across");
    QTest::addColumn<QString>("message"); // empty: saved

    QTest::newRow("saved") << "  Shipping 2 x 5  "
                           << "36"
                           << "288.5" << 2 << QString();
    QTest::newRow("no name") << "   "
                             << "36"
                             << "288" << 2 << "Please fill in label name.";
    QTest::newRow("emptied box") << "Shipping"
                                 << ""
                                 << "288" << 2 << "Top Margin: not a number";
    QTest::newRow("no labels across")
        << "Shipping"
        << "36"
        << "288" << 0 << "No. Labels Across: at least 1 label across is needed.";
    QTest::newRow("no width") << "Shipping"
                              << "36"
                              << "0" << 2 << "Width: the label width must be above 0.";
}

void TstLabelWindows::stockFormSavesOrRefuses()
{
    QFETCH(QString, name);
    QFETCH(QString, top);
    QFETCH(QString, width);
    QFETCH(int, across);
    QFETCH(QString, message);

    const QList<LabelRecord> before = storedStocks();
    TLabelDef form(database());
    ModalDriver driver;
    driver.then("labelDefDialog", [&](QWidget *w) {
        type(w, "labelNameEdit", name);
        type(w, "topMarginEdit", top);
        type(w, "widthEdit", width);
        type(w, "heightEdit", QStringLiteral("72"));
        child<QSpinBox>(w, "acrossSpin")->setValue(across);
        if (!message.isEmpty()) {
            Prompt::setNextAnswers(
                {QVariant::fromValue(Prompt::Answer::Ok), QVariant::fromValue(Prompt::Answer::Yes)});
            click(w, "saveButton");
            QCOMPARE(Prompt::takeShown().value(0), message);
            click(w, "cancelButton"); // changes made: "Discard the changes?" answered Yes
        } else {
            click(w, "saveButton");
        }
    });
    driver.start();
    const qint64 saved = form.run(0);
    QVERIFY2(driver.done(), qPrintable(driver.failure()));
    closeAllTables(database());
    const QList<LabelRecord> after = storedStocks();
    if (!message.isEmpty()) {
        QVERIFY(saved <= 0);
        QCOMPARE(after, before);
        return;
    }
    QCOMPARE(after.size(), before.size() + 1);
    const LabelRecord &r = after.last();
    QCOMPARE(r.Name, QStringLiteral("Shipping 2 x 5"));
    QCOMPARE(r.TopM, 36.0);
    QCOMPARE(r.Width, 288.5);
    QCOMPARE(r.NAcross, 2);
    // What another dBASE reader finds in the file.
    const QJsonArray peer = peerRead(m_dir->file(QStringLiteral("LABELS.DBF")));
    QCOMPARE(peer.last().toObject().value(QStringLiteral("NAME")).toString(),
             QStringLiteral("Shipping 2 x 5"));
    QCOMPARE(peer.last().toObject().value(QStringLiteral("WIDTH")).toDouble(), 288.5);
}

void TstLabelWindows::pickListOrderAndDeletedMark()
{
    {
        const OpenResult labels = openLabels(database());
        QVERIFY(labels);
        LabelRecord r;
        r.Name = QStringLiteral("0 first by name");
        r.Width = 100;
        r.Height = 50;
        QVERIFY(appendRecord(labels, r, writeLabel));
        QVERIFY(labels.table->markDeleted().isOk());
        closeAllTables(database());
    }
    TPickLab pick(database());
    QStringList shown;
    ModalDriver driver;
    driver.then("pickLabDialog", [&](QWidget *w) {
        auto *list = child<QListWidget>(w, "labelNamesList");
        for (int i = 0; i < list->count(); ++i)
            shown << list->item(i)->text();
        QVERIFY(!child<QAbstractButton>(w, "newButton")->isEnabled());
        list->setCurrentRow(0);
        click(w, "selectButton");
    });
    const qint64 picked = runPick(pick, -1, false, driver);
    closeAllTables(database());
    QCOMPARE(shown.size(), storedStocks().size());
    QVERIFY(shown.first().startsWith(QStringLiteral("0 first by name ")));
    QCOMPARE(shown.first().indexOf(QStringLiteral("<DELETED>")), 40);
    QCOMPARE(picked, qint64(storedStocks().size()));
}

void TstLabelWindows::printDialogRemembersStockAndPlace()
{
    const QList<LabelRecord> stocks = storedStocks();
    QVERIFY(stocks.size() >= 3);
    const LabelRecord &last = stocks[2];
    QVERIFY(rememberLabelPosition(m_dir->path(), last.Name, {2, 4}));

    TLabPrint dialog(database(), m_dir->path());
    ModalDriver driver;
    driver.then("labPrintDialog", [&](QWidget *w) {
        QCOMPARE(child<QComboBox>(w, "labelStockCombo")->currentText().trimmed(), last.Name.trimmed());
        QCOMPARE(child<QSpinBox>(w, "startColumnSpin")->value(), 2);
        QCOMPARE(child<QSpinBox>(w, "startRowSpin")->value(), 4);
        QCOMPARE(child<QSpinBox>(w, "startColumnSpin")->maximum(), int(last.NAcross));
        child<QCheckBox>(w, "outlineCheck")->setChecked(true);
        click(w, "printButton");
    });
    driver.start();
    const OpenResult labels = openLabels(database());
    QVERIFY(labels);
    QVERIFY(dialog.ask(*labels.table, last.Name));
    QVERIFY2(driver.done(), qPrintable(driver.failure()));
    closeAllTables(database());
    QCOMPARE(dialog.stock().Name, last.Name);
    QCOMPARE(dialog.options().startColumn, 2);
    QCOMPARE(dialog.options().startRow, 4);
    QVERIFY(dialog.options().outline);
}

void TstLabelWindows::invoiceLabelRunToPdf()
{
    closeBusiness();
    m_dir = std::make_unique<TempDataDir>();
    QVERIFY(createBusiness(m_dir->path(), true).ok());
    openDatabase(m_dir->path());
    registerRecordWindows();
    registerLabelWindows();
    QVERIFY(loadSettings(database()));
    QString stock;

    CurrentPrinter::useFilePrinter();
    const QString pdf = m_dir->file(QStringLiteral("labels.pdf"));
    Prompt::setNextAnswers({pdf});
    ModalDriver driver;
    driver.then("labPrintDialog", [&](QWidget *w) {
        child<QComboBox>(w, "labelStockCombo")->setCurrentIndex(1);
        stock = child<QComboBox>(w, "labelStockCombo")->currentText();
        click(w, "printButton");
    });
    driver.then("dateSpanDialog", [&](QWidget *w) {
        child<QDateEdit>(w, "beginDateEdit")->setDate(QDate(2000, 1, 1));
        child<QDateEdit>(w, "endDateEdit")->setDate(QDate(2099, 12, 31));
        click(w, "okButton");
    });
    driver.start();
    QStringList statuses;
    ProgressDisplay progress;
    progress.start = [&](const QString &text) { statuses << text; };
    QString failure;
    QVERIFY(runLabelRun(nullptr, database(), LabelKind::InvoicesDated, progress, &failure));
    QVERIFY2(driver.done(), qPrintable(driver.failure()));
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
    QCOMPARE(statuses, QStringList{QStringLiteral("Processing Invoice Labels")});
    QVERIFY(QFileInfo(pdf).size() > 0);
    // The stock is remembered for the next run, in the settings record as stored.
    QCOMPARE(settings().LabID, stock);
    QVERIFY(loadSettings(database()));
    QCOMPARE(settings().LabID.trimmed(), stock.trimmed());
    QVERIFY(QFileInfo::exists(m_dir->file(QString::fromLatin1(kLabelPositionsFile))));
    QVERIFY(!database().table(QStringLiteral("INV6")) && !database().table(QStringLiteral("CUST5")));
}

QTEST_MAIN(TstLabelWindows)
#include "tst_label_windows.moc"
