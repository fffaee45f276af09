#include "NtxIndex.h"

#include "NtxPage.h"

#include <QStringList>

#include <algorithm>
#include <bitset>
#include <cstring>

namespace db {

using namespace ntx;

namespace {

constexpr int kMaxDepth = 40;                // deeper than any real tree: a loop or damage
constexpr std::size_t kCacheFrames = 8192;   // pages held in memory (8 MiB)
constexpr std::size_t kCommitWhenDirty = 6144; // commit before a change once this many are dirty
constexpr int kGrowPages = 32;               // reserve() extends the file by at least this many
constexpr std::size_t kStagePages = 64;      // pages written by one call when they are adjacent
constexpr std::uint32_t kMaxFileEnd = 0xFFFFF000u;  // page offsets are 32-bit byte offsets

} // namespace

void KeyArray::reserve(std::size_t n)
{
    keys.reserve(n * static_cast<std::size_t>(keySize));
    recNos.reserve(n);
}

void KeyArray::add(const char *key, std::uint32_t recNo)
{
    keys.insert(keys.end(), key, key + keySize);
    recNos.push_back(recNo);
}

// ---------------------------------------------------------------------------------------------

namespace {

Status parseHeader(const QString &path, const char *h, std::uint64_t size, NtxInfo *info, Geometry *g,
                   std::uint32_t *root, std::uint32_t *freeHead);

struct Frame
{
    std::uint32_t offset = 0;  // 0: the frame holds no page
    int index = 0;             // position in Impl::frames
    bool dirty = false;
    bool checked = false;  // passed checkPage() since it was read
    bool inLru = false;
    int pins = 0;
    int prev = -1;
    int next = -1;
    alignas(8) char data[kPageSize];
};

struct Level
{
    std::uint32_t page;
    int idx;  // top level: the current key; others: the child descended into
    int n;    // keys in the page when the level was made
};

} // namespace

struct NtxIndex::Impl
{
    std::unique_ptr<File> file;
    QString filePath;
    NtxInfo info;
    Geometry g;
    bool readOnly = false;
    bool closed = false;
    char header[kPageSize];
    std::uint16_t version = 0;
    std::uint64_t physSize = 0;  // bytes in the file as far as this open knows

    struct State
    {
        std::uint32_t root = 0;
        std::uint32_t freeHead = 0;
        std::uint32_t fileEnd = 0;  // where the next page taken from the end of the file goes
        int depth = 1;
    };
    State cur;
    State committed;
    bool headerDirty = false;
    bool marked = false;       // the "in update" mark is on disk
    bool writeFailed = false;  // the file may hold part of a commit: keep the mark at close
    Status broken;             // a change stopped halfway: refuse further changes
    Status error;              // the last cursor failure
    bool modified = false;     // a page changed during the current change

    // Page cache: clean frames sit in an LRU list; dirty frames stay until commit or discard.
    std::vector<std::unique_ptr<Frame>> frames;
    std::vector<int> freeFrames;
    std::vector<std::int32_t> pageMap;  // page number -> frame, -1 when not cached
    int lruHead = -1;
    int lruTail = -1;
    std::vector<int> dirty;
    std::vector<int> pinned;
    bool pinning = false;

    // Cursor
    std::vector<Level> levels;
    bool valid = false;
    Frame *hint = nullptr;  // the frame of the cursor's page, checked by offset before use

    std::vector<char> keyBuf;
    std::vector<char> scratch;
    std::vector<char> pending;
    std::vector<char> stage;

    // RAII: pages fetched during a change stay in memory until it ends.
    struct ChangeScope
    {
        Impl &d;
        explicit ChangeScope(Impl &impl) : d(impl)
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

    Status corrupt(const QString &what) const { return Status::corruption(filePath + QStringLiteral(": ") + what); }

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

    void lruRemove(int idx)
    {
        Frame *f = frames[static_cast<std::size_t>(idx)].get();
        if (f->prev >= 0)
            frames[static_cast<std::size_t>(f->prev)]->next = f->next;
        else
            lruHead = f->next;
        if (f->next >= 0)
            frames[static_cast<std::size_t>(f->next)]->prev = f->prev;
        else
            lruTail = f->prev;
        f->prev = f->next = -1;
        f->inLru = false;
    }

    void lruPushFront(int idx)
    {
        Frame *f = frames[static_cast<std::size_t>(idx)].get();
        f->prev = -1;
        f->next = lruHead;
        if (lruHead >= 0)
            frames[static_cast<std::size_t>(lruHead)]->prev = idx;
        lruHead = idx;
        if (lruTail < 0)
            lruTail = idx;
        f->inLru = true;
    }

    void ensureMap(std::uint32_t fileEnd)
    {
        const std::size_t pages = fileEnd / kPageSize + 1;
        if (pageMap.size() < pages)
            pageMap.resize(std::max(pages, pageMap.size() + pageMap.size() / 2), -1);
    }

    int grabFrame()
    {
        if (!freeFrames.empty()) {
            const int idx = freeFrames.back();
            freeFrames.pop_back();
            return idx;
        }
        if (frames.size() >= kCacheFrames) {
            for (int idx = lruTail; idx >= 0; idx = frames[static_cast<std::size_t>(idx)]->prev) {
                Frame *f = frames[static_cast<std::size_t>(idx)].get();
                if (f->pins > 0)
                    continue;
                lruRemove(idx);
                pageMap[f->offset / kPageSize] = -1;
                f->offset = 0;
                f->checked = false;
                return idx;
            }
        }
        // Below the cache size, or everything in it is pinned by the change under way.
        frames.push_back(std::make_unique<Frame>());
        frames.back()->index = static_cast<int>(frames.size() - 1);
        return frames.back()->index;
    }

    void pin(Frame *f)
    {
        if (pinning) {
            ++f->pins;
            pinned.push_back(f->index);
        }
    }

    bool validPointer(std::uint32_t off) const
    {
        return off >= kPageSize && off % kPageSize == 0 && off < cur.fileEnd;
    }

    // The page at off; tree pages are checked the first time they are read.
    Status fetch(std::uint32_t off, Frame **out, bool treePage = true)
    {
        if (!validPointer(off))
            return corrupt(QStringLiteral("page offset %1 lies outside the file").arg(off));
        ensureMap(cur.fileEnd);
        const std::size_t pageNo = off / kPageSize;
        int idx = pageMap[pageNo];
        Frame *f;
        if (idx >= 0) {
            f = frames[static_cast<std::size_t>(idx)].get();
            if (f->inLru && lruHead != idx) {
                lruRemove(idx);
                lruPushFront(idx);
            }
        } else {
            idx = grabFrame();
            f = frames[static_cast<std::size_t>(idx)].get();
            Status s = file->read(off, f->data, kPageSize);
            if (!s) {
                freeFrames.push_back(idx);
                return s.isCorruption() ? corrupt(QStringLiteral("page at offset %1 lies beyond the end of the file (%2 bytes)")
                                                      .arg(off).arg(physSize))
                                        : s;
            }
            f->offset = off;
            f->dirty = false;
            f->checked = false;
            f->pins = 0;
            pageMap[pageNo] = idx;
            lruPushFront(idx);
        }
        // The search that follows reads keys all over the page: ask for all of its cache lines
        // at once rather than wait for each in turn.
        for (std::uint32_t line = 0; line < kPageSize; line += 64)
            __builtin_prefetch(f->data + line);
        if (treePage && !f->checked) {
            Status s = checkPage(f);
            if (!s)
                return s;
            f->checked = true;
        }
        pin(f);
        *out = f;
        return Status::ok();
    }

