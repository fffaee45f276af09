#include "PickPurU.h"

namespace tallyra {

TPickPur::TPickPur(db::Engine &engine, QWidget *parent)
    : PickGridDialog(engine, purchasePickList(), parent)
{}

} // namespace tallyra
