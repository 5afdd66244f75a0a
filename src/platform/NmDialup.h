#pragma once
// Dial-up networking on a Linux desktop: NetworkManager's connection
// profiles of the kinds a user dials (VPN, mobile broadband, PPPoE, ...)
// are the entries, its active connections of those kinds the connections; the
// dialling dialog activates the profile named "Active RAS". Where no
// NetworkManager answers, listing connections fails (the engine then counts
// as online), no entries are offered and nothing is dialled.
#include <QDBusConnection>
#include <QObject>
#include <QPointer>
#include <QString>
#include <functional>
#include <vector>

#include "engine/EngineServices.h"
#include "platform/DialupDialog.h"
#include "platform/NetworkManager.h"

class QWidget;

namespace velto {

class NmDialup : public QObject, public IDialup {
    Q_OBJECT
public:
    // RAS's "the service is not available" status.
    static constexpr long kServiceUnavailable = 711;
    static constexpr long kInvalidHandle = 6;

    explicit NmDialup(QDBusConnection bus = QDBusConnection::systemBus(), CDialupDialog::Timing timing = {},
                      QObject* parent = nullptr);
    ~NmDialup() override;
    void SetDialogParent(QWidget* parent) { m_parent = parent; }

    long EnumConnections(std::vector<DialupConnection>& connections) override;
    void EnumEntryNames(std::vector<std::string>& names) override;
    // One dialog at a time: a call while one is open is told when it closes.
    void RunDialDialog(const std::string& entry, std::function<void()> closed) override;
    long HangUp(long handle) override;
    void WhenKnown(std::function<void()> then) override;
    bool HasConnectivity() override;
    void SetNetworkListener(std::function<void()> connectivityBack, std::function<void()> resumed) override;

    NetworkManager& Manager() { return m_nm; }

private slots:
    void OnPrepareForSleep(bool sleeping);

private:
    void OpenDialog(const std::string& entry);

    NetworkManager m_nm;
    CDialupDialog::Timing m_timing;
    QWidget* m_parent = nullptr;
    QPointer<CDialupDialog> m_dialog;
    std::vector<std::function<void()>> m_closed;  // told when the dialog has closed
    std::vector<QString> m_handles;  // active connection paths, by handle
    std::function<void()> m_connectivityBack, m_resumed;
    unsigned m_lastState = 0;
};

}  // namespace velto
