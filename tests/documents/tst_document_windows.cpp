// The documents as a user reaches them: the main window's "Print Invoices" button through the
// date span into the viewer and on to a PDF read back with pdftotext, the invoice window's
// "Print" and "Packing List", the pick lists' messages, and the stationery window storing the
// letterhead in TLR2.

#include "../records/RecordTestSupport.h"
#include "AppTestSupport.h"
#include "CurrentPrinter.h"
#include "Database.h"
#include "DateSpanU.h"
#include "DocumentCommands.h"
#include "DocumentTestSupport.h"
#include "InvoiceCommand.h"
#include "InvoiceStore.h"
#include "InvoiceU.h"
#include "MainU.h"
#include "MoneyBox.h"
#include "ProgramCommands.h"
#include "Prompt.h"
#include "ReportBuffer.h"
#include "ReportFont.h"
#include "ReportU.h"
#include "StationaryU.h"
#include "TestSupport.h"

#include <QAction>
#include <QApplication>
#include <QDateEdit>
#include <QFile>
#include <QImage>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTest>

using namespace tallyra;
using recordtest::child;

namespace {

// The command line in the locale the tests fix for themselves, so dates print alike.
void useTestLocale(QProcess *process)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("LC_ALL"), QStringLiteral("en_US.UTF-8"));
    env.insert(QStringLiteral("LANG"), QStringLiteral("en_US.UTF-8"));
    process->setProcessEnvironment(env);
}

// Starts the main window on the business in `dir` with the program's commands.
bool startMain(TMain &window, const QString &dir)
{
    window.setDataDirectory(dir);
    window.setStartupClock(std::make_shared<apptest::ScriptedClock>(QList<qint64>{0, 5000}));
    registerProgramCommands(window);
    return window.start();
}

QStringList pdfPages(const QString &pdf)
{
    QProcess p;
    p.start(QStringLiteral("pdftotext"), {"-layout", pdf, "-"});
    p.waitForFinished(30000);
    QStringList pages = QString::fromUtf8(p.readAllStandardOutput()).split(QLatin1Char('\f'));
    if (!pages.isEmpty() && pages.last().trimmed().isEmpty())
        pages.removeLast();
    return pages;
}

// Answers the date span with the given dates and "OK" (or "Cancel").
void answerDateSpan(const QDate &from, const QDate &to, bool ok = true)
{
    apptest::whenShown<TDateSpan>([from, to, ok](TDateSpan *dialog) {
        child<QDateEdit>(dialog, "beginDateEdit")->setDate(from);
        child<QDateEdit>(dialog, "endDateEdit")->setDate(to);
        QTest::mouseClick(child<QPushButton>(dialog, ok ? "okButton" : "cancelButton"), Qt::LeftButton);
    });
}

// What the viewer held when it came up.
struct Shown
{
    bool shown = false;
    QString pdfName;
    QString text;
};

// Notes what the next viewer shows, optionally exports it to `file` by `exportAction`, and
// closes it.
void whenViewerShown(Shown *seen, const QString &file = {}, const char *exportAction = "pdfAction")
{
    apptest::whenShown<TReportF>([seen, file, exportAction](TReportF *viewer) {
        seen->shown = true;
        seen->pdfName = viewer->pdfFileName();
        seen->text = QString::fromUtf8(reportExportText(reportBuffer(), TextLayout::Padded));
        if (!file.isEmpty()) {
            Prompt::setNextAnswers({file});
            child<QAction>(viewer, exportAction)->trigger();
        }
        child<QAction>(viewer, "exitAction")->trigger();
    });
}

} // namespace

