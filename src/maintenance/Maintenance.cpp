#include "Maintenance.h"

#include "Database.h"
#include "Tables.h"

#include <vector>

namespace tallyra {

namespace {

// Exclusive access while a maintenance run works; shared access, automatic index opening and
// index safety on again afterwards, however the run ends. Every table is closed on the way out.
class ExclusiveRun
{
public:
    explicit ExclusiveRun(db::Engine &engine)
        : m_engine(engine)
    {
        m_engine.closeAll();
        m_engine.setAccess(db::Access::Exclusive);
    }
    ~ExclusiveRun()
    {
        m_engine.closeAll();
        m_engine.setAutoOpenIndex(true);
        m_engine.setIndexSafety(true);
        m_engine.setAccess(db::Access::Shared);
    }
    ExclusiveRun(const ExclusiveRun &) = delete;
    ExclusiveRun &operator=(const ExclusiveRun &) = delete;

private:
    db::Engine &m_engine;
};

void start(const ProgressDisplay &p, const QString &message)
{
    if (p.start)
        p.start(message);
}

void set(const ProgressDisplay &p, int percent)
{
    if (p.set)
        p.set(percent);
}

void end(const ProgressDisplay &p)
{
    if (p.end)
        p.end();
}

bool anyMissing(const db::Engine &engine, const TableDef &def)
{
    for (const QString &file : def.indexFiles()) {
        if (engine.findFile(file).isEmpty())
            return true;
    }
    return false;
}

// The engine's own checks on opening a table with its group: every tag file there, its header
// whole and closed cleanly, its expression compiling to its key size; and the schema's tags, no
// fewer. Cheap: only the headers are read. REQUIRES: an exclusive run.
bool groupOpens(db::Engine &engine, const TableDef &def)
{
    if (anyMissing(engine, def))
        return false;
    engine.setAutoOpenIndex(true);
    db::Status s;
    db::Table *t = engine.open(def.name, &s);
    bool sound = t != nullptr;
    if (t) {
        const QStringList tags = t->tagNames();
        sound = tags.size() == def.tags.size();
        for (qsizetype i = 0; sound && i < tags.size(); ++i)
            sound = tags[i].compare(def.tags[i].name, Qt::CaseInsensitive) == 0;
        if (sound && !def.openTag.isEmpty())
            sound = t->selectTag(def.openTag);
    }
    engine.closeAll();
    engine.setAutoOpenIndex(false);
    return sound;
}

// Opens the table without its index (a damaged tag file is never read, only replaced), creates
// its group with every tag, overwriting, and closes all tables. REQUIRES: an exclusive run with
// automatic index opening and index safety off.
db::Status buildGroup(db::Engine &engine, const TableDef &def)
{
    db::Status s;
    db::Table *t = engine.open(def.name, &s);
    if (t)
        s = t->createIndexGroup(def.tags, !engine.indexSafety());
    const db::Status closed = engine.closeAll();
    return s.isOk() ? closed : s;
}

bool neverPacked(TableId id)
{
    return id == TableId::Settings || id == TableId::ImportFormats || id == TableId::Zones ||
           id == TableId::ImportDirs;
}

// True when some record of the table is marked deleted; *status receives a read failure.
bool hasDeletedRecords(db::Table &t, db::Status *status)
{
    t.selectNatural();
    for (bool more = t.go(1); more; more = t.skip(1)) {
        if (t.isDeleted())
            return true;
    }
    *status = t.takeError();
    return false;
}

// The pack of one table under an exclusive run already begun.
db::Status packOne(db::Engine &engine, TableId id, bool compactMemo, MaintenanceResult *result)
{
    const TableDef &def = tableDef(id);
    engine.setAutoOpenIndex(true);
    db::Status s;
    db::Table *t = engine.open(def.name, &s);
    if (!t) {
        result->tablesSkipped << def.name;
        return db::Status::ok();
    }
    const QString selected = t->selectedTag();
    db::Status read;
    if (hasDeletedRecords(*t, &read))
        s = t->pack();
    else if (!read.isOk())
        s = read;
    else if (compactMemo)
        s = t->compactMemo();
    if (s.isOk() && !selected.isEmpty())
        t->selectTag(selected);
    const db::Status closed = engine.close(def.name);
    if (s.isOk())
        s = closed;
    if (s.isOk())
        result->tablesDone << def.name;
    return s;
}

} // namespace

QString eraseWarning()
{
    return QStringLiteral("WARNING: You are about to erase all of your existing data.");
}

MaintenanceResult rebuildIndexes(db::Engine &engine, ReindexMode mode, const ProgressDisplay &progress)
{
    struct Step
    {
        TableId id;
        int after; // progress after the group, -1 for none
    };
    static const Step kSteps[] = {{TableId::Customers, -1}, {TableId::Zones, 25},     {TableId::Groups, 30},
                                  {TableId::Products, 35},  {TableId::Purchases, 40}, {TableId::Invoices, 60},
                                  {TableId::Items, 80},     {TableId::Payments, 100}, {TableId::Labels, 100}};
    const bool full = mode == ReindexMode::Full;
    bool shown = false; // progress started
    MaintenanceResult result;
    {
        ExclusiveRun run(engine);
        engine.setAutoOpenIndex(false);
        engine.setIndexSafety(false);
        if (full) {
            start(progress, QStringLiteral("Rebuilding Indexes"));
            set(progress, 5);
            shown = true;
        }
        for (const Step &step : kSteps) {
            const TableDef &def = tableDef(step.id);
            bool build = full;
            if (mode == ReindexMode::MissingOnly)
                build = anyMissing(engine, def);
            else if (mode == ReindexMode::Unsound)
                build = engine.findFile(def.fileName).isEmpty() ? false : !groupOpens(engine, def);
            if (build && !shown && mode == ReindexMode::Unsound) {
                start(progress, QStringLiteral("Rebuilding Indexes"));
                set(progress, 5);
                shown = true;
            }
            if (build) {
                const db::Status s = buildGroup(engine, def);
                if (!s.isOk()) {
                    result.status = s;
                    break;
                }
                result.tablesDone << def.name;
            }
            if (shown && step.after >= 0)
                set(progress, step.after);
        }
    }
    if (shown)
        end(progress);
    return result;
}

MaintenanceResult rebuildIndexGroup(db::Engine &engine, TableId id)
{
    MaintenanceResult result;
    const TableDef &def = tableDef(id);
    if (!def.indexed())
        return result;
    ExclusiveRun run(engine);
    engine.setAutoOpenIndex(false);
    engine.setIndexSafety(false);
    result.status = buildGroup(engine, def);
    if (result.ok())
        result.tablesDone << def.name;
    return result;
}

MaintenanceResult packDataFiles(db::Engine &engine, const ProgressDisplay &progress)
{
    struct Step
    {
        int before;
        TableId id;
        bool compactMemo;
    };
    static const Step kSteps[] = {{10, TableId::Customers, true},  {30, TableId::Groups, false},
                                  {35, TableId::Invoices, true},   {50, TableId::Items, false},
                                  {70, TableId::Labels, false},    {75, TableId::Payments, false},
                                  {85, TableId::Purchases, false}, {100, TableId::Products, true}};
    MaintenanceResult result;
    {
        ExclusiveRun run(engine);
        start(progress, QStringLiteral("Packing Data Files"));
        for (const Step &step : kSteps) {
            set(progress, step.before);
            const db::Status s = packOne(engine, step.id, step.compactMemo, &result);
            // A failed pack leaves that table as it was; the others are still packed.
            if (!s.isOk() && result.status.isOk())
                result.status = s;
        }
        end(progress);
    }
    // A table passed over still holds its deleted records: the next pack tries again.
    if (result.ok() && result.tablesSkipped.isEmpty())
        setPackNeeded(false);
    return result;
}

MaintenanceResult packTable(db::Engine &engine, TableId id, bool compactMemo)
{
    MaintenanceResult result;
    if (neverPacked(id))
        return result;
    ExclusiveRun run(engine);
    result.status = packOne(engine, id, compactMemo, &result);
    return result;
}

EraseResult eraseDataFiles(db::Engine &engine, const ProgressDisplay &progress)
{
    struct Step
    {
        TableId id;
        int afterEmpty; // set after emptying, before compaction; -1 for none
        bool compactMemo;
        int after;
    };
    static const Step kSteps[] = {{TableId::Customers, 15, true, 30},  {TableId::Groups, -1, false, 40},
                                  {TableId::Invoices, 50, true, 60},   {TableId::Items, -1, false, 70},
                                  {TableId::Payments, -1, false, 85},  {TableId::Products, 90, true, 95},
                                  {TableId::Purchases, -1, false, 100}};
    EraseResult result;
    {
        ExclusiveRun run(engine);
        start(progress, QStringLiteral("Erasing Data Files"));
        set(progress, 5);
        // Every table is opened before the first is emptied, so a table that cannot be had (in
        // use elsewhere, damaged) stops the erase with nothing erased rather than half of it.
        std::vector<db::Table *> tables;
        for (const Step &step : kSteps) {
            const OpenResult open = openTable(engine, step.id);
            if (!open) {
                result.status = open.status;
                result.failedFile = open.failedFile;
                break;
            }
            tables.push_back(open.table);
        }
        for (std::size_t i = 0; result.ok() && i < std::size(kSteps); ++i) {
            const Step &step = kSteps[i];
            db::Status s = tables[i]->zap();
            if (step.afterEmpty >= 0)
                set(progress, step.afterEmpty);
            if (s.isOk() && step.compactMemo)
                s = tables[i]->compactMemo();
            if (s.isOk())
                s = engine.close(tableDef(step.id).name);
            if (!s.isOk()) {
                result.status = s;
                break;
            }
            result.tablesDone << tableDef(step.id).name;
            set(progress, step.after);
        }
    }
    end(progress);
    return result;
}

} // namespace tallyra
