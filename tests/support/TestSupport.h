#pragma once

#include "engine/FileIo.h"

#include <QDate>
#include <QIODevice>
#include <QJsonArray>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <memory>
#include <mutex>

namespace testsupport {

// The project's fixture folder (tests/fixtures), or one file in it.
QString fixturePath(const QString &relative = {});
// The folder holding the built programs (tallyra-init, tallyra-dbtool).
QString binPath(const QString &program = {});

// Writes `bytes` as the whole file; false when that fails.
bool writeFile(const QString &path, const QByteArray &bytes);
// The whole file; empty when it cannot be read.
QByteArray readFile(const QString &path);
// Record count of a table (deleted records included) read with an engine of the test's own, or
// -1 when it cannot be opened.
qint64 recordCount(const QString &dir, const QString &table);
// Name and SHA-1 of every file of the directory (not of its sub-folders): equal snapshots
// before and after show that nothing was written.
QStringList snapshot(const QString &dir);

// A fresh temporary data directory, removed when it goes out of scope.
class TempDataDir
{
public:
    TempDataDir();
    QString path() const { return m_dir.path(); }
    QString file(const QString &name) const { return m_dir.filePath(name); }
    // Copies every file of a fixture folder (relative to tests/fixtures) into the directory,
    // writable. Returns false when a copy fails.
    bool copyFixtures(const QString &folder);
    bool copyFile(const QString &from, const QString &toName);

private:
    QTemporaryDir m_dir;
};

// A file system whose writes fail once a budget of written bytes is used up, as a full disk
// does: a write that would pass the budget writes what fits and fails with an I/O error.
// Only writes that make a file longer count when growthOnly is set (a real full disk still lets
// existing bytes be overwritten).
class FailingFileSystem : public db::FileSystem
{
public:
    explicit FailingFileSystem(std::int64_t budget, bool growthOnly = true);
    db::Status open(const QString &path, db::OpenMode mode, std::unique_ptr<db::File> *file) override;
    db::Status rename(const QString &from, const QString &to) override;
    db::Status remove(const QString &path) override;
    bool exists(const QString &path) const override;
    db::Status list(const QString &dir, QStringList *names) const override;

    // Counting from now, the n-th write through any file of this file system fails after writing
    // half its bytes (0: none fails). writesDone() tells how many writes were made since.
    void failAtWrite(std::int64_t n);
    std::int64_t writesDone() const { return m_writes->done; }
    struct WriteCounter
    {
        std::mutex lock; // the engine writes from two threads while it builds or packs tags
        std::int64_t done = 0;
        std::int64_t failAt = 0;
        bool skipSyncs = false;
    };

    void setBudget(std::int64_t budget) { *m_budget = budget; }
    // Without syncs, for tests of what the engine reads back rather than of what survives a
    // crash: a close then does not wait for the disk.
    void skipSyncs() { m_writes->skipSyncs = true; }
    std::int64_t budget() const { return *m_budget; }

private:
    std::shared_ptr<std::int64_t> m_budget;
    bool m_growthOnly;
    std::shared_ptr<WriteCounter> m_writes;
    std::shared_ptr<db::FileSystem> m_real;
};

// A QIODevice that accepts `limit` bytes and then fails every write: a full disk for exports.
class FailDevice : public QIODevice
{
public:
    explicit FailDevice(qint64 limit, QObject *parent = nullptr);
    QByteArray written() const { return m_data; }

protected:
    qint64 readData(char *, qint64) override { return -1; }
    qint64 writeData(const char *data, qint64 len) override;

private:
    qint64 m_limit;
    QByteArray m_data;
};

// Fixes "today" for the lifetime of the object.
class FixedClock
{
public:
    explicit FixedClock(const QDate &date);
    ~FixedClock();
};

// Every table of the schema, empty, with its index group, in dir.
bool createSchemaTables(const QString &dir);

// The records of a table as Debian's python3-dbfread reads them (/usr/bin/python3): one object
// per record, field name to value (texts and memos as strings, numbers, logicals as booleans,
// dates as "yyyy-mm-dd", blank values as null). Empty, with a warning, when the reader fails.
QJsonArray dbfreadRows(const QString &file);

} // namespace testsupport
