#pragma once

// Where the next label goes on each stock's partly used sheet, remembered between runs. Kept in
// "LabelPositions.ini" in the data directory (LABELS keeps the layout other dBASE tools know).

#include <QPoint>
#include <QString>

namespace tallyra {

inline constexpr const char *kLabelPositionsFile = "LabelPositions.ini";

// The column and row (1-based) after the last label printed on `stock` in `dataDir`; (1, 1) when
// none is remembered.
QPoint rememberedLabelPosition(const QString &dataDir, const QString &stock);
// Remembers `next` for `stock`. False when the file cannot be written.
bool rememberLabelPosition(const QString &dataDir, const QString &stock, const QPoint &next);

} // namespace tallyra
