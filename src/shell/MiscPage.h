#pragma once
// "Environment": how a message is viewed, header saving, start-up minimised,
// and the logging and password options (stored, not acted on), kept under
// the Environment key; and whether the desktop starts the program at log-in.
#include <QString>

#include "settings/Settings.h"
#include "shell/MailPropertySheet.h"
#include "shell/PageControls.h"

class QButtonGroup;
class QCheckBox;
class QLineEdit;
class QPushButton;

namespace velto {

class CMiscPage : public CPropertyPage {
    Q_OBJECT
public:
    explicit CMiscPage(QWidget* parent = nullptr);
    void OnApply() override;

private:
    struct Fields {
        bool autoRemove = false, logDebug = false, logEnabled = false, passwordProtect = false;
        bool saveHeaders = false, logStandard = false, startMinimized = false, startAtLogin = false;
        bool quickCheck = false;
        int viewType = -1;  // -1: no view button chosen
        QString logFile, password;
    };
    void ReadControls();
    void WriteControls();
    void ApplyLoggingRule();
    void ApplyPasswordRule();

    EnvironmentOptions m_options;
    Fields m_fields;
    CFieldExchange m_exchange;
    QButtonGroup* m_viewType;
    QCheckBox* m_autoRemove;
    QCheckBox* m_logDebug;
    QCheckBox* m_logEnabled;
    QCheckBox* m_passwordProtect;
    QCheckBox* m_saveHeaders;
    QCheckBox* m_logStandard;
    QCheckBox* m_startMinimized;
    QCheckBox* m_startAtLogin;
    QCheckBox* m_quickCheck;
    bool m_startsAtLogin = false;  // whether the autostart entry is there
    QLineEdit* m_logFile;
    QPushButton* m_browse;
    QLineEdit* m_password;
};

}  // namespace velto
