#include "PickLists.h"

#include "Conversions.h"

#include <QLocale>

namespace tallyra {

namespace {

QString textOf(const db::Table &t, const char *field)
{
    const int i = t.fieldIndex(field);
    return i < 0 ? QString() : t.text(i).trimmed();
}

double numberOf(const db::Table &t, const char *field)
{
    const int i = t.fieldIndex(field);
    return i < 0 ? 0.0 : t.number(i);
}

QDate dateOf(const db::Table &t, const char *field)
{
    const int i = t.fieldIndex(field);
    return i < 0 ? QDate() : t.date(i);
}

const QString kDeletedWide = QStringLiteral("< DELETED >");
const QString kDeletedNarrow = QStringLiteral("<DELETED>");

} // namespace

QString fixedNumber(double value, int width, int decimals)
{
    QString text = QString::asprintf("%*.*f", width, decimals, value);
    const QString point = QLocale().decimalPoint();
    if (point != QLatin1String("."))
        text.replace(QLatin1Char('.'), point);
    return text;
}

PickListDef customerPickList(bool byName)
{
    PickListDef d;
    d.objectName = QStringLiteral("pickCustomerDialog");
    d.caption = QStringLiteral("Select Customer");
    d.table = TableId::Customers;
    d.letter = QLatin1Char('B');
    d.gridLetters = 67;
    d.windowMargin = 16;
    if (byName) {
        d.tag = QStringLiteral("CName");
        d.columns = {
            {QStringLiteral("Last"), 20}, {QStringLiteral("First"), 13}, {QStringLiteral("Note"), 34}};
        d.grid.cells = [](const db::Table &t) {
            return QStringList{textOf(t, "Last"), textOf(t, "First"), textOf(t, "Note")};
        };
    } else {
        d.tag = QStringLiteral("cEMail");
        d.columns = {
            {QStringLiteral("EMail"), 34}, {QStringLiteral("Last"), 20}, {QStringLiteral("First"), 13}};
        d.grid.cells = [](const db::Table &t) {
            return QStringList{textOf(t, "EMail"), textOf(t, "Last"), textOf(t, "First")};
        };
    }
    d.grid.markerColumn = 2;
    d.grid.marker = kDeletedWide;
    d.grid.firstRowWhenTargetAbsent = true;
    return d;
}

PickListDef productPickList()
{
    PickListDef d;
    d.objectName = QStringLiteral("pickProductDialog");
    d.caption = QStringLiteral("Select Product");
    d.table = TableId::Products;
    d.letter = QLatin1Char('M');
    d.gridLetters = 45;
    d.columns = {{QStringLiteral("Product ID"), 10},
                 {QStringLiteral("Description"), 27},
                 {QStringLiteral("Price"), 8, true}};
    d.grid.cells = [](const db::Table &t) {
        return QStringList{textOf(t, "PrID"), textOf(t, "PDesc"), fixedNumber(numberOf(t, "UPrice"), 8, 2)};
    };
    d.grid.markerColumn = 2;
    d.grid.marker = kDeletedNarrow;
    return d;
}

PickListDef invoicePickList()
{
    PickListDef d;
    d.objectName = QStringLiteral("pickInvoiceDialog");
    d.caption = QStringLiteral("Select Invoice");
    d.tag = QStringLiteral("Inv");
    d.table = TableId::Invoices;
    d.letter = QLatin1Char('M');
    d.gridLetters = 47;
    d.searchLabel = QStringLiteral("Seek Invoice No:");
    d.columns = {{QStringLiteral("Invoice"), 7, true},
                 {QStringLiteral("Date"), 10, false, true},
                 {QStringLiteral("Credit Card / Note"), 30}};
    d.grid.cells = [](const db::Table &t) {
        const int iv = t.fieldIndex("IvNo");
        const QString number = iv < 0 ? QString() : QString::fromLatin1(numberKey(t.integer(iv), 6));
        return QStringList{number, formatShortDate(dateOf(t, "IDate")), textOf(t, "IMemo")};
    };
    d.grid.markerColumn = 2;
    d.grid.marker = kDeletedWide;
    d.grid.search = PickGrid::SearchKind::InvoiceNumber;
    d.grid.firstRowWhenTargetAbsent = true;
    return d;
}

PickListDef purchasePickList()
{
    PickListDef d;
    d.objectName = QStringLiteral("pickPurchaseDialog");
    d.caption = QStringLiteral("Select Purchase");
    d.table = TableId::Purchases;
    d.letter = QLatin1Char('B');
    d.gridLetters = 40;
    d.columns = {{QStringLiteral("Product ID"), 10},
                 {QStringLiteral("Date"), 8, false, true},
                 {QStringLiteral("Quantity"), 10, true},
                 {QStringLiteral("Total Cost"), 12, true}};
    d.grid.cells = [](const db::Table &t) {
        return QStringList{textOf(t, "PURProd"), formatShortDate(dateOf(t, "PURDate")),
                           fixedNumber(numberOf(t, "PURQty"), 10, 2),
                           fixedNumber(numberOf(t, "PURCost"), 12, 2)};
    };
    d.grid.markerColumn = 3;
    d.grid.marker = kDeletedNarrow;
    d.selectCaption = QStringLiteral("Edit Selected");
    d.newCaption = QStringLiteral("Add New Purchase");
    return d;
}

} // namespace tallyra
