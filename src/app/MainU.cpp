#include "MainU.h"

#include "AboutU.h"
#include "CommandPolicy.h"
#include "CurrentPrinter.h"
#include "Database.h"
#include "EnterMovesFocus.h"
#include "FileMaintenance.h"
#include "Help.h"
#include "MailMerge.h"
#include "MultGroupU.h"
#include "NewBusiness.h"
#include "ProgressStatus.h"
#include "Prompt.h"
#include "ReportFont.h"
#include "ReportFontU.h"
#include "ReportList.h"
#include "Settings.h"
#include "StartupSequence.h"
#include "Tables.h"

#include <QAction>
#include <QApplication>
#include <QButtonGroup>
#include <QCloseEvent>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenuBar>
#include <QPrintDialog>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QShortcut>
#include <QTabBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QThread>
#include <QTimer>
#include <QVBoxLayout>

namespace tallyra {

namespace {

const char *const kHelpContext = "helpContext";

// The client area of the window: 539 by 346 pixels.
constexpr int kClientWidth = 539;
constexpr int kClientHeight = 346;

QString unavailableHint(const QString &hint)
{
    return hint.isEmpty() ? QStringLiteral("Not available in this version")
                          : hint + QStringLiteral(" (not available in this version)");
}

// How long a closing status message stays.
constexpr int kStatusMilliseconds = 5000;

} // namespace

TMain::TMain(QWidget *parent)
    : QMainWindow(parent)
    , m_dataDir(QDir::currentPath())
    , m_clock(std::make_shared<SystemStartupClock>())
{
    setObjectName(QStringLiteral("mainWindow"));
    setWindowTitle(QStringLiteral("Tallyra"));
    setProperty(kHelpContext, Help::kMainWindow);

    m_about = new TAboutForm(this);
    buildMenu();

    m_pages = new QTabWidget(this);
    m_pages->setObjectName(QStringLiteral("pageTabs"));
    m_pages->addTab(buildInvoicesPage(), QStringLiteral("Invoices"));
    m_pages->addTab(buildCustomersPage(), QStringLiteral("Customers and Products"));
    m_pages->addTab(buildReportsPage(), QStringLiteral("Report Generation"));
    m_pages->addTab(buildPreferencesPage(), QStringLiteral("Preferences"));
    m_pages->addTab(buildMaintenancePage(), QStringLiteral("File Maintenance"));
    setCentralWidget(m_pages);

    m_progress = new ProgressStatus(this);
    setStatusBar(m_progress);

    auto *f1 = new QShortcut(QKeySequence::HelpContents, this);
    connect(f1, &QShortcut::activated, this, [this] {
        QWidget *page = m_pages->currentWidget();
        Help::showContext(this, page ? page->property(kHelpContext).toInt() : Help::kMainWindow);
    });
    connect(qApp, &QApplication::focusChanged, this, &TMain::focusChanged);

    // The main window's own entry of the report list.
    m_commands[static_cast<int>(Command::ExportMergeFile)] = [this](QWidget *) { ExportMergeFileClick(); };

    // 539 by 346 pixels inside, wider only when this desktop's font needs more for the page tabs.
    const int tabsWidth = m_pages->tabBar()->sizeHint().width() + 6;
    resize(qMax(kClientWidth, tabsWidth), kClientHeight + menuBar()->sizeHint().height());
    updateCommandStates();
    ReportKindClick(1);
    // Enter on a focused button presses it, as in every window.
    EnterMovesFocus::install(this);
}

TMain::~TMain() = default;

// ---------------------------------------------------------------------------------------------
// Building the window

void TMain::buildMenu()
{
    QMenu *file = menuBar()->addMenu(QStringLiteral("&File"));
    file->setObjectName(QStringLiteral("fileMenu"));
    QAction *open = file->addAction(QStringLiteral("&Open Business\u2026"));
    open->setObjectName(QStringLiteral("openBusinessAction"));
    open->setShortcut(QKeySequence::Open);
    connect(open, &QAction::triggered, this, &TMain::MenuOpenBusinessClick);
    QAction *create = file->addAction(QStringLiteral("&New Business\u2026"));
    create->setObjectName(QStringLiteral("newBusinessAction"));
    connect(create, &QAction::triggered, this, &TMain::MenuNewBusinessClick);
    file->addSeparator();
    QAction *exit = file->addAction(QStringLiteral("E&xit"));
    exit->setObjectName(QStringLiteral("exitAction"));
    connect(exit, &QAction::triggered, this, &TMain::MenuExitClick);

    QMenu *help = menuBar()->addMenu(QStringLiteral("&Help"));
    help->setObjectName(QStringLiteral("helpMenu"));
    QAction *about = help->addAction(QStringLiteral("&About Tallyra"));
    about->setObjectName(QStringLiteral("aboutAction"));
    connect(about, &QAction::triggered, this, &TMain::MenuAboutClick);
    help->addSeparator();
    QAction *contents = help->addAction(QStringLiteral("Help &Contents"));
    contents->setObjectName(QStringLiteral("helpContentsAction"));
    connect(contents, &QAction::triggered, this, &TMain::MenuHelpContentsClick);
}

QPushButton *TMain::makeButton(QWidget *page, const QString &objectName, const QString &text,
                               const QString &hint)
{
    auto *button = new QPushButton(text, page);
    button->setObjectName(objectName);
    button->setProperty("hint", hint);
    button->setToolTip(hint);
    button->setMinimumHeight(28);
    return button;
}

QPushButton *TMain::helpButton(QWidget *page, const QString &objectName, int context)
{
    page->setProperty(kHelpContext, context);
    auto *button = makeButton(page, objectName, QStringLiteral("Help"), QString());
    button->setProperty(kHelpContext, context);
    connect(button, &QPushButton::clicked, this, [this, context] { Help::showContext(this, context); });
    return button;
}

void TMain::bindCommand(QPushButton *button, Command command)
{
    m_commandButtons.append({button, command});
    connect(button, &QPushButton::clicked, this, [this, command] { runCommand(command); });
}

QWidget *TMain::buildInvoicesPage()
{
    auto *page = new QWidget;
    page->setObjectName(QStringLiteral("invoicesPage"));
    m_invoicesButton = makeButton(page, QStringLiteral("invoicesButton"), QStringLiteral("Invoices"),
                                  QStringLiteral("Create and Edit Invoices"));
    connect(m_invoicesButton, &QPushButton::clicked, this, &TMain::BtnInvoicesClick);
    m_recordButtons.append({m_invoicesButton, RecordKind::Invoice});

    QPushButton *print =
        makeButton(page, QStringLiteral("printInvoicesButton"), QStringLiteral("Print Invoices"),
                   QStringLiteral("Print Invoices by date"));
    bindCommand(print, Command::PrintInvoices);
    QPushButton *labels =
        makeButton(page, QStringLiteral("invoiceLabelsButton"), QStringLiteral("Invoice Labels"),
                   QStringLiteral("Print Invoice Mailing Labels by Date"));
    bindCommand(labels, Command::LabelsInvoicesDated);
    QPushButton *email =
        makeButton(page, QStringLiteral("emailInvoicesButton"), QStringLiteral("EMail Invoices"),
                   QStringLiteral("EMail Invoices by Invoice Date"));
    bindCommand(email, Command::EMailInvoices);
    QPushButton *packing =
        makeButton(page, QStringLiteral("packingListButton"), QStringLiteral("Packing List"),
                   QStringLiteral("Print Packing List by Invoice Date"));
    bindCommand(packing, Command::PackingList);
    m_batchLabelsButton = makeButton(page, QStringLiteral("batchLabelsButton"),
                                     QStringLiteral("Print Batch Labels"), QString());
    m_batchLabelsButton->hide();
    connect(m_batchLabelsButton, &QPushButton::clicked, this, &TMain::BtnBatchLabelsClick);
    m_commandButtons.append({m_batchLabelsButton, Command::LabelsBatch});

    auto *grid = new QGridLayout(page);
    grid->setContentsMargins(40, 24, 40, 12);
    grid->setHorizontalSpacing(40);
    grid->setVerticalSpacing(14);
    grid->addWidget(m_invoicesButton, 0, 0);
    grid->addWidget(print, 1, 0);
    grid->addWidget(labels, 2, 0);
    grid->addWidget(email, 0, 1);
    grid->addWidget(packing, 1, 1);
    grid->addWidget(m_batchLabelsButton, 2, 1);
    grid->setRowStretch(3, 1);
    grid->addWidget(helpButton(page, QStringLiteral("invoicesHelpButton"), Help::kInvoices), 4, 1,
                    Qt::AlignRight);
    return page;
}

QWidget *TMain::buildCustomersPage()
{
    auto *page = new QWidget;
    page->setObjectName(QStringLiteral("customersPage"));
    QPushButton *customers = makeButton(page, QStringLiteral("customersButton"), QStringLiteral("Customers"),
                                        QStringLiteral("Add and Modify Customers"));
    connect(customers, &QPushButton::clicked, this, &TMain::BtnCustomersClick);
    m_recordButtons.append({customers, RecordKind::Customer});
    QPushButton *products =
        makeButton(page, QStringLiteral("productsButton"), QStringLiteral("Products && Services"),
                   QStringLiteral("Define Products and Services you Sell"));
    connect(products, &QPushButton::clicked, this, &TMain::BtnProductsClick);
    m_recordButtons.append({products, RecordKind::Product});
    QPushButton *purchases =
        makeButton(page, QStringLiteral("purchasesButton"), QStringLiteral("Inventory Purchases"),
                   QStringLiteral("Purchase Inventory"));
    connect(purchases, &QPushButton::clicked, this, &TMain::BtnPurchasesClick);
    m_recordButtons.append({purchases, RecordKind::Purchase});
    QPushButton *groups = makeButton(page, QStringLiteral("groupsButton"), QStringLiteral("Customer Groups"),
                                     QStringLiteral("Define Customer Groups"));
    connect(groups, &QPushButton::clicked, this, &TMain::BtnGroupsClick);
    m_recordButtons.append({groups, RecordKind::Group});

    QPushButton *listing = makeButton(page, QStringLiteral("productListingButton"),
                                      QStringLiteral("Product Listing"), QString());
    bindCommand(listing, Command::ProductListing);
    QPushButton *purchaseReport = makeButton(page, QStringLiteral("purchaseReportButton"),
                                             QStringLiteral("Purchase Report"), QString());
    bindCommand(purchaseReport, Command::PurchasingHistory);
    QPushButton *importCustomers = makeButton(page, QStringLiteral("importCustomersButton"),
                                              QStringLiteral("Import Customers"), QString());
    bindCommand(importCustomers, Command::ImportCustomers);
    QPushButton *importProducts = makeButton(page, QStringLiteral("importProductsButton"),
                                             QStringLiteral("Import Products"), QString());
    bindCommand(importProducts, Command::ImportProducts);

    auto *grid = new QGridLayout(page);
    grid->setContentsMargins(40, 24, 40, 12);
    grid->setHorizontalSpacing(40);
    grid->setVerticalSpacing(14);
    grid->addWidget(customers, 0, 0);
    grid->addWidget(products, 1, 0);
    grid->addWidget(purchases, 2, 0);
    grid->addWidget(groups, 3, 0);
    grid->addWidget(listing, 0, 1);
    grid->addWidget(purchaseReport, 1, 1);
    grid->addWidget(importCustomers, 2, 1);
    grid->addWidget(importProducts, 3, 1);
    grid->setRowStretch(4, 1);
    grid->addWidget(helpButton(page, QStringLiteral("customersHelpButton"), Help::kCustomersAndProducts), 5,
                    1, Qt::AlignRight);
    return page;
}

QWidget *TMain::buildReportsPage()
{
    auto *page = new QWidget;
    page->setObjectName(QStringLiteral("reportsPage"));
    m_reportsPage = page;
    m_reportKinds = new QButtonGroup(this);
    m_reportKinds->setExclusive(true);

    static const char *const kNames[] = {
        "invoiceReportsButton",   "billsButton",           "statementsButton",    "salesReportsButton",
        "inventoryReportsButton", "customerProfileButton", "addressLabelsButton", "bulkMailButton"};
    auto *column = new QVBoxLayout;
    column->setSpacing(3);
    const QList<ReportCategory> &categories = reportCategories();
    for (int i = 0; i < categories.size(); ++i) {
        QPushButton *button =
            makeButton(page, QString::fromLatin1(kNames[i]), categories[i].button, QString());
        button->setCheckable(true);
        button->setMinimumHeight(26);
        button->setMinimumWidth(150);
        m_reportKinds->addButton(button, i + 1);
        column->addWidget(button);
    }
    connect(m_reportKinds, &QButtonGroup::idClicked, this, &TMain::ReportKindClick);
    column->addStretch();

    auto *layout = new QGridLayout(page);
    layout->setContentsMargins(16, 10, 12, 10);
    layout->addLayout(column, 0, 0, 2, 1);
    layout->setColumnStretch(1, 1);
    layout->setRowStretch(0, 1);
    layout->addWidget(helpButton(page, QStringLiteral("reportsHelpButton"), Help::kReportGeneration), 1, 1,
                      Qt::AlignRight | Qt::AlignBottom);

    // Placed by hand, outside the layout: its place and size follow the report kind.
    m_reportList = new QTableWidget(page);
    m_reportList->setObjectName(QStringLiteral("reportList"));
    m_reportList->setColumnCount(1);
    m_reportList->horizontalHeader()->hide();
    m_reportList->verticalHeader()->hide();
    m_reportList->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_reportList->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_reportList->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_reportList->setSelectionMode(QAbstractItemView::SingleSelection);
    m_reportList->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_reportList->setFrameShape(QFrame::Box);
    m_reportList->setFrameShadow(QFrame::Plain);
    m_reportList->setLineWidth(1);
    m_reportList->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_reportList->verticalHeader()->setMinimumSectionSize(1);
    m_reportList->setWordWrap(false);
    // The grid line is drawn inside each row's section: a row takes its height plus one pixel.
    m_reportList->verticalHeader()->setDefaultSectionSize(reportListRowHeight() + 1);
    connect(m_reportList, &QTableWidget::cellDoubleClicked, this, &TMain::ReportListDblClick);
    // Enter and Space run the selected entry as a double-click does.
    m_reportList->installEventFilter(this);
    page->installEventFilter(this);
    return page;
}

QWidget *TMain::buildPreferencesPage()
{
    auto *page = new QWidget;
    page->setObjectName(QStringLiteral("preferencesPage"));

    QPushButton *font = makeButton(page, QStringLiteral("reportFontButton"), QStringLiteral("Report Font"),
                                   QStringLiteral("Select a Font for printing reports"));
    connect(font, &QPushButton::clicked, this, &TMain::BtnReportFontClick);
    m_reportFontEdit = new QLineEdit(page);
    m_reportFontEdit->setObjectName(QStringLiteral("reportFontEdit"));
    m_reportFontEdit->setReadOnly(true);
    m_reportFontEdit->setFocusPolicy(Qt::NoFocus);

    m_printerSetupButton =
        makeButton(page, QStringLiteral("printerSetupButton"), QStringLiteral("Printer Setup"),
                   QStringLiteral("Select a printer for reports"));
    connect(m_printerSetupButton, &QPushButton::clicked, this, &TMain::BtnPrinterSetupClick);
    m_printerEdit = new QLineEdit(page);
    m_printerEdit->setObjectName(QStringLiteral("printerEdit"));
    m_printerEdit->setReadOnly(true);
    m_printerEdit->setFocusPolicy(Qt::NoFocus);

    QPushButton *stationery =
        makeButton(page, QStringLiteral("stationeryButton"), QStringLiteral("Stationery"),
                   QStringLiteral("Set up custom stationary"));
    bindCommand(stationery, Command::Stationery);
    QPushButton *salesTax = makeButton(page, QStringLiteral("salesTaxButton"), QStringLiteral("Sales Tax"),
                                       QStringLiteral("Set up sales tax rates"));
    bindCommand(salesTax, Command::SalesTax);
    QPushButton *labelForms =
        makeButton(page, QStringLiteral("labelFormsButton"), QStringLiteral("Label Forms"),
                   QStringLiteral("Define Address Label Stock"));
    connect(labelForms, &QPushButton::clicked, this, &TMain::BtnLabelFormsClick);
    m_recordButtons.append({labelForms, RecordKind::Label});
    m_importDirsButton =
        makeButton(page, QStringLiteral("importDirsButton"), QStringLiteral("Import Dir's"), QString());
    m_importDirsButton->hide();
    bindCommand(m_importDirsButton, Command::ImportDirs);
    QPushButton *emailSetup =
        makeButton(page, QStringLiteral("emailSetupButton"), QStringLiteral("EMail Setup"), QString());
    bindCommand(emailSetup, Command::EMailSetup);

    m_customerOrderGroup = new QGroupBox(QStringLiteral(" Display - Sort Customers "), page);
    m_customerOrderGroup->setObjectName(QStringLiteral("customerOrderGroup"));
    m_customerOrderGroup->setToolTip(QStringLiteral("Select how customers are displayed in pick lists"));
    m_byNameRadio = new QRadioButton(QStringLiteral("By Name"), m_customerOrderGroup);
    m_byNameRadio->setObjectName(QStringLiteral("byNameRadio"));
    m_byEmailRadio = new QRadioButton(QStringLiteral("By Company"), m_customerOrderGroup);
    m_byEmailRadio->setObjectName(QStringLiteral("byEmailRadio"));
    auto *orderLayout = new QVBoxLayout(m_customerOrderGroup);
    orderLayout->addWidget(m_byNameRadio);
    orderLayout->addWidget(m_byEmailRadio);

    m_inventoryGroup = new QGroupBox(QStringLiteral(" Inventory Method "), page);
    m_inventoryGroup->setObjectName(QStringLiteral("inventoryMethodGroup"));
    m_inventoryGroup->setToolTip(QStringLiteral("Select Inventory Method"));
    m_fifoRadio = new QRadioButton(QStringLiteral("First in - First out"), m_inventoryGroup);
    m_fifoRadio->setObjectName(QStringLiteral("fifoRadio"));
    m_lifoRadio = new QRadioButton(QStringLiteral("Last in - First out"), m_inventoryGroup);
    m_lifoRadio->setObjectName(QStringLiteral("lifoRadio"));
    auto *methodLayout = new QVBoxLayout(m_inventoryGroup);
    methodLayout->addWidget(m_fifoRadio);
    methodLayout->addWidget(m_lifoRadio);

    auto *grid = new QGridLayout(page);
    grid->setContentsMargins(16, 14, 16, 10);
    grid->setHorizontalSpacing(12);
    grid->setVerticalSpacing(8);
    grid->addWidget(font, 0, 0);
    grid->addWidget(m_reportFontEdit, 0, 1, 1, 2);
    grid->addWidget(m_printerSetupButton, 1, 0);
    grid->addWidget(m_printerEdit, 1, 1, 1, 2);
    grid->addWidget(m_customerOrderGroup, 2, 0, 2, 1);
    grid->addWidget(m_inventoryGroup, 2, 1, 2, 1);
    grid->addWidget(stationery, 2, 2);
    grid->addWidget(salesTax, 3, 2);
    grid->addWidget(labelForms, 4, 0);
    grid->addWidget(m_importDirsButton, 4, 1);
    grid->addWidget(emailSetup, 4, 2);
    grid->setRowStretch(5, 1);
    grid->addWidget(helpButton(page, QStringLiteral("preferencesHelpButton"), Help::kPreferences), 6, 2,
                    Qt::AlignRight);
    grid->setColumnStretch(0, 1);
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(2, 1);
    return page;
}

QWidget *TMain::buildMaintenancePage()
{
    auto *page = new QWidget;
    page->setObjectName(QStringLiteral("maintenancePage"));
    QPushButton *backup =
        makeButton(page, QStringLiteral("backupButton"), QStringLiteral("Backup"), QString());
    bindCommand(backup, Command::Backup);
    QPushButton *restore =
        makeButton(page, QStringLiteral("restoreButton"), QStringLiteral("Restore"), QString());
    bindCommand(restore, Command::Restore);
    QPushButton *reindex =
        makeButton(page, QStringLiteral("reindexButton"), QStringLiteral("Re-Index Data"), QString());
    connect(reindex, &QPushButton::clicked, this, &TMain::BtnReIndexClick);
    QPushButton *pack =
        makeButton(page, QStringLiteral("packButton"), QStringLiteral("Pack Data"), QString());
    connect(pack, &QPushButton::clicked, this, &TMain::BtnPackClick);
    QPushButton *erase =
        makeButton(page, QStringLiteral("eraseButton"), QStringLiteral("Erase Data Files"), QString());
    connect(erase, &QPushButton::clicked, this, &TMain::BtnEraseClick);
    QPushButton *upgrade =
        makeButton(page, QStringLiteral("upgradeButton"), QStringLiteral("Upgrade Data"), QString());
    bindCommand(upgrade, Command::UpgradeData);
    m_deleteCustomersButton = makeButton(page, QStringLiteral("deleteCustomersButton"),
                                         QStringLiteral("Delete Customers"), QString());
    m_deleteCustomersButton->hide();
    bindCommand(m_deleteCustomersButton, Command::DeleteCustomers);

    auto *grid = new QGridLayout(page);
    grid->setContentsMargins(40, 24, 40, 12);
    grid->setHorizontalSpacing(40);
    grid->setVerticalSpacing(14);
    grid->addWidget(backup, 0, 0);
    grid->addWidget(restore, 1, 0);
    grid->addWidget(upgrade, 2, 0);
    grid->addWidget(m_deleteCustomersButton, 3, 0);
    grid->addWidget(reindex, 0, 1);
    grid->addWidget(pack, 1, 1);
    grid->addWidget(erase, 2, 1);
    grid->setRowStretch(4, 1);
    grid->addWidget(helpButton(page, QStringLiteral("maintenanceHelpButton"), Help::kFileMaintenance), 5, 1,
                    Qt::AlignRight);
    return page;
}

// ---------------------------------------------------------------------------------------------
// Commands

void TMain::setCommand(Command command, CommandHandler handler)
{
    if (command == Command::Count)
        return;
    m_commands[static_cast<int>(command)] = std::move(handler);
    updateCommandStates();
    ReportKindClick(m_reportKind);
}

bool TMain::hasCommand(Command command) const
{
    return command != Command::Count && bool(m_commands[static_cast<int>(command)]);
}

void TMain::updateButtonState(QPushButton *button, bool available)
{
    button->setEnabled(available);
    const QString hint = button->property("hint").toString();
    button->setToolTip(available ? hint : unavailableHint(hint));
}

void TMain::updateCommandStates()
{
    for (const auto &[button, command] : std::as_const(m_commandButtons))
        updateButtonState(button, hasCommand(command));
    for (const auto &[button, kind] : std::as_const(m_recordButtons))
        updateButtonState(button, hasRecordWindows(kind));
}

void TMain::runCommand(Command command)
{
    if (!hasCommand(command) || m_inCommand || m_terminated)
        return;
    // Copied: a handler may register commands while it runs.
    const CommandHandler handler = m_commands[static_cast<int>(command)];
    m_inCommand = true;
    handler(this);
    m_inCommand = false;
    finishCommand();
}

void TMain::finishCommand()
{
    if (m_terminated || !databaseOpen())
        return;
    if (const QString failure = closeCommandTables(database()); !failure.isEmpty())
        Prompt::info(this, failure);
}

bool TMain::askRebuild(const QString &question)
{
    return Prompt::yesNo(this, question);
}

bool TMain::openForCommand(const QList<TableId> &ids)
{
    const CommandTables opened =
        openCommandTables(database(), ids, [this](const QString &question) { return askRebuild(question); });
    for (const QString &warning : opened.warnings)
        qWarning("%s", qPrintable(warning));
    if (opened)
        return true;
    fatal(opened.fatal);
    return false;
}

void TMain::fatal(const QString &message)
{
    m_terminated = true;
    if (m_about->isSplash())
        m_about->closeSplash();
    Prompt::info(this, message);
    if (databaseOpen())
        closeDatabase();
    hide();
    // Ends the running event loops; before the main loop has started the caller's false return
    // ends the program instead (an exit now would only spoil later loops).
    if (QThread::currentThread()->loopLevel() > 0)
        QCoreApplication::exit(1);
}

bool TMain::runRecordCommand(RecordKind kind, TableId main)
{
    if (!hasRecordWindows(kind) || m_inCommand || m_terminated || !databaseOpen())
        return false;
    const RecordCommandPolicy policy = recordCommandPolicy(main, settings().ByCust);
    RecordCommandRun run(database(), policy);
    m_inCommand = true;
    const bool begun = run.begin([this](const QString &question) { return askRebuild(question); });
    for (const QString &warning : run.warnings())
        qWarning("%s", qPrintable(warning));
    if (!begun) {
        m_inCommand = false;
        fatal(run.fatal());
        return false;
    }
    db::Table *table = run.mainTable();
    const qint64 preselect = policy.preselectLast ? lastRecordNumber(*table) : firstRecordNumber(*table);
    browseAndEdit(*table, kind, preselect, this);
    m_inCommand = false;
    if (m_terminated)
        return false;
    for (const QString &message : run.finish(progressDisplay()))
        Prompt::info(this, message);
    return true;
}

void TMain::BtnInvoicesClick()
{
    runRecordCommand(RecordKind::Invoice, TableId::Invoices);
}

void TMain::BtnCustomersClick()
{
    runRecordCommand(RecordKind::Customer, TableId::Customers);
}

void TMain::BtnProductsClick()
{
    runRecordCommand(RecordKind::Product, TableId::Products);
}

void TMain::BtnPurchasesClick()
{
    runRecordCommand(RecordKind::Purchase, TableId::Purchases);
}

void TMain::BtnGroupsClick()
{
    runRecordCommand(RecordKind::Group, TableId::Groups);
}

void TMain::BtnLabelFormsClick()
{
    runRecordCommand(RecordKind::Label, TableId::Labels);
}

void TMain::BtnBatchLabelsClick()
{
    if (!databaseOpen() || database().findFile(QStringLiteral("BatchLab.dat")).isEmpty()) {
        Prompt::info(this, QStringLiteral("Unable to save to: BatchLab.dat"));
        return;
    }
    runCommand(Command::LabelsBatch);
}

// ---------------------------------------------------------------------------------------------
// "Report Generation"

int TMain::reportListRowHeight() const
{
    return m_reportList ? m_reportList->fontMetrics().height() + 4 : fontMetrics().height() + 4;
}

void TMain::ReportKindClick(int kind)
{
    const QList<ReportCategory> &categories = reportCategories();
    if (kind < 1 || kind > categories.size())
        return;
    m_reportKind = kind;
    if (QAbstractButton *button = m_reportKinds->button(kind); button && !button->isChecked())
        button->setChecked(true);

    const ReportCategory &category = categories[kind - 1];
    m_reportList->clearContents();
    m_reportList->setRowCount(category.rows());
    auto *title = new QTableWidgetItem(category.title);
    title->setFlags(Qt::ItemIsEnabled);
    title->setBackground(palette().button());
    QFont bold = m_reportList->font();
    bold.setBold(true);
    title->setFont(bold);
    m_reportList->setItem(0, 0, title);
    for (int i = 0; i < category.entries.size(); ++i) {
        const ReportEntry &entry = category.entries[i];
        auto *item = new QTableWidgetItem(entry.text);
        if (hasCommand(entry.command)) {
            item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
        } else {
            item->setFlags(Qt::NoItemFlags);
            item->setToolTip(unavailableHint(QString()));
        }
        m_reportList->setItem(i + 1, 0, item);
    }
    m_reportList->setCurrentCell(1, 0);
    placeReportList();
}

void TMain::placeReportList()
{
    const ReportCategory &category = reportCategories()[m_reportKind - 1];
    // As wide as its widest text (the title in bold) in the list's own font, with the cell's margins.
    constexpr int kCellMargins = 12;
    QFont bold = m_reportList->font();
    bold.setBold(true);
    int width = QFontMetrics(bold).horizontalAdvance(category.title);
    for (const ReportEntry &entry : category.entries)
        width = qMax(width, m_reportList->fontMetrics().horizontalAdvance(entry.text));
    width += kCellMargins + 2 * m_reportList->frameWidth();
    const QRect place =
        reportListGeometry(category.rows(), reportListRowHeight(), width, m_reportsPage->size());
    m_reportList->setGeometry(place);
    m_reportList->setColumnWidth(0, place.width());
    m_reportList->raise();
}

void TMain::ReportListDblClick()
{
    const int row = m_reportList->currentRow();
    const ReportCategory &category = reportCategories()[m_reportKind - 1];
    if (row < 1 || row > category.entries.size())
        return;
    runCommand(category.entries[row - 1].command);
}

void TMain::ExportMergeFileClick()
{
    if (!openForCommand({TableId::Customers, TableId::Groups}))
        return;
    db::Table *customers = database().table(tableDef(TableId::Customers).name);
    db::Table *groups = database().table(tableDef(TableId::Groups).name);
    if (!customers->selectTag(QStringLiteral("CZip"))) {
        qWarning("%s", qPrintable(customers->takeError().toString()));
        fatal(openFailureMessage(tableDef(TableId::Customers).tagFailFile));
        return;
    }
    if (!TMultGroup::ask(*groups))
        return;
    const QString workingDir = QDir::currentPath();
    const QString path = Prompt::saveFile(this, QStringLiteral("Export Merge File"), QString(),
                                          QStringLiteral("Delimited files (*.doc)"), QStringLiteral("doc"));
    QDir::setCurrent(workingDir);
    if (path.isEmpty())
        return;
    const MergeExportResult result = exportMergeFile(*customers, selectedGroups(), path, progressDisplay());
    if (!result.ok)
        Prompt::info(this, result.message);
}

// ---------------------------------------------------------------------------------------------
// "Preferences"

void TMain::saveSettingsNow()
{
    if (!databaseOpen() || m_terminated)
        return;
    const SettingsResult saved = saveSettings(database());
    if (saved.openFailed)
        fatal(saved.message());
    else if (!saved)
        Prompt::info(this, saved.message());
}

void TMain::BtnReportFontClick()
{
    TReportFontDialog dialog(ReportFont::font(), this);
    // Either button ends with the report font stored; "Cancel" keeps the font it started with.
    const bool accepted = dialog.exec() == QDialog::Accepted;
    ReportFont::setFont(accepted ? dialog.selectedFont() : ReportFont::font());
    m_reportFontEdit->setText(ReportFont::description());
    settings().FontName = ReportFont::family();
    settings().FontSize = ReportFont::pointSize();
    saveSettingsNow();
}

void TMain::BtnPrinterSetupClick()
{
    QPrintDialog dialog(CurrentPrinter::printer(), this);
    dialog.setObjectName(QStringLiteral("printerSetupDialog"));
    dialog.setWindowTitle(QStringLiteral("Printer Setup"));
    // The dialog chooses the printer; nothing is printed, so its confirming button reads "OK".
    const auto relabel = [&dialog] {
        for (QDialogButtonBox *box : dialog.findChildren<QDialogButtonBox *>()) {
            if (QPushButton *ok = box->button(QDialogButtonBox::Ok))
                ok->setText(QStringLiteral("OK"));
        }
    };
    relabel();
    QTimer::singleShot(0, &dialog, relabel);
    if (dialog.exec() == QDialog::Accepted)
        m_printerEdit->setText(CurrentPrinter::description());
}

bool TMain::inGroup(QGroupBox *group, QWidget *widget) const
{
    return widget && (widget == group || group->isAncestorOf(widget));
}

void TMain::focusChanged(QWidget *old, QWidget *now)
{
    if (!m_started || m_terminated)
        return;
    if (inGroup(m_customerOrderGroup, old) && !inGroup(m_customerOrderGroup, now))
        CustomerOrderExit();
    if (inGroup(m_inventoryGroup, old) && !inGroup(m_inventoryGroup, now))
        InventoryMethodExit();
}

void TMain::CustomerOrderExit()
{
    settings().ByCust = m_byNameRadio->isChecked();
    saveSettingsNow();
}

void TMain::InventoryMethodExit()
{
    settings().fifo = m_fifoRadio->isChecked();
    saveSettingsNow();
}

void TMain::applyPreferences()
{
    ReportFont::apply(settings().FontName.trimmed(), int(settings().FontSize));
    m_reportFontEdit->setText(ReportFont::description());
    m_printerEdit->setText(CurrentPrinter::description());
    m_printerSetupButton->setEnabled(true);
    (settings().ByCust ? m_byNameRadio : m_byEmailRadio)->setChecked(true);
    (settings().fifo ? m_fifoRadio : m_lifoRadio)->setChecked(true);
}

// ---------------------------------------------------------------------------------------------
// "File Maintenance"

ProgressDisplay TMain::progressDisplay() const
{
    ProgressStatus *status = m_progress;
    ProgressDisplay display;
    display.start = [status](const QString &message) { status->start(message); };
    display.set = [status](int percent) { status->set(percent); };
    display.end = [status] { status->end(); };
    return display;
}

void TMain::showOutcome(const MaintenanceOutcome &outcome)
{
    m_progress->end();
    if (!outcome.warning.isEmpty())
        qWarning("%s", qPrintable(outcome.warning));
    if (!outcome.fatal.isEmpty()) {
        fatal(outcome.fatal);
        return;
    }
    if (!outcome.status.isEmpty())
        m_progress->say(outcome.status, kStatusMilliseconds);
    if (!outcome.message.isEmpty())
        Prompt::info(this, outcome.message);
}

void TMain::BtnReIndexClick()
{
    if (databaseOpen() && !m_inCommand)
        showOutcome(reindexBusiness(database(), progressDisplay()));
}

void TMain::BtnPackClick()
{
    if (databaseOpen() && !m_inCommand)
        showOutcome(packBusiness(database(), progressDisplay()));
}

void TMain::BtnEraseClick()
{
    if (!databaseOpen() || m_inCommand)
        return;
    if (Prompt::warningOkCancel(this, eraseWarning()))
        showOutcome(eraseBusiness(database(), progressDisplay()));
}

// ---------------------------------------------------------------------------------------------
// Menu, start-up and shutdown

void TMain::MenuExitClick()
{
    close();
}

void TMain::MenuAboutClick()
{
    m_about->showAbout();
}

void TMain::MenuHelpContentsClick()
{
    Help::showContents(this);
}

bool TMain::FormShow()
{
    if (m_started)
        return !m_terminated;
    m_about->showSplash();
    const qint64 shownAt = m_clock->now();

    const StartupOutcome outcome = startBusiness(m_dataDir, m_dataDirGiven);
    if (outcome.state == StartupOutcome::State::NoBusiness) {
        m_about->closeSplash();
        m_terminated = true;
        Prompt::info(this, outcome.message);
        return false;
    }
    if (!showBusiness(outcome))
        return false;

    if (const qint64 left = splashWaitLeft(shownAt, m_clock->now()); left > 0)
        m_clock->wait(left);
    m_about->closeSplash();
    return true;
}

bool TMain::showBusiness(const StartupOutcome &outcome)
{
    if (!outcome) {
        fatal(outcome.message);
        return false;
    }
    m_dataDir = outcome.directory;
    m_importDirsButton->show();
    m_batchLabelsButton->show();
    m_deleteCustomersButton->show();
    m_byEmailRadio->setText(QStringLiteral("By EMail Address"));
    setWindowTitle(QStringLiteral("Tallyra ") + versionText());
    setWindowFilePath(m_dataDir);
    applyPreferences();
    m_pages->setCurrentIndex(0);
    ReportKindClick(1);
    updateCommandStates();
    m_started = true;
    return true;
}

void TMain::closeBusiness()
{
    if (!m_started || m_terminated || !databaseOpen())
        return;
    // A preference changed without leaving its group is still stored.
    QWidget *focus = QApplication::focusWidget();
    if (inGroup(m_customerOrderGroup, focus))
        CustomerOrderExit();
    if (inGroup(m_inventoryGroup, focus))
        InventoryMethodExit();
    if (const QString failure = packWhenFlagged(database(), progressDisplay()); !failure.isEmpty())
        Prompt::info(this, failure);
    closeDatabase();
    m_started = false;
}

bool TMain::switchBusiness(const QString &dir)
{
    if (m_inCommand || m_terminated)
        return false;
    // Refused before the business open now is closed, so that one stays.
    if (const QString refusal = businessRefusal(dir); !refusal.isEmpty()) {
        Prompt::info(this, refusal);
        return false;
    }
    closeBusiness();
    if (!showBusiness(openBusiness(dir)))
        return false;
    m_progress->say(QStringLiteral("Opened %1").arg(QDir::toNativeSeparators(m_dataDir)),
                    kStatusMilliseconds);
    return true;
}

void TMain::MenuOpenBusinessClick()
{
    const QString dir = Prompt::directory(this, QStringLiteral("Open Business"), m_dataDir);
    if (!dir.isEmpty())
        switchBusiness(dir);
}

void TMain::MenuNewBusinessClick()
{
    if (m_inCommand || m_terminated)
        return;
    const QString dir = Prompt::directory(this, QStringLiteral("New Business: choose an empty folder"),
                                          QFileInfo(m_dataDir).absolutePath());
    if (dir.isEmpty())
        return;
    const NewBusinessResult created = createBusiness(dir, false);
    if (!created.ok()) {
        Prompt::info(this, created.message);
        return;
    }
    switchBusiness(dir);
}

bool TMain::start()
{
    if (!FormShow())
        return false;
    // Centred on the screen.
    if (QScreen *screen = QGuiApplication::primaryScreen()) {
        QRect frame = frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
    show();
    return true;
}

bool TMain::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_reportsPage && event->type() == QEvent::Resize)
        placeReportList();
    if (watched == m_reportList && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Space) {
            ReportListDblClick();
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void TMain::closeEvent(QCloseEvent *event)
{
    if (m_inCommand) {
        event->ignore();
        return;
    }
    closeBusiness();
    m_started = false;
    event->accept();
}

} // namespace tallyra
