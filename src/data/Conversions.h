#pragma once

// Value conversions every part of the program shares: stored dates, number keys, money rounding,
// number parsing with the locale's decimal separator, and small text helpers. Pure functions.

#include <QByteArray>
#include <QDate>
#include <QList>
#include <QString>

namespace tallyra {

// --- Dates -------------------------------------------------------------------------------------

// The first year of the 100-year window for two-digit years: 60 years before today()'s year.
int dateWindowStart();
// The date with a two-digit year (0 to 99) moved to the window's year ending in those digits; a
// date that would then not exist (29 February) is returned unchanged. Every other year, four
// digits typed, picked or read from a file, is kept as it is. A null date stays null.
QDate windowedDate(const QDate &date);
// The dates a user may type: 1 January 1900 to 31 December 2199.
inline const QDate kFirstAcceptedDate{1900, 1, 1};
inline const QDate kLastAcceptedDate{2199, 12, 31};
bool dateInAcceptedRange(const QDate &date);
// "yyyymmdd" of the windowed date; the empty text for a null or invalid date.
QString dateToStored(const QDate &date);
// The date of a stored "yyyymmdd" text; a null date when the trimmed text is shorter than 8
// characters or names no real day. Characters past the eighth are ignored.
QDate storedToDate(QStringView text);

// The locale's short date format upper-cased, each single "M", "D" or "Y" doubled so every part
// has two letters: "M/d/yy" gives "MM/DD/YY", "dd.MM.yyyy" gives "DD.MM.YYYY".
QString shortDateFormat();
QString shortDateFormat(const QString &localeFormat);
// The date in the locale's short date format (the empty text for a null date).
QString formatShortDate(const QDate &date);

// --- Keys --------------------------------------------------------------------------------------

// The whole number right-aligned in `width` characters, blank-padded on the left; a wider number
// is not cut. numberKey(5, 6) is "     5", numberKey(12, 2) is "12".
QByteArray numberKey(qint64 number, int width);
// Seek keys of tags CCNO/InvC (6 characters) and NGroup (2 characters).
QByteArray customerNumberKey(qint64 number);
QByteArray groupNumberKey(qint64 number);
// The "yyyymmdd" seek key of a date tag (InvD, PmtD); empty bytes for a null date.
QByteArray dateKey(const QDate &date);
// The fold key expressions use: ASCII a-z to A-Z, every other byte (UTF-8 included) unchanged.
QByteArray keyUpper(const QString &text);

// --- Money -------------------------------------------------------------------------------------

// Rounds half away from zero to cents on the decimal value a user sees: the double taken to 15
// significant digits (1.125, not 1.12499999...; 3 * 0.335 is 1.005). roundToCents(1.125) is
// 1.13, roundToCents(-2.125) is -2.13. Not-a-number, infinities and magnitudes of 10^15 and more
// are returned unchanged.
double roundToCents(double value);
// How computed charges are rounded: the TaxRound setting, stored as the enumerator's number.
enum class ChargeRounding
{
    Normal = 1, // as roundToCents: nearest cent, halves away from zero for negative charges too
    Up = 2,     // x + 0.0099, cut toward zero
    Down = 3,   // cut toward zero to cents
};
// The rounding a stored TaxRound number means: 1 Normal, 2 Up, anything else Down.
ChargeRounding chargeRoundingFromStored(qint64 stored);
// Rounds a computed charge by the TaxRound setting. Every cut is taken on the value to 15
// significant digits, so 0.29 * 100 is 29, not 28.99.
double roundCharge(double value, ChargeRounding rounding);

// The largest figure the money fields of invoices, items and payments hold (12 characters, two
// decimals).
inline constexpr double kLargestAmount = 999999999.99;
// "The amount is too large: at most 999,999,999.99": the maximum with the locale's group and
// decimal separators.
QString tooLargeAmountMessage(double maximum = kLargestAmount, int decimals = 2);

// --- Numbers typed by the user -----------------------------------------------------------------

// True when the whole text (blanks around it allowed) is a decimal number written with the
// locale's decimal separator: "12,50" in a German locale, "12.50" in an English one. Group
// separators are not accepted.
bool isNumber(const QString &text);
// The number of such a text; 0 and *ok false when it is none.
double toNumber(const QString &text, bool *ok = nullptr);

// --- Text helpers ------------------------------------------------------------------------------

QString blanks(int count); // a text of count blanks (none for count <= 0)
// The 1-based position of the last occurrence of needle in haystack; 0 when absent or empty.
int lastPosition(const QString &needle, const QString &haystack);
// The index of the first element equal to value; -1 when absent.
int indexInList(qint64 value, const QList<qint64> &values);
// The text cut to at most `characters` characters (never inside a surrogate pair).
QString cutText(const QString &text, int characters);
// Memo text as stored: trailing blanks, tabs and line ends removed.
QString memoText(const QString &text);

} // namespace tallyra
