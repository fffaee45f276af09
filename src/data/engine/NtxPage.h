#pragma once

// Byte layout of NTX index files: header fields and the 1024-byte pages (see doc/formats/ntx.md).
// Plain functions over raw page bytes; the caller owns the buffers and their checks.

#include <cstdint>
#include <cstring>

namespace db::ntx {

constexpr std::uint32_t kPageSize = 1024;
constexpr int kMaxKeySize = 256;

// Header (page 0)
constexpr int kHeaderType = 0;
constexpr int kHeaderVersion = 2;
constexpr int kHeaderRoot = 4;
constexpr int kHeaderFree = 8;
constexpr int kHeaderItemSize = 12;
constexpr int kHeaderKeySize = 14;
constexpr int kHeaderDecimals = 16;
constexpr int kHeaderMaxItems = 18;
constexpr int kHeaderHalf = 20;
constexpr int kHeaderExpression = 22;
constexpr int kHeaderUnique = 278;
constexpr int kHeaderDescend = 280;
constexpr int kHeaderFor = 282;
constexpr int kHeaderTagName = 538;
constexpr int kExpressionSize = 256;
constexpr int kTagNameSize = 12;
// Our own "in update" byte in the header's unused area: set before the first change is written
// after an open, cleared by a clean close.
constexpr int kHeaderUpdateMark = 1023;
constexpr char kUpdateMark = 'U';

constexpr std::uint16_t kSignature = 0x0006;
constexpr std::uint16_t kSignatureFor = 0x0001;

inline std::uint16_t get16(const char *p)
{
    const auto *u = reinterpret_cast<const unsigned char *>(p);
    return static_cast<std::uint16_t>(u[0] | (u[1] << 8));
}

inline std::uint32_t get32(const char *p)
{
    const auto *u = reinterpret_cast<const unsigned char *>(p);
    return std::uint32_t(u[0]) | (std::uint32_t(u[1]) << 8) | (std::uint32_t(u[2]) << 16) |
           (std::uint32_t(u[3]) << 24);
}

inline void put16(char *p, std::uint16_t v)
{
    p[0] = static_cast<char>(v & 0xff);
    p[1] = static_cast<char>(v >> 8);
}

inline void put32(char *p, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<char>((v >> (8 * i)) & 0xff);
}

// Sizes that follow from the key size.
struct Geometry
{
    int keySize = 0;
    int itemSize = 0; // child pointer, record number, key
    int max = 0;      // keys per page
    int half = 0;

    int base() const { return 2 * (max + 2); } // first byte after the offset table

    static Geometry forKeySize(int keySize)
    {
        Geometry g;
        g.keySize = keySize;
        g.itemSize = keySize + 8;
        g.max = static_cast<int>((kPageSize - 2) / static_cast<std::uint32_t>(keySize + 10)) - 1;
        if (g.max % 2 == 1 && g.max > 2)
            --g.max;
        g.half = g.max / 2;
        return g;
    }
};

// Page: u16 key count, u16 offset table of max+1 entries, then item slots. Entry i of the
// offset table locates item i; item n (n = key count) holds only the right-most child pointer.
inline int count(const char *page)
{
    return get16(page);
}
inline int slot(const char *page, int i)
{
    return get16(page + 2 + 2 * i);
}
inline void setSlot(char *page, int i, int offset)
{
    put16(page + 2 + 2 * i, static_cast<std::uint16_t>(offset));
}
inline const char *itemAt(const char *page, int i)
{
    return page + slot(page, i);
}
inline char *itemAt(char *page, int i)
{
    return page + slot(page, i);
}
inline std::uint32_t child(const char *page, int i)
{
    return get32(itemAt(page, i));
}
inline const char *keyAt(const char *page, int i)
{
    return itemAt(page, i) + 8;
}

// Puts item (child, record, key) at position i of a page with room, moving offset entries only:
// the new key's left child is the item's pointer, the former child i becomes its right child.
inline void insertItem(char *page, int i, const char *item, int itemSize)
{
    const int n = count(page);
    const int free = slot(page, n + 1);
    std::memmove(page + 2 + 2 * (i + 1), page + 2 + 2 * i, static_cast<std::size_t>(2 * (n - i + 1)));
    setSlot(page, i, free);
    std::memcpy(page + free, item, static_cast<std::size_t>(itemSize));
    put16(page, static_cast<std::uint16_t>(n + 1));
}

// Removes key i together with its left child pointer child(i).
inline void removeItem(char *page, int i)
{
    const int n = count(page);
    const int freed = slot(page, i);
    std::memmove(page + 2 + 2 * i, page + 2 + 2 * (i + 1), static_cast<std::size_t>(2 * (n - i)));
    setSlot(page, n, freed);
    put16(page, static_cast<std::uint16_t>(n - 1));
}

// Writes a whole page: count items (itemSize bytes each, in order) in slot order, the right-most
// child in slot count, the rest zero.
inline void layoutPage(const Geometry &g, char *page, const char *items, int count, std::uint32_t rightChild)
{
    std::memset(page, 0, kPageSize);
    put16(page, static_cast<std::uint16_t>(count));
    const int base = g.base();
    for (int i = 0; i <= g.max; ++i)
        setSlot(page, i, base + i * g.itemSize);
    if (count > 0)
        std::memcpy(page + base, items,
                    static_cast<std::size_t>(count) * static_cast<std::size_t>(g.itemSize));
    put32(page + base + count * g.itemSize, rightChild);
}

} // namespace db::ntx
