#include "ProgramCommands.h"

#include "Database.h"
#include "DefTaxU.h"
#include "DocumentCommands.h"
#include "InvoiceCommand.h"
#include "InvoiceModel.h"
#include "MainU.h"
#include "ProductListing.h"
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

    InvoiceCollaborators &hooks = invoiceDocumentHooks();
    hooks.printInvoice = [](QWidget *parent, const CurrentInvoice &invoice) {
        runCurrentInvoice(parent, database(), invoice, DocumentType::Invoice);
    };
    hooks.printPackingList = [](QWidget *parent, const CurrentInvoice &invoice) {
        runCurrentInvoice(parent, database(), invoice, DocumentType::PackingList);
    };
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
    registerDocumentCommands(main);
}

} // namespace tallyra
