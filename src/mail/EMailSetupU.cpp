#include "EMailSetupU.h"

#include "EMailU.h"
#include "EnterMovesFocus.h"
#include "Help.h"
#include "Prompt.h"
#include "Schema.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFontMetrics>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>

namespace tallyra {

namespace {

constexpr int kSubmissionPort = 587;
constexpr int kTlsPort = 465;

QLineEdit *textBox(QWidget *parent, const char *name, int maxLength)
{
    auto *box = new QLineEdit(parent);
    box->setObjectName(QLatin1String(name));
    box->setMaxLength(maxLength);
    box->setMinimumWidth(QFontMetrics(box->font()).horizontalAdvance(QString(36, QLatin1Char('m'))));
    return box;
}

} // namespace

TEMailSetup::TEMailSetup(db::Engine &engine, QWidget *parent)
    : QDialog(parent)
    , m_engine(engine)
{
    setObjectName(QStringLiteral("emailSetupDialog"));
    setWindowTitle(QStringLiteral("EMail Setup"));

    m_host = textBox(this, "mailHostEdit", kMailTextLimit);
    m_id = textBox(this, "mailIdEdit", kMailTextLimit);
    m_addr = textBox(this, "mailAddrEdit", kMailTextLimit);
    m_name = textBox(this, "mailNameEdit", kMailTextLimit);
    m_reply = textBox(this, "mailReplyEdit", kMailTextLimit);
    m_port = new QSpinBox(this);
    m_port->setObjectName(QStringLiteral("portSpinBox"));
    m_port->setRange(1, 65535);
    m_security = new QComboBox(this);
    m_security->setObjectName(QStringLiteral("securityComboBox"));
    m_security->addItems({QStringLiteral("None"), QStringLiteral("STARTTLS"), QStringLiteral("SSL/TLS")});
    m_user = textBox(this, "loginUserEdit", kMailTextLimit);
    m_password = textBox(this, "passwordEdit", 200);
    m_password->setEchoMode(QLineEdit::Password);
    m_remember = new QCheckBox(QStringLiteral("Remember password"), this);
    m_remember->setObjectName(QStringLiteral("rememberPasswordCheckBox"));
    m_attachPdf = new QCheckBox(QStringLiteral("Attach the PDF to e-mailed documents"), this);
    m_attachPdf->setObjectName(QStringLiteral("attachPdfCheckBox"));

    auto *form = new QFormLayout;
    form->addRow(QStringLiteral("Outgoing Mail Host"), m_host);
    form->addRow(QStringLiteral("Mail User ID"), m_id);
    form->addRow(QStringLiteral("Sender's EMail Address"), m_addr);
    form->addRow(QStringLiteral("Sender's Name"), m_name);
    form->addRow(QStringLiteral("Reply To Address"), m_reply);
    form->addRow(QStringLiteral("Port"), m_port);
    form->addRow(QStringLiteral("Security"), m_security);
    form->addRow(QStringLiteral("User Name"), m_user);
    form->addRow(QStringLiteral("Password"), m_password);
    form->addRow(QString(), m_remember);
    form->addRow(QString(), m_attachPdf);

    m_test = new QPushButton(QStringLiteral("Send Test Message"), this);
    m_test->setObjectName(QStringLiteral("testButton"));
    m_save = new QPushButton(QStringLiteral("Save"), this);
    m_save->setObjectName(QStringLiteral("saveButton"));
    m_cancel = new QPushButton(QStringLiteral("Cancel"), this);
    m_cancel->setObjectName(QStringLiteral("cancelButton"));
    m_help = new QPushButton(QStringLiteral("Help"), this);
    m_help->setObjectName(QStringLiteral("helpButton"));
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_test);
    buttons->addStretch();
    // Enter on a focused button presses it; entry boxes keep Enter for moving on.
    for (QPushButton *b : {m_save, m_cancel, m_help}) {
        b->setAutoDefault(true);
        buttons->addWidget(b);
    }
    m_test->setAutoDefault(true);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addLayout(buttons);

    QWidget *order[] = {m_host,     m_id,       m_addr,      m_name, m_reply, m_port,   m_security, m_user,
                        m_password, m_remember, m_attachPdf, m_test, m_save,  m_cancel, m_help};
    for (size_t i = 1; i < std::size(order); ++i)
        setTabOrder(order[i - 1], order[i]);

    connect(m_save, &QPushButton::clicked, this, &TEMailSetup::BtnSaveClick);
    connect(m_cancel, &QPushButton::clicked, this, &TEMailSetup::reject);
    connect(m_help, &QPushButton::clicked, this, &TEMailSetup::BtnHelpClick);
    connect(m_test, &QPushButton::clicked, this, &TEMailSetup::BtnTestClick);
    connect(m_user, &QLineEdit::textEdited, this, &TEMailSetup::LoginUserChange);
    connect(m_security, &QComboBox::activated, this, &TEMailSetup::SecurityChange);
    connect(m_port, &QSpinBox::valueChanged, this, [this] {
        if (!m_settingPort)
            m_portTouched = true;
    });
    EnterMovesFocus::install(this);
}

