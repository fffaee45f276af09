#include "BackupFiles.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStorageInfo>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <future>
#include <openssl/evp.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace tallyra {

namespace {

// Big enough to keep the system calls few, small enough that a chunk just read is still in the
// processor's cache when it is hashed and written.
constexpr std::size_t kChunk = 1 << 20;
const QString kCopySuffix = QStringLiteral(".copying");

// SHA-256 by libcrypto, which uses the processor's SHA instructions where it has them: several
// times the speed of a portable implementation, and the hash is most of a backup's work.
class Sha256
{
public:
    Sha256()
        : m_ctx(EVP_MD_CTX_new())
    {
        m_ok = m_ctx && EVP_DigestInit_ex(m_ctx, EVP_sha256(), nullptr) == 1;
    }
    ~Sha256() { EVP_MD_CTX_free(m_ctx); }
    Sha256(const Sha256 &) = delete;
    Sha256 &operator=(const Sha256 &) = delete;

    void add(const char *data, std::size_t n) { m_ok = m_ok && EVP_DigestUpdate(m_ctx, data, n) == 1; }
    // Hex digest; empty when the library failed (never equal to a real digest).
    QByteArray hex()
    {
        unsigned char digest[EVP_MAX_MD_SIZE];
        unsigned int size = 0;
        if (!m_ok || EVP_DigestFinal_ex(m_ctx, digest, &size) != 1)
            return {};
        return QByteArray(reinterpret_cast<const char *>(digest), int(size)).toHex();
    }

private:
    EVP_MD_CTX *m_ctx;
    bool m_ok = false;
};

QString errorText(int err)
{
    return QString::fromLocal8Bit(std::strerror(err));
}

// The engine's I/O messages end with the system's error text; that tells a full disk from a
// write-protected one in whatever language the system speaks.
CopyFault classify(const db::Status &s)
{
    const QString &m = s.message();
    if (m.contains(errorText(ENOSPC)) || m.contains(errorText(EDQUOT)))
        return CopyFault::DiskFull;
    if (m.contains(errorText(EROFS)) || m.contains(errorText(EACCES)) || m.contains(errorText(EPERM)))
        return CopyFault::WriteProtected;
    if (s.isNotFound())
        return CopyFault::SourceMissing;
    return CopyFault::Other;
}

CopyResult failed(const db::Status &s, CopyFault fault)
{
    CopyResult r;
    r.status = s;
    r.fault = fault;
    return r;
}

// Reads the synced copy back whole and hashes it: equal to the hash of what was read from the
// source, the copy holds exactly those bytes.
db::Status hashBack(db::File &copy, std::uint64_t size, const QByteArray &sourceSha256,
                    std::vector<char> &buffer)
{
    Sha256 hash;
    for (std::uint64_t offset = 0; offset < size;) {
        const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(buffer.size(), size - offset));
        if (db::Status s = copy.read(offset, buffer.data(), n); !s)
            return s;
        hash.add(buffer.data(), n);
        offset += n;
    }
    if (hash.hex() != sourceSha256)
        return db::Status::ioError(
            QStringLiteral("%1: the copy read back differs from the original").arg(copy.path()));
    return db::Status::ok();
}

// Reads the synced copy back and compares it with the source byte for byte: the copy through a
// mapping, the source chunk by chunk, far cheaper than hashing it again. When they differ (the
// source may have been written to meanwhile) the copy must still hash to what was read.
db::Status readBack(db::File &source, db::File &copy, std::uint64_t size, const QByteArray &sourceSha256,
                    std::vector<char> &buffer)
{
    if (copy.size() != size)
        return db::Status::ioError(QStringLiteral("%1: the copy has %2 bytes, the original %3")
                                       .arg(copy.path())
                                       .arg(copy.size())
                                       .arg(size));
    if (size == 0)
        return db::Status::ok();
    void *mapped = copy.nativeHandle() < 0
                       ? MAP_FAILED
                       : ::mmap(nullptr, size, PROT_READ, MAP_SHARED, copy.nativeHandle(), 0);
    if (mapped == MAP_FAILED)
        return hashBack(copy, size, sourceSha256, buffer);
    ::madvise(mapped, size, MADV_SEQUENTIAL);
    const char *bytes = static_cast<const char *>(mapped);
    bool equal = true;
    for (std::uint64_t offset = 0; equal && offset < size;) {
        const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(buffer.size(), size - offset));
        const std::int64_t got = source.readSome(offset, buffer.data(), n);
        equal = got == static_cast<std::int64_t>(n) && std::memcmp(buffer.data(), bytes + offset, n) == 0;
        offset += n;
    }
    ::munmap(mapped, size);
    return equal ? db::Status::ok() : hashBack(copy, size, sourceSha256, buffer);
}

} // namespace

