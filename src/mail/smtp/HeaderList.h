#pragma once

// The header lines of an outgoing message: each line is a name, ": " and a value.

#include <QString>
#include <QStringList>

namespace tallyra {

class THeaderList
{
public:
    // The line whose name (the text before its first ":") equals `name` without regard to case;
    // -1 when there is none. Searched from the top.
    int indexOfName(const QString &name) const;
    // The value of the named line (the text after ": "), empty when there is none.
    QString value(const QString &name) const;
    // Replaces the named line by name + ": " + value, or adds it at the end; an empty value
    // deletes the line.
    void setValue(const QString &name, const QString &value);
    void append(const QString &line) { m_lines.append(line); }
    void clear() { m_lines.clear(); }

    const QStringList &lines() const { return m_lines; }
    int count() const { return m_lines.size(); }
    // Every line followed by carriage return and line feed.
    QByteArray toBytes() const;

private:
    QStringList m_lines;
};

} // namespace tallyra
