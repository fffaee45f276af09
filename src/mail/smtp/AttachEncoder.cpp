#include "AttachEncoder.h"

#include <QFile>

namespace tallyra {

namespace {

constexpr int kLineBytes = 45;
const char kMimeAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

char uuChar(int value)
{
    return value == 0 ? '`' : char(32 + value);
}

} // namespace

QByteArray TAttachEncoder::encodeMimeLine(const char *data, int size) const
{
    QByteArray line;
    line.reserve(62);
    for (int i = 0; i < size; i += 3) {
        const int left = size - i;
        const quint8 b0 = quint8(data[i]);
        const quint8 b1 = left > 1 ? quint8(data[i + 1]) : 0;
        const quint8 b2 = left > 2 ? quint8(data[i + 2]) : 0;
        line += kMimeAlphabet[b0 >> 2];
        line += kMimeAlphabet[((b0 & 0x03) << 4) | (b1 >> 4)];
        line += left > 1 ? kMimeAlphabet[((b1 & 0x0f) << 2) | (b2 >> 6)] : '=';
        line += left > 2 ? kMimeAlphabet[b2 & 0x3f] : '=';
    }
    line += "\r\n";
    return line;
}

QByteArray TAttachEncoder::encodeUuLine(const char *data, int size) const
{
    QByteArray line;
    line.reserve(63);
    line += uuChar(size);
    for (int i = 0; i < size; i += 3) {
        const int left = size - i;
        const quint8 b0 = quint8(data[i]);
        const quint8 b1 = left > 1 ? quint8(data[i + 1]) : 0;
        const quint8 b2 = left > 2 ? quint8(data[i + 2]) : 0;
        line += uuChar(b0 >> 2);
        line += uuChar(((b0 & 0x03) << 4) | (b1 >> 4));
        if (left > 1)
            line += uuChar(((b1 & 0x0f) << 2) | (b2 >> 6));
        if (left > 2)
            line += uuChar(b2 & 0x3f);
    }
    line += "\r\n";
    return line;
}

QByteArray TAttachEncoder::encode(const QByteArray &data) const
{
    QByteArray out;
    out.reserve(data.size() / kLineBytes * 62 + 70);
    for (qsizetype at = 0; at < data.size(); at += kLineBytes) {
        const int size = int(qMin<qsizetype>(kLineBytes, data.size() - at));
        out += m_method == EncodeType::uuMime ? encodeMimeLine(data.constData() + at, size)
                                              : encodeUuLine(data.constData() + at, size);
    }
    if (m_method == EncodeType::uuCode)
        out += "`\r\n";
    return out;
}

bool TAttachEncoder::encodeFile(const QString &path, QByteArray *out, QString *error) const
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("%1: %2").arg(path, file.errorString());
        return false;
    }
    const QByteArray data = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        *error = QStringLiteral("%1: %2").arg(path, file.errorString());
        return false;
    }
    *out = encode(data);
    return true;
}

} // namespace tallyra
