#include "ReportCommands.h"

#include "Database.h"
#include "MailDocumentSender.h"
#include "Maintenance.h"
#include "ProductListing.h"
#include "ReportBuffer.h"
#include "Tables.h"

namespace tallyra {

std::vector<ReportCommand> reportCommands()
{
    std::vector<ReportCommand> commands;
    // --email runs send through the program's send routine; a script is never asked anything.
    addDocumentCommands(commands, [] {
        return std::unique_ptr<DocumentSender>(new MailDocumentSender(database(), nullptr, false));
    });
    addListingCommands(commands);
    addLabelCommands(commands);
    addInventoryCommands(commands);
    addSalesReportCommands(commands);
    return commands;
}

void addListingCommands(std::vector<ReportCommand> &commands)
{
    commands.push_back({QStringLiteral("product-listing"),
                        QStringLiteral("the product catalogue with unit prices and reorder levels"),
                        [](const ReportOptions &, ReportContext &context) {
                            const OpenResult prod = openProducts(context.engine);
                            if (!prod)
                                return ReportOutcome::failed(prod.message());
                            const db::Status status =
                                buildProductListing(context.buffer, *prod.table, context.progress);
                            if (!status)
                                return ReportOutcome::failed(
                                    QStringLiteral("Unable to read the product list:\n") + status.toString());
                            if (context.buffer.curRow() < 0)
                                return ReportOutcome::nothing(QStringLiteral("No Products."));
                            return ReportOutcome::done();
                        }});
}

} // namespace tallyra
