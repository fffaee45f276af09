#include "SmtpClient.h"

#include <QHostInfo>

namespace tallyra {

namespace {

// Clears the busy flag however the operation ends.
struct BusyGuard
{
    explicit BusyGuard(bool &flag)
        : m_flag(flag)
        , m_was(flag)
    {
        flag = true;
    }
    ~BusyGuard() { m_flag = m_was; }
    bool &m_flag;
    bool m_was;
};

// The mechanisms after "AUTH" in the EHLO reply ("250-AUTH PLAIN LOGIN" or "250 AUTH=LOGIN").
QStringList authMechanisms(const QStringList &capabilities)
{
    QStringList mechanisms;
    for (const QString &line : capabilities) {
        const QString text = line.mid(4).trimmed();
        if (text.startsWith(QStringLiteral("AUTH"), Qt::CaseInsensitive) && text.size() > 4 &&
            (text.at(4) == QLatin1Char(' ') || text.at(4) == QLatin1Char('=')))
            mechanisms += text.mid(5).toUpper().split(QLatin1Char(' '), Qt::SkipEmptyParts);
    }
    return mechanisms;
}

bool offers(const QStringList &capabilities, const QString &keyword)
{
    for (const QString &line : capabilities) {
        if (line.mid(4).trimmed().section(QLatin1Char(' '), 0, 0).compare(keyword, Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

} // namespace

TSmtpClient::TSmtpClient(QObject *parent)
    : TSockClient(parent)
{
    Port = 25;
}

bool TSmtpClient::failClosing(const QString &message)
{
    if (isConnected()) {
        QString reply;
        exchange(QStringLiteral("QUIT"), &reply);
    }
    closeSocket();
    return fail(message);
}

bool TSmtpClient::checked(const QString &command, QString *reply, int limit)
{
    if (!exchange(command, reply))
        return false;
    if (ReplyCode >= limit)
        return fail(*reply);
    return true;
}

bool TSmtpClient::Connect()
{
    BusyGuard guard(m_busy);
    if (!connectSocket())
        return false;
    if (!greet()) {
        const QString message = errorString();
        return failClosing(message);
    }
    return true;
}

bool TSmtpClient::greet()
{
    QStringList lines;
    if (!readReply(&lines))
        return false;
    if (ReplyCode >= 400) {
        // A refusing server closes the connection itself (RFC 5321 4.2.2): no QUIT to wait for.
        closeSocket();
        return fail(lines.last());
    }

    const bool extended = !LoginUser.isEmpty() || Security == MailSecurity::StartTls;
    if (!extended) {
        QString reply;
        if (!exchange(QStringLiteral("HELO ") + UserID, &reply))
            return false;
        if (ReplyCode >= 300) {
            Q_EMIT authenticationFailed();
            return fail(QStringLiteral("Authentication failed"));
        }
        return true;
    }

    const QString name = UserID.isEmpty() ? QHostInfo::localHostName() : UserID;
    QString reply;
    QStringList capabilities;
    if (!exchange(QStringLiteral("EHLO ") + name, &reply, &capabilities))
        return false;
    if (ReplyCode >= 300)
        return fail(reply);
    if (Security == MailSecurity::StartTls) {
        if (!offers(capabilities, QStringLiteral("STARTTLS")))
            return fail(QStringLiteral("The mail server %1 does not offer STARTTLS.").arg(Host));
        if (!checked(QStringLiteral("STARTTLS"), &reply, 300))
            return false;
        if (!startTls())
            return false;
        // The capabilities before the upgrade no longer count (RFC 3207).
        if (!exchange(QStringLiteral("EHLO ") + name, &reply, &capabilities))
            return false;
        if (ReplyCode >= 300)
            return fail(reply);
    }
    return LoginUser.isEmpty() || login(capabilities);
}

bool TSmtpClient::login(const QStringList &capabilities)
{
    const QStringList mechanisms = authMechanisms(capabilities);
    QString reply;
    bool sent = false;
    if (mechanisms.contains(QStringLiteral("PLAIN"))) {
        const QByteArray token = QByteArray(1, '\0') + LoginUser.toUtf8() + '\0' + LoginPassword.toUtf8();
        if (!exchange(QStringLiteral("AUTH PLAIN ") + QString::fromLatin1(token.toBase64()), &reply))
            return false;
        sent = true;
    } else if (mechanisms.contains(QStringLiteral("LOGIN"))) {
        if (!exchange(QStringLiteral("AUTH LOGIN"), &reply))
            return false;
        if (ReplyCode == 334 && !exchange(QString::fromLatin1(LoginUser.toUtf8().toBase64()), &reply))
            return false;
        if (ReplyCode == 334 && !exchange(QString::fromLatin1(LoginPassword.toUtf8().toBase64()), &reply))
            return false;
        sent = true;
    }
    if (!sent)
        return fail(QStringLiteral("The mail server %1 offers no login this program knows (PLAIN or LOGIN).")
                        .arg(Host));
    if (ReplyCode == 235)
        return true;
    Q_EMIT authenticationFailed();
    return fail(QStringLiteral("Authentication failed"));
}

bool TSmtpClient::SendPost()
{
    if (m_busy)
        return fail(QStringLiteral("A message is being sent already."));
    BusyGuard guard(m_busy);
    m_refused.clear();
    m_acceptReply.clear();

    BuiltMessage built;
    BuildEvents events;
    events.encodeStart = [this](const QString &path) { Q_EMIT encodeStart(path); };
    events.encodeEnd = [this](const QString &path) { Q_EMIT encodeEnd(path); };
    events.attachmentNotFound = [this](const QString &path) { Q_EMIT attachmentNotFound(path); };
    QString error;
    if (!buildMessage(PostMessage, Encoding, QDateTime::currentDateTime(), &built, &error, events))
        return fail(error);
    FinalHeader = built.header;

    if (!isConnected())
        return fail(QStringLiteral("Not Connected"));
    if (PostMessage.FromAddress.trimmed().isEmpty() || !PostMessage.hasRecipient()) {
        Q_EMIT headerIncomplete(PostMessage.FromAddress.trimmed().isEmpty() ? 1 : 2);
        return fail(QStringLiteral("Incomplete Header"));
    }
    Q_EMIT sendStart();

    QString reply;
    if (!checked(QStringLiteral("RSET"), &reply, 400))
        return false;
    if (!checked(QStringLiteral("MAIL FROM:<") + PostMessage.FromAddress.trimmed() + QLatin1Char('>'), &reply,
                 400))
        return false;
    for (const QStringList *list :
         {&PostMessage.ToAddress, &PostMessage.ToCarbonCopy, &PostMessage.ToBlindCarbonCopy}) {
        for (const QString &entry : *list) {
            const QString address = recipientAddress(entry);
            if (address.isEmpty())
                continue;
            if (!exchange(QStringLiteral("RCPT TO:<") + address + QLatin1Char('>'), &reply))
                return false;
            if (ReplyCode >= 300) {
                m_refused << entry;
                Q_EMIT recipientNotFound(entry);
            }
        }
    }
    if (!checked(QStringLiteral("DATA"), &reply, 400))
        return false;
    // A server that does not ask for the text has not taken the command.
    if (ReplyCode < 300)
        return fail(reply);
    QByteArray data = FinalHeader.toBytes();
    data += "\r\n";
    data += built.body;
    if (!sendText(data))
        return false;
    if (!exchange(QStringLiteral("."), &reply))
        return false;
    if (ReplyCode >= 400 || ReplyCode < 200) {
        Q_EMIT failure();
        return fail(reply);
    }
    m_acceptReply = reply;
    if (ClearParams)
        ClearRecipients();
    Q_EMIT success();
    return true;
}

bool TSmtpClient::Disconnect()
{
    bool ok = true;
    if (isConnected()) {
        QString reply;
        ok = exchange(QStringLiteral("QUIT"), &reply);
        if (ok && ReplyCode > 339)
            ok = fail(reply);
    }
    closeSocket();
    return ok;
}

void TSmtpClient::Abort()
{
    if (cancelRequested() || !isConnected())
        return;
    if (m_busy)
        cancel();
    else
        closeSocket();
}

} // namespace tallyra
