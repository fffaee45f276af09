#include "Conversions.h"

#include "Clock.h"

#include <QLocale>
#include <QRegularExpression>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <string>

namespace tallyra {

// --- Dates -------------------------------------------------------------------------------------

int dateWindowStart()
{
    return today().year() - 60;
}

QDate windowedDate(const QDate &date)
{
    if (!date.isValid())
        return {};
    const int year = date.year();
    // Only a two-digit year is ambiguous; a four-digit one is kept, so saving a date again never
    // moves it.
    if (year < 0 || year >= 100)
        return date;
    const int start = dateWindowStart();
    int moved = year + start - start % 100;
    if (moved < start)
        moved += 100;
    const QDate result(moved, date.month(), date.day());
    return result.isValid() ? result : date;
}

bool dateInAcceptedRange(const QDate &date)
{
    return date.isValid() && date >= kFirstAcceptedDate && date <= kLastAcceptedDate;
}

QString dateToStored(const QDate &date)
{
    if (!date.isValid())
        return {};
    const QDate d = windowedDate(date);
    // Years outside 1..9999 have no eight-character form; such a date is no date on disk.
    if (d.year() < 1 || d.year() > 9999)
        return {};
    return QStringLiteral("%1%2%3")
        .arg(d.year(), 4, 10, QLatin1Char('0'))
        .arg(d.month(), 2, 10, QLatin1Char('0'))
        .arg(d.day(), 2, 10, QLatin1Char('0'));
}

QDate storedToDate(QStringView text)
{
    const QStringView t = text.trimmed();
    if (t.size() < 8)
        return {};
    int parts[3] = {0, 0, 0};
    const int starts[3] = {0, 4, 6};
    const int lengths[3] = {4, 2, 2};
    for (int p = 0; p < 3; ++p) {
        for (int i = 0; i < lengths[p]; ++i) {
            const QChar c = t[starts[p] + i];
            if (c < QLatin1Char('0') || c > QLatin1Char('9'))
                return {};
            parts[p] = parts[p] * 10 + (c.unicode() - '0');
        }
    }
    const QDate d(parts[0], parts[1], parts[2]);
    return d.isValid() && parts[0] > 0 ? d : QDate();
}

QString shortDateFormat(const QString &localeFormat)
{
    const QString f = localeFormat.toUpper();
    QString out;
    for (qsizetype i = 0; i < f.size();) {
        const QChar c = f[i];
        qsizetype run = 1;
        while (i + run < f.size() && f[i + run] == c)
            ++run;
        const bool part = c == QLatin1Char('M') || c == QLatin1Char('D') || c == QLatin1Char('Y');
        out += QString(part && run == 1 ? 2 : run, c);
        i += run;
    }
    return out;
}

QString shortDateFormat()
{
    return shortDateFormat(QLocale().dateFormat(QLocale::ShortFormat));
}

QString formatShortDate(const QDate &date)
{
    if (!date.isValid())
        return {};
    return QLocale().toString(date, QLocale::ShortFormat);
}

// --- Keys --------------------------------------------------------------------------------------

QByteArray numberKey(qint64 number, int width)
{
    const QByteArray digits = QByteArray::number(number);
    if (digits.size() >= width)
        return digits;
    return QByteArray(width - digits.size(), ' ') + digits;
}

QByteArray customerNumberKey(qint64 number)
{
    return numberKey(number, 6);
}

QByteArray groupNumberKey(qint64 number)
{
    return numberKey(number, 2);
}

QByteArray dateKey(const QDate &date)
{
    return dateToStored(date).toLatin1();
}

QByteArray keyUpper(const QString &text)
{
    QByteArray bytes = text.toUtf8();
    for (char &c : bytes) {
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    }
    return bytes;
}

// --- Money -------------------------------------------------------------------------------------

QString tooLargeAmountMessage(double maximum, int decimals)
{
    QLocale locale;
    locale.setNumberOptions(locale.numberOptions() & ~QLocale::OmitGroupSeparator);
    return QStringLiteral("The amount is too large: at most %1").arg(locale.toString(maximum, 'f', decimals));
}

namespace {

__extension__ typedef __int128 Int128;

// Values are worked on as whole multiples of 10^-20 of their decimal value to 15 significant
// digits, the most a double carries faithfully: what the user typed (1.125, never the binary
// 1.12499999...) and what a computation means (7.25 / 100 * 19.80 is 1.4355, not
// 1.4355000000000002; 0.29 * 100 is 29). Digits below 10^-20 are cut toward zero; that never
// moves a value across a threshold that is itself a multiple of 10^-20 (0.005, 0.0099, cents).
constexpr int kScale = 20;
constexpr double kLimit = 1e15; // beyond this a double holds no cents to round

Int128 pow10(int n)
{
    Int128 p = 1;
    while (n-- > 0)
        p *= 10;
    return p;
}

bool toScaled(double value, Int128 *out)
{
    if (!std::isfinite(value) || std::fabs(value) >= kLimit)
        return false;
    char buf[64];
    const auto res = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::scientific, 14);
    const std::string s(buf, res.ptr);
    // "-d.dddddddddddddde-05": sign, 15 mantissa digits, exponent.
    const std::size_t e = s.find('e');
    const bool negative = s[0] == '-';
    std::string digits;
    for (std::size_t i = negative ? 1 : 0; i < e; ++i) {
        if (s[i] != '.')
            digits += s[i];
    }
    const int exponent = std::atoi(s.c_str() + e + 1);
    // value = 0.digits... : digit k (0-based) has weight 10^(exponent - k).
    Int128 scaled = 0;
    for (std::size_t k = 0; k < digits.size(); ++k) {
        const int power = exponent - static_cast<int>(k) + kScale;
        if (power < 0)
            break;
        scaled += Int128(digits[k] - '0') * pow10(power);
    }
    *out = negative ? -scaled : scaled;
    return true;
}

// Whole cents back to the double nearest to their decimal value.
double fromCents(Int128 cents)
{
    const long long c = static_cast<long long>(cents);
    const std::string s = std::to_string(c) + "e-2";
    double v = 0;
    std::from_chars(s.data(), s.data() + s.size(), v);
    return v;
}

const Int128 kCent = pow10(kScale - 2);

} // namespace

