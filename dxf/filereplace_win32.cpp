#include "dxf/filereplace.h"

#include <windows.h>

#include <string>

#include "dxf/drawing.h"
#include "textcodec/utf.h"

namespace quorvel::dxf {

namespace {

// The system's own message for an error, as UTF-8.
std::string systemMessage(DWORD error) {
    wchar_t* text = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring wide = length > 0 ? std::wstring(text, length) : std::wstring();
    LocalFree(text);
    while (!wide.empty() && (wide.back() == L'\n' || wide.back() == L'\r' || wide.back() == L' '))
        wide.pop_back();
    if (wide.empty())
        return "错误 " + std::to_string(error);
    return textcodec::toUtf8(
        std::u16string_view(reinterpret_cast<const char16_t*>(wide.data()), wide.size()));
}

[[noreturn]] void ioError(const std::string& what, DWORD error) {
    throw DxfError(DxfError::Kind::Io, what + "：" + systemMessage(error));
}

std::string utf8Of(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

}  // namespace

void replaceFile(const std::filesystem::path& target, const std::filesystem::path& folder,
                 const std::filesystem::path& backup, const std::string& shown,
                 const std::function<void(const ByteSink&)>& produce) {
    const DWORD attributes = GetFileAttributesW(target.c_str());
    const bool exists = attributes != INVALID_FILE_ATTRIBUTES;
    if (exists && (attributes & FILE_ATTRIBUTE_READONLY) != 0) {
        ioError("图形文件“" + shown + "”不能写入", ERROR_ACCESS_DENIED);
    }

    wchar_t temporary[MAX_PATH + 1] = {};
    if (GetTempFileNameW(folder.c_str(), L"dxf", 0, temporary) == 0)
        ioError("不能在文件夹“" + utf8Of(folder) + "”中保存图形", GetLastError());
    const HANDLE file = CreateFileW(temporary, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        DeleteFileW(temporary);
        ioError("不能在文件夹“" + utf8Of(folder) + "”中保存图形", error);
    }

    DWORD failure = 0;
    std::string buffer;
    const auto writeOut = [&](std::string_view piece) {
        while (failure == 0 && !piece.empty()) {
            const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(piece.size(), 1u << 30));
            DWORD written = 0;
            if (!WriteFile(file, piece.data(), chunk, &written, nullptr)) {
                failure = GetLastError();
                break;
            }
            piece.remove_prefix(written);
        }
    };
    constexpr std::size_t kBufferSize = 1 << 20;
    produce([&](std::string_view piece) {
        if (buffer.size() + piece.size() > kBufferSize) {
            writeOut(buffer);
            buffer.clear();
        }
        buffer.append(piece);
    });
    writeOut(buffer);
    if (failure == 0 && !FlushFileBuffers(file))
        failure = GetLastError();
    CloseHandle(file);
    if (failure != 0) {
        DeleteFileW(temporary);
        ioError("保存图形“" + shown + "”失败", failure);
    }

    if (exists && backup != target) {
        if (!CopyFileW(target.c_str(), backup.c_str(), FALSE)) {
            const DWORD error = GetLastError();
            DeleteFileW(temporary);
            ioError("不能建立备份文件“" + utf8Of(backup) + "”", error);
        }
    }
    if (!MoveFileExW(temporary, target.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        const DWORD error = GetLastError();
        DeleteFileW(temporary);
        ioError("保存图形“" + shown + "”失败", error);
    }
}

}  // namespace quorvel::dxf
