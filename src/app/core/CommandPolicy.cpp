#include "CommandPolicy.h"

#include "Database.h"
#include "Tables.h"

namespace tallyra {

RecordCommandPolicy recordCommandPolicy(TableId main, bool customersByName)
{
    RecordCommandPolicy p;
    p.main = main;
    switch (main) {
    case TableId::Invoices:
        p.tables = {TableId::Customers, TableId::Groups,   TableId::Invoices,
                    TableId::Items,     TableId::Payments, TableId::Products};
        p.order = QStringLiteral("Inv");
        p.preselectLast = true;
        p.packAllWhenFlagged = true;
        break;
    case TableId::Customers:
        p.tables = {TableId::Customers, TableId::Groups};
        p.order = customersByName ? QStringLiteral("CName") : QStringLiteral("cComp");
        p.clearFlagBefore = true;
        p.packWhenFlagged = {TableId::Customers};
        p.clearFlagAfter = true;
        break;
    case TableId::Products:
        p.tables = {TableId::Products};
        // Deleting a product deletes its purchases.
        p.packWhenFlagged = {TableId::Products, TableId::Purchases};
        p.clearFlagAfter = true;
        break;
    case TableId::Purchases:
        p.tables = {TableId::Purchases, TableId::Products};
        p.packWhenFlagged = {TableId::Purchases};
        p.clearFlagAfter = true;
        break;
    case TableId::Groups:
        p.tables = {TableId::Groups, TableId::Customers};
        p.order = QStringLiteral("CGroup");
        p.packWhenFlagged = {TableId::Groups};
        p.clearFlagAfter = true;
        break;
    default:
        // Label stock and anything else: the table alone; deleted label stock waits for a pack.
        p.tables = {main};
        break;
    }
    return p;
}

CommandTables openCommandTables(db::Engine &engine, const QList<TableId> &ids, const RebuildQuestion &ask)
{
    CommandTables result;
    QList<TableId> repaired;
    for (qsizetype i = 0; i < ids.size(); ++i) {
        const TableId id = ids[i];
        const OpenResult opened = openTable(engine, id);
        if (opened)
            continue;
        result.warnings << opened.detail();
        if (opened.indexDamaged() && !repaired.contains(id) && ask) {
            const QString question =
                QStringLiteral("The index of %1 is damaged:\n%2\n\nRebuild it from the table now?")
                    .arg(tableDef(id).fileName, opened.detail());
            if (ask(question)) {
                repaired << id;
                const MaintenanceResult rebuilt = rebuildIndexGroup(engine, id);
                if (rebuilt) {
                    result.rebuilt << tableDef(id).name;
                    // The rebuild closed every table: open the command's tables again.
                    i = -1;
                    continue;
                }
                result.warnings << rebuilt.status.toString();
            }
        }
        result.fatal = opened.message();
        return result;
    }
    return result;
}

QString closeCommandTables(db::Engine &engine)
{
    const db::Status closed = closeAllTables(engine);
    if (closed.isOk())
        return {};
    return QStringLiteral("The data files could not be written:\n") + closed.toString();
}

QString packFailureMessage(const MaintenanceResult &packed)
{
    if (packed)
        return {};
    return QStringLiteral("The data files could not be packed:\n") + packed.status.toString();
}

QString packWhenFlagged(db::Engine &engine, const ProgressDisplay &progress)
{
    if (!packNeeded())
        return {};
    return packFailureMessage(packDataFiles(engine, progress));
}

RecordCommandRun::RecordCommandRun(db::Engine &engine, RecordCommandPolicy policy)
    : m_engine(engine)
    , m_policy(std::move(policy))
{}

bool RecordCommandRun::begin(const RebuildQuestion &ask)
{
    m_main = nullptr;
    m_fatal.clear();
    if (m_policy.clearFlagBefore)
        setPackNeeded(false);
    const CommandTables opened = openCommandTables(m_engine, m_policy.tables, ask);
    m_rebuilt = opened.rebuilt;
    m_warnings = opened.warnings;
    if (!opened) {
        m_fatal = opened.fatal;
        return false;
    }
    const TableDef &main = tableDef(m_policy.main);
    db::Table *table = m_engine.table(main.name);
    if (!table) {
        m_fatal = openFailureMessage(main.openFailFile);
        return false;
    }
    if (!m_policy.order.isEmpty() && !table->selectTag(m_policy.order)) {
        m_warnings << table->takeError().toString();
        m_fatal = openFailureMessage(main.tagFailFile);
        return false;
    }
    m_main = table;
    return true;
}

QStringList RecordCommandRun::finish(const ProgressDisplay &progress)
{
    QStringList messages;
    m_main = nullptr;
    if (const QString closed = closeCommandTables(m_engine); !closed.isEmpty())
        messages << closed;
    if (packNeeded()) {
        MaintenanceResult packed;
        if (m_policy.packAllWhenFlagged) {
            packed = packDataFiles(m_engine, progress);
        } else {
            for (TableId id : m_policy.packWhenFlagged) {
                packed = packTable(m_engine, id, false);
                if (!packed)
                    break;
            }
        }
        if (const QString failure = packFailureMessage(packed); !failure.isEmpty())
            messages << failure;
    }
    if (m_policy.clearFlagAfter)
        setPackNeeded(false);
    return messages;
}

} // namespace tallyra
