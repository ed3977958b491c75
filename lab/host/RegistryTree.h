// Stands in for the configuration manager's registry: the five hives of keys and values.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

namespace lab::host {

struct RegFileEntry;

enum class RegHive { ClassesRoot, CurrentUser, LocalMachine, Users, CurrentConfig };

// Numbered like the Windows error codes they stand for, so the Win32 layer passes them on as they are.
enum class RegResult : int32_t {
    Success = 0,
    NotFound = 2,
    AccessDenied = 5,
    InvalidParameter = 87,
    BadPathname = 161,
    NoMoreItems = 259,
    KeyDeleted = 1018,
    ChildMustBeVolatile = 1021,
};

// Value types, numbered as in the registry.
namespace regtype {
constexpr uint32_t kNone = 0;
constexpr uint32_t kSz = 1;
constexpr uint32_t kExpandSz = 2;
constexpr uint32_t kBinary = 3;
constexpr uint32_t kDword = 4;
constexpr uint32_t kMultiSz = 7;
constexpr uint32_t kQword = 11;
}  // namespace regtype

// The view bits of an access mask.
constexpr uint32_t kRegView64 = 0x0100;
constexpr uint32_t kRegView32 = 0x0200;

// Strings (names and the data of string types) are kept as the 8-bit ANSI text
// the A functions see, Windows-1252.
struct RegValue {
    std::string name;
    uint32_t type = regtype::kNone;
    std::vector<uint8_t> data;
};

struct RegKeyInfo {
    uint32_t subKeys = 0;
    uint32_t maxSubKeyLen = 0;     // characters, without terminator
    uint32_t values = 0;
    uint32_t maxValueNameLen = 0;  // characters, without terminator
    uint32_t maxValueLen = 0;      // bytes
    uint64_t lastWriteTime = 0;    // 100 ns units since 1601, UTC
};

// Keys are named without regard to case but keep the case they were created with;
// subkeys enumerate in alphabetical order ignoring case, values in the order they
// were created. All members may be called from any thread.
class RegistryTree {
public:
    class Key;  // a node; a KeyRef keeps it alive after deletion, when it answers KeyDeleted
    using KeyRef = std::shared_ptr<Key>;

    RegistryTree();
    ~RegistryTree();
    RegistryTree(const RegistryTree&) = delete;
    RegistryTree& operator=(const RegistryTree&) = delete;

    // Leaves the five empty hives and no deny switches; keys held elsewhere become deleted.
    void Clear();

    // Merges a .reg file (either format). All or nothing: on error the tree is unchanged.
    bool LoadRegFile(const std::string& path, std::string& error);
    bool LoadRegText(const std::string& bytes, std::string& error);
    // The whole tree as "Windows Registry Editor Version 5.00" (UTF-16LE, BOM, CRLF).
    // Volatile keys are left out, as they do not survive a restart.
    bool SaveRegFile(const std::string& path) const;
    std::string SaveRegText() const;

    // While set, opening or creating exactly that key with KEY_WOW64_64KEY is refused
    // with AccessDenied, whether or not the key exists. False for a path without a known hive.
    bool SetDeny64BitView(const std::string& keyPath, bool bDeny);

    // "HKEY_LOCAL_MACHINE" or "HKLM" and the other hives' names, any case.
    static bool ParseHive(const std::string& name, RegHive& hive);
    static const char* HiveName(RegHive hive);

    KeyRef Root(RegHive hive) const;

    // subKey is relative to base and may have several components; empty means base itself.
    // sam is the access mask: only its view bits matter here.
    RegResult OpenKey(const KeyRef& base, const std::string& subKey, uint32_t sam, KeyRef& result) const;
    RegResult CreateKey(const KeyRef& base, const std::string& subKey, uint32_t sam, bool bVolatile, KeyRef& result,
                        bool* pbCreated = nullptr);
    // Deletes a key without subkeys (AccessDenied otherwise, and for a hive's root).
    RegResult DeleteKey(const KeyRef& base, const std::string& subKey, uint32_t sam);
    // Deletes a key with everything below it.
    RegResult DeleteTree(const KeyRef& base, const std::string& subKey);

    // The same by full path ("HKLM\SOFTWARE\x").
    RegResult OpenPath(const std::string& fullPath, uint32_t sam, KeyRef& result) const;
    RegResult CreatePath(const std::string& fullPath, uint32_t sam, KeyRef& result, bool* pbCreated = nullptr);

    RegResult EnumKey(const KeyRef& key, uint32_t index, std::string& name) const;
    // Every subkey's name in enumeration order, in one pass.
    RegResult SubKeyNames(const KeyRef& key, std::vector<std::string>& names) const;
    // Changes whenever a key is created or deleted anywhere, also to a value no other tree ever had; lets
    // a caller keep what it listed while it stays the same.
    uint64_t KeysGeneration() const { return m_keysGeneration.load(); }
    RegResult QueryInfo(const KeyRef& key, RegKeyInfo& info) const;
    // Full path with the hive's long name; empty for a deleted key.
    std::string PathOf(const KeyRef& key) const;

    // An empty name is the default value.
    RegResult GetValue(const KeyRef& key, const std::string& name, RegValue& value) const;
    RegResult SetValue(const KeyRef& key, const std::string& name, uint32_t type, const std::vector<uint8_t>& data);
    RegResult DeleteValue(const KeyRef& key, const std::string& name);
    RegResult EnumValue(const KeyRef& key, uint32_t index, RegValue& value) const;

private:
    struct Target;  // a key named by its hive and the components below the root

    void ResetLocked();
    RegResult ResolveLocked(const KeyRef& base, const std::string& subKey, uint32_t sam, Target& target) const;
    KeyRef FindLocked(const Target& target) const;
    RegResult CreateLocked(const Target& target, bool bVolatile, KeyRef& result, bool* pbCreated);
    RegResult DeleteLocked(const Target& target, bool bTree);
    void ApplyLocked(const RegFileEntry& entry);

    void KeysChangedLocked();

    mutable std::mutex m_lock;
    std::atomic<uint64_t> m_keysGeneration{0};
    std::vector<KeyRef> m_roots;       // indexed by RegHive
    std::set<std::string> m_deny64;    // folded full paths
};

}  // namespace lab::host
