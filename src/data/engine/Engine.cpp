#include "Engine.h"

#include "TablePrivate.h"

namespace db {

Engine::Engine(QString directory, std::shared_ptr<FileSystem> fs)
    : m_directory(std::move(directory))
    , m_fs(std::move(fs))
{}

Engine::~Engine()
{
    closeAll();
}

QString Engine::findFile(const QString &name) const
{
    return findFileNoCase(*m_fs, m_directory, name);
}

Table *Engine::table(const QString &bareName) const
{
    auto it = m_open.find(bareName.toUpper());
    return it == m_open.end() ? nullptr : it->second.get();
}

Table *Engine::open(const QString &bareName, Status *status)
{
    Status local;
    Status &s = status ? *status : local;
    s = Status::ok();
    if (Table *t = table(bareName))
        return t;
    const QString fileName = findFile(bareName + QStringLiteral(".dbf"));
    if (fileName.isEmpty()) {
        s = Status::notFound(QStringLiteral("%1.DBF: no such table in %2").arg(bareName, m_directory));
        return nullptr;
    }
    s = recoverRewrite(*m_fs, m_directory, fileName);
    if (!s)
        return nullptr;
    auto d = std::make_unique<TablePrivate>();
    d->fs = m_fs;
    d->dir = m_directory;
    d->name = bareName;
    d->fileName = fileName;
    d->access = m_access;
    d->today = m_today;
    s = DbfFile::open(*m_fs, d->path(fileName), m_access == Access::Exclusive, &d->dbf);
    if (!s)
        return nullptr;
    d->dbf->setToday(m_today);
    if (d->dbf->hasMemo()) {
        const QString base = fileName.left(fileName.lastIndexOf(QLatin1Char('.')));
        d->memoFileName = findFile(base + QStringLiteral(".dbt"));
        if (d->memoFileName.isEmpty()) {
            s = Status::notFound(
                QStringLiteral("%1.DBT: the memo file of %2 is missing").arg(base, fileName));
            return nullptr;
        }
        s = MemoFile::open(*m_fs, d->path(d->memoFileName), d->dbf->readOnly(), &d->memo);
        if (!s)
            return nullptr;
    }
    if (m_autoOpenIndex) {
        s = d->openGroup();
        if (!s)
            return nullptr;
    }
    d->toEof();
    auto table = std::unique_ptr<Table>(new Table(std::move(d)));
    table->top();
    Table *raw = table.get();
    m_open[bareName.toUpper()] = std::move(table);
    return raw;
}

Status Engine::close(const QString &bareName)
{
    auto it = m_open.find(bareName.toUpper());
    if (it == m_open.end())
        return Status::ok();
    Status s = it->second->close();
    m_open.erase(it);
    return s;
}

Status Engine::closeAll()
{
    Status first;
    for (auto &[name, table] : m_open) {
        Status s = table->close();
        if (first.isOk() && !s.isOk())
            first = s;
    }
    m_open.clear();
    return first;
}

} // namespace db
