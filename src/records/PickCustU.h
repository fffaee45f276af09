#pragma once

#include "PickGridDialog.h"

namespace tallyra {

// "Select Customer": CUST5 by name (tag CName) when the ByCust preference is set, otherwise by
// e-mail address (tag cEMail); the "Group:" box names the group of the customer in the current
// row. The list selects its tag each time it is shown and leaves it selected.
class TPickCust : public PickGridDialog
{
    Q_OBJECT

public:
    explicit TPickCust(db::Engine &engine, QWidget *parent = nullptr);

protected:
    void aboutToShow() override;
    void currentRowChanged() override;

private:
    QLineEdit *m_group;
};

} // namespace tallyra
