#pragma once

// Sales seen from the customer's side:
//  - "Product Buyers": every purchase of one product within a date span, in date order: the
//    customer's name, the customer's group, the date and the unit price paid after the invoice's
//    discount ("%8.2f"). A product bought twice on one invoice gives two rows. No total.
//  - "Customer Profile": for each chosen customer, the address block (ending with "Cust#: <n>
//    Group: <name>") beside the full history of products bought: date, product, quantity and
//    unit price, one line per item of each of the customer's invoices.

#include "SalesReportSupport.h"
#include "engine/Engine.h"

#include <QDate>
#include <QList>
#include <memory>

class QWidget;

namespace tallyra {

class ReportBuffer;
struct ProgressDisplay;

// The tables both reports read, open: CUST5, GROUPS, INV6, ITM5 and Prod5.
struct CustomerTables
{
    db::Table &customers;
    db::Table &groups;
    db::Table &invoices;
    db::Table &items;
    db::Table &products;
};

// Fills `buffer` with the buyers of the product identified exactly by `productId` (its Prod5
// record gives the title's description) within start to end. Progress runs from "Processing
// Buyers" over the invoices of the span. Nothing with "No Invoices within selected dates." when
// the span holds no invoice; a built but empty buffer when none of them holds the product.
SalesReportResult buildProductBuyers(ReportBuffer &buffer, const CustomerTables &tables,
                                     const QString &productId, const QDate &start, const QDate &end,
                                     const ProgressDisplay &progress);

// The profile report, one customer after another into one buffer. start() begins the buffer;
// addCustomer() profiles the customer of a CUST5 record; addGroups() every customer, in name
// order (tag CName), whose group is among `groups`.
class CustomerProfiles
{
public:
    CustomerProfiles(ReportBuffer &buffer, const CustomerTables &tables);
    ~CustomerProfiles();

    const db::Status &status() const;
    void start();
    // False on a read failure (status() says which).
    bool addCustomer(quint32 recNo);
    bool addCustomerNumber(qint64 number, bool *found = nullptr);
    bool addGroups(const QList<qint64> &groups);
    int profiled() const;

    // The left column of one customer: the address block (five lines; cut to four when the last
    // two are empty; an empty line added when the last is then not empty), its last line
    // replaced by "Cust#: " + number + "  Group: " + the group name.
    static QStringList leftColumn(const QStringList &addressBlock, qint64 number, const QString &group);

private:
    struct Private;
    std::unique_ptr<Private> d;
};

// The same after opening CUST5, GROUPS, INV6, ITM5, PMT and Prod5; all tables are closed
// afterwards. The product is found by its identifier (upper case, as stored); Nothing with
// "No product <id>." when the catalogue has no such product.
SalesReportResult makeProductBuyers(db::Engine &engine, ReportBuffer &buffer, const QString &productId,
                                    const QDate &start, const QDate &end, const ProgressDisplay &progress);
// Profiles of the customers numbered `customers` (in that order; an unknown number is passed
// over and named in *unknown) or, when `customers` is empty, of the customers of `groups`.
SalesReportResult makeCustomerProfiles(db::Engine &engine, ReportBuffer &buffer,
                                       const QList<qint64> &customers, const QList<qint64> &groups,
                                       QList<qint64> *unknown = nullptr);

// The commands. Product buyers: the product pick list (without "New"; no pick ends it), then the
// date span. Profiles: the customer pick list shown again after each pick until it is closed
// without one, or the group question (no group ends it). False only on an open failure.
bool runProductBuyers(QWidget *parent, db::Engine &engine, const ProgressDisplay &progress,
                      QString *openFailure = nullptr);
bool runProfileSelectedCustomers(QWidget *parent, db::Engine &engine, QString *openFailure = nullptr);
bool runProfileSelectedGroups(QWidget *parent, db::Engine &engine, QString *openFailure = nullptr);

} // namespace tallyra
