#include "LabelPositions.h"

#include <QDir>
#include <QSettings>

namespace tallyra {

namespace {

QString keyOf(const QString &stock)
{
    // Stock names hold blanks, slashes and commas; the percent form keeps them apart as keys.
    return QString::fromLatin1(stock.trimmed().toUtf8().toPercentEncoding());
}

} // namespace

QPoint rememberedLabelPosition(const QString &dataDir, const QString &stock)
{
    const QSettings file(QDir(dataDir).filePath(QLatin1String(kLabelPositionsFile)), QSettings::IniFormat);
    const QStringList parts = file.value(keyOf(stock)).toString().split(QLatin1Char(','));
    if (parts.size() != 2)
        return {1, 1};
    const int column = parts[0].toInt();
    const int row = parts[1].toInt();
    return column >= 1 && row >= 1 ? QPoint(column, row) : QPoint(1, 1);
}

bool rememberLabelPosition(const QString &dataDir, const QString &stock, const QPoint &next)
{
    QSettings file(QDir(dataDir).filePath(QLatin1String(kLabelPositionsFile)), QSettings::IniFormat);
    file.setValue(keyOf(stock), QStringLiteral("%1,%2").arg(next.x()).arg(next.y()));
    file.sync();
    return file.status() == QSettings::NoError;
}

} // namespace tallyra
