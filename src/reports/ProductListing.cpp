#include "ProductListing.h"

#include "Maintenance.h"
#include "Prompt.h"
#include "Records.h"
#include "ReportBuffer.h"
#include "ReportU.h"
#include "Tables.h"

namespace tallyra {

namespace {

constexpr int kWidth = 64;
constexpr int kCells = 5; // four columns and the flags cell

void startListing(ReportBuffer &b)
{
    b.reportStart(kWidth, kCells);
    b.titles() << QStringLiteral("Product Listing");
    const QStringList codes = {QStringLiteral("L00"), QStringLiteral("L12"), QStringLiteral("R51"),
                               QStringLiteral("R64")};
    const QStringList headings = {QStringLiteral("Product"), QStringLiteral("Description"),
                                  QStringLiteral("Unit Price"), QStringLiteral("Reorder")};
    b.setHeadingRowCount(2);
    for (int c = 0; c < codes.size(); ++c) {
        b.setColCode(c, codes[c]);
        b.setHeading(c, 1, codes[c] + headings[c]);
    }
    b.setHeading(b.flagsCell(), 0, QStringLiteral("U"));
    b.setHeading(b.flagsCell(), 1, QStringLiteral("U"));
}

} // namespace

db::Status buildProductListing(ReportBuffer &buffer, db::Table &products, const ProgressDisplay &progress)
{
    startListing(buffer);
    if (progress.start)
        progress.start(QStringLiteral("Processing Product Listing"));
    const qint64 count = qMax<qint64>(1, products.recordCount());
    qint64 done = 0;
    ProductRecord product;
    db::Status status;
    for (bool more = products.top(); more; more = products.skip(1)) {
        if (!products.isDeleted()) {
            status = loadProduct(products, product);
            if (!status)
                break;
            buffer.pageCheck(buffer.pageLines() + 1, true);
            buffer.newRow();
            buffer.put(0, product.PrID);
            buffer.put(1, product.PDesc);
            buffer.put(2, QString::asprintf("%12.2f", product.UPrice));
            buffer.put(3, QString::asprintf("%12.2f", product.REORDER));
            const QString second = product.IComm.trimmed();
            if (!second.isEmpty()) {
                buffer.newRow();
                buffer.put(1, second);
            }
        }
        // The truncated percentage of records read, counting the one just read.
        if (progress.set)
            progress.set(int(qMin<qint64>(100, (done * 100 + 100) / count)));
        ++done;
    }
    if (status)
        status = products.takeError();
    if (progress.end)
        progress.end();
    if (buffer.curRow() >= 0)
        buffer.setFlags(buffer.curRow(), QStringLiteral("U"));
    return status;
}

bool runProductListing(QWidget *parent, db::Engine &engine, const ProgressDisplay &progress,
                       QString *openFailure)
{
    const OpenResult prod = openProducts(engine);
    if (!prod) {
        if (openFailure)
            *openFailure = prod.message();
        closeAllTables(engine);
        return false;
    }
    ReportBuffer &buffer = reportBuffer();
    const db::Status status = buildProductListing(buffer, *prod.table, progress);
    closeAllTables(engine);
    if (!status)
        Prompt::info(parent, QStringLiteral("Unable to read the product list:\n") + status.toString());
    else
        TReportF::showReport(parent, buffer);
    buffer.reportClear();
    return true;
}

} // namespace tallyra
