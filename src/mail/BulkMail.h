#pragma once

// "Compose Bulk EMail": one message to every customer of the chosen groups, in batches of 20
// recipients. The user writes the message for the first batch; later batches go out at once
// with the same subject and text.

#include "engine/Engine.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <functional>

class QWidget;

namespace tallyra {

inline constexpr int kBulkBatchSize = 20;

// An address a bulk run takes: an "@" at its second character or later.
bool isBulkAddress(const QString &email);

struct BulkMailSteps
{
    // Shows the e-mail window for the first batch; true when the user's "Send" completed a send
    // through the server (false ends the run: "Cancel", a failure, or the "mailto:" hand-over).
    std::function<bool(const QStringList &batch)> compose;
    // Sends a later batch with the same subject and text; false (and *error) ends the run.
    std::function<bool(const QStringList &batch, QString *error)> send;
};

struct BulkMailResult
{
    int batches = 0;    // batches sent (the first included when it was sent)
    int recipients = 0; // addresses in them
    bool stopped = false;
    QString error; // why a later batch stopped the run, or a read failure
};

// Reads CUST5 from its first record in its selected order (the caller selects CZip) and sends
// the batches. REQUIRES: CUST5 open.
BulkMailResult runBulkMail(db::Table &customers, const QList<qint64> &groups, const BulkMailSteps &steps);

// The whole command: opens CUST5 and GROUPS, asks for the groups, runs the batches through the
// e-mail window, shows a failure and closes every table.
void composeBulkEMail(QWidget *parent, db::Engine &engine);

} // namespace tallyra
