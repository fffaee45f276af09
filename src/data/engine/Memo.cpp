#include "Memo.h"

#include <cstring>

namespace db {

namespace {

QByteArray header(std::uint32_t nextFree)
{
    QByteArray h(MemoFile::kBlockSize, '\0');
    for (int i = 0; i < 4; ++i)
        h[i] = static_cast<char>((nextFree >> (8 * i)) & 0xff);
    h[5] = 0x02;  // block size 512, little endian, at offset 4
    h[16] = 0x03; // dBASE III version byte
    return h;
}

} // namespace

Status MemoFile::create(FileSystem &fs, const QString &path)
{
    std::unique_ptr<File> file;
    Status s = fs.open(path, OpenMode::Create, &file);
    if (!s)
        return s;
    const QByteArray h = header(1);
    s = file->write(0, h.constData(), static_cast<std::size_t>(h.size()));
    if (s)
        s = file->sync();
    if (!s) {
        file.reset();
        fs.remove(path);
    }
    return s;
}

Status MemoFile::open(FileSystem &fs, const QString &path, bool readOnly, std::unique_ptr<MemoFile> *out)
{
    auto memo = std::unique_ptr<MemoFile>(new MemoFile);
    Status s = fs.open(path, readOnly ? OpenMode::ReadOnly : OpenMode::ReadWrite, &memo->m_file);
    if (!s && !readOnly && !s.isNotFound()) {
        s = fs.open(path, OpenMode::ReadOnly, &memo->m_file);
        readOnly = s.isOk();
    }
    if (!s)
        return s;
    memo->m_readOnly = readOnly;
    if (memo->m_file->size() < 4)
        return Status::corruption(
            QStringLiteral("%1: memo file of %2 bytes has no header").arg(path).arg(memo->m_file->size()));
    unsigned char b[4];
    s = memo->m_file->read(0, b, 4);
    if (!s)
        return s;
    memo->m_nextFree = b[0] | (b[1] << 8) | (b[2] << 16) | (static_cast<std::uint32_t>(b[3]) << 24);
    // The next free block may not point before the first memo; past the end of the file it is
    // taken from the file size so that no stored memo is ever overwritten.
    const std::uint64_t blocksInFile = (memo->m_file->size() + kBlockSize - 1) / kBlockSize;
    if (memo->m_nextFree < 1 || memo->m_nextFree < blocksInFile)
        memo->m_nextFree = static_cast<std::uint32_t>(std::max<std::uint64_t>(blocksInFile, 1));
    *out = std::move(memo);
    return Status::ok();
}

Status MemoFile::read(std::uint32_t block, QByteArray *text)
{
    text->clear();
    if (block == 0)
        return Status::ok();
    const std::uint64_t start = static_cast<std::uint64_t>(block) * kBlockSize;
    const std::uint64_t size = m_file->size();
    if (start >= size)
        return Status::corruption(QStringLiteral("%1: memo block %2 lies past the end of the file (%3 bytes)")
                                      .arg(path())
                                      .arg(block)
                                      .arg(size));
    char buf[4096];
    std::uint64_t at = start;
    while (at < size) {
        const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(sizeof buf, size - at));
        std::int64_t got = m_file->readSome(at, buf, want);
        if (got <= 0)
            return Status::ioError(QStringLiteral("%1: read failed at offset %2").arg(path()).arg(at));
        const void *end = std::memchr(buf, 0x1a, static_cast<std::size_t>(got));
        if (end) {
            text->append(buf, static_cast<const char *>(end) - buf);
            return Status::ok();
        }
        text->append(buf, got);
        at += static_cast<std::uint64_t>(got);
    }
    // No terminator before the end of the file: keep what is there, as other readers do.
    return Status::ok();
}

Status MemoFile::write(QByteArrayView text, std::uint32_t *block)
{
    *block = 0;
    if (m_readOnly)
        return Status::invalid(QStringLiteral("%1 is read-only").arg(path()));
    QByteArray bytes = text.toByteArray();
    bytes.replace('\x1a', "");
    if (bytes.isEmpty())
        return Status::ok();
    const std::uint32_t first = m_nextFree;
    const std::uint32_t blocks = static_cast<std::uint32_t>((bytes.size() + 2 + kBlockSize - 1) / kBlockSize);
    bytes.append("\x1a\x1a", 2);
    bytes.append(QByteArray(static_cast<qsizetype>(blocks) * kBlockSize - bytes.size(), '\0'));
    const std::uint64_t oldSize = m_file->size();
    Status s = m_file->write(static_cast<std::uint64_t>(first) * kBlockSize, bytes.constData(),
                             static_cast<std::size_t>(bytes.size()));
    if (!s) {
        m_file->truncate(oldSize);
        return s;
    }
    // The header is updated at once: a crash after this leaves at worst abandoned blocks, never
    // two memos sharing one.
    const std::uint32_t next = first + blocks;
    unsigned char h[4] = {
        static_cast<unsigned char>(next & 0xff), static_cast<unsigned char>((next >> 8) & 0xff),
        static_cast<unsigned char>((next >> 16) & 0xff), static_cast<unsigned char>(next >> 24)};
    s = m_file->write(0, h, 4);
    if (!s)
        return s;
    m_nextFree = next;
    *block = first;
    return s;
}

Status MemoFile::sync()
{
    return m_readOnly ? Status::ok() : m_file->sync();
}

} // namespace db
