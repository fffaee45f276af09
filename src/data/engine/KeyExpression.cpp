#include "KeyExpression.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace db {

namespace {

// Keys never exceed this many bytes; longer expressions are cut, as the index format requires.
constexpr int kMaxKeySize = 256;
constexpr int kMaxStrLength = 255;

enum class OpKind : std::uint8_t
{
    Copy,    // a character field, optionally folded to upper case
    Str,     // Str(numeric field, len, dec)
    Date,    // DTOS(date field) or a bare date field
    Logical, // a bare logical field: T or F
    Number,  // a bare numeric field: Str text made to sort by value (see numberKey)
};

struct Op
{
    OpKind kind = OpKind::Copy;
    bool upper = false;
    int source = 0;       // offset of the field in the record
    int sourceLength = 0; // its length
    int length = 0;       // bytes this op contributes to the key
    int decimals = 0;     // Str / Number decimals
};

inline bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

inline char upperByte(char c)
{
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - ('a' - 'A')) : c;
}

// Str(value, length, decimals) of the number written as text in a numeric field, computed on the
// decimal digits themselves: no binary floating point, so the rounding (half away from zero) is
// the one a person doing it by hand gets. Writes exactly `length` bytes to out.
void formatStr(const char *field, int fieldLength, int length, int decimals, char *out)
{
    const char *p = field;
    const char *end = field + fieldLength;
    while (p < end && (*p == ' ' || *p == '\0'))
        ++p;
    bool negative = false;
    if (p < end && (*p == '-' || *p == '+')) {
        negative = *p == '-';
        ++p;
    }
    const char *intBegin = p;
    while (p < end && isDigit(*p))
        ++p;
    const char *intEnd = p;
    const char *fracBegin = p;
    const char *fracEnd = p;
    if (p < end && *p == '.') {
        fracBegin = ++p;
        while (p < end && isDigit(*p))
            ++p;
        fracEnd = p;
    }
    while (intBegin < intEnd && *intBegin == '0')
        ++intBegin;
    if (intEnd - intBegin > 2 * 256) {
        std::memset(out, '*', static_cast<std::size_t>(length));
        return;
    }

    // digits = [carry slot] integer digits, then exactly `decimals` fraction digits.
    char digits[1024];
    int n = 0;
    digits[n++] = '0';
    for (const char *q = intBegin; q < intEnd; ++q)
        digits[n++] = *q;
    const int fracAvailable = static_cast<int>(fracEnd - fracBegin);
    for (int i = 0; i < decimals; ++i)
        digits[n++] = i < fracAvailable ? fracBegin[i] : '0';
    if (fracAvailable > decimals && fracBegin[decimals] >= '5') {
        int i = n - 1;
        while (digits[i] == '9')
            digits[i--] = '0';
        ++digits[i];
    }
    // Skip leading zeros of the integer part, keeping at least one integer digit.
    const int intDigits = n - decimals;
    int first = 0;
    while (first < intDigits - 1 && digits[first] == '0')
        ++first;
    bool zero = true;
    for (int i = first; i < n; ++i) {
        if (digits[i] != '0') {
            zero = false;
            break;
        }
    }
    if (zero)
        negative = false;

    const int textLength = (negative ? 1 : 0) + (intDigits - first) + (decimals > 0 ? decimals + 1 : 0);
    if (textLength > length) {
        std::memset(out, '*', static_cast<std::size_t>(length));
        return;
    }
    char *w = out;
    for (int i = textLength; i < length; ++i)
        *w++ = ' ';
    if (negative)
        *w++ = '-';
    for (int i = first; i < intDigits; ++i)
        *w++ = digits[i];
    if (decimals > 0) {
        *w++ = '.';
        for (int i = intDigits; i < n; ++i)
            *w++ = digits[i];
    }
}

// A numeric key: Str text with the leading blanks made zeros; for a negative number the sign too,
// and every digit d replaced by 0x2C - d, so that byte order is numeric order.
void numberKey(const char *field, int fieldLength, int length, int decimals, char *out)
{
    formatStr(field, fieldLength, length, decimals, out);
    if (out[0] == '*')
        return;
    bool negative = false;
    for (int i = 0; i < length; ++i) {
        if (out[i] == ' ') {
            out[i] = '0';
        } else if (out[i] == '-') {
            out[i] = '0';
            negative = true;
        }
    }
    if (negative) {
        for (int i = 0; i < length; ++i) {
            if (isDigit(out[i]))
                out[i] = static_cast<char>(0x2C - (out[i] - '0'));
        }
    }
}

