#include "BulkMail.h"

#include "EMailU.h"
#include "MultGroupU.h"
#include "ProgressStatus.h"
#include "Prompt.h"
#include "Records.h"
#include "Tables.h"

namespace tallyra {

bool isBulkAddress(const QString &email)
{
    return email.indexOf(QLatin1Char('@')) >= 1;
}

BulkMailResult runBulkMail(db::Table &customers, const QList<qint64> &groups, const BulkMailSteps &steps)
{
    BulkMailResult result;
    QStringList batch;
    auto flush = [&]() {
        bool ok;
        if (result.batches == 0) {
            ok = steps.compose(batch);
        } else {
            ok = steps.send(batch, &result.error);
        }
        if (ok) {
            ++result.batches;
            result.recipients += int(batch.size());
        }
        batch.clear();
        result.stopped = !ok;
        return ok;
    };
    CustomerRecord customer;
    for (bool more = customers.top(); more; more = customers.skip(1)) {
        const db::Status loaded = loadCustomer(customers, customer);
        if (!loaded.isOk()) {
            result.error = loaded.toString();
            result.stopped = true;
            return result;
        }
        const QString email = customer.EMail.trimmed();
        if (!groups.contains(customer.NGroup) || !isBulkAddress(email))
            continue;
        batch << email;
        if (batch.size() == kBulkBatchSize && !flush())
            return result;
    }
    const db::Status read = customers.takeError();
    if (!read.isOk()) {
        result.error = read.toString();
        result.stopped = true;
        return result;
    }
    if (!batch.isEmpty())
        flush();
    return result;
}

void composeBulkEMail(QWidget *parent, db::Engine &engine)
{
    const OpenResult customers = openCustomers(engine);
    const OpenResult groups = customers ? openGroups(engine) : OpenResult{};
    if (!customers || !groups) {
        Prompt::info(parent, customers ? groups.message() : customers.message());
        closeAllTables(engine);
        return;
    }
    customers.table->selectTag(QStringLiteral("CZip"));
    if (!TMultGroup::ask(*groups.table) || selectedGroups().isEmpty()) {
        closeAllTables(engine);
        return;
    }
    TEMailF window(engine, parent);
    window.clearMessage();
    BulkMailSteps steps;
    steps.compose = [&](const QStringList &batch) {
        window.setRecipients(batch);
        return window.run();
    };
    steps.send = [&](const QStringList &batch, QString *error) {
        window.setRecipients(batch);
        progressStart(QStringLiteral("Sending EMail to %1 recipients").arg(batch.size()));
        return window.send(error);
    };
    const BulkMailResult result = runBulkMail(*customers.table, selectedGroups(), steps);
    progressEnd();
    closeAllTables(engine);
    // The window showed the failure of its own "Send"; a later batch's failure is shown here.
    if (result.stopped && result.batches > 0 && !result.error.isEmpty())
        Prompt::info(parent, result.error);
    else if (result.stopped && result.batches == 0 && !result.error.isEmpty() && window.lastError().isEmpty())
        Prompt::info(parent, result.error);
}

} // namespace tallyra
