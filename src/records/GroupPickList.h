#pragma once

// The rows of the group pick list: every group of GROUPS in name order (the only pick list that
// reads its whole table: a business has few groups), and the search that selects one of them.
// No widgets.

#include "engine/Status.h"
#include "engine/Table.h"

#include <QByteArray>
#include <QList>
#include <QString>

namespace tallyra {

struct GroupItem
{
    quint32 recNo = 0;
    qint64 number = 0;
    QString name; // trimmed
    bool deleted = false;
    QByteArray upper; // the name as the search compares it

    // What the list shows: the name, with " <DELETED>" after a deleted group's.
    QString text() const;
};

class GroupPickList
{
public:
    // Reads GROUPS from first to last in the order of its selected tag.
    db::Status load(db::Table &groups);
    const QList<GroupItem> &items() const { return m_items; }

    // The item of record recNo, or -1.
    int indexOfRecord(quint32 recNo) const;
    // The item the search box's text selects: with at least two groups, the first whose leading
    // characters (as many as the trimmed text has) equal or follow the text, compared in upper
    // case; -1 when none does (or with fewer than two groups).
    int search(const QString &text) const;

private:
    QList<GroupItem> m_items;
};

} // namespace tallyra
