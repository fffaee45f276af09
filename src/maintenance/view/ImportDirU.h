#pragma once

// "Import Directories": the folder of the customer information files and the folder of the
// order files, kept in the Impdirs table.

#include "Records.h"

#include <QDialog>
#include <functional>

class QLabel;
class QLineEdit;
class QPushButton;

namespace tallyra {

class TDriveDir;

class TImportdir : public QDialog
{
    Q_OBJECT

public:
    // Saves the two paths; false with *error set when they could not be stored (the window
    // then stays open).
    using Saver = std::function<bool(const ImportDirsRecord &dirs, QString *error)>;

    explicit TImportdir(TDriveDir *picker, QWidget *parent = nullptr);

    void setValues(const ImportDirsRecord &dirs);
    ImportDirsRecord values() const;
    void setSaver(Saver saver) { m_saver = std::move(saver); }
    // Shows the window modally; true when the paths were saved.
    bool run();

private Q_SLOTS:
    void BtnInfoBrowseClick();
    void BtnOrderBrowseClick();
    void BtnSaveClick();
    void BtnCancelClick();

protected:
    void reject() override;

private:
    void browse(QLineEdit *edit, const QString &caption);
    bool changed() const;

    TDriveDir *m_picker;
    QLineEdit *m_info;
    QLineEdit *m_order;
    QPushButton *m_infoBrowse;
    QPushButton *m_orderBrowse;
    QPushButton *m_save;
    QPushButton *m_cancel;
    QLabel *m_refusal;
    ImportDirsRecord m_loaded;
    Saver m_saver;
    bool m_saved = false;
};

} // namespace tallyra
