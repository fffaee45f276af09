#include "SockClient.h"

#include <QCryptographicHash>
#include <QEventLoop>
#include <QSslCertificate>
#include <QSslSocket>
#include <QTimer>

namespace tallyra {

namespace {

// A hostile server could send continuation lines for ever; a real one sends a few dozen.
constexpr int kMaxReplyLines = 1000;

bool startsWithCode(const QString &line)
{
    return line.size() >= 3 && line.at(0).isDigit() && line.at(1).isDigit() && line.at(2).isDigit() &&
           line.at(0).unicode() < 0x80 && line.at(1).unicode() < 0x80 && line.at(2).unicode() < 0x80;
}

} // namespace

TSockClient::TSockClient(QObject *parent)
    : QObject(parent)
    , m_socket(new QSslSocket(this))
{
    connect(m_socket, &QSslSocket::readyRead, this, &TSockClient::takeAvailable);
    connect(m_socket, &QAbstractSocket::errorOccurred, this, [this](QAbstractSocket::SocketError) {
        m_sawError = true;
        takeAvailable();
    });
    connect(m_socket, &QSslSocket::sslErrors, this, [this](const QList<QSslError> &errors) {
        const QByteArray digest = m_socket->peerCertificate().digest(QCryptographicHash::Sha256);
        if (!AcceptedCertificate.isEmpty() && digest == AcceptedCertificate) {
            m_socket->ignoreSslErrors();
            return;
        }
        m_untrustedDigest = digest;
        m_sslProblem = errors.isEmpty() ? QString() : errors.first().errorString();
    });
}

TSockClient::~TSockClient()
{
    m_cancel = true;
    Q_EMIT cancelled();
    m_socket->abort();
}

bool TSockClient::fail(const QString &message)
{
    m_error = message;
    return false;
}

void TSockClient::takeAvailable()
{
    if (m_socket->bytesAvailable() > 0)
        m_receive += m_socket->readAll();
}

bool TSockClient::isConnected() const
{
    return m_socket->state() == QAbstractSocket::ConnectedState;
}

bool TSockClient::isEncrypted() const
{
    return m_socket->isEncrypted();
}

void TSockClient::cancel()
{
    m_cancel = true;
    Q_EMIT cancelled();
}

TSockClient::Wait TSockClient::waitUntil(const std::function<bool()> &done, int timeOut)
{
    auto closed = [this] { return m_sawError || m_socket->state() == QAbstractSocket::UnconnectedState; };
    takeAvailable();
    if (done())
        return Wait::Done;
    if (m_cancel)
        return Wait::Cancelled;
    if (closed())
        return Wait::Closed;

    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    Wait result = Wait::Done;
    auto check = [&] {
        takeAvailable();
        if (done())
            result = Wait::Done;
        else if (m_cancel)
            result = Wait::Cancelled;
        else if (closed())
            result = Wait::Closed;
        else
            return;
        loop.quit();
    };
    // Progress restarts the time limit: it bounds silence, not the length of a transfer.
    auto progress = [&] {
        if (timeOut > 0)
            timer.start(timeOut);
        check();
    };
    connect(m_socket, &QSslSocket::readyRead, &loop, progress);
    connect(m_socket, &QSslSocket::bytesWritten, &loop, progress);
    connect(m_socket, &QSslSocket::encryptedBytesWritten, &loop, progress);
    connect(m_socket, &QSslSocket::connected, &loop, check);
    connect(m_socket, &QSslSocket::encrypted, &loop, check);
    connect(m_socket, &QSslSocket::stateChanged, &loop, check);
    connect(m_socket, &QSslSocket::errorOccurred, &loop, check);
    connect(this, &TSockClient::cancelled, &loop, check);
    connect(&timer, &QTimer::timeout, &loop, [&] {
        result = Wait::TimedOut;
        loop.quit();
    });
    if (timeOut > 0)
        timer.start(timeOut);
    loop.exec();
    return result;
}

bool TSockClient::connectSocket()
{
    if (isConnected())
        return fail(QStringLiteral("Already connected"));
    m_socket->abort();
    m_cancel = false;
    m_sawError = false;
    m_receive.clear();
    m_untrustedDigest.clear();
    m_sslProblem.clear();
    if (Host.trimmed().isEmpty()) {
        Q_EMIT invalidHost();
        return fail(QStringLiteral("Null Remote Address"));
    }
    Q_EMIT status(QStringLiteral("Connecting to %1").arg(Host));
    const bool tls = Security == MailSecurity::SslTls;
    if (tls)
        m_socket->connectToHostEncrypted(Host, Port);
    else
        m_socket->connectToHost(Host, Port);
    const Wait w = waitUntil([&] { return tls ? m_socket->isEncrypted() : isConnected(); }, TimeOut);
    if (w == Wait::Done) {
        Q_EMIT connectedToServer();
        return true;
    }
    const QAbstractSocket::SocketError error = m_socket->error();
    const QString detail = m_socket->errorString();
    m_socket->abort();
    if (w == Wait::Closed && error == QAbstractSocket::HostNotFoundError) {
        Q_EMIT invalidHost();
        return fail(QStringLiteral("Null Remote Address"));
    }
    // An untrusted certificate is a question for the user, not a failed connection.
    if (!m_untrustedDigest.isEmpty())
        return fail(
            QStringLiteral("The mail server %1 presented a certificate that this system does not trust "
                           "(%2).")
                .arg(Host, m_sslProblem));
    Q_EMIT connectionFailed();
    if (w == Wait::TimedOut)
        return fail(QStringLiteral("Connection Timed out"));
    if (w == Wait::Cancelled)
        return fail(QStringLiteral("Connection Canceled"));
    return fail(QStringLiteral("Connection Failed") +
                (detail.isEmpty() ? QString() : QStringLiteral(": ") + detail));
}

bool TSockClient::startTls()
{
    m_untrustedDigest.clear();
    m_sslProblem.clear();
    m_socket->startClientEncryption();
    const Wait w = waitUntil([&] { return m_socket->isEncrypted(); }, ReplyTimeOut);
    if (w == Wait::Done)
        return true;
    const QString detail = m_socket->errorString();
    m_socket->abort();
    if (!m_untrustedDigest.isEmpty())
        return fail(
            QStringLiteral("The mail server %1 presented a certificate that this system does not trust "
                           "(%2).")
                .arg(Host, m_sslProblem));
    if (w == Wait::Cancelled)
        return fail(QStringLiteral("Connection Canceled"));
    if (w == Wait::TimedOut)
        return fail(QStringLiteral("The secure connection to %1 timed out.").arg(Host));
    return fail(QStringLiteral("The secure connection to %1 could not be made: %2").arg(Host, detail));
}

void TSockClient::closeSocket()
{
    const bool wasOpen = m_socket->state() != QAbstractSocket::UnconnectedState;
    m_socket->abort();
    m_receive.clear();
    if (wasOpen)
        Q_EMIT disconnectedFromServer();
}

bool TSockClient::sendText(const QByteArray &bytes)
{
    if (!isConnected())
        return fail(QStringLiteral("Not Connected"));
    if (m_cancel)
        return fail(QStringLiteral("Socket send aborted"));
    m_socket->write(bytes);
    const Wait w =
        waitUntil([&] { return m_socket->bytesToWrite() == 0 && m_socket->encryptedBytesToWrite() == 0; },
                  ReplyTimeOut);
    switch (w) {
    case Wait::Done:
        return true;
    case Wait::Cancelled:
        m_socket->abort();
        return fail(QStringLiteral("Socket send aborted"));
    case Wait::TimedOut:
        m_socket->abort();
        return fail(
            QStringLiteral("The server %1 took nothing for %2 seconds.").arg(Host).arg(ReplyTimeOut / 1000));
    case Wait::Closed:
        break;
    }
    return fail(QStringLiteral("The server %1 closed the connection.").arg(Host));
}

bool TSockClient::readLine(QString *line)
{
    const Wait w = waitUntil([&] { return m_receive.contains('\n') || m_receive.size() > kMaxLineLength; },
                             ReplyTimeOut);
    const qsizetype end = m_receive.indexOf('\n');
    if ((end < 0 && m_receive.size() > kMaxLineLength) || end > kMaxLineLength) {
        m_socket->abort();
        m_receive.clear();
        return fail(QStringLiteral("The server %1 sent a reply line longer than %2 characters.")
                        .arg(Host)
                        .arg(kMaxLineLength));
    }
    if (end >= 0) {
        QByteArray bytes = m_receive.left(end + 1);
        m_receive.remove(0, end + 1);
        while (bytes.endsWith('\n') || bytes.endsWith('\r'))
            bytes.chop(1);
        *line = QString::fromUtf8(bytes);
        return true;
    }
    switch (w) {
    case Wait::Cancelled:
        m_socket->abort();
        return fail(QStringLiteral("Socket readln aborted"));
    case Wait::TimedOut:
        m_socket->abort();
        return fail(QStringLiteral("The server %1 did not answer within %2 seconds.")
                        .arg(Host)
                        .arg(ReplyTimeOut / 1000));
    case Wait::Done:
    case Wait::Closed:
        break;
    }
    const bool partial = !m_receive.isEmpty();
    m_receive.clear();
    return fail(
        partial ? QStringLiteral("The server %1 closed the connection in the middle of a reply.").arg(Host)
                : QStringLiteral("The server %1 closed the connection.").arg(Host));
}

bool TSockClient::readReply(QStringList *lines)
{
    lines->clear();
    QString line;
    for (;;) {
        if (!readLine(&line))
            return false;
        lines->append(line);
        m_lastReply = line;
        Q_EMIT status(line);
        const bool more =
            (line.size() >= 4 && line.at(3) == QLatin1Char('-')) || line.startsWith(QLatin1Char(' '));
        if (!more)
            break;
        if (lines->size() >= kMaxReplyLines) {
            closeSocket();
            return fail(QStringLiteral("The server %1 sent a reply of more than %2 lines.")
                            .arg(Host)
                            .arg(kMaxReplyLines));
        }
    }
    if (!startsWithCode(line)) {
        closeSocket();
        return fail(
            QStringLiteral("The reply of the server %1 is not understood: %2").arg(Host, line.left(200)));
    }
    qsizetype digits = 0;
    while (digits < line.size() && digits < 9 && line.at(digits).isDigit())
        ++digits;
    ReplyCode = line.left(digits).toInt();
    return true;
}

bool TSockClient::exchange(const QString &command, QString *reply, QStringList *allLines)
{
    ReplyCode = 0;
    if (!sendLine(command))
        return false;
    QStringList lines;
    if (!readReply(&lines))
        return false;
    *reply = lines.last();
    if (allLines)
        *allLines = lines;
    return true;
}

} // namespace tallyra
