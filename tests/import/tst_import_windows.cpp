// The import windows driven offscreen on a real business: the format window's boxes and saving,
// the import window's checks and messages in their order, the preview, the group chosen before
// the import, the skipped lines, "Cancel" during an import, and "Undo Last Import".

#include "../records/RecordTestSupport.h"
#include "FmtDefU.h"
#include "ImportBackup.h"
#include "ImportU.h"
#include "Records.h"
#include "Tables.h"
#include "TestSupport.h"

#include <QComboBox>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableWidget>

using namespace tallyra;
using namespace testsupport;
using namespace recordtest;

namespace {

// Fills the format window of a customer format: name, slots 1..13 in order, comma, 9 fields.
void fillCustomerFormat(QWidget *w)
{
    type(w, "formatNameEdit", "Shop CSV");
    for (int i = 1; i <= 13; ++i)
        type(w, qPrintable(QStringLiteral("slotEdit%1").arg(i)), QString::number(i));
    type(w, "fieldCountEdit", "9");
}

// A step on the import window once no import runs in it: while one runs, the window serves
// events (the Cancel button) and the driver would otherwise act in the middle of the import.
void whenIdle(ModalDriver &driver, std::function<void(QWidget *)> action)
{
    driver.then("importDialog", [&driver, action](QWidget *w) {
        if (child<QWidget>(w, "cancelImportButton")->isVisible())
            whenIdle(driver, action);
        else
            action(w);
    });
}

} // namespace

class TestImportWindows : public QObject
{
    Q_OBJECT

private:
    EmptyBusiness m_business;

private Q_SLOTS:
    void init()
    {
        QLocale::setDefault(QLocale::c());
        QVERIFY(m_business.open());
        for (const GroupRecord &g : {GroupRecord{1, "Retail"}, GroupRecord{2, "Wholesale"}})
            QVERIFY(appendRecord(openGroups(database()), g, writeGroup));
        QVERIFY(database().closeAll());
    }
    void cleanup() { m_business.close(); }

    // The boxes of each kind, a box that is left holding no number, a delimiter that cannot be,
    // and what is stored.
    void formatWindow()
    {
        OpenResult formats = openImportFormats(database());
        QVERIFY(formats);
        quint32 saved = 0;
        ModalDriver driver;
        driver.then("fmtDefDialog", [](QWidget *w) {
            QApplication::setActiveWindow(w);
            for (int i = 1; i <= 13; ++i)
                QVERIFY(child<QWidget>(w, qPrintable(QStringLiteral("slotEdit%1").arg(i)))->isVisible());
            QCOMPARE(child<QLabel>(w, "slotLabel8")->text(), "Country");
            QCOMPARE(child<QLineEdit>(w, "delimiterEdit")->text(), "44");
            fillCustomerFormat(w);
            type(w, "slotEdit1", "x");
            QTest::keyClick(child<QLineEdit>(w, "slotEdit1"), Qt::Key_Tab);
            QCOMPARE(child<QLineEdit>(w, "slotEdit1")->text(), "0");
            type(w, "delimiterEdit", "0");
            Prompt::setNextAnswers({answer(Prompt::Answer::Ok)});
            click(w, "saveButton");
            QVERIFY(w->isVisible());
            type(w, "delimiterEdit", "9");
            click(w, "saveButton");
        });
        driver.start();
        {
            TFmtDef window;
            saved = window.run(*formats.table, ImportKind::Customers, 0);
        }
        QVERIFY2(driver.done(), qPrintable(driver.failure()));
        QVERIFY(
            Prompt::takeShown().value(0).startsWith("The delimiter must be a character code from 1 to 255"));
        QCOMPARE(saved, 1u);
        ImportFormatRecord f;
        QVERIFY(readFormat(*formats.table, saved, &f));
        QCOMPARE(f.FmtName, "Shop CSV");
        QCOMPARE(f.FmtType, 1);
        QCOMPARE(f.Fld[0], 0); // "x" became 0
        QCOMPARE(f.Fld[12], 13);
        QCOMPARE(f.Fld[13], 0);
        QCOMPARE(f.DELIM, 9);
        QCOMPARE(f.nFields, 9);

        // Products: four items; leaving with changes asks first.
        ModalDriver products;
        products.then("fmtDefDialog", [](QWidget *w) {
            QCOMPARE(child<QLabel>(w, "slotLabel1")->text(), "Product ID");
            QCOMPARE(child<QLabel>(w, "slotLabel4")->text(), "List Price");
            QVERIFY(child<QWidget>(w, "slotEdit4")->isVisible());
            for (int i = 5; i <= 13; ++i)
                QVERIFY(!child<QWidget>(w, qPrintable(QStringLiteral("slotEdit%1").arg(i)))->isVisible());
            QVERIFY(!child<QWidget>(w, "fieldHeading2")->isVisible());
            type(w, "formatNameEdit", "Catalogue");
            Prompt::setNextAnswers({answer(Prompt::Answer::No)});
            QTest::keyClick(w, Qt::Key_Escape);
            QVERIFY(w->isVisible());
            Prompt::setNextAnswers({answer(Prompt::Answer::Yes)});
            click(w, "cancelButton");
        });
        products.start();
        {
            TFmtDef window;
            QCOMPARE(window.run(*formats.table, ImportKind::Products, 0), 0u);
        }
        QVERIFY2(products.done(), qPrintable(products.failure()));
        QCOMPARE(Prompt::takeShown(), (QStringList{"Discard the changes?", "Discard the changes?"}));
        QCOMPARE(formats.table->recordCount(), 1u);
    }