    // Page sanity: key count, offset table, child pointers. A page whose offset table is not a
    // permutation of the item slots but whose used items are sound is laid out afresh in memory.
    Status checkPage(Frame *f)
    {
        char *p = f->data;
        const int n = count(p);
        if (n > g.max)
            return corrupt(QStringLiteral("page at offset %1 claims %2 keys, more than the %3 a page holds")
                               .arg(f->offset).arg(n).arg(g.max));
        const int base = g.base();
        std::bitset<128> seen;
        bool permutation = true;
        for (int i = 0; i <= g.max && permutation; ++i) {
            const int rel = slot(p, i) - base;
            if (rel < 0 || rel % g.itemSize != 0 || rel / g.itemSize > g.max || seen[static_cast<std::size_t>(rel / g.itemSize)])
                permutation = false;
            else
                seen.set(static_cast<std::size_t>(rel / g.itemSize));
        }
        if (!permutation) {
            int offs[130];
            for (int i = 0; i <= n; ++i) {
                offs[i] = slot(p, i);
                if (offs[i] < base || offs[i] + g.itemSize > static_cast<int>(kPageSize))
                    return corrupt(QStringLiteral("page at offset %1: item %2 at byte %3 lies outside the item area")
                                       .arg(f->offset).arg(i).arg(offs[i]));
            }
            std::sort(offs, offs + n + 1);
            for (int i = 0; i < n; ++i) {
                if (offs[i + 1] - offs[i] < g.itemSize)
                    return corrupt(QStringLiteral("page at offset %1: items at bytes %2 and %3 overlap")
                                       .arg(f->offset).arg(offs[i]).arg(offs[i + 1]));
            }
            char copy[kPageSize];
            std::memcpy(copy, p, kPageSize);
            for (int i = 0; i <= n; ++i)
                std::memcpy(p + base + i * g.itemSize, copy + slot(copy, i), static_cast<std::size_t>(g.itemSize));
            for (int i = 0; i <= g.max; ++i)
                setSlot(p, i, base + i * g.itemSize);
        }
        for (int i = 0; i <= n; ++i) {
            const std::uint32_t c = child(p, i);
            if (c == 0)
                continue;
            if (c == f->offset)
                return corrupt(QStringLiteral("page at offset %1 points to itself").arg(f->offset));
            if (!validPointer(c))
                return corrupt(QStringLiteral("page at offset %1 points to offset %2, outside the file").arg(f->offset).arg(c));
        }
        return Status::ok();
    }

    void markDirty(Frame *f)
    {
        if (!f->dirty) {
            f->dirty = true;
            if (f->inLru)
                lruRemove(f->index);
            dirty.push_back(f->index);
        }
        modified = true;
    }

    void initEmpty(Frame *f) { layoutPage(g, f->data, nullptr, 0, 0); }

    Status freeNext(const Frame *f, std::uint32_t *next) const
    {
        const int o = slot(f->data, 0);
        if (o < 2 || o + 4 > static_cast<int>(kPageSize))
            return corrupt(QStringLiteral("free page at offset %1 is damaged").arg(f->offset));
        const std::uint32_t n = get32(f->data + o);
        if (n != 0 && (!validPointer(n) || n == f->offset))
            return corrupt(QStringLiteral("free page at offset %1 points to offset %2, outside the file").arg(f->offset).arg(n));
        *next = n;
        return Status::ok();
    }

    // A page for new content: from the free list first, else from the end of the file.
    Status allocPage(Frame **out)
    {
        if (cur.freeHead != 0) {
            Frame *f;
            Status s = fetch(cur.freeHead, &f, false);
            if (!s)
                return s;
            std::uint32_t next = 0;
            s = freeNext(f, &next);
            if (!s)
                return s;
            cur.freeHead = next;
            headerDirty = true;
            initEmpty(f);
            f->checked = true;
            markDirty(f);
            *out = f;
            return Status::ok();
        }
        if (cur.fileEnd > kMaxFileEnd)
            return Status::ioError(QStringLiteral("%1: the index file has reached its largest possible size").arg(filePath));
        const std::uint32_t off = cur.fileEnd;
        cur.fileEnd += kPageSize;
        ensureMap(cur.fileEnd);
        const int idx = grabFrame();
        Frame *f = frames[static_cast<std::size_t>(idx)].get();
        f->offset = off;
        f->dirty = false;
        f->pins = 0;
        pageMap[off / kPageSize] = idx;
        initEmpty(f);
        f->checked = true;
        markDirty(f);
        pin(f);
        *out = f;
        return Status::ok();
    }

    void freePage(Frame *f)
    {
        initEmpty(f);
        put32(f->data + slot(f->data, 0), cur.freeHead);
        cur.freeHead = f->offset;
        headerDirty = true;
        markDirty(f);
    }

    // ----- writing -----

    void writeHeaderFields(bool mark)
    {
        put16(header + kHeaderVersion, version);
        put32(header + kHeaderRoot, cur.root);
        put32(header + kHeaderFree, cur.freeHead);
        header[kHeaderUpdateMark] = mark ? kUpdateMark : 0;
    }

    // The file's length found by reading, for when another program may have changed it.
    std::uint64_t probeSize() const
    {
        char b;
        auto has = [&](std::uint64_t off) { return file->readSome(off, &b, 1) == 1; };
        if (!has(0))
            return 0;
        std::uint64_t lo = 0, hi = kPageSize;
        while (has(hi) && hi < (std::uint64_t(1) << 40)) {
            lo = hi;
            hi *= 2;
        }
        while (hi - lo > 1) {
            const std::uint64_t mid = lo + (hi - lo) / 2;
            (has(mid) ? lo : hi) = mid;
        }
        return hi;
    }

    // Before the first change: when another program changed the file since it was opened here
    // (its commits change the header), forget every cached page and start from the file again.
    Status refresh()
    {
        if (!dirty.empty() || headerDirty)
            return Status::ok();
        char fresh[kPageSize];
        Status s = file->read(0, fresh, kPageSize);
        if (!s)
            return s;
        if (fresh[kHeaderUpdateMark] == kUpdateMark)
            return Status::corruption(QStringLiteral("%1 was not closed cleanly by another program").arg(filePath));
        if (std::memcmp(fresh, header, kHeaderItemSize) == 0)
            return Status::ok();
        const std::uint64_t size = probeSize();
        NtxInfo freshInfo;
        Geometry freshGeometry;
        State fresher;
        s = parseHeader(filePath, fresh, size, &freshInfo, &freshGeometry, &fresher.root, &fresher.freeHead);
        if (!s)
            return s;
        if (freshGeometry.keySize != g.keySize || freshGeometry.max != g.max)
            return corrupt(QStringLiteral("the index was rebuilt by another program; open it again"));
        for (auto &f : frames) {
            f->offset = 0;
            f->dirty = f->checked = f->inLru = false;
            f->pins = 0;
            f->prev = f->next = -1;
        }
        freeFrames.clear();
        for (std::size_t i = frames.size(); i-- > 0;)
            freeFrames.push_back(static_cast<int>(i));
        std::fill(pageMap.begin(), pageMap.end(), -1);
        lruHead = lruTail = -1;
        hint = nullptr;
        std::memcpy(header, fresh, kPageSize);
        version = get16(header + kHeaderVersion);
        physSize = size;
        fresher.fileEnd = static_cast<std::uint32_t>((size + kPageSize - 1) / kPageSize * kPageSize);
        cur = fresher;
        levels.clear();
        s = descendLeft(cur.root);
        cur.depth = static_cast<int>(levels.size());
        levels.clear();
        valid = false;
        committed = cur;
        return s;
    }

    // Before the first write after open: the mark says "changes under way" until close.
    //
    // The mark goes with an exclusive lock on the file, held until close: another program may
    // not change the file at the same time (it would work from stale pages), and an open that
    // finds the mark set can tell a crash (nobody holds the lock) from a live writer.
    Status ensureMarked()
    {
        if (marked)
            return Status::ok();
        Status s = file->lock(true);
        if (!s)
            return s.isLocked() ? Status::locked(QStringLiteral("%1 is in use by another program and cannot be changed now").arg(filePath)) : s;
        s = refresh();
        if (!s)
            return s;
        char copy[kPageSize];
        std::memcpy(copy, header, kPageSize);
        copy[kHeaderUpdateMark] = kUpdateMark;
        s = file->write(0, copy, kPageSize);
        if (s)
            s = file->sync();
        if (!s)
            return s;
        header[kHeaderUpdateMark] = kUpdateMark;
        marked = true;
        return Status::ok();
    }

