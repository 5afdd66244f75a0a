#include "shell/ListPrinter.h"

#include <QAbstractItemModel>
#include <QFontMetrics>
#include <QPainter>
#include <algorithm>
#include <numeric>

namespace velto {

namespace {

int LineHeight(QPainter& painter) { return painter.fontMetrics().height() * 5 / 4; }

// Title, captions and a gap above the rows; the page number below them.
constexpr int kHeaderLines = 3;
constexpr int kFooterLines = 2;

}  // namespace

int RowsPerPage(QPainter& painter, int pageHeight) {
    return std::max(1, pageHeight / LineHeight(painter) - kHeaderLines - kFooterLines);
}

int PrintList(QPainter& painter, const QRect& page, const ListPrintJob& job, const std::function<bool()>& newPage) {
    const QAbstractItemModel& model = *job.model;
    const int rows = model.rowCount();
    const int columns = model.columnCount();
    const int line = LineHeight(painter);
    const int perPage = RowsPerPage(painter, page.height());
    const int pages = std::max(1, (rows + perPage - 1) / perPage);

    // Column edges, the list's own widths scaled to the page.
    std::vector<int> widths(static_cast<std::size_t>(columns), 1);
    for (int c = 0; c < columns && c < static_cast<int>(job.columnWidths.size()); ++c)
        widths[static_cast<std::size_t>(c)] = std::max(1, job.columnWidths[static_cast<std::size_t>(c)]);
    const int total = std::accumulate(widths.begin(), widths.end(), 0);
    std::vector<QRect> cells;
    int x = page.left();
    for (int c = 0; c < columns; ++c) {
        const long long share = widths[static_cast<std::size_t>(c)];
        const int w = static_cast<int>(share * page.width() / total);
        cells.emplace_back(x, 0, w, line);
        x += w;
    }
    const QFont plain = painter.font();
    QFont bold = plain;
    bold.setBold(true);
    const int gap = std::max(1, line / 4);

    auto drawRow = [&](int y, auto&& text, const QFont& font) {
        painter.setFont(font);
        const QFontMetrics metrics = painter.fontMetrics();
        for (int c = 0; c < columns; ++c) {
            QRect cell = cells[static_cast<std::size_t>(c)].translated(0, y).adjusted(0, 0, -gap, 0);
            const QString shown = metrics.elidedText(text(c), Qt::ElideRight, cell.width());
            painter.drawText(cell, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, shown);
        }
    };

    for (int p = 0; p < pages; ++p) {
        if (p > 0 && !newPage()) return p;
        int y = page.top();
        painter.setFont(bold);
        painter.drawText(QRect(page.left(), y, page.width(), line), Qt::AlignLeft | Qt::AlignVCenter,
                         painter.fontMetrics().elidedText(job.title, Qt::ElideRight, page.width()));
        y += line;
        drawRow(y, [&](int c) { return model.headerData(c, Qt::Horizontal, Qt::DisplayRole).toString(); }, bold);
        y += line;
        painter.drawLine(page.left(), y - 1, page.right(), y - 1);
        y += line;
        const int first = p * perPage;
        for (int r = first; r < std::min(rows, first + perPage); ++r, y += line)
            drawRow(y, [&](int c) { return model.data(model.index(r, c), Qt::DisplayRole).toString(); }, plain);
        painter.setFont(plain);
        painter.drawText(QRect(page.left(), page.bottom() - line, page.width(), line), Qt::AlignCenter,
                         QString("Page %1 of %2").arg(p + 1).arg(pages));
    }
    return pages;
}

}  // namespace velto
