#include "BackupSet.h"

#include "BackupFiles.h"
#include "SafetyBackup.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <future>

namespace tallyra {

namespace {

const QString kStaging = QStringLiteral(".tallyra-restore");
const QString kStaged = QStringLiteral("new");
const QString kJournal = QStringLiteral("COMMIT");

const QString kBackupFailed = QStringLiteral("Backup Failed . . Check that disk is not write protected");
const QString kRestoreFailed = QStringLiteral("Restore Failed . . Check that your disk is not full.");

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

bool ask(const CopyPrompts &prompts, const QString &text)
{
    return prompts.okCancel && prompts.okCancel(text);
}

const BackupFile *backupFile(const QString &name)
{
    for (const BackupFile &f : backupFiles()) {
        if (f.name.compare(name, Qt::CaseInsensitive) == 0)
            return &f;
    }
    return nullptr;
}

// The tables the files belong to, in the order first named.
QList<TableId> tablesOf(const QStringList &names)
{
    QList<TableId> ids;
    for (const QString &name : names) {
        TableId id;
        if (tableOfFile(name, &id) && !ids.contains(id))
            ids << id;
    }
    return ids;
}

// One file to copy: a data or memo file (with its progress) or a tag or group file.
struct SetFile
{
    QString name; // as the schema creates it
    TableId table;
    int percent;      // -1: no progress step of its own (tag and group files)
    bool index;       // a tag or group file: never required, rebuilt when not restored
    bool settings;    // belongs to the settings tables
    bool optional;    // a business may lack it
    bool lastOfTable; // the table's last file in the set
};

// The files of a set in copy order: backupFiles(), each table's tag and group files after its
// last data or memo file.
QList<SetFile> setFiles()
{
    QList<SetFile> files;
    const QList<BackupFile> &list = backupFiles();
    for (qsizetype i = 0; i < list.size(); ++i) {
        const BackupFile &f = list[i];
        const bool last = i + 1 == list.size() || list[i + 1].table != f.table;
        const QStringList index = tableDef(f.table).indexFiles();
        files.append({f.name, f.table, f.percent, false, f.settings, f.optional, last && index.isEmpty()});
        if (!last)
            continue;
        for (qsizetype k = 0; k < index.size(); ++k)
            files.append({index[k], f.table, -1, true, f.settings, true, k + 1 == index.size()});
    }
    return files;
}

// The stamps of every file of a table: a difference between the start and the end of its copy
// means another program wrote to it (or replaced it) meanwhile.
QByteArray tableStamp(const QString &dir, TableId id)
{
    QByteArray stamp;
    for (const QString &name : tableFiles(id, true))
        stamp += fileStamp(findNoCase(dir, name)) + ';';
    return stamp;
}

// Writes a small file whole: temporary name, sync, rename.
db::Status writeSmallFile(db::FileSystem &fs, const QString &path, const QByteArray &bytes)
{
    const QString temp = path + QStringLiteral(".part");
    fs.remove(temp);
    std::unique_ptr<db::File> out;
    db::Status s = fs.open(temp, db::OpenMode::Create, &out);
    if (s)
        s = out->write(0, bytes.constData(), static_cast<std::size_t>(bytes.size()));
    if (s)
        s = out->sync();
    out.reset();
    if (s)
        s = fs.rename(temp, path);
    if (!s)
        fs.remove(temp);
    return s;
}

// Moves the staged files into the data directory. The index files of their tables that the set
// does not bring go first: a tag left from the old data would describe records that are no
// longer there. Each step can be repeated, so an interrupted commit is finished by running it
// again.
db::Status commitStaged(db::FileSystem &fs, const QString &dataDir, const QString &stagedDir,
                        const QStringList &names)
{
    for (TableId id : tablesOf(names)) {
        for (const QString &file : tableDef(id).indexFiles()) {
            if (names.contains(file, Qt::CaseInsensitive))
                continue;
            const QString existing = findNoCase(dataDir, file);
            if (!existing.isEmpty()) {
                if (db::Status s = fs.remove(existing); !s)
                    return s;
            }
        }
    }
    for (const QString &name : names) {
        const QString from = QDir(stagedDir).filePath(name);
        if (!QFileInfo::exists(from))
            continue;
        const QString existing = findNoCase(dataDir, name);
        if (db::Status s = renameUnsynced(from, existing.isEmpty() ? QDir(dataDir).filePath(name) : existing);
            !s)
            return s;
    }
    // One sync for all the renames, before the journal that would redo them goes.
    syncFolder(dataDir);
    return db::Status::ok();
}

} // namespace

db::Status putBackSafetyCopy(db::FileSystem &fs, const QString &dataDir, const QString &safetyFolder)
{
    Manifest manifest;
    bool present = false;
    db::Status s = readManifest(safetyFolder, &manifest, &present);
    if (!s)
        return s;
    QStringList dataFiles;
    for (const QString &name : manifest.names) {
        if (backupFile(name))
            dataFiles << name;
    }
    for (TableId id : tablesOf(dataFiles)) {
        for (const QString &file : tableDef(id).indexFiles()) {
            const QString existing = findNoCase(dataDir, file);
            if (!existing.isEmpty())
                fs.remove(existing);
        }
    }
    for (const QString &name : dataFiles) {
        const QString existing = findNoCase(dataDir, name);
        const CopyResult c = copyVerified(fs, QDir(safetyFolder).filePath(name),
                                          existing.isEmpty() ? QDir(dataDir).filePath(name) : existing);
        if (!c.ok())
            return c.status;
    }
    return db::Status::ok();
}

namespace {

// A data file must be as long as its header says: a copy cut short loses its last records.
db::Status checkLength(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return db::Status::ioError(QStringLiteral("%1: cannot be read").arg(path));
    const QByteArray head = f.read(12);
    if (head.size() < 12)
        return db::Status::corruption(QStringLiteral("%1: the header is cut short").arg(path));
    auto le = [&](int at, int n) {
        quint64 v = 0;
        for (int i = n - 1; i >= 0; --i)
            v = (v << 8) | static_cast<unsigned char>(head[at + i]);
        return v;
    };
    const quint64 needed = le(8, 2) + le(4, 4) * le(10, 2);
    if (static_cast<quint64>(f.size()) < needed)
        return db::Status::corruption(QStringLiteral("%1: record area ends at %2, file has %3 bytes")
                                          .arg(path)
                                          .arg(needed)
                                          .arg(f.size()));
    return db::Status::ok();
}

// Opens every table of the staged set without index and runs its structural checks.
db::Status checkStagedTables(const QString &stagedDir, const QStringList &names)
{
    db::Engine staged(stagedDir);
    staged.setAutoOpenIndex(false);
    db::Status result;
    for (TableId id : tablesOf(names)) {
        const TableDef &def = tableDef(id);
        db::Status s = checkLength(QDir(stagedDir).filePath(def.fileName));
        db::Table *t = s ? staged.open(def.name, &s) : nullptr;
        if (t)
            s = t->check();
        staged.closeAll();
        if (!s) {
            result = s;
            break;
        }
    }
    return result;
}

} // namespace

BackupResult backupData(const QString &dataDir, const QString &target, const CopyPrompts &prompts,
                        const ProgressDisplay &progress, const std::shared_ptr<db::FileSystem> &fs)
{
    BackupResult r;
    if (sameDirectory(dataDir, target)) {
        r.message = QStringLiteral("Backup must be to a different drive and/or directory");
        r.status = db::Status::invalid(r.message);
        return r;
    }
    auto fail = [&](const db::Status &s) {
        r.status = s;
        r.message = kBackupFailed + QLatin1Char('\n') + s.toString();
        end(progress);
        return r;
    };
    if (!QFileInfo(target).isDir()) {
        r.status = db::Status::notFound(QStringLiteral("%1: no such folder").arg(target));
        r.message = kBackupFailed + QLatin1Char('\n') + r.status.toString();
        return r;
    }
    // A set without one of its tables is no backup: find that out before the target is touched.
    // A settings table the business never made is noted as not present; so are index files not
    // built yet (a restore builds them).
    QList<SetFile> files;
    QSet<int> absentTables;
    for (const SetFile &f : setFiles()) {
        if (absentTables.contains(int(f.table)) || !findNoCase(dataDir, f.name).isEmpty()) {
            if (!absentTables.contains(int(f.table)))
                files << f;
            continue;
        }
        if (f.index)
            continue;
        if (f.optional) {
            r.absent << f.name;
            absentTables << int(f.table);
            continue;
        }
        r.status = db::Status::notFound(QStringLiteral("Unable to find ") + QDir(dataDir).filePath(f.name));
        r.message = kBackupFailed + QLatin1Char('\n') + r.status.message();
        return r;
    }
    // The last file of a table may now be one that was left out.
    for (qsizetype i = 0; i < files.size(); ++i)
        files[i].lastOfTable = i + 1 == files.size() || files[i + 1].table != files[i].table;

    start(progress, QStringLiteral("Copying Data Files"));
    Manifest manifest;
    manifest.created = QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs);
    // The manifest of an earlier set on this medium would no longer describe its files.
    auto beginMedium = [&] {
        const QString old = findNoCase(target, QString::fromLatin1(Manifest::kFileName));
        if (!old.isEmpty())
            fs->remove(old);
        manifest.entries.clear();
        manifest.names.clear();
    };
    beginMedium();
    QByteArray stampBefore;
    for (qsizetype i = 0; i < files.size(); ++i) {
        const SetFile &f = files[i];
        if (f.percent >= 0)
            set(progress, f.percent);
        if (i == 0 || files[i - 1].table != f.table)
            stampBefore = tableStamp(dataDir, f.table);
        const QString source = findNoCase(dataDir, f.name);
        for (;;) {
            const QString to = QDir(target).filePath(f.name);
            const QString older = findNoCase(target, f.name);
            // The renames of the copies reach the disk with the manifest's, which syncs the folder.
            const CopyResult c = copyVerified(*fs, source, to, false);
            if (c.ok()) {
                // An older copy under another letter case would be taken for this one.
                if (!older.isEmpty() && QFileInfo(older).fileName() != f.name)
                    fs->remove(older);
                manifest.set(f.name, {c.sha256, c.size});
                r.copied << f.name;
                // Kept current after each file, so a disk taken out at any point describes
                // itself. A manifest that does not fit is written again with the next file.
                writeManifest(*fs, target, manifest, false);
                break;
            }
            if (c.fault == CopyFault::DiskFull) {
                // The disk so far keeps a manifest of what it holds; a failure to write it only
                // leaves that disk to be checked table by table.
                writeManifest(*fs, target, manifest);
                if (!ask(prompts, QStringLiteral("Disk Full. Insert another disk. ") + f.name))
                    return fail(c.status);
                ++r.media;
                beginMedium();
                continue;
            }
            if (c.fault == CopyFault::WriteProtected) {
                if (!ask(prompts, QStringLiteral("Disk is Write Protected")))
                    return fail(c.status);
                continue;
            }
            return fail(c.status);
        }
        // Tags copied while another program changed the table may not match its records: they
        // stay out of the manifest, and a restore builds them from the records instead.
        if (f.lastOfTable && tableStamp(dataDir, f.table) != stampBefore) {
            for (const QString &index : tableDef(f.table).indexFiles())
                manifest.remove(index);
            r.changedDuringCopy << tableDef(f.table).name;
        }
    }
    manifest.complete = true;
    if (db::Status s = writeManifest(*fs, target, manifest); !s)
        return fail(s);
    // Files of an older backup that this set does not hold (a settings table since removed,
    // tags left out) would only mislead a reader of the folder.
    for (const TableDef &def : schemaTables()) {
        for (const QString &name : tableFiles(def.id, true)) {
            const QString left = findNoCase(target, name);
            if (!left.isEmpty() && !manifest.find(name))
                fs->remove(left);
        }
    }
    end(progress);
    return r;
}

