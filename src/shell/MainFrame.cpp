#include "shell/MainFrame.h"

namespace velto {

CMainFrame::CMainFrame(QWidget* parent) : QMainWindow(parent) { setWindowTitle("VeltoMail 98"); }

}  // namespace velto
