#include "ZoneLookup.h"

#include "Tables.h"

namespace tallyra {

namespace {

// Leading blanks only: "  15213" is the code 15213.
QString leftTrimmed(const QString &text)
{
    qsizetype i = 0;
    while (i < text.size() && text.at(i).isSpace())
        ++i;
    return text.mid(i);
}

QString lookUp(db::Table &zones, const QByteArray &key, db::Status *status)
{
    const int startField = zones.fieldIndex("SZip");
    const int endField = zones.fieldIndex("EZip");
    const int zoneField = zones.fieldIndex("Zone");
    if (startField < 0 || endField < 0 || zoneField < 0) {
        *status =
            db::Status::invalid(QStringLiteral("%1: SZip, EZip or Zone field missing").arg(zones.fileName()));
        return {};
    }
    if (!zones.selectTag(QStringLiteral("ZZone"))) {
        *status = zones.takeError();
        return {};
    }
    // Stand on the range with the highest start not above the key.
    switch (zones.seek(key)) {
    case db::SeekResult::Found:
        break;
    case db::SeekResult::Next:
    case db::SeekResult::Eof:
        if (!zones.skip(-1)) {
            *status = zones.takeError();
            return {}; // before the first range
        }
        break;
    case db::SeekResult::Error:
        *status = zones.takeError();
        return {};
    }
    if (zones.eof())
        return {};
    // The bounds are compared without their padding, so that a field wider than three
    // characters still compares as a plain prefix ("150" is not below "150   ").
    const QByteArray start = zones.raw(startField).trimmed();
    const QByteArray end = zones.raw(endField).trimmed();
    if (key < start || key > end)
        return {};
    return QString::number(zones.integer(zoneField));
}

} // namespace

QString bulkMailZone(db::Engine &engine, const QString &postalCode, db::Status *status)
{
    db::Status local;
    db::Status &s = status ? *status : local;
    s = db::Status::ok();
    const QByteArray key = leftTrimmed(postalCode).left(3).toUtf8();
    if (key.trimmed().isEmpty())
        return {};

    const QString &name = tableDef(TableId::Zones).name;
    const bool wasOpen = openedTable(engine, TableId::Zones) != nullptr;
    db::Table *zones = engine.open(name, &s);
    if (!zones)
        return {};
    const QString previousTag = zones->selectedTag();
    const QString zone = lookUp(*zones, key, &s);
    if (wasOpen) {
        if (previousTag.isEmpty())
            zones->selectNatural();
        else
            zones->selectTag(previousTag);
    } else {
        const db::Status closed = engine.close(name);
        if (s.isOk() && !closed.isOk())
            s = closed;
    }
    return zone;
}

} // namespace tallyra
