#pragma once

#include "FileIo.h"

#include <QByteArray>
#include <memory>

namespace db {

// The .DBT memo file: 512-byte blocks, block 0 a header whose first four bytes (little endian)
// give the next free block. A memo is its bytes followed by two 0x1A, in as many whole blocks as
// that needs; blocks are never reused, so rewriting a memo abandons its old blocks until the
// memo file is compacted.
class MemoFile
{
public:
    static constexpr int kBlockSize = 512;

    static Status create(FileSystem &fs, const QString &path);
    static Status open(FileSystem &fs, const QString &path, bool readOnly, std::unique_ptr<MemoFile> *out);

    // The memo at block, up to its first 0x1A. Corruption when the block lies outside the file.
    Status read(std::uint32_t block, QByteArray *text);
    // Stores text (0x1A bytes removed) in new blocks and returns the first; an empty text stores
    // nothing and gives block 0. On failure the file is cut back to its former length.
    Status write(QByteArrayView text, std::uint32_t *block);
    Status sync();
    std::uint32_t nextFree() const { return m_nextFree; }
    const QString &path() const { return m_file->path(); }
    // The file has been replaced: when this object goes, its file is closed in the background
    // (see File::closeInBackground).
    void closeInBackground() { m_file->closeInBackground(); }

private:
    std::unique_ptr<File> m_file;
    std::uint32_t m_nextFree = 1;
    bool m_readOnly = false;
};

} // namespace db
