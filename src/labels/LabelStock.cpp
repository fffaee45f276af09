#include "LabelStock.h"

namespace tallyra {

QString labelStockProblem(const LabelRecord &stock)
{
    if (stock.NAcross < 1)
        return QStringLiteral("No. Labels Across: at least 1 label across is needed.");
    if (stock.Width <= 0)
        return QStringLiteral("Width: the label width must be above 0.");
    if (stock.Height <= 0)
        return QStringLiteral("Height: the label height must be above 0.");
    if (stock.Height + stock.VGap <= 0)
        return QStringLiteral("Vertical Gap: the label height plus the vertical gap must be above 0.");
    for (double margin : {stock.TopM, stock.LeftM, stock.BottomM, stock.RightM, stock.HGap}) {
        if (margin < 0)
            return QStringLiteral("Margins and the horizontal gap cannot be below 0.");
    }
    return {};
}

QString formatDimension(double points)
{
    return QString::asprintf("%8.3f", points);
}

bool readDimension(const QString &text, double *points)
{
    QString bare = text;
    bare.remove(QLatin1Char(' '));
    bare.replace(QLatin1Char(','), QLatin1Char('.'));
    bool ok = false;
    const double value = bare.toDouble(&ok);
    if (ok)
        *points = value;
    return ok;
}

QString reformatDimension(const QString &text)
{
    QString bare = text;
    bare.remove(QLatin1Char(' '));
    double value = 0;
    if (!readDimension(bare, &value))
        return text; // left for "Save" to refuse, naming the box
    QString result = formatDimension(value);
    if (bare.startsWith(QLatin1Char('-')) && !(value < 0)) {
        result = QLatin1Char('-') + result.trimmed();
        while (result.size() < text.size())
            result.prepend(QLatin1Char(' '));
    }
    return result;
}

} // namespace tallyra
