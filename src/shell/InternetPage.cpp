#include "shell/InternetPage.h"

#include <QPointer>

#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <string>
#include <vector>

#include "engine/EngineServices.h"
#include "shell/PageControls.h"
#include "shell/SheetPrompts.h"
#include "shell/UpDownEdit.h"

namespace velto {

CInternetPage::CInternetPage(ISound* sound, IDialup* dialup, QWidget* parent)
    : CPropertyPage(parent), m_sound(sound) {
    auto* layout = new QVBoxLayout(this);

    auto* connection = new QGroupBox("Connection", this);
    auto* connectionLayout = new QVBoxLayout(connection);
    m_entries = new QComboBox(connection);
    m_entries->setObjectName("dialupEntryList");
    auto* entriesCaption = new QLabel("Dial-up connection", connection);
    entriesCaption->setBuddy(m_entries);
    connectionLayout->addWidget(entriesCaption);
    m_autoDial = new QCheckBox("Enable Automatic Dialup Connection", connection);
    m_noDisconnect = new QCheckBox("Don't Hang Up After Checking", connection);
    connectionLayout->addWidget(m_entries);
    connectionLayout->addWidget(m_autoDial);
    connectionLayout->addWidget(m_noDisconnect);
    layout->addWidget(connection);

    auto* every = new QHBoxLayout;
    m_autoScan = new QCheckBox("Check Mail Every", this);
    m_interval = new CUpDownEdit(this);
    m_interval->setObjectName("intervalEdit");
    every->addWidget(m_autoScan);
    every->addWidget(m_interval);
    auto* minutes = new QLabel("Minutes", this);
    minutes->setBuddy(m_interval);
    m_interval->setAccessibleName("Minutes between checks");
    every->addWidget(minutes);
    every->addStretch();
    layout->addLayout(every);
    m_startupScan = new QCheckBox("Check Mail on Startup", this);
    m_strictScanning = new QCheckBox("Check Mail Only When Online", this);
    layout->addWidget(m_startupScan);
    layout->addWidget(m_strictScanning);

    m_soundOn = new QCheckBox("Play Sound on New Mail", this);
    layout->addWidget(m_soundOn);
    auto* soundRow = new QHBoxLayout;
    m_soundFile = new QLineEdit(this);
    m_soundFile->setObjectName("soundFileEdit");
    LimitToStore(m_soundFile);
    m_test = new QPushButton("|||>", this);
    m_test->setAccessibleName("Play the sound");
    auto* soundCaption = new QLabel("Sound file", this);
    soundCaption->setBuddy(m_soundFile);
    soundRow->addWidget(soundCaption);
    m_browse = new QPushButton("Browse", this);
    soundRow->addWidget(m_soundFile);
    soundRow->addWidget(m_test);
    soundRow->addWidget(m_browse);
    layout->addLayout(soundRow);
    layout->addStretch();

    connect(m_autoDial, &QCheckBox::clicked, this, [this] {
        ReadControls();
        ApplyDialupRule();
    });
    connect(m_soundOn, &QCheckBox::clicked, this, [this] {
        ReadControls();
        ApplySoundRule();
    });
    connect(m_test, &QPushButton::clicked, this, [this] { TestSound(); });
    connect(m_browse, &QPushButton::clicked, this, [this] { BrowseFileInto(this, m_soundFile, m_fields.soundFile); });

    m_exchange.Bind(m_autoDial, m_fields.autoDial);
    m_exchange.Bind(m_noDisconnect, m_fields.noDisconnect);
    m_exchange.Bind(m_autoScan, m_fields.autoScan);
    m_exchange.Bind(m_startupScan, m_fields.startupScan);
    m_exchange.Bind(m_strictScanning, m_fields.strictScanning);
    m_exchange.Bind(m_soundOn, m_fields.soundOn);
    m_exchange.Bind(m_soundFile, m_fields.soundFile);

    // Open.
    m_options.Load(keys::kConfiguration);
    m_interval->SetRange(kIntervalMin, kIntervalMax);
    // The network service may not have answered yet (the first start's
    // sheet opens at once): the entries come when it has.
    if (dialup) dialup->WhenKnown([self = QPointer<CInternetPage>(this), dialup] {
        if (self) self->FillEntries(*dialup);
    });

    m_fields.noDisconnect = m_options.m_noDisconnect != 0;
    m_fields.autoScan = m_options.m_autoScan != 0;
    m_fields.interval = m_options.m_checkMailInterval;
    m_fields.startupScan = m_options.m_startupScan != 0;
    m_fields.strictScanning = m_options.m_strictScanning != 0;
    m_fields.soundOn = m_options.m_enableSound != 0;
    m_fields.soundFile = FromSetting(m_options.GetSoundFilename());
    m_fields.autoDial = m_options.m_enableDialup != 0;
    WriteControls();
    ReadControls();
    ApplyDialupRule();
    ApplySoundRule();
}

bool CInternetPage::ReadControls() {
    m_exchange.Read();
    bool whole = false;
    const long long interval = m_interval->Text().trimmed().toLongLong(&whole);
    if (whole) m_fields.interval = interval;
    return whole;
}

void CInternetPage::WriteControls() {
    m_exchange.Write();
    m_interval->SetText(QString::number(m_fields.interval));
}

void CInternetPage::ApplyDialupRule() {
    m_entries->setEnabled(m_fields.autoDial);
    m_noDisconnect->setEnabled(m_fields.autoDial);
}

void CInternetPage::ApplySoundRule() {
    m_soundFile->setEnabled(m_fields.soundOn);
    m_test->setEnabled(m_fields.soundOn);
    m_browse->setEnabled(m_fields.soundOn);
}

void CInternetPage::TestSound() {
    // Plays the path as the page last read it, not what the edit shows now.
    QString path = m_fields.soundFile;
    if (path.endsWith(QLatin1Char('\\')) || path.endsWith(QLatin1Char('/'))) path.chop(1);
    if (m_sound && !path.isEmpty() && QFileInfo(path).isFile()) m_sound->PlayAsync(ToSetting(path));
}


void CInternetPage::Warn(const QString& text) {
    SheetPrompts::Current().message(this, text, SheetPrompts::Kind::Warning);
}

bool CInternetPage::Validate() {
    if (!ReadControls()) {
        Warn("Please enter an integer.");
        m_interval->setFocus();
        return false;
    }
    // Beyond the limit the check timer's milliseconds overflow; no interval
    // at all while checking is on would check without pause.
    const long long minutes = m_fields.interval;
    if (minutes < 0 || minutes > kIntervalLimit || (minutes == 0 && m_fields.autoScan)) {
        Warn(QString("Please enter an integer between %1 and %2.").arg(kIntervalMin).arg(kIntervalLimit));
        m_interval->setFocus();
        return false;
    }
    return true;
}

void CInternetPage::OnApply() {
    ReadControls();
    m_options.m_enableDialup = m_fields.autoDial;
    m_options.m_autoScan = m_fields.autoScan;
    m_options.m_noDisconnect = m_fields.noDisconnect;
    m_options.m_startupScan = m_fields.startupScan;
    m_options.m_checkMailInterval = static_cast<std::uint32_t>(m_fields.interval);
    m_options.m_strictScanning = m_fields.strictScanning;
    m_options.m_enableSound = m_fields.soundOn;
    m_options.SetSoundFilename(ToSetting(m_fields.soundFile));
    m_options.SetActiveRas(ToSetting(m_entries->currentText()));
    m_options.Save(keys::kConfiguration);
}

void CInternetPage::FillEntries(IDialup& dialup) {
    if (m_entries->count() > 0) return;
    std::vector<std::string> names;
    dialup.EnumEntryNames(names);
    for (const std::string& name : names) InsertSorted(m_entries, FromSetting(name));
    const int match = FindPrefixIgnoringCase(m_entries, FromSetting(m_options.GetActiveRas()));
    m_entries->setCurrentIndex(match >= 0 ? match : (m_entries->count() > 0 ? 0 : -1));
    ApplyDialupRule();
}

}  // namespace velto
