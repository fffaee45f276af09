#pragma once

#include "engine/Engine.h"

#include <QString>

namespace tallyra {

// The bulk-mail zone of a postal code: the Zone of the ZZone range whose SZip..EZip holds the
// first three characters of the left-trimmed code, as decimal text; empty when no range holds it
// (or the code is empty).
//
// Opens ZZone on tag ZZone when it is not open yet and closes it again afterwards; a table the
// caller had open stays open. Reads only. When the table cannot be read the result is empty and
// *status (when given) says why: a missing zone table costs the zone, never the caller's work.
QString bulkMailZone(db::Engine &engine, const QString &postalCode, db::Status *status = nullptr);

} // namespace tallyra
