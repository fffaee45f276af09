// The main window as a user meets it: start-up in a good and a bad folder, the splash, the pages,
// the report list, the preferences, the maintenance commands, the mail-merge export and shutdown,
// on real data files in a temporary folder.

#include "AboutU.h"
#include "AppTestSupport.h"
#include "BusinessPlace.h"
#include "Database.h"
#include "Help.h"
#include "MailMerge.h"
#include "MainU.h"
#include "Maintenance.h"
#include "MultGroupU.h"
#include "ProgramCommands.h"
#include "ProgressStatus.h"
#include "Prompt.h"
#include "ReportFont.h"
#include "ReportFontU.h"
#include "ReportList.h"
#include "Tables.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFontComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>

using namespace tallyra;
using apptest::ScriptedClock;
using testsupport::ModalDriver;
using testsupport::readFile;
using testsupport::recordCount;
using testsupport::TempDataDir;
using testsupport::writeFile;

namespace {

QVariant ok()
{
    return QVariant::fromValue(Prompt::Answer::Ok);
}

QVariant cancel()
{
    return QVariant::fromValue(Prompt::Answer::Cancel);
}

// A started main window on a folder; closed (shutdown included) when it goes out of scope.
struct Started
{
    TMain window;
    std::shared_ptr<ScriptedClock> clock = std::make_shared<ScriptedClock>(QList<qint64>{0, 5000});

    explicit Started(const QString &dir)
    {
        window.setDataDirectory(dir);
        window.setStartupClock(clock);
    }
    ~Started()
    {
        if (window.isVisible() || databaseOpen())
            window.close();
    }
    bool start()
    {
        if (!window.start())
            return false;
        QApplication::setActiveWindow(&window);
        return QTest::qWaitForWindowActive(&window);
    }
    template <typename T> T *find(const char *name) { return window.findChild<T *>(QLatin1String(name)); }
    void click(const char *button)
    {
        QPushButton *b = find<QPushButton>(button);
        QVERIFY2(b, button);
        QVERIFY2(b->isEnabled(), button);
        QTest::mouseClick(b, Qt::LeftButton);
    }
    QAction *findAction(const char *name) { return window.findChild<QAction *>(QLatin1String(name)); }
    void showPage(int index) { find<QTabWidget>("pageTabs")->setCurrentIndex(index); }
    // Double-clicks row `row` of the report list after pressing the category button.
    void runReportEntry(const char *category, int row)
    {
        showPage(2);
        click(category);
        auto *list = find<QTableWidget>("reportList");
        const QRect cell = list->visualRect(list->model()->index(row, 0));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, cell.center());
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, cell.center());
    }
};

bool anyWindowVisible()
{
    const auto windows = QApplication::topLevelWidgets();
    for (QWidget *w : windows) {
        if (w->isVisible())
            return true;
    }
    return false;
}

CustomerRecord customer(qint64 number, const QString &last, const QString &company, const QString &zip,
                        qint64 group)
{
    CustomerRecord c;
    c.CuNo = number;
    c.Title = QStringLiteral("Ms");
    c.First = QStringLiteral("Ann ") + QString::number(number);
    c.Last = last;
    c.Addr1 = company;
    c.Addr2 = QStringLiteral("%1 Main Street").arg(number);
    c.Addr3 = QString();
    c.Addr4 = QStringLiteral("Springfield");
    c.Zip = zip;
    c.NGroup = group;
    return c;
}

// The record number of the first customer in the order of a tag, with an engine of the test's own.
qint64 firstInOrder(const QString &dir, const QString &tag)
{
    db::Engine engine(dir);
    const OpenResult open = openCustomers(engine);
    if (!open || !open.table->selectTag(tag) || !open.table->top())
        return -1;
    const qint64 first = open.table->recNo();
    closeAllTables(engine);
    return first;
}

} // namespace

class TstMainWindow : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_config;