    // A whole import as a user makes it: the checks in order, a format added, the preview, the
    // group, the counts, the skipped line; then undo, which puts the files back byte for byte.
    void importAndUndo()
    {
        const QString file = m_business.file("../shop.csv");
        QVERIFY(writeFile(file, "Mme,Ren\xE9"
                                "e,M\xFCller,,,Lyon,,,69001\r\n"
                                "Mr,John,Smith,1 Main St,,Boston,MA,,02134\r\n"
                                "short,line\r\n"
                                "Ms,Ann,Lee,,,Springfield,IL,,62701\r\n"));
        const QStringList before = snapshot(m_business.path());
        ModalDriver driver;
        driver
            .then("importDialog",
                  [&](QWidget *w) {
                      QCOMPARE(child<QComboBox>(w, "formatCombo")->currentText(),
                               "Click Add to create a format");
                      QVERIFY(!child<QWidget>(w, "undoButton")->isEnabled());
                      Prompt::setNextAnswers({answer(Prompt::Answer::Ok)});
                      click(w, "importButton");
                      QCOMPARE(Prompt::takeShown(),
                               QStringList{"Click the Add button to define an import format"});
                      clickLater(w, "addButton");
                  })
            .then("fmtDefDialog",
                  [](QWidget *w) {
                      fillCustomerFormat(w);
                      click(w, "saveButton");
                  })
            .then("importDialog",
                  [&](QWidget *w) {
                      QCOMPARE(child<QComboBox>(w, "formatCombo")->currentText(), "Shop CSV");
                      Prompt::setNextAnswers({answer(Prompt::Answer::Ok), answer(Prompt::Answer::Ok)});
                      click(w, "importButton");
                      type(w, "fileEdit", m_business.file("nothing-here.csv"));
                      click(w, "importButton");
                      QCOMPARE(
                          Prompt::takeShown(),
                          (QStringList{"Click Browse button to select the file you want to import",
                                       "Import File NOT Found. Click Browse button to select the file you "
                                       "want to import"}));
                      Prompt::setNextAnswers({file});
                      click(w, "browseButton");
                      QCOMPARE(child<QLineEdit>(w, "fileEdit")->text(), file);
                      QCOMPARE(child<QLabel>(w, "encodingLabel")->text(), "Read as Windows-1252");
                      auto *preview = child<QTableWidget>(w, "previewTable");
                      QCOMPARE(preview->rowCount(), 4);
                      QCOMPARE(preview->item(0, 1)->text(), "Add customer 1");
                      QCOMPARE(preview->item(0, 4)->text(), QStringLiteral("Müller"));
                      QCOMPARE(preview->item(2, 0)->text(), "3");
                      QVERIFY(preview->item(2, 1)->text().startsWith("Skip: it has 2 fields"));
                      QCOMPARE(snapshot(m_business.path()).size(), before.size());
                      Prompt::takeShown();
                      clickLater(w, "importButton");
                  })
            .then("pickGroupDialog", [](QWidget *w) {
                auto *list = child<QListWidget>(w, "groupList");
                list->setCurrentRow(1); // "Wholesale"
                Prompt::setNextAnswers({answer(Prompt::Answer::Ok)});
                click(w, "selectButton");
            });
        whenIdle(driver, [&](QWidget *w) {
            const QStringList done = Prompt::takeShown();
            QCOMPARE(done.size(), 1);
            QVERIFY2(done[0].startsWith(
                         "3 Customers Added  0 Customers Updated\n1 line was skipped; it is listed in "
                         "the window.\nCUST5.DBF as it was before the import is kept in "
                         "backups/import-customers-"),
                     qPrintable(done[0]));
            auto *skipped = child<QPlainTextEdit>(w, "skippedText");
            QVERIFY(skipped->isVisible());
            QCOMPARE(skipped->toPlainText(), "Line 3 skipped: it has 2 fields, the format needs 9");
            // The preview now says what a second import would do.
            QCOMPARE(child<QTableWidget>(w, "previewTable")->item(1, 1)->text(),
                     "Update customer 2 (Smith, John)");
            QVERIFY(child<QWidget>(w, "undoButton")->isEnabled());
            Prompt::setNextAnswers({answer(Prompt::Answer::Ok), answer(Prompt::Answer::Ok)});
            click(w, "undoButton");
            QVERIFY(!child<QWidget>(w, "undoButton")->isEnabled());
            click(w, "exitButton");
        });
        driver.start();
        {
            TImport window(database(), ImportKind::Customers);
            window.run();
            QCOMPARE(window.lastResult().added, 3);
        }
        QVERIFY2(driver.done(), qPrintable(driver.failure()));
        const QStringList shown = Prompt::takeShown();
        QCOMPARE(shown.size(), 2);
        QVERIFY(shown[0].startsWith("Put CUST5.DBF back as it was before the last import?"));
        QVERIFY(shown[1].startsWith("CUST5.DBF is back as it was before the last import."));
        // Only the format was added; CUST5 and its index are as they were.
        QStringList after = snapshot(m_business.path());
        QStringList expected = before;
        after.removeIf([](const QString &s) { return s.startsWith("ImportF"); });
        expected.removeIf([](const QString &s) { return s.startsWith("ImportF"); });
        QCOMPARE(after, expected);
        QVERIFY(!database().table("CUST5") && !database().table("ImportF"));
    }

