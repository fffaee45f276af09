#include "ProgramCommands.h"

#include "Database.h"
#include "BulkMail.h"
#include "DefTaxU.h"
#include "EMailSetupU.h"
#include "ImportU.h"
#include "InvoiceCommand.h"
#include "InventoryReports.h"
#include "InvoiceModel.h"
#include "LabelCommands.h"
#include "MainU.h"
#include "MaintenanceCommands.h"
#include "ProductListing.h"
#include "PurchaseCommand.h"
#include "RecordCommands.h"
#include "Settings.h"
#include "Tables.h"

namespace tallyra {

namespace {

// "Sales Tax": the captions, rates and rules of the two charge lines, stored in the settings
// record. The record in memory changes only once it has been stored.
void editChargeLines(QWidget *parent)
{
    TTaxDef window(parent);
    window.setValues(ChargeSettings::from(settings()));
    window.setSaver([](const ChargeSettings &lines, QString *error) {
        SettingsRecord changed = settings();
        lines.applyTo(changed);
        const SettingsResult saved = saveSettings(database(), changed);
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
        runMaintenance(main, [&] { return runBackupCommand(parent, database().directory(), main.progressDisplay()); });
    });
    main.setCommand(Command::Restore, [&main](QWidget *parent) {
        runMaintenance(main, [&] { return runRestoreCommand(parent, database(), main.progressDisplay()); });
    });
    main.setCommand(Command::UpgradeData, [&main](QWidget *parent) {
        runMaintenance(main, [&] { return runUpgradeCommand(parent, database(), main.progressDisplay()); });
    });
    main.setCommand(Command::DeleteCustomers, [&main](QWidget *parent) {
        runMaintenance(main, [&] { return runDeleteCustomersCommand(parent, database(), main.progressDisplay()); });
    });
    main.setCommand(Command::ImportDirs, [&main](QWidget *parent) {
        runMaintenance(main, [&] { return runImportDirsCommand(parent, database()); });
    });
}

} // namespace

void registerProgramCommands(TMain &main)
{
    main.setCommand(Command::SalesTax, editChargeLines);
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
    main.setCommand(Command::ProductListing, [&main](QWidget *parent) {
        QString failure;
        if (!runProductListing(parent, database(), main.progressDisplay(), &failure))
            main.fatal(failure);
    });
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
