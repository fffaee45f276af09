// tallyra-dbtool: maintenance of a data directory from a shell.
//
//   tallyra-dbtool check DIR [TABLE ...]   structure, memo pointers and every index tag
//   tallyra-dbtool dump DIR TABLE          every record, one line each
//   tallyra-dbtool reindex DIR             rebuild the index tags of the business's tables
//   tallyra-dbtool pack DIR                remove deleted records from the business's tables

#include "engine/Dump.h"
#include "engine/Engine.h"

#ifdef TALLYRA_HAVE_MAINTENANCE
#include "DbToolMaintenance.h"
#endif

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <cstdio>

namespace {

void out(const QString &line)
{
    std::fputs(line.toLocal8Bit().constData(), stdout);
    std::fputc('\n', stdout);
}

void err(const QString &line)
{
    std::fputs(line.toLocal8Bit().constData(), stderr);
    std::fputc('\n', stderr);
}

int usage()
{
    err(QStringLiteral("usage: tallyra-dbtool check DIR [TABLE ...]\n"
                       "       tallyra-dbtool dump DIR TABLE\n"
                       "       tallyra-dbtool reindex DIR\n"
                       "       tallyra-dbtool pack DIR"));
    return 2;
}

int check(const QString &dir, QStringList tables)
{
    if (tables.isEmpty()) {
        const auto files = QDir(dir).entryInfoList(QDir::Files, QDir::Name | QDir::IgnoreCase);
        for (const QFileInfo &f : files) {
            if (f.suffix().compare(QLatin1String("dbf"), Qt::CaseInsensitive) == 0)
                tables << f.completeBaseName();
        }
    }
    db::Engine engine(dir);
    engine.setAccess(db::Access::Shared);
    bool bad = false;
    for (const QString &name : std::as_const(tables)) {
        db::Status s;
        db::Table *t = engine.open(name, &s);
        if (!t) {
            out(QStringLiteral("%1: %2").arg(name, s.toString()));
            bad = true;
            continue;
        }
        QStringList report;
        if (!t->check(&report))
            bad = true;
        for (const QString &line : std::as_const(report))
            out(line);
        engine.close(name);
    }
    return bad ? 1 : 0;
}

int dump(const QString &dir, const QString &name)
{
    db::Engine engine(dir);
    engine.setAutoOpenIndex(false);
    db::Status s;
    db::Table *t = engine.open(name, &s);
    if (!t) {
        err(s.toString());
        return 1;
    }
    for (bool more = t->go(1); more; more = t->skip(1)) {
        const QByteArray line = db::dumpRecord(*t) + '\n';
        std::fwrite(line.constData(), 1, static_cast<std::size_t>(line.size()), stdout);
    }
    s = t->error();
    if (!s) {
        err(s.toString());
        return 1;
    }
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    if (args.size() < 2)
        return usage();
    const QString command = args[0];
    const QString dir = args[1];
    if (!QFileInfo(dir).isDir()) {
        err(QStringLiteral("%1: no such directory").arg(dir));
        return 2;
    }
    if (command == QLatin1String("check"))
        return check(dir, args.mid(2));
    if (command == QLatin1String("dump") && args.size() == 3)
        return dump(dir, args[2]);
#ifdef TALLYRA_HAVE_MAINTENANCE
    if (command == QLatin1String("reindex") && args.size() == 2)
        return tallyra::dbtoolReindex(dir);
    if (command == QLatin1String("pack") && args.size() == 2)
        return tallyra::dbtoolPack(dir);
#endif
    return usage();
}