RestoreResult restoreData(db::Engine &engine, const QString &source, const RestoreOptions &options,
                          const CopyPrompts &prompts, const ProgressDisplay &progress)
{
    RestoreResult r;
    const QString dataDir = engine.directory();
    if (sameDirectory(dataDir, source)) {
        r.message = QStringLiteral("Restore must be from a different drive and/or directory");
        r.status = db::Status::invalid(r.message);
        return r;
    }
    db::FileSystem &fs = *engine.fileSystem();
    engine.closeAll();
    finishInterruptedRestore(dataDir);

    const QString staging = QDir(dataDir).filePath(kStaging);
    const QString stagedDir = QDir(staging).filePath(kStaged);
    QDir(staging).removeRecursively();
    auto cleanUp = [&] { QDir(staging).removeRecursively(); };
    auto fail = [&](const db::Status &s, const QString &message) {
        cleanUp();
        end(progress);
        r.status = s;
        r.message = message;
        return r;
    };
    if (!QDir().mkpath(stagedDir))
        return fail(db::Status::ioError(stagedDir + QStringLiteral(": the folder cannot be made")),
                    kRestoreFailed + QLatin1Char('\n') + stagedDir);

    // The safety copy needs the SHA-256 of the current files it will hold: they are hashed on a
    // helper thread while the set is copied in, and used where a file is unchanged since.
    QStringList current;
    for (const SetFile &f : setFiles()) {
        if (const QString path = findNoCase(dataDir, f.name);
            !path.isEmpty() && (options.settings || !f.settings))
            current << path;
    }
    std::future<KnownHashes> hashing = std::async(
        std::launch::async, [fs = engine.fileSystem(), current] { return hashFiles(*fs, current); });

    start(progress, QStringLiteral("Copying Data Files"));
    QString setId;
    QStringList staged;
    QStringList unlisted;
    QSet<int> stagedTables;
    for (const SetFile &f : setFiles()) {
        if (f.settings && !options.settings)
            continue;
        if (f.index) {
            // Tags come back only with their table and only as the manifest lists them; any
            // other is built from the restored records instead.
            if (!stagedTables.contains(int(f.table)))
                continue;
            Manifest manifest;
            bool present = false;
            if (!readManifest(source, &manifest, &present) || !present || manifest.created != setId)
                continue;
            const ManifestEntry *entry = manifest.find(f.name);
            const QString path = entry ? findNoCase(source, f.name) : QString();
            if (path.isEmpty())
                continue;
            const QString to = QDir(stagedDir).filePath(f.name);
            const CopyResult c = copyVerified(fs, path, to, false, false);
            if (!c.ok())
                return fail(c.status, kRestoreFailed + QLatin1Char('\n') + c.status.toString() +
                                          QStringLiteral("\nNothing was restored."));
            if (entry->sha256 != c.sha256 || entry->size != c.size)
                fs.remove(to); // a damaged tag is only rebuilt
            else
                staged << f.name;
            continue;
        }
        set(progress, f.percent);
        for (;;) {
            Manifest manifest;
            bool present = false;
            if (db::Status s = readManifest(source, &manifest, &present); !s)
                return fail(
                    s,
                    QStringLiteral("The backup cannot be used: %1\nNothing was restored.").arg(s.toString()));
            const ManifestEntry *entry = present ? manifest.find(f.name) : nullptr;
            // A file the medium's manifest does not list, or one of another set, is a left-over.
            if (entry && !setId.isEmpty() && manifest.created != setId)
                entry = nullptr;
            QString path = findNoCase(source, f.name);
            if (present && !entry)
                path.clear();
            if (path.isEmpty()) {
                if (f.settings || (present && manifest.partial))
                    break; // a set made before the settings were backed up; a safety copy's other tables
                if (options.removable) {
                    if (ask(prompts, QStringLiteral("Insert disk containing ") + f.name))
                        continue;
                    return fail(db::Status::notFound(f.name), QStringLiteral("Nothing was restored."));
                }
                const QString missing = QStringLiteral("Unable to find ") + QDir(source).filePath(f.name) +
                                        QStringLiteral("\nFunction Aborted");
                return fail(db::Status::notFound(missing), missing);
            }
            const CopyResult c = copyVerified(fs, path, QDir(stagedDir).filePath(f.name), false, false);
            if (!c.ok())
                return fail(c.status, kRestoreFailed + QLatin1Char('\n') + c.status.toString() +
                                          QStringLiteral("\nNothing was restored."));
            if (entry) {
                if (entry->sha256 != c.sha256 || entry->size != c.size)
                    return fail(
                        db::Status::corruption(path + QStringLiteral(": differs from the backup's manifest")),
                        QStringLiteral("The backup copy of %1 has been changed or damaged since the backup "
                                       "was made.\nNothing was restored.")
                            .arg(f.name));
                setId = manifest.created;
            } else {
                unlisted << f.name;
            }
            staged << f.name;
            stagedTables << int(f.table);
            break;
        }
    }
    // The staged files, and their names, must be on the disk before the journal tells to move them.
    QStringList stagedPaths;
    for (const QString &name : staged)
        stagedPaths << QDir(stagedDir).filePath(name);
    if (db::Status s = syncFiles(fs, stagedPaths); !s)
        return fail(s, kRestoreFailed + QLatin1Char('\n') + s.toString() +
                           QStringLiteral("\nNothing was restored."));
    syncFolder(stagedDir);
    if (db::Status s = checkStagedTables(stagedDir, unlisted); !s)
        return fail(
            s,
            QStringLiteral("The backup holds a damaged table:\n%1\nNothing was restored.").arg(s.toString()));

    // Another program working on a table would keep writing into the replaced files.
    {
        const db::Access access = engine.access();
        const bool autoIndex = engine.autoOpenIndex();
        engine.setAccess(db::Access::Exclusive);
        engine.setAutoOpenIndex(false);
        db::Status s;
        for (TableId id : tablesOf(staged)) {
            if (engine.findFile(tableDef(id).fileName).isEmpty())
                continue;
            if (!engine.open(tableDef(id).name, &s) && s.isLocked())
                break;
            s = db::Status::ok();
        }
        engine.closeAll();
        engine.setAccess(access);
        engine.setAutoOpenIndex(autoIndex);
        if (s.isLocked())
            return fail(s,
                        QStringLiteral("%1\nClose the other program and restore again. Nothing was restored.")
                            .arg(s.toString()));
    }

    // The current files are replaced by renames, never written into, so links to them keep them
    // as they are: the safety copy costs no copying.
    const KnownHashes known = hashing.get();
    const SafetyBackupResult safety =
        takeSafetyBackup(dataDir, QStringLiteral("restore"), tablesOf(staged), engine.fileSystem(),
                         options.now, SafetyCopyMode::Link, &known);
    if (!safety)
        return fail(safety.status,
                    QStringLiteral("The current data could not be copied aside before the restore:\n%1\n"
                                   "Nothing was restored.")
                        .arg(safety.status.toString()));
    r.safetyFolder = safety.folder;

    const QString journal = QDir(staging).filePath(kJournal);
    if (db::Status s = writeSmallFile(fs, journal, staged.join(QLatin1Char('\n')).toUtf8() + '\n'); !s)
        return fail(s, kRestoreFailed + QLatin1Char('\n') + s.toString() +
                           QStringLiteral("\nNothing was restored."));
    db::Status s = commitStaged(fs, dataDir, stagedDir, staged);
    r.changed = true;
    MaintenanceResult indexed;
    if (s) {
        // The tags restored with their tables are the ones taken with those very records; only
        // groups the set did not bring, or that do not open, are built again.
        indexed = rebuildIndexes(engine, ReindexMode::Unsound, progress);
        s = indexed.status;
    }
    if (!s) {
        // Whatever went wrong, the data as they were are in the safety copy: put them back.
        const db::Status back = putBackSafetyCopy(fs, dataDir, safety.folder);
        fs.remove(journal);
        cleanUp();
        rebuildIndexes(engine, ReindexMode::Full, progress);
        end(progress);
        r.status = s;
        r.changed = !back.isOk();
        r.message =
            back.isOk()
                ? QStringLiteral("Restore Failed: %1\nYour data were put back as they were before the "
                                 "restore.")
                      .arg(s.toString())
                : QStringLiteral("Restore Failed: %1\nYour data could not be put back (%2). %3")
                      .arg(s.toString(), back.toString(), safetyBackupNote(safety));
        return r;
    }
    fs.remove(journal);
    cleanUp();
    end(progress);
    r.restored = staged;
    r.reindexed = indexed.tablesDone;
    r.message = QStringLiteral("Restore complete. ") + safetyBackupNote(safety);
    return r;
}

