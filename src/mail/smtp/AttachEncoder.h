#pragma once

// Encoding an attached file into the lines of a message body.

#include <QByteArray>
#include <QString>

namespace tallyra {

enum class EncodeType
{
    uuMime, // RFC 2045 Base64: 60 characters for every 45 bytes, "=" padding
    uuCode, // the uuencode alphabet ("`", then "!" to "_"), a length character per line
};

class TAttachEncoder
{
public:
    explicit TAttachEncoder(EncodeType method = EncodeType::uuMime)
        : m_method(method)
    {}

    EncodeType method() const { return m_method; }

    // The encoded form of `data`: one line ended by carriage return and line feed for every 45
    // bytes (the last line for the rest). uuMime pads the last group with "=" and gives nothing
    // for no data; uuCode gives its last group 2 or 3 characters without padding and always ends
    // with a line holding only "`".
    QByteArray encode(const QByteArray &data) const;

    // Reads the file whole and encodes it. False when it cannot be read; *error then names the
    // file and the reason.
    bool encodeFile(const QString &path, QByteArray *out, QString *error) const;

private:
    QByteArray encodeMimeLine(const char *data, int size) const;
    QByteArray encodeUuLine(const char *data, int size) const;

    EncodeType m_method;
};

} // namespace tallyra
