#include "EMailU.h"

#include "EnterMovesFocus.h"
#include "Prompt.h"
#include "SendStatusU.h"

#include <QComboBox>
#include <QDesktopServices>
#include <QFontMetrics>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QUrl>

namespace tallyra {

namespace {

std::function<void(const QString &)> &mailtoOpener()
{
    static std::function<void(const QString &)> opener;
    return opener;
}

void openMailto(QWidget *, const QString &link)
{
    if (mailtoOpener()) {
        mailtoOpener()(link);
        return;
    }
    // The result of the hand-over is not used: the desktop reports its own failures.
    QDesktopServices::openUrl(QUrl(link, QUrl::TolerantMode));
}

} // namespace

void TEMailF::setMailtoOpener(std::function<void(const QString &)> opener)
{
    mailtoOpener() = std::move(opener);
}

TEMailF::TEMailF(db::Engine &engine, QWidget *parent)
    : QDialog(parent)
    , m_engine(engine)
    , m_client(new TSmtpClient(this))
{
    setObjectName(QStringLiteral("emailDialog"));
    setWindowTitle(QStringLiteral("Email"));

    m_to = new QComboBox(this);
    m_to->setObjectName(QStringLiteral("toComboBox"));
    m_to->setEditable(false);
    m_subject = new QLineEdit(this);
    m_subject->setObjectName(QStringLiteral("subjectEdit"));
    m_text = new QPlainTextEdit(this);
    m_text->setObjectName(QStringLiteral("messageEdit"));
    m_text->setLineWrapMode(QPlainTextEdit::NoWrap);
    // Tab types a tab here; Ctrl+Tab (Ctrl+Shift+Tab) leaves the box.
    m_text->setTabChangesFocus(false);
    m_text->installEventFilter(this);
    const QFontMetrics fm(m_text->font());
    // A document's text is 80 columns wide; show it whole.
    m_text->setMinimumSize(fm.horizontalAdvance(QString(82, QLatin1Char('0'))), fm.lineSpacing() * 16);
    m_to->setMinimumWidth(fm.horizontalAdvance(QString(40, QLatin1Char('m'))));

    m_send = new QPushButton(QStringLiteral("Send"), this);
    m_send->setObjectName(QStringLiteral("sendButton"));
    m_cancel = new QPushButton(QStringLiteral("Cancel"), this);
    m_cancel->setObjectName(QStringLiteral("cancelButton"));
    // Enter on a focused button presses it; entry boxes keep Enter for moving on.
    for (QPushButton *b : {m_send, m_cancel})
        b->setAutoDefault(true);

    auto *grid = new QGridLayout;
    auto *toLabel = new QLabel(QStringLiteral("To:"), this);
    toLabel->setBuddy(m_to);
    auto *subjectLabel = new QLabel(QStringLiteral("Subject:"), this);
    subjectLabel->setBuddy(m_subject);
    grid->addWidget(toLabel, 0, 0);
    grid->addWidget(m_to, 0, 1);
    grid->addWidget(subjectLabel, 1, 0);
    grid->addWidget(m_subject, 1, 1);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_send);
    buttons->addWidget(m_cancel);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addWidget(m_text, 1);
    layout->addLayout(buttons);
    setTabOrder(m_to, m_subject);
    setTabOrder(m_subject, m_text);
    setTabOrder(m_text, m_send);
    setTabOrder(m_send, m_cancel);

    connect(m_send, &QPushButton::clicked, this, &TEMailF::BtnSendClick);
    connect(m_cancel, &QPushButton::clicked, this, &TEMailF::BtnCancelClick);
    EnterMovesFocus::install(this);

    // The window's answers to the client's events; the client's error follows each.
    connect(m_client, &TSmtpClient::invalidHost, this, [this] { tell(QStringLiteral("Invalid Host.")); });
    connect(m_client, &TSmtpClient::connectionFailed, this,
            [this] { tell(QStringLiteral("Connection Failed")); });
    connect(m_client, &TSmtpClient::authenticationFailed, this,
            [this] { tell(QStringLiteral("Authentication Failed - Invalid or missing User ID")); });
    connect(m_client, &TSmtpClient::failure, this, [this] { tell(QStringLiteral("EMail not sent")); });
}

bool TEMailF::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_text && event->type() == QEvent::KeyPress) {
        const auto *key = static_cast<QKeyEvent *>(event);
        if (key->modifiers() & Qt::ControlModifier) {
            if (key->key() == Qt::Key_Tab) {
                m_send->setFocus(Qt::TabFocusReason);
                return true;
            }
            if (key->key() == Qt::Key_Backtab) {
                m_subject->setFocus(Qt::BacktabFocusReason);
                return true;
            }
        }
    }
    return QDialog::eventFilter(watched, event);
}

