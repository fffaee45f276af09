#pragma once

#include "Field.h"
#include "Status.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <memory>

namespace db {

// Where each field sits in a raw record (byte 0 of a record is the deletion flag).
struct FieldLayout
{
    FieldDef def;
    int offset = 0;
};

// A compiled index key expression of the forms our tags use: field names (any case), `+`
// concatenation, Upper(c) (folds ASCII a-z only), Str(n, len[, dec]) and DTOS(d).
// The key it gives has a fixed size, found by evaluating it on a blank record.
class KeyExpression
{
public:
    KeyExpression();
    ~KeyExpression();
    KeyExpression(KeyExpression &&) noexcept;
    KeyExpression &operator=(KeyExpression &&) noexcept;

    // Compiles text against the table's fields. Invalid status naming the expression on failure.
    static Status compile(const QString &text, const QList<FieldLayout> &fields, KeyExpression *out);

    const QString &text() const;
    int keySize() const;
    int keyDecimals() const; // always 0 for character keys
    // The key for one raw record, exactly keySize() bytes (space padded or cut).
    QByteArray evaluate(const char *record) const;
    // Same, appended to out without allocating a new array.
    void evaluateInto(const char *record, QByteArray &out) const;
    // Same, written to out, which has room for keySize() bytes.
    void evaluateTo(const char *record, char *out) const;

private:
    struct Impl;
    std::unique_ptr<Impl> m;
};

// Folds ASCII a-z to A-Z and leaves every other byte as it is, as key expressions do.
QByteArray upperAscii(QByteArrayView bytes);

} // namespace db
