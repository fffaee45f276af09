#include "SafetyBackup.h"

#include "BackupFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <algorithm>
#include <unistd.h>

namespace tallyra {

namespace {

const QString kFolder = QStringLiteral("backups");

const QRegularExpression &folderPattern()
{
    static const QRegularExpression re(
        QStringLiteral("^[A-Za-z0-9_]+(?:-[A-Za-z_]+)*-(\\d{8}-\\d{6})(?:-(\\d+))?$"));
    return re;
}

} // namespace

QStringList safetyBackupFolders(const QString &dataDir)
{
    struct Entry
    {
        QString stamp;
        int serial;
        QString path;
    };
    QList<Entry> found;
    const QDir dir(QDir(dataDir).filePath(kFolder));
    const QStringList names = dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString &name : names) {
        const QRegularExpressionMatch m = folderPattern().match(name);
        if (m.hasMatch())
            found.append(
                {m.captured(1), m.captured(2).isEmpty() ? 1 : m.captured(2).toInt(), dir.filePath(name)});
    }
    std::sort(found.begin(), found.end(), [](const Entry &a, const Entry &b) {
        return a.stamp != b.stamp ? a.stamp < b.stamp : a.serial < b.serial;
    });
    QStringList paths;
    for (const Entry &e : found)
        paths << e.path;
    return paths;
}

void pruneSafetyBackups(const QString &dataDir, int keep)
{
    const QDir dir(QDir(dataDir).filePath(kFolder));
    const QStringList partial = dir.entryList({QStringLiteral(".*.partial")}, QDir::Dirs | QDir::Hidden);
    for (const QString &name : partial)
        QDir(dir.filePath(name)).removeRecursively();
    const QStringList folders = safetyBackupFolders(dataDir);
    for (qsizetype i = 0; i + keep < folders.size(); ++i)
        QDir(folders[i]).removeRecursively();
}

SafetyBackupResult takeSafetyBackup(const QString &dataDir, const QString &operation,
                                    const QList<TableId> &tables, const std::shared_ptr<db::FileSystem> &fs,
                                    const QDateTime &now, SafetyCopyMode mode, const KnownHashes *known)
{
    SafetyBackupResult result;
    const QDateTime when = now.isValid() ? now : QDateTime::currentDateTime();
    const QDir data(dataDir);
    if (!data.mkpath(kFolder)) {
        result.status =
            db::Status::ioError(QStringLiteral("%1: the folder cannot be made").arg(data.filePath(kFolder)));
        return result;
    }
    const QDir backups(data.filePath(kFolder));
    const QString base = operation + QLatin1Char('-') + when.toString(QStringLiteral("yyyyMMdd-HHmmss"));
    QString name = base;
    for (int n = 2; backups.exists(name); ++n)
        name = base + QLatin1Char('-') + QString::number(n);
    const QString partial = backups.filePath(QLatin1Char('.') + name + QStringLiteral(".partial"));
    QDir(partial).removeRecursively();
    if (!backups.mkdir(QFileInfo(partial).fileName())) {
        result.status = db::Status::ioError(QStringLiteral("%1: the folder cannot be made").arg(partial));
        return result;
    }

    Manifest manifest;
    manifest.created = when.toUTC().toString(Qt::ISODate);
    manifest.complete = true;
    manifest.partial = true;
    for (TableId id : tables) {
        for (const QString &file : tableFiles(id, true)) {
            const QString source = findNoCase(dataDir, file);
            if (source.isEmpty())
                continue; // an index not built yet, a table never made: nothing to keep
            const QString target = QDir(partial).filePath(file);
            CopyResult copied;
            if (mode == SafetyCopyMode::Link &&
                ::link(QFile::encodeName(source).constData(), QFile::encodeName(target).constData()) == 0) {
                const auto it = known ? known->find(source) : KnownHashes::const_iterator();
                if (known && it != known->end() && it->second.stamp == fileStamp(target)) {
                    copied.sha256 = it->second.sha256;
                    copied.size = it->second.size;
                } else {
                    copied = hashFile(*fs, target);
                }
            } else
                copied = copyVerified(*fs, source, target);
            if (!copied.ok()) {
                QDir(partial).removeRecursively();
                result.status = copied.status;
                return result;
            }
            manifest.set(file, {copied.sha256, copied.size});
            result.files << file;
        }
    }
    db::Status s = writeManifest(*fs, partial, manifest);
    const QString folder = backups.filePath(name);
    if (s)
        s = fs->rename(partial, folder);
    if (!s) {
        QDir(partial).removeRecursively();
        result.status = s;
        return result;
    }
    result.folder = folder;
    pruneSafetyBackups(dataDir);
    return result;
}

QString safetyBackupNote(const SafetyBackupResult &result)
{
    if (result.folder.isEmpty())
        return {};
    const QString shown = kFolder + QLatin1Char('/') + QFileInfo(result.folder).fileName();
    return QStringLiteral("A copy of the data as they were before is in %1.").arg(shown);
}

} // namespace tallyra
