#pragma once

// What each grid pick list shows: caption, columns with their widths in letter widths, the
// search box's label and normalisation, the deleted marker and the buttons' captions. Plain
// values, no widgets: the list windows build themselves from these, and tests check the rows a
// list shows without a display.

#include "PickGrid.h"
#include "Schema.h"

#include <QChar>
#include <QList>
#include <QString>

namespace tallyra {

struct PickColumn
{
    QString header;
    int letters = 0;         // width in widths of the list's letter
    bool alignRight = false; // numbers
    bool date = false;       // a short date: never narrower than the widest date of the locale
};

struct PickListDef
{
    QString objectName; // of the window: "pickCustomerDialog"
    QString caption;    // empty: none given
    QString tag;        // tag the list selects when shown; empty keeps the table's
    TableId table = TableId::Customers;
    QList<PickColumn> columns; // the visible ones; the hidden "RecNo" column follows them
    QChar letter;              // the letter whose width measures the columns
    int gridLetters = 0;       // the grid's visible width in letters
    int windowMargin = 10;     // pixels kept right of the scroll bar
    QString searchLabel = QStringLiteral("Seek:");
    QString selectCaption = QStringLiteral("Select");
    QString newCaption = QStringLiteral("New");
    QString cancelCaption = QStringLiteral("Cancel");
    PickGrid::Layout grid;
};

inline constexpr int kRecNoLetters = 10;
inline const char kRecNoHeader[] = "RecNo";

// "Select Customer": by name (tag CName: Last, First, Note) or by e-mail address (tag cEMail:
// EMail, Last, First); "< DELETED >" in the third column.
PickListDef customerPickList(bool byName);
// Products in identifier order: Product ID, Description, Price ("%8.2f"); "<DELETED>" as price.
PickListDef productPickList();
// "Select Invoice" in number order: Invoice (right-aligned in 6), Date, Credit Card / Note;
// "< DELETED >" in the third column; the search pads the typed number to six characters.
PickListDef invoicePickList();
// Purchases in product and date order: Product ID, Date, Quantity ("%10.2f"), Total Cost
// ("%12.2f"); "<DELETED>" as cost.
PickListDef purchasePickList();

// A number in a fixed "%<width>.<decimals>f" format with the locale's decimal separator.
QString fixedNumber(double value, int width, int decimals);

} // namespace tallyra
