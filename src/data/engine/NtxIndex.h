#pragma once

#include "FileIo.h"
#include "Status.h"
#include "Table.h"

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <memory>
#include <vector>

namespace db {

// What an NTX header says about its tag.
struct NtxInfo
{
    QByteArray expression; // stored exactly as given
    QByteArray filter;     // FOR condition text, empty for none
    QByteArray tagName;    // up to 11 bytes, may be empty
    int keySize = 0;
    int keyDecimals = 0;
    bool unique = false;
    bool descending = false;
};

// Keys collected for a bulk build: keySize bytes per entry, contiguous, with their record numbers.
struct KeyArray
{
    int keySize = 0;
    std::vector<char> keys;
    std::vector<std::uint32_t> recNos;

    void reserve(std::size_t n);
    void add(const char *key, std::uint32_t recNo); // key is keySize bytes
    std::size_t size() const { return recNos.size(); }
};

// What check() found besides faults: the shape of the tree.
struct NtxTreeStats
{
    int depth = 0;               // levels from the root to the leaves
    std::uint32_t pages = 0;     // pages in the tree
    std::uint32_t freePages = 0; // pages on the free-page list
    std::uint64_t keys = 0;      // entries
    int minKeys = 0;             // fewest keys in a page other than the root (0 for a root-only tree)
    std::uint64_t fileSize = 0;  // bytes in the file now
};

// One Clipper-style NTX index file: a B-tree of 1024-byte pages with keys in branch pages,
// offset tables, byte-offset child pointers and a free-page list.
//
// The index has one cursor. Changes (insert/remove) go to a page cache and reach the file at
// commit(), which first writes every page that grows the file and only then overwrites existing
// pages and the header: a full disk fails before anything on disk is changed, and discard()
// then drops the uncommitted changes. While the file holds changes not yet closed cleanly its
// header carries an "in update" mark, so an index left by a crash is reported on the next open.
class NtxIndex
{
public:
    ~NtxIndex();

    // Writes a new index holding entries (sorted here by key, then by record number; unique keeps
    // the first of equal keys) to a temporary file beside path, syncs it and renames it over path.
    static Status build(FileSystem &fs, const QString &path, const NtxInfo &info, KeyArray &&entries,
                        const Progress &progress = {});
    // The two halves of build(), so that several tags can be sorted at once on other threads.
    // sortForBuild touches nothing but its arguments (safe on any thread); it gives the entries'
    // positions in index order, without the duplicates a unique tag drops, or an empty list when
    // entries do not hold keys of info's key size. buildSorted writes the file as build() does.
    static std::vector<std::uint32_t> sortForBuild(const NtxInfo &info, const KeyArray &entries);
    static Status buildSorted(FileSystem &fs, const QString &path, const NtxInfo &info,
                              const KeyArray &entries, const std::vector<std::uint32_t> &order,
                              const Progress &progress = {});
    // Writes the index to exactly path (a new file; a left-over one is replaced) and syncs it, with
    // no rename: for a rewrite that swaps several files in at once. On failure path is removed.
    // entries in the given order must already be in index order (order may then be 0, 1, 2 ...).
    static Status writeSorted(FileSystem &fs, const QString &path, const NtxInfo &info,
                              const KeyArray &entries, const std::vector<std::uint32_t> &order,
                              const Progress &progress = {});
    // Opens and checks the header; a file left "in update" or failing the header checks is a
    // Corruption status naming the file. A file another open is changing right now (it holds
    // the mark and the file's lock) gives Locked instead.
    static Status open(FileSystem &fs, const QString &path, bool readOnly, std::unique_ptr<NtxIndex> *out);

    const NtxInfo &info() const;
    const QString &path() const;

    // Cursor. Each returns false at either end (cursor then invalid) or on failure (see error()).
    bool first();
    bool last();
    bool next();
    bool prev();
    // First entry whose key is >= key, comparing only key.size() bytes when key is shorter than
    // the key size (a partial key acts as a prefix). Found when that entry starts with key.
    SeekResult seek(QByteArrayView key);
    // Positions on the entry (key, recNo); false when it is not in the index.
    bool find(QByteArrayView key, std::uint32_t recNo);
    bool valid() const;
    QByteArray key() const;
    // The current key without a copy; valid until the next call on this index.
    QByteArrayView keyView() const;
    std::uint32_t recNo() const;
    double relativePosition() const;
    bool setRelativePosition(double position);

    // Changes; the cursor is invalid afterwards. key is padded with blanks or cut to the key size.
    // Makes sure the next `pages` page allocations need no growth of the file, extending it by a
    // chunk of zeroed pages when needed (free-list pages count). The table calls this before a
    // change, so a full disk is found before anything changes and the later page writes only
    // overwrite space the file already has.
    // The first change after open takes an exclusive lock on the file until close (Locked when
    // another open holds it) and re-reads the file if another open changed it meanwhile.
    Status reserve(int pages);
    Status insert(QByteArrayView key, std::uint32_t recNo);
    Status remove(QByteArrayView key, std::uint32_t recNo);
    // Writes the dirty pages and the header to the file (no sync). Called by the table when it
    // syncs or closes; the page cache may also write dirty pages earlier when it evicts them.
    // (It does so by committing everything between two changes, once more pages are dirty than
    // it holds, so the file always holds whole changes.) On a full disk nothing on disk changes,
    // the uncommitted changes are dropped and the index is as it was at the last commit.
    Status commit();
    void discard();
    // Depth of the tree (1 for a root-only tree), for reserve().
    int depth() const;

    // Walks the whole tree checking page sanity, key order and depth; calls visit for every entry
    // in order. Corruption status with the page offset on the first fault.
    Status check(const std::function<void(QByteArrayView key, std::uint32_t recNo)> &visit = {});
    // The same, also reporting the tree's shape (on a fault: the keys and pages seen up to it).
    Status check(const std::function<void(QByteArrayView key, std::uint32_t recNo)> &visit,
                 NtxTreeStats *stats);
    // The walk of check() without its test that no record is indexed twice, which keeps a list of
    // every record number: for a visitor that tests it itself.
    Status walkInOrder(const std::function<void(QByteArrayView key, std::uint32_t recNo)> &visit);
    // The file is about to be replaced: the system may drop its cached pages now.
    void dropCachedPages();
    // The file has been replaced: when this object goes, its file is closed in the background
    // (see File::closeInBackground).
    void closeInBackground();

    // Commits, syncs and clears the "in update" mark. After a failed write or a change that
    // stopped halfway (a damaged page found in the middle), the mark stays, so the next open
    // reports the file as not closed cleanly and the table rebuilds it.
    Status close();
    Status error() const;

private:
    NtxIndex();
    struct Impl;
    std::unique_ptr<Impl> m;
};

} // namespace db
