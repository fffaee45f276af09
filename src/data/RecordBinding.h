#pragma once

// One record type's mapping onto its table: a list of (field name, member, kind) that the reader
// and the writer both walk, so a field is read into and written from the same member and cannot
// be swapped in one direction only.
//
// Kinds, as read / as written:
//   text     trailing blanks removed (and leading ones when held trimmed) / from at most `limit`
//            characters (trimmed first when held trimmed), then cut to the field's width at a
//            character boundary by the engine;
//   memo     as stored / trailing blanks, tabs and line ends removed;
//   date     "yyyymmdd" or blanks, a null date for anything else / the windowed date as
//            "yyyymmdd", blanks for a null date;
//   logical  T t Y y true / "T" or "F";
//   number, integer  as the engine reads and writes them (a charge rounding as its stored number);
//   constant a value written every time (a logical or an integer), never read.
//
// The field numbers are looked up by name once for each open table (recognised by its open
// serial) and kept per thread, so reading or writing a million records costs no name lookups.
// A table lacking a field fails both directions with "<file>: field <name> is missing" before
// anything is read or assigned.

#include "Conversions.h"
#include "Schema.h"
#include "engine/Table.h"

#include <QByteArray>
#include <QDate>
#include <QString>
#include <array>
#include <cstddef>
#include <utility>
#include <variant>
#include <vector>

