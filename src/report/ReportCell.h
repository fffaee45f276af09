#pragma once

#include <QString>

namespace tallyra {

// One cell of the report buffer, decoded. Every rendering (screen, paper, text, e-mail) places
// cells from this form, so they all agree on what a code means.
//
//   "L" col text   text begins at col          "V" col        vertical rule at col
//   "R" col text   text ends at col            "H" from to    rule along the row's top edge
//   "C" col text   text centred on col         "I" a col file image (a = L, C or R)
//   "EJECT"        page break                  anything else  text drawn at x = 0 on screen
//
// Columns are two characters, 00 to 99; a blank counts as a zero (" 5" is 5). Malformed
// columns read as 0 rather than failing: a cell is always drawable.
struct ReportCell
{
    enum class Kind
    {
        Empty,
        Left,
        Right,
        Centre,
        VRule,
        HRule,
        Image,
        Eject,
        Other
    };

    Kind kind = Kind::Empty;
    int col = 0;   // L R C V I: the column; H: the first column
    int toCol = 0; // H: the last column
    QChar align;   // I: 'L', 'C' or 'R'
    QString text;  // L R C and Other: everything from the fourth character; I: the file name

    bool isText() const { return kind == Kind::Left || kind == Kind::Right || kind == Kind::Centre; }

    static ReportCell parse(const QString &cell);
};

// Row attributes held in a flags cell.
inline bool flagsBold(const QString &flags)
{
    return flags.contains(QLatin1Char('B'));
}
inline bool flagsUnderline(const QString &flags)
{
    return flags.contains(QLatin1Char('U'));
}

// Size in inches stored in an image row's flags cell: characters 2-6 the height, 7-11 the width.
// False when the flags cell does not hold them.
bool imageSizeFromFlags(const QString &flags, double *heightInches, double *widthInches);

} // namespace tallyra
