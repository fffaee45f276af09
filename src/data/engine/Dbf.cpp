#include "Dbf.h"

#include <QDate>
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <sys/mman.h>

namespace db {

namespace {

constexpr int kMaxFields = 1024;

void putU16(char *p, unsigned v)
{
    p[0] = static_cast<char>(v & 0xff);
    p[1] = static_cast<char>((v >> 8) & 0xff);
}

void putU32(char *p, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<char>((v >> (8 * i)) & 0xff);
}

unsigned u16(const char *p)
{
    return static_cast<unsigned char>(p[0]) | (static_cast<unsigned char>(p[1]) << 8);
}

std::uint32_t u32(const char *p)
{
    return static_cast<std::uint32_t>(u16(p)) | (static_cast<std::uint32_t>(u16(p + 2)) << 16);
}

void stampDate(char *header, const QDate &d)
{
    header[1] = static_cast<char>(d.year() - 1900);
    header[2] = static_cast<char>(d.month());
    header[3] = static_cast<char>(d.day());
}

QByteArray buildHeader(const QList<FieldDef> &fields, std::uint32_t count, const QDate &stamp)
{
    bool memo = std::any_of(fields.begin(), fields.end(),
                            [](const FieldDef &f) { return f.type == FieldType::Memo; });
    const int headerLength = 32 + 32 * static_cast<int>(fields.size()) + 2;
    int recordLength = 1;
    for (const FieldDef &f : fields)
        recordLength += f.length;
    QByteArray h(headerLength, '\0');
    h[0] = static_cast<char>(memo ? 0x83 : 0x03);
    stampDate(h.data(), stamp);
    putU32(h.data() + 4, count);
    putU16(h.data() + 8, static_cast<unsigned>(headerLength));
    putU16(h.data() + 10, static_cast<unsigned>(recordLength));
    for (int i = 0; i < fields.size(); ++i) {
        char *d = h.data() + 32 + 32 * i;
        const QByteArray name = fields[i].name.toUpper().left(10);
        std::memcpy(d, name.constData(), static_cast<std::size_t>(name.size()));
        d[11] = static_cast<char>(fields[i].type);
        if (fields[i].type == FieldType::Character) {
            // Character fields longer than 255 keep the high byte of the length in the decimals byte.
            d[16] = static_cast<char>(fields[i].length & 0xff);
            d[17] = static_cast<char>((fields[i].length >> 8) & 0xff);
        } else {
            d[16] = static_cast<char>(fields[i].length);
            d[17] = static_cast<char>(fields[i].decimals);
        }
    }
    h[headerLength - 2] = 0x0d;
    h[headerLength - 1] = 0x00;
    return h;
}

Status validateDefs(const QString &path, const QList<FieldDef> &fields)
{
    if (fields.isEmpty() || fields.size() > kMaxFields)
        return Status::invalid(QStringLiteral("%1: a table needs 1 to %2 fields").arg(path).arg(kMaxFields));
    int total = 1;
    for (const FieldDef &f : fields) {
        bool ok = !f.name.isEmpty() && f.name.size() <= 10;
        switch (f.type) {
        case FieldType::Character:
            ok = ok && f.length >= 1 && f.length <= 65535;
            break;
        case FieldType::Numeric:
            ok = ok && f.length >= 1 && f.length <= 20 && f.decimals >= 0 &&
                 (f.decimals == 0 || f.decimals <= f.length - 2);
            break;
        case FieldType::Date:
            ok = ok && f.length == 8;
            break;
        case FieldType::Logical:
            ok = ok && f.length == 1;
            break;
        case FieldType::Memo:
            ok = ok && f.length == 10;
            break;
        }
        if (!ok)
            return Status::invalid(
                QStringLiteral("%1: bad definition of field %2").arg(path, QString::fromLatin1(f.name)));
        total += f.length;
    }
    if (total > 65535)
        return Status::invalid(QStringLiteral("%1: records longer than 65535 bytes").arg(path));
    return Status::ok();
}

} // namespace

Status DbfFile::create(FileSystem &fs, const QString &path, const QList<FieldDef> &fields, const QDate &stamp)
{
    Status s = validateDefs(path, fields);
    if (!s)
        return s;
    std::unique_ptr<File> file;
    s = fs.open(path, OpenMode::Create, &file);
    if (!s)
        return s;
    QByteArray h = buildHeader(fields, 0, stamp);
    h.append('\x1a');
    s = file->write(0, h.constData(), static_cast<std::size_t>(h.size()));
    if (s)
        s = file->sync();
    if (!s) {
        file.reset();
        fs.remove(path);
    }
    return s;
}

Status DbfFile::open(FileSystem &fs, const QString &path, bool exclusive, std::unique_ptr<DbfFile> *out)
{
    auto dbf = std::unique_ptr<DbfFile>(new DbfFile);
    Status s = fs.open(path, OpenMode::ReadWrite, &dbf->m_file);
    if (!s && !exclusive && !s.isNotFound()) {
        // A write-protected table can still be read.
        s = fs.open(path, OpenMode::ReadOnly, &dbf->m_file);
        dbf->m_readOnly = s.isOk();
    }
    if (!s)
        return s;
    if (!dbf->m_readOnly) {
        s = dbf->m_file->lock(exclusive);
        if (!s)
            return s;
    }
    s = dbf->parseHeader();
    if (!s)
        return s;
    dbf->m_cache.resize(kBlocks);
    dbf->remap();
    *out = std::move(dbf);
    return Status::ok();
}

DbfFile::~DbfFile()
{
    unmap();
}

void DbfFile::releaseMemory()
{
    unmap();
    for (auto &b : m_cache) {
        b.index = -1;
        b.valid = 0;
        std::vector<char>().swap(b.bytes);
    }
}

void DbfFile::unmap()
{
    if (m_map)
        ::munmap(const_cast<char *>(m_map), m_mapped);
    m_map = nullptr;
    m_mapped = 0;
}

void DbfFile::remap()
{
    unmap();
    const int fd = m_file->nativeHandle();
    const std::uint64_t size =
        static_cast<std::uint64_t>(m_headerLength) + static_cast<std::uint64_t>(m_count) * m_recordLength;
    if (fd < 0 || size == 0 || size > m_file->size())
        return;
    void *p = ::mmap(nullptr, size, PROT_READ, MAP_SHARED, fd, 0);
    if (p == MAP_FAILED)
        return; // reads fall back to the file
    m_map = static_cast<const char *>(p);
    m_mapped = size;
}

Status DbfFile::parseHeader()
{
    const QString &p = m_file->path();
    const std::uint64_t size = m_file->size();
    if (size < 32 + 32 + 1)
        return Status::corruption(
            QStringLiteral("%1: file of %2 bytes is too short for a table header").arg(p).arg(size));
    char fixed[32];
    Status s = m_file->read(0, fixed, 32);
    if (!s)
        return s;
    const unsigned char version = static_cast<unsigned char>(fixed[0]);
    static const unsigned char accepted[] = {0x03, 0x83, 0x07, 0x87, 0xF5, 0x30, 0x31, 0x32};
    if (std::find(std::begin(accepted), std::end(accepted), version) == std::end(accepted))
        return Status::corruption(QStringLiteral("%1: unknown table version byte 0x%2 at offset 0")
                                      .arg(p)
                                      .arg(version, 2, 16, QLatin1Char('0')));
    m_headerLength = static_cast<int>(u16(fixed + 8));
    m_recordLength = static_cast<int>(u16(fixed + 10));
    if (m_headerLength < 32 + 32 + 1 || static_cast<std::uint64_t>(m_headerLength) > size)
        return Status::corruption(
            QStringLiteral("%1: header length %2 at offset 8 does not fit a file of %3 bytes")
                .arg(p)
                .arg(m_headerLength)
                .arg(size));
    if (m_recordLength < 2)
        return Status::corruption(
            QStringLiteral("%1: record length %2 at offset 10 is impossible").arg(p).arg(m_recordLength));
    m_header.resize(m_headerLength);
    s = m_file->read(0, m_header.data(), static_cast<std::size_t>(m_headerLength));
    if (!s)
        return s;
    m_fields.clear();
    m_hasMemo = false;
    int offset = 1;
    const int slots = (m_headerLength - 32) / 32;
    for (int i = 0; i < slots; ++i) {
        const char *d = m_header.constData() + 32 + 32 * i;
        if (static_cast<unsigned char>(d[0]) == 0x0d)
            break;
        FieldLayout f;
        f.def.name = QByteArray(d, static_cast<int>(strnlen(d, 11))).trimmed().toUpper();
        const char type = d[11];
        int length = static_cast<unsigned char>(d[16]);
        int decimals = static_cast<unsigned char>(d[17]);
        switch (type) {
        case 'C':
            f.def.type = FieldType::Character;
            length += 256 * decimals;
            decimals = 0;
            break;
        case 'N':
        case 'F':
            f.def.type = FieldType::Numeric;
            break;
        case 'D':
            f.def.type = FieldType::Date;
            break;
        case 'L':
            f.def.type = FieldType::Logical;
            break;
        case 'M':
            f.def.type = FieldType::Memo;
            m_hasMemo = true;
            break;
        default:
            return Status::corruption(
                QStringLiteral("%1: field %2 has unknown type '%3' (descriptor at offset %4)")
                    .arg(p, QString::fromLatin1(f.def.name), QString::fromLatin1(&type, 1))
                    .arg(32 + 32 * i));
        }
        if (f.def.name.isEmpty() || length <= 0)
            return Status::corruption(
                QStringLiteral("%1: field descriptor at offset %2 is damaged").arg(p).arg(32 + 32 * i));
        if ((f.def.type == FieldType::Date && length != 8) ||
            (f.def.type == FieldType::Logical && length != 1) ||
            (f.def.type == FieldType::Memo && length != 10 && length != 4))
            return Status::corruption(QStringLiteral("%1: field %2 has impossible length %3")
                                          .arg(p, QString::fromLatin1(f.def.name))
                                          .arg(length));
        f.def.length = length;
        f.def.decimals = decimals;
        f.offset = offset;
        offset += length;
        m_fields.append(f);
    }
    if (m_fields.isEmpty())
        return Status::corruption(QStringLiteral("%1: the header describes no fields").arg(p));
    if (offset != m_recordLength)
        return Status::corruption(
            QStringLiteral("%1: fields add up to %2 bytes but the header's record length is %3")
                .arg(p)
                .arg(offset)
                .arg(m_recordLength));
    // As other dBASE programs do, the record count comes from the file size: records whose write
    // finished are there even when the header was not updated, and a partial last record is not.
    m_count = static_cast<std::uint32_t>((size - static_cast<std::uint64_t>(m_headerLength)) /
                                         static_cast<std::uint64_t>(m_recordLength));
    // A header count that disagrees with the file is corrected the next time the header is written;
    // until then check() reports a file holding fewer records than its header counts.
    m_headerCount = u32(fixed + 4);
    return Status::ok();
}

Status DbfFile::read(std::uint32_t recNo, char *record)
{
    if (recNo < 1 || recNo > m_count)
        return Status::invalid(QStringLiteral("%1: record %2 out of range").arg(path()).arg(recNo));
    const std::uint64_t offset =
        static_cast<std::uint64_t>(m_headerLength) + static_cast<std::uint64_t>(recNo - 1) * m_recordLength;
    if (offset + m_recordLength <= m_mapped) {
        std::memcpy(record, m_map + offset, static_cast<std::size_t>(m_recordLength));
        return Status::ok();
    }
    // Records appended since the mapping was made: map them too once there are many.
    if (m_map && offset - m_mapped > 64 * kBlockSize * 16) {
        remap();
        if (offset + m_recordLength <= m_mapped) {
            std::memcpy(record, m_map + offset, static_cast<std::size_t>(m_recordLength));
            return Status::ok();
        }
    }
    const std::uint64_t first = offset / kBlockSize;
    const std::uint64_t last = (offset + m_recordLength - 1) / kBlockSize;
    // Reads in record order go through the block cache; a jump (a walk in key order) reads just
    // the record unless its block is cached already.
    const bool sequential = recNo == m_lastRead + 1 || recNo + 1 == m_lastRead;
    m_lastRead = recNo;
    if (first != last || (!sequential && m_cache[first % kBlocks].index != static_cast<std::int64_t>(first)))
        return m_file->read(offset, record, static_cast<std::size_t>(m_recordLength));
    Block &b = m_cache[first % kBlocks];
    const std::size_t inBlock = offset - first * kBlockSize;
    if (b.index != static_cast<std::int64_t>(first) || b.valid < inBlock + m_recordLength) {
        b.bytes.resize(kBlockSize);
        std::int64_t got = m_file->readSome(first * kBlockSize, b.bytes.data(), kBlockSize);
        if (got < 0) {
            b.index = -1;
            return Status::ioError(
                QStringLiteral("%1: read failed at offset %2").arg(path()).arg(first * kBlockSize));
        }
        b.index = static_cast<std::int64_t>(first);
        b.valid = static_cast<std::size_t>(got);
        if (b.valid < inBlock + m_recordLength)
            return Status::corruption(
                QStringLiteral("%1: record %2 at offset %3 is cut short").arg(path()).arg(recNo).arg(offset));
    }
    std::memcpy(record, b.bytes.data() + inBlock, static_cast<std::size_t>(m_recordLength));
    return Status::ok();
}

Status DbfFile::readRecords(std::uint32_t first, std::uint32_t n, char *records)
{
    if (n == 0)
        return Status::ok();
    if (first < 1 || first > m_count || n > m_count - first + 1)
        return Status::invalid(QStringLiteral("%1: records %2 to %3 out of range")
                                   .arg(path())
                                   .arg(first)
                                   .arg(std::uint64_t(first) + n - 1));
    const std::uint64_t offset =
        std::uint64_t(m_headerLength) + std::uint64_t(first - 1) * std::uint64_t(m_recordLength);
    return m_file->read(offset, records,
                        static_cast<std::size_t>(n) * static_cast<std::size_t>(m_recordLength));
}

const char *DbfFile::mappedRecords(std::uint32_t first, std::uint32_t n) const
{
    if (!m_map || first < 1 || n > m_count || first > m_count - n + 1)
        return nullptr;
    const std::uint64_t offset =
        std::uint64_t(m_headerLength) + std::uint64_t(first - 1) * std::uint64_t(m_recordLength);
    if (offset + std::uint64_t(n) * std::uint64_t(m_recordLength) > m_mapped)
        return nullptr;
    return m_map + offset;
}

Status DbfFile::readMarks(std::uint32_t first, std::uint32_t n, char *marks)
{
    if (n > 0 && (first < 1 || first > m_count || n > m_count - first + 1))
        return Status::invalid(QStringLiteral("%1: records %2 to %3 out of range")
                                   .arg(path())
                                   .arg(first)
                                   .arg(std::uint64_t(first) + n - 1));
    const std::uint64_t recLen = static_cast<std::uint64_t>(m_recordLength);
    std::uint64_t offset = std::uint64_t(m_headerLength) + std::uint64_t(first - 1) * recLen;
    std::uint32_t i = 0;
    for (; i < n && offset < m_mapped; ++i, offset += recLen)
        marks[i] = m_map[offset];
    // Records appended since the mapping was made.
    const std::uint32_t perChunk = static_cast<std::uint32_t>(std::max<std::uint64_t>(1, (1 << 20) / recLen));
    std::vector<char> chunk;
    while (i < n) {
        const std::uint32_t m = std::min(perChunk, n - i);
        chunk.resize(std::size_t(m) * std::size_t(recLen));
        Status s = readRecords(first + i, m, chunk.data());
        if (!s)
            return s;
        for (std::uint32_t k = 0; k < m; ++k)
            marks[i + k] = chunk[std::size_t(k) * std::size_t(recLen)];
        i += m;
    }
    return Status::ok();
}

void DbfFile::invalidate(std::uint64_t offset, std::size_t n, const char *data)
{
    // Keep cached blocks equal to the file: copy the written bytes into any block they touch.
    for (std::uint64_t blk = offset / kBlockSize; blk <= (offset + n - 1) / kBlockSize; ++blk) {
        Block &b = m_cache[blk % kBlocks];
        if (b.index != static_cast<std::int64_t>(blk))
            continue;
        const std::uint64_t start = std::max<std::uint64_t>(offset, blk * kBlockSize);
        const std::uint64_t end = std::min<std::uint64_t>(offset + n, (blk + 1) * kBlockSize);
        const std::size_t at = start - blk * kBlockSize;
        if (at > b.valid) {
            b.index = -1; // a hole: simpler to read again
            continue;
        }
        std::memcpy(b.bytes.data() + at, data + (start - offset), end - start);
        b.valid = std::max<std::size_t>(b.valid, at + (end - start));
    }
}

Status DbfFile::write(std::uint32_t recNo, const char *record)
{
    if (m_readOnly)
        return Status::invalid(QStringLiteral("%1 is read-only").arg(path()));
    if (recNo < 1 || recNo > m_count)
        return Status::invalid(QStringLiteral("%1: record %2 out of range").arg(path()).arg(recNo));
    const std::uint64_t offset =
        static_cast<std::uint64_t>(m_headerLength) + static_cast<std::uint64_t>(recNo - 1) * m_recordLength;
    Status s = m_file->write(offset, record, static_cast<std::size_t>(m_recordLength));
    if (!s) {
        for (auto &b : m_cache)
            b.index = -1;
        return s;
    }
    invalidate(offset, static_cast<std::size_t>(m_recordLength), record);
    return s;
}

Status DbfFile::append(const char *record)
{
    if (m_readOnly)
        return Status::invalid(QStringLiteral("%1 is read-only").arg(path()));
    if (m_count == UINT32_MAX - 1)
        return Status::invalid(QStringLiteral("%1 is full").arg(path()));
    const std::uint64_t offset =
        static_cast<std::uint64_t>(m_headerLength) + static_cast<std::uint64_t>(m_count) * m_recordLength;
    std::vector<char> &buf = m_appendBuffer;
    buf.resize(static_cast<std::size_t>(m_recordLength) + 1);
    std::memcpy(buf.data(), record, static_cast<std::size_t>(m_recordLength));
    buf.back() = 0x1a;
    const std::uint64_t oldSize = m_file->size();
    Status s = m_file->write(offset, buf.data(), buf.size());
    if (!s) {
        m_file->truncate(oldSize);
        for (auto &b : m_cache)
            b.index = -1;
        return s;
    }
    invalidate(offset, buf.size(), buf.data());
    ++m_count;
    m_headerDirty = true;
    return s;
}

Status DbfFile::correctHeaderCount()
{
    if (m_headerCount == m_count)
        return Status::ok();
    m_headerDirty = true;
    return writeHeader();
}

Status DbfFile::writeHeader()
{
    if (m_readOnly || !m_headerDirty)
        return Status::ok();
    char fixed[8];
    std::memcpy(fixed, m_header.constData(), 8);
    stampDate(fixed, m_today());
    putU32(fixed + 4, m_count);
    Status s = m_file->write(0, fixed, 8);
    if (s) {
        std::memcpy(m_header.data(), fixed, 8);
        invalidate(0, 8, fixed);
        m_headerDirty = false;
        m_headerCount = m_count;
    }
    return s;
}

Status DbfFile::truncateRecords(std::uint32_t count)
{
    if (m_readOnly)
        return Status::invalid(QStringLiteral("%1 is read-only").arg(path()));
    const std::uint64_t end =
        static_cast<std::uint64_t>(m_headerLength) + static_cast<std::uint64_t>(count) * m_recordLength;
    const char eof = 0x1a;
    unmap(); // pages past the new end must not stay mapped
    Status s = m_file->write(end, &eof, 1);
    if (s)
        s = m_file->truncate(end + 1);
    for (auto &b : m_cache)
        b.index = -1;
    if (!s)
        return s;
    m_count = count;
    m_headerDirty = true;
    return writeHeader();
}

Status DbfFile::sync()
{
    if (m_readOnly)
        return Status::ok();
    Status s = writeHeader();
    if (s)
        s = m_file->sync();
    return s;
}

namespace fieldcodec {

QByteArray formatNumber(double value, int length, int decimals)
{
    char buf[64];
    if (!std::isfinite(value))
        return QByteArray(length, '*');
    if (decimals == 0 && std::fabs(value) < 1e15 && value == std::trunc(value)) {
        // A whole number (the common case: counters, numbers of records) needs no rounding.
        const auto r = std::to_chars(buf, buf + sizeof buf, static_cast<long long>(value));
        const int n = static_cast<int>(r.ptr - buf);
        if (n > length)
            return QByteArray(length, '*');
        return QByteArray(length - n, ' ') + QByteArray(buf, n);
    }
    // Round half away from zero on the decimal text of the value, so 2.675 with two decimals
    // stores 2.68 as a user typing 2.675 expects, not the 2.67 of its binary neighbour.
    auto r =
        std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, std::min(decimals + 6, 30));
    std::string text(buf, r.ptr);
    // text has decimals+6 fraction digits; round it to `decimals` on the shortest representation.
    char shortest[64];
    auto rs = std::to_chars(shortest, shortest + sizeof shortest, value);
    std::string s(shortest, rs.ptr);
    if (s.find('e') != std::string::npos || s.find('E') != std::string::npos)
        s = text;
    bool negative = !s.empty() && s[0] == '-';
    if (negative)
        s.erase(0, 1);
    std::string intPart = s, frac;
    if (auto dot = s.find('.'); dot != std::string::npos) {
        intPart = s.substr(0, dot);
        frac = s.substr(dot + 1);
    }
    bool roundUp =
        static_cast<int>(frac.size()) > decimals && frac[static_cast<std::size_t>(decimals)] >= '5';
    frac.resize(static_cast<std::size_t>(decimals), '0');
    std::string digits = intPart + frac;
    if (roundUp) {
        int i = static_cast<int>(digits.size()) - 1;
        for (; i >= 0; --i) {
            if (digits[static_cast<std::size_t>(i)] == '9') {
                digits[static_cast<std::size_t>(i)] = '0';
            } else {
                ++digits[static_cast<std::size_t>(i)];
                break;
            }
        }
        if (i < 0)
            digits.insert(digits.begin(), '1');
    }
    std::string ip = digits.substr(0, digits.size() - static_cast<std::size_t>(decimals));
    std::string fp = digits.substr(digits.size() - static_cast<std::size_t>(decimals));
    ip.erase(0, std::min(ip.find_first_not_of('0'), ip.size() - 1));
    if (ip.empty())
        ip = "0";
    bool zero = ip == "0" && fp.find_first_not_of('0') == std::string::npos;
    std::string out = (negative && !zero ? "-" : "") + ip + (decimals ? "." + fp : "");
    if (static_cast<int>(out.size()) > length)
        return QByteArray(length, '*');
    return QByteArray(length - static_cast<int>(out.size()), ' ') +
           QByteArray(out.data(), static_cast<qsizetype>(out.size()));
}

bool parseNumber(QByteArrayView bytes, double *value)
{
    qsizetype b = 0, e = bytes.size();
    while (b < e && (bytes[b] == ' ' || bytes[b] == '\0'))
        ++b;
    while (e > b && (bytes[e - 1] == ' ' || bytes[e - 1] == '\0'))
        --e;
    if (b == e) {
        *value = 0;
        return true;
    }
    const char *first = bytes.data() + b;
    const char *const last = bytes.data() + e;
    // Fields hold plain decimals ("-12.50"): with at most 15 digits the digits and the power of
    // ten are exact doubles and one division rounds as from_chars does, at a fraction of its cost.
    {
        const char *p = first;
        const bool negative = *p == '-';
        if (*p == '-' || *p == '+')
            ++p;
        std::uint64_t digits = 0;
        int count = 0, decimals = 0;
        bool point = false, plain = p < last;
        for (; p < last && plain; ++p) {
            if (*p >= '0' && *p <= '9') {
                digits = digits * 10 + std::uint64_t(*p - '0');
                ++count;
                decimals += point ? 1 : 0;
            } else if (*p == '.' && !point) {
                point = true;
            } else {
                plain = false;
            }
        }
        if (plain && count > 0 && count <= 15) {
            static constexpr double kPowers[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                                 1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
            const double v = double(digits) / kPowers[decimals];
            *value = negative ? -v : v;
            return true;
        }
    }
    if (*first == '+')
        ++first;
    auto r = std::from_chars(first, last, *value);
    if (r.ec != std::errc() || r.ptr != last) {
        *value = 0;
        return false;
    }
    return true;
}

QByteArray cutUtf8(const QByteArray &utf8, int n)
{
    if (utf8.size() <= n)
        return utf8;
    int cut = n;
    // Step back over continuation bytes (10xxxxxx) to the start of the character that does not fit.
    while (cut > 0 && (static_cast<unsigned char>(utf8[cut]) & 0xC0) == 0x80)
        --cut;
    return utf8.left(cut);
}

} // namespace fieldcodec

} // namespace db
