#include "DbToolMaintenance.h"

#include "BackupSet.h"
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

int dbtoolBackup(const QString &dir, const QString &target)
{
    CopyPrompts prompts;
    prompts.info = [](const QString &text) { print(stderr, text); };
    const BackupResult result = backupData(dir, target, prompts);
    if (!result) {
        print(stderr, result.message);
        return 3;
    }
    for (const QString &name : result.copied)
        print(stdout, QStringLiteral("%1: copied and verified").arg(name));
    return 0;
}

int dbtoolRestore(const QString &dir, const QString &source, bool settings)
{
    db::Engine engine(dir);
    RestoreOptions options;
    options.settings = settings;
    CopyPrompts prompts; // "Unable to find ..." comes back in the result's message
    const RestoreResult result = restoreData(engine, source, options, prompts);
    if (!result) {
        print(stderr, result.message);
        return 3;
    }
    for (const QString &name : result.restored)
        print(stdout, QStringLiteral("%1: restored").arg(name));
    print(stdout, result.message);
    return 0;
}

int dbtoolVerifyBackup(const QString &source)
{
    const VerifyResult result = verifyBackup(source);
    for (const QString &line : result.report)
        print(result.ok() ? stdout : stderr, line);
    return result.ok() ? 0 : 3;
}

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
