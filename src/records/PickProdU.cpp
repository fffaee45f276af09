#include "PickProdU.h"

namespace tallyra {

TPickProd::TPickProd(db::Engine &engine, QWidget *parent)
    : PickGridDialog(engine, productPickList(), parent)
{}

} // namespace tallyra
