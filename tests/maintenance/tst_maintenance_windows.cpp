// The maintenance windows driven as a user drives them, offscreen, on real data files: the drive
// and directory picker by keyboard, the import directories, and the Backup, Restore and Delete
// Customers commands from their picker or date window to their closing message.

#include "BackupFiles.h"
#include "BackupSet.h"
#include "Clock.h"
#include "DateSpanU.h"
#include "DriveDirU.h"
#include "ImportDirs.h"
#include "MaintenanceCommands.h"
#include "MaintenanceTestSupport.h"
#include "ModalDriver.h"
#include "NewBusiness.h"
#include "Prompt.h"
#include "Records.h"
#include "Settings.h"
#include "TestSupport.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QTimer>

using namespace tallyra;
using testsupport::FixedClock;
using testsupport::ModalDriver;
using testsupport::TempDataDir;

namespace {

// Makes the window active, so that keystrokes go to its focus widget.
void activate(QWidget *w)
{
    QApplication::setActiveWindow(w);
    QVERIFY(QTest::qWaitForWindowActive(w));
}

// Clicks once the current step has returned: for buttons that open another modal window.
void clickLater(QWidget *w, const char *name)
{
    QPushButton *b = w->findChild<QPushButton *>(QLatin1String(name));
    QVERIFY2(b, name);
    QTimer::singleShot(0, b, [b] { QTest::mouseClick(b, Qt::LeftButton); });
}

template <typename T> T *child(QWidget *w, const char *name)
{
    T *c = w->findChild<T *>(QString::fromLatin1(name));
    if (!c)
        qWarning("no %s in %s", name, qPrintable(w->objectName()));
    return c;
}

QStringList items(QListWidget *list)
{
    QStringList texts;
    for (int i = 0; i < list->count(); ++i)
        texts << list->item(i)->text();
    return texts;
}

// Picks `dir` in the picker as a user does: the folder shown, then Tab to the OK button and Enter.
void pickIn(QWidget *picker, const QString &dir)
{
    auto *p = qobject_cast<TDriveDir *>(picker);
    QVERIFY(p && p->showDirectory(dir));
    activate(picker);
    QListWidget *dirs = child<QListWidget>(picker, "dirList");
    dirs->setFocus();
    // Tab follows the window's order: the option box, when shown, comes before OK.
    for (int i = 0; i < 2 && QApplication::focusWidget()->objectName() != QLatin1String("okButton"); ++i)
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QWidget *ok = QApplication::focusWidget();
    QCOMPARE(ok ? ok->objectName() : QString(), QStringLiteral("okButton"));
    QTest::keyClick(ok, Qt::Key_Return);
}

} // namespace

class TestMaintenanceWindows : public QObject
{
    Q_OBJECT

    FixedClock m_clock{QDate(2026, 6, 15)};

private Q_SLOTS:
    void init()
    {
        Prompt::clearAnswers();
        Prompt::takeShown();
    }