const QList<BackupFile> &backupFiles()
{
    static const QList<BackupFile> files = {
        {QStringLiteral("CUST5.DBF"), TableId::Customers, 10, false, false},
        {QStringLiteral("CUST5.DBT"), TableId::Customers, 20, false, false},
        {QStringLiteral("GROUPS.DBF"), TableId::Groups, 30, false, false},
        {QStringLiteral("INV6.DBF"), TableId::Invoices, 35, false, false},
        {QStringLiteral("INV6.DBT"), TableId::Invoices, 45, false, false},
        {QStringLiteral("ITM5.DBF"), TableId::Items, 55, false, false},
        {QStringLiteral("LABELS.DBF"), TableId::Labels, 70, false, false},
        {QStringLiteral("PMT.DBF"), TableId::Payments, 75, false, false},
        {QStringLiteral("Pur5.DBF"), TableId::Purchases, 85, false, false},
        {QStringLiteral("Prod5.DBF"), TableId::Products, 95, false, false},
        {QStringLiteral("Prod5.DBT"), TableId::Products, 100, false, false},
        // The program does not start without the first two; the others are made when first used.
        {QStringLiteral("TLR2.DBF"), TableId::Settings, 100, true, false},
        {QStringLiteral("ImportF.DBF"), TableId::ImportFormats, 100, true, false},
        {QStringLiteral("ZZone.DBF"), TableId::Zones, 100, true, true},
        {QStringLiteral("ImpDirs.DBF"), TableId::ImportDirs, 100, true, true},
        {QStringLiteral("MailSet.DBF"), TableId::MailServer, 100, true, true},
    };
    return files;
}

bool tableOfFile(const QString &name, TableId *table)
{
    for (const TableDef &def : schemaTables()) {
        if (tableFiles(def.id, true).contains(name, Qt::CaseInsensitive)) {
            *table = def.id;
            return true;
        }
    }
    return false;
}

QString findNoCase(const QString &dir, const QString &name)
{
    QDir d(dir);
    if (QFileInfo::exists(d.filePath(name)))
        return d.filePath(name);
    const QStringList files = d.entryList(QDir::Files | QDir::Hidden);
    for (const QString &f : files) {
        if (f.compare(name, Qt::CaseInsensitive) == 0)
            return d.filePath(f);
    }
    return {};
}

QStringList tableFiles(TableId id, bool withIndex)
{
    const TableDef &def = tableDef(id);
    QStringList files{def.fileName};
    if (!def.memoFileName.isEmpty())
        files << def.memoFileName;
    if (withIndex)
        files << def.indexFiles();
    return files;
}

CopyResult copyVerified(db::FileSystem &fs, const QString &source, const QString &target, bool syncRename,
                        bool syncData)
{
    std::unique_ptr<db::File> in;
    db::Status s = fs.open(source, db::OpenMode::ReadOnly, &in);
    if (!s)
        return failed(s, s.isNotFound() ? CopyFault::SourceMissing : CopyFault::Other);

    const QString temp = target + kCopySuffix;
    fs.remove(temp); // a left-over of an interrupted copy
    std::unique_ptr<db::File> out;
    s = fs.open(temp, db::OpenMode::Create, &out);
    if (!s)
        return failed(s, classify(s));

    // The check sum is computed on a helper thread while the same chunk is written: two
    // buffers, the one being hashed is never read into.
    Sha256 hash;
    std::vector<char> buffers[2] = {std::vector<char>(kChunk), std::vector<char>(kChunk)};
    std::future<void> hashing;
    std::uint64_t offset = 0;
    for (int b = 0;; b ^= 1) {
        std::vector<char> &buffer = buffers[b];
        const std::int64_t n = in->readSome(offset, buffer.data(), buffer.size());
        if (n < 0) {
            s = db::Status::ioError(QStringLiteral("%1: read failed at byte %2").arg(source).arg(offset));
            break;
        }
        if (n == 0)
            break;
        if (hashing.valid())
            hashing.wait();
        hashing = std::async(std::launch::async, [&hash, data = buffer.data(), n] {
            hash.add(data, static_cast<std::size_t>(n));
        });
        s = out->write(offset, buffer.data(), static_cast<std::size_t>(n));
        if (!s)
            break;
        offset += static_cast<std::uint64_t>(n);
    }
    if (hashing.valid())
        hashing.wait();
    const QByteArray digest = hash.hex();
    if (s && digest.isEmpty())
        s = db::Status::ioError(QStringLiteral("%1: its SHA-256 could not be computed").arg(source));
    if (s && syncData)
        s = out->sync();
    if (s)
        s = readBack(*in, *out, offset, digest, buffers[0]);
    out.reset();
    in.reset();
    if (s)
        s = syncRename ? fs.rename(temp, target) : renameUnsynced(temp, target);
    if (!s) {
        fs.remove(temp);
        return failed(s, classify(s));
    }
    CopyResult r;
    r.size = static_cast<qint64>(offset);
    r.sha256 = digest;
    return r;
}

