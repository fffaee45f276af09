#pragma once

// The inside of NtxIndex, shared by its source files: NtxIndex.cpp (open, close and the public
// calls), NtxPageCache.cpp (the page cache and writing pages back), NtxTree.cpp (cursor moves and
// tree changes), NtxBuild.cpp (the bulk builder) and NtxCheck.cpp (the checker).

#include "NtxIndex.h"
#include "NtxPage.h"

#include <QStringList>
#include <algorithm>
#include <bitset>
#include <cstring>

namespace db {

namespace ntx {

inline constexpr int kMaxDepth = 40;                      // deeper than any real tree: a loop or damage
inline constexpr std::size_t kCacheFrames = 8192;         // pages held in memory (8 MiB)
inline constexpr std::size_t kCommitWhenDirty = 6144;     // commit before a change once this many are dirty
inline constexpr int kGrowPages = 32;                     // reserve() extends the file by at least this many
inline constexpr std::size_t kStagePages = 64;            // pages written by one call when they are adjacent
inline constexpr std::uint32_t kMaxFileEnd = 0xFFFFF000u; // page offsets are 32-bit byte offsets

// Reads an NTX header (page 0) of a file of size bytes; Corruption naming path on a fault.
Status parseHeader(const QString &path, const char *h, std::uint64_t size, NtxInfo *info, Geometry *g,
                   std::uint32_t *root, std::uint32_t *freeHead);

struct Frame
{
    std::uint32_t offset = 0; // 0: the frame holds no page
    int index = 0;            // position in Impl::frames
    bool dirty = false;
    bool checked = false; // passed checkPage() since it was read
    bool inLru = false;
    int pins = 0;
    int prev = -1;
    int next = -1;
    alignas(8) char data[kPageSize];
};

struct Level
{
    std::uint32_t page;
    int idx; // top level: the current key; others: the child descended into
    int n;   // keys in the page when the level was made
};

} // namespace ntx

using namespace ntx;

struct NtxIndex::Impl
{
    ~Impl() { unmap(); }

    std::unique_ptr<File> file;
    QString filePath;
    NtxInfo info;
    Geometry g;
    bool readOnly = false;
    bool closed = false;
    char header[kPageSize];
    std::uint16_t version = 0;
    std::uint64_t physSize = 0; // bytes in the file as far as this open knows

    struct State
    {
        std::uint32_t root = 0;
        std::uint32_t freeHead = 0;
        std::uint32_t fileEnd = 0; // where the next page taken from the end of the file goes
        int depth = 1;
    };
    State cur;
    State committed;
    bool headerDirty = false;
    bool marked = false;      // the "in update" mark is on disk
    bool writeFailed = false; // the file may hold part of a commit: keep the mark at close
    Status broken;            // a change stopped halfway: refuse further changes
    Status error;             // the last cursor failure
    bool modified = false;    // a page changed during the current change

    // Page cache: clean frames sit in an LRU list; dirty frames stay until commit or discard.
    std::vector<std::unique_ptr<Frame>> frames;
    std::vector<int> freeFrames;
    std::vector<std::int32_t> pageMap; // page number -> frame, -1 when not cached
    int lruHead = -1;
    int lruTail = -1;
    std::vector<int> dirty;
    std::vector<int> pinned;
    bool pinning = false;

    // The file mapped read-only: pages missing from the cache are copied from it rather than
    // read one system call each (readPage). It covers the pages in use when it was made, which
    // stay in the file as long as it is open; pages added since are read from the file until
    // there are enough of them to map it again.
    const char *map = nullptr;
    std::uint64_t mapped = 0;
    bool unmappable = false;
    void remap();
    void unmap();

    // Cursor
    std::vector<Level> levels;
    bool valid = false;
    Frame *hint = nullptr; // the frame of the cursor's page, checked by offset before use

    std::vector<char> keyBuf;
    std::vector<char> scratch;
    std::vector<char> pending;
    std::vector<char> stage;

    // RAII: pages fetched during a change stay in memory until it ends.
    struct ChangeScope
    {
        Impl &d;
        explicit ChangeScope(Impl &impl)
            : d(impl)
        {
            d.pinning = true;
            d.modified = false;
            d.valid = false;
            d.levels.clear();
        }
        ~ChangeScope()
        {
            for (int idx : d.pinned) {
                Frame *f = d.frames[static_cast<std::size_t>(idx)].get();
                if (f->pins > 0)
                    --f->pins;
            }
            d.pinned.clear();
            d.pinning = false;
        }
    };

    Status corrupt(const QString &what) const
    {
        return Status::corruption(filePath + QStringLiteral(": ") + what);
    }

    void setGeometry(const Geometry &geometry)
    {
        g = geometry;
        keyBuf.assign(static_cast<std::size_t>(g.keySize), ' ');
        scratch.assign(static_cast<std::size_t>(2 * g.max + 4) * static_cast<std::size_t>(g.itemSize), 0);
        pending.assign(static_cast<std::size_t>(g.itemSize), 0);
        levels.reserve(kMaxDepth + 2);
    }

