#pragma once

#include "ImportEngine.h"

#include <QDialog>
#include <QElapsedTimer>
#include <QList>

class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QTableWidget;
class QTimer;

namespace db {
class Engine;
class Table;
} // namespace db

namespace tallyra {

// "Import": choose an import format and a file, see what the first lines will do, import them
// into CUST5 or Prod5 with a progress bar and "Cancel", and undo the last import. ImportF stays
// open while the window is; closing the window closes every table.
class TImport : public QDialog
{
    Q_OBJECT

public:
    TImport(db::Engine &engine, ImportKind kind, QWidget *parent = nullptr);

    // Shows the window modally.
    void run();

    ImportKind kind() const { return m_kind; }
    quint32 formatSelection() const { return m_selection; }
    const ImportResult &lastResult() const { return m_result; }

    static constexpr int kPreviewLines = 50;

protected:
    void reject() override;
    void done(int result) override;

private Q_SLOTS:
    void CmbFormatChange(int index);
    void BtnAddClick();
    void BtnEditClick();
    void BtnBrowseClick();
    void BtnImportClick();
    void BtnUndoClick();
    void BtnCancelImportClick();
    void EditFileExit();

private:
    db::Table *formats();
    void fillFormats();
    void refreshPreview();
    void refreshUndo();
    bool progress(int percent, const QString &status);
    void setBusy(bool busy);
    QString what() const; // "Customer" / "Product"

    db::Engine &m_engine;
    ImportKind m_kind;
    quint32 m_selection = 0;
    ImportFormatRecord m_format;
    QList<FormatEntry> m_entries;
    bool m_running = false;
    bool m_cancelRequested = false;
    QElapsedTimer m_sinceRepaint;
    ImportResult m_result;
    QString m_previewedFile;

    QComboBox *m_formatCombo;
    QPushButton *m_add;
    QPushButton *m_edit;
    QLineEdit *m_file;
    QTimer *m_fileTimer;
    QPushButton *m_browse;
    QLabel *m_encoding;
    QTableWidget *m_preview;
    QPlainTextEdit *m_skipped;
    QPushButton *m_import;
    QPushButton *m_undo;
    QPushButton *m_exit;
    QPushButton *m_help;
    QLabel *m_status;
    QProgressBar *m_progress;
    QPushButton *m_cancelImport;
};

} // namespace tallyra