bool isLeapYear(int y)
{
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

// YYYYMMDD of a date field, or 8 blanks for an empty or impossible date.
void dateKey(const char *field, char *out)
{
    bool digits = true;
    for (int i = 0; i < 8; ++i)
        digits = digits && isDigit(field[i]);
    if (digits) {
        auto num = [field](int from, int count) {
            int v = 0;
            for (int i = 0; i < count; ++i)
                v = v * 10 + (field[from + i] - '0');
            return v;
        };
        static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
        const int y = num(0, 4), m = num(4, 2), d = num(6, 2);
        if (m >= 1 && m <= 12 && d >= 1 && d <= kDays[m - 1] + (m == 2 && isLeapYear(y) ? 1 : 0)) {
            std::memcpy(out, field, 8);
            return;
        }
    }
    std::memset(out, ' ', 8);
}

// ----- compiler -----

enum class ValueType
{
    Character,
    Numeric,
    Date,
    Logical
};

struct Value
{
    ValueType type = ValueType::Character;
    std::vector<Op> ops;                // Character values
    const FieldLayout *field = nullptr; // other types: the field they read
};

class Parser
{
public:
    Parser(const QByteArray &text, const QList<FieldLayout> &fields)
        : m_text(text)
        , m_fields(fields)
    {}

    bool parse(Value *out)
    {
        if (!expression(out))
            return false;
        skipSpace();
        if (m_pos < m_text.size())
            return fail(QStringLiteral("unexpected \"%1\"").arg(QString::fromLatin1(m_text.mid(m_pos))));
        return true;
    }

    const QString &error() const { return m_error; }

private:
    bool fail(const QString &message)
    {
        if (m_error.isEmpty())
            m_error = message;
        return false;
    }

    void skipSpace()
    {
        while (m_pos < m_text.size() && (m_text[m_pos] == ' ' || m_text[m_pos] == '\t' ||
                                         m_text[m_pos] == '\r' || m_text[m_pos] == '\n'))
            ++m_pos;
    }

    bool accept(char c)
    {
        skipSpace();
        if (m_pos < m_text.size() && m_text[m_pos] == c) {
            ++m_pos;
            return true;
        }
        return false;
    }

    bool expect(char c)
    {
        if (accept(c))
            return true;
        return fail(m_pos < m_text.size() ? QStringLiteral("expected \"%1\" at \"%2\"")
                                                .arg(QLatin1Char(c))
                                                .arg(QString::fromLatin1(m_text.mid(m_pos)))
                                          : QStringLiteral("expected \"%1\" at the end").arg(QLatin1Char(c)));
    }

    QByteArray identifier()
    {
        skipSpace();
        const qsizetype start = m_pos;
        auto identChar = [](char c, bool first) {
            return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || (!first && isDigit(c));
        };
        while (m_pos < m_text.size() && identChar(m_text[m_pos], m_pos == start))
            ++m_pos;
        return m_text.mid(start, m_pos - start);
    }

    bool integer(int *value)
    {
        skipSpace();
        const qsizetype start = m_pos;
        long v = 0;
        while (m_pos < m_text.size() && isDigit(m_text[m_pos]) && v < 100000)
            v = v * 10 + (m_text[m_pos++] - '0');
        if (m_pos == start)
            return fail(QStringLiteral("a whole number expected at \"%1\"")
                            .arg(QString::fromLatin1(m_text.mid(m_pos))));
        *value = static_cast<int>(v);
        return true;
    }

    bool expression(Value *out)
    {
        if (!term(out))
            return false;
        while (accept('+')) {
            Value right;
            if (!term(&right))
                return false;
            if (out->type != ValueType::Character || right.type != ValueType::Character)
                return fail(QStringLiteral("\"+\" joins character values only"));
            out->ops.insert(out->ops.end(), right.ops.begin(), right.ops.end());
        }
        return true;
    }

    bool term(Value *out)
    {
        if (accept('('))
            return expression(out) && expect(')');
        const QByteArray name = identifier();
        if (name.isEmpty()) {
            skipSpace();
            return fail(m_pos < m_text.size()
                            ? QStringLiteral("unexpected \"%1\"").arg(QString::fromLatin1(m_text.mid(m_pos)))
                            : QStringLiteral("a value expected at the end"));
        }
        if (accept('('))
            return call(name, out);
        return field(name, out);
    }

    bool field(const QByteArray &name, Value *out)
    {
        for (const FieldLayout &f : m_fields) {
            if (f.def.name.compare(name, Qt::CaseInsensitive) != 0)
                continue;
            out->field = &f;
            out->ops.clear();
            switch (f.def.type) {
            case FieldType::Character: {
                out->type = ValueType::Character;
                Op op;
                op.kind = OpKind::Copy;
                op.source = f.offset;
                op.sourceLength = f.def.length;
                op.length = f.def.length;
                out->ops.push_back(op);
                return true;
            }
            case FieldType::Numeric:
                out->type = ValueType::Numeric;
                return true;
            case FieldType::Date:
                out->type = ValueType::Date;
                return true;
            case FieldType::Logical:
                out->type = ValueType::Logical;
                return true;
            case FieldType::Memo:
                return fail(
                    QStringLiteral("memo field %1 cannot be part of a key").arg(QString::fromLatin1(name)));
            }
        }
        return fail(QStringLiteral("no field named %1").arg(QString::fromLatin1(name)));
    }

    bool call(const QByteArray &name, Value *out)
    {
        const QByteArray fn = name.toUpper();
        Value arg;
        if (!expression(&arg))
            return false;
        if (fn == "UPPER") {
            if (!expect(')'))
                return false;
            if (arg.type != ValueType::Character)
                return fail(QStringLiteral("Upper() needs a character value"));
            for (Op &op : arg.ops)
                op.upper = true;
            *out = std::move(arg);
            return true;
        }
        if (fn == "DTOS") {
            if (!expect(')'))
                return false;
            if (arg.type != ValueType::Date)
                return fail(QStringLiteral("DTOS() needs a date field"));
            Op op;
            op.kind = OpKind::Date;
            op.source = arg.field->offset;
            op.sourceLength = arg.field->def.length;
            op.length = 8;
            out->type = ValueType::Character;
            out->ops = {op};
            return true;
        }
        if (fn == "STR") {
            if (arg.type != ValueType::Numeric)
                return fail(QStringLiteral("Str() needs a numeric field"));
            int length = arg.field->def.length;
            int decimals = arg.field->def.decimals;
            if (accept(',')) {
                if (!integer(&length))
                    return false;
                decimals = 0;
                if (accept(',') && !integer(&decimals))
                    return false;
            }
            if (!expect(')'))
                return false;
            if (length < 1 || length > kMaxStrLength)
                return fail(
                    QStringLiteral("Str() length %1 is not between 1 and %2").arg(length).arg(kMaxStrLength));
            if (decimals < 0 || decimals >= length)
                return fail(
                    QStringLiteral("Str() decimals %1 do not fit its length %2").arg(decimals).arg(length));
            Op op;
            op.kind = OpKind::Str;
            op.source = arg.field->offset;
            op.sourceLength = arg.field->def.length;
            op.length = length;
            op.decimals = decimals;
            out->type = ValueType::Character;
            out->ops = {op};
            return true;
        }
        return fail(QStringLiteral("unknown function %1()").arg(QString::fromLatin1(name)));
    }

    const QByteArray &m_text;
    const QList<FieldLayout> &m_fields;
    qsizetype m_pos = 0;
    QString m_error;
};

} // namespace

