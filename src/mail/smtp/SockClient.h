#pragma once

// A TCP (or TLS) connection to a server that speaks in lines. Every wait runs a local event loop
// on the caller's thread, woken by the socket's own signals, so the windows stay live while a
// connection is made or a reply awaited; cancel() ends any wait at once. Failures are returned
// as false with errorString() set, never thrown.

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>

class QSslSocket;

namespace tallyra {

enum class MailSecurity
{
    None,     // plain TCP
    StartTls, // plain TCP upgraded by STARTTLS before the login
    SslTls,   // TLS from the first byte
};

class TSockClient : public QObject
{
    Q_OBJECT
public:
    // The longest reply line taken; a longer one ends the dialogue with an error.
    static constexpr int kMaxLineLength = 16384;
    // The time limit for each reply (and for each stretch of a write without progress).
    static constexpr int kDefaultReplyTimeOut = 60000;

    explicit TSockClient(QObject *parent = nullptr);
    ~TSockClient() override;

    QString Host;
    quint16 Port = 25;
    int TimeOut = 0;                         // host lookup and connect, ms; 0: no limit
    int ReplyTimeOut = kDefaultReplyTimeOut; // ms; 0: no limit
    MailSecurity Security = MailSecurity::None;
    // The SHA-256 digest of a certificate the user accepted for Host although the system does
    // not trust it; empty for none.
    QByteArray AcceptedCertificate;

    // Resolves Host and connects (with TLS for SslTls). On failure: errorString() is
    // "Null Remote Address" (host unknown), "Connection Timed out", "Connection Canceled",
    // "Connection Failed", "Already connected", or the refusal of an untrusted certificate.
    bool connectSocket();
    // Upgrades the open connection to TLS (after STARTTLS was accepted).
    bool startTls();
    void closeSocket();
    bool isConnected() const;
    bool isEncrypted() const;

    // Writes the bytes and waits until they are sent. Cancelled: "Socket send aborted".
    bool sendText(const QByteArray &bytes);
    bool sendLine(const QString &line) { return sendText(line.toUtf8() + "\r\n"); }
    // Waits for a whole line (up to its line feed, which is removed with the carriage return).
    // Cancelled: "Socket readln aborted".
    bool readLine(QString *line);
    // Reads one reply with its continuation lines ("250-..."); sets ReplyCode from the last line.
    // A reply that does not begin with three digits is refused.
    bool readReply(QStringList *lines);
    // Sends the command and reads its reply; *reply receives the reply's last line.
    bool exchange(const QString &command, QString *reply, QStringList *allLines = nullptr);

    int ReplyCode = 0;
    // The last reply line received, for the mail log.
    QString lastReply() const { return m_lastReply; }
    QString errorString() const { return m_error; }
    // Set when the last connect or upgrade failed on a certificate the system does not trust:
    // its SHA-256 digest, which the user may accept for Host.
    QByteArray untrustedCertificate() const { return m_untrustedDigest; }
    // Ends any wait at once; the operation waiting fails with its cancel message.
    void cancel();
    bool cancelRequested() const { return m_cancel; }

Q_SIGNALS:
    void status(const QString &text);
    void invalidHost();
    void connectionFailed();
    void connectedToServer();
    void disconnectedFromServer();
    void cancelled();

protected:
    bool fail(const QString &message);

private:
    enum class Wait
    {
        Done,
        TimedOut,
        Cancelled,
        Closed
    };
    Wait waitUntil(const std::function<bool()> &done, int timeOut);
    void takeAvailable();
    void noteSslErrors();

    QSslSocket *m_socket;
    QByteArray m_receive;
    QString m_error;
    QString m_lastReply;
    QString m_sslProblem;
    QByteArray m_untrustedDigest;
    bool m_cancel = false;
    bool m_sawError = false;
};

} // namespace tallyra
