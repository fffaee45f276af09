#include "AddressBlock.h"

namespace tallyra {

QStringList addressBlock(const QString &title, const QString &first, const QString &last,
                         const QStringList &addressLines, const QString &zip)
{
    QStringList lines;
    lines << (title + QLatin1Char(' ') + first.trimmed() + QLatin1Char(' ') + last).trimmed();
    for (const QString &line : addressLines)
        lines << line.trimmed();
    qsizetype lastLine = lines.size() - 1;
    while (lastLine > 0 && lines.at(lastLine).isEmpty())
        --lastLine;
    lines.resize(lastLine + 1);
    if (lines.at(lastLine).size() > 22)
        lines << QString(20, QLatin1Char(' ')) + zip.trimmed();
    else
        lines[lastLine] += QStringLiteral("  ") + zip.trimmed();
    return lines;
}

} // namespace tallyra