    // Keyboard only: arrows and Enter walk the folders, Tab reaches OK, Enter presses it; a
    // drive that cannot be read is named and the box goes back to the drive shown before;
    // Escape cancels with an empty result.
    void driveDirByKeyboard()
    {
        TempDataDir dir;
        QVERIFY(QDir().mkpath(dir.file("alpha")) && QDir().mkpath(dir.file("beta/inner")));
        QFile(dir.file("notes.txt")).open(QIODevice::WriteOnly);
        TDriveDir picker;
        picker.setDrives({Drive{dir.path(), {}, false}, Drive{"/no/such/drive", "STICK", true}});
        picker.prepare("Choose Backup Drive & Directory", "Backup");
        picker.setStartDirectory(dir.path());
        const QString cwd = QDir::currentPath();
        ModalDriver driver;
        driver.then("driveDirDialog", [&](QWidget *w) {
            activate(w);
            QCOMPARE(w->windowTitle(), QStringLiteral("Choose Backup Drive & Directory"));
            QCOMPARE(child<QPushButton>(w, "okButton")->text(), QStringLiteral("Backup"));
            QVERIFY(!child<QCheckBox>(w, "optionCheck")->isVisible());
            QListWidget *dirs = child<QListWidget>(w, "dirList");
            QCOMPARE(items(dirs), QStringList({"..", "alpha", "beta"}));
            QListWidget *files = child<QListWidget>(w, "fileList");
            QCOMPARE(items(files), QStringList{"notes.txt"});
            QVERIFY(!files->isEnabled());
            QCOMPARE(QApplication::focusWidget(), dirs);
            QTest::keyClick(dirs, Qt::Key_Down);
            QTest::keyClick(dirs, Qt::Key_Down);
            QTest::keyClick(dirs, Qt::Key_Return);
            QTRY_COMPARE(items(dirs), QStringList({"..", "inner"}));
            QCOMPARE(child<QLabel>(w, "pathLabel")->text(), dir.file("beta"));

            // The unreadable drive, chosen by keyboard in the drive box.
            QComboBox *drives = child<QComboBox>(w, "driveCombo");
            Prompt::setNextAnswers({QVariant::fromValue(Prompt::Answer::Ok)});
            drives->setFocus();
            QTest::keyClick(drives, Qt::Key_Down);
            QCOMPARE(Prompt::takeShown(), QStringList{"Unable to read from drive STICK (/no/such/drive)"});
            QCOMPARE(drives->currentIndex(), 0);
            QCOMPARE(child<QLabel>(w, "pathLabel")->text(), dir.file("beta"));

            dirs->setFocus();
            QTest::keyClick(dirs, Qt::Key_Down);
            QTest::keyClick(dirs, Qt::Key_Return);
            QTRY_COMPARE(child<QLabel>(w, "pathLabel")->text(), dir.file("beta/inner"));
            QTest::keyClick(dirs, Qt::Key_Tab);
            QCOMPARE(QApplication::focusWidget()->objectName(), QStringLiteral("okButton"));
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        });
        driver.start();
        QCOMPARE(picker.pick(), dir.file("beta/inner"));
        QVERIFY2(driver.done(), qPrintable(driver.failure()));
        QCOMPARE(QDir::currentPath(), cwd);

        ModalDriver escape;
        escape.then("driveDirDialog", [](QWidget *w) { QTest::keyClick(w, Qt::Key_Escape); });
        escape.start();
        QCOMPARE(picker.pick(), QString());
        QVERIFY2(escape.done(), qPrintable(escape.failure()));
    }

