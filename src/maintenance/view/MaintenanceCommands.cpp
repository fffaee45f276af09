#include "MaintenanceCommands.h"

#include "BackupFiles.h"
#include "BackupSet.h"
#include "DataUpgrade.h"
#include "DateSpanU.h"
#include "DeleteCustomers.h"
#include "DriveDirU.h"
#include "ImportDirU.h"
#include "ImportDirs.h"
#include "Prompt.h"
#include "Tables.h"

#include <QCoreApplication>
#include <QDir>
#include <QPointer>

namespace tallyra {

namespace {

QPointer<TDriveDir> g_picker;

void dropPicker()
{
    delete g_picker;
}

CopyPrompts promptsFor(QWidget *parent, bool warning = false)
{
    CopyPrompts prompts;
    prompts.okCancel = [parent, warning](const QString &text) {
        return warning ? Prompt::warningOkCancel(parent, text) : Prompt::okCancel(parent, text);
    };
    prompts.info = [parent](const QString &text) { Prompt::info(parent, text); };
    return prompts;
}

// Removable media first, else `fallback`, else the home folder.
QString startFolder(const QString &fallback)
{
    const QList<Drive> drives = mountedDrives();
    if (!drives.isEmpty() && drives.first().removable)
        return drives.first().root;
    return !fallback.isEmpty() && QDir(fallback).exists() ? fallback : QDir::homePath();
}

void repaintParent(QWidget *parent)
{
    if (parent)
        parent->repaint();
}

} // namespace

TDriveDir &driveDirWindow()
{
    if (!g_picker) {
        g_picker = new TDriveDir;
        qAddPostRoutine(dropPicker);
    }
    return *g_picker;
}

CommandOutcome runBackupCommand(QWidget *parent, const QString &dataDir, const ProgressDisplay &progress)
{
    TDriveDir &picker = driveDirWindow();
    picker.prepare(QStringLiteral("Choose Backup Drive & Directory"), QStringLiteral("Backup"));
    picker.setStartDirectory(startFolder(QDir::homePath()));
    const QString target = picker.pick();
    repaintParent(parent);
    if (target.isEmpty())
        return {};
    const BackupResult result = backupData(dataDir, target, promptsFor(parent), progress);
    if (progress.end)
        progress.end();
    if (!result) {
        Prompt::info(parent, result.message);
        return {};
    }
    Prompt::info(
        parent,
        QStringLiteral("Backup complete: %1 files copied to %2 and read back%3.")
            .arg(result.copied.size())
            .arg(target, result.media > 1 ? QStringLiteral(" (on %1 disks)").arg(result.media) : QString()));
    return {};
}

CommandOutcome runRestoreCommand(QWidget *parent, db::Engine &engine, const ProgressDisplay &progress)
{
    TDriveDir &picker = driveDirWindow();
    picker.prepare(QStringLiteral("Choose Drive & Directory Containing BACKUP"), QStringLiteral("Restore"));
    picker.setOption(QStringLiteral("Also restore settings"), false);
    picker.setStartDirectory(startFolder(QDir(engine.directory()).filePath(QStringLiteral("backups"))));
    const QString source = picker.pick();
    const bool settings = picker.optionChecked();
    if (source.isEmpty())
        return {};
    repaintParent(parent);
    RestoreOptions options;
    options.settings = settings;
    options.removable = isRemovableMedia(source);
    const RestoreResult result = restoreData(engine, source, options, promptsFor(parent), progress);
    if (progress.end)
        progress.end();
    Prompt::info(parent, result.message);
    CommandOutcome outcome;
    outcome.settingsChanged = settings && (result.ok() || result.changed);
    return outcome;
}

CommandOutcome runUpgradeCommand(QWidget *parent, db::Engine &engine, const ProgressDisplay &progress)
{
    TDriveDir &picker = driveDirWindow();
    picker.prepare(
        QStringLiteral("Choose Drive & Directory Containing TLRA Version 1 or Veltrix Version 4-5 Data"),
        QStringLiteral("Upgrade"));
    picker.setStartDirectory(upgradeStartFolder(upgradeSearchBases()));
    const QString dir = picker.pick();
    if (dir.isEmpty())
        return {};
    repaintParent(parent);
    const UpgradeResult result = upgradeData(engine, dir, promptsFor(parent, true), progress);
    if (progress.end)
        progress.end();
    if (const QString message = result.message(); !message.isEmpty())
        Prompt::info(parent, message);
    return {};
}

CommandOutcome runDeleteCustomersCommand(QWidget *parent, db::Engine &engine, const ProgressDisplay &progress)
{
    TDateSpan &window = TDateSpan::instance();
    window.setWindowTitle(QStringLiteral("Delete Customers"));
    window.useSingleDate(QStringLiteral("Delete If No Order After"));
    dateSpan().start = defaultDeleteCutoff();
    dateSpan().end = dateSpan().start;
    const bool asked = TDateSpan::ask();
    window.useSpan();
    window.setWindowTitle(QString::fromLatin1(TDateSpan::kCaption));
    if (!asked)
        return {};
    const DeleteCustomersResult result = deleteInactiveCustomers(engine, dateSpan().start, progress);
    if (progress.end)
        progress.end();
    if (!result.failedFile.isEmpty() && !result.status.isLocked())
        return {openFailureMessage(result.failedFile)};
    if (!result) {
        Prompt::info(parent, QStringLiteral("%1\n%2").arg(result.message(), result.status.toString()));
        return {};
    }
    Prompt::info(parent, result.message());
    return {};
}

CommandOutcome runImportDirsCommand(QWidget *parent, db::Engine &engine)
{
    const ImportDirsResult loaded = loadImportDirectories(engine);
    if (!loaded)
        return {openFailureMessage(loaded.failedFile.isEmpty() ? tableDef(TableId::ImportDirs).openFailFile
                                                               : loaded.failedFile)};
    TImportdir window(&driveDirWindow(), parent);
    window.setValues(loaded.dirs);
    window.setSaver([&engine](const ImportDirsRecord &dirs, QString *error) {
        const ImportDirsResult saved = saveImportDirectories(engine, dirs);
        if (!saved)
            *error = saved.status.toString();
        return saved.ok();
    });
    window.run();
    return {};
}

} // namespace tallyra
