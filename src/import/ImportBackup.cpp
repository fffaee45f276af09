#include "ImportBackup.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <algorithm>

namespace tallyra {

namespace {

const QString kUndoFile = QStringLiteral("undo.txt");
const QString kUndoneFile = QStringLiteral("undone.txt");

// The table's files as they are named on disk: data, memo, group, tags; missing ones left out.
QStringList tableFiles(const db::Engine &engine, TableId id)
{
    const TableDef &def = tableDef(id);
    QStringList names{def.fileName};
    if (!def.memoFileName.isEmpty())
        names << def.memoFileName;
    names << def.indexFiles();
    QStringList found;
    for (const QString &name : std::as_const(names)) {
        const QString real = engine.findFile(name);
        if (!real.isEmpty() && !found.contains(real))
            found << real;
    }
    return found;
}

// "size mtime-in-nanoseconds" of the data and memo files, one line each.
QString fingerprint(const QString &dir, TableId id)
{
    const TableDef &def = tableDef(id);
    QStringList lines;
    const QStringList entries = QDir(dir).entryList(QDir::Files);
    for (const QString &name : {def.fileName, def.memoFileName}) {
        if (name.isEmpty())
            continue;
        QString real;
        for (const QString &e : entries)
            if (e.compare(name, Qt::CaseInsensitive) == 0)
                real = e;
        const QFileInfo info(dir + QLatin1Char('/') + real);
        if (real.isEmpty() || !info.exists()) {
            lines << name + QStringLiteral(" missing");
            continue;
        }
        const QDateTime modified = info.lastModified();
        lines << QStringLiteral("%1 %2 %3").arg(real).arg(info.size()).arg(modified.toMSecsSinceEpoch());
    }
    return lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

db::Status copyFile(const QString &from, const QString &to)
{
    QFile in(from);
    if (!in.open(QIODevice::ReadOnly))
        return db::Status::ioError(QStringLiteral("%1: %2").arg(from, in.errorString()));
    QSaveFile out(to);
    if (!out.open(QIODevice::WriteOnly))
        return db::Status::ioError(QStringLiteral("%1: %2").arg(to, out.errorString()));
    for (;;) {
        const QByteArray block = in.read(1 << 20);
        if (block.isEmpty())
            break;
        if (out.write(block) != block.size())
            return db::Status::ioError(QStringLiteral("%1: %2").arg(to, out.errorString()));
    }
    if (in.error() != QFileDevice::NoError)
        return db::Status::ioError(QStringLiteral("%1: %2").arg(from, in.errorString()));
    if (!out.commit())
        return db::Status::ioError(QStringLiteral("%1: %2").arg(to, out.errorString()));
    return {};
}

QStringList copiesOf(const QString &dataDir, const QString &operation)
{
    QDir backups(dataDir + QStringLiteral("/backups"));
    QStringList names =
        backups.entryList({operation + QStringLiteral("-*")}, QDir::Dirs | QDir::NoDotAndDotDot);
    std::sort(names.begin(), names.end()); // the time in the name sorts them oldest first
    return names;
}

void pruneCopies(const QString &dataDir, const QString &operation)
{
    QStringList names = copiesOf(dataDir, operation);
    while (names.size() > kBackupsKept)
        QDir(dataDir + QStringLiteral("/backups/") + names.takeFirst()).removeRecursively();
}

} // namespace

QString importOperation(ImportKind kind)
{
    return kind == ImportKind::Customers ? QStringLiteral("import-customers")
                                         : QStringLiteral("import-products");
}

TableId importTable(ImportKind kind)
{
    return kind == ImportKind::Customers ? TableId::Customers : TableId::Products;
}

db::Status copyTableFiles(const db::Engine &engine, TableId id, const QString &operation, QString *folder)
{
    const QString dir = engine.directory();
    const QString base = dir + QStringLiteral("/backups/") + operation + QLatin1Char('-') +
                         QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    QString path = base;
    for (int n = 2; QFileInfo::exists(path); ++n)
        path = base + QStringLiteral("-%1").arg(n);
    if (!QDir().mkpath(path))
        return db::Status::ioError(QStringLiteral("%1: the folder cannot be made").arg(path));
    for (const QString &name : tableFiles(engine, id)) {
        const db::Status s = copyFile(dir + QLatin1Char('/') + name, path + QLatin1Char('/') + name);
        if (!s) {
            QDir(path).removeRecursively();
            return s;
        }
    }
    pruneCopies(dir, operation);
    *folder = path;
    return {};
}

db::Status markUndoable(const db::Engine &engine, TableId id, const QString &folder)
{
    QSaveFile out(folder + QLatin1Char('/') + kUndoFile);
    if (!out.open(QIODevice::WriteOnly))
        return db::Status::ioError(QStringLiteral("%1: %2").arg(out.fileName(), out.errorString()));
    out.write(fingerprint(engine.directory(), id).toUtf8());
    if (!out.commit())
        return db::Status::ioError(QStringLiteral("%1: %2").arg(out.fileName(), out.errorString()));
    return {};
}

QString undoableImport(const QString &dataDir, ImportKind kind)
{
    const QStringList names = copiesOf(dataDir, importOperation(kind));
    if (names.isEmpty())
        return {};
    // Only the newest copy: an older import cannot be undone past a newer one.
    const QString folder = dataDir + QStringLiteral("/backups/") + names.last();
    QFile noted(folder + QLatin1Char('/') + kUndoFile);
    if (!noted.open(QIODevice::ReadOnly))
        return {};
    if (QString::fromUtf8(noted.readAll()) != fingerprint(dataDir, importTable(kind)))
        return {};
    return folder;
}

db::Status undoLastImport(db::Engine &engine, ImportKind kind, QString *folderOut)
{
    const QString dir = engine.directory();
    const QString folder = undoableImport(dir, kind);
    if (folder.isEmpty())
        return db::Status::notFound(QStringLiteral("There is no import to undo."));
    const TableId id = importTable(kind);
    const TableDef &def = tableDef(id);

    db::Status s = engine.closeAll();
    if (!s)
        return s;
    // Held exclusively while its files are replaced, so another copy of the program cannot be
    // working on it.
    const db::Access access = engine.access();
    const bool autoIndex = engine.autoOpenIndex();
    engine.setAccess(db::Access::Exclusive);
    engine.setAutoOpenIndex(false);
    db::Table *table = engine.open(def.name, &s);
    engine.setAutoOpenIndex(autoIndex);
    engine.setAccess(access);
    if (!table)
        return s;

    const QStringList copied = QDir(folder).entryList(QDir::Files);
    bool indexCopied = false;
    for (const QString &name : copied) {
        if (name == kUndoFile || name == kUndoneFile)
            continue;
        if (!name.endsWith(QStringLiteral(".dbf"), Qt::CaseInsensitive) &&
            !name.endsWith(QStringLiteral(".dbt"), Qt::CaseInsensitive))
            indexCopied = true;
        const QString target = dir + QLatin1Char('/') + name;
        s = copyFile(folder + QLatin1Char('/') + name, target);
        if (!s)
            break;
    }
    engine.close(def.name);
    if (!s)
        return s;
    if (!indexCopied && def.indexed()) {
        // The table had no index before the import: build it for the records put back.
        engine.setAccess(db::Access::Exclusive);
        engine.setAutoOpenIndex(false);
        table = engine.open(def.name, &s);
        engine.setAutoOpenIndex(autoIndex);
        if (table)
            s = table->createIndexGroup(def.tags, true);
        engine.close(def.name);
        engine.setAccess(access);
        if (!s)
            return s;
    }
    QFile::rename(folder + QLatin1Char('/') + kUndoFile, folder + QLatin1Char('/') + kUndoneFile);
    if (folderOut)
        *folderOut = folder;
    return {};
}

} // namespace tallyra
