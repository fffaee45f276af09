#pragma once

// Reading delimited text files for an import: the encoding, the lines and their fields.
// No widgets; nothing here touches a table.

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QStringList>

namespace tallyra {

enum class TextEncoding
{
    Utf8,
    Utf8Bom,
    Windows1252
};

// "UTF-8", "UTF-8 with byte-order mark", "Windows-1252".
QString encodingName(TextEncoding encoding);

// Decodes bytes of a Windows-1252 file (0x80..0x9F as that code page has them; its five unused
// codes become U+FFFD).
QString decodeWindows1252(QByteArrayView bytes);

// What a look at the whole file found before any line is imported.
struct TextFileCheck
{
    bool ok = false;
    QString message; // why the file cannot be imported, for the user
    TextEncoding encoding = TextEncoding::Utf8;
    qint64 size = 0;  // bytes
    qint64 lines = 0; // line ends, plus one for a last line without one
};

// Reads the file once: refuses a file that cannot be read or that holds a NUL byte or a control
// character other than tab, line feed, vertical tab, form feed, carriage return and the
// delimiter (a binary file, not an export), and decides the encoding: UTF-8 when every byte
// sequence is valid UTF-8 (a leading byte-order mark is skipped), otherwise Windows-1252.
// A single Ctrl-Z at the very end (an old end-of-file mark) is allowed and ignored.
TextFileCheck checkTextFile(const QString &path, int delimiter);

// One line of the file. number is the line's number as an editor counts it (a CR LF pair is one
// line end). tooLong is set, and text empty, for a line longer than LineReader::kMaxLineBytes.
struct TextLine
{
    qint64 number = 0;
    QString text;
    bool tooLong = false;
    qint64 bytes = 0; // the line's length in the file
};

// Reads lines of a checked file in blocks (memory stays bounded whatever the file holds). A line
// ends at a carriage return or a line feed, neither kept; empty lines are passed over.
class LineReader
{
public:
    static constexpr qint64 kMaxLineBytes = 64 * 1024;

    LineReader(const QString &path, TextEncoding encoding);
    bool open(QString *message);
    // The next non-empty line; false at the end of the file or on a read error (see error()).
    bool next(TextLine *line);
    qint64 position() const { return m_consumed; } // bytes of the file read so far
    QString error() const { return m_error; }

private:
    bool fill();

    QFile m_file;
    TextEncoding m_encoding;
    QByteArray m_buffer;
    qsizetype m_pos = 0;
    qint64 m_consumed = 0;
    qint64 m_lineNumber = 1;
    bool m_lastWasCr = false;
    bool m_eof = false;
    bool m_started = false;
    QString m_error;
};

// Splits a line into fields: the delimiter ends a field; a double quote starts a quoted part that
// runs to the next double quote in the line (delimiters included, quotes dropped); a quote with
// no partner later in the line is dropped. A delimiter at the very end of the line makes no empty
// last field. The first field is number 1 (index 0).
QStringList splitLine(QStringView line, QChar delimiter);

} // namespace tallyra
