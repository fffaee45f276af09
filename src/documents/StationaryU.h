#pragma once

#include "Settings.h"
#include "Stationery.h"

#include <QDialog>
#include <functional>

class QButtonGroup;
class QLineEdit;
class QPushButton;

namespace tallyra {

class MoneyBox;

// "Stationery Setup": the letterhead part of the settings record (company name and address
// lines, their justification, the logo with its printed size, the top margin, the closing and
// signature lines). The window only moves texts between its boxes and a StationeryEntry.
class TStationary : public QDialog
{
    Q_OBJECT

public:
    // Stores the changed settings record; false with *error set when it could not.
    using Saver = std::function<bool(const SettingsRecord &settings, QString *error)>;

    explicit TStationary(QWidget *parent = nullptr);

    void setSaver(Saver saver) { m_saver = std::move(saver); }
    // Fills every box from the settings.
    void setValues(const SettingsRecord &settings);
    StationeryEntry entry() const;
    // Shows the window modally; true when the settings were saved.
    bool run();
    // The settings as last saved (or as given to setValues()).
    const SettingsRecord &values() const { return m_settings; }

public Q_SLOTS:
    void BtnLogoFileClick();
    void BtnSaveClick();
    void BtnCancelClick();

protected:
    void reject() override;

private:
    Saver m_saver;
    SettingsRecord m_settings;
    StationeryEntry m_shown;
    bool m_saved = false;

    QPushButton *m_logoButton;
    QLineEdit *m_logoFile;
    MoneyBox *m_topMargin;
    MoneyBox *m_logoHeight;
    MoneyBox *m_logoWidth;
    QLineEdit *m_company;
    QLineEdit *m_addr[4];
    QButtonGroup *m_justify;
    QLineEdit *m_closing;
    QLineEdit *m_signature;
    QPushButton *m_save;
    QPushButton *m_cancel;
};

} // namespace tallyra
