#pragma once

// The SMTP dialogue: greeting, HELO (or EHLO with STARTTLS and a login when the settings ask for
// them), RSET, MAIL FROM, RCPT TO for every recipient, DATA, the message, ".", QUIT.
// Calling order: fill Host, UserID and PostMessage, then Connect(), SendPost(), Disconnect(),
// ClearRecipients(). Each returns false on failure with errorString() set to the message that
// ends the operation asking for the mail.

#include "PostMessage.h"
#include "SockClient.h"

namespace tallyra {

enum class MailSubType
{
    mtPlain,
    mtEnriched,
    mtSgml,
    mtTabSeparated,
    mtHtml,
};

class TSmtpClient : public TSockClient
{
    Q_OBJECT
public:
    explicit TSmtpClient(QObject *parent = nullptr);

    QString UserID;    // the argument of HELO (and of EHLO when given)
    QString LoginUser; // with a name here the client logs in (AUTH PLAIN or LOGIN)
    QString LoginPassword;
    TPostMessage PostMessage;
    THeaderList FinalHeader; // the header lines of the last message built
    EncodeType Encoding = EncodeType::uuMime;
    bool ClearParams = true;
    MailSubType SubType = MailSubType::mtPlain; // kept for callers; does not change what is sent

    // Connects, reads the greeting (a code of 400 or more fails with the greeting line), greets
    // and, when asked, upgrades and logs in. A refused greeting or login fails with
    // "Authentication failed" after authenticationFailed(). On any failure the connection is
    // closed (after QUIT when it is still open).
    bool Connect();
    // Builds and sends PostMessage. Fails with "Not Connected", "Incomplete Header", the reply
    // line of a refused RSET, MAIL FROM, DATA or "." (the last after failure()), or the file
    // error of an attachment. Refused recipients are skipped after recipientNotFound().
    bool SendPost();
    // QUIT, then close. A QUIT reply above 339 fails with the reply line; the socket is closed
    // in every case.
    bool Disconnect();
    // Ends a running transfer (the waiting operation fails with its cancel message) or, when
    // idle, closes the connection.
    void Abort();
    void ClearRecipients() { PostMessage.clearRecipients(); }

    bool busy() const { return m_busy; }
    // The recipients the server refused during the last SendPost.
    QStringList refusedRecipients() const { return m_refused; }
    // The server's answer to the end of the last message ("250 OK queued as ...").
    QString acceptReply() const { return m_acceptReply; }

Q_SIGNALS:
    void authenticationFailed();
    void failure();
    void recipientNotFound(const QString &recipient);
    void headerIncomplete(int kind); // 1 no sender address, 2 no recipient
    void sendStart();
    void success();
    void encodeStart(const QString &path);
    void encodeEnd(const QString &path);
    void attachmentNotFound(const QString &path);

private:
    bool greet();
    bool login(const QStringList &capabilities);
    bool failClosing(const QString &message);
    bool checked(const QString &command, QString *reply, int limit);

    bool m_busy = false;
    QStringList m_refused;
    QString m_acceptReply;
};

} // namespace tallyra
