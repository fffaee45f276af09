#include "Tables.h"

#include "Conversions.h"
#include "Records.h"

#include <QDir>
#include <algorithm>

namespace tallyra {

QString openFailureMessage(const QString &fileName)
{
    return QStringLiteral("Unable to open file ") + fileName + QLatin1Char('\n') +
           QStringLiteral("Program will now terminate.");
}

QString OpenResult::message() const
{
    return ok() ? QString() : openFailureMessage(failedFile);
}

OpenResult openTable(db::Engine &engine, TableId id)
{
    const TableDef &def = tableDef(id);
    OpenResult result;
    db::Table *t = engine.table(def.name);
    if (!t) {
        const bool autoIndex = engine.autoOpenIndex();
        if (!def.indexed())
            engine.setAutoOpenIndex(false);
        t = engine.open(def.name, &result.status);
        if (!t && def.indexed() && autoIndex) {
            // Tell a damaged or missing index from a damaged table: when the table opens without
            // its index, the index is at fault (and a re-index repairs it).
            engine.setAutoOpenIndex(false);
            db::Status bare;
            if (engine.open(def.name, &bare)) {
                engine.close(def.name);
                result.failedFile = def.tagFailFile;
                result.indexFailed = true;
            }
        }
        engine.setAutoOpenIndex(autoIndex);
        if (!t) {
            if (result.failedFile.isEmpty())
                result.failedFile = def.openFailFile;
            return result;
        }
    }
    if (!def.openTag.isEmpty() && !t->selectTag(def.openTag)) {
        result.status = t->takeError();
        if (result.status.isOk())
            result.status = db::Status::notFound(
                QStringLiteral("%1: tag %2 is not open").arg(t->fileName(), def.openTag));
        result.failedFile = def.tagFailFile;
        result.indexFailed = true;
        // A table whose order cannot be set is of no use to the command: leave nothing open.
        engine.close(def.name);
        return result;
    }
    t->top();
    const db::Status moved = t->takeError();
    if (!moved.isOk()) {
        result.status = moved;
        result.failedFile = def.openTag.isEmpty() ? def.openFailFile : def.tagFailFile;
        engine.close(def.name);
        return result;
    }
    result.table = t;
    return result;
}

OpenResult openSettingsTable(db::Engine &engine)
{
    return openTable(engine, TableId::Settings);
}
OpenResult openCustomers(db::Engine &engine)
{
    return openTable(engine, TableId::Customers);
}
OpenResult openGroups(db::Engine &engine)
{
    return openTable(engine, TableId::Groups);
}
OpenResult openProducts(db::Engine &engine)
{
    return openTable(engine, TableId::Products);
}
OpenResult openPurchases(db::Engine &engine)
{
    return openTable(engine, TableId::Purchases);
}
OpenResult openInvoices(db::Engine &engine)
{
    return openTable(engine, TableId::Invoices);
}
OpenResult openItems(db::Engine &engine)
{
    return openTable(engine, TableId::Items);
}
OpenResult openPayments(db::Engine &engine)
{
    return openTable(engine, TableId::Payments);
}
OpenResult openLabels(db::Engine &engine)
{
    return openTable(engine, TableId::Labels);
}
OpenResult openZones(db::Engine &engine)
{
    return openTable(engine, TableId::Zones);
}
OpenResult openImportFormats(db::Engine &engine)
{
    return openTable(engine, TableId::ImportFormats);
}
OpenResult openImportDirs(db::Engine &engine)
{
    return openTable(engine, TableId::ImportDirs);
}

db::Table *openedTable(db::Engine &engine, TableId id)
{
    return engine.table(tableDef(id).name);
}

db::Status closeAllTables(db::Engine &engine)
{
    return engine.closeAll();
}

const QStringList &requiredDataFiles()
{
    static const QStringList files{"TLR2.dbf",   "CUST5.dbf", "GROUPS.dbf", "INV6.dbf", "ITM5.dbf",
                                   "LABELS.dbf", "PMT.dbf",   "Prod5.dbf",  "Pur5.dbf", "ImportF.dbf"};
    return files;
}

bool dataFilesPresent(const QString &dir, QString *missing)
{
    const QStringList present = QDir(dir).entryList(QDir::Files | QDir::Hidden);
    for (const QString &file : requiredDataFiles()) {
        if (!present.contains(file, Qt::CaseInsensitive)) {
            if (missing)
                *missing = file;
            return false;
        }
    }
    if (missing)
        missing->clear();
    return true;
}

qint64 nextCustomerNumber(db::Table &customers)
{
    const QString previous = customers.selectedTag();
    const int field = customers.fieldIndex("CuNo");
    qint64 next = 1;
    if (customers.selectTag(QStringLiteral("CCNO"))) {
        if (customers.bottom())
            next = customers.integer(field) + 1;
    } else {
        // Without the number tag every record is looked at: a number must never be given twice.
        customers.takeError();
        customers.selectNatural();
        for (bool more = customers.go(1); more; more = customers.skip(1))
            next = std::max(next, customers.integer(field) + 1);
    }
    if (previous.isEmpty())
        customers.selectNatural();
    else
        customers.selectTag(previous);
    customers.top();
    return next;
}

bool findGroupByNumber(db::Table &groups, qint64 number)
{
    const QString previous = groups.selectedTag();
    bool found = false;
    if (groups.selectTag(QStringLiteral("NGroup")) &&
        groups.seek(groupNumberKey(number)) == db::SeekResult::Found)
        found = loadGroup(groups, groupBuffer()).isOk();
    if (!found)
        groupBuffer() = GroupRecord{};
    if (previous.isEmpty())
        groups.selectNatural();
    else if (previous.compare(QLatin1String("NGroup"), Qt::CaseInsensitive) != 0)
        groups.selectTag(previous);
    return found;
}

} // namespace tallyra
