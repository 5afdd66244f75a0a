#pragma once
// "About Velto Mail": version 1.1 and scrolling credits.
#include <QDialog>

class QLabel;
class QTimer;

namespace velto {

class CAboutDlg : public QDialog {
    Q_OBJECT
public:
    explicit CAboutDlg(QWidget* parent = nullptr);

signals:
    // Closing the box stops a sound that is still playing.
    void closed();

protected:
    void done(int result) override;

private:
    QLabel* m_credits;
    QTimer* m_scroll;
    int m_offset = 0;
};

}  // namespace velto
