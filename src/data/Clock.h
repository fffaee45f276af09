#pragma once

#include <QDate>

namespace tallyra {

// The one source of "today" for the whole program. Tests fix it; the program never does.
QDate today();
void setFixedToday(const QDate &date); // a null date returns to the system clock

} // namespace tallyra
