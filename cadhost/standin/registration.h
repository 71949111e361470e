#pragma once
// The stand-in host's registration for the current user (HKCU\Software\Classes): a ProgID
// ("AutoCAD.Application" unless told otherwise), its class and the local server that serves it.

#include <windows.h>

#include <string>

namespace quorvel::cadhost::standin {

// {5C1E2A7B-9D3F-4E61-A8B2-7F0C4D9E3A15}
inline constexpr CLSID kStandInClassId = {
    0x5c1e2a7b, 0x9d3f, 0x4e61, {0xa8, 0xb2, 0x7f, 0x0c, 0x4d, 0x9e, 0x3a, 0x15}};

inline constexpr wchar_t kDefaultProgId[] = L"AutoCAD.Application";

// runOptions: what the server is started with (" --release R14", ...), empty or with a leading
// space.
bool registerServer(const std::wstring& executable, const std::wstring& progId,
                    const std::wstring& runOptions);
bool unregisterServer(const std::wstring& progId);

}  // namespace quorvel::cadhost::standin