class TestDocumentWindows : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        CurrentPrinter::useFilePrinter();
        ReportFont::reset();
    }

    void init()
    {
        Prompt::clearAnswers();
        Prompt::takeShown();
    }

    void printInvoicesButtonPrintsOnePagePerInvoice()
    {
        testsupport::FixedClock clock(QDate(2024, 3, 15));
        testsupport::TempDataDir dir;
        QVERIFY(doctest::makeShop(dir.path()));
        TMain window;
        QVERIFY(startMain(window, dir.path()));
        for (const char *name : {"printInvoicesButton", "packingListButton", "stationeryButton"})
            QVERIFY2(child<QPushButton>(&window, name)->isEnabled(), name);

        const QString pdf = dir.file(QStringLiteral("run.pdf"));
        Shown seen;
        answerDateSpan(QDate(2024, 3, 1), QDate(2024, 3, 10));
        whenViewerShown(&seen, pdf);
        child<QPushButton>(&window, "printInvoicesButton")->click();
        QTRY_VERIFY(seen.shown);
        QCOMPARE(seen.pdfName, QStringLiteral("Invoices 1001-1003.pdf"));
        QCOMPARE(Prompt::takeShown(), QStringList{"Export Report"});
        QVERIFY(reportBuffer().isEmpty());
        QVERIFY(!database().table(QStringLiteral("INV6")));

        const QStringList pages = pdfPages(pdf);
        QCOMPARE(pages.size(), 3);
        for (int p = 0; p < 3; ++p) {
            QVERIFY(pages[p].contains(QStringLiteral("Harbour Supplies")));
            QVERIFY(pages[p].contains(QStringLiteral("1 Dock Road")));
            QVERIFY(pages[p].contains(QRegularExpression(QStringLiteral("Invoice No:\\s+100%1").arg(p + 1))));
            QCOMPARE(pages[p].count(QStringLiteral("Invoice No:")), 1);
            QVERIFY(pages[p].contains(QStringLiteral("Balance Due:")));
        }
        QVERIFY(pages[1].contains(QStringLiteral("xxxxxxxxxxxx1111 12/05")));
        QVERIFY(!pages[1].contains(QStringLiteral("4111")));

        // A cancelled span shows nothing (a viewer would hold the click in its exec()).
        answerDateSpan(QDate(2024, 3, 1), QDate(2024, 3, 31), false);
        child<QPushButton>(&window, "packingListButton")->click();
        QVERIFY(Prompt::takeShown().isEmpty());
        QVERIFY(reportBuffer().isEmpty());
        window.close();
    }

    void invoiceWindowPrintsTheInvoiceOnScreen()
    {
        testsupport::FixedClock clock(QDate(2024, 3, 15));
        testsupport::TempDataDir dir;
        QVERIFY(doctest::makeShop(dir.path()));
        TMain window;
        QVERIFY(startMain(window, dir.path()));
        QVERIFY(InvoiceStore::openTables(database()));
        db::Table *inv = database().table(QStringLiteral("INV6"));
        QVERIFY(inv->bottom()); // invoice 1006, whose customer is gone
        QVERIFY(inv->skip(-4)); // invoice 1002
        const quint32 rec = inv->recNo();

        Shown printed;
        Shown packing;
        bool done = false;
        apptest::whenShown<TInvoice>([&](TInvoice *form) {
            // A note typed on screen is what the document prints, masked.
            auto *note = child<QLineEdit>(form, "noteEdit");
            note->setText(QStringLiteral("5500 0000 0000 0004 1/27"));
            whenViewerShown(&printed);
            child<QPushButton>(form, "printButton")->click();
            whenViewerShown(&packing);
            child<QPushButton>(form, "packingListButton")->click();
            done = true;
            Prompt::setNextAnswers({QVariant::fromValue(Prompt::Answer::Yes)});
            form->reject();
            if (form->isVisible())
                form->done(QDialog::Rejected);
        });
        editInvoice(&window, database(), rec);
        QTRY_VERIFY(done);
        QVERIFY(printed.shown && packing.shown);
        QCOMPARE(printed.pdfName, QStringLiteral("Invoice 1002.pdf"));
        QCOMPARE(packing.pdfName, QStringLiteral("Packing List 1002.pdf"));
        QVERIFY(printed.text.contains(QStringLiteral("xxxxxxxxxxxx0004 1/27")));
        QVERIFY(printed.text.contains(QStringLiteral("Invoice No:  1002")));
        QVERIFY(printed.text.contains(QStringLiteral("102.65")));
        QVERIFY(packing.text.contains(QStringLiteral("Ship To:  Mr Thomas Holloway")));
        QVERIFY(!packing.text.contains(QStringLiteral("100.00")));
        // The invoice command still holds its tables; the documents did not close them.
        QVERIFY(database().table(QStringLiteral("INV6")));
        closeAllTables(database());
        window.close();
    }

    void pickListsOnAnEmptyBusiness()
    {
        testsupport::TempDataDir dir;
        QVERIFY(createBusiness(dir.path(), false).ok());
        db::Engine engine(dir.path());
        QString failure;
        Prompt::setNextAnswers(
            {QVariant::fromValue(Prompt::Answer::Ok), QVariant::fromValue(Prompt::Answer::Ok)});
        QVERIFY(runDocumentsPicked(nullptr, engine, DocumentType::Invoice, {}, nullptr, &failure));
        QVERIFY(runDocumentsPicked(nullptr, engine, DocumentType::Bill, {}, nullptr, &failure));
        QCOMPARE(Prompt::takeShown(), (QStringList{"No invoices to select.", "No invoices to select."}));
        QVERIFY(failure.isEmpty());
        QVERIFY(!engine.table(QStringLiteral("INV6")));

        // Without INV6 the command reports the open failure the shell ends the program with.
        QVERIFY(QFile::remove(dir.file(QStringLiteral("INV6.DBF"))) ||
                QFile::remove(dir.file(QStringLiteral("INV6.dbf"))));
        QVERIFY(!runDocumentsByDate(nullptr, engine, DocumentType::Statement, {}, nullptr, &failure));
        QCOMPARE(failure, QStringLiteral("Unable to open file INV6.DBF\nProgram will now terminate."));
    }

    // The command line's statement is the viewer's "Ascii Text" export of the same statement.
    void commandLineStatementEqualsTheViewerExport()
    {
        testsupport::FixedClock clock(QDate(2024, 3, 15));
        testsupport::TempDataDir dir;
        QVERIFY(doctest::makeShop(dir.path()));
        db::Engine engine(dir.path());
        settings() = doctest::shopSettings();
        const QString exported = dir.file(QStringLiteral("viewer.txt"));
        Shown seen;
        answerDateSpan(QDate(2024, 3, 1), QDate(2024, 3, 31));
        whenViewerShown(&seen, exported, "asciiTextAction");
        QVERIFY(runDocumentsByDate(nullptr, engine, DocumentType::Statement, {}));
        QTRY_VERIFY(seen.shown);
        QCOMPARE(seen.pdfName, QStringLiteral("Statements.pdf"));
        QFile file(exported);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray viewerText = file.readAll();
        QVERIFY(viewerText.contains("Account Statement"));

        QProcess cli;
        useTestLocale(&cli);
        cli.start(testsupport::binPath(QStringLiteral("tallyra-report")),
                  {"--dir", dir.path(), "--today", "2024-03-15", "statements", "--balance-due", "--from",
                   "2024-03-01", "--to", "2024-03-31"});
        QVERIFY(cli.waitForFinished(30000));
        QCOMPARE(cli.exitCode(), 0);
        QCOMPARE(cli.readAllStandardOutput(), viewerText);
    }

    void commandLineDocuments_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>(
            "expected"); // on standard output (or in the PDF) for 0, on standard error otherwise
        QTest::newRow("invoices by number to pdf")
            << QStringList{"invoices", "--invoices", "1003,1001", "--format", "pdf"} << 0
            << "Invoice No:\\s+1003[^\\f]*\\f[^\\f]*Invoice No:\\s+1001";
        QTest::newRow("bills of the month by default")
            << QStringList{"bills"} << 0 << "^(?![\\s\\S]*1003)[\\s\\S]*Bill[\\s\\S]*102.65";
        QTest::newRow("packing list by number") << QStringList{"packing-lists", "--invoices", "1002"} << 0
                                                << "^(?![\\s\\S]*100\\.00)[\\s\\S]*Ship To:";
        QTest::newRow("statement of a customer, tab delimited")
            << QStringList{"statements", "--customers", "42", "--format", "tsv"} << 0 << "1005\\t4/1/24";
        QTest::newRow("no invoices in the span")
            << QStringList{"invoices", "--from", "2023-01-01", "--to", "2023-01-31"} << 1
            << "^No Invoices within selected dates.";
        QTest::newRow("unknown invoice")
            << QStringList{"invoices", "--invoices", "4242"} << 1 << "^No invoice numbered 4242.";
        QTest::newRow("packing lists are not mailed")
            << QStringList{"packing-lists", "--email"} << 2 << "never e-mailed";
    }

    void commandLineDocuments()
    {
        QFETCH(QStringList, args);
        QFETCH(int, exitCode);
        QFETCH(QString, expected);
        testsupport::TempDataDir dir;
        QVERIFY(doctest::makeShop(dir.path()));
        const QString pdf = dir.file(QStringLiteral("out.pdf"));
        if (args.contains(QStringLiteral("pdf")))
            args << QStringLiteral("--output") << pdf;
        QProcess cli;
        useTestLocale(&cli);
        cli.start(testsupport::binPath(QStringLiteral("tallyra-report")),
                  QStringList{"--dir", dir.path(), "--today", "2024-03-15"} + args);
        QVERIFY(cli.waitForFinished(30000));
        const QString out = QString::fromUtf8(cli.readAllStandardOutput());
        const QString err = QString::fromUtf8(cli.readAllStandardError());
        QCOMPARE(cli.exitCode(), exitCode);
        QString checked = exitCode == 0 ? out : err;
        if (args.contains(QStringLiteral("pdf")))
            checked = pdfPages(pdf).join(QLatin1Char('\f'));
        checked.remove(QRegularExpression(QStringLiteral("QStandardPaths[^\n]*\n")));
        QVERIFY2(checked.contains(QRegularExpression(expected)), qPrintable(checked.left(2000)));
    }

    void stationerySavesTheLetterhead()
    {
        testsupport::TempDataDir dir;
        QVERIFY(doctest::makeShop(dir.path()));
        db::Engine engine(dir.path());
        settings() = doctest::shopSettings();
        QImage logo(40, 20, QImage::Format_RGB32);
        logo.fill(Qt::blue);
        const QString logoPath = dir.file(QStringLiteral("logo.png"));
        QVERIFY(logo.save(logoPath));

        bool done = false;
        apptest::whenShown<TStationary>([&](TStationary *form) {
            QCOMPARE(form->windowTitle(), QStringLiteral("Stationery Setup"));
            QCOMPARE(child<QLineEdit>(form, "companyEdit")->text(), QStringLiteral("Harbour Supplies"));
            QCOMPARE(child<QLineEdit>(form, "topMarginBox")->text(), QStringLiteral(" 0.00"));
            QVERIFY(child<QRadioButton>(form, "leftRadioButton")->isChecked());
            // A box without a number stops "Save" with a message naming it; nothing is stored.
            child<QLineEdit>(form, "logoWidthBox")->setText(QStringLiteral("  "));
            Prompt::setNextAnswers({QVariant::fromValue(Prompt::Answer::Ok)});
            child<QPushButton>(form, "saveButton")->click();
            QVERIFY(form->isVisible());
            child<QLineEdit>(form, "logoWidthBox")->setText(QStringLiteral(" 2.00"));
            child<QLineEdit>(form, "topMarginBox")->setText(QStringLiteral(" 1.00"));
            Prompt::setNextAnswers({logoPath});
            child<QPushButton>(form, "logoFileButton")->click();
            QCOMPARE(child<QLineEdit>(form, "logoFileEdit")->text(), logoPath);
            child<QRadioButton>(form, "centerRadioButton")->click();
            child<QLineEdit>(form, "companyEdit")->setText(QStringLiteral("  Harbour & Sons "));
            child<QLineEdit>(form, "closingLineEdit")->setText(QStringLiteral("Yours truly"));
            child<QPushButton>(form, "saveButton")->click();
            done = true;
        });
        runStationery(nullptr, engine);
        QVERIFY(done);
        QCOMPARE(Prompt::takeShown(), (QStringList{"Logo Width: not a number", "Logo File"}));
        const SettingsRecord stored = apptest::storedSettings(dir.path());
        QCOMPARE(stored.Company, QStringLiteral("Harbour & Sons"));
        QCOMPARE(stored.TopMargin, 1.0);
        QCOMPARE(stored.LogoWidth, 2.0);
        QCOMPARE(stored.LogoFile, logoPath);
        QCOMPARE(stored.LHJustify, qint64(2));
        QCOMPARE(stored.CloLine, QStringLiteral("Yours truly"));
        QCOMPARE(settings().Company, QStringLiteral("Harbour & Sons"));

        // A logo that has gone from the disk is dropped on the next "Save"; Escape with changes
        // asks first and a "No" keeps the window open.
        QVERIFY(QFile::remove(logoPath));
        bool second = false;
        apptest::whenShown<TStationary>([&](TStationary *form) {
            child<QLineEdit>(form, "addr2Edit")->setText(QStringLiteral("Folkestone"));
            Prompt::setNextAnswers({QVariant::fromValue(Prompt::Answer::No)});
            QTest::keyClick(form, Qt::Key_Escape);
            QVERIFY(form->isVisible());
            child<QPushButton>(form, "saveButton")->click();
            second = true;
        });
        runStationery(nullptr, engine);
        QVERIFY(second);
        QCOMPARE(Prompt::takeShown(), QStringList{"Discard the changes?"});
        const SettingsRecord again = apptest::storedSettings(dir.path());
        QCOMPARE(again.LogoFile, QString());
        QCOMPARE(again.Addr2, QStringLiteral("Folkestone"));
    }
};

QTEST_MAIN(TestDocumentWindows)
#include "tst_document_windows.moc"
