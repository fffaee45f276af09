#pragma once

#include "FileIo.h"
#include "KeyExpression.h"
#include "Table.h"

#include <QList>
#include <memory>
#include <vector>

namespace db {

// The .DBF data file: header, field descriptors and fixed-length records.
// Reads go through a small block cache; writes go straight to the file and keep the cache right.
class DbfFile
{
public:
    // A new empty table whose header carries stamp as its date.
    static Status create(FileSystem &fs, const QString &path, const QList<FieldDef> &fields,
                         const QDate &stamp);
    // Opens and checks the header and descriptors. *readOnly is set when the file could only be
    // opened for reading.
    static Status open(FileSystem &fs, const QString &path, bool exclusive, std::unique_ptr<DbfFile> *out);
    ~DbfFile();

    const QList<FieldLayout> &fields() const { return m_fields; }
    int recordLength() const { return m_recordLength; }
    int headerLength() const { return m_headerLength; }
    std::uint32_t count() const { return m_count; }
    // The record count the header held when the file was opened (or last written). More than
    // count() means the file was cut short: records the header promises are gone.
    std::uint32_t headerCount() const { return m_headerCount; }
    // Writes the count of the records present into the header (a repair after a cut).
    Status correctHeaderCount();
    bool hasMemo() const { return m_hasMemo; }
    bool readOnly() const { return m_readOnly; }
    const QString &path() const { return m_file->path(); }
    // The header bytes up to the record area, for writing a copy of the table.
    const QByteArray &headerBytes() const { return m_header; }

    Status read(std::uint32_t recNo, char *record);
    // Reads n records from first on, straight from the file (no cache, no mapping: a pass over
    // a whole table keeps memory flat).
    Status readRecords(std::uint32_t first, std::uint32_t n, char *records);
    // The n records from first on as they lie in the file's mapping, or nullptr when they are not
    // all mapped (readRecords reads them then). Valid until the file changes or releaseMemory().
    const char *mappedRecords(std::uint32_t first, std::uint32_t n) const;
    // The deletion marks of n records from first on, a byte each ('*': deleted).
    Status readMarks(std::uint32_t first, std::uint32_t n, char *marks);
    Status write(std::uint32_t recNo, const char *record);
    // Appends one record (and the end-of-file mark after it). On failure the file is cut back
    // to its former length.
    Status append(const char *record);
    // Writes the record count and today's date (see setToday) into the header.
    Status writeHeader();
    void setToday(Today today) { m_today = std::move(today); }
    Status truncateRecords(std::uint32_t count);
    Status sync();
    // Gives back the memory of the mapping and the block cache; later reads go to the file.
    void releaseMemory();
    // The file has been replaced: when this object goes, its file is closed in the background
    // (see File::closeInBackground).
    void closeInBackground() { m_file->closeInBackground(); }
    // Changes this open's lock on the table (see FileIo.h): pack and zap need the table to
    // themselves even when it was opened shared.
    Status lock(bool exclusive) { return m_readOnly ? Status::ok() : m_file->lock(exclusive); }

private:
    struct Block
    {
        std::int64_t index = -1;
        std::vector<char> bytes;
        std::size_t valid = 0;
    };
    // Small blocks suit the random reads of a walk in key order; 4 MiB in all.
    static constexpr std::size_t kBlockSize = 4 * 1024;
    static constexpr std::size_t kBlocks = 1024;

    Status parseHeader();
    void remap();
    void unmap();
    void invalidate(std::uint64_t offset, std::size_t n, const char *data);

    std::unique_ptr<File> m_file;
    Today m_today = [] { return QDate::currentDate(); };
    QByteArray m_header;
    QList<FieldLayout> m_fields;
    int m_recordLength = 0;
    int m_headerLength = 0;
    std::uint32_t m_count = 0;
    std::uint32_t m_headerCount = 0;
    bool m_hasMemo = false;
    bool m_readOnly = false;
    bool m_headerDirty = false;
    std::vector<Block> m_cache;
    std::vector<char> m_appendBuffer;
    std::uint32_t m_lastRead = 0;
    // Reads of the records present at open (and after each remap) copy from a read-only mapping
    // of the file; writes go through the file and the kernel keeps the two in step.
    const char *m_map = nullptr;
    std::uint64_t m_mapped = 0;
};

// Field value encodings shared by the table and its tools.
namespace fieldcodec {
// Str(value, len, dec) as a dBASE numeric field stores it; '*' x len when it does not fit.
QByteArray formatNumber(double value, int length, int decimals);
// Parses a numeric field's bytes (blank is 0); false for text that is no number.
bool parseNumber(QByteArrayView bytes, double *value);
// Cuts UTF-8 text to at most n bytes without splitting a character.
QByteArray cutUtf8(const QByteArray &utf8, int n);
} // namespace fieldcodec

} // namespace db
