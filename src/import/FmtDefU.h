#pragma once

#include "ImportFormat.h"

#include <QDialog>
#include <QList>

class QLabel;
class QLineEdit;
class QPushButton;

namespace db {
class Table;
}

namespace tallyra {

// "Import Format Definition": the name of an import format, the field number of each item, the
// delimiter's character code and the least number of fields of a record. A customer format shows
// thirteen items in two columns, a product format four.
class TFmtDef : public QDialog
{
    Q_OBJECT

public:
    explicit TFmtDef(QWidget *parent = nullptr);

    // Shows the window modally on format record `selection` of ImportF (0: a new format of
    // `kind`). Returns the record saved, or `selection` when nothing was saved.
    quint32 run(db::Table &formats, ImportKind kind, quint32 selection);

    // The number boxes: slot 1..13, then the delimiter and the field count.
    QLineEdit *slotBox(int slot) const { return m_slots.value(slot - 1); }

protected:
    void reject() override;

private Q_SLOTS:
    void BtnSaveClick();
    void NumberBoxExit();

private:
    void showFormat();
    QLineEdit *numberBox(const QString &name, int digits);

    db::Table *m_table = nullptr;
    ImportFormatRecord m_format;
    quint32 m_selection = 0;
    bool m_changed = false;

    QLineEdit *m_name;
    QList<QLineEdit *> m_slots;
    QList<QLabel *> m_slotLabels;
    QLabel *m_secondHeading[2];
    QLineEdit *m_delimiter;
    QLineEdit *m_fields;
    QPushButton *m_save;
    QPushButton *m_cancel;
    QPushButton *m_help;
};

} // namespace tallyra
