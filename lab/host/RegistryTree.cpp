// Stands in for the configuration manager's registry: the five hives of keys and values.
#include "lab/host/RegistryTree.h"

#include "lab/host/AnsiCase.h"
#include "lab/host/RegFile.h"

#include <algorithm>
#include <chrono>
#include <fstream>
#include <iterator>
#include <map>

namespace lab::host {

namespace {

struct HiveNames {
    RegHive hive;
    const char* longName;
    const char* shortName;
};

// In regedit's order, which is also the order of a saved file.
const HiveNames kHives[] = {
    {RegHive::ClassesRoot, "HKEY_CLASSES_ROOT", "HKCR"},
    {RegHive::CurrentUser, "HKEY_CURRENT_USER", "HKCU"},
    {RegHive::LocalMachine, "HKEY_LOCAL_MACHINE", "HKLM"},
    {RegHive::Users, "HKEY_USERS", "HKU"},
    {RegHive::CurrentConfig, "HKEY_CURRENT_CONFIG", "HKCC"},
};

const char* const kWow64Node = "WOW6432Node";

uint64_t FileTimeNow()
{
    const uint64_t kUnixEpochAsFileTime = 116444736000000000ULL;
    auto since = std::chrono::system_clock::now().time_since_epoch();
    return kUnixEpochAsFileTime +
           static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::microseconds>(since).count()) * 10;
}

// "a\b\c" into its components; a trailing backslash is allowed, an empty component is not.
bool SplitComponents(const std::string& path, std::vector<std::string>& parts)
{
    parts.clear();
    if (path.empty())
        return true;
    size_t start = 0;
    for (;;) {
        size_t slash = path.find('\\', start);
        std::string part = path.substr(start, slash == std::string::npos ? std::string::npos : slash - start);
        if (part.empty())
            return slash == std::string::npos && start > 0;
        parts.push_back(part);
        if (slash == std::string::npos)
            return true;
        start = slash + 1;
    }
}

bool SplitFullPath(const std::string& fullPath, RegHive& hive, std::string& rest)
{
    size_t slash = fullPath.find('\\');
    if (!RegistryTree::ParseHive(fullPath.substr(0, slash), hive))
        return false;
    rest = slash == std::string::npos ? std::string() : fullPath.substr(slash + 1);
    std::vector<std::string> parts;
    return SplitComponents(rest, parts);
}

}  // namespace

class RegistryTree::Key {
public:
    std::string name;
    RegHive hive = RegHive::LocalMachine;
    Key* pParent = nullptr;  // null for a root and once deleted
    // By the name folded to upper case: lookups compare bytes, and the order is the one Windows enumerates
    // subkeys in, alphabetical without regard to case.
    std::map<std::string, KeyRef> children;
    std::vector<RegValue> values;
    bool bDeleted = false;
    bool bVolatile = false;
    uint64_t lastWrite = 0;

    RegValue* FindValue(const std::string& valueName)
    {
        for (RegValue& value : values) {
            if (SameAnsiName(value.name, valueName))
                return &value;
        }
        return nullptr;
    }

    // A value set again keeps its place and the case of its first name.
    void PutValue(const std::string& valueName, uint32_t type, const std::vector<uint8_t>& data)
    {
        if (RegValue* pValue = FindValue(valueName)) {
            pValue->type = type;
            pValue->data = data;
        } else {
            values.push_back({valueName, type, data});
        }
        lastWrite = FileTimeNow();
    }

    bool RemoveValue(const std::string& valueName)
    {
        auto it = std::find_if(values.begin(), values.end(),
                               [&](const RegValue& value) { return SameAnsiName(value.name, valueName); });
        if (it == values.end())
            return false;
        values.erase(it);
        lastWrite = FileTimeNow();
        return true;
    }

    void MarkDeleted()
    {
        for (auto& child : children)
            child.second->MarkDeleted();
        children.clear();
        values.clear();
        pParent = nullptr;
        bDeleted = true;
    }
};

struct RegistryTree::Target {
    RegHive hive = RegHive::LocalMachine;
    std::vector<std::string> parts;
};

RegistryTree::RegistryTree()
{
    ResetLocked();
}

RegistryTree::~RegistryTree()
{
    for (KeyRef& root : m_roots)
        root->MarkDeleted();
}

bool RegistryTree::ParseHive(const std::string& name, RegHive& hive)
{
    for (const HiveNames& names : kHives) {
        if (SameAnsiName(name, names.longName) || SameAnsiName(name, names.shortName)) {
            hive = names.hive;
            return true;
        }
    }
    return false;
}

