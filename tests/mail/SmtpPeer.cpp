#include "SmtpPeer.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTcpServer>

QStringList jsonStrings(const QJsonValue &array)
{
    QStringList list;
    for (const QJsonValue &v : array.toArray())
        list << v.toString();
    return list;
}

quint16 closedLoopbackPort()
{
    QTcpServer probe;
    return probe.listen(QHostAddress::LocalHost, 0) ? probe.serverPort() : 0;
}

bool makeCertificate(const QString &dir, QString *failure)
{
    QProcess openssl;
    openssl.start(QStringLiteral("openssl"),
                  {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj", "/CN=localhost",
                   "-addext", "subjectAltName=DNS:localhost,IP:127.0.0.1", "-keyout", dir + "/key.pem",
                   "-out", dir + "/cert.pem"});
    if (!openssl.waitForFinished(60000) || openssl.exitCode() != 0) {
        *failure =
            QStringLiteral("openssl failed: ") + QString::fromLocal8Bit(openssl.readAllStandardError());
        return false;
    }
    return true;
}

SmtpPeer::SmtpPeer(const Options &options)
{
    QDir(m_dir.path()).mkdir(QStringLiteral("out"));
    QStringList args{QStringLiteral(TALLYRA_MAIL_TEST_DIR "/smtp_server.py"), QStringLiteral("--dir"),
                     m_dir.filePath(QStringLiteral("out"))};
    if (options.startTls) {
        if (!makeCertificate(m_dir.path(), &m_failure))
            return;
        args << QStringLiteral("--tls") << certificatePath() << m_dir.filePath(QStringLiteral("key.pem"));
    }
    if (!options.login.isEmpty())
        args << QStringLiteral("--auth") << options.login;
    for (const QString &m : options.excludedLogins)
        args << QStringLiteral("--exclude") << m;
    m_process.setProcessChannelMode(QProcess::SeparateChannels);
    m_process.start(QStringLiteral("/usr/bin/python3"), args);
    if (!m_process.waitForStarted(20000)) {
        m_failure = QStringLiteral("python3 did not start");
        return;
    }
    QByteArray out;
    while (!out.contains('\n') && m_process.waitForReadyRead(30000))
        out += m_process.readAllStandardOutput();
    if (!out.startsWith("PORT ")) {
        m_failure = QStringLiteral("the SMTP server did not start: ") + QString::fromLocal8Bit(out) +
                    QString::fromLocal8Bit(m_process.readAllStandardError());
        return;
    }
    m_port = quint16(out.mid(5).trimmed().toUInt());
}

SmtpPeer::~SmtpPeer()
{
    m_process.closeWriteChannel();
    if (!m_process.waitForFinished(10000))
        m_process.kill();
    m_process.waitForFinished(5000);
}

QList<QJsonObject> SmtpPeer::messages() const
{
    QList<QJsonObject> list;
    const QDir out(m_dir.filePath(QStringLiteral("out")));
    for (const QString &name : out.entryList({QStringLiteral("*.json")}, QDir::Files, QDir::Name)) {
        QFile f(out.filePath(name));
        if (f.open(QIODevice::ReadOnly))
            list << QJsonDocument::fromJson(f.readAll()).object();
    }
    return list;
}