namespace tallyra {

enum class FieldKind
{
    Text,
    Memo,
    Date,
    Logical,
    Number,
    Integer,
};

// An element of a member array of integers (ImportF's Fld1 .. Fld14, the one such array).
template <typename Record, std::size_t N> struct IntegerElement
{
    std::array<qint64, N> Record::*array;
    std::size_t index;
};

// A value written every time and never read.
struct ConstantValue
{
    qint64 value;
};

template <typename Record> struct FieldBinding
{
    using Target =
        std::variant<QString Record::*, QDate Record::*, bool Record::*, double Record::*, qint64 Record::*,
                     IntegerElement<Record, 14>, ChargeRounding Record::*, ConstantValue>;
    QByteArray name;
    FieldKind kind;
    Target target;
    int limit = 0;        // text: characters written at most
    bool trimmed = false; // text: held without blanks around it
};

// The factories a binding table is written with.
template <typename Record> struct Bind
{
    using Field = FieldBinding<Record>;
    static Field text(const char *name, QString Record::*m, int limit = kTextLimit, bool trimmed = false)
    {
        return {name, FieldKind::Text, m, limit, trimmed};
    }
    static Field memo(const char *name, QString Record::*m) { return {name, FieldKind::Memo, m}; }
    static Field date(const char *name, QDate Record::*m) { return {name, FieldKind::Date, m}; }
    static Field logical(const char *name, bool Record::*m) { return {name, FieldKind::Logical, m}; }
    static Field number(const char *name, double Record::*m) { return {name, FieldKind::Number, m}; }
    static Field integer(const char *name, qint64 Record::*m) { return {name, FieldKind::Integer, m}; }
    static Field rounding(const char *name, ChargeRounding Record::*m)
    {
        return {name, FieldKind::Integer, m};
    }
    static Field integer(const QByteArray &name, std::array<qint64, 14> Record::*m, std::size_t index)
    {
        return {name, FieldKind::Integer, IntegerElement<Record, 14>{m, index}};
    }
    static Field constantLogical(const char *name, bool value)
    {
        return {name, FieldKind::Logical, ConstantValue{value ? 1 : 0}};
    }
    static Field constantInteger(const char *name, qint64 value)
    {
        return {name, FieldKind::Integer, ConstantValue{value}};
    }
};

// Whether the writer flushes the record at once or leaves it to the next move or the close.
enum class Flush
{
    AtOnce,
    Later,
};

template <typename Record> class RecordBinding
{
public:
    using Field = FieldBinding<Record>;

    RecordBinding(std::vector<Field> fields, Flush flush)
        : m_fields(std::move(fields))
        , m_flush(flush)
    {}

    // Copies the table's current record into r (blank values past the end). Returns the table's
    // pending failure (a damaged memo block), or the missing field with r untouched.
    db::Status read(const db::Table &t, Record &r) const
    {
        db::Status missing;
        const int *index = indexes(t, &missing);
        if (!index)
            return missing;
        for (std::size_t i = 0; i < m_fields.size(); ++i)
            readField(t, index[i], m_fields[i], r);
        return t.error();
    }

    // Assigns every field from r, in table order, and flushes when the binding says so. Stops at
    // the first failure: fields before it are assigned, none after it.
    db::Status write(db::Table &t, const Record &r) const
    {
        db::Status s;
        const int *index = indexes(t, &s);
        if (!index)
            return s;
        for (std::size_t i = 0; i < m_fields.size(); ++i) {
            s = writeField(t, index[i], m_fields[i], r);
            if (!s.isOk())
                return s;
        }
        return m_flush == Flush::AtOnce ? t.flush() : s;
    }

private:
    struct CacheEntry
    {
        const RecordBinding *binding = nullptr;
        quint64 serial = 0;
        std::vector<int> indexes;
    };

    // The table's field numbers in binding order; nullptr and *missing set when one is absent.
    const int *indexes(const db::Table &t, db::Status *missing) const
    {
        // A command has one table of a kind open, seldom two (a copy between two data sets).
        thread_local std::array<CacheEntry, 4> cache;
        thread_local std::size_t nextSlot = 0;
        const quint64 serial = t.openSerial();
        for (const CacheEntry &e : cache) {
            if (e.serial == serial && e.binding == this)
                return e.indexes.data();
        }
        std::vector<int> found;
        found.reserve(m_fields.size());
        for (const Field &f : m_fields) {
            const int i = t.fieldIndex(f.name);
            if (i < 0) {
                *missing = db::Status::invalid(
                    QStringLiteral("%1: field %2 is missing").arg(t.fileName(), QLatin1String(f.name)));
                return nullptr;
            }
            found.push_back(i);
        }
        CacheEntry &slot = cache[nextSlot];
        nextSlot = (nextSlot + 1) % cache.size();
        slot = {this, serial, std::move(found)};
        return slot.indexes.data();
    }

    static void readField(const db::Table &t, int index, const Field &f, Record &r)
    {
        switch (f.kind) {
        case FieldKind::Text:
            r.*std::get<QString Record::*>(f.target) = f.trimmed ? t.text(index).trimmed() : t.text(index);
            return;
        case FieldKind::Memo:
            r.*std::get<QString Record::*>(f.target) = t.memo(index);
            return;
        case FieldKind::Date:
            r.*std::get<QDate Record::*>(f.target) = storedToDate(QString::fromLatin1(t.raw(index)));
            return;
        case FieldKind::Logical:
            if (auto *m = std::get_if<bool Record::*>(&f.target))
                r.**m = t.logical(index);
            return;
        case FieldKind::Number:
            r.*std::get<double Record::*>(f.target) = t.number(index);
            return;
        case FieldKind::Integer:
            if (auto *m = std::get_if<qint64 Record::*>(&f.target))
                r.**m = t.integer(index);
            else if (auto *e = std::get_if<IntegerElement<Record, 14>>(&f.target))
                (r.*(e->array))[e->index] = t.integer(index);
            else if (auto *c = std::get_if<ChargeRounding Record::*>(&f.target))
                r.**c = chargeRoundingFromStored(t.integer(index));
            return;
        }
    }

    static db::Status writeField(db::Table &t, int index, const Field &f, const Record &r)
    {
        switch (f.kind) {
        case FieldKind::Text: {
            const QString &value = r.*std::get<QString Record::*>(f.target);
            return t.setText(index, cutText(f.trimmed ? value.trimmed() : value, f.limit));
        }
        case FieldKind::Memo:
            return t.setMemo(index, memoText(r.*std::get<QString Record::*>(f.target)));
        case FieldKind::Date:
            return t.setRaw(index, dateToStored(r.*std::get<QDate Record::*>(f.target)).toLatin1());
        case FieldKind::Logical:
            if (auto *m = std::get_if<bool Record::*>(&f.target))
                return t.setLogical(index, r.**m);
            return t.setLogical(index, std::get<ConstantValue>(f.target).value != 0);
        case FieldKind::Number:
            return t.setNumber(index, r.*std::get<double Record::*>(f.target));
        case FieldKind::Integer:
            if (auto *m = std::get_if<qint64 Record::*>(&f.target))
                return t.setInteger(index, r.**m);
            if (auto *e = std::get_if<IntegerElement<Record, 14>>(&f.target))
                return t.setInteger(index, (r.*(e->array))[e->index]);
            if (auto *c = std::get_if<ChargeRounding Record::*>(&f.target))
                return t.setInteger(index, qint64(r.**c));
            return t.setInteger(index, std::get<ConstantValue>(f.target).value);
        }
        return db::Status::ok();
    }

    std::vector<Field> m_fields;
    Flush m_flush;
};

} // namespace tallyra
