// The bulk builder: an index written in one sequential pass from keys in index order.
#include "NtxIndexImpl.h"

#include <thread>

namespace db {

namespace {

// Sequential page writer for a bulk build: pages go out in file order.
class PageWriter
{
public:
    static constexpr std::size_t kBuildStage = 1024 * kPageSize; // one write per MiB

    explicit PageWriter(File &file)
        : m_file(file)
    {
        m_buffer.reserve(kBuildStage);
    }

    Status add(const char *page, std::uint32_t *offset)
    {
        if (m_next > kMaxFileEnd)
            return Status::ioError(
                QStringLiteral("%1: the index would exceed the largest possible size").arg(m_file.path()));
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
        if (s)
            m_file.startWriteback(m_written, m_buffer.size());
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
    Builder(const Geometry &geometry, const KeyArray &keys, const std::vector<std::uint32_t> &sorted,
            std::vector<std::uint64_t> caps, PageWriter &pageWriter, const Progress &onProgress)
        : g(geometry)
        , entries(keys)
        , order(sorted)
        , capacity(std::move(caps))
        , writer(pageWriter)
        , progress(onProgress)
    {}

    Geometry g;
    const KeyArray &entries;
    const std::vector<std::uint32_t> &order;
    std::vector<std::uint64_t> capacity; // keys a full subtree of each height holds
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
        std::memcpy(item + 8, entries.keys.data() + std::size_t(e) * std::size_t(g.keySize),
                    static_cast<std::size_t>(g.keySize));
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
            Status s =
                emit(height - 1, childKeys / children + (c < childKeys % children ? 1 : 0), &childOffset);
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

Status checkBuild(const QString &path, const NtxInfo &info, const KeyArray &entries)
{
    const int keySize = info.keySize;
    if (keySize < 1 || keySize > kMaxKeySize)
        return Status::invalid(QStringLiteral("%1: key size %2 is not between 1 and %3")
                                   .arg(path)
                                   .arg(keySize)
                                   .arg(kMaxKeySize));
    if (entries.keys.size() !=
            entries.recNos.size() * static_cast<std::size_t>(std::max(entries.keySize, 0)) ||
        (entries.size() > 0 && entries.keySize != keySize))
        return Status::invalid(QStringLiteral("%1: keys of %2 bytes given for a key size of %3")
                                   .arg(path)
                                   .arg(entries.keySize)
                                   .arg(keySize));
    if (info.expression.isEmpty() || info.expression.size() >= kExpressionSize ||
        static_cast<unsigned char>(info.expression[0]) < 0x20)
        return Status::invalid(QStringLiteral("%1: the key expression must have 1 to %2 characters")
                                   .arg(path)
                                   .arg(kExpressionSize - 1));
    if (info.filter.size() >= kExpressionSize)
        return Status::invalid(QStringLiteral("%1: the condition must be shorter than %2 characters")
                                   .arg(path)
                                   .arg(kExpressionSize));
    if (info.tagName.size() >= kTagNameSize)
        return Status::invalid(QStringLiteral("%1: the tag name must be shorter than %2 characters")
                                   .arg(path)
                                   .arg(kTagNameSize));
    if (info.keyDecimals < 0 || info.keyDecimals >= keySize)
        return Status::invalid(QStringLiteral("%1: key decimals %2 do not fit key size %3")
                                   .arg(path)
                                   .arg(info.keyDecimals)
                                   .arg(keySize));
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
    if (keySize < 1 || keySize > kMaxKeySize || entries.keySize != keySize ||
        entries.keys.size() != entries.recNos.size() * static_cast<std::size_t>(keySize))
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
        const unsigned char *k =
            reinterpret_cast<const unsigned char *>(keys) + i * static_cast<std::size_t>(keySize);
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
    auto restOf = [&](const SortItem &a) {
        return keys + std::size_t(a.index) * std::size_t(keySize) + prefixBytes;
    };
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
        if (info.unique && !order.empty() &&
            std::memcmp(keys + std::size_t(order.back()) * std::size_t(keySize),
                        keys + std::size_t(e) * std::size_t(keySize), static_cast<std::size_t>(keySize)) == 0)
            continue;
        order.push_back(e);
    }
    return order;
}

Status NtxIndex::writeSorted(FileSystem &fs, const QString &path, const NtxInfo &info,
                             const KeyArray &entries, const std::vector<std::uint32_t> &order,
                             const Progress &progress)
{
    Status s = checkBuild(path, info, entries);
    if (!s)
        return s;
    if (order.size() > entries.size() || (order.empty() && entries.size() > 0) ||
        std::any_of(order.begin(), order.end(), [&](std::uint32_t e) { return e >= entries.size(); }))
        return Status::invalid(QStringLiteral("%1: the entries were not sorted for this index").arg(path));
    const Geometry g = Geometry::forKeySize(info.keySize);
    if (progress)
        progress(0);

    // The smallest height whose full tree holds every key.
    std::vector<std::uint64_t> capacity = {0, static_cast<std::uint64_t>(g.max)};
    while (capacity.back() < order.size())
        capacity.push_back(static_cast<std::uint64_t>(g.max) +
                           static_cast<std::uint64_t>(g.max + 1) * capacity.back());
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
    std::memcpy(header + kHeaderExpression, info.expression.constData(),
                static_cast<std::size_t>(info.expression.size()));
    header[kHeaderUnique] = info.unique ? 1 : 0;
    header[kHeaderDescend] = info.descending ? 1 : 0;
    std::memcpy(header + kHeaderFor, info.filter.constData(), static_cast<std::size_t>(info.filter.size()));
    std::memcpy(header + kHeaderTagName, info.tagName.constData(),
                static_cast<std::size_t>(info.tagName.size()));
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

Status NtxIndex::buildSorted(FileSystem &fs, const QString &path, const NtxInfo &info,
                             const KeyArray &entries, const std::vector<std::uint32_t> &order,
                             const Progress &progress)
{
    const QString temp = path + QStringLiteral(".tmp");
    Status s = writeSorted(fs, temp, info, entries, order, progress);
    // The file replaced is held open through the rename and closed in the background, so the
    // rename does not wait for the system to free its blocks.
    std::unique_ptr<File> replaced;
    if (s && fs.open(path, OpenMode::ReadOnly, &replaced))
        replaced->closeInBackground();
    if (s)
        s = fs.rename(temp, path);
    if (!s)
        fs.remove(temp);
    return s;
}

} // namespace db
