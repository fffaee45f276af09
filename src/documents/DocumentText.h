#pragma once

// The texts documents print that are not taken as they are stored: the customer note with any
// card number masked, and long texts (product texts, the invoice memo) wrapped to the line.

#include <QString>
#include <QStringList>
#include <functional>

namespace tallyra {

// The note as a document prints it. A note holding "/" is read as a card number with its expiry
// ("4111 1111 1111 1111 12/05"): the expiry is the character before the first "/" (with the one
// before that when it is a digit), the "/" and the two characters after it; the digits before the
// expiry form the number, of which all but the last four become "x"; the result is the masked
// number, a blank and the expiry. Any other note is printed as it is, except that a run of 13 to
// 19 digits (single blanks or dashes between them allowed) passing the Luhn check is replaced by
// its digits masked the same way, so no full card number is ever printed.
QString maskedNote(const QString &note);

// True when the digits pass the Luhn check (the check digit of card numbers).
bool luhnValid(const QString &digits);

// Wraps `text` into lines no wider than `available`, as `width` measures them (the width of a
// line is taken as the sum of its characters' widths). The text is
// trimmed first (empty text gives no lines); a line feed starts a new line, a carriage return is
// dropped. When a character makes the line too wide, the line is cut after its last blank and the
// rest begins the next line; a line without a blank is cut before that character, so a word wider
// than the line is split at the line width. No character is lost and every character is taken
// once, so the loop always ends.
QStringList wrapText(const QString &text, int available, const std::function<int(const QString &)> &width);

} // namespace tallyra