private Q_SLOTS:
    void initTestCase()
    {
        // The remembered business goes to a settings file of the test's own, never the user's.
        QVERIFY(m_config.isValid());
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_config.path()));
    }

    void init()
    {
        forgetBusiness();
        Prompt::clearAnswers();
        Prompt::takeShown();
        ReportFont::reset();
        Help::setOpener([](const QUrl &) { return true; });
    }

    void startInAFolderWithoutDataFilesEndsWithTheMessage()
    {
        TempDataDir empty;
        QVERIFY(
            QFile(empty.file(QStringLiteral("CUST5.DBF"))).open(QIODevice::WriteOnly)); // one is not enough
        Prompt::setNextAnswers({ok()});
        Started s(empty.path());
        QVERIFY(!s.window.start());
        QCOMPARE(Prompt::takeShown(), QStringList{QStringLiteral(
                                          "Database files not found in startup directory\r\nProgram must be "
                                          "started from the directory containing the data files.")});
        QVERIFY(!anyWindowVisible());
        QVERIFY(!databaseOpen());
        QVERIFY(s.window.terminated());
    }

    void unreadableSettingsTableEndsTheProgram()
    {
        TempDataDir dir;
        QVERIFY(apptest::makeBusiness(dir));
        QFile tlr2(dir.file(QStringLiteral("TLR2.DBF")));
        QVERIFY(tlr2.open(QIODevice::WriteOnly | QIODevice::Truncate)); // present, but no table
        tlr2.write("not a table");
        tlr2.close();
        Prompt::setNextAnswers({ok()});
        Started s(dir.path());
        QVERIFY(!s.window.start());
        QCOMPARE(Prompt::takeShown(),
                 QStringList{QStringLiteral("Unable to open file TLR2.DBF\nProgram will now terminate.")});
        QVERIFY(!anyWindowVisible());
        QVERIFY(!databaseOpen());
    }

    void splashStaysUpUntilTheTimeHasPassed()
    {
        TempDataDir dir;
        QVERIFY(apptest::makeBusiness(dir));
        Started s(dir.path());
        s.clock = std::make_shared<ScriptedClock>(QList<qint64>{1000, 1300});
        s.window.setStartupClock(s.clock);
        bool splashShown = false;
        bool okHidden = false;
        QString splashCaption;
        s.clock->onWait = [&] {
            TAboutForm *about = s.window.aboutForm();
            splashShown = about->isVisible();
            okHidden = !about->findChild<QPushButton *>(QStringLiteral("okButton"))->isVisible();
            splashCaption = about->windowTitle();
        };
        QVERIFY(s.start());
        QCOMPARE(s.clock->waits, QList<qint64>{1428});
        QVERIFY(splashShown);
        QVERIFY(okHidden);
        QCOMPARE(splashCaption, QStringLiteral("About Tallyra " TALLYRA_VERSION));
        QVERIFY(!s.window.aboutForm()->isVisible());
        QCOMPARE(s.window.windowTitle(), QStringLiteral("Tallyra " TALLYRA_VERSION));
        QVERIFY(QRegularExpression(QStringLiteral("^Tallyra \\d+\\.\\d+\\.\\d+$"))
                    .match(s.window.windowTitle())
                    .hasMatch());
        // Start-up opens the "Invoices" pages, leaves no table open and asks nothing.
        QCOMPARE(s.find<QTabWidget>("pageTabs")->currentIndex(), 0);
        QCOMPARE(s.window.reportKind(), 1);
        QVERIFY(!database().table(QStringLiteral("TLR2")));
        QVERIFY(Prompt::takeShown().isEmpty());
    }

    void slowStartClosesTheSplashAtOnce()
    {
        TempDataDir dir;
        QVERIFY(apptest::makeBusiness(dir));
        Started s(dir.path());
        s.clock = std::make_shared<ScriptedClock>(QList<qint64>{0, 1728});
        s.window.setStartupClock(s.clock);
        QVERIFY(s.start());
        QVERIFY(s.clock->waits.isEmpty());
        QVERIFY(!s.window.aboutForm()->isVisible());
        // From the menu the About window has its "OK".
        ModalDriver driver;
        driver.then<TAboutForm>([](TAboutForm *about) {
            auto *okButton = about->findChild<QPushButton *>(QStringLiteral("okButton"));
            QVERIFY(okButton->isVisible());
            QTest::mouseClick(okButton, Qt::LeftButton);
        });
        driver.start();
        s.window.findChild<QAction *>(QStringLiteral("aboutAction"))->trigger();
    }

    void missingIndexIsRebuiltSilentlyAtStartUp()
    {
        TempDataDir dir;
        QVERIFY(apptest::makeBusiness(dir, true));
        QVERIFY(QFile::remove(dir.file(QStringLiteral("invd.ntx"))));
        const QByteArray customersIndex = readFile(dir.file(QStringLiteral("cName.ntx")));
        {
            Started s(dir.path());
            QVERIFY(s.start());
            QVERIFY(Prompt::takeShown().isEmpty());
            QCOMPARE(s.window.progress()->message(), QString());
            QVERIFY(QFileInfo::exists(dir.file(QStringLiteral("invd.ntx"))));
        }
        // Only the invoice group was built; the tag works.
        QCOMPARE(readFile(dir.file(QStringLiteral("cName.ntx"))), customersIndex);
        db::Engine engine(dir.path());
        const OpenResult invoices = openInvoices(engine);
        QVERIFY(invoices);
        QVERIFY(invoices.table->checkTag(QStringLiteral("InvD")).isOk());
    }

    // The start-up rule's words, the table that failed and the engine's reason.
    void failuresThatEndTheProgramSayWhyAndEndIt()
    {
        TempDataDir dir;
        QVERIFY(apptest::makeBusiness(dir, true));
        QVERIFY(QFile::remove(dir.file(QStringLiteral("invd.ntx"))));
        const QByteArray invoices = readFile(dir.file(QStringLiteral("INV6.DBF")));
        QVERIFY(writeFile(dir.file(QStringLiteral("INV6.DBF")), invoices.left(20)));
        Prompt::setNextAnswers({ok()});
        {
            Started s(dir.path());
            QVERIFY(!s.start());
            const QStringList shown = Prompt::takeShown();
            QCOMPARE(shown.size(), 1);
            const QStringList lines = shown.first().split(QLatin1Char('\n'));
            QCOMPARE(lines.size(), 3);
            QCOMPARE(lines.mid(0, 2), (QStringList{QStringLiteral("Unable to open file INV6.DBF"),
                                                   QStringLiteral("Program will now terminate.")}));
            QVERIFY2(lines[2].contains(QLatin1String("INV6"), Qt::CaseInsensitive), qPrintable(lines[2]));
            QVERIFY(s.window.terminated());
        }
    }

    void reportListFollowsTheButtonsAndTheFormulas()
    {
        TempDataDir dir;
        QVERIFY(apptest::makeBusiness(dir));
        Started s(dir.path());
        QVERIFY(s.start());
        s.showPage(2);
        s.click("salesReportsButton");
        QCOMPARE(s.window.reportKind(), 4);
        auto *list = s.find<QTableWidget>("reportList");
        QCOMPARE(list->rowCount(), 8);
        QCOMPARE(list->item(0, 0)->text(), QStringLiteral("Sales Reports"));
        QCOMPARE(list->item(7, 0)->text(), QStringLiteral("Sales by Dept."));
        QWidget *page = list->parentWidget();
        const int rowHeight = s.window.reportListRowHeight();
        // As wide as its widest text in the list's own font ("Receivable Income"), with margins;
        // the list's font is the window's, not shrunk.
        QCOMPARE(list->font().pointSizeF(), s.window.font().pointSizeF());
        const int height = 8 * (rowHeight + 1) + 3;
        const int width = list->fontMetrics().horizontalAdvance(QStringLiteral("Receivable Income")) + 12 +
                          2 * list->frameWidth();
        QVERIFY(width > list->fontMetrics().horizontalAdvance(QStringLiteral("Sales Reports")));
        QCOMPARE(list->geometry(), QRect(int(0.75 * page->width()) - width / 2,
                                         page->height() / 2 - height / 2, width, height));
        QCOMPARE(list->columnWidth(0), width);
        // Every row shows whole: the rows fill the list's inside.
        QCOMPARE(list->rowViewportPosition(7) + list->rowHeight(7), 8 * (rowHeight + 1));
        QVERIFY(list->viewport()->height() >= 8 * (rowHeight + 1));

        s.click("customerProfileButton");
        QCOMPARE(list->rowCount(), 3);
        QCOMPARE(list->height(), 3 * (rowHeight + 1) + 3);
        // "for Selected Customers" on one line, the list no wider than it needs.
        QCOMPARE(list->width(),
                 list->fontMetrics().horizontalAdvance(QStringLiteral("for Selected Customers")) + 12 +
                     2 * list->frameWidth());
        s.click("addressLabelsButton");
        QCOMPARE(list->item(0, 0)->text(), QStringLiteral("Print Address Labels for"));
        QCOMPARE(list->rowCount(), 6);
    }

    void inventoryMethodIsStoredOnLeavingItsGroup()
    {
        TempDataDir dir;
        QVERIFY(apptest::makeBusiness(dir, true));
        const SettingsRecord before = apptest::storedSettings(dir.path());
        QVERIFY(before.fifo);
        QVERIFY(before.ByCust);
        Started s(dir.path());
        QVERIFY(s.start());
        s.showPage(3);
        auto *lifo = s.find<QRadioButton>("lifoRadio");
        QVERIFY(s.find<QRadioButton>("fifoRadio")->isChecked());
        QTest::mouseClick(lifo, Qt::LeftButton);
        QVERIFY(lifo->isChecked());
        s.showPage(0);
        QVERIFY(!settings().fifo);
        SettingsRecord stored = apptest::storedSettings(dir.path());
        QVERIFY(!stored.fifo);
        stored.fifo = true;
        QCOMPARE(stored, before); // every other field as it was

        // The customer order likewise, and the second choice is captioned at start-up.
        s.showPage(3);
        auto *byEmail = s.find<QRadioButton>("byEmailRadio");
        QCOMPARE(byEmail->text(), QStringLiteral("By EMail Address"));
        QTest::mouseClick(byEmail, Qt::LeftButton);
        s.showPage(1);
        QVERIFY(!apptest::storedSettings(dir.path()).ByCust);
    }

    void reportFontIsAppliedAtStartUpAndStoredWhenChosen()
    {
        TempDataDir dir;
        QVERIFY(apptest::makeBusiness(dir));
        SettingsRecord stored = apptest::storedSettings(dir.path());
        stored.FontName = QStringLiteral("  DejaVu Serif ");
        stored.FontSize = 12;
        QVERIFY(apptest::storeSettings(dir.path(), stored));
        Started s(dir.path());
        QVERIFY(s.start());
        auto *box = s.find<QLineEdit>("reportFontEdit");
        QCOMPARE(box->text(), QStringLiteral("DejaVu Serif@12"));
        QVERIFY(s.find<QLineEdit>("printerEdit")
                    ->text()
                    .contains(QRegularExpression(QStringLiteral("-(Landscape|Portrait)$"))));

        s.showPage(3);
        // Family and size only, starting on the report font's regular style.
        bool onlyFamilyAndSize = false;
        ModalDriver driver;
        driver.then<TReportFontDialog>([&onlyFamilyAndSize](TReportFontDialog *dialog) {
            const QFont start = dialog->selectedFont();
            onlyFamilyAndSize = start.family() == QStringLiteral("DejaVu Serif") && start.pointSize() == 12 &&
                                !start.bold() && !start.italic() &&
                                dialog->findChildren<QCheckBox *>().isEmpty();
            if (!onlyFamilyAndSize)
                qWarning() << "report font dialog starts on" << start
                           << dialog->findChildren<QCheckBox *>().size();
            dialog->findChild<QFontComboBox *>(QStringLiteral("fontFamilyComboBox"))
                ->setCurrentFont(QFont(QStringLiteral("DejaVu Sans Mono")));
            dialog->findChild<QComboBox *>(QStringLiteral("fontSizeComboBox"))
                ->setCurrentText(QStringLiteral("14"));
            dialog->accept();
        });
        driver.start();
        s.click("reportFontButton");
        QVERIFY(onlyFamilyAndSize);
        QCOMPARE(box->text(), QStringLiteral("DejaVu Sans Mono@14"));
        QCOMPARE(ReportFont::family(), QStringLiteral("DejaVu Sans Mono"));
        stored = apptest::storedSettings(dir.path());
        QCOMPARE(stored.FontName, QStringLiteral("DejaVu Sans Mono"));
        QCOMPARE(stored.FontSize, 14);

        // "Cancel" keeps the font, though the dialog was browsed.
        ModalDriver second;
        second.then<TReportFontDialog>([](TReportFontDialog *dialog) {
            dialog->findChild<QComboBox *>(QStringLiteral("fontSizeComboBox"))
                ->setCurrentText(QStringLiteral("20"));
            dialog->reject();
        });
        second.start();
        s.click("reportFontButton");
        QCOMPARE(box->text(), QStringLiteral("DejaVu Sans Mono@14"));
        QCOMPARE(apptest::storedSettings(dir.path()).FontSize, 14);
    }

    void mailMergeFileKeepsEightColumnsInPostalCodeOrder()
    {
        TempDataDir dir;
        QVERIFY(apptest::makeBusiness(dir));
        QVERIFY(apptest::addGroups(
            dir.path(),
            {{1, QStringLiteral("Retail")}, {2, QStringLiteral("Trade")}, {3, QStringLiteral("Press")}}));
        QVERIFY(apptest::addCustomers(
            dir.path(),
            {customer(1, QStringLiteral("Zeller"), QString(), QStringLiteral("30100"), 1),
             customer(2, QStringLiteral("Young"), QStringLiteral("Young & Co"), QStringLiteral("10200"), 2),
             customer(3, QStringLiteral("Xu"), QStringLiteral("Press Ltd"), QStringLiteral("20300"), 3),
             customer(4, QStringLiteral("Wolf"), QStringLiteral("Gone Ltd"), QStringLiteral("15000"), 1)}));
        QVERIFY(apptest::markDeleted(dir.path(), QStringLiteral("CUST5"), 4));
        Started s(dir.path());
        QVERIFY(s.start());
        const QString path = dir.file(QStringLiteral("merge.doc"));
        QFile old(path);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write(QByteArray(5000, 'x')); // longer than the export: nothing of it may remain
        old.close();

        QStringList offered;
        ModalDriver driver;
        driver.then<TMultGroup>([&](TMultGroup *window) {
            auto *list = window->findChild<QListWidget *>(QStringLiteral("groupList"));
            for (int i = 0; i < list->count(); ++i)
                offered << list->item(i)->text();
            list->item(1)->setSelected(true);
            list->item(0)->setSelected(true);
            QTest::mouseClick(window->findChild<QPushButton *>(QStringLiteral("runButton")), Qt::LeftButton);
        });
        driver.start();
        Prompt::setNextAnswers({path});
        s.runReportEntry("bulkMailButton", 1);
        QCOMPARE(offered, (QStringList{QStringLiteral(" 1 - Retail"), QStringLiteral(" 2 - Trade"),
                                       QStringLiteral(" 3 - Press")}));
        QCOMPARE(Prompt::takeShown(), QStringList{QStringLiteral("Export Merge File")});
        QCOMPARE(selectedGroups(), (QList<qint64>{1, 2}));

        const QByteArray expected = "Title\tFirstName\tLastName\tCompany\tAddr1\tAddr2\tAddr3\tPostalCode\r\n"
                                    "Ms\tAnn 2\tYoung\tYoung & Co\t2 Main Street\t\tSpringfield\t10200\r\n"
                                    "Ms\tAnn 1\tZeller\t\t1 Main Street\t\tSpringfield\t30100\r\n";
        const QByteArray written = readFile(path);
        QCOMPARE(written, expected);
        for (const QByteArray &line : written.split('\n')) {
            if (!line.isEmpty())
                QCOMPARE(line.count('\t'), 7);
        }
        QVERIFY(!database().table(QStringLiteral("CUST5")));
        QCOMPARE(s.window.progress()->message(), QString());

        // A file that cannot be made is reported with its name.
        const QString bad = dir.file(QStringLiteral("merge.doc/inside.doc"));
        ModalDriver second;
        second.then<TMultGroup>([](TMultGroup *window) {
            QTest::mouseClick(window->findChild<QPushButton *>(QStringLiteral("allButton")), Qt::LeftButton);
            QTest::mouseClick(window->findChild<QPushButton *>(QStringLiteral("runButton")), Qt::LeftButton);
        });
        second.start();
        Prompt::setNextAnswers({bad, ok()});
        s.runReportEntry("bulkMailButton", 1);
        QCOMPARE(Prompt::takeShown(), (QStringList{QStringLiteral("Export Merge File"),
                                                   QStringLiteral("Unable to save to: ") + bad}));
        QCOMPARE(readFile(path), expected);

        // Cancelling the groups asks for no file.
        ModalDriver third;
        third.then<TMultGroup>([](TMultGroup *window) {
            QTest::mouseClick(window->findChild<QPushButton *>(QStringLiteral("cancelButton")),
                              Qt::LeftButton);
        });
        third.start();
        s.runReportEntry("bulkMailButton", 1);
        QVERIFY(Prompt::takeShown().isEmpty());
    }

    void closingWithThePackFlagPacks()
    {
        TempDataDir dir;
        QVERIFY(apptest::makeBusiness(dir, true));
        const qint64 customers = recordCount(dir.path(), QStringLiteral("CUST5"));
        QVERIFY(customers > 10);
        {
            Started s(dir.path());
            QVERIFY(s.start());
            QVERIFY(apptest::markDeleted(dir.path(), QStringLiteral("CUST5"), 3));
            QVERIFY(apptest::markDeleted(dir.path(), QStringLiteral("CUST5"), 7));
            setPackNeeded(true);
            s.findAction("exitAction")->trigger();
            QVERIFY(!s.window.isVisible());
            QVERIFY(!databaseOpen());
        }
        QVERIFY(!packNeeded());
        QCOMPARE(recordCount(dir.path(), QStringLiteral("CUST5")), customers - 2);
        // Without the flag nothing is packed.
        QVERIFY(apptest::markDeleted(dir.path(), QStringLiteral("CUST5"), 1));
        {
            Started s(dir.path());
            QVERIFY(s.start());
        }
        QCOMPARE(recordCount(dir.path(), QStringLiteral("CUST5")), customers - 2);
    }

    void eraseAsksFirstAndKeepsTheSettings()
    {
        TempDataDir dir;
        QVERIFY(apptest::makeBusiness(dir, true));
        const qint64 customers = recordCount(dir.path(), QStringLiteral("CUST5"));
        const qint64 labels = recordCount(dir.path(), QStringLiteral("LABELS"));
        const SettingsRecord letterhead = apptest::storedSettings(dir.path());
        Started s(dir.path());
        QVERIFY(s.start());
        s.showPage(4);
        Prompt::setNextAnswers({cancel()});
        s.click("eraseButton");
        QCOMPARE(Prompt::takeShown(), QStringList{eraseWarning()});
        QCOMPARE(recordCount(dir.path(), QStringLiteral("CUST5")), customers);

        // The erased tables are copied aside first, and the closing message names the copy.
        Prompt::setNextAnswers({ok(), ok()});
        s.click("eraseButton");
        const QStringList shown = Prompt::takeShown();
        QCOMPARE(shown.size(), 2);
        QCOMPARE(shown[0], eraseWarning());
        QVERIFY2(
            shown[1].startsWith(QStringLiteral("The data files were erased.\nA copy of the data as they were "
                                               "before is in backups/erase-")),
            qPrintable(shown[1]));
        const QString copy = dir.file(shown[1].section(QStringLiteral(" is in "), 1).chopped(1));
        QCOMPARE(recordCount(copy, QStringLiteral("CUST5")), customers);
        QCOMPARE(recordCount(dir.path(), QStringLiteral("CUST5")), 0);
        QCOMPARE(recordCount(dir.path(), QStringLiteral("INV6")), 0);
        QCOMPARE(recordCount(dir.path(), QStringLiteral("LABELS")), labels);
        QCOMPARE(apptest::storedSettings(dir.path()), letterhead);
        // The status bar says what was done, and clears itself later.
        QCOMPARE(s.window.progress()->message(), QStringLiteral("Data files erased"));
        QCOMPARE(s.window.progress()->percent(), 0);
        QTRY_COMPARE_WITH_TIMEOUT(s.window.progress()->message(), QString(), 8000);
    }

    void reindexRebuildsAndPackRemovesDeletedRecords()
    {
        TempDataDir dir;
        QVERIFY(apptest::makeBusiness(dir, true));
        Started s(dir.path());
        QVERIFY(s.start());
        QVERIFY(QFile::remove(dir.file(QStringLiteral("ccno.ntx"))));
        s.showPage(4);
        s.click("reindexButton");
        QVERIFY(QFileInfo::exists(dir.file(QStringLiteral("ccno.ntx"))));
        QVERIFY(Prompt::takeShown().isEmpty());
        QCOMPARE(s.window.progress()->message(), QStringLiteral("Indexes rebuilt"));

        const qint64 products = recordCount(dir.path(), QStringLiteral("Prod5"));
        QVERIFY(apptest::markDeleted(dir.path(), QStringLiteral("Prod5"), 2));
        s.click("packButton");
        QCOMPARE(recordCount(dir.path(), QStringLiteral("Prod5")), products - 1);
        QVERIFY(Prompt::takeShown().isEmpty());
        QCOMPARE(s.window.progress()->message(), QStringLiteral("Data files packed"));
    }

    // Where the program finds its business: the directory it starts in or is given, else the one
    // opened last; "Open Business..." and "New Business..." switch to another one.
    void businessIsFoundOpenedAndCreatedByTheUser()
    {
        TempDataDir first;
        TempDataDir second;
        TempDataDir empty;
        TempDataDir created;
        QVERIFY(apptest::makeBusiness(first, true));
        QVERIFY(apptest::makeBusiness(second));
        const QString missing =
            QStringLiteral("Database files not found in startup directory\r\nProgram must be "
                           "started from the directory containing the data files.");
        struct Case
        {
            const char *what;
            QString remembered; // before the start; empty: none
            QString dir;        // the start directory
            bool given;         // named on the command line
            QString opened;     // the business opened; empty: the program ends with `missing`
        };
        const QList<Case> cases = {
            {"start directory with data files", second.path(), first.path(), false, first.path()},
            {"empty start directory, remembered business", first.path(), empty.path(), false, first.path()},
            {"empty start directory, nothing remembered", QString(), empty.path(), false, QString()},
            {"empty directory named on the command line", first.path(), empty.path(), true, QString()},
            {"remembered business gone", empty.path(), empty.path(), false, QString()},
        };
        for (const Case &c : cases) {
            if (c.remembered.isEmpty())
                forgetBusiness();
            else
                rememberBusiness(c.remembered);
            Prompt::setNextAnswers({ok()});
            Started s(c.dir);
            s.window.setDataDirectory(c.dir, c.given);
            const bool started = s.start();
            QVERIFY2(started == !c.opened.isEmpty(), c.what);
            if (!started) {
                QCOMPARE(Prompt::takeShown(), QStringList{missing});
                continue;
            }
            Prompt::clearAnswers();
            QCOMPARE(s.window.dataDirectory(), QDir(c.opened).absolutePath());
            QCOMPARE(database().directory(), QDir(c.opened).absolutePath());
            QCOMPARE(rememberedBusiness(), QDir(c.opened).absolutePath());
        }

        // From the menu: a directory without data files is refused and the business stays; then
        // the second business; then a new one made in an empty directory.
        Started s(first.path());
        QVERIFY(s.start());
        Prompt::setNextAnswers({empty.path(), ok()});
        s.findAction("openBusinessAction")->trigger();
        QCOMPARE(Prompt::takeShown(), (QStringList{QStringLiteral("Open Business"),
                                                   QStringLiteral("No business's data files are in %1.")
                                                       .arg(QDir::toNativeSeparators(empty.path()))}));
        QCOMPARE(s.window.dataDirectory(), QDir(first.path()).absolutePath());
        QVERIFY(databaseOpen());

        Prompt::setNextAnswers({second.path()});
        s.findAction("openBusinessAction")->trigger();
        QCOMPARE(s.window.dataDirectory(), QDir(second.path()).absolutePath());
        QCOMPARE(rememberedBusiness(), QDir(second.path()).absolutePath());
        QCOMPARE(database().directory(), QDir(second.path()).absolutePath());

        Prompt::setNextAnswers({created.path()});
        s.findAction("newBusinessAction")->trigger();
        QCOMPARE(s.window.dataDirectory(), QDir(created.path()).absolutePath());
        QVERIFY(dataFilesPresent(created.path()));
        QCOMPARE(recordCount(created.path(), QStringLiteral("CUST5")), 0);
        QCOMPARE(recordCount(first.path(), QStringLiteral("CUST5")) > 0, true);
        // A directory that already holds a business is not made over.
        Prompt::takeShown();
        Prompt::setNextAnswers({first.path(), ok()});
        s.findAction("newBusinessAction")->trigger();
        QCOMPARE(Prompt::takeShown().size(), 2);
        QCOMPARE(s.window.dataDirectory(), QDir(created.path()).absolutePath());
        forgetBusiness();
    }

    void reportListRunsOnEnterAndSpace()
    {
        TempDataDir dir;
        QVERIFY(apptest::makeBusiness(dir));
        Started s(dir.path());
        int runs = 0;
        s.window.setCommand(Command::PrintInvoices, [&runs](QWidget *) { ++runs; });
        QVERIFY(s.start());
        s.showPage(2);
        s.click("invoiceReportsButton");
        auto *list = s.find<QTableWidget>("reportList");
        list->setFocus();
        list->setCurrentCell(1, 0);
        QCOMPARE(list->item(1, 0)->text(), reportCategories().first().entries.first().text);
        QTest::keyClick(list, Qt::Key_Return);
        QTest::keyClick(list, Qt::Key_Space);
        QTest::keyClick(list, Qt::Key_Enter, Qt::KeypadModifier);
        QCOMPARE(runs, 3);
        // Every entry shows on one line, in the list's own font.
        for (int row = 0; row < list->rowCount(); ++row) {
            const QString text = list->item(row, 0)->text();
            QFont font = list->item(row, 0)->font();
            QVERIFY2(QFontMetrics(font).horizontalAdvance(text) < list->columnWidth(0), qPrintable(text));
        }
        QCOMPARE(list->font().pointSizeF(), s.window.font().pointSizeF());
        QCOMPARE(s.findAction("aboutAction")->text().remove(QLatin1Char('&')),
                 QStringLiteral("About Tallyra"));
    }

    // Another copy of the program holding a table open: "Pack Data" packs the rest and names what
    // it passed over; "Erase Data Files" erases nothing, says why, and this copy goes on.
    void packAndEraseUnderAnotherCopySayWhatTheyLeft()
    {
        TempDataDir dir;
        QVERIFY(apptest::makeBusiness(dir, true));
        const qint64 customers = recordCount(dir.path(), QStringLiteral("CUST5"));
        const qint64 products = recordCount(dir.path(), QStringLiteral("Prod5"));
        const qint64 items = recordCount(dir.path(), QStringLiteral("ITM5"));
        QVERIFY(apptest::markDeleted(dir.path(), QStringLiteral("Prod5"), 2));
        QVERIFY(apptest::markDeleted(dir.path(), QStringLiteral("ITM5"), 1));
        Started s(dir.path());
        QVERIFY(s.start());
        db::Engine other(dir.path());
        QVERIFY(openItems(other));
        s.showPage(4);

        Prompt::setNextAnswers({ok()});
        s.click("packButton");
        QCOMPARE(Prompt::takeShown(),
                 QStringList{QStringLiteral("These data files were not packed (in use by another program, or "
                                            "damaged): ITM5.DBF")});
        QCOMPARE(recordCount(dir.path(), QStringLiteral("Prod5")), products - 1);
        QCOMPARE(recordCount(dir.path(), QStringLiteral("ITM5")), items);

        Prompt::setNextAnswers({ok(), ok()});
        s.click("eraseButton");
        const QStringList shown = Prompt::takeShown();
        QCOMPARE(shown.size(), 2);
        QCOMPARE(shown[0], eraseWarning());
        QVERIFY2(shown[1].startsWith(QStringLiteral("Nothing was erased.\n")) &&
                     shown[1].contains(QStringLiteral("ITM5")),
                 qPrintable(shown[1]));
        QVERIFY(!s.window.terminated());
        QCOMPARE(recordCount(dir.path(), QStringLiteral("CUST5")), customers);
        QCOMPARE(database().access(), db::Access::Shared);
        QVERIFY(closeAllTables(other).isOk());
    }

    void commandsWithoutAHandlerAreDisabledAndRegisteredOnesRun()
    {
        TempDataDir dir;
        QVERIFY(apptest::makeBusiness(dir, true));
        Started s(dir.path());
        QVERIFY(s.start());
        auto *backup = s.find<QPushButton>("backupButton");
        QVERIFY(!backup->isEnabled());
        QVERIFY(backup->toolTip().contains(QStringLiteral("not available"), Qt::CaseInsensitive));
        auto *print = s.find<QPushButton>("printInvoicesButton");
        QVERIFY(!print->isEnabled());
        QVERIFY(print->toolTip().startsWith(QStringLiteral("Print Invoices by date")));

        QWidget *parentSeen = nullptr;
        s.window.setCommand(Command::Backup, [&](QWidget *parent) {
            parentSeen = parent;
            QVERIFY(openCustomers(database()));
        });
        QVERIFY(backup->isEnabled());
        s.showPage(4);
        s.click("backupButton");
        QCOMPARE(parentSeen, &s.window);
        QVERIFY(!database().table(QStringLiteral("CUST5"))); // closed after the command

        // A report-list entry is grey until its command exists; one command serves button and entry.
        s.showPage(2);
        s.click("invoiceReportsButton");
        auto *list = s.find<QTableWidget>("reportList");
        QVERIFY(!(list->item(1, 0)->flags() & Qt::ItemIsEnabled));
        int runs = 0;
        s.window.setCommand(Command::PrintInvoices, [&](QWidget *) { ++runs; });
        QVERIFY(list->item(1, 0)->flags() & Qt::ItemIsEnabled);
        s.runReportEntry("invoiceReportsButton", 1);
        s.runReportEntry("invoiceReportsButton", 0); // the title row runs nothing
        QCOMPARE(runs, 1);
        s.showPage(0);
        s.click("printInvoicesButton");
        QCOMPARE(runs, 2);
    }

    void batchLabelsNeedTheirFile()
    {
        TempDataDir dir;
        QVERIFY(apptest::makeBusiness(dir));
        Started s(dir.path());
        QVERIFY(s.start());
        int runs = 0;
        s.window.setCommand(Command::LabelsBatch, [&](QWidget *) { ++runs; });
        Prompt::setNextAnswers({ok()});
        s.click("batchLabelsButton");
        QCOMPARE(Prompt::takeShown(), QStringList{QStringLiteral("Unable to save to: BatchLab.dat")});
        QCOMPARE(runs, 0);
        QFile batch(dir.file(QStringLiteral("batchlab.dat")));
        QVERIFY(batch.open(QIODevice::WriteOnly));
        batch.write("12\r\n");
        batch.close();
        s.click("batchLabelsButton");
        QCOMPARE(runs, 1);
    }

    void customersCommandRunsTheLoopAndPacksWhatWasDeleted()
    {
        TempDataDir dir;
        QVERIFY(apptest::makeBusiness(dir, true));
        const qint64 customers = recordCount(dir.path(), QStringLiteral("CUST5"));
        const qint64 firstByName = firstInOrder(dir.path(), QStringLiteral("CName"));
        const qint64 firstByCompany = firstInOrder(dir.path(), QStringLiteral("cComp"));
        QVERIFY(firstByName > 0 && firstByCompany > 0);
        QVERIFY(firstByName != firstByCompany); // the sample business tells the orders apart
        QList<qint64> picks;
        QList<qint64> edits;
        QString orderSeen;
        RecordWindows windows;
        windows.pick = [&](QWidget *, qint64 selection, bool allowNew) {
            picks << selection;
            orderSeen = database().table(QStringLiteral("CUST5"))->selectedTag();
            if (!allowNew)
                return qint64(-1);
            return picks.size() == 1 ? qint64(5) : qint64(-1);
        };
        windows.edit = [&](QWidget *, qint64 selection) {
            edits << selection;
            db::Table *t = database().table(QStringLiteral("CUST5"));
            t->go(quint32(selection));
            t->markDeleted();
            setPackNeeded(true);
            return selection;
        };
        setRecordWindows(RecordKind::Customer, windows);
        Started s(dir.path());
        QVERIFY(s.start());
        s.showPage(1);
        s.click("customersButton");
        setRecordWindows(RecordKind::Customer, {});

        // Preselected: the first customer by name.
        QCOMPARE(picks.size(), 2);
        QCOMPARE(picks[0], firstByName);
        QCOMPARE(edits, QList<qint64>{5});
        QCOMPARE(picks[1], 5);
        QCOMPARE(orderSeen.toUpper(), QStringLiteral("CNAME"));
        QVERIFY(!database().table(QStringLiteral("CUST5")));
        QVERIFY(!packNeeded());
        QCOMPARE(recordCount(dir.path(), QStringLiteral("CUST5")), customers - 1);
    }

    // With customers shown by e-mail address the command orders CUST5 by company (tag cComp)
    // before the loop, and preselects the first customer in that order.
    void customersCommandOrdersByCompanyWhenNotByName()
    {
        TempDataDir dir;
        QVERIFY(apptest::makeBusiness(dir, true));
        SettingsRecord stored = apptest::storedSettings(dir.path());
        stored.ByCust = false;
        QVERIFY(apptest::storeSettings(dir.path(), stored));
        const qint64 firstByCompany = firstInOrder(dir.path(), QStringLiteral("cComp"));
        QVERIFY(firstByCompany != firstInOrder(dir.path(), QStringLiteral("CName")));
        QList<qint64> picks;
        QString orderSeen;
        RecordWindows windows;
        windows.pick = [&](QWidget *, qint64 selection, bool) {
            picks << selection;
            orderSeen = database().table(QStringLiteral("CUST5"))->selectedTag();
            return qint64(-1);
        };
        windows.edit = [](QWidget *, qint64 selection) { return selection; };
        setRecordWindows(RecordKind::Customer, windows);
        Started s(dir.path());
        QVERIFY(s.start());
        QVERIFY(s.find<QRadioButton>("byEmailRadio")->isChecked());
        s.showPage(1);
        s.click("customersButton");
        setRecordWindows(RecordKind::Customer, {});
        QCOMPARE(picks, QList<qint64>{firstByCompany});
        QCOMPARE(orderSeen.toUpper(), QStringLiteral("CCOMP"));
        QVERIFY(!database().table(QStringLiteral("CUST5")));
    }

    // A damaged index is offered for rebuilding: "No" ends the program as any table that cannot
    // be opened does, with the file left as it is.
    void damagedIndexRefusedEndsTheProgram()
    {
        TempDataDir dir;
        QVERIFY(apptest::makeBusiness(dir, true));
        const QString tag = dir.file(QStringLiteral("czip.ntx"));
        const QByteArray cut = readFile(tag).left(1500);
        QVERIFY(writeFile(tag, cut));
        Started s(dir.path());
        QVERIFY(s.start());
        Prompt::setNextAnswers({QVariant::fromValue(Prompt::Answer::No), ok()});
        s.runReportEntry("bulkMailButton", 1);
        const QStringList shown = Prompt::takeShown();
        QCOMPARE(shown.size(), 2);
        QVERIFY2(shown[0].startsWith(QStringLiteral("The index of CUST5.DBF is damaged:\n")),
                 qPrintable(shown[0]));
        QVERIFY2(shown[0].contains(QStringLiteral("czip.ntx")), qPrintable(shown[0]));
        QCOMPARE(shown[1], QStringLiteral("Unable to open file AccTag.Ntx\nProgram will now terminate."));
        QVERIFY(s.window.terminated());
        QCOMPARE(readFile(tag), cut);
    }

    // "Yes" rebuilds the damaged group and the command goes on. An index another program is
    // changing is in use, not damaged: nothing is offered and nothing rebuilt under it.
    void damagedIndexIsRebuiltOnRequestButOneInUseNever()
    {
        TempDataDir dir;
        QVERIFY(apptest::makeBusiness(dir, true));
        const QString tag = dir.file(QStringLiteral("czip.ntx"));
        const QByteArray whole = readFile(tag);
        const QByteArray groupsTag = readFile(dir.file(QStringLiteral("nGroup.ntx")));
        QVERIFY(writeFile(tag, whole.left(1500)));
        Started s(dir.path());
        QVERIFY(s.start());
        bool groupsAsked = false;
        ModalDriver driver;
        driver.then<TMultGroup>([&](TMultGroup *window) {
            groupsAsked = true;
            QTest::mouseClick(window->findChild<QPushButton *>(QStringLiteral("cancelButton")),
                              Qt::LeftButton);
        });
        driver.start();
        Prompt::setNextAnswers({QVariant::fromValue(Prompt::Answer::Yes)});
        s.runReportEntry("bulkMailButton", 1);
        QCOMPARE(Prompt::takeShown().size(), 1);
        QVERIFY(groupsAsked);
        QVERIFY(!s.window.terminated());
        QCOMPARE(readFile(tag), whole); // built again from the same records
        QCOMPARE(readFile(dir.file(QStringLiteral("nGroup.ntx"))), groupsTag);
        QVERIFY(!database().table(QStringLiteral("CUST5")));
        QCOMPARE(database().access(), db::Access::Shared);

        // Another program adds a customer and holds CUST5's tags while it changes them.
        db::Engine other(dir.path());
        const OpenResult writer = openCustomers(other);
        QVERIFY(writer);
        QVERIFY(writer.table->appendBlank().isOk());
        CustomerRecord c = customer(900, QStringLiteral("Busy"), QString(), QStringLiteral("99999"), 1);
        QVERIFY(writeCustomer(*writer.table, c).isOk());
        const QByteArray inUse = readFile(tag);
        // A second answer, for a question that must not come, keeps a fault from waiting on a box.
        Prompt::setNextAnswers({ok(), ok()});
        s.runReportEntry("bulkMailButton", 1);
        QVERIFY(Prompt::hasCannedAnswers());
        QCOMPARE(Prompt::takeShown(),
                 QStringList{QStringLiteral("Unable to open file AccTag.Ntx\nProgram will now terminate.")});
        QVERIFY(s.window.terminated());
        QCOMPARE(readFile(tag), inUse);
        QVERIFY(closeAllTables(other).isOk());
    }

    void helpButtonsOpenTheirPages()
    {
        TempDataDir dir;
        QVERIFY(apptest::makeBusiness(dir));
        QStringList opened;
        Help::setOpener([&](const QUrl &url) {
            opened << QFileInfo(url.toLocalFile()).fileName();
            return true;
        });
        Started s(dir.path());
        QVERIFY(s.start());
        const char *buttons[] = {"invoicesHelpButton", "customersHelpButton", "reportsHelpButton",
                                 "preferencesHelpButton", "maintenanceHelpButton"};
        for (int i = 0; i < 5; ++i) {
            s.showPage(i);
            s.click(buttons[i]);
        }
        s.findAction("helpContentsAction")->trigger();
        QCOMPARE(opened,
                 (QStringList{QStringLiteral("invoices.html"), QStringLiteral("customers-and-products.html"),
                              QStringLiteral("report-generation.html"), QStringLiteral("preferences.html"),
                              QStringLiteral("file-maintenance.html"), QStringLiteral("index.html")}));
    }

    void aTableThatCannotBeOpenedEndsTheProgram()
    {
        TempDataDir dir;
        QVERIFY(apptest::makeBusiness(dir, true));
        Started s(dir.path());
        QVERIFY(s.start());
        QFile groups(dir.file(QStringLiteral("GROUPS.DBF")));
        QVERIFY(groups.open(QIODevice::ReadWrite));
        groups.write(QByteArray(32, '\xff')); // a header no table has
        groups.close();
        Prompt::setNextAnswers({ok()});
        s.runReportEntry("bulkMailButton", 1);
        QCOMPARE(Prompt::takeShown(),
                 QStringList{QStringLiteral("Unable to open file GROUPS.DBF\nProgram will now terminate.")});
        QVERIFY(s.window.terminated());
        QVERIFY(!s.window.isVisible());
        QVERIFY(!databaseOpen());
    }

    // A settings table lost while the program runs ends it from "Sales Tax", as the message says.
    // Last of all: ending the program ends every event loop of this process.
    void lostSettingsTableEndsTheProgramFromSalesTax()
    {
        TempDataDir dir;
        QVERIFY(apptest::makeBusiness(dir));
        Started s(dir.path());
        s.window.setCommand(Command::SalesTax, {});
        registerProgramCommands(s.window);
        QVERIFY(s.start());
        const QByteArray settingsTable = readFile(dir.file(QStringLiteral("TLR2.DBF")));
        QVERIFY(writeFile(dir.file(QStringLiteral("TLR2.DBF")), "not a table"));
        s.showPage(3);
        Prompt::setNextAnswers({ok()});
        ModalDriver driver;
        driver.then("taxDefDialog", [](QWidget *dialog) {
            QTest::mouseClick(dialog->findChild<QPushButton *>(QStringLiteral("saveButton")), Qt::LeftButton);
        });
        driver.start();
        s.click("salesTaxButton");
        QCOMPARE(Prompt::takeShown(),
                 QStringList{QStringLiteral("Unable to open file TLR2.DBF\nProgram will now terminate.")});
        QVERIFY(s.window.terminated());
        QVERIFY(!s.window.isVisible());
        QVERIFY(!databaseOpen());
        QVERIFY(writeFile(dir.file(QStringLiteral("TLR2.DBF")), settingsTable));
    }
};

QTEST_MAIN(TstMainWindow)
#include "tst_main_window.moc"
