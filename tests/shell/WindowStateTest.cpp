#include <vector>
#include <gtest/gtest.h>

#include <QDockWidget>
#include <QFile>
#include <QHeaderView>
#include <QGuiApplication>
#include <QScreen>

#include "shell/FrameHarness.h"
#include "shell/MessageListView.h"
#include "shell/UtilityBar.h"
#include "shell/WindowState.h"
#include "support/TestEnvironment.h"

namespace velto {
namespace {

using test::FrameHarness;

void Settle() {
    for (int i = 0; i < 5; ++i) QCoreApplication::processEvents();
}

QString TempFile(const char* name) { return QString::fromStdString(test::MakeTempDir("velto-state")) + "/" + name; }

void WriteText(const QString& path, const QByteArray& text) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(text);
}

TEST(FrameLayoutFile, RoundTripsAndIgnoresWhatItCannotUse) {
    const QString path = TempFile("sub/window.ini");  // the folder is made
    FrameLayout written;
    written.geometry = QByteArray("\x01\x02\x00\xff", 4);
    written.columns = {250, 180, 140, 60, 120};
    written.utilityArea = Qt::NoDockWidgetArea;
    written.utilityAcross = QSize(900, 140);
    written.utilityFloating = QSize(300, 200);
    ASSERT_TRUE(WriteFrameLayout(path, written));
    FrameLayout read;
    ASSERT_TRUE(ReadFrameLayout(path, read));
    EXPECT_EQ(read, written);

    struct Row {
        const char* text;
        bool usable;
        QList<int> columns;
        Qt::DockWidgetArea area;
        QSize across;
    };
    const Row rows[] = {
        {"", false, {}, Qt::BottomDockWidgetArea, {}},
        {"[MainWindow]\nColumns=10, x, 30\n[UtilityWindow]\nSide=left\n", true, {}, Qt::LeftDockWidgetArea, {}},
        {"[UtilityWindow]\nSide=sideways\nTopOrBottom=@Size(-3 40)\n", true, {}, Qt::BottomDockWidgetArea, {}},
        {"[UtilityWindow]\nSide=top\nTopOrBottom=@Size(500 90)\n", true, {}, Qt::TopDockWidgetArea, {500, 90}},
    };
    for (const Row& row : rows) {
        const QString file = TempFile("window.ini");
        WriteText(file, row.text);
        FrameLayout layout = written;
        EXPECT_EQ(ReadFrameLayout(file, layout), row.usable) << row.text;
        if (!row.usable) {
            EXPECT_EQ(layout, written) << row.text;  // left as it was
            continue;
        }
        EXPECT_EQ(std::vector<int>(layout.columns.begin(), layout.columns.end()),
                  std::vector<int>(row.columns.begin(), row.columns.end()))
            << row.text;
        EXPECT_EQ(layout.utilityArea, row.area) << row.text;
        EXPECT_EQ(layout.utilityAcross, row.across) << row.text;
    }
    FrameLayout untouched = written;
    EXPECT_FALSE(ReadFrameLayout(TempFile("missing.ini"), untouched));
    EXPECT_EQ(untouched, written);
}

QList<int> Columns(const FrameHarness& h) {
    QList<int> widths;
    for (int c = 0; c < h.frame.ListView()->header()->count(); ++c) widths << h.frame.ListView()->columnWidth(c);
    return widths;
}

TEST(FrameLayoutFile, TheWindowComesBackAsTheUserLeftItOnEverySide) {
    struct Row {
        Qt::DockWidgetArea area;
        int size;  // the bar's extent across its side
    };
    for (const Row& row : {Row{Qt::LeftDockWidgetArea, 260}, Row{Qt::RightDockWidgetArea, 180},
                           Row{Qt::TopDockWidgetArea, 150}, Row{Qt::BottomDockWidgetArea, 210}}) {
        const bool across = row.area == Qt::TopDockWidgetArea || row.area == Qt::BottomDockWidgetArea;
        const QString path = TempFile("window.ini");
        QSize client;
        {
            FrameHarness h;
            h.frame.SetLayoutFile(path);
            h.view().OnInitialUpdate();
            h.frame.show();
            h.frame.resize(760, 540);
            Settle();
            h.frame.addDockWidget(row.area, h.frame.Utility());
            h.frame.resizeDocks({h.frame.Utility()}, {row.size}, across ? Qt::Vertical : Qt::Horizontal);
            for (int c = 0; c < 5; ++c) h.frame.ListView()->setColumnWidth(c, 70 + 10 * c);
            Settle();
            client = h.frame.Utility()->widget()->size();
            h.frame.close();
        }
        FrameHarness h;
        h.frame.SetLayoutFile(path);
        h.view().OnInitialUpdate();  // builds the columns at their first widths
        h.frame.show();
        Settle();
        EXPECT_EQ(h.frame.size(), QSize(760, 540)) << row.area;
        EXPECT_EQ(h.frame.dockWidgetArea(h.frame.Utility()), row.area);
        const QSize now = h.frame.Utility()->widget()->size();
        EXPECT_EQ(across ? now.height() : now.width(), across ? client.height() : client.width()) << row.area;
        EXPECT_EQ(Columns(h), (QList<int>{70, 80, 90, 100, 110})) << row.area;
    }
}

TEST(FrameLayoutFile, TheUtilityWindowIsShownOnEveryRunEvenIfHiddenAtTheEnd) {
    const QString path = TempFile("window.ini");
    {
        FrameHarness h;
        h.frame.SetLayoutFile(path);
        h.frame.show();
        h.frame.addDockWidget(Qt::RightDockWidgetArea, h.frame.Utility());
        h.frame.Action(ID_UTILITY_WINDOW)->trigger();
        Settle();
        ASSERT_FALSE(h.frame.Utility()->isVisible());
        h.frame.close();
    }
    FrameHarness h;
    h.frame.SetLayoutFile(path);
    h.frame.show();
    Settle();
    EXPECT_TRUE(h.frame.Utility()->isVisible());
    EXPECT_TRUE(h.frame.UtilityVisible());
    EXPECT_EQ(h.frame.dockWidgetArea(h.frame.Utility()), Qt::RightDockWidgetArea);
}

TEST(FrameLayoutFile, WithoutOneTheWindowFitsTheScreen) {
    FrameHarness h;
    h.frame.SetLayoutFile(TempFile("missing.ini"));
    const QSize room = QGuiApplication::primaryScreen()->availableGeometry().size();
    EXPECT_LE(h.frame.width(), room.width());
    EXPECT_LE(h.frame.height(), room.height());
    EXPECT_GE(h.frame.width(), std::min(room.width() * 9 / 10, 900));
}

TEST(FrameLayoutFile, HidingIntoTheTrayKeepsThePlaceAndWritesTheFile) {
    const QString path = TempFile("window.ini");
    FrameHarness h;
    h.frame.SetLayoutFile(path);
    h.view().OnInitialUpdate();
    h.frame.setGeometry(120, 90, 640, 420);
    h.frame.show();
    Settle();
    const QRect placed = h.frame.geometry();
    h.frame.hide();
    FrameLayout saved;
    ASSERT_TRUE(ReadFrameLayout(path, saved));
    EXPECT_EQ(saved, h.frame.Layout());
    // The desktop would put a window shown again wherever it likes.
    h.frame.setGeometry(0, 0, 300, 200);
    h.frame.ShowMainWindow();
    Settle();
    EXPECT_EQ(h.frame.geometry(), placed);
}

}  // namespace
}  // namespace velto
