#include "ProgramCommands.h"

#include "BulkMail.h"
#include "CustomerReports.h"
#include "Database.h"
#include "DefTaxU.h"
#include "DocumentCommands.h"
#include "EMailSetupU.h"
#include "ImportU.h"
#include "InventoryReports.h"
#include "InvoiceCommand.h"
#include "InvoiceModel.h"
#include "LabelCommands.h"
#include "MailDocumentSender.h"
#include "MainU.h"
#include "MaintenanceCommands.h"
#include "ProductListing.h"
#include "PurchaseCommand.h"
#include "ReceivableReports.h"
#include "RecordCommands.h"
#include "SalesReports.h"
#include "Settings.h"
#include "Tables.h"

namespace tallyra {

namespace {

// "Sales Tax": the captions, rates and rules of the two charge lines, stored in the settings
// record. The record in memory changes only once it has been stored. A settings table that
// cannot be opened ends the program, as its message says.
void editChargeLines(TMain &main, QWidget *parent)
{
    TTaxDef window(parent);
    window.setValues(ChargeSettings::from(settings()));
    window.setSaver([&main, &window](const ChargeSettings &lines, QString *error) {
        SettingsRecord changed = settings();
        lines.applyTo(changed);
        const SettingsResult saved = saveSettings(database(), changed);
        if (saved.openFailed) {
            window.hide();
            main.fatal(saved.message());
            return false;
        }
        if (!saved) {
            *error = saved.message();
            return false;
        }
        settings() = changed;
        return true;
    });
    window.run();
}

// Runs a maintenance command and does what its outcome asks of the shell.
void runMaintenance(TMain &main, const std::function<CommandOutcome()> &command)
{
    const CommandOutcome outcome = command();
    if (!outcome.fatal.isEmpty()) {
        main.fatal(outcome.fatal);
        return;
    }
    if (outcome.settingsChanged) {
        const SettingsResult loaded = loadSettings(database());
        closeAllTables(database());
        if (!loaded)
            main.fatal(loaded.message());
    }
}

void registerMaintenanceCommands(TMain &main)
{
    main.setCommand(Command::Backup, [&main](QWidget *parent) {
        runMaintenance(
            main, [&] { return runBackupCommand(parent, database().directory(), main.progressDisplay()); });
    });
    main.setCommand(Command::Restore, [&main](QWidget *parent) {
        runMaintenance(main, [&] { return runRestoreCommand(parent, database(), main.progressDisplay()); });
    });
    main.setCommand(Command::UpgradeData, [&main](QWidget *parent) {
        runMaintenance(main, [&] { return runUpgradeCommand(parent, database(), main.progressDisplay()); });
    });
    main.setCommand(Command::DeleteCustomers, [&main](QWidget *parent) {
        runMaintenance(main,
                       [&] { return runDeleteCustomersCommand(parent, database(), main.progressDisplay()); });
    });
    main.setCommand(Command::ImportDirs, [&main](QWidget *parent) {
        runMaintenance(main, [&] { return runImportDirsCommand(parent, database()); });
    });
}

// The "Sales Reports" and "Customer Profile" lists. A report whose tables cannot be opened ends the
// program as every failed open does.
void registerSalesReports(TMain &main)
{
    using Run = std::function<bool(QWidget *, QString *)>;
    const auto add = [&main](Command command, Run run) {
        main.setCommand(command, [&main, run](QWidget *parent) {
            QString failure;
            if (!run(parent, &failure))
                main.fatal(failure);
        });
    };
    const auto sales = [&main](SalesReport report) {
        return [&main, report](QWidget *parent, QString *failure) {
            return runSalesReport(report, parent, database(), main.progressDisplay(), failure);
        };
    };
    add(Command::SalesSummary, sales(SalesReport::SalesSummary));
    add(Command::ProductSummary, sales(SalesReport::ProductSummary));
    add(Command::TaxSummary, sales(SalesReport::TaxSummary));
    add(Command::SalesByDept, sales(SalesReport::DepartmentSummary));
    add(Command::ReceivableIncome, [&main](QWidget *parent, QString *failure) {
        return runReceivables(parent, database(), main.progressDisplay(), failure);
    });
    add(Command::IncomeSummary, [&main](QWidget *parent, QString *failure) {
        return runDailyIncome(parent, database(), main.progressDisplay(), failure);
    });
    add(Command::ProductBuyers, [&main](QWidget *parent, QString *failure) {
        return runProductBuyers(parent, database(), main.progressDisplay(), failure);
    });
    add(Command::ProfileSelectedCustomers, [](QWidget *parent, QString *failure) {
        return runProfileSelectedCustomers(parent, database(), failure);
    });
    add(Command::ProfileSelectedGroups, [](QWidget *parent, QString *failure) {
        return runProfileSelectedGroups(parent, database(), failure);
    });
}

// The printed documents: invoices, bills and statements by date span or picked, packing lists, the
// invoice window's "Print" and "Packing List", and the stationery. The e-mail commands are the
// mail subsystem's to register; the run functions take its sender.
void registerDocumentCommands(TMain &main)
{
    auto byDate = [&main](DocumentType type) {
        return [&main, type](QWidget *parent) {
            QString failure;
            if (!runDocumentsByDate(parent, database(), type, main.progressDisplay(), nullptr, &failure))
                main.fatal(failure);
        };
    };
    auto picked = [&main](DocumentType type) {
        return [&main, type](QWidget *parent) {
            QString failure;
            if (!runDocumentsPicked(parent, database(), type, main.progressDisplay(), nullptr, &failure))
                main.fatal(failure);
        };
    };
    main.setCommand(Command::PrintInvoices, byDate(DocumentType::Invoice));
    main.setCommand(Command::PrintSelectedInvoices, picked(DocumentType::Invoice));
    main.setCommand(Command::PackingList, byDate(DocumentType::PackingList));
    main.setCommand(Command::BillsPrintDue, byDate(DocumentType::Bill));
    main.setCommand(Command::BillsPrintSelected, picked(DocumentType::Bill));
    main.setCommand(Command::StatementsPrintDue, byDate(DocumentType::Statement));
    main.setCommand(Command::StatementsPrintSelected, picked(DocumentType::Statement));
    main.setCommand(Command::Stationery, [](QWidget *parent) { runStationery(parent, database()); });

    // The e-mail commands: the same runs, each document sent to its customer instead of shown.
    auto mailByDate = [&main](DocumentType type) {
        return [&main, type](QWidget *parent) {
            MailDocumentSender sender(database(), parent);
            QString failure;
            if (!runDocumentsByDate(parent, database(), type, main.progressDisplay(), &sender, &failure))
                main.fatal(failure);
        };
    };
    auto mailPicked = [&main](DocumentType type) {
        return [&main, type](QWidget *parent) {
            MailDocumentSender sender(database(), parent);
            QString failure;
            if (!runDocumentsPicked(parent, database(), type, main.progressDisplay(), &sender, &failure))
                main.fatal(failure);
        };
    };
    main.setCommand(Command::EMailInvoices, mailByDate(DocumentType::Invoice));
    main.setCommand(Command::EMailSelectedInvoices, mailPicked(DocumentType::Invoice));
    main.setCommand(Command::BillsEMailDue, mailByDate(DocumentType::Bill));
    main.setCommand(Command::BillsEMailSelected, mailPicked(DocumentType::Bill));
    main.setCommand(Command::StatementsEMailDue, mailByDate(DocumentType::Statement));
    main.setCommand(Command::StatementsEMailSelected, mailPicked(DocumentType::Statement));

    InvoiceCollaborators &hooks = invoiceDocumentHooks();
    hooks.printInvoice = [](QWidget *parent, const CurrentInvoice &invoice) {
        runCurrentInvoice(parent, database(), invoice, DocumentType::Invoice);
    };
    hooks.printPackingList = [](QWidget *parent, const CurrentInvoice &invoice) {
        runCurrentInvoice(parent, database(), invoice, DocumentType::PackingList);
    };
    hooks.emailInvoice = [](QWidget *parent, const CurrentInvoice &invoice) {
        MailDocumentSender sender(database(), parent);
        runCurrentInvoice(parent, database(), invoice, DocumentType::Invoice, &sender);
    };
}

} // namespace

void registerProgramCommands(TMain &main)
{
    main.setCommand(Command::SalesTax, [&main](QWidget *parent) { editChargeLines(main, parent); });
    // The record windows of the browse-and-edit loops: customers, groups and products; invoices.
    registerRecordWindows();
    registerInvoiceWindows();
    // E-mail: the mail settings and bulk mail to customer groups.
    main.setCommand(Command::EMailSetup, [](QWidget *parent) { runEMailSetup(parent, database()); });
    main.setCommand(Command::ComposeBulkEMail, [](QWidget *parent) { composeBulkEMail(parent, database()); });
    // Label stocks in the browse-and-edit loop of "Label Forms", and the six label runs.
    registerLabelWindows();
    const std::pair<Command, LabelKind> labelRuns[] = {
        {Command::LabelsSelectedCustomers, LabelKind::SelectedCustomers},
        {Command::LabelsInvoicesDated, LabelKind::InvoicesDated},
        {Command::LabelsPastDue, LabelKind::PastDue},
        {Command::LabelsBalanceDue, LabelKind::BalanceDue},
        {Command::LabelsGroups, LabelKind::Groups},
        {Command::LabelsBatch, LabelKind::Batch},
    };
    for (const auto &[command, kind] : labelRuns) {
        main.setCommand(command, [&main, kind](QWidget *parent) {
            QString failure;
            if (!runLabelRun(parent, database(), kind, main.progressDisplay(), &failure))
                main.fatal(failure);
        });
    }
    registerPurchaseWindows();
    registerMaintenanceCommands(main);
    registerSalesReports(main);
    main.setCommand(Command::ProductListing, [&main](QWidget *parent) {
        QString failure;
        if (!runProductListing(parent, database(), main.progressDisplay(), &failure))
            main.fatal(failure);
    });
    registerDocumentCommands(main);
    // "Import Customers" and "Import Products": the import window for the kind.
    main.setCommand(Command::ImportCustomers, [](QWidget *parent) {
        TImport window(database(), ImportKind::Customers, parent);
        window.run();
    });
    main.setCommand(Command::ImportProducts, [](QWidget *parent) {
        TImport window(database(), ImportKind::Products, parent);
        window.run();
    });
    // The inventory reports; "Purchasing History" is also the "Purchase Report" button.
    using InventoryRun = bool (*)(QWidget *, db::Engine &, const ProgressDisplay &, QString *);
    const std::pair<Command, InventoryRun> inventory[] = {{Command::StockOnHand, runStockOnHand},
                                                          {Command::InventoryReport, runInventoryValue},
                                                          {Command::CostOfGoodsSold, runCostOfGoodsSold},
                                                          {Command::PurchasingHistory, runPurchasingReport}};
    for (const auto &entry : inventory) {
        const InventoryRun run = entry.second;
        main.setCommand(entry.first, [&main, run](QWidget *parent) {
            QString failure;
            if (!run(parent, database(), main.progressDisplay(), &failure))
                main.fatal(failure);
        });
    }
}

} // namespace tallyra
