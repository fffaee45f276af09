#include "RecordCommands.h"

#include "CustomerU.h"
#include "Database.h"
#include "GroupDefU.h"
#include "Maintenance.h"
#include "PickCustU.h"
#include "PickGroupU.h"
#include "PickProdU.h"
#include "ProdDefU.h"
#include "Prompt.h"
#include "Settings.h"

#include <QStringList>

namespace tallyra {

namespace {

template <typename List, typename Form>
RecordWindows windowsOf(db::Engine &engine)
{
    RecordWindows w;
    w.pick = [&engine](QWidget *parent, qint64 selection, bool allowNew) {
        List list(engine, parent);
        return list.pick(selection, allowNew);
    };
    w.edit = [&engine](QWidget *parent, qint64 selection) {
        Form form(engine, parent);
        return form.run(selection);
    };
    return w;
}

// Packs the tables after a command that deleted records. A table that cannot be packed keeps its
// deleted records (and the flag stays set, so the program packs again when it closes).
void packAfter(QWidget *parent, db::Engine &engine, std::initializer_list<TableId> tables, bool compactMemo)
{
    if (!packNeeded())
        return;
    QStringList failures;
    for (TableId id : tables) {
        const MaintenanceResult r = packTable(engine, id, compactMemo);
        if (!r.ok())
            failures << r.status.toString();
    }
    closeAllTables(engine);
    if (failures.isEmpty())
        setPackNeeded(false);
    else
        Prompt::info(parent, QStringLiteral("Deleted records could not be removed yet; they will be when the "
                                            "program closes.\n")
                                 + failures.join(QLatin1Char('\n')));
}

} // namespace

RecordWindows customerWindows(db::Engine &engine)
{
    return windowsOf<TPickCust, TCustomer>(engine);
}

RecordWindows groupWindows(db::Engine &engine)
{
    return windowsOf<TPickGroup, TGroupDef>(engine);
}

RecordWindows productWindows(db::Engine &engine)
{
    return windowsOf<TPickProd, TProdDef>(engine);
}

namespace {

// The windows of a kind on the engine the program has when they are called.
template <typename List, typename Form>
RecordWindows programWindowsOf()
{
    RecordWindows w;
    w.pick = [](QWidget *parent, qint64 selection, bool allowNew) {
        List list(database(), parent);
        return list.pick(selection, allowNew);
    };
    w.edit = [](QWidget *parent, qint64 selection) {
        Form form(database(), parent);
        return form.run(selection);
    };
    return w;
}

bool failed(const OpenResult &open, db::Engine &engine, OpenResult *failure)
{
    if (open)
        return false;
    closeAllTables(engine);
    if (failure)
        *failure = open;
    return true;
}

} // namespace

void registerRecordWindows()
{
    setRecordWindows(RecordKind::Customer, programWindowsOf<TPickCust, TCustomer>());
    setRecordWindows(RecordKind::Group, programWindowsOf<TPickGroup, TGroupDef>());
    setRecordWindows(RecordKind::Product, programWindowsOf<TPickProd, TProdDef>());
}

bool runCustomersCommand(QWidget *parent, db::Engine &engine, OpenResult *failure)
{
    setPackNeeded(false);
    const OpenResult customers = openCustomers(engine);
    if (failed(customers, engine, failure))
        return false;
    if (failed(openGroups(engine), engine, failure))
        return false;
    customers.table->selectTag(settings().ByCust ? QStringLiteral("CName") : QStringLiteral("cEMail"));
    customers.table->takeError();
    const qint64 first = firstRecordNumber(*customers.table);
    browseAndEdit(*customers.table, RecordKind::Customer, customerWindows(engine), first, parent);
    closeAllTables(engine);
    packAfter(parent, engine, {TableId::Customers}, false);
    return true;
}

bool runGroupsCommand(QWidget *parent, db::Engine &engine, OpenResult *failure)
{
    const OpenResult groups = openGroups(engine);
    if (failed(groups, engine, failure))
        return false;
    if (failed(openCustomers(engine), engine, failure))
        return false;
    groups.table->selectTag(QStringLiteral("CGroup"));
    groups.table->takeError();
    const qint64 first = firstRecordNumber(*groups.table);
    browseAndEdit(*groups.table, RecordKind::Group, groupWindows(engine), first, parent);
    closeAllTables(engine);
    packAfter(parent, engine, {TableId::Groups}, false);
    return true;
}

bool runProductsCommand(QWidget *parent, db::Engine &engine, OpenResult *failure)
{
    const OpenResult products = openProducts(engine);
    if (failed(products, engine, failure))
        return false;
    const qint64 first = firstRecordNumber(*products.table);
    browseAndEdit(*products.table, RecordKind::Product, productWindows(engine), first, parent);
    closeAllTables(engine);
    packAfter(parent, engine, {TableId::Products, TableId::Purchases}, true);
    return true;
}

} // namespace tallyra
