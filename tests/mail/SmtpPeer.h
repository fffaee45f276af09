#pragma once

// The real SMTP server of the mail tests: Debian's aiosmtpd on a free loopback port, started by
// the test (tests/mail/smtp_server.py), with STARTTLS on a certificate made at test time and a
// login when asked. Each message received is read back as Python's email package parses it.

#include <QJsonObject>
#include <QJsonValue>
#include <QList>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

class SmtpPeer
{
public:
    struct Options
    {
        bool startTls = false;
        QString login;              // "user:password"; empty for no login
        QStringList excludedLogins; // "PLAIN" to offer only LOGIN
    };

    explicit SmtpPeer(const Options &options);
    ~SmtpPeer();

    bool started() const { return m_port > 0; }
    QString failure() const { return m_failure; }
    quint16 port() const { return m_port; }
    QString certificatePath() const { return m_dir.filePath(QStringLiteral("cert.pem")); }
    // Every message received so far, in order.
    QList<QJsonObject> messages() const;

private:
    QTemporaryDir m_dir;
    QProcess m_process;
    quint16 m_port = 0;
    QString m_failure;
};

// The strings of a JSON array, in order (the recipients or header names of a received message).
QStringList jsonStrings(const QJsonValue &array);

// A loopback port nothing listens on: one just given up.
quint16 closedLoopbackPort();

// Makes a self-signed certificate for "localhost" and 127.0.0.1 in dir (cert.pem, key.pem).
bool makeCertificate(const QString &dir, QString *failure);
