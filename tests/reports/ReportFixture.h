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

inline ItemRecord item(qint64 invoice, const QString &product, double quantity, double price, bool ship = false,
                       bool tax = false)
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
    bool ok = put(openGroups, b.groups, [](db::Table &t, const GroupRecord &r) { return writeGroup(t, r); }) &&
              put(openCustomers, b.customers,
                  [](db::Table &t, const CustomerRecord &r) { return writeCustomer(t, r); }) &&
              put(openProducts, b.products,
                  [&b](db::Table &t, const ProductRecord &r) {
                      db::Status s = writeProduct(t, r);
                      if (s.isOk() && b.deletedProducts.contains(r.PrID))
                          s = t.markDeleted();
                      return s;
                  }) &&
              put(openInvoices, b.invoices, [](db::Table &t, const InvoiceRecord &r) { return writeInvoice(t, r); }) &&
              put(openItems, b.items, [](db::Table &t, const ItemRecord &r) { return writeItem(t, r); }) &&
              put(openPayments, b.payments, [](db::Table &t, const PaymentRecord &r) { return writePayment(t, r); });
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
