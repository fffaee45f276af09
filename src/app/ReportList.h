#pragma once

// The report list of the "Report Generation" page: eight category buttons, each filling the list
// with a title row and its entries, and the rule that sizes and places the list on the page.

#include "MainCommands.h"

#include <QList>
#include <QRect>
#include <QSize>
#include <QString>

namespace tallyra {

struct ReportEntry
{
    QString text;
    Command command;
};

struct ReportCategory
{
    QString button; // the button's caption
    QString title;  // the list's first, fixed row
    QList<ReportEntry> entries;

    // Title row plus one row per entry.
    int rows() const { return entries.size() + 1; }
    // Characters of the longest text among title and entries.
    int longestText() const;
};

// The eight categories in button order (report kind 1 to 8): "Invoices", "Bills", "Statements",
// "Sales Reports", "Inventory Reports", "Customer Profile", "Address Labels", "Bulk Mail".
const QList<ReportCategory> &reportCategories();

// The list's place on a page of `page` size, for `rows` rows of `rowHeight` pixels (grid line
// excluded) and a widest text of `width` pixels (margins included), both measured in the list's
// own font:
//   height = rows * (rowHeight + 1) + 3,
//   left = floor(0.75 * page width) - floor(width / 2), top = floor(page height / 2) - floor(height / 2),
// moved left, and then up, as far as needed to stay on the page.
// The column is as wide as the list.
QRect reportListGeometry(int rows, int rowHeight, int width, const QSize &page);

} // namespace tallyra
