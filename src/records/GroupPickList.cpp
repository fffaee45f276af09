#include "GroupPickList.h"

#include "Conversions.h"

namespace tallyra {

QString GroupItem::text() const
{
    return deleted ? name + QStringLiteral(" <DELETED>") : name;
}

db::Status GroupPickList::load(db::Table &groups)
{
    m_items.clear();
    const int number = groups.fieldIndex("nGroup");
    const int name = groups.fieldIndex("cGroup");
    if (number < 0 || name < 0)
        return db::Status::invalid(QStringLiteral("%1: the group fields are missing").arg(groups.fileName()));
    for (bool more = groups.top(); more; more = groups.skip(1)) {
        GroupItem item;
        item.recNo = groups.recNo();
        item.number = groups.integer(number);
        item.name = groups.text(name).trimmed();
        item.deleted = groups.isDeleted();
        item.upper = keyUpper(item.name);
        m_items.append(item);
    }
    return groups.takeError();
}

int GroupPickList::indexOfRecord(quint32 recNo) const
{
    for (int i = 0; i < m_items.size(); ++i) {
        if (m_items[i].recNo == recNo)
            return i;
    }
    return -1;
}

int GroupPickList::search(const QString &text) const
{
    if (m_items.size() < 2)
        return -1;
    const QByteArray typed = keyUpper(text.trimmed());
    for (int i = 0; i < m_items.size(); ++i) {
        if (m_items[i].upper.left(typed.size()) >= typed)
            return i;
    }
    return -1;
}

} // namespace tallyra