    // Writes the dirty pages that grow the file (growth) or those that do not, joining adjacent
    // pages into one write. dirty is sorted by offset.
    Status writeDirty(bool growth, std::uint64_t oldSize)
    {
        stage.resize(kStagePages * kPageSize);
        std::size_t i = 0;
        while (i < dirty.size()) {
            const Frame *f = frames[static_cast<std::size_t>(dirty[i])].get();
            if ((f->offset + std::uint64_t(kPageSize) > oldSize) != growth) {
                ++i;
                continue;
            }
            const std::uint32_t start = f->offset;
            std::size_t n = 0;
            while (i < dirty.size() && n < kStagePages) {
                const Frame *g2 = frames[static_cast<std::size_t>(dirty[i])].get();
                if (g2->offset != start + n * kPageSize || (g2->offset + std::uint64_t(kPageSize) > oldSize) != growth)
                    break;
                std::memcpy(stage.data() + n * kPageSize, g2->data, kPageSize);
                ++n;
                ++i;
            }
            Status s = file->write(start, stage.data(), n * kPageSize);
            if (!s)
                return s;
            physSize = std::max<std::uint64_t>(physSize, start + std::uint64_t(n) * kPageSize);
        }
        return Status::ok();
    }

    Status commit()
    {
        if (!broken.isOk())
            return broken;
        if (dirty.empty() && !headerDirty)
            return Status::ok();
        Status s = ensureMarked();
        if (!s)
            return s;
        std::sort(dirty.begin(), dirty.end(), [this](int a, int b) {
            return frames[static_cast<std::size_t>(a)]->offset < frames[static_cast<std::size_t>(b)]->offset;
        });
        const std::uint64_t oldSize = physSize;
        s = writeDirty(true, oldSize);
        if (!s) {
            // Nothing that was in the file has changed yet: cut off what was added and forget
            // the changes, so the file and this object agree on the last committed state.
            Status t = file->truncate(oldSize);
            if (!t)
                writeFailed = true;
            physSize = oldSize;
            discardChanges();
            return s;
        }
        s = writeDirty(false, oldSize);
        if (s) {
            ++version;
            writeHeaderFields(true);
            s = file->write(0, header, kPageSize);
        }
        if (!s) {
            writeFailed = true;
            return s;
        }
        for (int idx : dirty) {
            Frame *f = frames[static_cast<std::size_t>(idx)].get();
            f->dirty = false;
            lruPushFront(idx);
        }
        dirty.clear();
        committed = cur;
        headerDirty = false;
        return Status::ok();
    }

    void discardChanges()
    {
        for (int idx : dirty) {
            Frame *f = frames[static_cast<std::size_t>(idx)].get();
            if (f->offset / kPageSize < pageMap.size())
                pageMap[f->offset / kPageSize] = -1;
            f->offset = 0;
            f->dirty = false;
            f->checked = false;
            f->pins = 0;
            freeFrames.push_back(idx);
        }
        dirty.clear();
        cur = committed;
        headerDirty = false;
        broken = Status::ok();
        levels.clear();
        valid = false;
    }

    Status beginChange()
    {
        if (closed)
            return Status::invalid(QStringLiteral("%1: the index is closed").arg(filePath));
        if (readOnly)
            return Status::invalid(QStringLiteral("%1 is open for reading only").arg(filePath));
        if (!broken.isOk())
            return broken;
        Status s = ensureMarked();
        if (s && dirty.size() >= kCommitWhenDirty)
            s = commit();
        return s;
    }

    Status endChange(const Status &s)
    {
        if (!s && modified)
            broken = s;
        return s;
    }

    // ----- cursor -----

    Status depthError(std::uint32_t off) const
    {
        return corrupt(QStringLiteral("the tree goes deeper than %1 levels at page offset %2 (a loop of pages?)")
                           .arg(kMaxDepth).arg(off));
    }

    Status descendLeft(std::uint32_t off)
    {
        for (;;) {
            if (levels.size() >= kMaxDepth)
                return depthError(off);
            Frame *f;
            Status s = fetch(off, &f);
            if (!s)
                return s;
            const int n = count(f->data);
            levels.push_back({off, 0, n});
            off = child(f->data, 0);
            if (off == 0)
                return Status::ok();
        }
    }

    Status descendRight(std::uint32_t off)
    {
        for (;;) {
            if (levels.size() >= kMaxDepth)
                return depthError(off);
            Frame *f;
            Status s = fetch(off, &f);
            if (!s)
                return s;
            const int n = count(f->data);
            levels.push_back({off, n, n});
            off = child(f->data, n);
            if (off == 0) {
                levels.back().idx = n - 1;
                return Status::ok();
            }
        }
    }

    void settleForward()
    {
        while (!levels.empty() && levels.back().idx >= levels.back().n)
            levels.pop_back();
    }

    void settleBackward()
    {
        while (!levels.empty() && levels.back().idx < 0) {
            levels.pop_back();
            if (!levels.empty())
                --levels.back().idx;
        }
    }

    Status stepNext()
    {
        Frame *f;
        Status s = fetch(levels.back().page, &f);
        if (!s)
            return s;
        const std::uint32_t c = child(f->data, levels.back().idx + 1);
        ++levels.back().idx;
        if (c != 0) {
            s = descendLeft(c);
            if (!s)
                return s;
        }
        settleForward();
        return Status::ok();
    }

    Status stepPrev()
    {
        Frame *f;
        Status s = fetch(levels.back().page, &f);
        if (!s)
            return s;
        const std::uint32_t c = child(f->data, levels.back().idx);
        if (c != 0) {
            s = descendRight(c);
            if (!s)
                return s;
        } else {
            --levels.back().idx;
        }
        settleBackward();
        return Status::ok();
    }

    // Positions on the first entry >= k (comparing len bytes); path empty when there is none.
    Status seekPath(const char *k, int len)
    {
        levels.clear();
        std::uint32_t off = cur.root;
        for (;;) {
            if (levels.size() >= kMaxDepth)
                return depthError(off);
            Frame *f;
            Status s = fetch(off, &f);
            if (!s)
                return s;
            const int n = count(f->data);
            const int i = lowerBound(f->data, k, len);
            levels.push_back({off, i, n});
            off = child(f->data, i);
            if (off == 0)
                break;
        }
        settleForward();
        return Status::ok();
    }

    // Positions on the entry (keyBuf, recNo), scanning forward over equal keys.
    Status findPath(std::uint32_t recNo, bool *found)
    {
        *found = false;
        Status s = seekPath(keyBuf.data(), g.keySize);
        while (s && !levels.empty()) {
            Frame *f;
            s = fetch(levels.back().page, &f);
            if (!s)
                break;
            const char *item = itemAt(f->data, levels.back().idx);
            if (std::memcmp(item + 8, keyBuf.data(), keyBuf.size()) != 0)
                break;
            if (get32(item + 4) == recNo) {
                *found = true;
                return Status::ok();
            }
            s = stepNext();
        }
        return s;
    }

    bool finish(const Status &s)
    {
        if (!s) {
            error = s;
            levels.clear();
        }
        valid = s.isOk() && !levels.empty();
        hint = nullptr;
        if (valid) {
            const Level &top = levels.back();
            if (top.page / kPageSize < pageMap.size()) {
                const int idx = pageMap[top.page / kPageSize];
                if (idx >= 0)
                    hint = frames[static_cast<std::size_t>(idx)].get();
            }
        }
        return valid;
    }

    bool startMove()
    {
        error = Status::ok();
        if (closed) {
            error = Status::invalid(QStringLiteral("%1: the index is closed").arg(filePath));
            valid = false;
            return false;
        }
        return true;
    }

    const char *currentItem()
    {
        if (!valid)
            return nullptr;
        const Level &top = levels.back();
        Frame *f = hint;
        if (!f || f->offset != top.page) {
            if (!fetch(top.page, &f))
                return nullptr;
            hint = f;
        }
        return itemAt(f->data, top.idx);
    }

    // ----- changes -----

    // Copies the page's items in order to dst, with `item` put at position at (unless null).
    int gather(const char *p, char *dst, int at = -1, const char *item = nullptr) const
    {
        const int n = count(p);
        const std::size_t size = static_cast<std::size_t>(g.itemSize);
        int k = 0;
        for (int i = 0; i < n; ++i) {
            if (i == at)
                std::memcpy(dst + size * k++, item, size);
            std::memcpy(dst + size * k++, itemAt(p, i), size);
        }
        if (at == n)
            std::memcpy(dst + size * k++, item, size);
        return k;
    }

