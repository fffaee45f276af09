#include "TestSupport.h"

#include "Clock.h"
#include "Schema.h"
#include "engine/Engine.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QProcess>

namespace testsupport {

QString fixturePath(const QString &relative)
{
    QString root = qEnvironmentVariable("TALLYRA_FIXTURES", QStringLiteral(TALLYRA_FIXTURES_DIR));
    return relative.isEmpty() ? root : root + QLatin1Char('/') + relative;
}

QString binPath(const QString &program)
{
    QString root = qEnvironmentVariable("TALLYRA_BIN", QStringLiteral(TALLYRA_BIN_DIR));
    return program.isEmpty() ? root : root + QLatin1Char('/') + program;
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

qint64 recordCount(const QString &dir, const QString &table)
{
    db::Engine engine(dir);
    engine.setAutoOpenIndex(false);
    db::Table *t = engine.open(table);
    return t ? qint64(t->recordCount()) : -1;
}

QStringList snapshot(const QString &dir)
{
    QStringList files;
    for (const QString &name : QDir(dir).entryList(QDir::Files, QDir::Name)) {
        QFile f(QDir(dir).filePath(name));
        f.open(QIODevice::ReadOnly);
        files << name + ' ' + QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha1).toHex();
    }
    return files;
}

TempDataDir::TempDataDir() = default;

bool TempDataDir::copyFile(const QString &from, const QString &toName)
{
    const QString target = file(toName);
    QFile::remove(target);
    if (!QFile::copy(from, target))
        return false;
    return QFile::setPermissions(target, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup);
}

bool TempDataDir::copyFixtures(const QString &folder)
{
    QDir source(fixturePath(folder));
    if (!source.exists())
        return false;
    const auto entries = source.entryInfoList(QDir::Files);
    for (const QFileInfo &info : entries) {
        if (!copyFile(info.absoluteFilePath(), info.fileName()))
            return false;
    }
    return true;
}

namespace {

class FailingFile : public db::File
{
public:
    FailingFile(std::unique_ptr<db::File> real, std::shared_ptr<std::int64_t> budget, bool growthOnly,
                std::shared_ptr<FailingFileSystem::WriteCounter> writes)
        : m_real(std::move(real))
        , m_budget(std::move(budget))
        , m_growthOnly(growthOnly)
        , m_writes(std::move(writes))
    {}
    db::Status read(std::uint64_t offset, void *buffer, std::size_t n) override
    {
        return m_real->read(offset, buffer, n);
    }
    std::int64_t readSome(std::uint64_t offset, void *buffer, std::size_t n) override
    {
        return m_real->readSome(offset, buffer, n);
    }
    db::Status write(std::uint64_t offset, const void *buffer, std::size_t n) override
    {
        const std::lock_guard<std::mutex> guard(m_writes->lock);
        ++m_writes->done;
        if (m_writes->failAt > 0 && m_writes->done == m_writes->failAt) {
            // The disk fills up in the middle of this write.
            if (n > 1)
                m_real->write(offset, buffer, n / 2);
            return db::Status::ioError(m_real->path() + QStringLiteral(": No space left on device"));
        }
        std::uint64_t size = m_real->size();
        std::uint64_t counted = n;
        if (m_growthOnly)
            counted = offset + n > size ? offset + n - std::max(offset, size) : 0;
        if (static_cast<std::int64_t>(counted) <= *m_budget) {
            *m_budget -= static_cast<std::int64_t>(counted);
            return m_real->write(offset, buffer, n);
        }
        // Write what fits, then fail, as a disk that fills up in the middle of a write.
        std::uint64_t fits = n - (counted - static_cast<std::uint64_t>(std::max<std::int64_t>(*m_budget, 0)));
        if (fits > 0)
            m_real->write(offset, buffer, fits);
        *m_budget = 0;
        return db::Status::ioError(m_real->path() + QStringLiteral(": No space left on device"));
    }
    std::uint64_t size() const override { return m_real->size(); }
    db::Status truncate(std::uint64_t size) override { return m_real->truncate(size); }
    db::Status sync() override { return m_writes->skipSyncs ? db::Status::ok() : m_real->sync(); }
    void startWriteback(std::uint64_t offset, std::uint64_t n) override { m_real->startWriteback(offset, n); }
    void dropCachedPages() override { m_real->dropCachedPages(); }
    db::Status lock(bool exclusive) override { return m_real->lock(exclusive); }
    const QString &path() const override { return m_real->path(); }
    int nativeHandle() const override { return m_real->nativeHandle(); }

private:
    std::unique_ptr<db::File> m_real;
    std::shared_ptr<std::int64_t> m_budget;
    bool m_growthOnly;
    std::shared_ptr<FailingFileSystem::WriteCounter> m_writes;
};

} // namespace

FailingFileSystem::FailingFileSystem(std::int64_t budget, bool growthOnly)
    : m_budget(std::make_shared<std::int64_t>(budget))
    , m_growthOnly(growthOnly)
    , m_writes(std::make_shared<WriteCounter>())
    , m_real(db::FileSystem::posix())
{}

db::Status FailingFileSystem::open(const QString &path, db::OpenMode mode, std::unique_ptr<db::File> *file)
{
    std::unique_ptr<db::File> real;
    db::Status s = m_real->open(path, mode, &real);
    if (!s)
        return s;
    *file = std::make_unique<FailingFile>(std::move(real), m_budget, m_growthOnly, m_writes);
    return s;
}

db::Status FailingFileSystem::rename(const QString &from, const QString &to)
{
    return m_real->rename(from, to);
}

db::Status FailingFileSystem::remove(const QString &path)
{
    return m_real->remove(path);
}

bool FailingFileSystem::exists(const QString &path) const
{
    return m_real->exists(path);
}

db::Status FailingFileSystem::list(const QString &dir, QStringList *names) const
{
    return m_real->list(dir, names);
}

void FailingFileSystem::failAtWrite(std::int64_t n)
{
    m_writes->done = 0;
    m_writes->failAt = n;
}

FailDevice::FailDevice(qint64 limit, QObject *parent)
    : QIODevice(parent)
    , m_limit(limit)
{
    open(QIODevice::WriteOnly);
}

qint64 FailDevice::writeData(const char *data, qint64 len)
{
    if (m_data.size() + len > m_limit) {
        setErrorString(QStringLiteral("No space left on device"));
        return -1;
    }
    m_data.append(data, len);
    return len;
}

FixedClock::FixedClock(const QDate &date)
{
    tallyra::setFixedToday(date);
}

FixedClock::~FixedClock()
{
    tallyra::setFixedToday({});
}

bool createSchemaTables(const QString &dir)
{
    for (const tallyra::TableDef &def : tallyra::schemaTables()) {
        if (!db::Table::create(dir, def.fileName, def.fields).isOk())
            return false;
    }
    db::Engine engine(dir);
    engine.setAutoOpenIndex(false);
    for (const tallyra::TableDef &def : tallyra::schemaTables()) {
        if (!def.indexed())
            continue;
        db::Table *t = engine.open(def.name);
        if (!t || !t->createIndexGroup(def.tags, false).isOk())
            return false;
        engine.closeAll();
    }
    return true;
}

QJsonArray dbfreadRows(const QString &file)
{
    const char *reader = R"PY(
import json, sys
from dbfread import DBF
rows = []
for r in DBF(sys.argv[1], encoding='utf-8', char_decode_errors='strict', load=True, ignore_missing_memofile=False):
    rows.append({k: (v.isoformat() if hasattr(v, 'isoformat') else v) for k, v in r.items()})
print(json.dumps(rows))
)PY";
    QProcess p;
    p.start(QStringLiteral("/usr/bin/python3"), {QStringLiteral("-c"), QString::fromLatin1(reader), file});
    if (!p.waitForFinished(20000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        qWarning("dbfread failed on %s: %s", qPrintable(file), p.readAllStandardError().constData());
        return {};
    }
    return QJsonDocument::fromJson(p.readAllStandardOutput()).array();
}

} // namespace testsupport