    // Browse fills a box from the picker and a cancelled picker empties it; a path longer than
    // a stored one is refused visibly as it is typed; Save writes the first record (appended to
    // an empty table); Escape with changes asks first and writes nothing.
    void importDirectories()
    {
        TempDataDir dir;
        QVERIFY(createBusiness(dir.path(), false).ok());
        db::Engine engine(dir.path());
        const QString info = dir.file("backups");
        QVERIFY(QDir().mkpath(info));
        driveDirWindow().setDrives({Drive{dir.path(), {}, false}});
        const QString longPath = "/" + QString(140, QLatin1Char('x'));

        ModalDriver driver;
        driver.then("importDirDialog", [](QWidget *w) {
            QCOMPARE(w->windowTitle(), QStringLiteral("Import Directories"));
            clickLater(w, "infoBrowseButton");
        });
        driver.then("driveDirDialog", [&](QWidget *picker) {
            QCOMPARE(picker->windowTitle(), QStringLiteral("Choose Customer Info Directory"));
            QCOMPARE(child<QPushButton>(picker, "okButton")->text(), QStringLiteral("OK"));
            pickIn(picker, info);
        });
        driver.then("importDirDialog", [&](QWidget *w) {
            QCOMPARE(child<QLineEdit>(w, "infoDirEdit")->text(), info);
            child<QLineEdit>(w, "orderDirEdit")->setText("/was/here");
            clickLater(w, "orderBrowseButton");
        });
        driver.then("driveDirDialog", [](QWidget *picker) {
            QCOMPARE(picker->windowTitle(), QStringLiteral("Choose Order File Directory"));
            QTest::keyClick(picker, Qt::Key_Escape);
        });
        driver.then("importDirDialog", [&](QWidget *w) {
            QCOMPARE(child<QLineEdit>(w, "orderDirEdit")->text(), QString());
            QLineEdit *order = child<QLineEdit>(w, "orderDirEdit");
            order->setFocus();
            QTest::keyClicks(order, longPath);
            QCOMPARE(order->text(), longPath.left(kPathTextLimit));
            QVERIFY(child<QLabel>(w, "refusalLabel")->text().contains("at most 126 characters"));
            QTest::mouseClick(child<QPushButton>(w, "saveButton"), Qt::LeftButton);
        });
        driver.start();
        QVERIFY(runImportDirsCommand(nullptr, engine).fatal.isEmpty());
        QVERIFY2(driver.done(), qPrintable(driver.failure()));
        ImportDirsResult stored = loadImportDirectories(engine);
        QCOMPARE(stored.dirs.InfoDir, info);
        QCOMPARE(stored.dirs.OrderDir, longPath.left(kPathTextLimit));

        // An empty table: Escape after a change asks, and nothing is written; Save appends.
        {
            const OpenResult open = openTable(engine, TableId::ImportDirs);
            QVERIFY(open && open.table->zap().isOk());
            engine.closeAll();
        }
        Prompt::setNextAnswers({QVariant::fromValue(Prompt::Answer::Yes)});
        ModalDriver discard;
        discard.then("importDirDialog", [](QWidget *w) {
            QVERIFY(child<QLineEdit>(w, "infoDirEdit")->text().isEmpty());
            QTest::keyClicks(child<QLineEdit>(w, "infoDirEdit"), "/tmp");
            QTest::keyClick(w, Qt::Key_Escape);
        });
        discard.start();
        runImportDirsCommand(nullptr, engine);
        QVERIFY2(discard.done(), qPrintable(discard.failure()));
        QCOMPARE(Prompt::takeShown(), QStringList{"Discard the changes?"});
        QCOMPARE(mtest::dumpTables(dir.path()).at("Impdirs").size(), 0);
        ModalDriver save;
        save.then("importDirDialog", [](QWidget *w) {
            QTest::keyClicks(child<QLineEdit>(w, "orderDirEdit"), "/srv/orders");
            QTest::mouseClick(child<QPushButton>(w, "saveButton"), Qt::LeftButton);
        });
        save.start();
        runImportDirsCommand(nullptr, engine);
        QVERIFY2(save.done(), qPrintable(save.failure()));
        QCOMPARE(mtest::dumpTables(dir.path()).at("Impdirs").size(), 1);
        QCOMPARE(loadImportDirectories(engine).dirs.OrderDir, QStringLiteral("/srv/orders"));
    }

    // Backup and Restore as the main window runs them: the pickers' captions, the refusal of
    // the working directory, the closing messages, and the settings ticked back in.
    void backupAndRestoreCommands()
    {
        TempDataDir dir;
        const QString data = dir.file("data");
        QVERIFY(createBusiness(data, true).ok());
        const QString stick = dir.file("stick");
        QVERIFY(QDir().mkpath(stick));
        driveDirWindow().setDrives({Drive{dir.path(), {}, false}});

        Prompt::setNextAnswers({QVariant::fromValue(Prompt::Answer::Ok)});
        ModalDriver refused;
        refused.then("driveDirDialog", [&](QWidget *w) {
            QCOMPARE(w->windowTitle(), QStringLiteral("Choose Backup Drive & Directory"));
            pickIn(w, data);
        });
        refused.start();
        runBackupCommand(nullptr, data, {});
        QVERIFY2(refused.done(), qPrintable(refused.failure()));
        QCOMPARE(Prompt::takeShown(), QStringList{"Backup must be to a different drive and/or directory"});

        Prompt::setNextAnswers({QVariant::fromValue(Prompt::Answer::Ok)});
        ModalDriver backup;
        backup.then("driveDirDialog", [&](QWidget *w) { pickIn(w, stick); });
        backup.start();
        runBackupCommand(nullptr, data, {});
        QVERIFY2(backup.done(), qPrintable(backup.failure()));
        QCOMPARE(
            Prompt::takeShown(),
            QStringList{QStringLiteral("Backup complete: 43 files copied to %1 and read back.").arg(stick)});
        QVERIFY(verifyBackup(stick).ok());

        db::Engine engine(data);
        SettingsRecord s;
        QVERIFY(loadSettings(engine, s).ok());
        const QString company = s.Company;
        s.Company = "Changed Since";
        QVERIFY(saveSettings(engine, s).ok());
        engine.closeAll();

        Prompt::setNextAnswers({QVariant::fromValue(Prompt::Answer::Ok)});
        ModalDriver restore;
        restore.then("driveDirDialog", [&](QWidget *w) {
            QCOMPARE(w->windowTitle(), QStringLiteral("Choose Drive & Directory Containing BACKUP"));
            QCOMPARE(child<QPushButton>(w, "okButton")->text(), QStringLiteral("Restore"));
            QCheckBox *option = child<QCheckBox>(w, "optionCheck");
            QVERIFY(option->isVisible());
            QCOMPARE(option->text(), QStringLiteral("Also restore settings"));
            QVERIFY(!option->isChecked());
            option->setFocus();
            QTest::keyClick(option, Qt::Key_Space);
            pickIn(w, stick);
        });
        restore.start();
        const CommandOutcome outcome = runRestoreCommand(nullptr, engine, {});
        QVERIFY2(restore.done(), qPrintable(restore.failure()));
        QVERIFY(outcome.fatal.isEmpty());
        QVERIFY(outcome.settingsChanged);
        const QStringList shown = Prompt::takeShown();
        QCOMPARE(shown.size(), 1);
        QVERIFY2(shown[0].startsWith(
                     "Restore complete. A copy of the data as they were before is in backups/restore-"),
                 qPrintable(shown[0]));
        QVERIFY(loadSettings(engine, s).ok());
        engine.closeAll();
        QCOMPARE(s.Company, company);
    }

