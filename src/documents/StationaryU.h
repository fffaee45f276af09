#pragma once

#include "EntryForm.h"
#include "Settings.h"
#include "Stationery.h"

#include <functional>

class QButtonGroup;
class QLineEdit;
class QPushButton;

namespace tallyra {

class MoneyBox;

// "Stationery Setup": the letterhead part of the settings record (company name and address
// lines, their justification, the logo with its printed size, the top margin, the closing and
// signature lines). The window only moves texts between its boxes and a StationeryEntry.
class TStationary : public TEntryForm
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

private:
    void BtnSaveClick() override;
    // Any text of the form changed since setValues() (the logo file's path included).
    bool hasUnsavedChanges() override;

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
};

} // namespace tallyra
