#pragma once

// The named commands of tallyra-report. Each subsystem adds its own in a function of its own,
// called by reportCommands() in the order --list shows them.

#include "ReportCli.h"

namespace tallyra {

std::vector<ReportCommand> reportCommands();

// "product-listing".
void addListingCommands(std::vector<ReportCommand> &commands);
// "labels".
void addLabelCommands(std::vector<ReportCommand> &commands);

// "stock-on-hand", "inventory", "cogs", "purchasing".
void addInventoryCommands(std::vector<ReportCommand> &commands);

} // namespace tallyra
