#pragma once

#include "InvoiceModel.h"

#include <QDialog>

class QPushButton;
class QTableWidget;

namespace tallyra {

// "Select Payment": the payments of the invoice, one row each; returns the chosen row.
class TPickPmt : public QDialog
{
    Q_OBJECT

public:
    explicit TPickPmt(QWidget *parent = nullptr);

    // Fills the grid (and sizes it) from the payments.
    void setPayments(const QList<InvoicePayment> &payments);
    // Shows the list modally; the index of the chosen payment, or -1 when cancelled.
    int run();

private Q_SLOTS:
    void BtnSelectClick();
    void BtnCancelClick();

private:
    int m_chosen = -1;
    QTableWidget *m_grid;
    QPushButton *m_select;
    QPushButton *m_cancel;
};

} // namespace tallyra
