#pragma once
// TRegistry over the Windows registry, or elsewhere over one INI-style file per root key
// (HKEY_CURRENT_USER.ini, HKEY_LOCAL_MACHINE.ini) in the folder named by VENTURO_MTD_REGISTRY
// (default $XDG_CONFIG_HOME/venturo-mtd/registry). A section per key; key paths and value names
// are compared without regard to A..Z case; writes replace the file atomically.
#include "ObjectHooks.h"
#include "RtlApi.h"
#include "UnicodeString.h"

namespace rtl {

enum class TRootKey { CurrentUser, LocalMachine };

class RTL_API TRegistry : public TObject {
public:
    /// readOnly: OpenKey never creates and writes are refused.
    explicit TRegistry(bool readOnly = false);
    ~TRegistry() override;

    TRootKey RootKey = TRootKey::CurrentUser;

    /// Opens a key ("SOFTWARE\\Corvane\\Venturo MTD\\"; a leading or trailing "\\" is ignored),
    /// creating it when canCreate. False when it does not exist (and may not be created).
    bool OpenKey(const UnicodeString& key, bool canCreate);
    bool OpenKeyReadOnly(const UnicodeString& key);
    bool KeyExists(const UnicodeString& key);
    /// Value queries and writes act on the open key.
    bool ValueExists(const UnicodeString& name);
    /// Raises ERegistryError when the value is missing.
    UnicodeString ReadString(const UnicodeString& name);
    /// Raises ERegistryError when the value is missing or not an integer.
    int ReadInteger(const UnicodeString& name);
    /// Raise ERegistryError when no key is open for writing or the store cannot be written.
    void WriteString(const UnicodeString& name, const UnicodeString& value);
    void WriteInteger(const UnicodeString& name, int value);
    void CloseKey();
    const UnicodeString& CurrentPath() const noexcept { return _szCurrentPath; }

    /// The folder of the file store (not used on Windows).
    static UnicodeString StoreFolder();

private:
    bool _blReadOnly;
    bool _blKeyOpenForWrite = false;
    bool _blKeyOpen = false;
    UnicodeString _szCurrentPath;
};

} // namespace rtl
