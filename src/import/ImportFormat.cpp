#include "ImportFormat.h"

namespace tallyra {

const QStringList &slotLabels(ImportKind kind)
{
    static const QStringList customers{
        QStringLiteral("Title"),     QStringLiteral("First Name"), QStringLiteral("Last Name"),
        QStringLiteral("Address 1"), QStringLiteral("Address 2"),  QStringLiteral("City"),
        QStringLiteral("State"),     QStringLiteral("Country"),    QStringLiteral("Zip/Postal Code"),
        QStringLiteral("Phone"),     QStringLiteral("Fax"),        QStringLiteral("EMail"),
        QStringLiteral("Note")};
    static const QStringList products{QStringLiteral("Product ID"), QStringLiteral("Description 1"),
                                      QStringLiteral("Description 2"), QStringLiteral("List Price")};
    return kind == ImportKind::Customers ? customers : products;
}

ImportFormatRecord newImportFormat(ImportKind kind)
{
    ImportFormatRecord f;
    f.FmtType = static_cast<qint64>(kind);
    f.DELIM = 44;
    f.nFields = 0;
    return f;
}

QList<FormatEntry> formatsOfKind(db::Table &formats, ImportKind kind)
{
    QList<FormatEntry> list;
    formats.selectNatural();
    ImportFormatRecord f;
    for (bool more = formats.top(); more; more = formats.skip(1)) {
        if (formats.isDeleted() || !loadImportFormat(formats, f).isOk())
            continue;
        if (f.FmtType == static_cast<qint64>(kind))
            list.append({formats.recNo(), f.FmtName.trimmed()});
    }
    formats.takeError();
    return list;
}

db::Status readFormat(db::Table &formats, quint32 recNo, ImportFormatRecord *format)
{
    if (recNo == 0 || recNo > formats.recordCount() || !formats.go(recNo)) {
        const db::Status s = formats.takeError();
        return s.isOk() ? db::Status::notFound(
                              QStringLiteral("%1: no format record %2").arg(formats.fileName()).arg(recNo))
                        : s;
    }
    return loadImportFormat(formats, *format);
}

db::Status saveFormat(db::Table &formats, const ImportFormatRecord &format, quint32 *recNo)
{
    db::Status s;
    if (*recNo == 0) {
        s = formats.appendBlank();
        if (!s)
            return s;
    } else if (!formats.go(*recNo)) {
        s = formats.takeError();
        return s.isOk() ? db::Status::notFound(
                              QStringLiteral("%1: no format record %2").arg(formats.fileName()).arg(*recNo))
                        : s;
    }
    s = writeImportFormat(formats, format);
    if (s)
        s = formats.flush();
    if (s)
        *recNo = formats.recNo();
    return s;
}

quint32 findFormat(db::Table &formats, ImportKind kind, const QString &name)
{
    const QString wanted = name.trimmed();
    for (const FormatEntry &e : formatsOfKind(formats, kind))
        if (e.name == wanted)
            return e.recNo;
    return 0;
}

} // namespace tallyra
