#include "FileIo.h"

#include <QFile>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <system_error>
#include <thread>
#include <unistd.h>

namespace db {

namespace {

QString errnoText(const QString &path, const char *what, int err)
{
    return QStringLiteral("%1: %2 failed: %3")
        .arg(path, QLatin1String(what), QString::fromLocal8Bit(std::strerror(err)));
}

class PosixFile : public File
{
public:
    // created: the file is new, so even with nothing written a sync makes it durable.
    PosixFile(int fd, QString path, std::uint64_t size, bool created)
        : m_fd(fd)
        , m_path(std::move(path))
        , m_size(size)
        , m_unsynced(created)
    {}
    ~PosixFile() override
    {
        if (m_closeInBackground) {
            const int fd = m_fd;
            try {
                std::thread([fd] { ::close(fd); }).detach();
                return;
            } catch (const std::system_error &) {
                // No thread to be had: close it here.
            }
        }
        ::close(m_fd);
    }

    Status read(std::uint64_t offset, void *buffer, std::size_t n) override
    {
        std::int64_t got = readSome(offset, buffer, n);
        if (got < 0)
            return Status::ioError(errnoText(m_path, "read", errno));
        if (static_cast<std::size_t>(got) != n)
            return Status::corruption(
                QStringLiteral("%1: unexpected end of file reading %2 bytes at offset %3")
                    .arg(m_path)
                    .arg(n)
                    .arg(offset));
        return Status::ok();
    }

    std::int64_t readSome(std::uint64_t offset, void *buffer, std::size_t n) override
    {
        std::size_t done = 0;
        char *p = static_cast<char *>(buffer);
        while (done < n) {
            ssize_t r = ::pread(m_fd, p + done, n - done, static_cast<off_t>(offset + done));
            if (r < 0) {
                if (errno == EINTR)
                    continue;
                return -1;
            }
            if (r == 0)
                break;
            done += static_cast<std::size_t>(r);
        }
        return static_cast<std::int64_t>(done);
    }

    Status write(std::uint64_t offset, const void *buffer, std::size_t n) override
    {
        m_unsynced = true; // a failed write may still have written part
        std::size_t done = 0;
        const char *p = static_cast<const char *>(buffer);
        while (done < n) {
            ssize_t r = ::pwrite(m_fd, p + done, n - done, static_cast<off_t>(offset + done));
            if (r < 0) {
                if (errno == EINTR)
                    continue;
                int err = errno;
                m_size = std::max(m_size, offset + done);
                return Status::ioError(errnoText(m_path, "write", err));
            }
            done += static_cast<std::size_t>(r);
        }
        m_size = std::max(m_size, offset + n);
        return Status::ok();
    }

    std::uint64_t size() const override { return m_size; }

    Status truncate(std::uint64_t size) override
    {
        m_unsynced = true;
        if (::ftruncate(m_fd, static_cast<off_t>(size)) != 0)
            return Status::ioError(errnoText(m_path, "truncate", errno));
        m_size = size;
        return Status::ok();
    }

    Status sync() override
    {
        // Nothing written through this open: nothing of ours to wait for. Closing a table that
        // was only read then costs no flush of the disk's cache.
        if (!m_unsynced)
            return Status::ok();
        if (::fdatasync(m_fd) != 0)
            return Status::ioError(errnoText(m_path, "sync", errno));
        m_unsynced = false;
        return Status::ok();
    }

    void startWriteback(std::uint64_t offset, std::uint64_t n) override
    {
#ifdef __linux__
        // Without it, a large new file stays in memory until the sync: a machine with much memory
        // starts writing it back only then, and the sync waits for all of it.
        ::sync_file_range(m_fd, static_cast<off_t>(offset), static_cast<off_t>(n), SYNC_FILE_RANGE_WRITE);
#else
        (void)offset;
        (void)n;
#endif
    }

    void dropCachedPages() override
    {
        ::posix_fadvise(m_fd, 0, 0, POSIX_FADV_DONTNEED);
    }

    void closeInBackground() override
    {
        m_closeInBackground = true;
    }

    Status lock(bool exclusive) override
    {
        // Open-file-description locks: held per open, so two opens in one process exclude each
        // other as two processes do, and closing one descriptor does not drop the other's lock.
        struct flock fl
        {
        };
        fl.l_type = exclusive ? F_WRLCK : F_RDLCK;
        fl.l_whence = SEEK_SET;
        // One byte far past any data and outside the byte ranges other dBASE programs lock for
        // records and files, so holding it never blocks their record locks.
        fl.l_start = 3000000000LL;
        fl.l_len = 1;
        if (::fcntl(m_fd, F_OFD_SETLK, &fl) != 0) {
            if (errno == EAGAIN || errno == EACCES)
                return Status::locked(QStringLiteral("%1 is in use by another program").arg(m_path));
            return Status::ioError(errnoText(m_path, "lock", errno));
        }
        return Status::ok();
    }

