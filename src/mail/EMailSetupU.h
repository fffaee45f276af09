#pragma once

// "EMail Setup": the five mail settings of the settings record, and the server's port,
// security and login, the PDF attachment of e-mailed documents, and a test message to the
// sender's own address.

#include "MailSend.h"
#include "engine/Engine.h"

#include <QDialog>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;
class QSpinBox;

namespace tallyra {

struct MailSetupValues
{
    SettingsRecord record; // the five mail fields are taken from here
    MailServerSettings server;
    QString password;
    bool operator==(const MailSetupValues &) const = default;
};

class TEMailSetup : public QDialog
{
    Q_OBJECT
public:
    explicit TEMailSetup(db::Engine &engine, QWidget *parent = nullptr);

    // Loads the settings record in memory, the mail server settings and the password, and shows
    // the window modally. True when "Save" stored the values.
    bool run();
    void setValues(const MailSetupValues &values);
    MailSetupValues values() const;

protected:
    void reject() override;

private:
    void BtnSaveClick();
    void BtnTestClick();
    void BtnHelpClick();
    void LoginUserChange(const QString &text);
    void SecurityChange(int index);
    bool save(QString *error);

    db::Engine &m_engine;
    MailSetupValues m_loaded;
    QLineEdit *m_host;
    QLineEdit *m_id;
    QLineEdit *m_addr;
    QLineEdit *m_name;
    QLineEdit *m_reply;
    QSpinBox *m_port;
    QComboBox *m_security;
    QLineEdit *m_user;
    QLineEdit *m_password;
    QCheckBox *m_remember;
    QCheckBox *m_attachPdf;
    QPushButton *m_test;
    QPushButton *m_save;
    QPushButton *m_cancel;
    QPushButton *m_help;
    bool m_portTouched = false;
    bool m_settingPort = false;
    bool m_saved = false;
};

// "EMail Setup" from the main window.
void runEMailSetup(QWidget *parent, db::Engine &engine);

} // namespace tallyra