const char* RegistryTree::HiveName(RegHive hive)
{
    for (const HiveNames& names : kHives) {
        if (names.hive == hive)
            return names.longName;
    }
    return "";
}

void RegistryTree::KeysChangedLocked()
{
    static std::atomic<uint64_t> s_changes{0};
    m_keysGeneration = ++s_changes;
}

void RegistryTree::ResetLocked()
{
    KeysChangedLocked();
    for (KeyRef& root : m_roots)
        root->MarkDeleted();
    m_roots.clear();
    for (int i = 0; i <= static_cast<int>(RegHive::CurrentConfig); ++i) {
        auto root = std::make_shared<Key>();
        root->hive = static_cast<RegHive>(i);
        root->name = HiveName(root->hive);
        root->lastWrite = FileTimeNow();
        m_roots.push_back(root);
    }
    m_deny64.clear();
}

void RegistryTree::Clear()
{
    std::lock_guard<std::mutex> guard(m_lock);
    ResetLocked();
}

RegistryTree::KeyRef RegistryTree::Root(RegHive hive) const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_roots[static_cast<size_t>(hive)];
}

bool RegistryTree::SetDeny64BitView(const std::string& keyPath, bool bDeny)
{
    RegHive hive;
    std::string rest;
    if (!SplitFullPath(keyPath, hive, rest))
        return false;
    std::vector<std::string> parts;
    SplitComponents(rest, parts);
    std::string folded = HiveName(hive);
    for (const std::string& part : parts)
        folded += "\\" + FoldedAnsi(part);
    std::lock_guard<std::mutex> guard(m_lock);
    if (bDeny)
        m_deny64.insert(folded);
    else
        m_deny64.erase(folded);
    return true;
}

RegResult RegistryTree::ResolveLocked(const KeyRef& base, const std::string& subKey, uint32_t sam,
                                      Target& target) const
{
    if (!base)
        return RegResult::InvalidParameter;
    if (base->bDeleted)
        return RegResult::KeyDeleted;
    std::vector<std::string> below;
    if ((!subKey.empty() && subKey[0] == '\\') || !SplitComponents(subKey, below))
        return RegResult::BadPathname;

    target.hive = base->hive;
    target.parts.clear();
    for (const Key* pKey = base.get(); pKey->pParent; pKey = pKey->pParent)
        target.parts.push_back(pKey->name);
    std::reverse(target.parts.begin(), target.parts.end());
    target.parts.insert(target.parts.end(), below.begin(), below.end());

    // The 32-bit view of HKLM\SOFTWARE is its WOW6432Node.
    std::vector<std::string>& parts = target.parts;
    if ((sam & kRegView32) && !(sam & kRegView64) && target.hive == RegHive::LocalMachine && !parts.empty() &&
        SameAnsiName(parts[0], "SOFTWARE") && (parts.size() < 2 || !SameAnsiName(parts[1], kWow64Node)))
        parts.insert(parts.begin() + 1, kWow64Node);

    if ((sam & kRegView64) && !m_deny64.empty()) {
        std::string folded = HiveName(target.hive);
        for (const std::string& part : parts)
            folded += "\\" + FoldedAnsi(part);
        if (m_deny64.count(folded))
            return RegResult::AccessDenied;
    }
    return RegResult::Success;
}

RegistryTree::KeyRef RegistryTree::FindLocked(const Target& target) const
{
    KeyRef key = m_roots[static_cast<size_t>(target.hive)];
    for (const std::string& part : target.parts) {
        auto it = key->children.find(FoldedAnsi(part));
        if (it == key->children.end())
            return nullptr;
        key = it->second;
    }
    return key;
}

RegResult RegistryTree::CreateLocked(const Target& target, bool bVolatile, KeyRef& result, bool* pbCreated)
{
    bool bCreated = false;
    KeyRef key = m_roots[static_cast<size_t>(target.hive)];
    for (const std::string& part : target.parts) {
        auto it = key->children.find(FoldedAnsi(part));
        if (it != key->children.end()) {
            key = it->second;
            continue;
        }
        if (key->bVolatile && !bVolatile)
            return RegResult::ChildMustBeVolatile;
        auto child = std::make_shared<Key>();
        child->name = part;
        child->hive = target.hive;
        child->pParent = key.get();
        child->bVolatile = bVolatile;
        child->lastWrite = key->lastWrite = FileTimeNow();
        key->children.emplace(FoldedAnsi(part), child);
        key = child;
        bCreated = true;
    }
    if (bCreated)
        KeysChangedLocked();
    result = key;
    if (pbCreated)
        *pbCreated = bCreated;
    return RegResult::Success;
}

