#pragma once

#include <QDialog>
#include <QFont>

class QComboBox;
class QFontComboBox;
class QLabel;

namespace tallyra {

// "Report Font": the family and size of the font reports print in. Reports use no style, weight
// or effects, so none is offered; the dialog starts on the given font's regular style.
class TReportFontDialog : public QDialog
{
    Q_OBJECT

public:
    explicit TReportFontDialog(const QFont &current, QWidget *parent = nullptr);

    // The chosen family and size, regular style.
    QFont selectedFont() const;

private:
    void updateSample();

    QFontComboBox *m_family;
    QComboBox *m_size;
    QLabel *m_sample;
};

} // namespace tallyra
