// The nine report-list entries run as a user runs them: the main window on a business written to
// disk, the entry double-clicked, its dialogs answered (date span, product and customer pick
// lists, group choice), and in the viewer "Print" (a PDF read back with pdftotext) and both text
// exports. Afterwards the buffer is empty and no table is open. A span without invoices gives
// its notice and shows no viewer.

#include "AppTestSupport.h"
#include "CurrentPrinter.h"
#include "Database.h"
#include "MainU.h"
#include "ModalDriver.h"
#include "ProgramCommands.h"
#include "ProgressStatus.h"
#include "Prompt.h"
#include "ReportFixture.h"
#include "ReportFont.h"
#include "ReportText.h"
#include "ReportU.h"
#include "Tables.h"
#include "TestSupport.h"

#include <QAction>
#include <QApplication>
#include <QDateEdit>
#include <QLineEdit>
#include <QListWidget>
#include <QProcess>
#include <QPushButton>
#include <QTabWidget>
#include <QTableWidget>
#include <QTest>

using namespace tallyra;
using namespace reportfixture;
using testsupport::ModalDriver;

namespace {

QString pdfText(const QString &pdf)
{
    QProcess p;
    p.start(QStringLiteral("pdftotext"), {"-layout", pdf, "-"});
    p.waitForFinished(30000);
    return QString::fromUtf8(p.readAllStandardOutput());
}

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Queues an answer for each window of `dialogs`, in order: the dates typed into the date window,
// WIDGET sought in the product list, the customer list answered with NG the first time and left
// with Escape the next, and every group run.
void answer(ModalDriver &driver, const QStringList &dialogs, QDate start = kStart, QDate end = kEnd)
{
    bool customerPicked = false;
    for (const QString &name : dialogs) {
        if (name == "dateSpanDialog") {
            driver.then(name, [start, end](QWidget *w) {
                w->findChild<QDateEdit *>("beginDateEdit")->setDate(start);
                w->findChild<QDateEdit *>("endDateEdit")->setDate(end);
                QTest::mouseClick(w->findChild<QPushButton *>("okButton"), Qt::LeftButton);
            });
        } else if (name == "pickProductDialog" || (name == "pickCustomerDialog" && !customerPicked)) {
            customerPicked = customerPicked || name == "pickCustomerDialog";
            const QString search = name == "pickProductDialog" ? "WIDGET" : "NG";
            driver.then(name, [search](QWidget *w) {
                QTest::keyClicks(w->findChild<QLineEdit *>("searchEdit"), search);
                QTest::mouseClick(w->findChild<QPushButton *>("selectButton"), Qt::LeftButton);
            });
        } else if (name == "pickCustomerDialog") {
            driver.then(name, [](QWidget *w) { QTest::keyClick(w, Qt::Key_Escape); });
        } else if (name == "multGroupDialog") {
            driver.then(name, [](QWidget *w) {
                QTest::mouseClick(w->findChild<QPushButton *>("allButton"), Qt::LeftButton);
                QTest::mouseClick(w->findChild<QPushButton *>("runButton"), Qt::LeftButton);
            });
        } else {
            QFAIL(qPrintable("no answer for " + name));
        }
    }
}

// What the viewer showed: its first title and its buffer as padded text, then what "Print" (to
// a PDF) and both text exports wrote into `dir`.
struct Viewed
{
    QString dir, title, exported;
    bool maximized = false;
    QString pdf() const { return dir + "/report.pdf"; }
    QString text() const { return dir + "/report.txt"; }
    QString tabs() const { return dir + "/report.asc"; }
};

// Queues the viewer: its contents read, "Print" and both exports, then "Exit".
void view(ModalDriver &driver, Viewed *v)
{
    driver.then<TReportF>([v](TReportF *viewer) {
        v->maximized = viewer->isMaximized();
        const ReportBuffer &b = reportBuffer();
        v->title = b.titles().value(0);
        v->exported = QString::fromUtf8(reportExportText(b, TextLayout::Padded));
        Prompt::setNextAnswers({v->pdf(), v->text(), v->tabs()});
        for (const char *action : {"printAction", "asciiTextAction", "tabDelimitedAction", "exitAction"})
            viewer->findChild<QAction *>(action)->trigger();
    });
}

struct Program
{
    TMain window;
    explicit Program(const QString &dir)
    {
        window.setDataDirectory(dir);
        window.setStartupClock(std::make_shared<apptest::ScriptedClock>(QList<qint64>{0, 5000}));
        registerProgramCommands(window);
    }
    void runEntry(const char *category, int row)
    {
        window.findChild<QTabWidget *>("pageTabs")->setCurrentIndex(2);
        QTest::mouseClick(window.findChild<QPushButton *>(category), Qt::LeftButton);
        auto *list = window.findChild<QTableWidget *>("reportList");
        QVERIFY(list->item(row, 0)->flags() & Qt::ItemIsEnabled);
        const QRect cell = list->visualRect(list->model()->index(row, 0));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, cell.center());
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, cell.center());
    }
};

} // namespace