void TEMailSetup::setValues(const MailSetupValues &v)
{
    m_loaded = v;
    m_host->setText(v.record.MailHost);
    m_id->setText(v.record.MailID);
    m_addr->setText(v.record.MailAddr);
    m_name->setText(v.record.MailName);
    m_reply->setText(v.record.MailReply);
    m_settingPort = true;
    m_port->setValue(v.server.port);
    m_settingPort = false;
    m_portTouched = false;
    m_security->setCurrentIndex(int(v.server.security));
    m_user->setText(v.server.loginUser);
    m_password->setText(v.password);
    m_remember->setChecked(v.server.rememberPassword);
    m_attachPdf->setChecked(v.server.attachPdf);
}

MailSetupValues TEMailSetup::values() const
{
    MailSetupValues v = m_loaded;
    v.record.MailHost = m_host->text().trimmed();
    v.record.MailID = m_id->text().trimmed();
    v.record.MailAddr = m_addr->text().trimmed();
    v.record.MailName = m_name->text().trimmed();
    v.record.MailReply = m_reply->text().trimmed();
    v.server.port = m_port->value();
    v.server.security = MailSecurity(m_security->currentIndex());
    v.server.loginUser = m_user->text().trimmed();
    v.server.rememberPassword = m_remember->isChecked();
    v.server.attachPdf = m_attachPdf->isChecked();
    v.password = m_password->text();
    return v;
}

bool TEMailSetup::run()
{
    MailSetupValues v;
    v.record = settings();
    QString error;
    if (!loadMailServerSettings(m_engine, &v.server, &error)) {
        Prompt::info(parentWidget(), error);
        return false;
    }
    v.password = sessionPassword();
    if (v.password.isEmpty() && v.server.rememberPassword)
        v.password = rememberedPassword(m_engine.directory());
    setValues(v);
    m_saved = false;
    m_host->setFocus();
    exec();
    return m_saved;
}

void TEMailSetup::LoginUserChange(const QString &text)
{
    // Servers that want a login take it on the submission port.
    if (!m_portTouched && !text.trimmed().isEmpty() && m_port->value() == 25) {
        m_settingPort = true;
        m_port->setValue(m_security->currentIndex() == int(MailSecurity::SslTls) ? kTlsPort
                                                                                 : kSubmissionPort);
        m_settingPort = false;
    }
}

void TEMailSetup::SecurityChange(int index)
{
    if (m_portTouched)
        return;
    m_settingPort = true;
    if (MailSecurity(index) == MailSecurity::SslTls)
        m_port->setValue(kTlsPort);
    else if (MailSecurity(index) == MailSecurity::StartTls || !m_user->text().trimmed().isEmpty())
        m_port->setValue(kSubmissionPort);
    else
        m_port->setValue(m_loaded.server.port);
    m_settingPort = false;
}

bool TEMailSetup::save(QString *error)
{
    const MailSetupValues v = values();
    SettingsRecord changed = settings();
    changed.MailHost = v.record.MailHost;
    changed.MailID = v.record.MailID;
    changed.MailAddr = v.record.MailAddr;
    changed.MailName = v.record.MailName;
    changed.MailReply = v.record.MailReply;
    const SettingsResult saved = saveSettings(m_engine, changed);
    if (!saved) {
        *error = saved.message();
        return false;
    }
    settings() = changed;
    if (!saveMailServerSettings(m_engine, v.server, error))
        return false;
    const QString dir = m_engine.directory();
    if (!rememberPassword(dir, v.server.rememberPassword ? v.password : QString(), error))
        return false;
    sessionPassword() = v.password;
    return true;
}

void TEMailSetup::BtnSaveClick()
{
    QString error;
    if (!save(&error)) {
        Prompt::info(this, error);
        return;
    }
    m_saved = true;
    accept();
}

void TEMailSetup::reject()
{
    if (!(values() == m_loaded) && !Prompt::yesNo(this, QStringLiteral("Discard the changes?")))
        return;
    QDialog::reject();
}

void TEMailSetup::BtnHelpClick()
{
    Help::showContext(this, Help::kEMail);
}

void TEMailSetup::BtnTestClick()
{
    const MailSetupValues v = values();
    MailAccount account = mailAccount(v.record, v.server, v.password, m_engine.directory());
    if (!account.usesServer()) {
        Prompt::info(this,
                     QStringLiteral("Enter the Outgoing Mail Host and the Sender's EMail Address first."));
        return;
    }
    QString error;
    if (account.password.isEmpty() && !TEMailF::passwordFor(this, account, &error)) {
        Prompt::info(this, error);
        return;
    }
    OutgoingMail mail;
    mail.recipients << account.fromAddress;
    mail.subject = QStringLiteral("Test Message");
    mail.text = QStringLiteral("This test message was sent by \"EMail Setup\" to check the mail settings.");
    TSmtpClient client;
    connect(&client, &TSmtpClient::authenticationFailed, this, [this] {
        Prompt::info(this, QStringLiteral("Authentication Failed - Invalid or missing User ID"));
    });
    if (!TEMailF::sendWithStatus(this, m_engine, client, account, mail, &error)) {
        Prompt::info(this, QStringLiteral("The test message was not sent.\n") + error);
        return;
    }
    // A certificate accepted during the test is now part of the settings.
    m_loaded.server.certificateHost = account.server.certificateHost;
    m_loaded.server.certificateDigest = account.server.certificateDigest;
    Prompt::info(this, QStringLiteral("The test message was sent to %1.\nThe server answered: %2")
                           .arg(account.fromAddress, client.acceptReply()));
}

void runEMailSetup(QWidget *parent, db::Engine &engine)
{
    TEMailSetup window(engine, parent);
    window.run();
}

} // namespace tallyra