struct KeyExpression::Impl
{
    QString text;
    std::vector<Op> ops;
    int keySize = 0;
    int keyDecimals = 0;

    void evaluate(const char *record, char *out) const
    {
        int left = keySize;
        char buffer[kMaxStrLength + 1];
        for (const Op &op : ops) {
            if (left <= 0)
                break;
            const int n = std::min(op.length, left);
            const char *src = record + op.source;
            switch (op.kind) {
            case OpKind::Copy:
                if (op.upper) {
                    for (int i = 0; i < n; ++i)
                        out[i] = upperByte(src[i]);
                } else {
                    std::memcpy(out, src, static_cast<std::size_t>(n));
                }
                break;
            case OpKind::Str:
                formatStr(src, op.sourceLength, op.length, op.decimals, buffer);
                std::memcpy(out, buffer, static_cast<std::size_t>(n));
                break;
            case OpKind::Number:
                numberKey(src, op.sourceLength, op.length, op.decimals, buffer);
                std::memcpy(out, buffer, static_cast<std::size_t>(n));
                break;
            case OpKind::Date:
                dateKey(src, buffer);
                std::memcpy(out, buffer, static_cast<std::size_t>(n));
                break;
            case OpKind::Logical: {
                const char c = src[0];
                out[0] = (c == 'T' || c == 't' || c == 'Y' || c == 'y') ? 'T' : 'F';
                break;
            }
            }
            out += n;
            left -= n;
        }
    }
};

