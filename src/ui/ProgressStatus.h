#pragma once

#include <QStatusBar>

class QLabel;

namespace tallyra {

// The bar panel of the progress display: 110 pixels wide. A percentage p paints a blue rectangle
// from x = 5 to x = 5 + p (one pixel per percent, right edge excluded), from y = 3 to one pixel
// above the panel's bottom; 0 leaves the area x = 5 .. 105 silver.
class ProgressPanel : public QWidget
{
    Q_OBJECT

public:
    static constexpr int kWidth = 110;
    static constexpr int kLeft = 5;
    static constexpr int kTop = 3;

    explicit ProgressPanel(QWidget *parent = nullptr);

    int percent() const { return m_percent; }
    // Paints the new percentage at once (0 to 100; other values are limited to that range).
    void setPercent(int percent);
    // The area the bar is drawn in.
    QRect barArea() const;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    int m_percent = 0;
};

// The main window's status bar: panel 0 the progress bar, panel 1 a text. Long operations run on
// the interface thread and report here; each change is painted at once (paint only: no user
// input is processed meanwhile).
class ProgressStatus : public QStatusBar
{
    Q_OBJECT

public:
    explicit ProgressStatus(QWidget *parent = nullptr);
    ~ProgressStatus() override;

    // Shows the message, clears the bar and repaints the window.
    void start(const QString &message);
    // Paints the bar to `percent`; 0 clears it.
    void set(int percent);
    // Start with an empty message.
    void end();
    // Shows a closing message ("Indexes rebuilt") that clears itself after `milliseconds`
    // unless another message replaced it meanwhile.
    void say(const QString &message, int milliseconds);

    QString message() const;
    int percent() const;
    ProgressPanel *panel() const { return m_panel; }

    // The display long operations report to: the last one made (the main window's). nullptr when
    // none exists (command-line tools, tests without a main window).
    static ProgressStatus *current();

private:
    ProgressPanel *m_panel;
    QLabel *m_text;
};

// The progress display for code that has no main window at hand: forwards to
// ProgressStatus::current(), and does nothing when there is none.
void progressStart(const QString &message);
void progressSet(int percent);
void progressEnd();

} // namespace tallyra
