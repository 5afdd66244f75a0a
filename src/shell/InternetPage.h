#pragma once
// "Internet Settings": dial-up, the check interval and start-up check, the
// online-only rule and the new-mail sound, kept under the Configuration key.
#include <QString>

#include "settings/Settings.h"
#include "shell/MailPropertySheet.h"
#include "shell/PageControls.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;

namespace velto {

class CUpDownEdit;
class IDialup;
class ISound;

class CInternetPage : public CPropertyPage {
    Q_OBJECT
public:
    // The up-down arrows keep to one minute .. one day.
    static constexpr int kIntervalMin = 1;
    static constexpr int kIntervalMax = 1440;
    // The longest interval the check timer can be armed with (its
    // milliseconds must fit a signed 32-bit number).
    static constexpr int kIntervalLimit = 35791;

    // Either service may be null: then no entries are listed / nothing plays.
    CInternetPage(ISound* sound, IDialup* dialup, QWidget* parent = nullptr);
    bool Validate() override;
    void OnApply() override;

private:
    struct Fields {
        bool autoDial = false, noDisconnect = false, autoScan = false, startupScan = false;
        bool strictScanning = false, soundOn = false;
        long long interval = 0;
        QString soundFile;
    };
    // False when the interval text is not a whole number (the other fields
    // are read all the same; the interval keeps its last value).
    bool ReadControls();
    void WriteControls();
    void ApplyDialupRule();
    // The entries the service knows; a list filled already is kept.
    void FillEntries(IDialup& dialup);
    void ApplySoundRule();
    void TestSound();
    void Warn(const QString& text);

    ISound* m_sound;
    ConfigurationOptions m_options;
    Fields m_fields;
    CFieldExchange m_exchange;
    QComboBox* m_entries;
    QCheckBox* m_autoDial;
    QCheckBox* m_noDisconnect;
    QCheckBox* m_autoScan;
    CUpDownEdit* m_interval;
    QCheckBox* m_startupScan;
    QCheckBox* m_strictScanning;
    QCheckBox* m_soundOn;
    QLineEdit* m_soundFile;
    QPushButton* m_test;
    QPushButton* m_browse;
};

}  // namespace velto