    // Spreads the items of the neighbours a and b (a left of b under separator `sep` of parent
    // pp) and the separator between them evenly over the two, with item added at position `at`
    // of that sequence when given.
    void redistribute(Frame *pp, int sep, Frame *a, Frame *b, int at, const char *item)
    {
        const std::size_t size = static_cast<std::size_t>(g.itemSize);
        char *items = scratch.data();
        const int na = count(a->data);
        const std::uint32_t rightB = child(b->data, count(b->data));
        int t = gather(a->data, items);
        char *sepItem = items + size * t;
        put32(sepItem, child(a->data, na));
        std::memcpy(sepItem + 4, itemAt(pp->data, sep) + 4, size - 4);
        ++t;
        t += gather(b->data, items + size * t);
        if (item) {
            std::memmove(items + size * (at + 1), items + size * at, size * static_cast<std::size_t>(t - at));
            std::memcpy(items + size * at, item, size);
            ++t;
        }
        const int left = (t - 1) / 2;
        layoutPage(g, a->data, items, left, get32(items + size * left));
        std::memcpy(itemAt(pp->data, sep) + 4, items + size * left + 4, size - 4);
        layoutPage(g, b->data, items + size * (left + 1), t - left - 1, rightB);
        markDirty(a);
        markDirty(b);
        markDirty(pp);
    }

    // A full page at path level lv gets `item`: share with a neighbour that has room.
    Status balanceInsert(std::size_t lv, const char *item, bool *done)
    {
        *done = false;
        Frame *pp, *x;
        Status s = fetch(levels[lv - 1].page, &pp);
        if (s)
            s = fetch(levels[lv].page, &x);
        if (!s)
            return s;
        const int j = levels[lv - 1].idx;
        const int np = count(pp->data);
        const int nx = count(x->data);
        const int i = levels[lv].idx;
        const int room = 2 * (g.max - 1);
        if (j < np && child(pp->data, j + 1) != 0) {
            Frame *r;
            s = fetch(child(pp->data, j + 1), &r);
            if (!s)
                return s;
            if (nx + count(r->data) <= room) {
                redistribute(pp, j, x, r, i, item);
                *done = true;
                return Status::ok();
            }
        }
        if (j > 0 && child(pp->data, j - 1) != 0) {
            Frame *l;
            s = fetch(child(pp->data, j - 1), &l);
            if (!s)
                return s;
            const int nl = count(l->data);
            if (nx + nl <= room) {
                redistribute(pp, j - 1, l, x, nl + 1 + i, item);
                *done = true;
                return Status::ok();
            }
        }
        return Status::ok();
    }

    Status insertKey(std::uint32_t recNo)
    {
        const char *k = keyBuf.data();
        std::uint32_t off = cur.root;
        for (;;) {
            if (levels.size() >= kMaxDepth)
                return depthError(off);
            Frame *f;
            Status s = fetch(off, &f);
            if (!s)
                return s;
            const int n = count(f->data);
            const int i = upperBound(f->data, k, g.keySize);
            levels.push_back({off, i, n});
            off = child(f->data, i);
            if (off == 0)
                break;
        }
        if (info.unique) {
            // The entry before the insertion point is the greatest key not above the new one.
            for (std::size_t lv = levels.size(); lv-- > 0;) {
                if (levels[lv].idx > 0) {
                    Frame *f;
                    Status s = fetch(levels[lv].page, &f);
                    if (!s)
                        return s;
                    if (std::memcmp(keyAt(f->data, levels[lv].idx - 1), k, keyBuf.size()) == 0)
                        return Status::ok();
                    break;
                }
            }
        }
        char *item = pending.data();
        put32(item, 0);
        put32(item + 4, recNo);
        std::memcpy(item + 8, k, keyBuf.size());
        const std::size_t size = static_cast<std::size_t>(g.itemSize);
        for (std::size_t lv = levels.size() - 1;; --lv) {
            Frame *f;
            Status s = fetch(levels[lv].page, &f);
            if (!s)
                return s;
            char *p = f->data;
            const int n = count(p);
            const int i = levels[lv].idx;
            if (n < g.max) {
                insertItem(p, i, item, g.itemSize);
                markDirty(f);
                return Status::ok();
            }
            if (lv > 0) {
                bool done = false;
                s = balanceInsert(lv, item, &done);
                if (!s || done)
                    return s;
            }
            // Split: the first half goes to a new page, the middle key moves up, the rest stays.
            Frame *nf;
            s = allocPage(&nf);
            if (!s)
                return s;
            char *items = scratch.data();
            const std::uint32_t right = child(p, n);
            const int total = gather(p, items, i, item);
            const int half = total / 2;
            layoutPage(g, nf->data, items, half, get32(items + size * half));
            std::memcpy(item, items + size * half, size);
            put32(item, nf->offset);
            layoutPage(g, p, items + size * (half + 1), total - half - 1, right);
            markDirty(nf);
            markDirty(f);
            if (lv == 0) {
                Frame *rf;
                s = allocPage(&rf);
                if (!s)
                    return s;
                layoutPage(g, rf->data, item, 1, f->offset);
                markDirty(rf);
                cur.root = rf->offset;
                ++cur.depth;
                headerDirty = true;
                return Status::ok();
            }
        }
    }

    Status removeKey(std::uint32_t recNo)
    {
        // Find without holding pages (equal keys may span many), then hold the path.
        pinning = false;
        bool found = false;
        Status s = findPath(recNo, &found);
        pinning = true;
        if (!s)
            return s;
        if (!found)
            return Status::notFound(QStringLiteral("%1: no entry for record %2 with key \"%3\"")
                                        .arg(filePath)
                                        .arg(recNo)
                                        .arg(QString::fromLatin1(keyBuf.data(), static_cast<qsizetype>(keyBuf.size()))));
        for (const Level &l : levels) {
            Frame *f;
            s = fetch(l.page, &f);
            if (!s)
                return s;
        }
        Frame *f;
        s = fetch(levels.back().page, &f);
        if (!s)
            return s;
        const int i = levels.back().idx;
        const std::uint32_t c = child(f->data, i);
        if (c != 0) {
            // A key in a branch page gives way to its predecessor, the last key of its left subtree.
            s = descendRight(c);
            if (!s)
                return s;
            if (levels.back().n == 0)
                return corrupt(QStringLiteral("page at offset %1 inside the tree holds no key").arg(levels.back().page));
            Frame *leaf;
            s = fetch(levels.back().page, &leaf);
            if (!s)
                return s;
            std::memcpy(itemAt(f->data, i) + 4, itemAt(leaf->data, levels.back().idx) + 4, static_cast<std::size_t>(g.itemSize - 4));
            markDirty(f);
            removeItem(leaf->data, levels.back().idx);
            markDirty(leaf);
        } else {
            removeItem(f->data, i);
            markDirty(f);
        }
        return rebalance(levels.size() - 1);
    }