double roundToCents(double value)
{
    Int128 scaled = 0;
    if (!toScaled(value, &scaled))
        return value;
    const bool negative = scaled < 0;
    const Int128 magnitude = negative ? -scaled : scaled;
    Int128 cents = (magnitude + kCent / 2) / kCent; // half away from zero
    return fromCents(negative ? -cents : cents);
}

ChargeRounding chargeRoundingFromStored(qint64 stored)
{
    if (stored == qint64(ChargeRounding::Normal))
        return ChargeRounding::Normal;
    if (stored == qint64(ChargeRounding::Up))
        return ChargeRounding::Up;
    return ChargeRounding::Down;
}

double roundCharge(double value, ChargeRounding rounding)
{
    if (rounding == ChargeRounding::Normal)
        return roundToCents(value);
    Int128 scaled = 0;
    if (!toScaled(value, &scaled))
        return value;
    if (rounding == ChargeRounding::Up)
        scaled += pow10(kScale - 4) * 99; // + 0.0099
    return fromCents(scaled / kCent);     // division cuts toward zero
}

// --- Numbers typed by the user -----------------------------------------------------------------

double toNumber(const QString &text, bool *ok)
{
    const QString t = text.trimmed();
    const QString sep = QLocale().decimalPoint();
    static const QRegularExpression kPlain(QStringLiteral("^[+-]?(\\d+(\\.\\d*)?|\\.\\d+)([eE][+-]?\\d+)?$"));
    QString canonical = t;
    if (sep != QLatin1String(".")) {
        if (t.contains(QLatin1Char('.'))) {
            if (ok)
                *ok = false;
            return 0;
        }
        canonical.replace(sep, QLatin1String("."));
    }
    if (!kPlain.match(canonical).hasMatch()) {
        if (ok)
            *ok = false;
        return 0;
    }
    const QByteArray bytes = canonical.toLatin1();
    const char *begin = bytes.constData() + (bytes.startsWith('+') ? 1 : 0);
    double v = 0;
    const auto res = std::from_chars(begin, bytes.constData() + bytes.size(), v);
    const bool good = res.ec == std::errc() && res.ptr == bytes.constData() + bytes.size();
    if (ok)
        *ok = good;
    return good ? v : 0;
}

bool isNumber(const QString &text)
{
    bool ok = false;
    toNumber(text, &ok);
    return ok;
}

// --- Text helpers ------------------------------------------------------------------------------

QString blanks(int count)
{
    return count > 0 ? QString(count, QLatin1Char(' ')) : QString();
}

int lastPosition(const QString &needle, const QString &haystack)
{
    if (needle.isEmpty())
        return 0;
    return static_cast<int>(haystack.lastIndexOf(needle)) + 1;
}

int indexInList(qint64 value, const QList<qint64> &values)
{
    return static_cast<int>(values.indexOf(value));
}

QString cutText(const QString &text, int characters)
{
    if (characters <= 0)
        return {};
    if (text.size() <= characters)
        return text;
    qsizetype n = characters;
    if (text.at(n - 1).isHighSurrogate())
        --n;
    return text.left(n);
}

QString memoText(const QString &text)
{
    qsizetype end = text.size();
    while (end > 0) {
        const QChar c = text.at(end - 1);
        if (c != QLatin1Char(' ') && c != QLatin1Char('\t') && c != QLatin1Char('\r') &&
            c != QLatin1Char('\n'))
            break;
        --end;
    }
    return text.left(end);
}

} // namespace tallyra
