#include "ReportCell.h"

namespace tallyra {

namespace {

// Two characters at `pos` as a column; blanks count as zeros, anything else as nothing.
int columnAt(const QString &cell, qsizetype pos)
{
    int value = 0;
    for (qsizetype i = pos; i < pos + 2; ++i) {
        value *= 10;
        if (i < cell.size() && cell.at(i).isDigit() && cell.at(i).unicode() < 128)
            value += cell.at(i).unicode() - '0';
    }
    return value;
}

} // namespace

ReportCell ReportCell::parse(const QString &cell)
{
    ReportCell c;
    if (cell.isEmpty())
        return c;
    switch (cell.at(0).unicode()) {
    case 'L':
    case 'R':
    case 'C':
        c.kind = cell.at(0) == QLatin1Char('L')   ? Kind::Left
                 : cell.at(0) == QLatin1Char('R') ? Kind::Right
                                                  : Kind::Centre;
        c.col = columnAt(cell, 1);
        c.text = cell.mid(3);
        break;
    case 'V':
        c.kind = Kind::VRule;
        c.col = columnAt(cell, 1);
        break;
    case 'H':
        c.kind = Kind::HRule;
        c.col = columnAt(cell, 1);
        c.toCol = columnAt(cell, 3);
        break;
    case 'I':
        c.kind = Kind::Image;
        c.align = cell.size() > 1 ? cell.at(1) : QLatin1Char('L');
        c.col = columnAt(cell, 2);
        c.text = cell.mid(4, 60).trimmed();
        break;
    case 'E':
        c.kind = Kind::Eject;
        break;
    default:
        c.kind = Kind::Other;
        c.text = cell.mid(3);
        break;
    }
    return c;
}

bool imageSizeFromFlags(const QString &flags, double *heightInches, double *widthInches)
{
    if (flags.size() < 11)
        return false;
    bool okHeight = false;
    bool okWidth = false;
    *heightInches = flags.mid(1, 5).trimmed().toDouble(&okHeight);
    *widthInches = flags.mid(6, 5).trimmed().toDouble(&okWidth);
    return okHeight && okWidth && *heightInches > 0 && *widthInches > 0;
}

} // namespace tallyra
