#include "RecordTables.h"

#include "Prompt.h"
#include "Tables.h"

namespace tallyra {

db::Table *commandTable(db::Engine &engine, TableId id, QWidget *parent)
{
    if (db::Table *t = engine.table(tableDef(id).name))
        return t;
    const OpenResult opened = openTable(engine, id);
    if (!opened) {
        Prompt::info(parent, opened.message());
        return nullptr;
    }
    return opened.table;
}

} // namespace tallyra
