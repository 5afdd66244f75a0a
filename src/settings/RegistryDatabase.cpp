#include "settings/RegistryDatabase.h"

#include <algorithm>
#include <cstring>

namespace velto {

namespace {
constexpr std::uint32_t kNameBuffer = 1000;
constexpr std::uint32_t kDataBuffer = RegistryDatabase::kMaxStoredValue;
}  // namespace

RegistryDatabase::RegistryDatabase() : m_hive(RegistryHive::Current()) {}

RegistryDatabase::~RegistryDatabase() {
    if (m_key) CloseKey();
}

// Copies carry the record's values, never an open key.
RegistryDatabase::RegistryDatabase(const RegistryDatabase& other) : m_hive(other.m_hive) {}

RegistryDatabase& RegistryDatabase::operator=(const RegistryDatabase& other) {
    if (this != &other) m_hive = other.m_hive;
    return *this;
}

long RegistryDatabase::OpenKey(const std::string& path) {
    if (m_key) CloseKey();
    m_hive = RegistryHive::Current();
    const long status = m_hive->CreateKey(path, m_key, &m_disposition);
    if (status != kErrorSuccess) m_key.reset();
    if (m_disposition == kRegCreatedNewKey) m_wrote = true;
    return status;
}

long RegistryDatabase::CloseKey() {
    if (!m_key) return kErrorInvalidHandle;
    m_key.reset();
    // What a save wrote reaches the disk at the latest when its key closes.
    if (m_wrote) {
        m_wrote = false;
        m_hive->Flush();
    }
    return kErrorSuccess;
}

long RegistryDatabase::SetStringValue(const std::string& name, const char* text, std::uint32_t count) {
    m_lastType = kRegSz;
    m_wrote = true;
    return m_hive->SetValue(m_key, name, kRegSz, text, count);
}

long RegistryDatabase::SetNumberValue(const std::string& name, const std::uint32_t* number, std::uint32_t count) {
    m_lastType = kRegDword;
    if (count != 4 || !number) return kErrorInvalidParameter;
    unsigned char bytes[4];
    for (int i = 0; i < 4; ++i) bytes[i] = static_cast<unsigned char>((*number >> (8 * i)) & 0xFF);
    m_wrote = true;
    return m_hive->SetValue(m_key, name, kRegDword, bytes, 4);
}

long RegistryDatabase::SetBinaryValue(const std::string& name, const void* bytes, std::uint32_t count) {
    m_lastType = kRegNone;
    m_wrote = true;
    return m_hive->SetValue(m_key, name, kRegNone, bytes, count);
}

long RegistryDatabase::EnumKey(std::uint32_t index, char* name, std::uint32_t* nameLength, char* className,
                               std::uint32_t* classLength) {
    if (!name || !nameLength) return kErrorInvalidParameter;
    std::string found;
    const long status = m_hive->EnumKey(m_key, index, found, &m_lastWriteTime);
    if (status != kErrorSuccess) return status;
    if (found.size() + 1 > *nameLength) return kErrorMoreData;
    std::memcpy(name, found.c_str(), found.size() + 1);
    *nameLength = static_cast<std::uint32_t>(found.size());
    if (className && classLength && *classLength > 0) className[0] = '\0';
    if (classLength) *classLength = 0;
    return kErrorSuccess;
}

long RegistryDatabase::EnumValue(std::uint32_t index, char* name, std::uint32_t* nameLength, std::uint32_t* type,
                                 unsigned char* data, std::uint32_t* dataLength) {
    if (!name || !nameLength) return kErrorInvalidParameter;
    RegValue value;
    const long status = m_hive->EnumValue(m_key, index, value);
    if (status != kErrorSuccess) return status;
    if (value.name.size() + 1 > *nameLength) return kErrorMoreData;
    if (dataLength && value.data.size() > *dataLength) return kErrorMoreData;
    std::memcpy(name, value.name.c_str(), value.name.size() + 1);
    *nameLength = static_cast<std::uint32_t>(value.name.size());
    if (type) *type = value.type;
    if (data && dataLength) std::memcpy(data, value.data.data(), value.data.size());
    if (dataLength) *dataLength = static_cast<std::uint32_t>(value.data.size());
    return kErrorSuccess;
}

long RegistryDatabase::DeleteKey(const HKEY& parent, const std::string& subkey) {
    auto hive = RegistryHive::Current();
    const long status = hive->DeleteKey(parent, subkey);
    if (status == kErrorSuccess) hive->Flush();
    return status;
}

bool RegistryDatabase::KeyExists(const std::string& path) { return RegistryHive::Current()->FindKey(path) != nullptr; }

std::vector<std::string> RegistryDatabase::SubkeyNames(const std::string& path) {
    std::vector<std::string> names;
    RegistryDatabase db;
    if (db.OpenKey(path) != kErrorSuccess) return names;
    char name[kNameBuffer];
    for (std::uint32_t index = 0;; ++index) {
        std::uint32_t length = kNameBuffer;
        if (db.EnumKey(index, name, &length, nullptr, nullptr) != kErrorSuccess) break;
        names.emplace_back(name, length);
    }
    db.CloseKey();
    return names;
}

std::vector<bool> RegistryDatabase::LoadFields(const std::string& path, const std::vector<Field>& fields) {
    std::vector<bool> read(fields.size(), false);
    OpenKey(path);
    char name[kNameBuffer];
    unsigned char data[kDataBuffer];
    for (std::uint32_t index = 0;; ++index) {
        std::uint32_t nameLength = kNameBuffer, dataLength = kDataBuffer, type = 0;
        const long status = EnumValue(index, name, &nameLength, &type, data, &dataLength);
        // A value too long for the buffers is passed over alone: the values
        // after it (the account's security among them) still count.
        if (status == kErrorMoreData) continue;
        if (status != kErrorSuccess) break;
        const std::string valueName(name, nameLength);
        for (std::size_t i = 0; i < fields.size(); ++i) {
            const Field& f = fields[i];
            if (valueName != f.name) continue;  // value names match exactly
            read[i] = true;
            switch (f.kind) {
            case Field::String: {
                // Text ends at its first zero byte, whether or not one was stored.
                const auto* chars = reinterpret_cast<const char*>(data);
                *static_cast<std::string*>(f.target) =
                    std::string(chars, strnlen(chars, dataLength));
                break;
            }
            case Field::Number: {
                std::uint32_t n = 0;
                for (std::uint32_t i = 0; i < 4 && i < dataLength; ++i) n |= std::uint32_t(data[i]) << (8 * i);
                *static_cast<std::uint32_t*>(f.target) = n;
                break;
            }
            case Field::Bytes:
                // A short block would leave a structure half old, half new.
                if (dataLength >= f.size) std::memcpy(f.target, data, f.size);
                else read[i] = false;
                break;
            }
        }
    }
    CloseKey();
    return read;
}

void RegistryDatabase::SaveFields(const std::string& path, const std::vector<Field>& fields,
                                  const std::vector<std::string>& absent) {
    OpenKey(path);
    for (const auto& name : absent)
        if (m_hive->DeleteValue(m_key, name) == kErrorSuccess) m_wrote = true;
    for (const Field& f : fields) {
        switch (f.kind) {
        case Field::String: {
            const auto* s = static_cast<const std::string*>(f.target);
            SetStringValue(f.name, s->c_str(), static_cast<std::uint32_t>(s->size()));
            break;
        }
        case Field::Number:
            SetNumberValue(f.name, static_cast<const std::uint32_t*>(f.target), 4);
            break;
        case Field::Bytes:
            SetBinaryValue(f.name, f.target, f.size);
            break;
        }
    }
    CloseKey();
}

}  // namespace velto
