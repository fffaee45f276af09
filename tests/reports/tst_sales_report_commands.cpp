// The nine report-list entries run as a user runs them: the main window on a business written to
// disk, the entry double-clicked, its dialogs answered (date span, product and customer pick
// lists, group choice), and in the viewer "Print" (a PDF read back with pdftotext) and both text
// exports. Afterwards the buffer is empty and no table is open. A span without invoices gives
// its notice and shows no viewer.

#include "AppTestSupport.h"
#include "CurrentPrinter.h"
#include "Database.h"
#include "MainU.h"
#include "ProgramCommands.h"
#include "ProgressStatus.h"
#include "Prompt.h"
#include "ReportFixture.h"
#include "ReportFont.h"
#include "ReportText.h"
#include "ReportU.h"
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
#include <QTimer>

using namespace tallyra;
using namespace reportfixture;

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

// Answers each modal window as it comes up, until the viewer has been handled or `limit` ms pass.
class Driver : public QObject
{
public:
    QDate start = kStart, end = kEnd;
    QString product = "WIDGET";
    QString customer = "NG"; // typed into the customer list's search box; picked once
    QString outDir;
    QStringList seen;        // object names of the windows answered, in order
    QString title, exported; // the viewer's first title and its buffer as padded text
    QByteArray textFile, tabFile;
    QString printed;
    bool maximized = false;

    Driver()
    {
        m_timer.setInterval(10);
        connect(&m_timer, &QTimer::timeout, this, [this] { poll(); });
        m_timer.start();
    }

private:
    void poll()
    {
        QWidget *w = QApplication::activeModalWidget();
        if (!w || !w->isVisible() || w == m_last)
            return;
        m_last = w;
        seen << w->objectName();
        if (w->objectName() == "dateSpanDialog") {
            w->findChild<QDateEdit *>("beginDateEdit")->setDate(start);
            w->findChild<QDateEdit *>("endDateEdit")->setDate(end);
            QTest::mouseClick(w->findChild<QPushButton *>("okButton"), Qt::LeftButton);
        } else if (w->objectName() == "pickProductDialog") {
            QTest::keyClicks(w->findChild<QLineEdit *>("searchEdit"), product);
            QTest::mouseClick(w->findChild<QPushButton *>("selectButton"), Qt::LeftButton);
        } else if (w->objectName() == "pickCustomerDialog") {
            if (!customer.isEmpty()) {
                QTest::keyClicks(w->findChild<QLineEdit *>("searchEdit"), customer);
                customer.clear();
                QTest::mouseClick(w->findChild<QPushButton *>("selectButton"), Qt::LeftButton);
            } else {
                QTest::keyClick(w, Qt::Key_Escape);
            }
        } else if (w->objectName() == "multGroupDialog") {
            QTest::mouseClick(w->findChild<QPushButton *>("allButton"), Qt::LeftButton);
            QTest::mouseClick(w->findChild<QPushButton *>("runButton"), Qt::LeftButton);
        } else if (auto *viewer = qobject_cast<TReportF *>(w)) {
            maximized = viewer->isMaximized();
            const ReportBuffer &b = reportBuffer();
            title = b.titles().value(0);
            exported = QString::fromUtf8(reportExportText(b, TextLayout::Padded));
            const QString pdf = outDir + "/report.pdf", txt = outDir + "/report.txt",
                          asc = outDir + "/report.asc";
            Prompt::setNextAnswers({pdf, txt, asc});
            viewer->findChild<QAction *>("printAction")->trigger();
            viewer->findChild<QAction *>("asciiTextAction")->trigger();
            viewer->findChild<QAction *>("tabDelimitedAction")->trigger();
            printed = pdfText(pdf);
            textFile = readAll(txt);
            tabFile = readAll(asc);
            viewer->findChild<QAction *>("exitAction")->trigger();
            m_timer.stop();
        }
        // A window answered and closed may be shown again (the customer list is).
        if (!w->isVisible())
            m_last = nullptr;
    }

    QTimer m_timer;
    QWidget *m_last = nullptr;
};

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

        Driver driver;
        driver.outDir = dir.path();
        program.runEntry(qPrintable(category), row);
        QTRY_VERIFY_WITH_TIMEOUT(!driver.title.isEmpty(), 10000);
        QCOMPARE(driver.seen, dialogs + QStringList{"reportDialog"});
        QVERIFY(driver.maximized);
        QCOMPARE(driver.title, title);
        const QStringList lines = driver.exported.split("\r\n");
        QVERIFY2(
            std::any_of(lines.cbegin(), lines.cend(), [&](const QString &l) { return l.startsWith(line); }),
            qPrintable(driver.exported));
        // Print and both exports from the viewer.
        QCOMPARE(Prompt::takeShown().size(), 3);
        QCOMPARE(QString::fromUtf8(driver.textFile), driver.exported);
        QCOMPARE(driver.tabFile.count('\n'), driver.textFile.count('\n'));
        QVERIFY(driver.tabFile.contains(title.toUtf8()) && driver.tabFile.contains('\t'));
        QVERIFY2(driver.printed.contains(title), qPrintable(driver.printed));
        QVERIFY2(driver.printed.contains(line.trimmed().section(' ', -1)), qPrintable(driver.printed));
        // The command leaves nothing behind.
        QTRY_VERIFY(reportBuffer().isEmpty());
        for (const char *table : {"INV6", "ITM5", "CUST5", "PMT", "Prod5", "GROUPS"})
            QVERIFY(!database().table(QString::fromLatin1(table)));
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
        Driver driver;
        driver.start = QDate(2023, 1, 1);
        driver.end = QDate(2023, 1, 31);
        Prompt::setNextAnswers({QVariant::fromValue(Prompt::Answer::Ok)});
        program.runEntry("salesReportsButton", row);
        // The command runs to its end inside the double-click, dialogs included.
        QCOMPARE(Prompt::takeShown(), QStringList{message});
        QCOMPARE(driver.seen, QStringList{"dateSpanDialog"});
        QVERIFY(driver.title.isEmpty());
        QVERIFY(reportBuffer().isEmpty());
        program.window.close();
    }
};

QTEST_MAIN(TestSalesReportCommands)
#include "tst_sales_report_commands.moc"