    // Walks up from level lv joining or balancing pages left with fewer than half the keys.
    Status rebalance(std::size_t lv)
    {
        const std::size_t size = static_cast<std::size_t>(g.itemSize);
        while (lv > 0) {
            Frame *x, *pp;
            Status s = fetch(levels[lv].page, &x);
            if (s)
                s = fetch(levels[lv - 1].page, &pp);
            if (!s)
                return s;
            if (count(x->data) >= g.half)
                break;
            const int j = levels[lv - 1].idx;
            const int np = count(pp->data);
            Frame *a, *b;
            int sep;
            if (j < np && child(pp->data, j + 1) != 0) {
                s = fetch(child(pp->data, j + 1), &b);
                a = x;
                sep = j;
            } else if (j > 0 && child(pp->data, j - 1) != 0) {
                s = fetch(child(pp->data, j - 1), &a);
                b = x;
                sep = j - 1;
            } else {
                break;
            }
            if (!s)
                return s;
            const int na = count(a->data), nb = count(b->data);
            if (na + nb < g.max) {
                // Join b into a with the separator between them; b goes to the free list.
                char *items = scratch.data();
                int t = gather(a->data, items);
                char *sepItem = items + size * t;
                put32(sepItem, child(a->data, na));
                std::memcpy(sepItem + 4, itemAt(pp->data, sep) + 4, size - 4);
                ++t;
                t += gather(b->data, items + size * t);
                const std::uint32_t rightB = child(b->data, nb);
                layoutPage(g, a->data, items, t, rightB);
                markDirty(a);
                put32(itemAt(pp->data, sep + 1), a->offset);
                removeItem(pp->data, sep);
                markDirty(pp);
                freePage(b);
                --lv;
                continue;
            }
            redistribute(pp, sep, a, b, -1, nullptr);
            break;
        }
        Frame *root;
        Status s = fetch(cur.root, &root);
        if (!s)
            return s;
        if (count(root->data) == 0 && child(root->data, 0) != 0) {
            const std::uint32_t newRoot = child(root->data, 0);
            freePage(root);
            cur.root = newRoot;
            --cur.depth;
            headerDirty = true;
        }
        return Status::ok();
    }
};

// ---------------------------------------------------------------------------------------------

namespace {

Status parseHeader(const QString &path, const char *h, std::uint64_t size, NtxInfo *info, Geometry *g,
                   std::uint32_t *root, std::uint32_t *freeHead)
{
    auto bad = [&](const QString &what) { return Status::corruption(path + QStringLiteral(": ") + what); };
    const std::uint16_t type = get16(h + kHeaderType);
    if ((type & ~0x87FF) != 0 || ((type & 0x0006) != 0x0006 && type != 0x0003))
        return bad(QStringLiteral("not an index file (signature 0x%1)").arg(type, 4, 16, QLatin1Char('0')));
    if (type & 0x8000)
        return bad(QStringLiteral("a multi-tag index file, which this program does not read"));
    if (type & 0x0200)
        return bad(QStringLiteral("an index with page-number pointers, which this program does not read"));
    const int keySize = get16(h + kHeaderKeySize);
    const int itemSize = get16(h + kHeaderItemSize);
    const int max = get16(h + kHeaderMaxItems);
    const int decimals = get16(h + kHeaderDecimals);
    if (keySize < 1 || keySize > kMaxKeySize)
        return bad(QStringLiteral("key size %1 in the header is not between 1 and %2").arg(keySize).arg(kMaxKeySize));
    if (itemSize != keySize + 8)
        return bad(QStringLiteral("item size %1 in the header does not match key size %2").arg(itemSize).arg(keySize));
    if (max < 2 || 2 * (max + 2) + (max + 1) * itemSize > static_cast<int>(kPageSize))
        return bad(QStringLiteral("%1 keys per page do not fit a page with key size %2").arg(max).arg(keySize));
    if (decimals >= keySize)
        return bad(QStringLiteral("key decimals %1 do not fit key size %2").arg(decimals).arg(keySize));
    if (static_cast<unsigned char>(h[kHeaderExpression]) < 0x20)
        return bad(QStringLiteral("the key expression in the header is empty or damaged"));
    const std::uint32_t fileEnd = static_cast<std::uint32_t>((size + kPageSize - 1) / kPageSize * kPageSize);
    auto pointerOk = [&](std::uint32_t off) { return off >= kPageSize && off % kPageSize == 0 && off < fileEnd; };
    *root = get32(h + kHeaderRoot);
    *freeHead = get32(h + kHeaderFree);
    if (!pointerOk(*root))
        return bad(QStringLiteral("root page offset %1 lies outside the file (%2 bytes)").arg(*root).arg(size));
    if (*freeHead != 0 && !pointerOk(*freeHead))
        return bad(QStringLiteral("free-page list offset %1 lies outside the file (%2 bytes)").arg(*freeHead).arg(size));

    auto text = [h](int at, int n) {
        const char *p = h + at;
        return QByteArray(p, static_cast<qsizetype>(strnlen(p, static_cast<std::size_t>(n))));
    };
    info->expression = text(kHeaderExpression, kExpressionSize);
    info->filter = (type & 0x0001) ? text(kHeaderFor, kExpressionSize) : QByteArray();
    info->tagName = text(kHeaderTagName, kTagNameSize);
    info->keySize = keySize;
    info->keyDecimals = decimals;
    info->unique = h[kHeaderUnique] != 0;
    info->descending = h[kHeaderDescend] != 0;
    g->keySize = keySize;
    g->itemSize = itemSize;
    g->max = max;
    g->half = max / 2;
    return Status::ok();
}

// Sequential page writer for a bulk build: pages go out in file order.
class PageWriter
{
public:
    static constexpr std::size_t kBuildStage = 1024 * kPageSize;  // one write per MiB

    explicit PageWriter(File &file) : m_file(file) { m_buffer.reserve(kBuildStage); }

    Status add(const char *page, std::uint32_t *offset)
    {
        if (m_next > kMaxFileEnd)
            return Status::ioError(QStringLiteral("%1: the index would exceed the largest possible size").arg(m_file.path()));
        *offset = m_next;
        m_next += kPageSize;
        m_buffer.insert(m_buffer.end(), page, page + kPageSize);
        if (m_buffer.size() >= kBuildStage)
            return flush();
        return Status::ok();
    }

    Status flush()
    {
        if (m_buffer.empty())
            return Status::ok();
        Status s = m_file.write(m_written, m_buffer.data(), m_buffer.size());
        m_written += m_buffer.size();
        m_buffer.clear();
        return s;
    }

private:
    File &m_file;
    std::vector<char> m_buffer;
    std::uint32_t m_next = kPageSize;
    std::uint64_t m_written = kPageSize;
};

struct Builder
{
    Builder(const Geometry &geometry, const KeyArray &keys, const std::vector<std::uint32_t> &sorted, std::vector<std::uint64_t> caps,
            PageWriter &pageWriter, const Progress &onProgress)
        : g(geometry), entries(keys), order(sorted), capacity(std::move(caps)), writer(pageWriter), progress(onProgress)
    {
    }

    Geometry g;
    const KeyArray &entries;
    const std::vector<std::uint32_t> &order;
    std::vector<std::uint64_t> capacity;  // keys a full subtree of each height holds
    std::vector<std::vector<char>> levelItems;
    PageWriter &writer;
    const Progress &progress;
    std::size_t next = 0;
    std::size_t step = 1;
    char page[kPageSize];

    void putEntry(char *item, std::uint32_t childOffset)
    {
        const std::uint32_t e = order[next++];
        put32(item, childOffset);
        put32(item + 4, entries.recNos[e]);
        std::memcpy(item + 8, entries.keys.data() + std::size_t(e) * std::size_t(g.keySize), static_cast<std::size_t>(g.keySize));
        if (progress && next % step == 0)
            progress(static_cast<int>(95.0 * double(next) / double(order.size())));
    }

