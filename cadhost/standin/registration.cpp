#include "cadhost/standin/registration.h"

#include <objbase.h>

namespace quorvel::cadhost::standin {

namespace {

constexpr wchar_t kProgId[] = L"AutoCAD.Application";
constexpr wchar_t kClasses[] = L"Software\\Classes\\";

std::wstring classIdText() {
    wchar_t text[64] = {};
    StringFromGUID2(kStandInClassId, text, 64);
    return text;
}

bool setDefault(const std::wstring& key, const std::wstring& value) {
    HKEY handle = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, (kClasses + key).c_str(), 0, nullptr, 0, KEY_WRITE,
                        nullptr, &handle, nullptr) != ERROR_SUCCESS) {
        return false;
    }
    const LONG result =
        RegSetValueExW(handle, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                       static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(handle);
    return result == ERROR_SUCCESS;
}

}  // namespace

bool registerServer(const std::wstring& executable, bool olderRelease) {
    const std::wstring classKey = L"CLSID\\" + classIdText();
    std::wstring command = L"\"" + executable + L"\"";
    if (olderRelease) {
        command += L" --release R14";
    }
    return setDefault(kProgId, L"CAD 主机") &&
           setDefault(std::wstring(kProgId) + L"\\CLSID", classIdText()) &&
           setDefault(classKey, L"CAD 主机") && setDefault(classKey + L"\\ProgID", kProgId) &&
           setDefault(classKey + L"\\LocalServer32", command);
}

bool unregisterServer() {
    const LONG progId = RegDeleteTreeW(HKEY_CURRENT_USER, (std::wstring(kClasses) + kProgId).c_str());
    const LONG classKey = RegDeleteTreeW(
        HKEY_CURRENT_USER, (std::wstring(kClasses) + L"CLSID\\" + classIdText()).c_str());
    const auto gone = [](LONG result) {
        return result == ERROR_SUCCESS || result == ERROR_FILE_NOT_FOUND;
    };
    return gone(progId) && gone(classKey);
}

}  // namespace quorvel::cadhost::standin
