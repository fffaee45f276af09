#include "DocumentText.h"

namespace tallyra {

namespace {

bool isDigit(QChar c)
{
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

QString maskDigits(const QString &digits)
{
    const qsizetype hidden = qMax<qsizetype>(0, digits.size() - 4);
    return QString(hidden, QLatin1Char('x')) + digits.mid(hidden);
}

// Replaces every run of 13 to 19 digits, single blanks or dashes between them allowed, that
// passes the Luhn check by its masked digits.
QString maskCardRuns(const QString &text)
{
    QString out;
    qsizetype i = 0;
    while (i < text.size()) {
        if (!isDigit(text.at(i)) || (i > 0 && isDigit(text.at(i - 1)))) {
            out += text.at(i++);
            continue;
        }
        QString digits;
        qsizetype j = i;
        while (j < text.size()) {
            if (isDigit(text.at(j))) {
                digits += text.at(j++);
            } else if ((text.at(j) == QLatin1Char(' ') || text.at(j) == QLatin1Char('-')) &&
                       j + 1 < text.size() && isDigit(text.at(j + 1))) {
                ++j;
            } else {
                break;
            }
        }
        if (digits.size() >= 13 && digits.size() <= 19 && luhnValid(digits))
            out += maskDigits(digits);
        else
            out += text.mid(i, j - i);
        i = j;
    }
    return out;
}

} // namespace

bool luhnValid(const QString &digits)
{
    if (digits.isEmpty())
        return false;
    int sum = 0;
    bool doubled = false;
    for (qsizetype i = digits.size() - 1; i >= 0; --i) {
        if (!isDigit(digits.at(i)))
            return false;
        int d = digits.at(i).unicode() - '0';
        if (doubled) {
            d *= 2;
            if (d > 9)
                d -= 9;
        }
        sum += d;
        doubled = !doubled;
    }
    return sum % 10 == 0;
}

QString maskedNote(const QString &note)
{
    const qsizetype slash = note.indexOf(QLatin1Char('/'));
    if (slash < 0)
        return maskCardRuns(note);
    qsizetype start = qMax<qsizetype>(0, slash - 1);
    if (slash >= 2 && isDigit(note.at(slash - 2)))
        start = slash - 2;
    const QString expiry = note.mid(start, slash - start + 3);
    QString digits;
    for (qsizetype i = 0; i < start; ++i)
        if (isDigit(note.at(i)))
            digits += note.at(i);
    return maskDigits(digits) + QLatin1Char(' ') + expiry;
}

QStringList wrapText(const QString &text, int available, const std::function<int(const QString &)> &width)
{
    const QString trimmed = text.trimmed();
    QStringList lines;
    if (trimmed.isEmpty())
        return lines;
    // The line's width grows by each character's own width, so a long text is measured once.
    QString line;
    int lineWidth = 0;
    for (const QChar c : trimmed) {
        if (c == QLatin1Char('\n')) {
            lines << line;
            line.clear();
            lineWidth = 0;
            continue;
        }
        if (c == QLatin1Char('\r'))
            continue;
        line += c;
        lineWidth += width(QString(c));
        if (line.size() < 2 || lineWidth <= available)
            continue;
        const qsizetype blank = line.lastIndexOf(QLatin1Char(' '));
        if (blank >= 0 && blank < line.size() - 1) {
            lines << line.left(blank + 1);
            line = line.mid(blank + 1);
        } else if (blank == line.size() - 1) {
            // The blank itself overflowed: it ends this line, the next one starts empty.
            lines << line;
            line.clear();
        } else {
            lines << line.left(line.size() - 1);
            line = line.right(1);
        }
        lineWidth = width(line);
    }
    lines << line;
    return lines;
}

} // namespace tallyra
