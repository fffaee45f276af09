#pragma once

// The commands the main window starts but other parts of the program carry out (documents,
// reports, labels, mail, import, backup ...). Each part registers its handler with
// TMain::setCommand(); a button or report-list entry whose command has no handler is shown
// disabled. The main window closes every table after each command.

#include <QString>
#include <functional>

class QWidget;

namespace tallyra {

enum class Command
{
    // "Invoices" page, and the "Invoices" report list
    PrintInvoices,         // "Print Invoices" / "Print Selected Dates"
    PrintSelectedInvoices, // "Print Selected Invoices"
    EMailInvoices,         // "EMail Invoices" / "Email Selected Dates"
    EMailSelectedInvoices, // "EMail Selected Invoices"
    PackingList,           // "Packing List"

    // "Bills"
    BillsPrintDue,
    BillsPrintSelected,
    BillsEMailDue,
    BillsEMailSelected,
    // "Statements"
    StatementsPrintDue,
    StatementsPrintSelected,
    StatementsEMailDue,
    StatementsEMailSelected,
    // "Sales Reports"
    SalesSummary,
    ProductSummary,
    ProductBuyers,
    IncomeSummary,
    ReceivableIncome,
    TaxSummary,
    SalesByDept,
    // "Inventory Reports"
    InventoryReport,
    CostOfGoodsSold,
    StockOnHand,
    PurchasingHistory, // also "Purchase Report" on the "Customers and Products" page

    // "Customer Profile"
    ProfileSelectedCustomers,
    ProfileSelectedGroups,
    // "Address Labels": label printing with choices 1 to 5, and 6 for "Print Batch Labels"
    LabelsSelectedCustomers,
    LabelsInvoicesDated, // also "Invoice Labels" on the "Invoices" page
    LabelsPastDue,
    LabelsBalanceDue,
    LabelsGroups,
    LabelsBatch,
    // "Bulk Mail"
    ExportMergeFile, // the main window's own
    ComposeBulkEMail,
    // "Customers and Products" page
    ProductListing,
    ImportCustomers,
    ImportProducts,
    // "Preferences" page
    Stationery,
    SalesTax,
    ImportDirs,
    EMailSetup,
    // "File Maintenance" page
    Backup,
    Restore,
    UpgradeData,
    DeleteCustomers,

    Count
};

// What a command does; `parent` is the main window, for the dialogs it shows.
using CommandHandler = std::function<void(QWidget *parent)>;

} // namespace tallyra