RegResult RegistryTree::DeleteLocked(const Target& target, bool bTree)
{
    KeyRef key = FindLocked(target);
    if (!key)
        return RegResult::NotFound;
    if (!key->pParent || (!bTree && !key->children.empty()))
        return RegResult::AccessDenied;
    Key* pParent = key->pParent;
    pParent->children.erase(FoldedAnsi(key->name));
    pParent->lastWrite = FileTimeNow();
    key->MarkDeleted();
    KeysChangedLocked();
    return RegResult::Success;
}

RegResult RegistryTree::OpenKey(const KeyRef& base, const std::string& subKey, uint32_t sam, KeyRef& result) const
{
    std::lock_guard<std::mutex> guard(m_lock);
    Target target;
    RegResult rc = ResolveLocked(base, subKey, sam, target);
    if (rc != RegResult::Success)
        return rc;
    result = FindLocked(target);
    return result ? RegResult::Success : RegResult::NotFound;
}

RegResult RegistryTree::CreateKey(const KeyRef& base, const std::string& subKey, uint32_t sam, bool bVolatile,
                                  KeyRef& result, bool* pbCreated)
{
    std::lock_guard<std::mutex> guard(m_lock);
    Target target;
    RegResult rc = ResolveLocked(base, subKey, sam, target);
    if (rc != RegResult::Success)
        return rc;
    return CreateLocked(target, bVolatile, result, pbCreated);
}

RegResult RegistryTree::DeleteKey(const KeyRef& base, const std::string& subKey, uint32_t sam)
{
    std::lock_guard<std::mutex> guard(m_lock);
    Target target;
    RegResult rc = ResolveLocked(base, subKey, sam & ~kRegView64, target);
    return rc != RegResult::Success ? rc : DeleteLocked(target, false);
}

RegResult RegistryTree::DeleteTree(const KeyRef& base, const std::string& subKey)
{
    std::lock_guard<std::mutex> guard(m_lock);
    Target target;
    RegResult rc = ResolveLocked(base, subKey, 0, target);
    return rc != RegResult::Success ? rc : DeleteLocked(target, true);
}

RegResult RegistryTree::OpenPath(const std::string& fullPath, uint32_t sam, KeyRef& result) const
{
    RegHive hive;
    std::string rest;
    if (!SplitFullPath(fullPath, hive, rest))
        return RegResult::BadPathname;
    return OpenKey(Root(hive), rest, sam, result);
}

RegResult RegistryTree::CreatePath(const std::string& fullPath, uint32_t sam, KeyRef& result, bool* pbCreated)
{
    RegHive hive;
    std::string rest;
    if (!SplitFullPath(fullPath, hive, rest))
        return RegResult::BadPathname;
    return CreateKey(Root(hive), rest, sam, false, result, pbCreated);
}

RegResult RegistryTree::EnumKey(const KeyRef& key, uint32_t index, std::string& name) const
{
    std::lock_guard<std::mutex> guard(m_lock);
    if (key->bDeleted)
        return RegResult::KeyDeleted;
    if (index >= key->children.size())
        return RegResult::NoMoreItems;
    name = std::next(key->children.begin(), index)->second->name;
    return RegResult::Success;
}

RegResult RegistryTree::SubKeyNames(const KeyRef& key, std::vector<std::string>& names) const
{
    std::lock_guard<std::mutex> guard(m_lock);
    names.clear();
    if (key->bDeleted)
        return RegResult::KeyDeleted;
    names.reserve(key->children.size());
    for (const auto& child : key->children)
        names.push_back(child.second->name);
    return RegResult::Success;
}

RegResult RegistryTree::QueryInfo(const KeyRef& key, RegKeyInfo& info) const
{
    std::lock_guard<std::mutex> guard(m_lock);
    if (key->bDeleted)
        return RegResult::KeyDeleted;
    info = RegKeyInfo();
    info.subKeys = static_cast<uint32_t>(key->children.size());
    for (const auto& child : key->children)
        info.maxSubKeyLen = std::max(info.maxSubKeyLen, static_cast<uint32_t>(child.second->name.size()));
    info.values = static_cast<uint32_t>(key->values.size());
    for (const RegValue& value : key->values) {
        info.maxValueNameLen = std::max(info.maxValueNameLen, static_cast<uint32_t>(value.name.size()));
        info.maxValueLen = std::max(info.maxValueLen, static_cast<uint32_t>(value.data.size()));
    }
    info.lastWriteTime = key->lastWrite;
    return RegResult::Success;
}

