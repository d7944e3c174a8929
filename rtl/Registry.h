#pragma once
// TRegistry over the Windows registry, or elsewhere over one INI-style file per root key
// (HKEY_CURRENT_USER.ini, HKEY_LOCAL_MACHINE.ini) in the folder named by VENTURO_MTD_REGISTRY
// (default $XDG_CONFIG_HOME/venturo-mtd/registry). A section per key; key paths and value names
// are compared without regard to A..Z case; writes replace the file atomically.
#include "ObjectHooks.h"
#include "RtlApi.h"
#include "UnicodeString.h"

#include <utility>
#include <vector>

namespace rtl {

enum class TRootKey { CurrentUser, LocalMachine };

class RTL_API TRegistry : public TObject {
public:
    /// readOnly: OpenKey never creates and writes are refused.
    explicit TRegistry(bool readOnly = false);
    ~TRegistry() override;

    TRootKey RootKey = TRootKey::CurrentUser;

    /// Opens a key ("SOFTWARE\\Corvane\\Venturo MTD\\"; a trailing "\\" is ignored), creating it
    /// when canCreate. A key without a leading "\\" is relative to the open key, if any. False when
    /// it does not exist (and may not be created) or its name holds a line break.
    bool OpenKey(const UnicodeString& key, bool canCreate);
    /// Opens an existing key for reading only; writes through it are refused.
    bool OpenKeyReadOnly(const UnicodeString& key);
    /// True when the key, or any key below it, exists (relative as for OpenKey).
    bool KeyExists(const UnicodeString& key);
    /// Value queries and writes act on the open key.
    bool ValueExists(const UnicodeString& name);
    /// Raises ERegistryError when the value is missing.
    UnicodeString ReadString(const UnicodeString& name);
    /// Raises ERegistryError when the value is missing or not an integer.
    int ReadInteger(const UnicodeString& name);
    /// Raise ERegistryError when no key is open for writing, the store cannot be written, the name
    /// holds '=' or a line break or begins with '[', or the value holds a line break.
    void WriteString(const UnicodeString& name, const UnicodeString& value);
    void WriteInteger(const UnicodeString& name, int value);
    /// Writes several (name, value) pairs of the open key in one store write, all or none; the
    /// same checks as WriteString, made on every pair before anything is written.
    void WriteValues(const std::vector<std::pair<UnicodeString, UnicodeString>>& values);
    void CloseKey();
    const UnicodeString& CurrentPath() const noexcept { return _szCurrentPath; }

    /// The folder of the file store (not used on Windows).
    static UnicodeString StoreFolder();
    /// The key path without its leading and trailing "\\".
    static UnicodeString NormaliseKey(UnicodeStringView key);

private:
    static bool _HasLineBreak(UnicodeStringView s);
    UnicodeString _ResolveKey(const UnicodeString& key) const;
    /// Raises ERegistryError unless a key is open for writing and every pair may be written.
    void _CheckWritable(const std::vector<std::pair<UnicodeString, UnicodeString>>& values) const;
    bool _FindValue(const UnicodeString& name, UnicodeString& value);
    bool _blReadOnly;
    bool _blKeyOpenForWrite = false;
    bool _blKeyOpen = false;
    UnicodeString _szCurrentPath;
};

} // namespace rtl