void TEMailF::tell(const QString &message)
{
    if (m_interactive)
        Prompt::info(this, message);
}

TEMailF::~TEMailF() = default;

void TEMailF::setRecipients(const QStringList &recipients)
{
    m_to->clear();
    m_to->addItems(recipients);
    m_to->setCurrentIndex(recipients.isEmpty() ? -1 : 0);
}

QStringList TEMailF::recipients() const
{
    QStringList list;
    for (int i = 0; i < m_to->count(); ++i)
        list << m_to->itemText(i);
    return list;
}

void TEMailF::setSubject(const QString &subject)
{
    m_subject->setText(subject);
}

QString TEMailF::subject() const
{
    return m_subject->text();
}

void TEMailF::setText(const QString &text)
{
    m_text->setPlainText(text);
}

QString TEMailF::text() const
{
    return m_text->toPlainText();
}

void TEMailF::clearMessage()
{
    m_to->clear();
    m_subject->clear();
    m_text->clear();
    m_attachments.clear();
    m_client->ClearRecipients();
    m_client->PostMessage.Body.clear();
}

bool TEMailF::run()
{
    m_client->ClearRecipients();
    m_mailSent = false;
    m_lastError.clear();
    if (m_to->count() > 0)
        m_to->setCurrentIndex(0);
    m_subject->setFocus();
    exec();
    return m_mailSent;
}

void TEMailF::BtnSendClick()
{
    QString error;
    if (!send(&error)) {
        m_lastError = error;
        Prompt::info(this, error);
    }
    accept();
}

void TEMailF::BtnCancelClick()
{
    reject();
}

bool TEMailF::passwordFor(QWidget *parent, MailAccount &account, QString *error, bool interactive)
{
    if (account.server.loginUser.isEmpty())
        return true;
    QString password = sessionPassword();
    if (password.isEmpty() && account.server.rememberPassword)
        password = rememberedPassword(account.dataDir);
    if (password.isEmpty()) {
        if (!interactive ||
            !Prompt::input(parent, QStringLiteral("EMail Password"),
                           QStringLiteral("Password of %1 at %2").arg(account.server.loginUser, account.host),
                           &password) ||
            password.isEmpty()) {
            *error =
                QStringLiteral("EMail not sent: no password was given for %1.").arg(account.server.loginUser);
            return false;
        }
        sessionPassword() = password;
    }
    account.password = password;
    return true;
}

bool TEMailF::sendWithStatus(QWidget *parent, db::Engine &engine, TSmtpClient &client, MailAccount &account,
                             const OutgoingMail &mail, QString *error, bool interactive)
{
    if (!interactive)
        return sendThroughServer(client, account, mail, error);
    TSendStatus status(parent);
    QObject::connect(&status, &TSendStatus::cancelRequested, &client, &TSmtpClient::Abort);
    QObject::connect(&client, &TSockClient::status, &status, &TSendStatus::setText);
    status.setText(QStringLiteral("Connecting to %1").arg(account.host));
    status.show();
    bool ok = sendThroughServer(client, account, mail, error);
    const QByteArray digest = client.untrustedCertificate();
    if (!ok && !digest.isEmpty()) {
        status.hide();
        const QString question =
            *error + QStringLiteral("\n\nAccept this certificate for %1 from now on?").arg(account.host);
        if (Prompt::yesNo(parent, question)) {
            account.server.certificateHost = account.host;
            account.server.certificateDigest = digest;
            if (!saveMailServerSettings(engine, account.server, error))
                return false;
            status.show();
            error->clear();
            ok = sendThroughServer(client, account, mail, error);
        }
    }
    status.hide();
    return ok;
}

bool TEMailF::send(QString *error)
{
    m_mailSent = false;
    MailServerSettings server;
    if (!loadMailServerSettings(m_engine, &server, error))
        return false;
    MailAccount account = mailAccount(settings(), server, QString(), m_engine.directory());
    if (!account.usesServer()) {
        if (!m_interactive) {
            // Without a user there is no mail program to hand the message to.
            *error =
                QStringLiteral("EMail is not set up: \"EMail Setup\" needs the Outgoing Mail Host and the "
                               "Sender's EMail Address.");
            return false;
        }
        for (const QString &entry : recipients())
            openMailto(this, mailtoLink(entry, subject(), text()));
        return true;
    }
    if (!passwordFor(this, account, error, m_interactive))
        return false;
    OutgoingMail mail;
    mail.recipients = recipients();
    mail.subject = subject();
    mail.text = text();
    mail.attachments = m_attachments;
    if (!sendWithStatus(this, m_engine, *m_client, account, mail, error, m_interactive))
        return false;
    m_mailSent = true;
    return true;
}

} // namespace tallyra
