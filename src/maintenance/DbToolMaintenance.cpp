#include "DbToolMaintenance.h"

#include "Maintenance.h"

#include <cstdio>

namespace tallyra {

namespace {

void print(FILE *stream, const QString &line)
{
    std::fputs(line.toLocal8Bit().constData(), stream);
    std::fputc('\n', stream);
}

int report(const MaintenanceResult &result, const QString &verb)
{
    for (const QString &name : result.tablesDone)
        print(stdout, QStringLiteral("%1: %2").arg(name, verb));
    for (const QString &name : result.tablesSkipped)
        print(stderr, QStringLiteral("%1: cannot be opened, passed over").arg(name));
    if (!result.ok()) {
        print(stderr, result.status.toString());
        return 1;
    }
    return 0;
}

} // namespace

int dbtoolReindex(const QString &dir)
{
    db::Engine engine(dir);
    return report(rebuildIndexes(engine, ReindexMode::Full), QStringLiteral("indexes rebuilt"));
}

int dbtoolPack(const QString &dir)
{
    db::Engine engine(dir);
    const MaintenanceResult result = packDataFiles(engine);
    // A table that could not be opened is no failure for the program, but a shell user should know.
    return report(result, QStringLiteral("packed")) != 0 || !result.tablesSkipped.isEmpty() ? 1 : 0;
}

} // namespace tallyra
