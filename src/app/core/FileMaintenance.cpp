#include "FileMaintenance.h"

#include "CommandPolicy.h"
#include "SafetyBackup.h"
#include "Tables.h"

namespace tallyra {

MaintenanceOutcome reindexBusiness(db::Engine &engine, const ProgressDisplay &progress)
{
    MaintenanceOutcome outcome;
    const MaintenanceResult result = rebuildIndexes(engine, ReindexMode::Full, progress);
    if (result)
        outcome.status = QStringLiteral("Indexes rebuilt");
    else if (result.status.isLocked())
        outcome.message = result.status.toString();
    else
        outcome.fatal = result.status.toString();
    return outcome;
}

MaintenanceOutcome packBusiness(db::Engine &engine, const ProgressDisplay &progress)
{
    MaintenanceOutcome outcome;
    const MaintenanceResult result = packDataFiles(engine, progress);
    if (!result) {
        outcome.message = packFailureMessage(result);
        return outcome;
    }
    // The others were packed; these keep their deleted records until a later pack.
    if (!result.tablesSkipped.isEmpty()) {
        QStringList files;
        for (const QString &name : result.tablesSkipped) {
            const TableDef *def = findTableDef(name);
            files << (def ? def->fileName : name);
        }
        outcome.message =
            QStringLiteral("These data files were not packed (in use by another program, or damaged): ") +
            files.join(QStringLiteral(", "));
        return outcome;
    }
    outcome.status = QStringLiteral("Data files packed");
    return outcome;
}

MaintenanceOutcome eraseBusiness(db::Engine &engine, const ProgressDisplay &progress)
{
    MaintenanceOutcome outcome;
    closeAllTables(engine);
    const SafetyBackupResult safety =
        takeSafetyBackup(engine.directory(), QStringLiteral("erase"),
                         {TableId::Customers, TableId::Groups, TableId::Invoices, TableId::Items,
                          TableId::Payments, TableId::Products, TableId::Purchases},
                         engine.fileSystem());
    if (!safety) {
        outcome.message = QStringLiteral("Nothing was erased: the data could not be copied aside first.\n") +
                          safety.status.toString();
        return outcome;
    }
    const EraseResult result = eraseDataFiles(engine, progress);
    if (result) {
        outcome.status = QStringLiteral("Data files erased");
        outcome.message = QStringLiteral("The data files were erased.\n") + safetyBackupNote(safety);
    } else if (!result.failedFile.isEmpty() && result.status.isLocked()) {
        // Another copy of the program has a table open: nothing was erased, and this copy goes on.
        outcome.message = QStringLiteral("Nothing was erased.\n") + result.status.toString();
    } else if (!result.failedFile.isEmpty()) {
        outcome.warning = result.status.toString();
        outcome.fatal = openFailureMessage(result.failedFile);
    } else {
        outcome.message = QStringLiteral("The data files could not be erased:\n") + result.status.toString();
    }
    return outcome;
}

} // namespace tallyra
