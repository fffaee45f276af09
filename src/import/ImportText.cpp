#include "ImportText.h"

#include <QFileInfo>

namespace tallyra {

namespace {

// Windows-1252 codes 0x80..0x9F; 0 marks the five codes the code page leaves unused.
constexpr char16_t kCp1252High[32] = {0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                      0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
                                      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                      0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

constexpr qint64 kBlock = 1 << 20;

bool isRefusedControl(unsigned char c, int delimiter)
{
    if (c >= 0x20 || c == delimiter)
        return false;
    return !(c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r');
}

// Incremental UTF-8 validation: the number of continuation bytes still expected, and the limits
// the next one must meet (overlong forms, surrogates and values past U+10FFFF are invalid).
struct Utf8State
{
    int pending = 0;
    unsigned char lo = 0x80;
    unsigned char hi = 0xBF;
    bool valid = true;

    void feed(unsigned char c)
    {
        if (pending > 0) {
            if (c < lo || c > hi) {
                valid = false;
                return;
            }
            lo = 0x80;
            hi = 0xBF;
            --pending;
            return;
        }
        if (c < 0x80)
            return;
        if (c >= 0xC2 && c <= 0xDF) {
            pending = 1;
        } else if (c >= 0xE0 && c <= 0xEF) {
            pending = 2;
            if (c == 0xE0)
                lo = 0xA0;
            else if (c == 0xED)
                hi = 0x9F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            pending = 3;
            if (c == 0xF0)
                lo = 0x90;
            else if (c == 0xF4)
                hi = 0x8F;
        } else {
            valid = false;
        }
    }
};

} // namespace

QString encodingName(TextEncoding encoding)
{
    switch (encoding) {
    case TextEncoding::Utf8:
        return QStringLiteral("UTF-8");
    case TextEncoding::Utf8Bom:
        return QStringLiteral("UTF-8 with byte-order mark");
    case TextEncoding::Windows1252:
        return QStringLiteral("Windows-1252");
    }
    return {};
}

QString decodeWindows1252(QByteArrayView bytes)
{
    QString out(bytes.size(), Qt::Uninitialized);
    QChar *d = out.data();
    for (const char ch : bytes) {
        const auto c = static_cast<unsigned char>(ch);
        if (c >= 0x80 && c <= 0x9F)
            *d++ = kCp1252High[c - 0x80] ? QChar(kCp1252High[c - 0x80]) : QChar(QChar::ReplacementCharacter);
        else
            *d++ = QChar(c);
    }
    return out;
}

TextFileCheck checkTextFile(const QString &path, int delimiter)
{
    TextFileCheck check;
    QFile file(path);
    if (!QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly)) {
        check.message = QStringLiteral("The file %1 cannot be read: %2").arg(path, file.errorString());
        return check;
    }
    check.size = file.size();
    Utf8State utf8;
    qint64 offset = 0;
    bool bom = false;
    bool lastCr = false;
    unsigned char lastByte = '\n';
    QByteArray block;
    for (;;) {
        block = file.read(kBlock);
        if (block.isEmpty())
            break;
        qsizetype i = 0;
        if (offset == 0 && block.startsWith("\xEF\xBB\xBF")) {
            bom = true;
            i = 3;
        }
        const auto *p = reinterpret_cast<const unsigned char *>(block.constData());
        for (; i < block.size(); ++i) {
            const unsigned char c = p[i];
            if (isRefusedControl(c, delimiter) && !(c == 0x1A && offset + i == check.size - 1)) {
                check.message = QStringLiteral("The file %1 is not a text file: it holds the control "
                                               "character %2 at byte %3. Nothing was imported.")
                                    .arg(path)
                                    .arg(QStringLiteral("0x%1").arg(c, 2, 16, QLatin1Char('0')))
                                    .arg(offset + i);
                return check;
            }
            if (utf8.valid)
                utf8.feed(c);
            if (c == '\r' || (c == '\n' && !lastCr))
                ++check.lines;
            lastCr = c == '\r';
            lastByte = c;
        }
        offset += block.size();
    }
    if (file.error() != QFileDevice::NoError) {
        check.message = QStringLiteral("The file %1 cannot be read: %2").arg(path, file.errorString());
        return check;
    }
    if (lastByte != '\n' && lastByte != '\r')
        ++check.lines;
    const bool isUtf8 = utf8.valid && utf8.pending == 0;
    check.encoding = isUtf8 ? (bom ? TextEncoding::Utf8Bom : TextEncoding::Utf8) : TextEncoding::Windows1252;
    check.ok = true;
    return check;
}

LineReader::LineReader(const QString &path, TextEncoding encoding)
    : m_file(path)
    , m_encoding(encoding)
{}

bool LineReader::open(QString *message)
{
    if (!m_file.open(QIODevice::ReadOnly)) {
        if (message)
            *message =
                QStringLiteral("The file %1 cannot be read: %2").arg(m_file.fileName(), m_file.errorString());
        return false;
    }
    return true;
}

bool LineReader::fill()
{
    if (m_eof)
        return false;
    m_buffer.remove(0, m_pos);
    m_pos = 0;
    const QByteArray more = m_file.read(kBlock);
    if (more.isEmpty()) {
        if (m_file.error() != QFileDevice::NoError)
            m_error = m_file.errorString();
        m_eof = true;
        return false;
    }
    if (!m_started) {
        m_started = true;
        if (m_encoding == TextEncoding::Utf8Bom && more.startsWith("\xEF\xBB\xBF")) {
            m_buffer.append(more.mid(3));
            m_consumed += 3;
            return true;
        }
    }
    m_buffer.append(more);
    return true;
}

bool LineReader::next(TextLine *line)
{
    for (;;) {
        // Find the end of the line from m_pos; while it is not in the buffer, read more. A line
        // past the limit is read on to its end without being kept.
        qint64 length = 0;
        bool tooLong = false;
        const qint64 number = m_lineNumber;
        QByteArray kept;
        bool ended = false;
        for (;;) {
            const char *begin = m_buffer.constData() + m_pos;
            const char *end = m_buffer.constData() + m_buffer.size();
            const char *p = begin;
            while (p != end && *p != '\r' && *p != '\n')
                ++p;
            const qint64 run = p - begin;
            if (!tooLong) {
                if (length + run > kMaxLineBytes) {
                    tooLong = true;
                    kept.clear();
                } else {
                    kept.append(begin, run);
                }
            }
            length += run;
            m_pos += run;
            m_consumed += run;
            if (p != end) {
                ended = true;
                break;
            }
            if (!fill())
                break;
        }
        // A Ctrl-Z closing the file is an old end-of-file mark, not text.
        if (!ended && m_eof && !tooLong && kept.endsWith('\x1A')) {
            kept.chop(1);
            --length;
        }
        if (ended) {
            const char c = m_buffer.at(m_pos);
            ++m_pos;
            ++m_consumed;
            if (c == '\n' && m_lastWasCr && length == 0) {
                // The LF of a CR LF pair: the empty line between them is no line.
                m_lastWasCr = false;
                continue;
            }
            m_lastWasCr = c == '\r';
            ++m_lineNumber;
        } else {
            m_lastWasCr = false;
        }
        if (length == 0) {
            if (!ended)
                return false;
            continue; // an empty line
        }
        line->number = number;
        line->bytes = length;
        line->tooLong = tooLong;
        if (tooLong)
            line->text.clear();
        else if (m_encoding == TextEncoding::Windows1252)
            line->text = decodeWindows1252(kept);
        else
            line->text = QString::fromUtf8(kept);
        return true;
    }
}

QStringList splitLine(QStringView line, QChar delimiter)
{
    QStringList fields;
    qsizetype field = 1;
    const qsizetype n = line.size();
    qsizetype i = 0;
    while (i < n) {
        if (fields.size() < field)
            fields.resize(field);
        const QChar c = line[i];
        if (c == delimiter) {
            ++field;
            ++i;
        } else if (c == QLatin1Char('"')) {
            const qsizetype close = line.indexOf(QLatin1Char('"'), i + 1);
            if (close >= 0) {
                fields[field - 1].append(line.mid(i + 1, close - i - 1));
                i = close + 1;
            } else {
                ++i; // a lone quote is dropped
            }
        } else {
            // Copy the run up to the next delimiter or quote at once.
            qsizetype j = i + 1;
            while (j < n && line[j] != delimiter && line[j] != QLatin1Char('"'))
                ++j;
            fields[field - 1].append(line.mid(i, j - i));
            i = j;
        }
    }
    return fields;
}

} // namespace tallyra
