#pragma once

// A small shop on disk for the document tests: letterhead settings, three customers in different
// postal codes, products with a licence code and a long text, and invoices that between them
// show every part of a document (see makeShop).

#include "Conversions.h"
#include "NewBusiness.h"
#include "Records.h"
#include "Settings.h"
#include "Tables.h"

#include <QDate>
#include <QList>

namespace doctest {

struct ShopInvoice
{
    tallyra::InvoiceRecord header;
    QList<tallyra::ItemRecord> items;
    QList<tallyra::PaymentRecord> payments;
};

inline tallyra::CustomerRecord customer(qint64 number, const QString &title, const QString &first,
                                        const QString &last, const QStringList &lines, const QString &zip,
                                        const QString &phone, const QString &email)
{
    tallyra::CustomerRecord c;
    c.CuNo = number;
    c.Title = title;
    c.First = first;
    c.Last = last;
    c.Addr1 = lines.value(0);
    c.Addr2 = lines.value(1);
    c.Addr3 = lines.value(2);
    c.Addr4 = lines.value(3);
    c.Zip = zip;
    c.Phone = phone;
    c.EMail = email;
    return c;
}

inline tallyra::ItemRecord item(const QString &id, double qty, double price, const QString &desc,
                                const QString &second = {})
{
    tallyra::ItemRecord i;
    i.PrID = id;
    i.Qty = qty;
    i.UPR = price;
    i.PDesc = desc;
    i.IComm = second;
    return i;
}

inline ShopInvoice invoice(qint64 number, qint64 customer, const QDate &date,
                           QList<tallyra::ItemRecord> items, QList<double> payments, double discount = 0,
                           double ship = 0, double tax = 0, const QString &note = {},
                           const QString &memo = {})
{
    ShopInvoice inv;
    inv.header.IvNo = number;
    inv.header.CuNo = customer;
    inv.header.IDate = date;
    inv.header.Discount = discount;
    inv.header.Ship = ship;
    inv.header.Tax = tax;
    inv.header.IMemo = note;
    inv.header.REM = memo;
    double sum = 0;
    for (tallyra::ItemRecord &i : items) {
        i.IvNo = number;
        sum += tallyra::roundToCents(i.Qty * i.UPR);
    }
    sum -= tallyra::roundToCents(sum * discount / 100);
    double paid = 0;
    for (double p : payments) {
        inv.payments << tallyra::PaymentRecord{number, date, p};
        paid += p;
    }
    inv.header.Due = sum + ship + tax - paid;
    inv.items = items;
    return inv;
}

// The letterhead of the shop.
inline tallyra::SettingsRecord shopSettings()
{
    tallyra::SettingsRecord s = tallyra::defaultSettings();
    s.Company = QStringLiteral("Harbour Supplies");
    s.Addr1 = QStringLiteral("1 Dock Road");
    s.Addr2 = QStringLiteral("Dover");
    s.Addr3.clear();
    s.Addr4.clear();
    s.LHJustify = 1;
    s.TopMargin = 0;
    s.LogoFile.clear();
    s.ShipLine = QStringLiteral("Shipping");
    s.TaxLine = QStringLiteral("Sales Tax");
    return s;
}

// Invoices 1001 and 1002 of Holloway (customer 42), 1003 of Brook (43, nothing due), 1004 of
// Cole (44, a credit on the last day of March), 1005 of Holloway on 1 April, 1006 of a customer
// that no longer exists.
inline QList<ShopInvoice> shopInvoices()
{
    using tallyra::ItemRecord;
    return {
        invoice(1001, 42, QDate(2024, 3, 1),
                {item("WIDGET", 2, 12.5, "Widget, ten inch", "Zinc plated"),
                 item("BOLT", 1, 0.5, "Hex bolt M6"), item("BOLT", 0.5, 3, "Hex bolt M6")},
                {10}, 0, 0, 0, QStringLiteral("Net 30"), QStringLiteral("Thank you for your order.")),
        invoice(1002, 42, QDate(2024, 3, 5), {item("LIC-SW", 1, 100, "Stock software", "Annual licence")}, {},
                10, 5, 7.65, QStringLiteral("4111 1111 1111 1111 12/05")),
        invoice(1003, 43, QDate(2024, 3, 10), {item("BOLT", 4, 0.5, "Hex bolt M6")}, {2}),
        invoice(1004, 44, QDate(2024, 3, 31), {item("BOLT", 20, 0.5, "Hex bolt M6")}, {25}),
        invoice(1005, 42, QDate(2024, 4, 1), {item("WIDGET", 4, 12.5, "Widget, ten inch")}, {}),
        invoice(1006, 77, QDate(2024, 4, 2), {item("BOLT", 2, 0.5, "Hex bolt M6")}, {}),
    };
}

// A new business in `dir` with the shop's settings, customers, products and invoices.
inline bool makeShop(const QString &dir, const QList<ShopInvoice> &invoices = shopInvoices())
{
    using namespace tallyra;
    if (!createBusiness(dir, false).ok())
        return false;
    if (!saveSettings(*std::make_unique<db::Engine>(dir), shopSettings()).ok())
        return false;
    db::Engine engine(dir);
    const OpenResult cust = openCustomers(engine);
    const OpenResult prod = openProducts(engine);
    const OpenResult inv = openInvoices(engine);
    const OpenResult itm = openItems(engine);
    const OpenResult pmt = openPayments(engine);
    if (!cust || !prod || !inv || !itm || !pmt)
        return false;
    const QList<CustomerRecord> customers = {
        customer(42, "Mr", "Thomas", "Holloway", {"Holloway Joinery", "12 Mill Lane", "", "Ashford, Kent"},
                 "TN24 8AA", "01233 555 010", "tom@holloway.example"),
        customer(43, "Ms", "Ada", "Brook", {"", "3 Quay Street", "", "Rye"}, "TN31 7AB", "", "a@b"),
        customer(44, "Dr", "Jon", "Cole", {"Cole Surgery", "", "", "Tunbridge Wells"}, "TN1 1AA", "",
                 "jc@cole.example"),
    };
    for (const CustomerRecord &c : customers)
        if (!cust.table->appendBlank() || !writeCustomer(*cust.table, c))
            return false;
    ProductRecord widget;
    widget.PrID = QStringLiteral("WIDGET");
    widget.PDesc = QStringLiteral("Widget, ten inch");
    widget.UPrice = 12.5;
    widget.PMemo = QStringLiteral("Keep dry.\nEvery widget is tested twice before it leaves the works, and "
                                  "carries a two-year guarantee against defects of material.");
    ProductRecord licence;
    licence.PrID = QStringLiteral("LIC-SW");
    licence.RCode = QStringLiteral("SW-");
    licence.PDesc = QStringLiteral("Stock software");
    licence.UPrice = 100;
    ProductRecord bolt;
    bolt.PrID = QStringLiteral("BOLT");
    bolt.PDesc = QStringLiteral("Hex bolt M6");
    bolt.UPrice = 0.5;
    for (const ProductRecord &p : {widget, licence, bolt})
        if (!prod.table->appendBlank() || !writeProduct(*prod.table, p))
            return false;
    for (const ShopInvoice &i : invoices) {
        if (!inv.table->appendBlank() || !writeInvoice(*inv.table, i.header) || !inv.table->flush())
            return false;
        for (const ItemRecord &r : i.items)
            if (!itm.table->appendBlank() || !writeItem(*itm.table, r))
                return false;
        for (const PaymentRecord &r : i.payments)
            if (!pmt.table->appendBlank() || !writePayment(*pmt.table, r))
                return false;
    }
    return closeAllTables(engine).isOk();
}

} // namespace doctest
