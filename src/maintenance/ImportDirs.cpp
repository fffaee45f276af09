#include "ImportDirs.h"

#include "Tables.h"

namespace tallyra {

namespace {

ImportDirsResult withTable(db::Engine &engine,
                           const std::function<db::Status(db::Table &, ImportDirsRecord &)> &work)
{
    ImportDirsResult result;
    const OpenResult open = openImportDirs(engine);
    if (!open) {
        result.status = open.status;
        result.failedFile = open.failedFile;
        return result;
    }
    result.status = work(*open.table, result.dirs);
    const db::Status closed = engine.close(tableDef(TableId::ImportDirs).name);
    if (result.ok())
        result.status = closed;
    return result;
}

} // namespace

ImportDirsResult loadImportDirectories(db::Engine &engine)
{
    return withTable(engine, [](db::Table &t, ImportDirsRecord &dirs) {
        if (!t.top())
            return t.takeError(); // no record yet: both paths empty
        return loadImportDirs(t, dirs);
    });
}

ImportDirsResult saveImportDirectories(db::Engine &engine, const ImportDirsRecord &dirs)
{
    return withTable(engine, [&dirs](db::Table &t, ImportDirsRecord &stored) {
        t.selectNatural();
        if (!t.go(1)) {
            if (db::Status s = t.takeError(); !s)
                return s;
            if (db::Status s = t.appendBlank(); !s)
                return s;
        }
        db::Status s = writeImportDirs(t, dirs);
        if (s)
            s = loadImportDirs(t, stored);
        return s;
    });
}

} // namespace tallyra
