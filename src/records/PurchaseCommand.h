#pragma once

// How the purchase window joins the program: the main window's "Inventory Purchases" command
// reaches the purchase pick list and TPurDef through the browse-and-edit registry.

namespace tallyra {

// Registers RecordKind::Purchase: TPickPur and TPurDef on the program's engine. Called once at
// start-up.
void registerPurchaseWindows();

} // namespace tallyra
