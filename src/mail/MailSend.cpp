#include "MailSend.h"

#include <QDateTime>
#include <QDir>
#include <QFile>

namespace tallyra {

MailAccount mailAccount(const SettingsRecord &settings, const MailServerSettings &server,
                        const QString &password, const QString &dataDir)
{
    MailAccount a;
    a.host = settings.MailHost.trimmed();
    a.userId = settings.MailID.trimmed();
    a.fromAddress = settings.MailAddr.trimmed();
    a.fromName = settings.MailName.trimmed();
    a.replyTo = settings.MailReply.trimmed();
    a.server = server;
    a.password = password;
    a.dataDir = dataDir;
    return a;
}

QString mailtoEscape(const QString &text)
{
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        if (c == QLatin1Char('&') || c == QLatin1Char('?') || c == QLatin1Char('=') || c == QLatin1Char('%'))
            out += QLatin1Char('_');
        else if (c == QLatin1Char('\n'))
            out += QStringLiteral("%0A");
        else
            out += c;
    }
    return out;
}

QString mailtoLink(const QString &recipient, const QString &subject, const QString &text)
{
    return QStringLiteral("mailto:") + recipient.trimmed() + QStringLiteral("?subject=") +
           mailtoEscape(subject) + QStringLiteral("&body=") + mailtoEscape(text);
}

void prepareClient(TSmtpClient &client, const MailAccount &account, const OutgoingMail &mail)
{
    client.Host = account.host;
    client.Port = quint16(account.server.port);
    client.Security = account.server.security;
    client.AcceptedCertificate = account.server.acceptedFor(account.host);
    client.UserID = account.userId;
    client.LoginUser = account.server.loginUser;
    client.LoginPassword = account.password;
    TPostMessage &m = client.PostMessage;
    m.FromAddress = account.fromAddress;
    m.FromName = account.fromName;
    m.clearRecipients();
    m.ToAddress = mail.recipients;
    m.ReplyTo = account.replyTo;
    m.Body.clear();
    QString text = mail.text;
    text.remove(QLatin1Char('\r'));
    if (text.endsWith(QLatin1Char('\n')))
        text.chop(1); // a last line break ends the last line; it starts no empty one
    if (!text.isEmpty())
        m.Body = text.split(QLatin1Char('\n'));
    m.Subject = mail.subject.trimmed();
    m.LocalProgram = QLatin1String(kLocalProgram);
    m.MemoryAttachments = mail.attachments;
}

bool sendThroughServer(TSmtpClient &client, const MailAccount &account, const OutgoingMail &mail,
                       QString *error)
{
    prepareClient(client, account, mail);
    const bool sent = client.Connect() && client.SendPost();
    QString failure = sent ? QString() : client.errorString();
    const QString reply = client.lastReply();
    if (sent) {
        // A QUIT refused after the message was taken does not unsend it; it still ends the run.
        if (!client.Disconnect())
            failure = client.errorString();
    } else {
        client.closeSocket();
    }
    client.ClearRecipients();
    if (!account.dataDir.isEmpty())
        appendMailLog(account.dataDir, mail.recipients, mail.subject.trimmed(), sent, sent ? reply : failure);
    if (!failure.isEmpty())
        *error = failure;
    return failure.isEmpty();
}

void appendMailLog(const QString &dataDir, const QStringList &recipients, const QString &subject, bool sent,
                   const QString &reply)
{
    QFile log(QDir(dataDir).filePath(QStringLiteral("mail.log")));
    if (!log.open(QIODevice::WriteOnly | QIODevice::Append))
        return; // the log never stops the mail
    auto clean = [](QString s) {
        return s.replace(QLatin1Char('\t'), QLatin1Char(' ')).replace(QLatin1Char('\n'), QLatin1Char(' '));
    };
    const QString line = QDateTime::currentDateTime().toString(Qt::ISODate) + QLatin1Char('\t') +
                         clean(recipients.join(QLatin1Char(','))) + QLatin1Char('\t') + clean(subject) +
                         QLatin1Char('\t') + (sent ? QStringLiteral("sent") : QStringLiteral("not sent")) +
                         QLatin1Char('\t') + clean(reply) + QLatin1Char('\n');
    log.write(line.toUtf8());
}

} // namespace tallyra