class TestSalesReportCommands : public QObject
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

    // Each entry: its list, its row, the windows it asks with, its title and a line of its text.
    void entriesRunThroughTheViewer_data()
    {
        QTest::addColumn<QString>("category");
        QTest::addColumn<int>("row");
        QTest::addColumn<QStringList>("dialogs");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("line");
        const QString span = "3/1/24 through 3/31/24";
        const QStringList dates = {"dateSpanDialog"};
        QTest::newRow("Sales Summary")
            << "salesReportsButton" << 1 << dates << "Sales Summary for " + span
            << "           Totals      65.00        3.00        8.50       2.65      73.15";
        QTest::newRow("Product Summary")
            << "salesReportsButton" << 2 << dates << "Sales by Product from " + span
            << "  Total Sales                                             62.01";
        QTest::newRow("Product Buyers")
            << "salesReportsButton" << 3 << QStringList{"pickProductDialog", "dateSpanDialog"}
            << "Buyers of WIDGET-Widget, ten inch"
            << " UNKNOWN                             UNKNOWN               3/31/24     10.00";
        QTest::newRow("Income Summary")
            << "salesReportsButton" << 4 << dates << "Daily Income from " + span
            << " Total Payments                                                   41.81";
        QTest::newRow("Receivable Income")
            << "salesReportsButton" << 5 << QStringList{} << "RECEIVABLES"
            << " Total Receivables                                              17.50";
        QTest::newRow("Tax Summary") << "salesReportsButton" << 6 << dates << "Tax report for " + span
                                     << "Total                                        73.15";
        QTest::newRow("Sales by Dept.")
            << "salesReportsButton" << 7 << dates << "Summary of Sales by Department for " + span
            << " Totals          65.00        3.00        8.50        2.65       73.15";
        QTest::newRow("for Selected Customers")
            << "customerProfileButton" << 1 << QStringList{"pickCustomerDialog", "pickCustomerDialog"}
            << "Customer Profile"
            << " Cust#: 3  Group: ";
        QTest::newRow("for Selected Groups")
            << "customerProfileButton" << 2 << QStringList{"multGroupDialog"} << "Customer Profile"
            << " Cust#: 2  Group: Wholesale";
    }

    void entriesRunThroughTheViewer()
    {
        QFETCH(QString, category);
        QFETCH(int, row);
        QFETCH(QStringList, dialogs);
        QFETCH(QString, title);
        QFETCH(QString, line);
        testsupport::FixedClock clock(kToday);
        testsupport::TempDataDir dir;
        QVERIFY(write(dir.path(), sampleBusiness()));
        Program program(dir.path());
        QVERIFY(program.window.start());

        ModalDriver driver;
        answer(driver, dialogs);
        Viewed viewed{dir.path()};
        view(driver, &viewed);
        driver.start();
        program.runEntry(qPrintable(category), row);
        QVERIFY2(driver.done(), qPrintable(driver.failure()));
        QVERIFY(viewed.maximized);
        QCOMPARE(viewed.title, title);
        const QStringList lines = viewed.exported.split("\r\n");
        QVERIFY2(
            std::any_of(lines.cbegin(), lines.cend(), [&](const QString &l) { return l.startsWith(line); }),
            qPrintable(viewed.exported));
        // Print and both exports from the viewer.
        QCOMPARE(Prompt::takeShown().size(), 3);
        const QByteArray textFile = readAll(viewed.text()), tabFile = readAll(viewed.tabs());
        QCOMPARE(QString::fromUtf8(textFile), viewed.exported);
        QCOMPARE(tabFile.count('\n'), textFile.count('\n'));
        QVERIFY(tabFile.contains(title.toUtf8()) && tabFile.contains('\t'));
        const QString printed = pdfText(viewed.pdf());
        QVERIFY2(printed.contains(title), qPrintable(printed));
        QVERIFY2(printed.contains(line.trimmed().section(' ', -1)), qPrintable(printed));
        // The command leaves nothing behind.
        QTRY_VERIFY(reportBuffer().isEmpty());
        for (TableId id : {TableId::Invoices, TableId::Items, TableId::Customers, TableId::Payments,
                           TableId::Products, TableId::Groups})
            QVERIFY(!openedTable(database(), id));
        QCOMPARE(program.window.progress()->message(), QString());
        QVERIFY(program.window.isVisible());
        program.window.close();
    }

    void aSpanWithoutInvoicesGivesItsNotice_data()
    {
        QTest::addColumn<int>("row");
        QTest::addColumn<QString>("message");
        QTest::newRow("Sales Summary") << 1 << "No Invoices within selected dates.";
        QTest::newRow("Income Summary") << 4 << "No Payments within selected dates.";
        QTest::newRow("Sales by Dept.") << 7 << "No Invoices within selected dates.";
    }

    void aSpanWithoutInvoicesGivesItsNotice()
    {
        QFETCH(int, row);
        QFETCH(QString, message);
        testsupport::FixedClock clock(kToday);
        testsupport::TempDataDir dir;
        QVERIFY(write(dir.path(), sampleBusiness()));
        Program program(dir.path());
        QVERIFY(program.window.start());
        // The date window only: a viewer would be a window no step answers.
        ModalDriver driver;
        answer(driver, {"dateSpanDialog"}, QDate(2023, 1, 1), QDate(2023, 1, 31));
        driver.start();
        Prompt::setNextAnswers({QVariant::fromValue(Prompt::Answer::Ok)});
        program.runEntry("salesReportsButton", row);
        // The command runs to its end inside the double-click, dialogs included.
        QVERIFY2(driver.done(), qPrintable(driver.failure()));
        QCOMPARE(Prompt::takeShown(), QStringList{message});
        QVERIFY(reportBuffer().isEmpty());
        program.window.close();
    }
};

QTEST_MAIN(TestSalesReportCommands)
#include "tst_sales_report_commands.moc"
