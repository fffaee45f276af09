#include "RecordForm.h"

#include "CustomerBook.h"
#include "Prompt.h"
#include "RecordTables.h"
#include "Status.h"

#include <QPushButton>

namespace tallyra {

TRecordForm::TRecordForm(db::Engine &engine, const QString &noun, const char *objectName,
                         const QString &title, QWidget *parent)
    : TEntryForm(objectName, title, parent)
    , m_engine(engine)
    , m_noun(noun)
{}

db::Table *TRecordForm::table(TableId id)
{
    return commandTable(m_engine, id, this);
}

qint64 TRecordForm::run(qint64 selection)
{
    const quint32 recNo = selection > 0 ? quint32(selection) : 0;
    m_recNo = 0;
    m_selection = -1;
    if (!loadRecord(recNo))
        return -1;
    m_recNo = recNo;
    if (recNo != 0)
        m_selection = selection;
    showRecord();
    if (deleteButton())
        deleteButton()->setEnabled(m_recNo != 0);
    exec();
    return m_selection;
}

bool TRecordForm::recordUnreadable(quint32 recNo)
{
    QString noun = m_noun;
    noun[0] = noun[0].toUpper();
    Prompt::info(this, QStringLiteral("%1 record %2 could not be read.").arg(noun).arg(recNo));
    return false;
}

bool TRecordForm::takeSave(const RecordSave &saved)
{
    if (!saved.ok) {
        Prompt::info(this, saved.message);
        return false;
    }
    m_recNo = saved.recNo;
    m_selection = saved.recNo;
    return true;
}

bool TRecordForm::acceptDeletion(const db::Status &removed)
{
    if (!removed.isOk()) {
        Prompt::info(this, QStringLiteral("The %1 could not be deleted.\n").arg(m_noun) + removed.toString());
        return false;
    }
    accept();
    return true;
}

} // namespace tallyra
