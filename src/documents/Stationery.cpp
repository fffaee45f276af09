#include "Stationery.h"

#include "InvoiceModel.h"
#include "Settings.h"

#include <QFileInfo>
#include <QImageReader>

namespace tallyra {

StationeryEntry StationeryEntry::from(const SettingsRecord &s)
{
    StationeryEntry e;
    e.logoFile = s.LogoFile;
    e.topMargin = formatAmount(s.TopMargin, 5);
    e.logoHeight = formatAmount(s.LogoHeight, 5);
    e.logoWidth = formatAmount(s.LogoWidth, 5);
    e.company = s.Company.trimmed();
    e.addr1 = s.Addr1.trimmed();
    e.addr2 = s.Addr2.trimmed();
    e.addr3 = s.Addr3.trimmed();
    e.addr4 = s.Addr4.trimmed();
    e.closingLine = s.CloLine.trimmed();
    e.signatureLine = s.SigLine.trimmed();
    e.justify = s.LHJustify == 2 || s.LHJustify == 3 ? int(s.LHJustify) : 1;
    return e;
}

bool StationeryEntry::applyTo(SettingsRecord &settings, QString *error) const
{
    struct Number
    {
        const QString &text;
        const char *label;
        double value = 0;
    };
    Number numbers[] = {{topMargin, "Top Margin"}, {logoHeight, "Logo Height"}, {logoWidth, "Logo Width"}};
    for (Number &n : numbers) {
        if (!parseAmount(n.text, &n.value)) {
            if (error)
                *error = QString::fromLatin1(n.label) + QStringLiteral(": not a number");
            return false;
        }
    }
    SettingsRecord s = settings;
    s.TopMargin = numbers[0].value;
    s.LogoHeight = numbers[1].value;
    s.LogoWidth = numbers[2].value;
    const QString logo = logoFile.trimmed();
    s.LogoFile = !logo.isEmpty() && QFileInfo(logo).isFile() ? logo : QString();
    s.Company = company.trimmed();
    s.Addr1 = addr1.trimmed();
    s.Addr2 = addr2.trimmed();
    s.Addr3 = addr3.trimmed();
    s.Addr4 = addr4.trimmed();
    s.CloLine = closingLine.trimmed();
    s.SigLine = signatureLine.trimmed();
    s.LHJustify = justify == 2 || justify == 3 ? justify : 1;
    settings = s;
    return true;
}

QString logoFileFilter()
{
    QStringList patterns;
    for (const QByteArray &format : QImageReader::supportedImageFormats())
        patterns << QStringLiteral("*.") + QString::fromLatin1(format);
    return QStringLiteral("Bitmap Files (*.BMP *.bmp);;Pictures (") + patterns.join(QLatin1Char(' ')) +
           QStringLiteral(");;All files (*)");
}

} // namespace tallyra