std::string RegistryTree::PathOf(const KeyRef& key) const
{
    std::lock_guard<std::mutex> guard(m_lock);
    if (key->bDeleted)
        return "";
    std::string path;
    const Key* pKey = key.get();
    for (; pKey->pParent; pKey = pKey->pParent)
        path = "\\" + pKey->name + path;
    return pKey->name + path;
}

RegResult RegistryTree::GetValue(const KeyRef& key, const std::string& name, RegValue& value) const
{
    std::lock_guard<std::mutex> guard(m_lock);
    if (key->bDeleted)
        return RegResult::KeyDeleted;
    const RegValue* pValue = key->FindValue(name);
    if (!pValue)
        return RegResult::NotFound;
    value = *pValue;
    return RegResult::Success;
}

RegResult RegistryTree::SetValue(const KeyRef& key, const std::string& name, uint32_t type,
                                 const std::vector<uint8_t>& data)
{
    std::lock_guard<std::mutex> guard(m_lock);
    if (key->bDeleted)
        return RegResult::KeyDeleted;
    key->PutValue(name, type, data);
    return RegResult::Success;
}

RegResult RegistryTree::DeleteValue(const KeyRef& key, const std::string& name)
{
    std::lock_guard<std::mutex> guard(m_lock);
    if (key->bDeleted)
        return RegResult::KeyDeleted;
    return key->RemoveValue(name) ? RegResult::Success : RegResult::NotFound;
}

RegResult RegistryTree::EnumValue(const KeyRef& key, uint32_t index, RegValue& value) const
{
    std::lock_guard<std::mutex> guard(m_lock);
    if (key->bDeleted)
        return RegResult::KeyDeleted;
    if (index >= key->values.size())
        return RegResult::NoMoreItems;
    value = key->values[index];
    return RegResult::Success;
}

bool RegistryTree::LoadRegFile(const std::string& path, std::string& error)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "cannot be read";
        return false;
    }
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return LoadRegText(bytes, error);
}

bool RegistryTree::LoadRegText(const std::string& bytes, std::string& error)
{
    std::vector<RegFileEntry> entries;
    if (!ParseRegFile(bytes, entries, error))
        return false;
    // Every path is checked before anything changes.
    for (const RegFileEntry& entry : entries) {
        RegHive hive;
        std::string rest;
        if (!SplitFullPath(entry.keyPath, hive, rest)) {
            error = "line " + std::to_string(entry.line) + ": not a key path with a known root: " + entry.keyPath;
            return false;
        }
        if (entry.kind == RegFileEntry::Kind::DeleteKey && rest.empty()) {
            error = "line " + std::to_string(entry.line) + ": a root key cannot be deleted";
            return false;
        }
    }
    std::lock_guard<std::mutex> guard(m_lock);
    for (const RegFileEntry& entry : entries)
        ApplyLocked(entry);
    return true;
}

void RegistryTree::ApplyLocked(const RegFileEntry& entry)
{
    Target target;
    std::string rest;
    SplitFullPath(entry.keyPath, target.hive, rest);
    SplitComponents(rest, target.parts);
    KeyRef key;
    switch (entry.kind) {
    case RegFileEntry::Kind::CreateKey:
        CreateLocked(target, false, key, nullptr);
        break;
    case RegFileEntry::Kind::DeleteKey:
        DeleteLocked(target, true);
        break;
    case RegFileEntry::Kind::SetValue:
        if (CreateLocked(target, false, key, nullptr) == RegResult::Success)
            key->PutValue(entry.valueName, entry.type, entry.data);
        break;
    case RegFileEntry::Kind::DeleteValue:
        if ((key = FindLocked(target)))
            key->RemoveValue(entry.valueName);
        break;
    }
}

std::string RegistryTree::SaveRegText() const
{
    RegFileWriter writer;
    std::lock_guard<std::mutex> guard(m_lock);
    struct Walker {
        RegFileWriter& writer;
        void Write(const Key& key, const std::string& path, bool bRoot)
        {
            // A root is implied by its subkeys; it needs a section only for its own values.
            if (!bRoot || !key.values.empty()) {
                writer.Key(path);
                for (const RegValue& value : key.values)
                    writer.Value(value.name, value.type, value.data);
            }
            for (const auto& child : key.children) {
                if (!child.second->bVolatile)
                    Write(*child.second, path + "\\" + child.second->name, false);
            }
        }
    } walker{writer};
    for (const HiveNames& names : kHives) {
        const Key& root = *m_roots[static_cast<size_t>(names.hive)];
        walker.Write(root, root.name, true);
    }
    return writer.Bytes();
}

bool RegistryTree::SaveRegFile(const std::string& path) const
{
    std::string bytes = SaveRegText();
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    return static_cast<bool>(out);
}

}  // namespace lab::host
