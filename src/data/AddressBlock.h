#pragma once

#include <QString>
#include <QStringList>

namespace tallyra {

// The address block of a customer: the name line, the four address lines (empty ones kept in
// place) and the postal code, after the last non-empty line when that line is at most 22
// characters long, otherwise on a line of its own indented by 20 blanks.
QStringList addressBlock(const QString &title, const QString &first, const QString &last,
                         const QStringList &addressLines, const QString &zip);

} // namespace tallyra
