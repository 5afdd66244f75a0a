#include "shell/WebTemplatePage.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "present/WebViews.h"
#include "present/WidgetText.h"
#include "settings/Crc32.h"
#include "shell/SheetPrompts.h"

namespace velto {

CWebTemplatePage::CWebTemplatePage(QWidget* parent) : CPropertyPage(parent) {
    auto* layout = new QVBoxLayout(this);
    auto* top = new QHBoxLayout;
    auto* templatesCaption = new QLabel("Templates", this);
    top->addWidget(templatesCaption);
    m_templates = new QComboBox(this);
    templatesCaption->setBuddy(m_templates);
    m_templates->setObjectName("templatesCombo");
    m_templates->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    top->addWidget(m_templates);
    layout->addLayout(top);

    auto* previewBox = new QGroupBox("Preview Mail Template", this);
    auto* previewLayout = new QVBoxLayout(previewBox);
    m_previewArea = new QWidget(previewBox);
    m_previewArea->setMinimumSize(360, 200);
    new QVBoxLayout(m_previewArea);
    m_previewArea->layout()->setContentsMargins(0, 0, 0, 0);
    previewLayout->addWidget(m_previewArea);
    layout->addWidget(previewBox, 1);

    auto* grid = new QGridLayout;
    m_indexFile = new QLineEdit(this);
    m_indexFile->setObjectName("indexFileEdit");
    LimitToStore(m_indexFile);
    m_name = new QLineEdit(this);
    m_name->setObjectName("profileNameEdit");
    LimitToStore(m_name, kMaxKeyNameBytes);
    auto* browse = new QPushButton("Browse", this);
    auto* indexCaption = new QLabel("Index File", this);
    indexCaption->setBuddy(m_indexFile);
    grid->addWidget(indexCaption, 0, 0);
    grid->addWidget(m_indexFile, 0, 1);
    grid->addWidget(browse, 0, 2);
    auto* nameCaption = new QLabel("Profile Name", this);
    nameCaption->setBuddy(m_name);
    grid->addWidget(nameCaption, 1, 0);
    grid->addWidget(m_name, 1, 1);
    layout->addLayout(grid);

    auto* buttons = new QHBoxLayout;
    m_default = new QCheckBox("Set as Default Template", this);
    auto* clear = new QPushButton("Clear", this);
    auto* add = new QPushButton("Add", this);
    auto* remove = new QPushButton("Delete", this);
    buttons->addWidget(m_default);
    buttons->addStretch();
    buttons->addWidget(clear);
    buttons->addWidget(add);
    buttons->addWidget(remove);
    layout->addLayout(buttons);

    m_exchange.Bind(m_name, m_fields.name);
    m_exchange.Bind(m_indexFile, m_fields.indexFile);
    m_exchange.Bind(m_default, m_fields.isDefault);

    connect(m_templates, &QComboBox::activated, this, [this] { Select(); });
    connect(add, &QPushButton::clicked, this, [this] { Add(); });
    connect(remove, &QPushButton::clicked, this, [this] { Delete(); });
    connect(clear, &QPushButton::clicked, this, [this] { Clear(); });
    connect(m_default, &QCheckBox::clicked, this, [this] { SetDefault(); });
    connect(browse, &QPushButton::clicked, this, [this] {
        ReadControls();
        BrowseFileInto(this, m_indexFile, m_fields.indexFile);
    });

    // Load all: every stored profile, in the store's order.
    m_profiles = LoadAllTemplates();
    for (const auto& profile : m_profiles)
        InsertSorted(m_templates, FromSetting(profile.GetProfileName()), profile.m_id);
    m_templates->setCurrentIndex(m_templates->count() > 0 ? 0 : -1);
    Select();
}

void CWebTemplatePage::showEvent(QShowEvent* event) {
    CPropertyPage::showEvent(event);
    if (m_previewTried) return;
    m_previewTried = true;
    std::string why;
    if (const WebViewsApi* web = WebViews(&why)) {
        m_preview = web->makePreview(m_previewArea);
        m_previewArea->layout()->addWidget(m_preview->Widget());
        ShowPreview();
    } else {
        m_previewArea->layout()->addWidget(new QLabel(FromUtf8("No preview: " + why), m_previewArea));
    }
}

void CWebTemplatePage::ReadControls() { m_exchange.Read(); }
void CWebTemplatePage::WriteControls() { m_exchange.Write(); }

TemplateSettings* CWebTemplatePage::FindProfile(std::uint32_t key) {
    for (auto& profile : m_profiles)
        if (profile.m_id == key) return &profile;
    return nullptr;
}

void CWebTemplatePage::Select() {
    ReadControls();
    if (m_templates->currentIndex() < 0) return;
    if (const auto* profile = FindProfile(m_templates->currentData().toUInt())) {
        m_fields.name = FromSetting(profile->GetProfileName());
        m_fields.indexFile = FromSetting(profile->GetIndexFile());
        m_fields.isDefault = profile->m_active != 0;
    }
    WriteControls();
    ShowPreview();
}

void CWebTemplatePage::ShowPreview() {
    if (m_preview) m_preview->ShowFile(m_fields.indexFile);
}

void CWebTemplatePage::Add() {
    ReadControls();
    if (m_fields.name.isEmpty()) {
        SheetPrompts::Current().message(this, "Enter MailBox name before Saving Account", SheetPrompts::Kind::Warning);
        return;
    }
    if (m_fields.name.contains(QLatin1Char('\\'))) {
        SheetPrompts::Current().message(this, NoBackslashText("template name", m_fields.name),
                                        SheetPrompts::Kind::Warning);
        return;
    }
    TemplateSettings profile;
    profile.m_modified = 1;
    profile.SetProfileName(ToSetting(m_fields.name));
    profile.SetIndexFile(ToSetting(m_fields.indexFile));
    if (m_fields.isDefault)
        for (auto& other : m_profiles) {
            other.m_active = 0;
            other.m_modified = 1;
        }
    profile.m_active = m_fields.isDefault ? 1 : 0;
    profile.m_id = Crc32::Of(profile.GetProfileName());
    m_profiles.push_back(profile);
    if (FindKeyName(m_templates, m_fields.name) < 0) {
        m_templates->setCurrentIndex(InsertSorted(m_templates, m_fields.name, profile.m_id));
        ShowPreview();
    }
}

void CWebTemplatePage::Delete() {
    // The field as the last selection, Add, Browse or default change left it.
    if (m_fields.name.isEmpty()) {
        SheetPrompts::Current().message(this, "Enter MailBox name before Deleting Account",
                                        SheetPrompts::Kind::Warning);
        return;
    }
    const int index = m_templates->currentIndex();
    if (index >= 0 && FindProfile(m_templates->itemData(index).toUInt())) {
        const std::uint32_t key = m_templates->itemData(index).toUInt();
        for (auto& profile : m_profiles)
            if (profile.m_id == key) profile.m_deleted = 1;
        m_templates->removeItem(index);
    }
    Clear();
}

void CWebTemplatePage::Clear() {
    m_fields = {};
    m_templates->setCurrentIndex(-1);
    WriteControls();
    ShowPreview();
}

void CWebTemplatePage::SetDefault() {
    ReadControls();
    // The default cannot be switched off, only moved to another profile.
    if (!m_fields.isDefault) {
        m_fields.isDefault = true;
        WriteControls();
        return;
    }
    for (auto& profile : m_profiles) {
        profile.m_active = 0;
        profile.m_modified = 1;
    }
    ReadControls();
    if (m_templates->currentIndex() < 0) return;
    const std::uint32_t key = m_templates->currentData().toUInt();
    for (auto& profile : m_profiles)
        if (profile.m_id == key) {
            profile.m_active = 1;
            profile.m_modified = 1;
        }
}

void CWebTemplatePage::OnApply() {
    for (auto& profile : m_profiles) profile.Save(keys::kTemplates);
}

}  // namespace velto
