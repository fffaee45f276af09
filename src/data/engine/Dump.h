#pragma once

#include "Table.h"

#include <QByteArray>

namespace db {

// One record as a line of text: record number, deletion flag ('*' or blank), then every field,
// separated by '|': texts without trailing blanks, numbers with their decimals, dates as
// YYYYMMDD (empty for none), logicals T or F, memos as length:CRC32 (hex). Two implementations
// that dump the same file give the same lines, so dumps compare with diff.
QByteArray dumpRecord(db::Table &table);

// CRC-32 as zip files use it.
quint32 crc32(QByteArrayView bytes);

} // namespace db
