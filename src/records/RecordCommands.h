#pragma once

// How the customer, group and product windows join the program: the main window's
// "Customers", "Customer Groups" and "Products && Services" commands, the invoice form, the
// purchase form and the reports reach them through the browse-and-edit registry.

namespace tallyra {

// Registers, on the program's engine (database(), looked up at each call):
//   RecordKind::Customer  TPickCust ("Select Customer") and TCustomer,
//   RecordKind::Group     TPickGroup and TGroupDef,
//   RecordKind::Product   TPickProd and TProdDef.
// Called once at start-up.
void registerRecordWindows();

} // namespace tallyra