db::Status syncFiles(db::FileSystem &fs, const QStringList &paths)
{
    for (const QString &path : paths) {
        std::unique_ptr<db::File> file;
        db::Status s = fs.open(path, db::OpenMode::ReadOnly, &file);
        if (s)
            s = file->sync();
        if (!s)
            return s;
    }
    return db::Status::ok();
}

db::Status renameUnsynced(const QString &from, const QString &to)
{
    if (::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) != 0)
        return db::Status::ioError(QStringLiteral("%1: rename failed: %2").arg(from, errorText(errno)));
    return db::Status::ok();
}

void syncFolder(const QString &dir)
{
    const int fd = ::open(QFile::encodeName(dir).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

CopyResult hashFile(db::FileSystem &fs, const QString &path)
{
    std::unique_ptr<db::File> in;
    db::Status s = fs.open(path, db::OpenMode::ReadOnly, &in);
    if (!s)
        return failed(s, s.isNotFound() ? CopyFault::SourceMissing : CopyFault::Other);
    Sha256 hash;
    std::vector<char> buffer(kChunk);
    std::uint64_t offset = 0;
    for (;;) {
        const std::int64_t n = in->readSome(offset, buffer.data(), buffer.size());
        if (n < 0)
            return failed(
                db::Status::ioError(QStringLiteral("%1: read failed at byte %2").arg(path).arg(offset)),
                CopyFault::Other);
        if (n == 0)
            break;
        hash.add(buffer.data(), static_cast<std::size_t>(n));
        offset += static_cast<std::uint64_t>(n);
    }
    CopyResult r;
    r.size = static_cast<qint64>(offset);
    r.sha256 = hash.hex();
    if (r.sha256.isEmpty())
        return failed(db::Status::ioError(QStringLiteral("%1: its SHA-256 could not be computed").arg(path)),
                      CopyFault::Other);
    return r;
}

QByteArray fileStamp(const QString &path)
{
    struct stat st = {};
    if (path.isEmpty() || ::stat(QFile::encodeName(path).constData(), &st) != 0)
        return QByteArrayLiteral("-");
    return QByteArray::number(quint64(st.st_ino)) + ',' + QByteArray::number(qint64(st.st_size)) + ',' +
           QByteArray::number(qint64(st.st_mtim.tv_sec)) + '.' +
           QByteArray::number(qint64(st.st_mtim.tv_nsec));
}

KnownHashes hashFiles(db::FileSystem &fs, const QStringList &paths)
{
    KnownHashes known;
    for (const QString &path : paths) {
        const QByteArray before = fileStamp(path);
        const CopyResult h = hashFile(fs, path);
        if (h.ok() && fileStamp(path) == before)
            known[path] = {before, h.sha256, h.size};
    }
    return known;
}

const ManifestEntry *Manifest::find(const QString &name) const
{
    auto it = entries.find(name.toUpper());
    return it == entries.end() ? nullptr : &it->second;
}

void Manifest::set(const QString &name, const ManifestEntry &entry)
{
    if (!entries.count(name.toUpper()))
        names << name;
    entries[name.toUpper()] = entry;
}

void Manifest::remove(const QString &name)
{
    entries.erase(name.toUpper());
    names.removeIf([&](const QString &n) { return n.compare(name, Qt::CaseInsensitive) == 0; });
}

QByteArray Manifest::toText() const
{
    QByteArray text = "tallyra-backup 1\ncreated " + created.toUtf8() + '\n';
    for (const QString &name : names) {
        const ManifestEntry &e = entries.at(name.toUpper());
        text += e.sha256 + ' ' + QByteArray::number(e.size) + ' ' + name.toUtf8() + '\n';
    }
    if (complete)
        text += "complete\n";
    if (partial)
        text += "partial\n";
    return text;
}

db::Status readManifest(const QString &dir, Manifest *manifest, bool *present)
{
    *manifest = Manifest();
    const QString path = findNoCase(dir, QString::fromLatin1(Manifest::kFileName));
    *present = !path.isEmpty();
    if (path.isEmpty())
        return db::Status::ok();
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return db::Status::ioError(QStringLiteral("%1: cannot be read: %2").arg(path, f.errorString()));
    const QList<QByteArray> lines = f.read(1 << 20).split('\n');
    if (lines.isEmpty() || lines.first() != "tallyra-backup 1")
        return db::Status::corruption(QStringLiteral("%1: line 1 is not a backup manifest header").arg(path));
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QByteArray &line = lines[i];
        if (line.isEmpty())
            continue;
        if (line.startsWith("created ")) {
            manifest->created = QString::fromUtf8(line.mid(8));
            continue;
        }
        if (line == "complete") {
            manifest->complete = true;
            continue;
        }
        if (line == "partial") {
            manifest->partial = true;
            continue;
        }
        const qsizetype a = line.indexOf(' ');
        const qsizetype b = a < 0 ? -1 : line.indexOf(' ', a + 1);
        bool sizeOk = false;
        const qint64 size = b < 0 ? -1 : line.mid(a + 1, b - a - 1).toLongLong(&sizeOk);
        if (a != 64 || !sizeOk || size < 0 || b + 1 >= line.size())
            return db::Status::corruption(QStringLiteral("%1: line %2 cannot be read").arg(path).arg(i + 1));
        manifest->set(QString::fromUtf8(line.mid(b + 1)), {line.left(64), size});
    }
    return db::Status::ok();
}

db::Status writeManifest(db::FileSystem &fs, const QString &dir, const Manifest &manifest, bool durable)
{
    const QString path = QDir(dir).filePath(QString::fromLatin1(Manifest::kFileName));
    const QString temp = path + kCopySuffix;
    fs.remove(temp);
    std::unique_ptr<db::File> out;
    db::Status s = fs.open(temp, db::OpenMode::Create, &out);
    if (s) {
        const QByteArray text = manifest.toText();
        s = out->write(0, text.constData(), static_cast<std::size_t>(text.size()));
        if (s && durable)
            s = out->sync();
    }
    out.reset();
    if (s)
        s = durable ? fs.rename(temp, path) : renameUnsynced(temp, path);
    if (!s)
        fs.remove(temp);
    return s;
}

bool isRemovableMedia(const QString &path)
{
    const QStorageInfo storage(path);
    if (!storage.isValid())
        return false;
    const QString root = storage.rootPath();
    if (root.startsWith(QLatin1String("/media/")) || root.startsWith(QLatin1String("/run/media/")))
        return true;
    // /dev/sdb1 -> /sys/block/sdb/removable; /dev/mmcblk0p1 -> mmcblk0.
    QString device = QFileInfo(QString::fromLocal8Bit(storage.device())).canonicalFilePath();
    if (!device.startsWith(QLatin1String("/dev/")))
        return false;
    QString disk = device.mid(5);
    QFile removable;
    while (!disk.isEmpty()) {
        removable.setFileName(QStringLiteral("/sys/block/%1/removable").arg(disk));
        if (removable.exists())
            break;
        disk.chop(1);
    }
    if (disk.isEmpty() || !removable.open(QIODevice::ReadOnly))
        return false;
    return removable.readAll().trimmed() == "1";
}

bool sameDirectory(const QString &a, const QString &b)
{
    const QString ca = QFileInfo(a).canonicalFilePath();
    const QString cb = QFileInfo(b).canonicalFilePath();
    if (ca.isEmpty() || cb.isEmpty())
        return QDir::cleanPath(QDir(a).absolutePath()) == QDir::cleanPath(QDir(b).absolutePath());
    return ca == cb;
}

} // namespace tallyra
