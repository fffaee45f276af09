#pragma once

// The message a client sends, and its assembly into the header lines and the body that follow
// the DATA command: RFC 5322 headers with MIME 1.0, a plain-text body, and a multipart/mixed
// body when files are attached.

#include "AttachEncoder.h"
#include "HeaderList.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>
#include <functional>

namespace tallyra {

// A file attached from memory (a document's PDF made for the message).
struct MemoryAttachment
{
    QString name; // the file name the receiver sees
    QByteArray data;
};

struct TPostMessage
{
    QString FromAddress;   // "MAIL FROM:<...>" and the From header
    QString FromName;      // display name of the From header
    QStringList ToAddress; // each entry a bare address, "Name <addr>" or "prefix:addr"
    QStringList ToCarbonCopy;
    QStringList ToBlindCarbonCopy;             // never written into a header
    QStringList Body;                          // the text, one line per entry
    QStringList Attachments;                   // full paths of files to attach
    QList<MemoryAttachment> MemoryAttachments; // attached after the files
    QString Subject;
    QString LocalProgram; // the X-Mailer header
    QString Date;         // the Date header; empty: the time of assembly
    QString ReplyTo;

    // Empties the recipients and the attachments; body, subject and sender stay.
    void clearRecipients();
    bool hasRecipient() const;
};

// The address of a recipient entry: the text inside the first "<...>" when it holds "<";
// otherwise, when it holds ":", the text after the first ":" up to the next ":"; otherwise the
// entry. Trimmed; empty means the entry is skipped.
QString recipientAddress(const QString &entry);

// "=?UTF-8?B?...?=" words for text that is not plain ASCII (RFC 2047), the text itself otherwise.
QString encodeHeaderText(const QString &text);
// The Date header's value for a moment: "Tue, 08 Dec 2026 13:45:02 +0000".
QString rfc5322Date(const QDateTime &moment);
// The boundary of a multipart message made at `time`: "====================54535", the time in
// the system's long time format (characters a boundary may not hold become "_") and "====".
QString makeBoundary(const QTime &time);
// Lines beginning with "." get another "." in front (transparency of the DATA stage).
QByteArray dotStuffed(const QByteArray &lines);

struct BuiltMessage
{
    THeaderList header; // the header lines in their order
    QByteArray body;    // the body lines, each ended by CR LF, dot-stuffed
    QString boundary;   // empty without attachments
};

struct BuildEvents
{
    std::function<void(const QString &path)> encodeStart;
    std::function<void(const QString &path)> encodeEnd;
    std::function<void(const QString &path)> attachmentNotFound;
};

// Assembles the message. False only when an attached file cannot be read: *error then names it.
// Header order: From, To, CC, Subject, X-Mailer, Reply-To, Date, Message-ID, Mime-Version,
// Content-Type and, for text that is not plain ASCII, Content-Transfer-Encoding.
bool buildMessage(const TPostMessage &message, EncodeType encodeType, const QDateTime &now, BuiltMessage *out,
                  QString *error, const BuildEvents &events = {});

} // namespace tallyra