    // Writes a subtree of the given height holding m keys, children before parents; every page
    // but the root gets at least half a page of keys.
    Status emit(int height, std::uint64_t m, std::uint32_t *offset)
    {
        char *items = levelItems[static_cast<std::size_t>(height)].data();
        const std::size_t size = static_cast<std::size_t>(g.itemSize);
        if (height == 1) {
            for (std::uint64_t i = 0; i < m; ++i)
                putEntry(items + size * i, 0);
            layoutPage(g, page, items, static_cast<int>(m), 0);
            return writer.add(page, offset);
        }
        const std::uint64_t sub = capacity[static_cast<std::size_t>(height - 1)];
        const std::uint64_t children = std::max<std::uint64_t>((m + 1 + sub) / (sub + 1), 1);
        const std::uint64_t childKeys = m - (children - 1);
        std::uint32_t right = 0;
        for (std::uint64_t c = 0; c < children; ++c) {
            std::uint32_t childOffset = 0;
            Status s = emit(height - 1, childKeys / children + (c < childKeys % children ? 1 : 0), &childOffset);
            if (!s)
                return s;
            // A deeper level reuses its own buffer only, so items here are intact.
            if (c + 1 < children)
                putEntry(items + size * c, childOffset);
            else
                right = childOffset;
        }
        layoutPage(g, page, items, static_cast<int>(children - 1), right);
        return writer.add(page, offset);
    }
};

} // namespace

// ---------------------------------------------------------------------------------------------

NtxIndex::NtxIndex() : m(std::make_unique<Impl>()) {}
NtxIndex::~NtxIndex() = default;

namespace {

Status checkBuild(const QString &path, const NtxInfo &info, const KeyArray &entries)
{
    const int keySize = info.keySize;
    if (keySize < 1 || keySize > kMaxKeySize)
        return Status::invalid(QStringLiteral("%1: key size %2 is not between 1 and %3").arg(path).arg(keySize).arg(kMaxKeySize));
    if (entries.keys.size() != entries.recNos.size() * static_cast<std::size_t>(std::max(entries.keySize, 0))
        || (entries.size() > 0 && entries.keySize != keySize))
        return Status::invalid(QStringLiteral("%1: keys of %2 bytes given for a key size of %3").arg(path).arg(entries.keySize).arg(keySize));
    if (info.expression.isEmpty() || info.expression.size() >= kExpressionSize
        || static_cast<unsigned char>(info.expression[0]) < 0x20)
        return Status::invalid(QStringLiteral("%1: the key expression must have 1 to %2 characters").arg(path).arg(kExpressionSize - 1));
    if (info.filter.size() >= kExpressionSize)
        return Status::invalid(QStringLiteral("%1: the condition must be shorter than %2 characters").arg(path).arg(kExpressionSize));
    if (info.tagName.size() >= kTagNameSize)
        return Status::invalid(QStringLiteral("%1: the tag name must be shorter than %2 characters").arg(path).arg(kTagNameSize));
    if (info.keyDecimals < 0 || info.keyDecimals >= keySize)
        return Status::invalid(QStringLiteral("%1: key decimals %2 do not fit key size %3").arg(path).arg(info.keyDecimals).arg(keySize));
    return Status::ok();
}

std::uint64_t bigEndian(const unsigned char *k, std::size_t n)
{
    std::uint64_t v = 0;
    for (std::size_t b = 0; b < 8; ++b)
        v = (v << 8) | (b < n ? k[b] : 0);
    return v;
}

} // namespace

Status NtxIndex::build(FileSystem &fs, const QString &path, const NtxInfo &info, KeyArray &&entries,
                       const Progress &progress)
{
    Status s = checkBuild(path, info, entries);
    if (!s)
        return s;
    if (progress)
        progress(0);
    const std::vector<std::uint32_t> order = sortForBuild(info, entries);
    if (progress)
        progress(35);
    Progress inner;
    if (progress)
        inner = [&](int p) { progress(35 + 65 * p / 100); };
    return buildSorted(fs, path, info, entries, order, inner);
}

std::vector<std::uint32_t> NtxIndex::sortForBuild(const NtxInfo &info, const KeyArray &entries)
{
    const int keySize = info.keySize;
    std::vector<std::uint32_t> order;
    if (keySize < 1 || keySize > kMaxKeySize || entries.keySize != keySize
        || entries.keys.size() != entries.recNos.size() * static_cast<std::size_t>(keySize))
        return order;

    // Sort by key, then record number. The first 16 key bytes, read as two big-endian numbers,
    // and the record number make the sort one of plain integers; only runs of equal first bytes
    // whose remaining bytes differ are sorted again on the whole key.
    const std::size_t count = entries.size();
    struct SortItem
    {
        std::uint64_t high;
        std::uint64_t low;
        std::uint32_t recNo;
        std::uint32_t index;
    };
    std::vector<SortItem> items(count);
    const std::size_t prefixBytes = std::min<std::size_t>(16, static_cast<std::size_t>(keySize));
    const bool descending = info.descending;
    const char *keys = entries.keys.data();
    for (std::size_t i = 0; i < count; ++i) {
        const unsigned char *k = reinterpret_cast<const unsigned char *>(keys) + i * static_cast<std::size_t>(keySize);
        std::uint64_t high = bigEndian(k, prefixBytes);
        std::uint64_t low = prefixBytes > 8 ? bigEndian(k + 8, prefixBytes - 8) : 0;
        if (descending) {
            high = ~high;
            low = ~low;
        }
        items[i] = {high, low, entries.recNos[i], static_cast<std::uint32_t>(i)};
    }
    std::sort(items.begin(), items.end(), [](const SortItem &a, const SortItem &b) {
        if (a.high != b.high)
            return a.high < b.high;
        if (a.low != b.low)
            return a.low < b.low;
        if (a.recNo != b.recNo)
            return a.recNo < b.recNo;
        return a.index < b.index;
    });
    const std::size_t rest = static_cast<std::size_t>(keySize) - prefixBytes;
    auto restOf = [&](const SortItem &a) { return keys + std::size_t(a.index) * std::size_t(keySize) + prefixBytes; };
    for (std::size_t i = 0; rest && i < count;) {
        std::size_t j = i + 1;
        bool same = true;
        while (j < count && items[j].high == items[i].high && items[j].low == items[i].low) {
            same = same && std::memcmp(restOf(items[i]), restOf(items[j]), rest) == 0;
            ++j;
        }
        if (!same) {
            auto byWholeKey = [&](const SortItem &a, const SortItem &b) {
                const int c = std::memcmp(restOf(a), restOf(b), rest);
                if (c != 0)
                    return descending ? c > 0 : c < 0;
                if (a.recNo != b.recNo)
                    return a.recNo < b.recNo;
                return a.index < b.index;
            };
            std::sort(items.begin() + std::ptrdiff_t(i), items.begin() + std::ptrdiff_t(j), byWholeKey);
        }
        i = j;
    }
    order.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint32_t e = items[i].index;
        if (info.unique && !order.empty()
            && std::memcmp(keys + std::size_t(order.back()) * std::size_t(keySize), keys + std::size_t(e) * std::size_t(keySize),
                           static_cast<std::size_t>(keySize)) == 0)
            continue;
        order.push_back(e);
    }
    return order;
}

Status NtxIndex::writeSorted(FileSystem &fs, const QString &path, const NtxInfo &info, const KeyArray &entries,
                             const std::vector<std::uint32_t> &order, const Progress &progress)
{
    Status s = checkBuild(path, info, entries);
    if (!s)
        return s;
    if (order.size() > entries.size() || (order.empty() && entries.size() > 0)
        || std::any_of(order.begin(), order.end(), [&](std::uint32_t e) { return e >= entries.size(); }))
        return Status::invalid(QStringLiteral("%1: the entries were not sorted for this index").arg(path));
    const Geometry g = Geometry::forKeySize(info.keySize);
    if (progress)
        progress(0);

    // The smallest height whose full tree holds every key.
    std::vector<std::uint64_t> capacity = {0, static_cast<std::uint64_t>(g.max)};
    while (capacity.back() < order.size())
        capacity.push_back(static_cast<std::uint64_t>(g.max) + static_cast<std::uint64_t>(g.max + 1) * capacity.back());
    const int height = static_cast<int>(capacity.size() - 1);

    const QString &temp = path;
    fs.remove(temp);
    std::unique_ptr<File> file;
    s = fs.open(temp, OpenMode::Create, &file);
    if (!s)
        return s;
    auto fail = [&](const Status &st) {
        file.reset();
        fs.remove(temp);
        return st;
    };

    PageWriter writer(*file);
    Builder builder(g, entries, order, capacity, writer, progress);
    builder.levelItems.resize(static_cast<std::size_t>(height + 1));
    for (auto &level : builder.levelItems)
        level.resize(static_cast<std::size_t>(g.max + 1) * static_cast<std::size_t>(g.itemSize));
    builder.step = std::max<std::size_t>(order.size() / 60, 1);
    std::uint32_t root = 0;
    s = builder.emit(height, order.size(), &root);
    if (s)
        s = writer.flush();
    if (!s)
        return fail(s);

    char header[kPageSize] = {};
    put16(header + kHeaderType, info.filter.isEmpty() ? kSignature : kSignature | kSignatureFor);
    put16(header + kHeaderVersion, 1);
    put32(header + kHeaderRoot, root);
    put32(header + kHeaderFree, 0);
    put16(header + kHeaderItemSize, static_cast<std::uint16_t>(g.itemSize));
    put16(header + kHeaderKeySize, static_cast<std::uint16_t>(g.keySize));
    put16(header + kHeaderDecimals, static_cast<std::uint16_t>(info.keyDecimals));
    put16(header + kHeaderMaxItems, static_cast<std::uint16_t>(g.max));
    put16(header + kHeaderHalf, static_cast<std::uint16_t>(g.half));
    std::memcpy(header + kHeaderExpression, info.expression.constData(), static_cast<std::size_t>(info.expression.size()));
    header[kHeaderUnique] = info.unique ? 1 : 0;
    header[kHeaderDescend] = info.descending ? 1 : 0;
    std::memcpy(header + kHeaderFor, info.filter.constData(), static_cast<std::size_t>(info.filter.size()));
    std::memcpy(header + kHeaderTagName, info.tagName.constData(), static_cast<std::size_t>(info.tagName.size()));
    s = file->write(0, header, kPageSize);
    if (s)
        s = file->sync();
    if (!s)
        return fail(s);
    file.reset();
    if (progress)
        progress(100);
    return Status::ok();
}

Status NtxIndex::buildSorted(FileSystem &fs, const QString &path, const NtxInfo &info, const KeyArray &entries,
                             const std::vector<std::uint32_t> &order, const Progress &progress)
{
    const QString temp = path + QStringLiteral(".tmp");
    Status s = writeSorted(fs, temp, info, entries, order, progress);
    if (s)
        s = fs.rename(temp, path);
    if (!s)
        fs.remove(temp);
    return s;
}

Status NtxIndex::open(FileSystem &fs, const QString &path, bool readOnly, std::unique_ptr<NtxIndex> *out)
{
    std::unique_ptr<File> file;
    Status s = fs.open(path, readOnly ? OpenMode::ReadOnly : OpenMode::ReadWrite, &file);
    if (!s)
        return s;
    const std::uint64_t size = file->size();
    if (size < 2 * kPageSize)
        return Status::corruption(QStringLiteral("%1: %2 bytes are too few for an index file").arg(path).arg(size));
    if (size > kMaxFileEnd)
        return Status::corruption(QStringLiteral("%1: %2 bytes are more than an index file can address").arg(path).arg(size));
    std::unique_ptr<NtxIndex> index(new NtxIndex());
    Impl &d = *index->m;
    d.filePath = path;
    d.readOnly = readOnly;
    s = file->read(0, d.header, kPageSize);
    if (!s)
        return s;
    if (d.header[kHeaderUpdateMark] == kUpdateMark) {
        // Left by a crash, unless an open elsewhere that is changing the file holds its lock.
        if (file->lock(false).isLocked())
            return Status::locked(QStringLiteral("%1 is being changed by another program").arg(path));
        return Status::corruption(QStringLiteral("%1 was not closed cleanly (changes to it were cut off)").arg(path));
    }
    Geometry g;
    s = parseHeader(path, d.header, size, &d.info, &g, &d.cur.root, &d.cur.freeHead);
    if (!s)
        return s;
    d.setGeometry(g);
    d.version = get16(d.header + kHeaderVersion);
    d.physSize = size;
    d.cur.fileEnd = static_cast<std::uint32_t>((size + kPageSize - 1) / kPageSize * kPageSize);
    d.file = std::move(file);
    d.ensureMap(d.cur.fileEnd);
    // The depth, reading the left-most path: a damaged root or first pages show here.
    s = d.descendLeft(d.cur.root);
    if (!s)
        return s;
    d.cur.depth = static_cast<int>(d.levels.size());
    d.levels.clear();
    d.committed = d.cur;
    *out = std::move(index);
    return Status::ok();
}

const NtxInfo &NtxIndex::info() const
{
    return m->info;
}

const QString &NtxIndex::path() const
{
    return m->filePath;
}

bool NtxIndex::first()
{
    if (!m->startMove())
        return false;
    m->levels.clear();
    Status s = m->descendLeft(m->cur.root);
    m->settleForward();
    return m->finish(s);
}

bool NtxIndex::last()
{
    if (!m->startMove())
        return false;
    m->levels.clear();
    Status s = m->descendRight(m->cur.root);
    m->settleBackward();
    return m->finish(s);
}

bool NtxIndex::next()
{
    if (!m->valid) {
        m->error = Status::ok();
        return false;
    }
    if (!m->startMove())
        return false;
    return m->finish(m->stepNext());
}

bool NtxIndex::prev()
{
    if (!m->valid) {
        m->error = Status::ok();
        return false;
    }
    if (!m->startMove())
        return false;
    return m->finish(m->stepPrev());
}

SeekResult NtxIndex::seek(QByteArrayView key)
{
    if (!m->startMove())
        return SeekResult::Error;
    const int len = static_cast<int>(std::min<qsizetype>(key.size(), m->g.keySize));
    Status s = m->seekPath(key.data(), len);
    if (!m->finish(s))
        return s ? SeekResult::Eof : SeekResult::Error;
    const char *item = m->currentItem();
    if (!item) {
        m->valid = false;
        m->error = Status::ioError(QStringLiteral("%1: the current page could not be read").arg(m->filePath));
        return SeekResult::Error;
    }
    return std::memcmp(item + 8, key.data(), static_cast<std::size_t>(len)) == 0 ? SeekResult::Found : SeekResult::Next;
}

bool NtxIndex::find(QByteArrayView key, std::uint32_t recNo)
{
    if (!m->startMove())
        return false;
    m->setKey(key);
    bool found = false;
    Status s = m->findPath(recNo, &found);
    if (s && !found)
        m->levels.clear();
    return m->finish(s);
}

bool NtxIndex::valid() const
{
    return m->valid;
}

QByteArray NtxIndex::key() const
{
    return keyView().toByteArray();
}

QByteArrayView NtxIndex::keyView() const
{
    const char *item = m->currentItem();
    return item ? QByteArrayView(item + 8, m->g.keySize) : QByteArrayView();
}

std::uint32_t NtxIndex::recNo() const
{
    const char *item = m->currentItem();
    return item ? get32(item + 4) : 0;
}

double NtxIndex::relativePosition() const
{
    if (!m->valid)
        return 1.0;
    // Each level narrows the range to the share of the child taken; the last page places the key.
    double lo = 0.0, hi = 1.0;
    for (std::size_t i = 0; i + 1 < m->levels.size(); ++i) {
        const Level &l = m->levels[i];
        const double width = (hi - lo) / double(l.n + 1);
        lo += width * l.idx;
        hi = lo + width;
    }
    const Level &top = m->levels.back();
    Frame *f;
    if (!m->fetch(top.page, &f))
        return lo;
    double fraction;
    if (child(f->data, top.idx) != 0 || child(f->data, top.idx + 1) != 0)
        fraction = double(top.idx + 1) / double(top.n + 1);
    else
        fraction = top.n > 1 ? double(top.idx) / double(top.n - 1) : 0.5;
    return std::clamp(lo + (hi - lo) * fraction, 0.0, 1.0);
}

bool NtxIndex::setRelativePosition(double position)
{
    if (!m->startMove())
        return false;
    if (!(position > 0.0))
        position = 0.0;
    position = std::min(position, 1.0);
    Impl &d = *m;
    d.levels.clear();
    std::uint32_t off = d.cur.root;
    Status s;
    for (;;) {
        if (d.levels.size() >= kMaxDepth) {
            s = d.depthError(off);
            break;
        }
        Frame *f;
        s = d.fetch(off, &f);
        if (!s)
            break;
        const int n = count(f->data);
        if (child(f->data, 0) == 0) {
            const int i = n > 1 ? static_cast<int>(position * (n - 1) + 0.5) : 0;
            d.levels.push_back({off, std::min(i, std::max(n - 1, 0)), n});
            break;
        }
        const double t = position * (n + 1);
        const int j = std::min(static_cast<int>(t), n);
        position = std::clamp(t - j, 0.0, 1.0);
        d.levels.push_back({off, j, n});
        off = child(f->data, j);
        if (off == 0)
            break;
    }
    if (s) {
        d.settleForward();
        if (d.levels.empty())
            return last();
    }
    return d.finish(s);
}

Status NtxIndex::reserve(int pages)
{
    Impl &d = *m;
    Status s = d.beginChange();
    if (!s || pages <= 0)
        return s;
    d.valid = false;
    // Pages on the free list count, as far as the request goes.
    constexpr int kWalk = 64;
    std::uint32_t seen[kWalk];
    int free = 0;
    std::uint32_t off = d.cur.freeHead;
    while (off != 0 && free < pages && free < kWalk) {
        for (int i = 0; i < free; ++i) {
            if (seen[i] == off)
                return d.corrupt(QStringLiteral("the free-page list loops at offset %1").arg(off));
        }
        seen[free++] = off;
        Frame *f;
        s = d.fetch(off, &f, false);
        if (s)
            s = d.freeNext(f, &off);
        if (!s)
            return s;
    }
    const std::uint64_t size = d.physSize;
    const std::uint64_t spare = size > d.cur.fileEnd ? (size - d.cur.fileEnd) / kPageSize : 0;
    if (free + spare >= std::uint64_t(pages))
        return Status::ok();
    const std::uint64_t grow = std::max<std::uint64_t>(std::uint64_t(pages) - free - spare, kGrowPages);
    const std::uint64_t target = std::uint64_t(d.cur.fileEnd) + (spare + grow) * kPageSize;
    if (target > kMaxFileEnd)
        return Status::ioError(QStringLiteral("%1: the index file has reached its largest possible size").arg(d.filePath));
    s = d.ensureMarked();
    if (!s)
        return s;
    static const char kZeros[16 * kPageSize] = {};
    for (std::uint64_t at = size; at < target;) {
        const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(sizeof kZeros, target - at));
        s = d.file->write(at, kZeros, n);
        if (!s) {
            if (!d.file->truncate(size))
                d.writeFailed = true;
            d.physSize = size;
            return s;
        }
        at += n;
        d.physSize = at;
    }
    return Status::ok();
}

