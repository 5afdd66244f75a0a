#include "settings/RegistryHive.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <unordered_map>

namespace velto {

struct RegistryHive::Node {
    std::string name;                                      // as first written
    std::map<std::string, std::shared_ptr<Node>> children;  // by upper-cased name
    std::vector<RegValue> values;                          // creation order
    std::uint64_t lastWriteTime = 0;
    bool deleted = false;
};

namespace {

const char* const kUserRoot = "HKEY_CURRENT_USER";

std::string Upper(std::string s) {
    for (char& c : s)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return s;
}

// Registry time stamps count 100 ns steps since 1601-01-01.
std::uint64_t NowFileTime() {
    using namespace std::chrono;
    const auto since1970 = duration_cast<microseconds>(system_clock::now().time_since_epoch()).count();
    return static_cast<std::uint64_t>(since1970) * 10u + 116444736000000000ull;
}

using regedit::SplitPath;

using NodePtr = std::shared_ptr<RegistryHive::Node>;

NodePtr Child(const NodePtr& node, const std::string& name) {
    auto it = node->children.find(Upper(name));
    return it == node->children.end() ? nullptr : it->second;
}

NodePtr CreateChild(const NodePtr& node, const std::string& name, bool* created) {
    auto& slot = node->children[Upper(name)];
    if (!slot) {
        slot = std::make_shared<RegistryHive::Node>();
        slot->name = name;
        slot->lastWriteTime = NowFileTime();
        if (created) *created = true;
    }
    return slot;
}

void MarkDeleted(const NodePtr& node) {
    node->deleted = true;
    for (auto& [_, child] : node->children) MarkDeleted(child);
}

// The key, its values, an empty line, then its subkeys by name.
void ExportNode(std::string& out, const NodePtr& node, const std::string& path) {
    regedit::AppendKey(out, path);
    for (const auto& v : node->values) regedit::AppendValue(out, v);
    out += "\r\n";
    for (const auto& [_, child] : node->children) ExportNode(out, child, path + "\\" + child->name);
}

}  // namespace

RegistryHive::RegistryHive(std::unique_ptr<HiveStorage> storage)
    : m_storage(std::move(storage)), m_top(std::make_shared<Node>()) {
    CreateChild(m_top, kUserRoot, nullptr);
}

RegistryHive::~RegistryHive() = default;

namespace {
std::mutex g_currentMutex;
std::shared_ptr<RegistryHive> g_current;
}  // namespace

std::shared_ptr<RegistryHive> RegistryHive::Current() {
    std::lock_guard lock(g_currentMutex);
    if (!g_current) g_current = std::make_shared<RegistryHive>();
    return g_current;
}

void RegistryHive::SetCurrent(std::shared_ptr<RegistryHive> hive) {
    std::lock_guard lock(g_currentMutex);
    g_current = std::move(hive);
}

std::string RegistryHive::Load() {
    if (!m_storage) return {};
    std::string bytes, error;
    const auto result = m_storage->Read(bytes, error);
    if (result == HiveStorage::ReadResult::Missing) return {};
    if (result == HiveStorage::ReadResult::Failed) {
        std::lock_guard lock(m_mutex);
        m_readOnly = true;
        return "The settings file " + m_storage->Location() + " cannot be read: " + error;
    }
    const std::string problem = ImportText(bytes);
    std::lock_guard lock(m_mutex);
    m_dirty = false;
    if (!problem.empty()) {
        m_readOnly = true;
        return "The settings file " + m_storage->Location() + " is damaged at " + problem +
               ".\nVeltoMail starts with default settings and leaves the file as it is; "
               "changes made now are not saved until the file is fixed.";
    }
    return {};
}

bool RegistryHive::Flush() {
    std::string text;
    {
        std::lock_guard lock(m_mutex);
        if (!m_dirty || m_readOnly || !m_storage) return true;
    }
    text = ExportText();
    std::string error;
    const bool ok = m_storage->Write(text, error);
    std::function<void(const std::string&)> tell;
    {
        std::lock_guard lock(m_mutex);
        if (ok) {
            m_dirty = false;
            m_lastWriteError.clear();
        } else {
            m_lastWriteError = error;
            if (!m_toldWriteFailure && m_onWriteFailure) {
                m_toldWriteFailure = true;
                tell = m_onWriteFailure;
            }
        }
    }
    if (tell)
        tell("The settings could not be saved to " + m_storage->Location() + ":\n" + error +
             "\nChanges made now are lost when VeltoMail ends unless this is put right.");
    return ok;
}

void RegistryHive::SetWriteFailureHandler(std::function<void(const std::string& text)> handler) {
    std::lock_guard lock(m_mutex);
    m_onWriteFailure = std::move(handler);
}

bool RegistryHive::IsDirty() const {
    std::lock_guard lock(m_mutex);
    return m_dirty;
}

bool RegistryHive::IsReadOnly() const {
    std::lock_guard lock(m_mutex);
    return m_readOnly;
}

std::string RegistryHive::Location() const { return m_storage ? m_storage->Location() : std::string(); }

std::string RegistryHive::LastWriteError() const {
    std::lock_guard lock(m_mutex);
    return m_lastWriteError;
}

long RegistryHive::CreateKey(const std::string& path, KeyHandle& key, std::uint32_t* disposition) {
    std::lock_guard lock(m_mutex);
    const auto parts = SplitPath(path);
    if (parts.empty()) {
        key.reset();
        return kErrorInvalidParameter;
    }
    NodePtr node = Child(m_top, kUserRoot);
    bool created = false;
    for (const auto& part : parts) {
        if (part.size() > 255) {
            key.reset();
            return kErrorInvalidParameter;
        }
        node = CreateChild(node, part, &created);
    }
    if (created) m_dirty = true;
    if (disposition) *disposition = created ? kRegCreatedNewKey : kRegOpenedExistingKey;
    key = node;
    return kErrorSuccess;
}

RegistryHive::KeyHandle RegistryHive::FindKey(const std::string& path) const {
    std::lock_guard lock(m_mutex);
    NodePtr node = Child(m_top, kUserRoot);
    for (const auto& part : SplitPath(path)) {
        node = Child(node, part);
        if (!node) return nullptr;
    }
    return node;
}

long RegistryHive::SetValue(const KeyHandle& key, const std::string& name, std::uint32_t type,
                            const void* data, std::size_t size) {
    if (!key) return kErrorInvalidHandle;
    std::lock_guard lock(m_mutex);
    if (key->deleted) return kErrorInvalidHandle;  // the key was deleted under the handle
    std::string bytes(static_cast<const char*>(data), size);
    auto it = std::find_if(key->values.begin(), key->values.end(),
                           [&](const RegValue& v) { return v.name == name; });
    if (it != key->values.end()) {
        if (it->type == type && it->data == bytes) return kErrorSuccess;
        it->type = type;
        it->data = std::move(bytes);
    } else {
        key->values.push_back(RegValue{name, type, std::move(bytes)});
    }
    key->lastWriteTime = NowFileTime();
    m_dirty = true;
    return kErrorSuccess;
}

long RegistryHive::DeleteValue(const KeyHandle& key, const std::string& name) {
    if (!key) return kErrorInvalidHandle;
    std::lock_guard lock(m_mutex);
    if (key->deleted) return kErrorInvalidHandle;
    const auto removed = std::erase_if(key->values, [&](const RegValue& v) { return v.name == name; });
    if (removed == 0) return kErrorFileNotFound;
    key->lastWriteTime = NowFileTime();
    m_dirty = true;
    return kErrorSuccess;
}

long RegistryHive::EnumKey(const KeyHandle& key, std::uint32_t index, std::string& name,
                           std::uint64_t* lastWriteTime) const {
    if (!key) return kErrorInvalidHandle;
    std::lock_guard lock(m_mutex);
    if (key->deleted) return kErrorInvalidHandle;
    if (index >= key->children.size()) return kErrorNoMoreItems;
    auto it = key->children.begin();
    std::advance(it, index);
    name = it->second->name;
    if (lastWriteTime) *lastWriteTime = it->second->lastWriteTime;
    return kErrorSuccess;
}

long RegistryHive::EnumValue(const KeyHandle& key, std::uint32_t index, RegValue& value) const {
    if (!key) return kErrorInvalidHandle;
    std::lock_guard lock(m_mutex);
    if (key->deleted) return kErrorInvalidHandle;
    if (index >= key->values.size()) return kErrorNoMoreItems;
    value = key->values[index];
    return kErrorSuccess;
}

long RegistryHive::DeleteKey(const KeyHandle& parent, const std::string& subkey) {
    if (!parent) return kErrorInvalidHandle;
    std::lock_guard lock(m_mutex);
    if (parent->deleted) return kErrorInvalidHandle;
    const auto parts = SplitPath(subkey);
    if (parts.empty()) return kErrorInvalidParameter;
    NodePtr holder = parent;
    for (std::size_t i = 0; i + 1 < parts.size(); ++i) {
        holder = Child(holder, parts[i]);
        if (!holder) return kErrorFileNotFound;
    }
    auto it = holder->children.find(Upper(parts.back()));
    if (it == holder->children.end()) return kErrorFileNotFound;
    MarkDeleted(it->second);
    holder->children.erase(it);
    holder->lastWriteTime = NowFileTime();
    m_dirty = true;
    return kErrorSuccess;
}

std::string RegistryHive::ExportText() const {
    std::lock_guard lock(m_mutex);
    std::string out = regedit::kHeader;
    for (const auto& [_, root] : m_top->children) {
        // An untouched, empty user root is not worth a section of its own.
        if (root->values.empty() && root->children.empty()) continue;
        ExportNode(out, root, root->name);
    }
    return out;
}

std::string RegistryHive::ImportText(const std::string& raw) {
    std::vector<regedit::Section> sections;
    if (std::string problem = regedit::Parse(raw, sections); !problem.empty()) return problem;

    auto top = std::make_shared<Node>();
    CreateChild(top, kUserRoot, nullptr);
    // Each key's values by name while importing: a key with many values
    // must not cost a walk of them all per value line. The keys are held,
    // so a key removed meanwhile leaves no address for a new one to take.
    std::map<NodePtr, std::unordered_map<std::string, std::size_t>> named;
    for (const auto& section : sections) {
        NodePtr node = top;
        if (section.remove) {
            for (std::size_t i = 0; node && i + 1 < section.path.size(); ++i) node = Child(node, section.path[i]);
            if (node) node->children.erase(Upper(section.path.back()));
            continue;
        }
        for (const auto& part : section.path) node = CreateChild(node, part, nullptr);
        auto& values = node->values;
        const auto [known, fresh] = named.try_emplace(node);
        auto& index = known->second;
        if (fresh)
            for (std::size_t i = 0; i < values.size(); ++i) index.emplace(values[i].name, i);
        for (const auto& line : section.values) {
            const auto at = index.find(line.value.name);
            if (line.remove) {
                if (at == index.end()) continue;
                values.erase(values.begin() + static_cast<std::ptrdiff_t>(at->second));
                index.clear();
                for (std::size_t i = 0; i < values.size(); ++i) index.emplace(values[i].name, i);
            } else if (at != index.end()) {
                values[at->second] = line.value;
            } else {
                index.emplace(line.value.name, values.size());
                values.push_back(line.value);
            }
        }
    }
    // "[-HKEY_CURRENT_USER]" takes the user's keys, never the root itself:
    // every settings record opens below it. It keeps its own spelling.
    CreateChild(top, kUserRoot, nullptr)->name = kUserRoot;

    std::lock_guard lock(m_mutex);
    MarkDeleted(m_top);
    m_top = top;
    m_dirty = true;
    return {};
}

}  // namespace velto
