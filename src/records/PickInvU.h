#pragma once

#include "PickGridDialog.h"

namespace tallyra {

// "Select Invoice": INV6 in invoice-number order (tag Inv). The search box takes digits only and
// finds the typed number exactly (12 finds invoice 12, not 120). The "Customer:" box shows the
// first and last name of the current invoice's customer, found in CUST5 on tag CCNO when CUST5
// is open (its selected tag is restored).
class TPickInv : public PickGridDialog
{
    Q_OBJECT

public:
    explicit TPickInv(db::Engine &engine, QWidget *parent = nullptr);

protected:
    void currentRowChanged() override;

private:
    QLineEdit *m_customer;
};

} // namespace tallyra
