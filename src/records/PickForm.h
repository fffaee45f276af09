#pragma once

#include <QDialog>

class QHBoxLayout;
class QPushButton;

namespace tallyra {

// The frame every pick list shares: "Select", "New" and "Cancel" at the bottom right, and the
// selection they leave: the chosen record, 0 for "New", -1 for "Cancel" or the window closed.
class TPickForm : public QDialog
{
    Q_OBJECT

public:
    qint64 selection() const { return m_selection; }

protected:
    TPickForm(const QString &objectName, const QString &title, QWidget *parent);

    // The button row, wired ("Select" to BtnSelectClick()), with EnterMovesFocus installed on the
    // window: call it once the list's own boxes exist. No button is an auto-default one.
    QHBoxLayout *pickButtons();
    // Leaves record `recNo` as the selection and closes; 0 (no entry chosen) says
    // "Item Not Selected" and keeps the list open.
    void choose(quint32 recNo);

    virtual void BtnSelectClick() = 0;

    QPushButton *m_select = nullptr;
    QPushButton *m_new = nullptr;
    QPushButton *m_cancel = nullptr;
    qint64 m_selection = -1;

private:
    void BtnNewClick();
    void BtnCancelClick();
};

} // namespace tallyra
