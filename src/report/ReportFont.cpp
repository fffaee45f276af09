#include "ReportFont.h"

namespace tallyra {

namespace {

// Plain values, so the font can be set before the application object exists.
QString g_family = QString::fromLatin1(ReportFont::kDefaultFamily);
int g_pointSize = ReportFont::kDefaultPointSize;

} // namespace

QFont ReportFont::font()
{
    QFont font(g_family);
    font.setPointSize(g_pointSize);
    return font;
}

QString ReportFont::family()
{
    return g_family;
}

int ReportFont::pointSize()
{
    return g_pointSize;
}

void ReportFont::setFont(const QFont &font)
{
    apply(font.family(), font.pointSize());
}

void ReportFont::apply(const QString &name, int pointSize)
{
    if (!name.trimmed().isEmpty())
        g_family = name.trimmed();
    if (pointSize > 0)
        g_pointSize = pointSize;
}

QString ReportFont::description()
{
    return g_family + QLatin1Char('@') + QString::number(g_pointSize);
}

void ReportFont::reset()
{
    g_family = QString::fromLatin1(kDefaultFamily);
    g_pointSize = kDefaultPointSize;
}

} // namespace tallyra
