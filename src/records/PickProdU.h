#pragma once

#include "PickGridDialog.h"

namespace tallyra {

// The product pick list: Prod5 in the order of its selected (identifier) tag.
class TPickProd : public PickGridDialog
{
    Q_OBJECT

public:
    explicit TPickProd(db::Engine &engine, QWidget *parent = nullptr);
};

} // namespace tallyra
