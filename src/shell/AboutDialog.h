#pragma once
// "About Velto Mail": the program's name and version 1.1 beside its icon,
// and credits that crawl upwards through a window a few lines high.
#include <QDialog>

class QScrollArea;
class QTimer;

namespace velto {

class CAboutDlg : public QDialog {
    Q_OBJECT
public:
    // Lines of credits in view at once, and the crawl's pace.
    static constexpr int kVisibleLines = 6;
    static constexpr int kStepMs = 45;

    explicit CAboutDlg(QWidget* parent = nullptr);

    QScrollArea* Credits() const { return m_credits; }
    // Moves the credits one pixel on; after the last line has gone out at
    // the top they start again from below.
    void Step();

signals:
    // Closing the box stops a sound that is still playing.
    void closed();

protected:
    void done(int result) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QScrollArea* m_credits;
    QTimer* m_crawl;
};

}  // namespace velto
