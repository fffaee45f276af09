#pragma once

#include <QFont>
#include <QString>

namespace tallyra {

// The one font every report and document is shown and printed in. The shell applies the
// settings' FontName and FontSize at start-up and after "Report Font"; the viewer, printing and
// the page-length measurement read it from here.
class ReportFont
{
public:
    static constexpr const char *kDefaultFamily = "DejaVu Sans Mono";
    static constexpr int kDefaultPointSize = 10;

    // The report font as a QFont (family and point size; nothing else is kept).
    static QFont font();
    static QString family();
    static int pointSize();
    // Takes family and point size of `font` (a pixel-sized font keeps the current size).
    static void setFont(const QFont &font);
    // Applies the settings' values: the name when it is not blank, the size when above 0.
    static void apply(const QString &name, int pointSize);
    // The text of the preferences box: name, "@" and size without blanks ("DejaVu Sans Mono@10").
    static QString description();
    // Back to the default; for tests.
    static void reset();
};

} // namespace tallyra
