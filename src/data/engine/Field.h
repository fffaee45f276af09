#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

namespace db {

enum class FieldType : char
{
    Character = 'C',
    Numeric = 'N',
    Date = 'D',
    Logical = 'L',
    Memo = 'M'
};

// One column of a table as its descriptor stores it. Names are ASCII, at most 10 characters,
// matched without regard to case. Lengths are bytes (D 8, L 1, M 10).
struct FieldDef
{
    QByteArray name;
    FieldType type = FieldType::Character;
    int length = 0;
    int decimals = 0;
};

// One tag of an index group: one NTX file. The file name defaults to name + ".ntx"; the tag is
// known by its name, matched without regard to case.
struct TagDef
{
    QString name;
    QString expression;
    QString filter; // empty for none
    bool unique = false;
    bool descending = false;
    QString fileName; // e.g. "cName.ntx"; empty: name + ".ntx"
};

} // namespace db
