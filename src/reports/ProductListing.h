#pragma once

#include "engine/Engine.h"
#include "engine/Status.h"

#include <QString>

class QWidget;

namespace tallyra {

class ReportBuffer;
struct ProgressDisplay;

// The "Product Listing" report: the catalogue with unit prices and reorder levels, 64 characters
// wide, columns Product (L00), Description (L12), Unit Price (R51) and Reorder (R64). A product
// with a second description line takes a second row holding it under the description.

// Fills `buffer` from Prod5, which must be open on its tag Prod (upper-case identifier order),
// from its first record; the last row is closed with a rule. Records marked deleted are left out.
// Progress goes from "Processing Product Listing" to 100 and ends. Returns the engine's failure
// when Prod5 cannot be read to its end; the buffer then holds what was read.
db::Status buildProductListing(ReportBuffer &buffer, db::Table &products, const ProgressDisplay &progress);

// The whole command: opens Prod5, builds the listing into the program's report buffer, shows it
// in the viewer (not when the catalogue is empty), clears the buffer and closes all tables.
// False only when Prod5 cannot be opened: *openFailure (when given) gets the fatal message the
// shell shows before it ends the program. A read failure part way is told to the user here.
bool runProductListing(QWidget *parent, db::Engine &engine, const ProgressDisplay &progress,
                       QString *openFailure = nullptr);

} // namespace tallyra