    // The date window relabelled for the command and put back afterwards; the cut-off typed
    // deletes the customer whose last invoice is on it; "Cancel" deletes nobody.
    void deleteCustomersCommand()
    {
        TempDataDir dir;
        QVERIFY(createBusiness(dir.path(), true).ok());
        db::Engine engine(dir.path());
        const int before = mtest::dumpTables(dir.path()).at("CUST5").size();

        ModalDriver driver;
        driver.then("dateSpanDialog", [](QWidget *w) {
            QCOMPARE(w->windowTitle(), QStringLiteral("Delete Customers"));
            QVERIFY(child<QDateEdit>(w, "endDateEdit")->isHidden());
            QCOMPARE(child<QLabel>(w, "beginLabel")->text(), QStringLiteral("Delete If No Order After"));
            QCOMPARE(child<QDateEdit>(w, "beginDateEdit")->date(), QDate(2025, 6, 15));
            QTest::mouseClick(child<QPushButton>(w, "cancelButton"), Qt::LeftButton);
        });
        driver.start();
        runDeleteCustomersCommand(nullptr, engine, {});
        QVERIFY2(driver.done(), qPrintable(driver.failure()));
        QCOMPARE(Prompt::takeShown(), QStringList());
        QCOMPARE(mtest::dumpTables(dir.path()).at("CUST5").size(), before);
        QCOMPARE(TDateSpan::instance().windowTitle(), QString::fromLatin1(TDateSpan::kCaption));
        QVERIFY(!TDateSpan::instance().singleDate());

        // The sample business's invoices lie in the six months before today: a cut-off of
        // today deletes every customer.
        Prompt::setNextAnswers({QVariant::fromValue(Prompt::Answer::Ok)});
        ModalDriver cutOff;
        cutOff.then("dateSpanDialog", [](QWidget *w) {
            child<QDateEdit>(w, "beginDateEdit")->setDate(QDate(2026, 6, 15));
            QTest::mouseClick(child<QPushButton>(w, "okButton"), Qt::LeftButton);
        });
        cutOff.start();
        runDeleteCustomersCommand(nullptr, engine, {});
        QVERIFY2(cutOff.done(), qPrintable(cutOff.failure()));
        const QStringList shown = Prompt::takeShown();
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown[0].section('\n', 0, 0), QStringLiteral("%1 Customers Deleted").arg(before));
        QVERIFY(shown[0].section('\n', 1).startsWith(
            "A copy of the data as they were before is in backups/delete-customers-"));
        QCOMPARE(mtest::dumpTables(dir.path()).at("CUST5").size(), 0);
    }
};

QTEST_MAIN(TestMaintenanceWindows)
#include "tst_maintenance_windows.moc"
