#pragma once
// The dialling dialog: waits a moment, activates the connection profile,
// shows its progress and closes itself once it is up; Cancel takes it down.
#include <QDialog>
#include <QString>

#include "platform/NetworkManager.h"

class QLabel;
class QTimer;

namespace velto {


class CDialupDialog : public QDialog {
    Q_OBJECT
public:
    struct Timing {
        int startMs = 5000;      // before dialling (timer 21)
        int closeMs = 5000;      // after the connection is up (timer 18)
        int terminateMs = 1000;  // "Terminating Connection..." before the hang-up
    };
    // profilePath: the profile named entry, empty when there is none.
    CDialupDialog(NetworkManager& nm, const QString& entry, const QString& profilePath, Timing timing,
                  QWidget* parent = nullptr);
    QString StatusText() const;
    // Shows the dialog and returns; finished() tells when it has closed.
    void open() override;

protected:
    void reject() override;  // Cancel, Esc, the close box

private:
    void Dial();
    void OnState(const QString& path, unsigned state, unsigned reason);
    void OnStage(const QString& path, NetworkManager::DialStage stage);
    void SetStatus(const QString& text);
    void Terminate();

    NetworkManager& m_nm;
    QString m_entry;
    QString m_profile;
    QString m_active;  // the active connection a dial produced
    Timing m_timing;
    QLabel* m_status;
    QTimer* m_start;
    QTimer* m_close;
    bool m_terminating = false;
    bool m_activating = false;  // NetworkManager has not answered the activation yet
    bool m_hangUpDue = false;   // the "Terminating" pause is over
};

}  // namespace velto
