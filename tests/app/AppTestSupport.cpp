#include "AppTestSupport.h"

#include "NewBusiness.h"
#include "Tables.h"
#include "engine/Engine.h"

namespace apptest {

using namespace tallyra;

bool makeBusiness(const testsupport::TempDataDir &dir, bool demo)
{
    const NewBusinessResult made = createBusiness(dir.path(), demo);
    if (!made.ok())
        qWarning("%s", qPrintable(made.message));
    return made.ok();
}

bool addGroups(const QString &dir, const QList<GroupRecord> &groups)
{
    db::Engine engine(dir);
    const OpenResult opened = openGroups(engine);
    if (!opened)
        return false;
    for (const GroupRecord &g : groups) {
        if (!opened.table->appendBlank().isOk() || !writeGroup(*opened.table, g).isOk())
            return false;
    }
    return closeAllTables(engine).isOk();
}

bool addCustomers(const QString &dir, const QList<CustomerRecord> &customers)
{
    db::Engine engine(dir);
    const OpenResult opened = openCustomers(engine);
    if (!opened)
        return false;
    for (const CustomerRecord &c : customers) {
        if (!opened.table->appendBlank().isOk() || !writeCustomer(*opened.table, c).isOk())
            return false;
    }
    return closeAllTables(engine).isOk();
}

bool markDeleted(const QString &dir, const QString &table, quint32 recNo)
{
    db::Engine engine(dir);
    db::Table *t = engine.open(table);
    if (!t || !t->go(recNo) || !t->markDeleted().isOk())
        return false;
    return engine.closeAll().isOk();
}

SettingsRecord storedSettings(const QString &dir, bool *ok)
{
    db::Engine engine(dir);
    SettingsRecord record;
    const SettingsResult loaded = loadSettings(engine, record);
    if (ok)
        *ok = loaded.ok();
    return record;
}

bool storeSettings(const QString &dir, const SettingsRecord &settings)
{
    db::Engine engine(dir);
    return saveSettings(engine, settings).ok();
}

} // namespace apptest
