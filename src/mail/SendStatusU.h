#pragma once

// The status display shown while a message goes to the server: what the client is doing and a
// "Cancel" that ends the transfer. Modal, so no other command starts meanwhile, while the
// windows keep painting.

#include <QDialog>

class QLabel;
class QPushButton;

namespace tallyra {

class TSendStatus : public QDialog
{
    Q_OBJECT
public:
    explicit TSendStatus(QWidget *parent = nullptr);

    void setText(const QString &text);
    QString text() const;

Q_SIGNALS:
    void cancelRequested();

private:
    void BtnCancelClick();

    QLabel *m_text;
    QPushButton *m_cancel;
};

} // namespace tallyra
