#pragma once

// The data files of a new business: what tallyra-init writes.

#include "engine/FileIo.h"

#include <QString>
#include <memory>

namespace tallyra {

struct NewBusinessResult
{
    db::Status status; // ok, or the failure naming the file
    QString message;   // for the user: what was done or why nothing was

    bool ok() const { return status.isOk(); }
};

// Creates every table of the schema, empty, with its memo file and index group in dir (made
// when missing); appends the one TLR2 record (defaultSettings()), the one Impdirs record (both
// directories empty) and a few common label stocks. With demo, also a small sample business:
// letterhead, 4 groups, about 60 customers, 30 products and services with purchases and about
// 150 invoices over the six months before tallyra::today(), with items and payments; the same
// date gives the same files.
// Refuses, writing nothing, when dir already holds any of the business's data files. When
// creation fails part way, the files it made are removed again.
NewBusinessResult createBusiness(const QString &dir, bool demo,
                                 std::shared_ptr<db::FileSystem> fs = db::FileSystem::posix());

} // namespace tallyra
