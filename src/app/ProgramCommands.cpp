#include "ProgramCommands.h"

#include "Database.h"
#include "DefTaxU.h"
#include "InvoiceCommand.h"
#include "InvoiceModel.h"
#include "MainU.h"
#include "MaintenanceCommands.h"
#include "ProductListing.h"
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
    registerMaintenanceCommands(main);
    main.setCommand(Command::ProductListing, [&main](QWidget *parent) {
        QString failure;
        if (!runProductListing(parent, database(), main.progressDisplay(), &failure))
            main.fatal(failure);
    });
}

} // namespace tallyra
