#pragma once

#include "Status.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <memory>

namespace db {

// Byte-level access to one open file. Every engine read and write goes through this interface so
// that tests can make a disk "fill up" after a number of bytes or fail a sync.
class File
{
public:
    virtual ~File() = default;
    // Reads exactly n bytes at offset; a short read is a Corruption status naming the file and offset.
    virtual Status read(std::uint64_t offset, void *buffer, std::size_t n) = 0;
    // Reads up to n bytes at offset and returns how many were read (0 at end of file), or -1 on error.
    virtual std::int64_t readSome(std::uint64_t offset, void *buffer, std::size_t n) = 0;
    virtual Status write(std::uint64_t offset, const void *buffer, std::size_t n) = 0;
    virtual std::uint64_t size() const = 0;
    virtual Status truncate(std::uint64_t size) = 0;
    // Makes what was written through this object durable. Nothing written since the last sync:
    // returns at once.
    virtual Status sync() = 0;
    // Asks the system to start writing these bytes to the disk now, so that a later sync() finds
    // less to wait for. Only a hint: the bytes are durable after sync(), not before.
    virtual void startWriteback(std::uint64_t /*offset*/, std::uint64_t /*n*/) {}
    // Tells the system the file's cached pages will not be read again soon (the file is about to
    // be replaced), so it drops them now rather than when the file goes. Only a hint.
    virtual void dropCachedPages() {}
    // When this object goes, its descriptor is closed on a thread of its own. The last close of a
    // replaced file makes the system free its blocks, which on a file system that discards freed
    // blocks takes about a third as long as writing them; nobody needs to wait for that.
    virtual void closeInBackground() {}
    // Advisory lock on the whole file: shared (many readers) or exclusive. Never waits: a lock held
    // by another open file description gives a Locked status.
    virtual Status lock(bool exclusive) = 0;
    virtual const QString &path() const = 0;
    // The operating system's descriptor, for memory-mapped reads; -1 when there is none.
    virtual int nativeHandle() const { return -1; }
};

enum class OpenMode
{
    ReadWrite,
    ReadOnly,
    Create
};

// Creates File objects and does the directory operations the engine needs. The default one
// works on the real file system; tests substitute one that injects failures.
class FileSystem
{
public:
    virtual ~FileSystem() = default;
    virtual Status open(const QString &path, OpenMode mode, std::unique_ptr<File> *file) = 0;
    virtual Status rename(const QString &from, const QString &to) = 0;
    virtual Status remove(const QString &path) = 0;
    virtual bool exists(const QString &path) const = 0;
    // The names of the plain files in dir (no paths, no sub-directories), in no particular order.
    virtual Status list(const QString &dir, QStringList *names) const = 0;

    static std::shared_ptr<FileSystem> posix();
};

// Reads a whole small file (at most maxBytes; a longer file is a Corruption status).
Status readSmallFile(FileSystem &fs, const QString &path, QByteArray *content,
                     std::size_t maxBytes = 64 * 1024);
// Writes content to a new file at path (replacing a left-over file of that name) and syncs it;
// on failure the partial file is removed.
Status writeNewFile(FileSystem &fs, const QString &path, QByteArrayView content);

} // namespace db
