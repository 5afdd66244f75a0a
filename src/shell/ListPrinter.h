#pragma once
// Printing the message list: each page has the window's title, the column
// captions, one line per shown row (cells cut with an ellipsis), and
// "Page n of m" at its foot.
#include <QRect>
#include <QString>
#include <functional>
#include <vector>

class QAbstractItemModel;
class QPainter;

namespace velto {

struct ListPrintJob {
    const QAbstractItemModel* model = nullptr;
    QString title;
    std::vector<int> columnWidths;  // relative; scaled to the page width
};

// Rows that fit on one page of the given height with the painter's font.
int RowsPerPage(QPainter& painter, int pageHeight);
// Paints every page into the painter's device; newPage starts the next one
// (false stops the job). Returns the number of pages painted.
int PrintList(QPainter& painter, const QRect& page, const ListPrintJob& job, const std::function<bool()>& newPage);

}  // namespace velto
