#pragma once

#include "EntryForm.h"
#include "Schema.h"

namespace db {
class Engine;
class Status;
class Table;
} // namespace db

namespace tallyra {

struct RecordSave;

// An entry form on one record of a table: the form knows the record it shows (m_recNo, 0 for a
// new one) and the selection it leaves to its caller, and finds its tables through commandTable()
// (those of the command that shows it, or opened now).
class TRecordForm : public TEntryForm
{
    Q_OBJECT

public:
    // Shows the form modally on record `selection` (0: a new record), "Delete" enabled for an
    // existing one. Returns the selection it leaves: the saved (or deleted) record; for a new
    // record closed unsaved -1; for an existing record closed unsaved its record; -1 when a
    // table could not be opened or the record read (said to the user).
    qint64 run(qint64 selection);
    qint64 selection() const { return m_selection; }

protected:
    // `noun` names the record in the form's messages: "Customer record 7 could not be read.",
    // "The customer could not be deleted."
    TRecordForm(db::Engine &engine, const QString &noun, const char *objectName, const QString &title,
                QWidget *parent);

    db::Table *table(TableId id);

    // Opens the tables the form works on and fills the form's record from record `recNo` (0: a
    // new record); false when that failed, the reason told (see recordUnreadable()).
    virtual bool loadRecord(quint32 recNo) = 0;
    // Shows the record in the boxes and puts the focus on the first of them.
    virtual void showRecord() = 0;

    // Tells the user that record `recNo` could not be read; returns false.
    bool recordUnreadable(quint32 recNo);
    // A saved record becomes the form's record and selection (true); a refused save's message is
    // shown (false).
    bool takeSave(const RecordSave &saved);
    // Closes the form after a delete; when `removed` failed, tells the user why and stays open.
    bool acceptDeletion(const db::Status &removed);

    db::Engine &m_engine;
    quint32 m_recNo = 0;
    qint64 m_selection = -1;

private:
    QString m_noun;
};

} // namespace tallyra
