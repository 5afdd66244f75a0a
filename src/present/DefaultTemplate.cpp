#include "present/DefaultTemplate.h"

#include <QDir>
#include <QFile>

#include "present/WidgetText.h"
#include "settings/RegistryDatabase.h"
#include "settings/Settings.h"

// Resources of a static library are registered by hand, outside any namespace.
static void InitTemplateResources() { Q_INIT_RESOURCE(templates); }

namespace velto {

std::string EnsureDefaultTemplate(const std::string& folder) {
    // Once per settings file: a user who deleted it (the key stays, empty)
    // does not get it back at the next start.
    if (RegistryDatabase::KeyExists(keys::kTemplates)) return {};
    InitTemplateResources();
    const QString dir = FromUtf8(folder);
    const QString path = dir + "/standard.html";
    QFile bundled(":/templates/standard.html");
    if (!QDir().mkpath(dir) || !bundled.open(QIODevice::ReadOnly)) return {};
    QFile out(path);
    // The user's copy is theirs to change: an existing one is kept.
    if (!out.exists() && (!out.open(QIODevice::WriteOnly) || out.write(bundled.readAll()) < 0)) return {};
    out.close();
    TemplateSettings profile;
    profile.SetProfileName(kStandardProfile);
    profile.SetIndexFile(ToUtf8(path));
    profile.m_active = 1;
    profile.m_modified = 1;
    profile.Save(keys::kTemplates);
    return ToUtf8(path);
}

}  // namespace velto