bool finishInterruptedRestore(const QString &dataDir, db::Status *status)
{
    const QString staging = QDir(dataDir).filePath(kStaging);
    if (!QFileInfo(staging).isDir())
        return false;
    const QString journal = QDir(staging).filePath(kJournal);
    QFile j(journal);
    if (!j.open(QIODevice::ReadOnly)) {
        // Interrupted before the commit: the current data were never touched.
        QDir(staging).removeRecursively();
        return false;
    }
    const QStringList names = QString::fromUtf8(j.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    j.close();
    auto fs = db::FileSystem::posix();
    const db::Status s = commitStaged(*fs, dataDir, QDir(staging).filePath(kStaged), names);
    if (status)
        *status = s;
    if (!s)
        return false;
    // The tags the set brought are in place with their tables (checked before the journal was
    // written); the others are gone, and the missing-only re-index builds them anew.
    fs->remove(journal);
    QDir(staging).removeRecursively();
    return true;
}

VerifyResult verifyBackup(const QString &source)
{
    VerifyResult r;
    Manifest manifest;
    bool present = false;
    r.status = readManifest(source, &manifest, &present);
    if (!r.ok()) {
        r.report << r.status.toString();
        return r;
    }
    auto fs = db::FileSystem::posix();
    if (present) {
        for (const QString &name : manifest.names) {
            const ManifestEntry &e = *manifest.find(name);
            const QString path = findNoCase(source, name);
            const CopyResult h = path.isEmpty() ? CopyResult() : hashFile(*fs, path);
            QString verdict = QStringLiteral("ok");
            if (path.isEmpty())
                verdict = QStringLiteral("missing");
            else if (!h.ok())
                verdict = h.status.toString();
            else if (h.size != e.size)
                verdict = QStringLiteral("%1 bytes, the manifest says %2").arg(h.size).arg(e.size);
            else if (h.sha256 != e.sha256)
                verdict = QStringLiteral("changed since the backup (SHA-256 differs)");
            if (verdict != QLatin1String("ok") && r.ok())
                r.status = db::Status::corruption(
                    QStringLiteral("%1: %2").arg(QDir(source).filePath(name), verdict));
            r.report << QStringLiteral("%1: %2").arg(name, verdict);
        }
        if (!manifest.complete)
            r.report << QStringLiteral("the set continues on another disk");
        return r;
    }
    // A plain copy without manifest: every table present must at least pass its checks.
    QStringList found;
    for (const BackupFile &f : backupFiles()) {
        if (!findNoCase(source, f.name).isEmpty())
            found << f.name;
    }
    if (found.isEmpty()) {
        r.status = db::Status::notFound(QStringLiteral("%1: no backup found").arg(source));
        r.report << r.status.toString();
        return r;
    }
    db::Engine engine(source);
    engine.setAutoOpenIndex(false);
    for (TableId id : tablesOf(found)) {
        db::Status s;
        db::Table *t = engine.open(tableDef(id).name, &s);
        if (t)
            s = t->check();
        engine.closeAll();
        if (!s && r.ok())
            r.status = s;
        r.report << QStringLiteral("%1: %2 (no manifest)")
                        .arg(tableDef(id).fileName, s.isOk() ? QStringLiteral("ok") : s.toString());
    }
    return r;
}

} // namespace tallyra
