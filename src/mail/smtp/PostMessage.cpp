#include "PostMessage.h"

#include <QFileInfo>
#include <QLocale>
#include <QRandomGenerator>
#include <QRegularExpression>

namespace tallyra {

namespace {

const QString kTextType = QStringLiteral("Content-Type: text/plain;") + QString(24, QLatin1Char(' '));

bool isAscii(const QString &text)
{
    for (const QChar c : text) {
        if (c.unicode() > 0x7e || (c.unicode() < 0x20 && c != QLatin1Char('\t')))
            return false;
    }
    return true;
}

// The body as lines: entries holding line breaks of their own give several lines, so no bare
// carriage return or line feed reaches the server.
QStringList bodyLines(const QStringList &body)
{
    static const QRegularExpression breaks(QStringLiteral("\r\n|\r|\n"));
    QStringList lines;
    for (const QString &entry : body)
        lines += entry.split(breaks);
    return lines;
}

// One line as quoted-printable (RFC 2045), with soft breaks keeping lines within 76 characters.
QByteArray quotedPrintableLine(const QByteArray &utf8)
{
    static const char hex[] = "0123456789ABCDEF";
    QByteArray out;
    int column = 0;
    auto put = [&](const QByteArray &piece) {
        if (column + piece.size() > 75) {
            out += "=\r\n";
            column = 0;
        }
        out += piece;
        column += int(piece.size());
    };
    for (qsizetype i = 0; i < utf8.size(); ++i) {
        const quint8 c = quint8(utf8.at(i));
        const bool last = i == utf8.size() - 1;
        if ((c >= 33 && c <= 126 && c != '=') || ((c == ' ' || c == '\t') && !last))
            put(QByteArray(1, char(c)));
        else
            put(QByteArray{"=", 1} + hex[c >> 4] + hex[c & 0x0f]);
    }
    out += "\r\n";
    return out;
}

bool needsTransferEncoding(const QStringList &lines)
{
    for (const QString &line : lines) {
        if (!isAscii(line) || line.size() > 998)
            return true;
    }
    return false;
}

QByteArray encodeBody(const QStringList &lines, bool quotedPrintable)
{
    QByteArray out;
    for (const QString &line : lines) {
        if (quotedPrintable) {
            out += quotedPrintableLine(line.toUtf8());
        } else {
            out += line.toLatin1();
            out += "\r\n";
        }
    }
    return out;
}

// An address header entry: kept as entered when plain ASCII; otherwise its display name becomes
// an encoded word and the address stays readable.
QString headerEntry(const QString &entry)
{
    if (isAscii(entry))
        return entry;
    const qsizetype lt = entry.indexOf(QLatin1Char('<'));
    if (lt < 0)
        return entry; // an address without a display name: nothing to encode
    QString name = entry.left(lt).trimmed();
    if (name.size() >= 2 && name.startsWith(QLatin1Char('"')) && name.endsWith(QLatin1Char('"')))
        name = name.mid(1, name.size() - 2);
    return encodeHeaderText(name) + QLatin1Char(' ') + entry.mid(lt);
}

// A display name as a phrase: an encoded word when not ASCII, quoted when it holds characters
// that would split or end the address.
QString displayName(const QString &name)
{
    if (!isAscii(name))
        return encodeHeaderText(name);
    static const QRegularExpression specials(QStringLiteral("[,;:<>@()\\[\\]\\\\\"]"));
    if (name.contains(specials)) {
        QString quoted = name;
        quoted.replace(QLatin1Char('\\'), QStringLiteral("\\\\"))
            .replace(QLatin1Char('"'), QStringLiteral("\\\""));
        return QLatin1Char('"') + quoted + QLatin1Char('"');
    }
    return name;
}

QString attachmentName(const QString &name)
{
    QString clean = name;
    clean.remove(QLatin1Char('"'))
        .remove(QLatin1Char('\\'))
        .remove(QLatin1Char('\r'))
        .remove(QLatin1Char('\n'));
    return isAscii(clean) ? clean : encodeHeaderText(clean);
}

QByteArray attachmentHeader(const QString &boundary, const QString &name)
{
    const QString n = attachmentName(name);
    QString h;
    h += QStringLiteral("--") + boundary + QStringLiteral("\r\n");
    h += QStringLiteral("Content-Type: application/octet-stream;") + QString(10, QLatin1Char(' ')) +
         QStringLiteral("name=\"") + n + QStringLiteral("\"\r\n");
    h += QStringLiteral("Content-Transfer-Encoding: base64\r\n");
    h += QStringLiteral("Content-Disposition: attachment;") + QString(17, QLatin1Char(' ')) +
         QStringLiteral("filename=\"") + n + QStringLiteral("\"\r\n\r\n");
    return h.toLatin1();
}

QString messageId(const QString &fromAddress, const QDateTime &now)
{
    QString domain = fromAddress.section(QLatin1Char('@'), 1).trimmed();
    if (domain.isEmpty() || !isAscii(domain))
        domain = QStringLiteral("tallyra.invalid");
    return QStringLiteral("<%1.%2@%3>")
        .arg(now.toMSecsSinceEpoch())
        .arg(QRandomGenerator::global()->generate64(), 0, 36)
        .arg(domain);
}

} // namespace

void TPostMessage::clearRecipients()
{
    ToAddress.clear();
    ToCarbonCopy.clear();
    ToBlindCarbonCopy.clear();
    Attachments.clear();
    MemoryAttachments.clear();
}

bool TPostMessage::hasRecipient() const
{
    for (const QStringList *list : {&ToAddress, &ToCarbonCopy, &ToBlindCarbonCopy}) {
        for (const QString &entry : *list) {
            if (!recipientAddress(entry).isEmpty())
                return true;
        }
    }
    return false;
}

QString recipientAddress(const QString &entry)
{
    const qsizetype lt = entry.indexOf(QLatin1Char('<'));
    if (lt >= 0) {
        const qsizetype gt = entry.indexOf(QLatin1Char('>'), lt + 1);
        return entry.mid(lt + 1, gt < 0 ? -1 : gt - lt - 1).trimmed();
    }
    const qsizetype colon = entry.indexOf(QLatin1Char(':'));
    if (colon >= 0) {
        const qsizetype next = entry.indexOf(QLatin1Char(':'), colon + 1);
        return entry.mid(colon + 1, next < 0 ? -1 : next - colon - 1).trimmed();
    }
    return entry.trimmed();
}

QString encodeHeaderText(const QString &text)
{
    if (isAscii(text))
        return text;
    // Encoded words hold at most 75 characters: 45 bytes of UTF-8 each, cut between characters.
    QStringList words;
    QString piece;
    for (qsizetype i = 0; i < text.size(); ++i) {
        QString next = text.at(i);
        if (text.at(i).isHighSurrogate() && i + 1 < text.size())
            next += text.at(++i);
        if ((piece + next).toUtf8().size() > 45) {
            words << piece;
            piece.clear();
        }
        piece += next;
    }
    if (!piece.isEmpty())
        words << piece;
    QStringList encoded;
    for (const QString &w : words)
        encoded << QStringLiteral("=?UTF-8?B?") + QString::fromLatin1(w.toUtf8().toBase64()) +
                       QStringLiteral("?=");
    return encoded.join(QLatin1Char(' '));
}

QString rfc5322Date(const QDateTime &moment)
{
    const QLocale c = QLocale::c();
    const int offset = moment.offsetFromUtc() / 60;
    const int a = qAbs(offset);
    return c.toString(moment, QStringLiteral("ddd, dd MMM yyyy hh:mm:ss ")) +
           QString::asprintf("%c%02d%02d", offset < 0 ? '-' : '+', a / 60, a % 60);
}

QString makeBoundary(const QTime &time)
{
    QString t = QLocale::system().toString(time, QLocale::LongFormat);
    static const QString allowed = QStringLiteral("'()+_,-./:=? ");
    for (QChar &c : t) {
        const bool ok = c.unicode() < 0x80 && (c.isLetterOrNumber() || allowed.contains(c));
        if (!ok)
            c = QLatin1Char('_');
    }
    return QStringLiteral("====================54535") + t + QStringLiteral("====");
}

QByteArray dotStuffed(const QByteArray &lines)
{
    QByteArray out;
    out.reserve(lines.size() + 16);
    bool lineStart = true;
    for (const char c : lines) {
        if (lineStart && c == '.')
            out += '.';
        out += c;
        lineStart = c == '\n';
    }
    return out;
}

bool buildMessage(const TPostMessage &m, EncodeType encodeType, const QDateTime &now, BuiltMessage *out,
                  QString *error, const BuildEvents &events)
{
    THeaderList &h = out->header;
    h.clear();
    h.append(QStringLiteral("From: ") + displayName(m.FromName) + QLatin1Char('<') + m.FromAddress +
             QLatin1Char('>'));
    auto entries = [](const QStringList &list) {
        QStringList e;
        for (const QString &entry : list)
            e << headerEntry(entry);
        return e.join(QLatin1Char(','));
    };
    if (!m.ToAddress.isEmpty())
        h.append(QStringLiteral("To: ") + entries(m.ToAddress));
    if (!m.ToCarbonCopy.isEmpty())
        h.append(QStringLiteral("CC: ") + entries(m.ToCarbonCopy));
    h.setValue(QStringLiteral("Subject"), encodeHeaderText(m.Subject));
    h.setValue(QStringLiteral("X-Mailer"), encodeHeaderText(m.LocalProgram));
    h.setValue(QStringLiteral("Reply-To"), m.ReplyTo);
    // Every message carries a date (RFC 5322 requires one) and an identifier.
    h.setValue(QStringLiteral("Date"), m.Date.isEmpty() ? rfc5322Date(now) : m.Date);
    h.setValue(QStringLiteral("Message-ID"), messageId(m.FromAddress, now));
    h.append(QStringLiteral("Mime-Version: 1.0"));

    const QStringList lines = bodyLines(m.Body);
    const bool qp = needsTransferEncoding(lines);
    const QString textType =
        kTextType + (qp ? QStringLiteral("charset=utf-8") : QStringLiteral("charset=us-ascii"));
    const QString qpHeader = QStringLiteral("Content-Transfer-Encoding: quoted-printable");
    const QByteArray text = encodeBody(lines, qp);

    QByteArray body;
    if (m.Attachments.isEmpty() && m.MemoryAttachments.isEmpty()) {
        out->boundary.clear();
        h.append(textType);
        if (qp)
            h.append(qpHeader);
        body = text;
    } else {
        QString boundary = makeBoundary(now.time());
        while (text.contains(boundary.toLatin1()))
            boundary.insert(boundary.size() - 4, QLatin1Char('='));
        out->boundary = boundary;
        h.append(QStringLiteral("Content-Type: multipart/mixed;") + QString(19, QLatin1Char(' ')) +
                 QStringLiteral("boundary=\"") + boundary + QLatin1Char('"'));
        body += (QStringLiteral("--") + boundary + QStringLiteral("\r\n") + textType + QStringLiteral("\r\n"))
                    .toLatin1();
        if (qp)
            body += (qpHeader + QStringLiteral("\r\n")).toLatin1();
        body += "\r\n";
        body += text;
        const TAttachEncoder encoder(encodeType);
        for (const QString &path : m.Attachments) {
            if (events.encodeStart)
                events.encodeStart(path);
            QByteArray encoded;
            if (!encoder.encodeFile(path, &encoded, error)) {
                if (events.attachmentNotFound)
                    events.attachmentNotFound(path);
                return false;
            }
            body += attachmentHeader(boundary, QFileInfo(path).fileName());
            body += encoded;
            if (events.encodeEnd)
                events.encodeEnd(path);
        }
        for (const MemoryAttachment &a : m.MemoryAttachments) {
            body += attachmentHeader(boundary, a.name);
            body += encoder.encode(a.data);
        }
        body += (QStringLiteral("--") + boundary + QStringLiteral("--\r\n")).toLatin1();
    }
    out->body = dotStuffed(body);
    return true;
}

} // namespace tallyra
