#include "app/CorvaneApp.h"

#include <QApplication>

#include "shell/MainFrame.h"

namespace velto {

int CCorvaneApp::Main(int argc, char** argv) {
    QApplication app(argc, argv);
    CMainFrame frame;
    frame.show();
    return app.exec();
}

}  // namespace velto
