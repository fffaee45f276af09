#include "ReportText.h"

#include "ReportBuffer.h"
#include "ReportCell.h"

#include <QIODevice>
#include <QSaveFile>

namespace tallyra {

namespace {

constexpr qsizetype kFlushBytes = 1 << 16;

void appendLine(const ReportBuffer &buffer, int row, TextLayout layout, QString *line)
{
    const int textCells = buffer.flagsCell();
    for (int c = 0; c < textCells; ++c) {
        const QString &raw = buffer.cell(c, row);
        // Only L, R and C cells carry text; test the letter before decoding anything.
        if (raw.isEmpty())
            continue;
        const QChar code = raw.at(0);
        if (code != QLatin1Char('L') && code != QLatin1Char('R') && code != QLatin1Char('C'))
            continue;
        const ReportCell cell = ReportCell::parse(raw);
        if (layout == TextLayout::TabDelimited) {
            if (!line->isEmpty())
                line->append(QLatin1Char('\t'));
            line->append(cell.text);
            continue;
        }
        const qsizetype length = cell.text.size();
        qsizetype target = cell.col;
        if (cell.kind == ReportCell::Kind::Right)
            target = cell.col - length;
        else if (cell.kind == ReportCell::Kind::Centre)
            target = cell.col - length / 2;
        if (line->size() < target)
            line->append(QString(target - line->size(), QLatin1Char(' ')));
        line->append(cell.text);
    }
}

} // namespace

QString reportLine(const ReportBuffer &buffer, int row, TextLayout layout)
{
    QString line;
    appendLine(buffer, row, layout, &line);
    return line;
}

QByteArray reportExportText(const ReportBuffer &buffer, TextLayout layout)
{
    QByteArray out;
    QString line;
    for (int row = 0; row < buffer.rowCount(); ++row) {
        line.clear();
        appendLine(buffer, row, layout, &line);
        out += line.toUtf8();
        out += "\r\n";
    }
    return out;
}

QString reportEmailText(const ReportBuffer &buffer, TextLayout layout)
{
    QString out;
    const QString rule = QString(buffer.reportWidth() + 1, QLatin1Char('-')) + QLatin1Char('\n');
    QString line;
    for (int row = 0; row < buffer.rowCount(); ++row) {
        line.clear();
        appendLine(buffer, row, layout, &line);
        out += line;
        out += QLatin1Char('\n');
        if (buffer.flags(row) == QLatin1String("U"))
            out += rule;
    }
    return out;
}

bool writeReportText(const ReportBuffer &buffer, TextLayout layout, QIODevice *device)
{
    QByteArray chunk;
    chunk.reserve(kFlushBytes + 1024);
    QString line;
    for (int row = 0; row < buffer.rowCount(); ++row) {
        line.clear();
        appendLine(buffer, row, layout, &line);
        chunk += line.toUtf8();
        chunk += "\r\n";
        if (chunk.size() >= kFlushBytes) {
            if (device->write(chunk) != chunk.size())
                return false;
            chunk.clear();
        }
    }
    return chunk.isEmpty() || device->write(chunk) == chunk.size();
}

bool saveReportText(const ReportBuffer &buffer, TextLayout layout, const QString &path)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    if (!writeReportText(buffer, layout, &file)) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

} // namespace tallyra
