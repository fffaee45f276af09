#include "StartupSequence.h"

#include "BackupSet.h"
#include "BusinessPlace.h"
#include "Database.h"
#include "Maintenance.h"
#include "Settings.h"
#include "Tables.h"

#include <QDir>

namespace tallyra {

namespace {

// The tables in the order the missing-only re-index works on them: the first one not done is
// the one that failed when the engine's reason names none.
const TableId kRebuildOrder[] = {TableId::Customers, TableId::Zones,     TableId::Groups,
                                 TableId::Products,  TableId::Purchases, TableId::Invoices,
                                 TableId::Items,     TableId::Payments,  TableId::Labels};

StartupOutcome failed(const QString &message)
{
    if (databaseOpen())
        closeDatabase();
    StartupOutcome outcome;
    outcome.state = StartupOutcome::State::Failed;
    outcome.message = message;
    return outcome;
}

// The start-up rule's words for the table that failed (the one the engine's reason names, else
// the first not rebuilt), and the engine's reason on a third line.
QString rebuildFailureMessage(const MaintenanceResult &indexed)
{
    const QString reason = indexed.status.toString();
    QString file;
    for (TableId id : kRebuildOrder) {
        if (reason.contains(tableDef(id).fileName, Qt::CaseInsensitive)) {
            file = tableDef(id).fileName;
            break;
        }
    }
    for (TableId id : kRebuildOrder) {
        if (file.isEmpty() && !indexed.tablesDone.contains(tableDef(id).name))
            file = tableDef(id).fileName;
    }
    return openFailureMessage(file) + QLatin1Char('\n') + reason;
}

} // namespace

QString missingDataFilesMessage()
{
    return QStringLiteral("Database files not found in startup directory\r\nProgram must be started from the "
                          "directory containing the data files.");
}

QString businessRefusal(const QString &dir)
{
    if (dataFilesPresent(dir))
        return {};
    return QStringLiteral("No business's data files are in %1.").arg(QDir::toNativeSeparators(dir));
}

StartupOutcome startBusiness(const QString &startDir, bool given)
{
    // A restore cut short there may be what makes the data files whole again.
    const bool restored = finishInterruptedRestore(startDir);
    const QString business = businessToOpen(startDir, given);
    if (business.isEmpty()) {
        StartupOutcome outcome;
        outcome.message = missingDataFilesMessage();
        outcome.restoreFinished = restored;
        return outcome;
    }
    StartupOutcome outcome = openBusiness(business);
    outcome.restoreFinished = outcome.restoreFinished || restored;
    return outcome;
}

StartupOutcome openBusiness(const QString &dir)
{
    if (const QString refusal = businessRefusal(dir); !refusal.isEmpty()) {
        StartupOutcome outcome;
        outcome.message = refusal;
        return outcome;
    }
    const QString business = QDir(dir).absolutePath();
    const bool restored = finishInterruptedRestore(business);
    openDatabase(business);
    const SettingsResult loaded = loadSettings(database());
    closeAllTables(database());
    if (!loaded)
        return failed(loaded.message());
    const MaintenanceResult indexed = rebuildIndexes(database(), ReindexMode::MissingOnly);
    if (!indexed)
        return failed(rebuildFailureMessage(indexed));

    setPackNeeded(false);
    rememberBusiness(business);
    StartupOutcome outcome;
    outcome.state = StartupOutcome::State::Opened;
    outcome.directory = business;
    outcome.indexesRebuilt = indexed.tablesDone;
    outcome.restoreFinished = restored;
    return outcome;
}

} // namespace tallyra
