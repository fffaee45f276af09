#pragma once

// The named commands of tallyra-report. Each subsystem adds its own in a function of its own,
// called by reportCommands() in the order --list shows them.

#include "ReportCli.h"

#include <memory>

namespace tallyra {

std::vector<ReportCommand> reportCommands();

// "product-listing".
void addListingCommands(std::vector<ReportCommand> &commands);
// "sales-summary", "product-summary", "tax-summary", "sales-by-dept", "receivables",
// "income-summary", "product-buyers" and "customer-profile".
void addSalesReportCommands(std::vector<ReportCommand> &commands);
// "labels".
void addLabelCommands(std::vector<ReportCommand> &commands);

// "stock-on-hand", "inventory", "cogs", "purchasing".
void addInventoryCommands(std::vector<ReportCommand> &commands);

class DocumentSender;
// Makes the sender of --email runs; null when e-mail cannot be sent.
using DocumentSenderFactory = std::function<std::unique_ptr<DocumentSender>()>;

// "invoices", "bills", "statements", "packing-lists": by date span (--from/--to, default as the
// date span dialog proposes; statements take the "with Balance Due" run) or by number
// (--invoices, or --customers for statements). With --email each document is handed to a sender
// from `senders`.
void addDocumentCommands(std::vector<ReportCommand> &commands, const DocumentSenderFactory &senders = {});

} // namespace tallyra
