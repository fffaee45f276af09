#include "ReportList.h"

#include <cmath>

namespace tallyra {

int ReportCategory::longestText() const
{
    qsizetype longest = title.size();
    for (const ReportEntry &entry : entries)
        longest = qMax(longest, entry.text.size());
    return int(longest);
}

const QList<ReportCategory> &reportCategories()
{
    static const QList<ReportCategory> categories = {
        {QStringLiteral("Invoices"),
         QStringLiteral("Invoices"),
         {{QStringLiteral("Print Selected Dates"), Command::PrintInvoices},
          {QStringLiteral("Print Selected Invoices"), Command::PrintSelectedInvoices},
          {QStringLiteral("Email Selected Dates"), Command::EMailInvoices},
          {QStringLiteral("EMail Selected Invoices"), Command::EMailSelectedInvoices}}},
        {QStringLiteral("Bills"),
         QStringLiteral("Bills"),
         {{QStringLiteral("Print with Balance Due"), Command::BillsPrintDue},
          {QStringLiteral("Print Selected"), Command::BillsPrintSelected},
          {QStringLiteral("Email with Balances Due"), Command::BillsEMailDue},
          {QStringLiteral("EMail Selected"), Command::BillsEMailSelected}}},
        {QStringLiteral("Statements"),
         QStringLiteral("Statements"),
         {{QStringLiteral("Print with Balance Due"), Command::StatementsPrintDue},
          {QStringLiteral("Print Selected"), Command::StatementsPrintSelected},
          {QStringLiteral("Email with Balances Due"), Command::StatementsEMailDue},
          {QStringLiteral("EMail Selected"), Command::StatementsEMailSelected}}},
        {QStringLiteral("Sales Reports"),
         QStringLiteral("Sales Reports"),
         {{QStringLiteral("Sales Summary"), Command::SalesSummary},
          {QStringLiteral("Product Summary"), Command::ProductSummary},
          {QStringLiteral("Product Buyers"), Command::ProductBuyers},
          {QStringLiteral("Income Summary"), Command::IncomeSummary},
          {QStringLiteral("Receivable Income"), Command::ReceivableIncome},
          {QStringLiteral("Tax Summary"), Command::TaxSummary},
          {QStringLiteral("Sales by Dept."), Command::SalesByDept}}},
        {QStringLiteral("Inventory Reports"),
         QStringLiteral("Inventory Reports"),
         {{QStringLiteral("Inventory"), Command::InventoryReport},
          {QStringLiteral("Cost of Goods Sold"), Command::CostOfGoodsSold},
          {QStringLiteral("Stock On Hand"), Command::StockOnHand},
          {QStringLiteral("Purchasing History"), Command::PurchasingHistory}}},
        {QStringLiteral("Customer Profile"),
         QStringLiteral("Customer Profile"),
         {{QStringLiteral("for Selected Customers"), Command::ProfileSelectedCustomers},
          {QStringLiteral("for Selected Groups"), Command::ProfileSelectedGroups}}},
        {QStringLiteral("Address Labels"),
         QStringLiteral("Print Address Labels for"),
         {{QStringLiteral("Selected Customers"), Command::LabelsSelectedCustomers},
          {QStringLiteral("Invoices Dated"), Command::LabelsInvoicesDated},
          {QStringLiteral("Past Due Billing"), Command::LabelsPastDue},
          {QStringLiteral("Balance Due Statements"), Command::LabelsBalanceDue},
          {QStringLiteral("Customer Groups"), Command::LabelsGroups}}},
        {QStringLiteral("Bulk Mail"),
         QStringLiteral("Bulk Mail"),
         {{QStringLiteral("Export Merge File"), Command::ExportMergeFile},
          {QStringLiteral("Compose Bulk EMail"), Command::ComposeBulkEMail}}},
    };
    return categories;
}

QRect reportListGeometry(int rows, int rowHeight, int width, const QSize &page)
{
    const int height = rows * (rowHeight + 1) + 3;
    int left = int(std::floor(0.75 * page.width())) - width / 2;
    int top = page.height() / 2 - height / 2;
    // A large font must not push the list off the page's right or bottom edge.
    left = qMax(0, qMin(left, page.width() - width));
    top = qMax(0, qMin(top, page.height() - height));
    return QRect(left, top, width, height);
}

} // namespace tallyra
