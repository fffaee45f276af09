#pragma once

// The main window's "Customers", "Customer Groups" and "Products && Services" commands, and the
// pick lists and edit windows of customers, groups and products as the browse-and-edit loop
// reaches them.

#include "BrowseEdit.h"
#include "Tables.h"

class QWidget;

namespace tallyra {

// A kind's pick list and edit window over the tables open in `engine` (each opens what it needs
// when no command has). The engine must outlive the functions.
RecordWindows customerWindows(db::Engine &engine);  // TPickCust, TCustomer
RecordWindows groupWindows(db::Engine &engine);     // TPickGroup, TGroupDef
RecordWindows productWindows(db::Engine &engine);   // TPickProd, TProdDef

// Registers the three for RecordKind::Customer, Group and Product on the program's engine
// (database(), looked up at each call), so that every caller of a pick step (the invoice form,
// the purchase form, reports) reaches them. The shell calls it once at start-up.
void registerRecordWindows();

// "Customers": clears the pack-needed flag; opens CUST5 and GROUPS; orders CUST5 as its pick
// list shows it (by name with the ByCust preference, else by e-mail address); runs the
// browse-and-edit loop from the first customer; closes all tables; when a customer was deleted,
// packs CUST5 (memo kept) and clears the flag.
// Returns false when a table could not be opened: *failure (when given) holds the failed open,
// whose message() the caller shows before the program ends.
bool runCustomersCommand(QWidget *parent, db::Engine &engine, OpenResult *failure = nullptr);
// "Customer Groups": opens GROUPS and CUST5; orders GROUPS by name; loop from the first group;
// closes all; when flagged, packs GROUPS and clears the flag.
bool runGroupsCommand(QWidget *parent, db::Engine &engine, OpenResult *failure = nullptr);
// "Products && Services": opens Prod5; loop from the first product; closes all; when flagged,
// packs Prod5 and Pur5 and clears the flag.
bool runProductsCommand(QWidget *parent, db::Engine &engine, OpenResult *failure = nullptr);

} // namespace tallyra
