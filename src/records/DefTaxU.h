#pragma once

#include "EntryForm.h"
#include "InvoiceModel.h"

#include <functional>

class QButtonGroup;
class QLineEdit;

namespace tallyra {

class MoneyBox;

// "Tax Definition": the captions and rates of the two charge lines of every invoice, whether the
// second is charged on the first, and how computed amounts are rounded.
class TTaxDef : public TEntryForm
{
    Q_OBJECT

public:
    // Stores the settings (the whole settings record); false with *error set when it could not.
    using Saver = std::function<bool(const ChargeSettings &settings, QString *error)>;

    explicit TTaxDef(QWidget *parent = nullptr);

    void setSaver(Saver saver) { m_saver = std::move(saver); }
    void setValues(const ChargeSettings &settings);
    // The settings as the form holds them (captions trimmed).
    ChargeSettings values() const;
    // Shows the form modally; true when the settings were saved.
    bool run();

private:
    void BtnSaveClick() override;

    Saver m_saver;
    ChargeSettings m_settings;
    bool m_saved = false;
    QLineEdit *m_shipLine;
    QLineEdit *m_taxLine;
    MoneyBox *m_rate1;
    MoneyBox *m_rate2;
    QButtonGroup *m_shipTax;
    QButtonGroup *m_taxRound;
};

} // namespace tallyra
