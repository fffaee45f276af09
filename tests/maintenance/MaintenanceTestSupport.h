#pragma once

// Helpers of the backup, restore, upgrade and delete-customers tests: a business on disk, the
// state of its files and tables to compare before and after, and moves of whole folders that
// stand for swapping disks.

#include "Schema.h"
#include "Tables.h"
#include "engine/Dump.h"
#include "engine/Engine.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <map>

namespace mtest {

using Snapshot = std::map<QString, QByteArray>;

// Every file directly in `dir` (sub-folders left out), by name.
inline Snapshot snapshot(const QString &dir)
{
    Snapshot files;
    const QStringList names = QDir(dir).entryList(QDir::Files | QDir::Hidden);
    for (const QString &name : names) {
        QFile f(QDir(dir).filePath(name));
        if (f.open(QIODevice::ReadOnly))
            files[name] = f.readAll();
    }
    return files;
}

// The names whose bytes differ between two snapshots or that exist in one only.
inline QStringList changed(const Snapshot &before, const Snapshot &after)
{
    QStringList names;
    for (const auto &[name, bytes] : before) {
        auto it = after.find(name);
        if (it == after.end() || it->second != bytes)
            names << name;
    }
    for (const auto &[name, bytes] : after) {
        if (!before.count(name))
            names << name;
    }
    return names;
}

inline QByteArray bytes(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

// Every record of every table of the schema, one dump line each, by table: the data as a
// reader sees them, whatever the memo file's layout.
inline std::map<QString, QList<QByteArray>> dumpTables(const QString &dir)
{
    std::map<QString, QList<QByteArray>> all;
    db::Engine engine(dir);
    engine.setAutoOpenIndex(false);
    for (const tallyra::TableDef &def : tallyra::schemaTables()) {
        db::Status s;
        db::Table *t = engine.open(def.name, &s);
        QList<QByteArray> &lines = all[def.name];
        if (!t) {
            lines << "cannot open: " + s.toString().toUtf8();
            continue;
        }
        for (bool more = t->go(1); more; more = t->skip(1))
            lines << db::dumpRecord(*t);
        engine.closeAll();
    }
    return all;
}

// "" when every table opens with its index group and passes the engine's checks, else the first fault.
inline QString checkAll(const QString &dir)
{
    db::Engine engine(dir);
    for (const tallyra::TableDef &def : tallyra::schemaTables()) {
        const tallyra::OpenResult open = tallyra::openTable(engine, def.id);
        if (!open)
            return def.name + ": " + open.detail();
        QStringList report;
        const db::Status s = open.table->check(&report);
        engine.closeAll();
        if (!s.isOk())
            return def.name + ": " + s.toString() + " " + report.join("; ");
    }
    return {};
}

// Moves every file of `from` into `to` (made when missing): a disk taken out of the drive.
inline bool moveFiles(const QString &from, const QString &to)
{
    QDir().mkpath(to);
    const QStringList names = QDir(from).entryList(QDir::Files | QDir::Hidden);
    for (const QString &name : names) {
        QFile::remove(QDir(to).filePath(name));
        if (!QFile::rename(QDir(from).filePath(name), QDir(to).filePath(name)))
            return false;
    }
    return true;
}

} // namespace mtest
