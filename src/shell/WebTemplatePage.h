#pragma once
// "Email Templates": the template profiles (a name and a template file
// each), a preview of the chosen template, and which one is the default.
// Changes stay on the page until OK or Apply; Cancel stores nothing.
#include <QString>
#include <vector>

#include "settings/Settings.h"
#include "shell/MailPropertySheet.h"
#include "shell/PageControls.h"

class QCheckBox;
class QComboBox;
class QLineEdit;

namespace velto {

class ITemplatePreview;

class CWebTemplatePage : public CPropertyPage {
    Q_OBJECT
public:
    explicit CWebTemplatePage(QWidget* parent = nullptr);
    void OnApply() override;
    // Made when the page is first shown: the web engine loads on first use.
    ITemplatePreview* Preview() const { return m_preview; }
    const std::vector<TemplateSettings>& Profiles() const { return m_profiles; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    struct Fields {
        QString name, indexFile;
        bool isDefault = false;
    };
    void ReadControls();
    void WriteControls();
    void Select();
    void Add();
    void Delete();
    void Clear();
    void SetDefault();
    void ShowPreview();
    TemplateSettings* FindProfile(std::uint32_t key);

    std::vector<TemplateSettings> m_profiles;
    Fields m_fields;
    CFieldExchange m_exchange;
    QComboBox* m_templates;
    QLineEdit* m_indexFile;
    QLineEdit* m_name;
    QCheckBox* m_default;
    QWidget* m_previewArea;
    ITemplatePreview* m_preview = nullptr;  // owned by its parent widget
    bool m_previewTried = false;
};

}  // namespace velto
