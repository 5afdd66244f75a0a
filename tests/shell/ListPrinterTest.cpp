#include <gtest/gtest.h>

#include <QFile>
#include <QPainter>
#include <QPdfWriter>
#include <QStandardItemModel>

#include "shell/ListPrinter.h"
#include "support/TestEnvironment.h"

namespace velto {
namespace {

// Paints the job into a PDF; returns the page count it reported and the
// number of pages in the file.
std::pair<int, int> PrintToPdf(const ListPrintJob& job, int* perPage) {
    const QString path = QString::fromStdString(test::MakeTempDir("print") + "/list.pdf");
    int pages = 0;
    {
        QPdfWriter writer(path);
        writer.setPageSize(QPageSize(QPageSize::A6));
        writer.setResolution(300);
        QPainter painter(&writer);
        QFont font("Arial");
        font.setPointSize(9);
        painter.setFont(font);
        *perPage = RowsPerPage(painter, writer.height());
        pages = PrintList(painter, QRect(0, 0, writer.width(), writer.height()), job,
                          [&] { return writer.newPage(); });
    }
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray pdf = file.readAll();
    return {pages, static_cast<int>(pdf.count("/Type /Page") - pdf.count("/Type /Pages"))};
}

TEST(ListPrinter, RowsFlowOntoAsManyPagesAsTheyNeed) {
    QStandardItemModel model(0, 5);
    model.setHorizontalHeaderLabels({"Subject", "Sender", "Date", "Size", "MailBox"});
    ListPrintJob job{&model, "VeltoMail 98 - All MailBoxes - 0 Messages", {200, 200, 150, 100, 200}};
    int perPage = 0;
    // An empty list still prints its heading on one page.
    EXPECT_EQ(PrintToPdf(job, &perPage), std::make_pair(1, 1));
    ASSERT_GT(perPage, 5);
    for (int r = 0; r < 2 * perPage + 1; ++r)
        model.appendRow({new QStandardItem(QString("Subject %1").arg(r)), new QStandardItem("Ann"),
                         new QStandardItem("12/07/1998 14:05:09"), new QStandardItem("120 Bytes"),
                         new QStandardItem("pop.example.com")});
    EXPECT_EQ(PrintToPdf(job, &perPage), std::make_pair(3, 3));
    model.removeRow(0);
    EXPECT_EQ(PrintToPdf(job, &perPage), std::make_pair(2, 2));
}

}  // namespace
}  // namespace velto
