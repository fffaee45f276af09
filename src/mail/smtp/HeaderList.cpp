#include "HeaderList.h"

namespace tallyra {

int THeaderList::indexOfName(const QString &name) const
{
    for (int i = 0; i < m_lines.size(); ++i) {
        const QString &line = m_lines.at(i);
        const qsizetype colon = line.indexOf(QLatin1Char(':'));
        const QStringView lineName = colon < 0 ? QStringView(line) : QStringView(line).left(colon);
        if (lineName.compare(name, Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

QString THeaderList::value(const QString &name) const
{
    const int i = indexOfName(name);
    if (i < 0)
        return {};
    const QString &line = m_lines.at(i);
    const qsizetype colon = line.indexOf(QLatin1Char(':'));
    if (colon < 0)
        return {};
    QString v = line.mid(colon + 1);
    if (v.startsWith(QLatin1Char(' ')))
        v.remove(0, 1);
    return v;
}

void THeaderList::setValue(const QString &name, const QString &value)
{
    const int i = indexOfName(name);
    if (value.isEmpty()) {
        if (i >= 0)
            m_lines.removeAt(i);
        return;
    }
    const QString line = name + QStringLiteral(": ") + value;
    if (i >= 0)
        m_lines[i] = line;
    else
        m_lines.append(line);
}

QByteArray THeaderList::toBytes() const
{
    QByteArray out;
    for (const QString &line : m_lines) {
        out += line.toUtf8();
        out += "\r\n";
    }
    return out;
}

} // namespace tallyra
