#pragma once

#include "PickForm.h"

class QListWidget;

namespace db {
class Engine;
}

namespace tallyra {

// The label stock pick list: every LABELS record in name order, a record marked deleted listed
// with "<DELETED>" behind its padded name, with "Select", "New" and "Cancel".
class TPickLab : public TPickForm
{
    Q_OBJECT

public:
    explicit TPickLab(db::Engine &engine, QWidget *parent = nullptr);

    // Shows the list modally on record `selection` (the first entry when none matches), "New"
    // enabled exactly when allowNew. Returns the chosen LABELS record, 0 for "New", -1 for
    // "Cancel" or the window closed.
    qint64 pick(qint64 selection, bool allowNew);

private:
    void BtnSelectClick() override;

    db::Engine &m_engine;
    QList<quint32> m_recNos;
    QListWidget *m_names;
};

} // namespace tallyra
