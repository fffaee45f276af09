#pragma once

#include "BrowseEdit.h"
#include "FileMaintenance.h"
#include "MainCommands.h"
#include "Maintenance.h"
#include "Schema.h"
#include "Startup.h"
#include "StartupSequence.h"

#include <QMainWindow>
#include <array>
#include <memory>

class QAbstractButton;
class QButtonGroup;
class QGroupBox;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTabWidget;
class QTableWidget;

namespace tallyra {

class ProgressStatus;
class TAboutForm;

// The main window: every command starts from one of its five pages or its menu.
//
// Pages, in order, with their help contexts: "Invoices" 300, "Customers and Products" 400,
// "Report Generation" 500, "Preferences" 600, "File Maintenance" 700 (the window itself: 10).
// The record commands (invoices, customers, products, purchases, groups, label stock) run the
// browse-and-edit loop with the record windows registered for their kind; the other commands
// are registered by the parts that carry them out (setCommand). What has nothing registered is
// shown disabled. Every command ends with all tables closed.
class TMain : public QMainWindow
{
    Q_OBJECT

public:
    explicit TMain(QWidget *parent = nullptr);
    ~TMain() override;

    // The folder holding the data files; the working directory unless a test sets another.
    // `given`: named by the user (on the command line), so no other business is opened instead.
    void setDataDirectory(const QString &dir, bool given = false)
    {
        m_dataDir = dir;
        m_dataDirGiven = given;
    }
    QString dataDirectory() const { return m_dataDir; }
    // The clock of the splash; the system's unless a test sets one.
    void setStartupClock(std::shared_ptr<StartupClock> clock) { m_clock = std::move(clock); }

    // Closes the business open now (storing preferences, packing when flagged) and opens the one
    // in `dir` with the start-up sequence. A directory without data files is refused with a
    // message and the open business stays. False when nothing was opened.
    bool switchBusiness(const QString &dir);

    // The first showing: splash, data-files check (when the directory has none, the business
    // opened last is taken, unless the directory was given by the user), engine, settings, missing indexes,
    // caption, report font, printer, preferences, the "Invoices" pages, and the splash closed no earlier
    // than 1.728 s after it appeared. False when the program must end (the user has been told).
    bool FormShow();
    // FormShow(), then the window on screen. False when the program must end.
    bool start();

    // Registers what a command does (an empty handler removes it) and enables its buttons and
    // report-list entries.
    void setCommand(Command command, CommandHandler handler);
    bool hasCommand(Command command) const;
    // Runs a command as its button or list entry does; closes all tables after it.
    void runCommand(Command command);

    // Shows the fatal message of a failure the program cannot go on after (information box, "OK"),
    // closes the engine without packing and ends the program.
    void fatal(const QString &message);
    bool terminated() const { return m_terminated; }

    ProgressStatus *progress() const { return m_progress; }
    // The progress display for the maintenance library and other long operations.
    ProgressDisplay progressDisplay() const;
    TAboutForm *aboutForm() const { return m_about; }
    // Which report-list button is down, 1 to 8.
    int reportKind() const { return m_reportKind; }
    // The report list's row height, grid line excluded.
    int reportListRowHeight() const;

public Q_SLOTS:
    // "Invoices" page
    void BtnInvoicesClick();
    void BtnBatchLabelsClick();
    // "Customers and Products" page
    void BtnCustomersClick();
    void BtnProductsClick();
    void BtnPurchasesClick();
    void BtnGroupsClick();
    // "Report Generation" page
    void ReportKindClick(int kind);
    void ReportListDblClick();
    void ExportMergeFileClick();
    // "Preferences" page
    void BtnReportFontClick();
    void BtnPrinterSetupClick();
    void CustomerOrderExit();
    void InventoryMethodExit();
    void BtnLabelFormsClick();
    // "File Maintenance" page
    void BtnReIndexClick();
    void BtnPackClick();
    void BtnEraseClick();
    // Menu
    void MenuOpenBusinessClick();
    void MenuNewBusinessClick();
    void MenuExitClick();
    void MenuAboutClick();
    void MenuHelpContentsClick();

protected:
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void buildMenu();
    // Shows the business the start-up sequence opened: caption, preferences, first page. A
    // failed sequence ends the program with its message. False when the program must end.
    bool showBusiness(const StartupOutcome &outcome);
    void closeBusiness();
    QWidget *buildInvoicesPage();
    QWidget *buildCustomersPage();
    QWidget *buildReportsPage();
    QWidget *buildPreferencesPage();
    QWidget *buildMaintenancePage();
    QPushButton *makeButton(QWidget *page, const QString &objectName, const QString &text,
                            const QString &hint);
    QPushButton *helpButton(QWidget *page, const QString &objectName, int context);
    void bindCommand(QPushButton *button, Command command);
    void updateCommandStates();
    void updateButtonState(QPushButton *button, bool available);
    void placeReportList();
    // Shows what a "File Maintenance" command left to tell: a status note, a message, or the end.
    void showOutcome(const MaintenanceOutcome &outcome);
    void applyPreferences();

    // The browse-and-edit loop of `kind` over `main`, with the tables and packing of its policy.
    bool runRecordCommand(RecordKind kind, TableId main);
    // Opens a command's tables in order, asking before a damaged index is rebuilt; a failure
    // ends the program. False when the program must end.
    bool openForCommand(const QList<TableId> &ids);
    // Asks the user whether a damaged index is to be rebuilt.
    bool askRebuild(const QString &question);
    void finishCommand();
    void saveSettingsNow();
    bool inGroup(QGroupBox *group, QWidget *widget) const;
    void focusChanged(QWidget *old, QWidget *now);

    QString m_dataDir;
    bool m_dataDirGiven = false;
    std::shared_ptr<StartupClock> m_clock;
    bool m_started = false;
    bool m_terminated = false;
    bool m_inCommand = false;
    int m_reportKind = 1;

    std::array<CommandHandler, static_cast<int>(Command::Count)> m_commands;
    QList<QPair<QPushButton *, Command>> m_commandButtons;
    QList<QPair<QPushButton *, RecordKind>> m_recordButtons;

    TAboutForm *m_about;
    ProgressStatus *m_progress;
    QTabWidget *m_pages;
    // "Invoices" page
    QPushButton *m_invoicesButton = nullptr;
    QPushButton *m_batchLabelsButton = nullptr;
    // "Report Generation" page
    QWidget *m_reportsPage = nullptr;
    QButtonGroup *m_reportKinds = nullptr;
    QTableWidget *m_reportList = nullptr;
    // "Preferences" page
    QLineEdit *m_reportFontEdit = nullptr;
    QPushButton *m_printerSetupButton = nullptr;
    QLineEdit *m_printerEdit = nullptr;
    QGroupBox *m_customerOrderGroup = nullptr;
    QRadioButton *m_byNameRadio = nullptr;
    QRadioButton *m_byEmailRadio = nullptr;
    QGroupBox *m_inventoryGroup = nullptr;
    QRadioButton *m_fifoRadio = nullptr;
    QRadioButton *m_lifoRadio = nullptr;
    QPushButton *m_importDirsButton = nullptr;
    // "File Maintenance" page
    QPushButton *m_deleteCustomersButton = nullptr;
};

} // namespace tallyra
