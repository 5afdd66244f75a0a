#include "shell/MiscPage.h"

#include <QButtonGroup>
#include <QCoreApplication>
#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "shell/Autostart.h"
#include "shell/PageControls.h"
#include "shell/SheetPrompts.h"

namespace velto {

namespace {

// Whether the key holds a value of exactly that name (without creating it).
bool HasStoredValue(const std::string& path, const std::string& name) {
    auto hive = RegistryHive::Current();
    const auto key = hive->FindKey(path);
    if (!key) return false;
    RegValue value;
    for (std::uint32_t i = 0; hive->EnumValue(key, i, value) == kErrorSuccess; ++i)
        if (value.name == name) return true;
    return false;
}

}  // namespace

CMiscPage::CMiscPage(QWidget* parent) : CPropertyPage(parent) {
    auto* layout = new QVBoxLayout(this);

    auto* view = new QGroupBox("View Mail...", this);
    auto* viewLayout = new QVBoxLayout(view);
    m_viewType = new QButtonGroup(this);
    const char* const viewCaptions[] = {"Automatic", "As web page", "In Message Center"};
    for (int id = 0; id < 3; ++id) {
        auto* radio = new QRadioButton(viewCaptions[id], view);
        m_viewType->addButton(radio, id);
        viewLayout->addWidget(radio);
    }
    layout->addWidget(view);

    m_saveHeaders = new QCheckBox("Save headers Locally", this);
    m_startMinimized = new QCheckBox("Minimize on Startup", this);
    m_autoRemove = new QCheckBox("Auto Remove Unavailable Headers", this);
    m_startAtLogin = new QCheckBox("Start VeltoMail when I log in", this);
    m_quickCheck = new QCheckBox("Quick Check (ask for all message ids at once)", this);
    layout->addWidget(m_saveHeaders);
    layout->addWidget(m_startMinimized);
    layout->addWidget(m_startAtLogin);
    layout->addWidget(m_autoRemove);
    layout->addWidget(m_quickCheck);

    auto* logging = new QGridLayout;
    m_logEnabled = new QCheckBox("Enable Logging", this);
    m_logFile = new QLineEdit(this);
    m_logFile->setObjectName("logFileEdit");
    // Beside check boxes, not labels: named for screen readers here.
    m_logFile->setAccessibleName("Log file");
    LimitToStore(m_logFile);
    m_browse = new QPushButton("Browse", this);
    m_logStandard = new QCheckBox("Standard", this);
    m_logDebug = new QCheckBox("Debug", this);
    logging->addWidget(m_logEnabled, 0, 0);
    logging->addWidget(m_logFile, 0, 1);
    logging->addWidget(m_browse, 0, 2);
    auto* levels = new QHBoxLayout;
    levels->addWidget(m_logStandard);
    levels->addWidget(m_logDebug);
    levels->addStretch();
    logging->addLayout(levels, 1, 1);
    m_passwordProtect = new QCheckBox("Password Protect", this);
    m_password = new QLineEdit(this);
    m_password->setObjectName("passwordEdit");
    m_password->setAccessibleName("Protection password");
    m_password->setEchoMode(QLineEdit::Password);
    LimitToStore(m_password);
    logging->addWidget(m_passwordProtect, 2, 0);
    logging->addWidget(m_password, 2, 1);
    layout->addLayout(logging);
    layout->addStretch();

    // Shown with their stored values; nothing in the program acts on them.
    m_logEnabled->setEnabled(false);
    m_autoRemove->setEnabled(false);
    m_passwordProtect->setEnabled(false);

    connect(m_logEnabled, &QCheckBox::clicked, this, [this] {
        ReadControls();
        ApplyLoggingRule();
    });
    connect(m_passwordProtect, &QCheckBox::clicked, this, [this] {
        ReadControls();
        ApplyPasswordRule();
    });
    connect(m_browse, &QPushButton::clicked, this, [this] { BrowseFileInto(this, m_logFile, m_fields.logFile); });

    m_exchange.Bind(m_autoRemove, m_fields.autoRemove);
    m_exchange.Bind(m_logDebug, m_fields.logDebug);
    m_exchange.Bind(m_logEnabled, m_fields.logEnabled);
    m_exchange.Bind(m_passwordProtect, m_fields.passwordProtect);
    m_exchange.Bind(m_saveHeaders, m_fields.saveHeaders);
    m_exchange.Bind(m_logStandard, m_fields.logStandard);
    m_exchange.Bind(m_startMinimized, m_fields.startMinimized);
    m_exchange.Bind(m_startAtLogin, m_fields.startAtLogin);
    m_exchange.Bind(m_quickCheck, m_fields.quickCheck);
    m_exchange.Bind(m_logFile, m_fields.logFile);
    m_exchange.Bind(m_password, m_fields.password);

    // Open.
    m_options.Load(keys::kEnvironment);
    m_fields.autoRemove = m_options.m_autoRemove != 0;
    m_fields.logDebug = m_options.m_logDebug != 0;
    m_fields.logEnabled = m_options.m_logEnabled != 0;
    m_fields.passwordProtect = m_options.m_passwordProtect != 0;
    m_fields.saveHeaders = m_options.m_saveHeaders != 0;
    m_fields.logStandard = m_options.m_logStandard != 0;
    m_fields.startMinimized = m_options.m_startMinimized != 0;
    m_fields.quickCheck = m_options.m_quickCheck != 0;
    // Nothing stored: no way of viewing has been chosen yet.
    m_fields.viewType = HasStoredValue(keys::kEnvironment, "View Type") ? static_cast<int>(m_options.m_viewType) : -1;
    m_fields.logFile = FromSetting(m_options.GetLogFilename());
    m_fields.password = FromSetting(m_options.GetPassword());
    m_fields.startAtLogin = m_startsAtLogin = AutostartEnabled();
    WriteControls();
    ReadControls();
    ApplyLoggingRule();
    ReadControls();
    ApplyPasswordRule();
}

void CMiscPage::ReadControls() {
    m_exchange.Read();
    m_fields.viewType = m_viewType->checkedId();
}

void CMiscPage::WriteControls() {
    m_exchange.Write();
    SetCheckedRadio(m_viewType, m_fields.viewType);
}

void CMiscPage::ApplyLoggingRule() {
    m_logFile->setEnabled(m_fields.logEnabled);
    m_browse->setEnabled(m_fields.logEnabled);
    m_logStandard->setEnabled(m_fields.logEnabled);
    m_logDebug->setEnabled(m_fields.logEnabled);
}

void CMiscPage::ApplyPasswordRule() { m_password->setEnabled(m_fields.passwordProtect); }

void CMiscPage::OnApply() {
    ReadControls();
    m_options.m_autoRemove = m_fields.autoRemove;
    m_options.m_logDebug = m_fields.logDebug;
    m_options.m_logEnabled = m_fields.logEnabled;
    m_options.m_passwordProtect = m_fields.passwordProtect;
    m_options.m_saveHeaders = m_fields.saveHeaders;
    m_options.m_logStandard = m_fields.logStandard;
    m_options.m_startMinimized = m_fields.startMinimized;
    m_options.m_quickCheck = m_fields.quickCheck;
    // With no button chosen the stored (or default) way of viewing stays.
    if (m_fields.viewType >= 0) m_options.m_viewType = static_cast<std::uint32_t>(m_fields.viewType);
    m_options.SetLogFilename(ToSetting(m_fields.logFile));
    m_options.SetPassword(ToSetting(m_fields.password));
    m_options.Save(keys::kEnvironment);
    // The desktop's own entry, not a stored option: touched only on a change.
    if (m_fields.startAtLogin != m_startsAtLogin) {
        QString error;
        if (SetAutostart(m_fields.startAtLogin, QCoreApplication::applicationFilePath(), error)) {
            m_startsAtLogin = m_fields.startAtLogin;
        } else {
            SheetPrompts::Current().message(this, "The log-in start could not be changed: " + error,
                                            SheetPrompts::Kind::Warning);
        }
    }
}

}  // namespace velto
