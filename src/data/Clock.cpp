#include "Clock.h"

namespace tallyra {

namespace {
QDate g_fixedToday; // set only by tests
}

QDate today()
{
    return g_fixedToday.isValid() ? g_fixedToday : QDate::currentDate();
}

void setFixedToday(const QDate &date)
{
    g_fixedToday = date;
}

} // namespace tallyra