    // "Cancel" during an import stops it after the current line and keeps what was imported.
    void cancel()
    {
        OpenResult formats = openImportFormats(database());
        ImportFormatRecord f = newImportFormat(ImportKind::Products);
        f.FmtName = "Catalogue";
        f.Fld = {1, 2, 3, 4};
        quint32 recNo = 0;
        QVERIFY(saveFormat(*formats.table, f, &recNo));
        QByteArray lines;
        for (int i = 0; i < 200000; ++i)
            lines += "P" + QByteArray::number(i) + ",Item " + QByteArray::number(i) + ",,1.50\n";
        const QString file = m_business.file("../catalogue.csv");
        QVERIFY(writeFile(file, lines));
        ModalDriver driver;
        driver.then("importDialog", [&](QWidget *w) {
            // The preview follows the typed name without the box being left.
            type(w, "fileEdit", file);
            QTRY_COMPARE(child<QTableWidget>(w, "previewTable")->rowCount(), TImport::kPreviewLines);
            QCOMPARE(child<QTableWidget>(w, "previewTable")->item(49, 1)->text(), "Add product P49");
            auto *cancel = child<QPushButton>(w, "cancelImportButton");
            // Pressed from the event loop the import keeps turning while it runs.
            QTimer::singleShot(0, cancel, [cancel] {
                QVERIFY(cancel->isVisible());
                QTest::mouseClick(cancel, Qt::LeftButton);
            });
            Prompt::setNextAnswers({answer(Prompt::Answer::Ok)});
            click(w, "importButton");
            QVERIFY(!cancel->isVisible());
            click(w, "exitButton");
        });
        driver.start();
        qint64 added = 0;
        {
            TImport window(database(), ImportKind::Products);
            window.run();
            QVERIFY(window.lastResult().cancelled);
            added = window.lastResult().added;
        }
        QVERIFY2(driver.done(), qPrintable(driver.failure()));
        QVERIFY(added > 0 && added < 200000);
        const QStringList shown = Prompt::takeShown();
        QCOMPARE(shown.size(), 1);
        QVERIFY2(shown[0].startsWith("The import was cancelled after line "), qPrintable(shown[0]));
        QVERIFY(shown[0].contains(QStringLiteral("\n%1 Products Added  0 Products Updated\n").arg(added)));
        OpenResult products = openProducts(database());
        QVERIFY(products);
        QCOMPARE(products.table->recordCount(), quint32(added));
        QVERIFY(products.table->check());
    }
};

QTEST_MAIN(TestImportWindows)
#include "tst_import_windows.moc"
