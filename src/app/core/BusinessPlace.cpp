#include "BusinessPlace.h"

#include "Tables.h"

#include <QDir>
#include <QSettings>

namespace tallyra {

namespace {

const char *const kLastBusiness = "business/lastDirectory";

QSettings userSettings()
{
    return QSettings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Tallyra"),
                     QStringLiteral("Tallyra"));
}

} // namespace

QString rememberedBusiness()
{
    return userSettings().value(QLatin1String(kLastBusiness)).toString();
}

void rememberBusiness(const QString &dir)
{
    QSettings settings = userSettings();
    settings.setValue(QLatin1String(kLastBusiness), QDir(dir).absolutePath());
    settings.sync();
}

void forgetBusiness()
{
    QSettings settings = userSettings();
    settings.remove(QLatin1String(kLastBusiness));
    settings.sync();
}

QString businessToOpen(const QString &given, bool explicitly)
{
    if (dataFilesPresent(given))
        return QDir(given).absolutePath();
    if (explicitly)
        return {};
    const QString remembered = rememberedBusiness();
    if (!remembered.isEmpty() && dataFilesPresent(remembered))
        return remembered;
    return {};
}

} // namespace tallyra