    const QString &path() const override
    {
        return m_path;
    }
    int nativeHandle() const override
    {
        return m_fd;
    }

private:
    int m_fd;
    QString m_path;
    std::uint64_t m_size;
    bool m_unsynced; // created, written or cut since the last sync
    bool m_closeInBackground = false;
};

class PosixFileSystem : public FileSystem
{
public:
    Status open(const QString &path, OpenMode mode, std::unique_ptr<File> *file) override
    {
        const QByteArray native = QFile::encodeName(path);
        int flags = O_CLOEXEC;
        switch (mode) {
        case OpenMode::ReadOnly:
            flags |= O_RDONLY;
            break;
        case OpenMode::ReadWrite:
            flags |= O_RDWR;
            break;
        case OpenMode::Create:
            flags |= O_RDWR | O_CREAT | O_EXCL;
            break;
        }
        int fd = ::open(native.constData(), flags, 0644);
        if (fd < 0) {
            int err = errno;
            if (err == ENOENT)
                return Status::notFound(QStringLiteral("%1: no such file").arg(path));
            return Status::ioError(errnoText(path, "open", err));
        }
        struct stat st
        {
        };
        if (::fstat(fd, &st) != 0) {
            int err = errno;
            ::close(fd);
            return Status::ioError(errnoText(path, "stat", err));
        }
        *file = std::make_unique<PosixFile>(fd, path, static_cast<std::uint64_t>(st.st_size),
                                            mode == OpenMode::Create);
        return Status::ok();
    }

    Status rename(const QString &from, const QString &to) override
    {
        if (::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) != 0)
            return Status::ioError(errnoText(from, "rename", errno));
        // The new name must survive a crash too: sync the directory entry.
        const QByteArray dir =
            QFile::encodeName(to.left(std::max<qsizetype>(to.lastIndexOf(QLatin1Char('/')), 1)));
        int dfd =
            ::open(to.contains(QLatin1Char('/')) ? dir.constData() : ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (dfd >= 0) {
            ::fsync(dfd);
            ::close(dfd);
        }
        return Status::ok();
    }

    Status remove(const QString &path) override
    {
        if (::unlink(QFile::encodeName(path).constData()) != 0 && errno != ENOENT)
            return Status::ioError(errnoText(path, "remove", errno));
        return Status::ok();
    }

    bool exists(const QString &path) const override
    {
        struct stat st
        {
        };
        return ::stat(QFile::encodeName(path).constData(), &st) == 0;
    }

    Status list(const QString &dir, QStringList *names) const override
    {
        names->clear();
        DIR *d = ::opendir(QFile::encodeName(dir).constData());
        if (!d)
            return Status::ioError(errnoText(dir, "list", errno));
        while (const dirent *e = ::readdir(d)) {
            const QString name = QFile::decodeName(e->d_name);
            struct stat st
            {
            };
            if (::fstatat(::dirfd(d), e->d_name, &st, 0) == 0 && S_ISREG(st.st_mode))
                names->append(name);
        }
        ::closedir(d);
        return Status::ok();
    }
};

} // namespace

Status readSmallFile(FileSystem &fs, const QString &path, QByteArray *content, std::size_t maxBytes)
{
    std::unique_ptr<File> file;
    Status s = fs.open(path, OpenMode::ReadOnly, &file);
    if (!s)
        return s;
    if (file->size() > maxBytes)
        return Status::corruption(
            QStringLiteral("%1: %2 bytes are more than this file may hold").arg(path).arg(file->size()));
    content->resize(static_cast<qsizetype>(file->size()));
    return file->read(0, content->data(), static_cast<std::size_t>(content->size()));
}

Status writeNewFile(FileSystem &fs, const QString &path, QByteArrayView content)
{
    Status s = fs.remove(path);
    std::unique_ptr<File> file;
    if (s)
        s = fs.open(path, OpenMode::Create, &file);
    if (!s)
        return s;
    s = file->write(0, content.data(), static_cast<std::size_t>(content.size()));
    if (s)
        s = file->sync();
    file.reset();
    if (!s)
        fs.remove(path);
    return s;
}

std::shared_ptr<FileSystem> FileSystem::posix()
{
    static std::shared_ptr<FileSystem> fs = std::make_shared<PosixFileSystem>();
    return fs;
}

} // namespace db
