#pragma once

// The record windows find the tables of the command that shows them; a window shown without one
// (a test, a later caller) opens what it needs itself, and the command's close-all closes it.

#include "Schema.h"

#include <QString>

class QWidget;

namespace db {
class Engine;
class Table;
} // namespace db

namespace tallyra {

// The open table, or the table opened now as the program opens it; nullptr after a failed open,
// which has been shown to the user (parent's window).
db::Table *commandTable(db::Engine &engine, TableId id, QWidget *parent);

} // namespace tallyra
