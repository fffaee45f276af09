#include "MailMerge.h"

#include "Records.h"
#include "engine/Table.h"

#include <QSaveFile>

namespace tallyra {

namespace {

bool writeLine(QIODevice &out, const QStringList &columns)
{
    const QByteArray line = columns.join(QLatin1Char('\t')).toUtf8() + "\r\n";
    return out.write(line) == line.size();
}

} // namespace

const QStringList &mergeFileColumns()
{
    static const QStringList columns = {
        QStringLiteral("Title"),   QStringLiteral("FirstName"),  QStringLiteral("LastName"),
        QStringLiteral("Company"), QStringLiteral("Addr1"),      QStringLiteral("Addr2"),
        QStringLiteral("Addr3"),   QStringLiteral("PostalCode"),
    };
    return columns;
}

MergeExportResult writeMergeFile(db::Table &customers, const QList<qint64> &groups, QIODevice &out,
                                 const ProgressDisplay &progress)
{
    MergeExportResult result;
    if (!writeLine(out, mergeFileColumns())) {
        result.message = out.errorString();
        return result;
    }
    if (!customers.selectTag(QStringLiteral("CZip"))) {
        result.message = customers.takeError().toString();
        return result;
    }
    const quint32 count = customers.recordCount();
    quint32 visited = 0;
    CustomerRecord c;
    for (bool more = customers.top(); more; more = customers.skip(1)) {
        ++visited;
        if (!customers.isDeleted()) {
            const db::Status read = loadCustomer(customers, c);
            if (!read.isOk()) {
                result.message = read.toString();
                return result;
            }
            if (groups.contains(c.NGroup)) {
                const QStringList line = {c.Title.trimmed(), c.First.trimmed(), c.Last.trimmed(),
                                          c.Addr1.trimmed(), c.Addr2.trimmed(), c.Addr3.trimmed(),
                                          c.Addr4.trimmed(), c.Zip.trimmed()};
                if (!writeLine(out, line)) {
                    result.message = out.errorString();
                    return result;
                }
                ++result.rows;
            }
        }
        if (progress.set && count > 0)
            progress.set(int(100ull * visited / count));
    }
    const db::Status walked = customers.takeError();
    if (!walked.isOk()) {
        result.message = walked.toString();
        return result;
    }
    result.ok = true;
    return result;
}

MergeExportResult exportMergeFile(db::Table &customers, const QList<qint64> &groups, const QString &path,
                                  const ProgressDisplay &progress)
{
    const QString failure = QStringLiteral("Unable to save to: ") + path;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        MergeExportResult result;
        result.message = failure;
        return result;
    }
    if (progress.start)
        progress.start(QStringLiteral("Exporting Mail Merge File"));
    MergeExportResult result = writeMergeFile(customers, groups, file, progress);
    if (result.ok && !file.commit())
        result.ok = false;
    if (!result.ok) {
        const QString why = file.error() != QFileDevice::NoError ? file.errorString() : result.message;
        file.cancelWriting();
        result.message = why.isEmpty() ? failure : failure + QLatin1Char('\n') + why;
    }
    if (progress.end)
        progress.end();
    return result;
}

} // namespace tallyra
