#include "DeleteCustomers.h"

#include "Clock.h"
#include "Conversions.h"
#include "Records.h"
#include "Tables.h"

namespace tallyra {

QString DeleteCustomersResult::message() const
{
    QString text = QString::number(deleted) + QStringLiteral(" Customers Deleted");
    if (const QString note = safetyBackupNote(safety); !note.isEmpty())
        text += QLatin1Char('\n') + note;
    return text;
}

QDate defaultDeleteCutoff()
{
    return today().addDays(-365);
}

DeleteCustomersResult deleteInactiveCustomers(db::Engine &engine, const QDate &cutoff,
                                              const ProgressDisplay &progress, const QDateTime &now)
{
    DeleteCustomersResult result;
    engine.closeAll();
    const OpenResult customers = openTable(engine, TableId::Customers);
    const OpenResult invoices = customers ? openTable(engine, TableId::Invoices) : OpenResult();
    if (!customers || !invoices) {
        const OpenResult &failed = customers ? invoices : customers;
        result.status = failed.status;
        result.failedFile = failed.failedFile;
        engine.closeAll();
        return result;
    }
    db::Table &cust = *customers.table;
    db::Table &inv = *invoices.table;
    if (!inv.selectTag(QStringLiteral("InvC"))) {
        result.status = inv.takeError();
        result.failedFile = tableDef(TableId::Invoices).tagFailFile;
        engine.closeAll();
        return result;
    }
    const int customerNo = cust.fieldIndex("CuNo");
    const int invoiceCustomer = inv.fieldIndex("CuNo");
    const int invoiceDate = inv.fieldIndex("IDate");
    const qint64 total = std::max<qint64>(cust.recordCount(), 1);
    if (progress.start)
        progress.start(QStringLiteral("Processing Customer Orders & Deleting Customers"));

    qint64 done = 0;
    db::Status s;
    for (bool more = cust.top(); more && s.isOk(); more = cust.skip(1)) {
        if (cust.isDeleted()) {
            ++done;
            continue; // already on its way out; the pack removes it
        }
        const qint64 number = cust.integer(customerNo);
        QDate latest = cutoff.addDays(-1);
        const db::SeekResult found = inv.seek(customerNumberKey(number));
        if (found == db::SeekResult::Error) {
            s = inv.takeError();
            break;
        }
        for (bool on = found == db::SeekResult::Found; on && inv.integer(invoiceCustomer) == number;
             on = inv.skip(1)) {
            const QDate date = inv.date(invoiceDate);
            // An undated invoice is no order after any date.
            if (date.isValid() && date > latest)
                latest = date;
            if (latest > cutoff)
                break;
        }
        if (!(latest > cutoff)) {
            if (result.deleted == 0) {
                // Nothing has been written yet: the files on disk are the data as they are.
                result.safety = takeSafetyBackup(engine.directory(), QStringLiteral("delete-customers"),
                                                 {TableId::Customers}, engine.fileSystem(), now);
                if (!result.safety) {
                    s = result.safety.status;
                    break;
                }
            }
            s = cust.markDeleted();
            if (s.isOk())
                ++result.deleted;
        }
        ++done;
        if (progress.set)
            progress.set(static_cast<int>(100 * done / total));
    }
    if (s.isOk())
        s = cust.takeError();
    if (s.isOk())
        s = inv.takeError();
    const db::Status closed = engine.closeAll();
    result.status = s.isOk() ? closed : s;
    if (result.ok() && result.deleted > 0) {
        if (progress.start)
            progress.start(QStringLiteral("Packing Customer File"));
        const MaintenanceResult packed = packTable(engine, TableId::Customers, false);
        result.status = packed.status;
        result.packed = packed.ok() && packed.tablesDone.contains(tableDef(TableId::Customers).name);
        if (result.ok() && !result.packed)
            result.status = db::Status::locked(QStringLiteral("CUST5.DBF: could not be opened to pack it"));
    }
    if (progress.end)
        progress.end();
    return result;
}

} // namespace tallyra
