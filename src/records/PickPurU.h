#pragma once

#include "PickGridDialog.h"

namespace tallyra {

// The purchase pick list: Pur5 in the order of its selected (product and date) tag, with
// "Edit Selected", "Add New Purchase" (the list's "New") and "Cancel".
class TPickPur : public PickGridDialog
{
    Q_OBJECT

public:
    explicit TPickPur(db::Engine &engine, QWidget *parent = nullptr);
};

} // namespace tallyra
