#pragma once

#include "Table.h"

#include <QString>
#include <map>
#include <memory>

namespace db {

// The process's one engine handle: the working directory, the settings every open follows, and
// the tables now open. Tables are opened by bare name ("CUST5"), matched to files on disk without
// regard to case, and closed all together at the end of a command.
class Engine
{
public:
    explicit Engine(QString directory, std::shared_ptr<FileSystem> fs = FileSystem::posix());
    ~Engine();

    const QString &directory() const { return m_directory; }
    const std::shared_ptr<FileSystem> &fileSystem() const { return m_fs; }

    // Access mode of later opens. Exclusive is refused with a Locked status while another open
    // (in this or another process) holds the file; it never waits.
    void setAccess(Access access) { m_access = access; }
    Access access() const { return m_access; }
    // Whether opening a table also opens its index group <TABLE>.cgp.
    void setAutoOpenIndex(bool on) { m_autoOpenIndex = on; }
    bool autoOpenIndex() const { return m_autoOpenIndex; }
    // When on, creating an index group refuses to overwrite existing files.
    void setIndexSafety(bool on) { m_indexSafety = on; }
    bool indexSafety() const { return m_indexSafety; }
    // The date tables opened later write into their headers; the system date unless set.
    void setToday(Today today) { m_today = std::move(today); }
    const Today &today() const { return m_today; }

    // Opens the table (or returns it when already open). Returns nullptr with *status set on failure.
    // The pointer stays valid until close() of that name, closeAll() or the engine's destruction;
    // every later open of the same name returns the same table, with its cursor where it was.
    // Before opening, a rewrite of the table that a crash interrupted is finished or undone (see
    // Table::pack), unless another open holds the table.
    Table *open(const QString &bareName, Status *status = nullptr);
    Table *table(const QString &bareName) const; // an open table, or nullptr
    Status close(const QString &bareName);
    // Closes every open table, writing pending records and syncing files. Returns the first failure.
    Status closeAll();

    // The real name on disk of a file in the directory, matched without regard to case; empty
    // when none exists.
    QString findFile(const QString &name) const;

private:
    QString m_directory;
    std::shared_ptr<FileSystem> m_fs;
    Access m_access = Access::Shared;
    bool m_autoOpenIndex = true;
    bool m_indexSafety = true;
    Today m_today = [] { return QDate::currentDate(); };
    std::map<QString, std::unique_ptr<Table>> m_open; // key: upper-case bare name
};

} // namespace db
