#pragma once
// The modeless Get Mail window: a status line, a smooth progress bar and
// Cancel (also Esc and the close box). Cancel tells the engine and the
// window goes away.
#include <QDialog>
#include <functional>

class QLabel;
class QProgressBar;

namespace velto {

class CGetMailProgressDlg : public QDialog {
    Q_OBJECT
public:
    explicit CGetMailProgressDlg(std::function<void()> onCancel, QWidget* parent = nullptr);
    void SetStatusText(const QString& text);
    void SetRange(int upper);
    void Advance(int step);
    void ResetRange();
    QString StatusText() const;
    int Position() const;
    int Maximum() const;

protected:
    void reject() override;  // Cancel, Esc, the close box

private:
    std::function<void()> m_onCancel;
    QLabel* m_status;
    QProgressBar* m_bar;
};

}  // namespace velto
