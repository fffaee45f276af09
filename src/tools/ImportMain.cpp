// tallyra-import: imports a customer or product file with a stored import format, as the
// "Import" window does, without a display. See usage() and README.md.

#include "Database.h"
#include "ImportBackup.h"
#include "ImportEngine.h"
#include "Records.h"
#include "Tables.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStringList>
#include <cstdio>

using namespace tallyra;

namespace {

void print(FILE *stream, const QString &text)
{
    std::fputs(text.toLocal8Bit().constData(), stream);
    std::fputc('\n', stream);
}

const char *const kUsage =
    "usage: tallyra-import [--dir DIR] customers|products --format NAME [--group N] FILE\n"
    "       tallyra-import [--dir DIR] --undo customers|products\n"
    "\n"
    "Imports FILE into the customers (CUST5) or the products (Prod5) of the business in DIR\n"
    "(default: the current directory) with the stored import format NAME, exactly as the\n"
    "program's Import window does: matching records are updated, the others added.\n"
    "\n"
    "  --dir DIR      the data directory of the business\n"
    "  --format NAME  the name of an import format of that kind (made in the Import window)\n"
    "  --group N      customers: the number of the customer group new customers join (required)\n"
    "  --undo         puts the table back as it was before its last import, while no other\n"
    "                 change has been made to it since\n"
    "  --help         this text\n"
    "\n"
    "Standard output gets the counts (\"12 Customers Added  3 Customers Updated\"); skipped lines\n"
    "are listed on standard error. A copy of the table is kept in DIR/backups/ for undoing.\n"
    "Exit status: 0 done, 2 usage error (also an unknown format or group), 3 a file or table\n"
    "that cannot be used (the message on standard error).";

int usage(const QString &problem = {})
{
    if (!problem.isEmpty())
        print(stderr, QStringLiteral("tallyra-import: ") + problem);
    print(stderr, QString::fromLatin1(kUsage));
    return 2;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    QString dir = QDir::currentPath();
    QString formatName;
    QString groupText;
    bool undo = false;
    QStringList rest;
    for (int i = 0; i < args.size(); ++i) {
        const QString &a = args[i];
        auto value = [&](QString *out) {
            if (i + 1 >= args.size())
                return false;
            *out = args[++i];
            return true;
        };
        if (a == QLatin1String("--help") || a == QLatin1String("-h")) {
            print(stdout, QString::fromLatin1(kUsage));
            return 0;
        } else if (a == QLatin1String("--dir")) {
            if (!value(&dir))
                return usage(QStringLiteral("--dir needs a directory"));
        } else if (a == QLatin1String("--format")) {
            if (!value(&formatName))
                return usage(QStringLiteral("--format needs a name"));
        } else if (a == QLatin1String("--group")) {
            if (!value(&groupText))
                return usage(QStringLiteral("--group needs a number"));
        } else if (a == QLatin1String("--undo")) {
            undo = true;
        } else if (a.startsWith(QLatin1Char('-')) && a.size() > 1) {
            return usage(QStringLiteral("unknown option ") + a);
        } else {
            rest << a;
        }
    }
    if (rest.isEmpty())
        return usage();
    ImportKind kind;
    if (rest[0] == QLatin1String("customers"))
        kind = ImportKind::Customers;
    else if (rest[0] == QLatin1String("products"))
        kind = ImportKind::Products;
    else
        return usage(QStringLiteral("say customers or products, not ") + rest[0]);

    QString missing;
    if (!dataFilesPresent(dir, &missing)) {
        print(stderr,
              QStringLiteral("tallyra-import: %1 holds no business: %2 is missing").arg(dir, missing));
        return 3;
    }
    db::Engine engine(dir);

    if (undo) {
        if (rest.size() != 1)
            return usage();
        QString folder;
        const db::Status s = undoLastImport(engine, kind, &folder);
        if (!s) {
            print(stderr, QStringLiteral("tallyra-import: ") + (s.isNotFound() ? s.message() : s.toString()));
            return s.isNotFound() ? 1 : 3;
        }
        print(stdout,
              QStringLiteral("The last import was undone from %1").arg(QDir(dir).relativeFilePath(folder)));
        return 0;
    }

    if (rest.size() != 2)
        return usage(rest.size() < 2 ? QStringLiteral("no file to import")
                                     : QStringLiteral("one file at a time"));
    if (formatName.isEmpty())
        return usage(QStringLiteral("--format NAME is required"));
    ImportRequest request;
    request.kind = kind;
    request.file = QFileInfo(rest[1]).absoluteFilePath();

    const OpenResult formats = openImportFormats(engine);
    if (!formats) {
        print(stderr, QStringLiteral("tallyra-import: ") + formats.detail());
        return 3;
    }
    const quint32 recNo = findFormat(*formats.table, kind, formatName);
    if (recNo == 0 || !readFormat(*formats.table, recNo, &request.format)) {
        engine.closeAll();
        return usage(
            QStringLiteral("no %1 import format is named \"%2\"")
                .arg(kind == ImportKind::Customers ? QStringLiteral("customer") : QStringLiteral("product"),
                     formatName));
    }
    engine.close(QStringLiteral("ImportF"));

    if (kind == ImportKind::Customers) {
        bool ok = false;
        request.group = groupText.toLongLong(&ok);
        if (groupText.isEmpty() || !ok || request.group <= 0)
            return usage(QStringLiteral("customers need --group N, the number of an existing group"));
        const OpenResult groups = openGroups(engine);
        if (!groups) {
            print(stderr,
                  QStringLiteral("tallyra-import: Unable to open Customer Groups file: ") + groups.detail());
            return 3;
        }
        const bool found = findGroupByNumber(*groups.table, request.group);
        engine.closeAll();
        if (!found)
            return usage(QStringLiteral("there is no customer group %1").arg(request.group));
    }
    if (!QFileInfo(request.file).isFile()) {
        print(stderr, QStringLiteral("tallyra-import: Import File NOT Found: ") + rest[1]);
        return 3;
    }

    const ImportResult result = runImport(engine, request);
    engine.closeAll();
    for (const SkippedLine &s : result.skipped)
        print(stderr, QStringLiteral("line %1 skipped: %2").arg(s.line).arg(s.reason));
    if (result.skippedCount > result.skipped.size())
        print(stderr,
              QStringLiteral("... %1 more lines skipped").arg(result.skippedCount - result.skipped.size()));
    if (!result.ok) {
        print(stderr, QStringLiteral("tallyra-import: ") + result.message);
        if (result.added + result.updated > 0)
            print(stderr, QStringLiteral("Imported before the failure: ") + result.counts(kind));
        return 3;
    }
    print(stdout, result.counts(kind));
    if (result.skippedCount > 0)
        print(stdout, result.skippedCount == 1 ? QStringLiteral("1 line skipped")
                                               : QStringLiteral("%1 lines skipped").arg(result.skippedCount));
    if (!result.backupDir.isEmpty())
        print(stdout, QStringLiteral("The table as it was before is kept in %1")
                          .arg(QDir(dir).relativeFilePath(result.backupDir)));
    return 0;
}