KeyExpression::KeyExpression()
    : m(std::make_unique<Impl>())
{}
KeyExpression::~KeyExpression() = default;
KeyExpression::KeyExpression(KeyExpression &&) noexcept = default;
KeyExpression &KeyExpression::operator=(KeyExpression &&) noexcept = default;

Status KeyExpression::compile(const QString &text, const QList<FieldLayout> &fields, KeyExpression *out)
{
    const QByteArray bytes = text.toLatin1();
    auto invalid = [&](const QString &why) {
        return Status::invalid(QStringLiteral("key expression \"%1\": %2").arg(text, why));
    };
    for (QChar c : text) {
        if (c.unicode() > 0x7e)
            return invalid(QStringLiteral("only ASCII text is allowed"));
    }
    Parser parser(bytes, fields);
    Value value;
    if (!parser.parse(&value))
        return invalid(parser.error());

    auto impl = std::make_unique<Impl>();
    impl->text = text;
    switch (value.type) {
    case ValueType::Character:
        impl->ops = std::move(value.ops);
        break;
    case ValueType::Numeric: {
        Op op;
        op.kind = OpKind::Number;
        op.source = value.field->offset;
        op.sourceLength = value.field->def.length;
        op.length = std::min(value.field->def.length, kMaxStrLength);
        op.decimals = std::min(value.field->def.decimals, op.length - 1);
        impl->keyDecimals = op.decimals;
        impl->ops = {op};
        break;
    }
    case ValueType::Date: {
        Op op;
        op.kind = OpKind::Date;
        op.source = value.field->offset;
        op.sourceLength = value.field->def.length;
        op.length = 8;
        impl->ops = {op};
        break;
    }
    case ValueType::Logical: {
        Op op;
        op.kind = OpKind::Logical;
        op.source = value.field->offset;
        op.sourceLength = 1;
        op.length = 1;
        impl->ops = {op};
        break;
    }
    }
    for (const Op &op : impl->ops) {
        if (op.kind == OpKind::Date && op.sourceLength < 8)
            return invalid(QStringLiteral("date field shorter than 8 bytes"));
        impl->keySize += op.length;
    }
    impl->keySize = std::min(impl->keySize, kMaxKeySize);
    if (impl->keySize <= 0)
        return invalid(QStringLiteral("the key is empty"));
    out->m = std::move(impl);
    return Status::ok();
}

const QString &KeyExpression::text() const
{
    static const QString kNone;
    return m ? m->text : kNone;
}

int KeyExpression::keySize() const
{
    return m ? m->keySize : 0;
}

int KeyExpression::keyDecimals() const
{
    return m ? m->keyDecimals : 0;
}

QByteArray KeyExpression::evaluate(const char *record) const
{
    if (!m)
        return {};
    QByteArray key(m->keySize, Qt::Uninitialized);
    m->evaluate(record, key.data());
    return key;
}

void KeyExpression::evaluateInto(const char *record, QByteArray &out) const
{
    if (!m)
        return;
    const qsizetype at = out.size();
    out.resize(at + m->keySize);
    m->evaluate(record, out.data() + at);
}

void KeyExpression::evaluateTo(const char *record, char *out) const
{
    if (m)
        m->evaluate(record, out);
}

QByteArray upperAscii(QByteArrayView bytes)
{
    QByteArray result(bytes.size(), Qt::Uninitialized);
    char *out = result.data();
    for (qsizetype i = 0; i < bytes.size(); ++i)
        out[i] = upperByte(bytes[i]);
    return result;
}

} // namespace db
