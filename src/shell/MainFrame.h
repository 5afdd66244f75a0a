#pragma once
#include <QMainWindow>

namespace velto {

class CMainFrame : public QMainWindow {
    Q_OBJECT
public:
    explicit CMainFrame(QWidget* parent = nullptr);
};

}  // namespace velto
