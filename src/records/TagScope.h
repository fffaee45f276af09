#pragma once

#include "engine/Table.h"

#include <QString>

namespace tallyra {

// Selects a tag (record-number order for an empty name) for the life of the object and puts the
// table's previous order back afterwards.
class TagScope
{
public:
    TagScope(db::Table &table, const QString &tag)
        : m_table(table)
        , m_previous(table.selectedTag())
    {
        if (tag.isEmpty())
            m_table.selectNatural();
        else if (tag.compare(m_previous, Qt::CaseInsensitive) != 0)
            m_ok = m_table.selectTag(tag);
    }
    ~TagScope()
    {
        if (m_previous.isEmpty())
            m_table.selectNatural();
        else if (m_previous.compare(m_table.selectedTag(), Qt::CaseInsensitive) != 0)
            m_table.selectTag(m_previous);
    }
    TagScope(const TagScope &) = delete;
    TagScope &operator=(const TagScope &) = delete;

    bool ok() const { return m_ok; }

private:
    db::Table &m_table;
    QString m_previous;
    bool m_ok = true;
};

} // namespace tallyra
