#include "ProgramCommands.h"

#include "Database.h"
#include "DefTaxU.h"
#include "InvoiceCommand.h"
#include "InvoiceModel.h"
#include "MainU.h"
#include "CustomerReports.h"
#include "ProductListing.h"
#include "ReceivableReports.h"
#include "SalesReports.h"
#include "RecordCommands.h"
#include "Settings.h"

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

} // namespace

void registerProgramCommands(TMain &main)
{
    main.setCommand(Command::SalesTax, editChargeLines);
    // The record windows of the browse-and-edit loops: customers, groups and products; invoices.
    registerRecordWindows();
    registerInvoiceWindows();
    main.setCommand(Command::ProductListing, [&main](QWidget *parent) {
        QString failure;
        if (!runProductListing(parent, database(), main.progressDisplay(), &failure))
            main.fatal(failure);
    });
    registerSalesReports(main);
}

} // namespace tallyra