Status NtxIndex::insert(QByteArrayView key, std::uint32_t recNo)
{
    Status s = m->beginChange();
    if (!s)
        return s;
    Impl::ChangeScope scope(*m);
    m->setKey(key);
    return m->endChange(m->insertKey(recNo));
}

Status NtxIndex::remove(QByteArrayView key, std::uint32_t recNo)
{
    Status s = m->beginChange();
    if (!s)
        return s;
    Impl::ChangeScope scope(*m);
    m->setKey(key);
    s = m->removeKey(recNo);
    m->levels.clear();
    return m->endChange(s);
}

Status NtxIndex::commit()
{
    if (m->closed)
        return Status::invalid(QStringLiteral("%1: the index is closed").arg(m->filePath));
    if (m->readOnly)
        return Status::ok();
    return m->commit();
}

void NtxIndex::discard()
{
    if (!m->closed)
        m->discardChanges();
}

int NtxIndex::depth() const
{
    return m->cur.depth;
}

Status NtxIndex::check(const std::function<void(QByteArrayView, std::uint32_t)> &visit)
{
    return check(visit, nullptr);
}

Status NtxIndex::check(const std::function<void(QByteArrayView, std::uint32_t)> &visit, NtxTreeStats *stats)
{
    Impl &d = *m;
    if (d.closed)
        return Status::invalid(QStringLiteral("%1: the index is closed").arg(d.filePath));
    NtxTreeStats local;
    NtxTreeStats &st = stats ? *stats : local;
    st = NtxTreeStats();
    st.fileSize = d.physSize;
    d.valid = false;
    d.levels.clear();

    const std::size_t pages = d.cur.fileEnd / kPageSize;
    std::vector<bool> used(pages + 1, false);
    std::vector<std::uint32_t> recNos;
    std::vector<char> previous(static_cast<std::size_t>(d.g.keySize));
    bool havePrevious = false;
    int leafDepth = -1;
    int minKeys = -1;

    struct Visit
    {
        std::uint32_t page;
        int i;
        int depth;
    };
    std::vector<Visit> stack;
    stack.push_back({d.cur.root, 0, 1});
    used[d.cur.root / kPageSize] = true;
    st.pages = 1;
    while (!stack.empty()) {
        Visit &top = stack.back();
        Frame *f;
        Status s = d.fetch(top.page, &f);
        if (!s)
            return s;
        const char *p = f->data;
        const int n = count(p);
        if (top.i == 0) {
            bool leaf = true;
            for (int i = 0; i <= n && leaf; ++i)
                leaf = child(p, i) == 0;
            if (leaf) {
                if (leafDepth < 0)
                    leafDepth = top.depth;
                else if (leafDepth != top.depth)
                    return d.corrupt(QStringLiteral("leaf page at offset %1 is %2 levels deep, other leaves %3")
                                         .arg(top.page).arg(top.depth).arg(leafDepth));
            }
            if (top.page != d.cur.root)
                minKeys = minKeys < 0 ? n : std::min(minKeys, n);
        }
        if (top.i > n) {
            stack.pop_back();
            continue;
        }
        if (top.i > 0) {
            const char *item = itemAt(p, top.i - 1);
            const char *key = item + 8;
            const std::uint32_t recNo = get32(item + 4);
            if (havePrevious) {
                const int c = d.compare(previous.data(), key, previous.size());
                if (c > 0)
                    return d.corrupt(QStringLiteral("keys out of order at key %1 of page at offset %2").arg(top.i - 1).arg(top.page));
                if (c == 0 && d.info.unique)
                    return d.corrupt(QStringLiteral("a unique index holds the key \"%1\" twice (page at offset %2)")
                                         .arg(QString::fromLatin1(key, d.g.keySize)).arg(top.page));
            }
            if (recNo == 0)
                return d.corrupt(QStringLiteral("record number 0 at key %1 of page at offset %2").arg(top.i - 1).arg(top.page));
            std::memcpy(previous.data(), key, previous.size());
            havePrevious = true;
            recNos.push_back(recNo);
            ++st.keys;
            if (visit)
                visit(QByteArrayView(key, d.g.keySize), recNo);
        }
        const std::uint32_t c = child(p, top.i);
        const int depth = top.depth;
        const std::uint32_t page = top.page;
        ++top.i;
        if (c != 0) {
            if (depth >= kMaxDepth)
                return d.depthError(c);
            if (used[c / kPageSize])
                return d.corrupt(QStringLiteral("page at offset %1 is reached twice (from page at offset %2)").arg(c).arg(page));
            used[c / kPageSize] = true;
            ++st.pages;
            stack.push_back({c, 0, depth + 1});
        }
    }
    st.depth = leafDepth;
    st.minKeys = std::max(minKeys, 0);

    std::uint32_t off = d.cur.freeHead;
    while (off != 0) {
        if (!d.validPointer(off))
            return d.corrupt(QStringLiteral("the free-page list points to offset %1, outside the file").arg(off));
        if (used[off / kPageSize])
            return d.corrupt(QStringLiteral("page at offset %1 is on the free-page list and in use, or listed twice").arg(off));
        used[off / kPageSize] = true;
        ++st.freePages;
        Frame *f;
        Status s = d.fetch(off, &f, false);
        if (s)
            s = d.freeNext(f, &off);
        if (!s)
            return s;
    }

    std::sort(recNos.begin(), recNos.end());
    const auto twice = std::adjacent_find(recNos.begin(), recNos.end());
    if (twice != recNos.end())
        return d.corrupt(QStringLiteral("record %1 is indexed twice").arg(*twice));
    return Status::ok();
}

Status NtxIndex::close()
{
    Impl &d = *m;
    if (d.closed)
        return Status::ok();
    d.valid = false;
    d.levels.clear();
    Status s;
    if (!d.readOnly) {
        s = d.broken.isOk() ? d.commit() : d.broken;
        if (s && d.writeFailed)
            s = Status::ioError(QStringLiteral("%1: an earlier write failed; the index must be rebuilt").arg(d.filePath));
        if (s && d.marked) {
            // Pages reserved but not used go; then the mark is cleared once the pages are safe.
            if (d.physSize > d.cur.fileEnd && d.file->truncate(d.cur.fileEnd))
                d.physSize = d.cur.fileEnd;
            s = d.file->sync();
            if (s) {
                d.writeHeaderFields(false);
                s = d.file->write(0, d.header, kPageSize);
            }
            if (s)
                s = d.file->sync();
            if (s)
                d.marked = false;
        }
    }
    d.file.reset();
    d.closed = true;
    return s;
}

Status NtxIndex::error() const
{
    return m->error;
}

} // namespace db