    int compare(const char *a, const char *b, std::size_t n) const
    {
        const int c = std::memcmp(a, b, n);
        return info.descending ? -c : c;
    }

    // First position in the page whose key is >= k (upper: > k), comparing len bytes.
    int lowerBound(const char *p, const char *k, int len) const
    {
        int lo = 0, hi = count(p);
        while (lo < hi) {
            const int mid = (lo + hi) / 2;
            if (compare(keyAt(p, mid), k, static_cast<std::size_t>(len)) < 0)
                lo = mid + 1;
            else
                hi = mid;
        }
        return lo;
    }
    int upperBound(const char *p, const char *k, int len) const
    {
        int lo = 0, hi = count(p);
        while (lo < hi) {
            const int mid = (lo + hi) / 2;
            if (compare(keyAt(p, mid), k, static_cast<std::size_t>(len)) <= 0)
                lo = mid + 1;
            else
                hi = mid;
        }
        return lo;
    }

    void setKey(QByteArrayView key)
    {
        const std::size_t n = std::min<std::size_t>(static_cast<std::size_t>(key.size()), keyBuf.size());
        if (n)
            std::memcpy(keyBuf.data(), key.data(), n);
        std::memset(keyBuf.data() + n, ' ', keyBuf.size() - n);
    }

    // ----- cache -----

    void lruRemove(int idx);

    void lruPushFront(int idx);

    void ensureMap(std::uint32_t fileEnd);

    int grabFrame();

    void pin(Frame *f);

    bool validPointer(std::uint32_t off) const;

    // The page at off; tree pages are checked the first time they are read.
    Status fetch(std::uint32_t off, Frame **out, bool treePage = true);

    // Page sanity: key count, offset table, child pointers. A page whose offset table is not a
    // permutation of the item slots but whose used items are sound is laid out afresh in memory.
    Status checkPage(Frame *f);
    Status checkPageBytes(char *page, std::uint32_t offset);
    // A checked copy of the tree page at off, as fetch() would give it, without taking a frame of
    // the cache (a walk of the whole tree would otherwise push out every page in use).
    Status copyPage(std::uint32_t off, char *out);
    // Reads the page at off from the file; a page past its end is a Corruption naming both.
    Status readPage(std::uint32_t off, char *out);
    // check() and walkInOrder(); recordsOnce: also test that no record is indexed twice.
    Status walk(const std::function<void(QByteArrayView, std::uint32_t)> &visit, NtxTreeStats *stats,
                bool recordsOnce);

    void markDirty(Frame *f);

    void initEmpty(Frame *f) { layoutPage(g, f->data, nullptr, 0, 0); }

    Status freeNext(const Frame *f, std::uint32_t *next) const;

    // A page for new content: from the free list first, else from the end of the file.
    Status allocPage(Frame **out);

    void freePage(Frame *f);

    // ----- writing -----

    void writeHeaderFields(bool mark);

    // The file's length found by reading, for when another program may have changed it.
    std::uint64_t probeSize() const;

    // Before the first change: when another program changed the file since it was opened here
    // (its commits change the header), forget every cached page and start from the file again.
    Status refresh();

    // Before the first write after open: the mark says "changes under way" until close.
    //
    // The mark goes with an exclusive lock on the file, held until close: another program may
    // not change the file at the same time (it would work from stale pages), and an open that
    // finds the mark set can tell a crash (nobody holds the lock) from a live writer.
    Status ensureMarked();

    // Writes the dirty pages that grow the file (growth) or those that do not, joining adjacent
    // pages into one write. dirty is sorted by offset.
    Status writeDirty(bool growth, std::uint64_t oldSize);

    Status commit();

    void discardChanges();

    Status beginChange();

    Status endChange(const Status &s);

    // ----- cursor -----

    Status depthError(std::uint32_t off) const;

    Status descendLeft(std::uint32_t off);

    Status descendRight(std::uint32_t off);

    void settleForward();

    void settleBackward();

    Status stepNext();

    Status stepPrev();

    // Positions on the first entry >= k (comparing len bytes); path empty when there is none.
    Status seekPath(const char *k, int len);

    // Positions on the entry (keyBuf, recNo), scanning forward over equal keys.
    Status findPath(std::uint32_t recNo, bool *found);

    bool finish(const Status &s);

    bool startMove();

    const char *currentItem();

    // ----- changes -----

    // Copies the page's items in order to dst, with `item` put at position at (unless null).
    int gather(const char *p, char *dst, int at = -1, const char *item = nullptr) const;

    // Spreads the items of the neighbours a and b (a left of b under separator `sep` of parent
    // pp) and the separator between them evenly over the two, with item added at position `at`
    // of that sequence when given.
    void redistribute(Frame *pp, int sep, Frame *a, Frame *b, int at, const char *item);

    // A full page at path level lv gets `item`: share with a neighbour that has room.
    Status balanceInsert(std::size_t lv, const char *item, bool *done);

    Status insertKey(std::uint32_t recNo);

    Status removeKey(std::uint32_t recNo);

    // Walks up from level lv joining or balancing pages left with fewer than half the keys.
    Status rebalance(std::size_t lv);
};

} // namespace db
