#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

namespace tallyra {

// "About Tallyra <version>": the program's name, version and purpose. At start-up it is shown as
// a splash, without its "OK" button; from the "&Help" menu it is shown modally with "OK".
class TAboutForm : public QDialog
{
    Q_OBJECT

public:
    explicit TAboutForm(QWidget *parent = nullptr);

    // Shows the window without waiting, "OK" hidden, painted at once.
    void showSplash();
    // Closes the splash; "OK" is shown again.
    void closeSplash();
    bool isSplash() const { return m_splash; }

    // The modal About window with its "OK" button.
    void showAbout();

private:
    bool m_splash = false;
    QPushButton *m_ok;
};

} // namespace tallyra
