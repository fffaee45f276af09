#pragma once

// The sample business of tallyra-init --demo. Used by createBusiness() only.

#include "Settings.h"
#include "engine/Engine.h"

namespace tallyra::demo {

// The letterhead and charge-line settings of the sample business on top of `base`.
SettingsRecord settings(SettingsRecord base);
// Appends the sample groups, customers, products, purchases, invoices, items and payments to the
// empty tables of the engine's directory (opened without index). Deterministic for one today().
db::Status writeRecords(db::Engine &engine, const SettingsRecord &settings);

} // namespace tallyra::demo
