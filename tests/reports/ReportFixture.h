#pragma once

// Small businesses for the report tests, written to real data files, and the stored records read
// back in record order, from which the tests compute the figures the reports must show.

#include "Database.h"
#include "NewBusiness.h"
#include "Records.h"
#include "ReportBuffer.h"
#include "Settings.h"
#include "Tables.h"

#include <QList>
#include <QRandomGenerator>
#include <QString>
#include <functional>

namespace reportfixture {

using namespace tallyra;

struct Business
{
    SettingsRecord settings = defaultSettings();
    QList<GroupRecord> groups;
    QList<CustomerRecord> customers;
    QList<ProductRecord> products;
    QStringList deletedProducts; // marked deleted after writing
    QList<InvoiceRecord> invoices;
    QList<ItemRecord> items;
    QList<PaymentRecord> payments;
};

inline CustomerRecord customer(qint64 number, const QString &title, const QString &first, const QString &last,
                               qint64 group, const QStringList &address = {}, const QString &zip = {})
{
    CustomerRecord c;
    c.CuNo = number;
    c.Title = title;
    c.First = first;
    c.Last = last;
    c.NGroup = group;
    c.Addr1 = address.value(0);
    c.Addr2 = address.value(1);
    c.Addr3 = address.value(2);
    c.Addr4 = address.value(3);
    c.Zip = zip;
    return c;
}

inline ProductRecord product(const QString &id, const QString &description, double price)
{
    ProductRecord p;
    p.PrID = id;
    p.PDesc = description;
    p.UPrice = price;
    return p;
}

inline InvoiceRecord invoice(qint64 number, qint64 customer, const QDate &date, const QString &dept = {},
                             double discount = 0, double ship = 0, double tax = 0, double due = 0,
                             const QString &note = {})
{
    InvoiceRecord r;
    r.IvNo = number;
    r.CuNo = customer;
    r.IDate = date;
    r.Dept = dept;
    r.Discount = discount;
    r.Ship = ship;
    r.Tax = tax;
    r.Due = due;
    r.IMemo = note;
    return r;
}

inline ItemRecord item(qint64 invoice, const QString &product, double quantity, double price,
                       bool ship = false, bool tax = false)
{
    ItemRecord r;
    r.IvNo = invoice;
    r.PrID = product;
    r.Qty = quantity;
    r.UPR = price;
    r.LTax1 = ship;
    r.LTax2 = tax;
    return r;
}

inline PaymentRecord payment(qint64 invoice, const QDate &date, double amount)
{
    PaymentRecord r;
    r.IvNo = invoice;
    r.PDate = date;
    r.PAmt = amount;
    return r;
}

// Creates the business's data files in dir and writes every record; false on any failure.
inline bool write(const QString &dir, const Business &b)
{
    if (!createBusiness(dir, false).ok())
        return false;
    db::Engine engine(dir);
    if (!saveSettings(engine, b.settings).ok())
        return false;
    auto put = [&engine](OpenResult (*open)(db::Engine &), const auto &records, auto writer) {
        const OpenResult t = open(engine);
        if (!t)
            return false;
        for (const auto &r : records) {
            if (!t.table->appendBlank().isOk() || !writer(*t.table, r).isOk())
                return false;
        }
        return t.table->flush().isOk();
    };
    bool ok =
        put(openGroups, b.groups, [](db::Table &t, const GroupRecord &r) { return writeGroup(t, r); }) &&
        put(openCustomers, b.customers,
            [](db::Table &t, const CustomerRecord &r) { return writeCustomer(t, r); }) &&
        put(openProducts, b.products,
            [&b](db::Table &t, const ProductRecord &r) {
                db::Status s = writeProduct(t, r);
                if (s.isOk() && b.deletedProducts.contains(r.PrID))
                    s = t.markDeleted();
                return s;
            }) &&
        put(openInvoices, b.invoices,
            [](db::Table &t, const InvoiceRecord &r) { return writeInvoice(t, r); }) &&
        put(openItems, b.items, [](db::Table &t, const ItemRecord &r) { return writeItem(t, r); }) &&
        put(openPayments, b.payments,
            [](db::Table &t, const PaymentRecord &r) { return writePayment(t, r); });
    return closeAllTables(engine).isOk() && ok;
}

// Every record of a table as stored, in record order (records marked deleted left out).
template <typename Record>
QList<Record> stored(const QString &dir, OpenResult (*open)(db::Engine &),
                     db::Status (*load)(const db::Table &, Record &))
{
    QList<Record> out;
    db::Engine engine(dir);
    const OpenResult t = open(engine);
    if (!t)
        return out;
    t.table->selectNatural();
    for (bool more = t.table->top(); more; more = t.table->skip(1)) {
        Record r;
        if (!t.table->isDeleted() && load(*t.table, r).isOk())
            out.append(r);
    }
    closeAllTables(engine);
    return out;
}

inline const QDate kToday(2024, 4, 10);
inline const QDate kStart(2024, 3, 1);
inline const QDate kEnd(2024, 3, 31);

inline QDate march(int day)
{
    return QDate(2024, 3, day);
}

// Every edge case in a few records. Customer 3's group does not exist; customer 99 does not
// exist; product GONE is deleted from the catalogue; invoice 1000 and 1006 lie outside March.
inline Business sampleBusiness()
{
    Business b;
    b.settings.ShipLine = QStringLiteral("Shipping");
    b.settings.TaxLine = QStringLiteral("Sales Tax");
    b.settings.TaxRate1 = 0;
    b.settings.ShipTax = 3;
    b.groups = {{1, QStringLiteral("Retail")}, {2, QStringLiteral("Wholesale")}};
    b.customers = {
        customer(1, "Ms", "Ann", "Baker", 1, {"", "12 Elm Street", "Springfield", ""}, "10200"),
        customer(2, "Mr", "Carl", "Diaz", 2, {"Diaz Trading Ltd", "Unit 4", "200 Harbour Road", "Portsmouth"},
                 "PO1 3AB"),
        customer(3, "Dr", "Eve", "Ng", 7, {"", "1 Short Rd", "", ""}, "999"),
    };
    b.products = {product("WIDGET", "Widget, ten inch", 10), product("BOLT", "Hex bolt M6", 0.75),
                  product("NUT", "Nut M6", 0.25), product("GONE", "Discontinued gadget", 4.5),
                  product("SPARE", "Never sold", 1)};
    b.deletedProducts = {"GONE"};
    b.invoices = {
        invoice(1000, 1, QDate(2024, 2, 28), "Retail", 0, 0, 0, 0),
        invoice(1001, 1, march(1), "retail ", 10, 5, 0, 12, "VISA 4111"),
        invoice(1002, 2, march(1), " RETAIL", 0, 0, 0.81, 0),
        invoice(1003, 3, march(15), "", 0, 2.5, 0, 0),
        invoice(1004, 3, march(20), "Service", 0, 1, 1.04, 3),
        invoice(1005, 99, march(31), "service", 0, 0, 0.8, -5, "CHQ 0042"),
        invoice(1006, 2, kToday, "", 0, 0, 0, 7.5),
    };
    b.items = {
        item(1000, "NUT", 1, 0.25),
        item(1001, "WIDGET", 1, 10, false, true),
        item(1001, "WIDGET", 2, 10, false, true),
        item(1002, "NUT", 3, 0.25, false, true),
        item(1002, "GONE", 2, 4.5, false, true),
        item(1003, "BOLT", 1.5, 0.75, true, false),
        item(1003, "BOLT", 1.5, 0.75, true, false),
        item(1004, "NUT", 1, 0.25),
        item(1004, "NUT", 2, 0.25),
        item(1004, "WIDGET", 1, 10, false, true),
        item(1004, "NUT", 4, 0.25),
        item(1004, "NUT", 5, 0.25),
        item(1005, "WIDGET", 1, 10, false, true),
        item(1006, "NUT", 1, 0.25),
    };
    b.payments = {
        payment(1000, QDate(2024, 2, 27), 0.25),
        payment(1001, march(5), 0),
        payment(1001, march(5), 10),
        payment(1002, march(5), 9.81),
        payment(1003, march(10), 1),
        payment(1004, march(10), 2),
        payment(1005, march(10), 3),
        payment(1005, march(31), 12),
        payment(1999, march(31), 4),
        payment(1006, QDate(2024, 4, 3), 1),
    };
    return b;
}

// The rows of a buffer whose cell `cell` starts with `prefix`.
inline QList<int> rowsStartingWith(const ReportBuffer &b, int cell, const QString &prefix)
{
    QList<int> rows;
    for (int r = 0; r < b.rowCount(); ++r)
        if (b.cell(cell, r).startsWith(prefix))
            rows.append(r);
    return rows;
}

// The number after the three-character code of a cell.
inline double cellNumber(const ReportBuffer &b, int cell, int row)
{
    return b.cell(cell, row).mid(3).trimmed().toDouble();
}

} // namespace reportfixture
