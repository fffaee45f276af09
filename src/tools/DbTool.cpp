// tallyra-dbtool: maintenance of a data directory from a shell.
//
//   tallyra-dbtool check DIR [TABLE ...]   structure, memo pointers and every index tag
//   tallyra-dbtool dump DIR TABLE          every record, one line each
//   tallyra-dbtool reindex DIR             rebuild the index tags of the business's tables
//   tallyra-dbtool pack DIR                remove deleted records from the business's tables
//   tallyra-dbtool backup DIR TARGET       copy the business's files to TARGET, verified, with a manifest
//   tallyra-dbtool restore DIR SOURCE [--settings]
//                                          put a backup back, all or nothing, and rebuild the indexes
//   tallyra-dbtool verify-backup SOURCE    check a backup against its manifest

#include "DbToolMaintenance.h"
#include "engine/Dump.h"
#include "engine/Engine.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>
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
                       "       tallyra-dbtool pack DIR\n"
                       "       tallyra-dbtool backup DIR TARGET\n"
                       "       tallyra-dbtool restore DIR SOURCE [--settings]\n"
                       "       tallyra-dbtool verify-backup SOURCE"));
    return 2;
}

// "CUST5", "cust5" and "CUST5.DBF" all name the table CUST5.
QString bareName(const QString &name)
{
    return name.endsWith(QLatin1String(".dbf"), Qt::CaseInsensitive) ? name.chopped(4) : name;
}

// The file of `dir` named `name` without regard to case; empty when there is none.
QString fileNoCase(const QString &dir, const QString &name)
{
    const QStringList files = QDir(dir).entryList(QDir::Files);
    for (const QString &f : files) {
        if (f.compare(name, Qt::CaseInsensitive) == 0)
            return f;
    }
    return {};
}

// The tag files the table's group file names, in its order.
QStringList groupTags(const QString &dir, const QString &table)
{
    QFile group(QDir(dir).filePath(fileNoCase(dir, table + QLatin1String(".cgp"))));
    if (!group.open(QIODevice::ReadOnly))
        return {};
    QStringList tags;
    const QStringList lines =
        QString::fromUtf8(group.read(64 * 1024)).split(QRegularExpression(QStringLiteral("[\r\n]+")));
    for (const QString &line : lines) {
        if (!line.trimmed().isEmpty())
            tags << line.trimmed();
    }
    return tags;
}

// Checks one tag of a table whose group cannot be opened as a whole (a tag file is missing or
// damaged), so that every other tag still gets its own verdict. The table opens from a scratch
// folder holding links to its data and memo files and to the one tag file, with a group file
// naming only that tag; nothing in `dir` is written. Returns the verdict: "ok" or the fault.
QString checkTagAlone(const QString &dir, const QString &dataFile, const QString &tagFile)
{
    QTemporaryDir scratch;
    const QString noScratch = QStringLiteral("not checked: no scratch folder could be made");
    if (!scratch.isValid())
        return noScratch;
    const QString base = dataFile.left(dataFile.lastIndexOf(QLatin1Char('.')));
    const QStringList linked = {dataFile, fileNoCase(dir, base + QLatin1String(".dbt")),
                                tagFile.contains(QLatin1Char('/')) ? QString() : fileNoCase(dir, tagFile)};
    for (const QString &f : linked) {
        if (!f.isEmpty())
            QFile::link(QDir(dir).absoluteFilePath(f), scratch.filePath(f));
    }
    QFile group(scratch.filePath(base + QLatin1String(".cgp")));
    if (!group.open(QIODevice::WriteOnly) || group.write(tagFile.toUtf8() + '\n') < 0)
        return noScratch;
    group.close();

    db::Engine engine(scratch.path());
    db::Status s;
    db::Table *t = engine.open(base, &s);
    if (t)
        s = t->tagNames().isEmpty() ? db::Status::notFound(QStringLiteral("%1: not opened").arg(tagFile))
                                    : t->checkTag(t->tagNames().constFirst());
    engine.closeAll();
    if (s.isOk())
        return QStringLiteral("ok");
    // Name the user's folder in the message, not the scratch one.
    return s.toString().replace(scratch.path(), dir);
}

int check(const QString &dir, QStringList tables)
{
    if (tables.isEmpty()) {
        const auto files = QDir(dir).entryInfoList(QDir::Files, QDir::Name | QDir::IgnoreCase);
        for (const QFileInfo &f : files) {
            if (f.suffix().compare(QLatin1String("dbf"), Qt::CaseInsensitive) == 0)
                tables << f.completeBaseName();
        }
        if (tables.isEmpty()) {
            out(QStringLiteral("%1: no tables").arg(dir));
            return 1;
        }
    }
    db::Engine engine(dir);
    engine.setAccess(db::Access::Shared);
    bool bad = false;
    for (const QString &given : std::as_const(tables)) {
        const QString name = bareName(given);
        db::Status s;
        db::Table *t = engine.open(name, &s);
        if (!t) {
            // Perhaps only a tag is at fault: check the table alone, then each tag by itself.
            bad = true;
            const db::Status groupFailure = s;
            engine.setAutoOpenIndex(false);
            t = engine.open(name, &s);
            engine.setAutoOpenIndex(true);
            const QStringList tags = t ? groupTags(dir, name) : QStringList();
            if (tags.isEmpty()) {
                out(QStringLiteral("%1: %2").arg(name, (t ? groupFailure : s).toString()));
                if (!t)
                    continue;
            }
            QStringList report;
            t->check(&report);
            for (const QString &line : std::as_const(report))
                out(line);
            const QString dataFile = t->fileName();
            engine.close(name);
            for (const QString &tag : tags) {
                out(QStringLiteral("%1: %2").arg(tag, checkTagAlone(dir, dataFile, tag)));
            }
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
    db::Table *t = engine.open(bareName(name), &s);
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
    if (command == QLatin1String("reindex") && args.size() == 2)
        return tallyra::dbtoolReindex(dir);
    if (command == QLatin1String("pack") && args.size() == 2)
        return tallyra::dbtoolPack(dir);
    if (command == QLatin1String("backup") && args.size() == 3)
        return tallyra::dbtoolBackup(dir, args[2]);
    if (command == QLatin1String("restore") &&
        (args.size() == 3 || (args.size() == 4 && args[3] == QLatin1String("--settings"))))
        return tallyra::dbtoolRestore(dir, args[2], args.size() == 4);
    if (command == QLatin1String("verify-backup") && args.size() == 2)
        return tallyra::dbtoolVerifyBackup(dir);
    return usage();
}
