#include "cadhost/standin/registration.h"

#include <objbase.h>

namespace quorvel::cadhost::standin {

namespace {

constexpr wchar_t kClasses[] = L"Software\\Classes\\";

std::wstring classIdText() {
    wchar_t text[64] = {};
    StringFromGUID2(kStandInClassId, text, 64);
    return text;
}

bool setDefault(HKEY root, const std::wstring& key, const std::wstring& value) {
    HKEY handle = nullptr;
    if (RegCreateKeyExW(root, (kClasses + key).c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &handle,
                        nullptr) != ERROR_SUCCESS) {
        return false;
    }
    const LONG result =
        RegSetValueExW(handle, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                       static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(handle);
    return result == ERROR_SUCCESS;
}

bool writeRegistration(HKEY root, const std::wstring& progId, const std::wstring& command) {
    const std::wstring classKey = L"CLSID\\" + classIdText();
    return setDefault(root, progId, L"CAD 主机") &&
           setDefault(root, progId + L"\\CLSID", classIdText()) &&
           setDefault(root, classKey, L"CAD 主机") &&
           setDefault(root, classKey + L"\\ProgID", progId) &&
           setDefault(root, classKey + L"\\LocalServer32", command);
}

bool removeRegistration(HKEY root, const std::wstring& progId) {
    const auto gone = [](LONG result) {
        return result == ERROR_SUCCESS || result == ERROR_FILE_NOT_FOUND;
    };
    bool removed = gone(RegDeleteTreeW(root, (kClasses + progId).c_str()));
    if (progId != kDefaultProgId) {
        removed = gone(RegDeleteTreeW(root, (std::wstring(kClasses) + kDefaultProgId).c_str())) &&
                  removed;
    }
    return gone(RegDeleteTreeW(root,
                               (std::wstring(kClasses) + L"CLSID\\" + classIdText()).c_str())) &&
           removed;
}

// Whether COM resolves the ProgID to this server's class.
bool resolvesToThisClass(const std::wstring& progId) {
    CLSID found{};
    return SUCCEEDED(CLSIDFromProgID(progId.c_str(), &found)) &&
           IsEqualCLSID(found, kStandInClassId);
}

}  // namespace

bool registerServer(const std::wstring& executable, const std::wstring& progId,
                    const std::wstring& runOptions) {
    const std::wstring command = L"\"" + executable + L"\"" + runOptions;
    // One class, one ProgID: a registration under another name replaces the earlier one.
    removeRegistration(HKEY_CURRENT_USER, progId);
    if (!writeRegistration(HKEY_CURRENT_USER, progId, command)) {
        return false;
    }
    // A system that does not merge the user's classes into the class root (Wine does not) only
    // finds a machine-wide registration.
    // A machine-wide entry made that way earlier is kept up to date.
    HKEY existing = nullptr;
    const bool machineWide =
        RegOpenKeyExW(HKEY_LOCAL_MACHINE,
                      (std::wstring(kClasses) + L"CLSID\\" + classIdText()).c_str(), 0, KEY_READ,
                      &existing) == ERROR_SUCCESS;
    if (existing != nullptr) {
        RegCloseKey(existing);
    }
    if (!machineWide && resolvesToThisClass(progId)) {
        return true;
    }
    removeRegistration(HKEY_LOCAL_MACHINE, progId);
    return writeRegistration(HKEY_LOCAL_MACHINE, progId, command);
}

bool unregisterServer(const std::wstring& progId) {
    const bool user = removeRegistration(HKEY_CURRENT_USER, progId);
    const bool machine = removeRegistration(HKEY_LOCAL_MACHINE, progId);
    return user && machine;
}

}  // namespace quorvel::cadhost::standin
