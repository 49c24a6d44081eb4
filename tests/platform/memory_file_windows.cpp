#include "memory_file.hpp"

#include <windows.h>

#include <cstdio>
#include <cstdlib>

namespace {

void require(bool ok, const char* what) {
    if (ok) return;
    std::fprintf(stderr, "%s: error %lu\n", what, GetLastError());
    std::abort();
}

HANDLE handle_of(FileHandle file) {
    return reinterpret_cast<HANDLE>(file);
}

LONGLONG seek(FileHandle file, LONGLONG to, DWORD from) {
    LARGE_INTEGER distance{};
    distance.QuadPart = to;
    LARGE_INTEGER now{};
    require(SetFilePointerEx(handle_of(file), distance, &now, from) != 0, "seeking");
    return now.QuadPart;
}

} // namespace

FileHandle anonymous_file() {
    wchar_t dir[MAX_PATH + 1];
    wchar_t name[MAX_PATH + 1];
    require(GetTempPathW(MAX_PATH + 1, dir) != 0 && GetTempFileNameW(dir, L"spz", 0, name) != 0,
            "a temporary file name");
    const HANDLE handle = CreateFileW(
        name, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
        nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    require(handle != INVALID_HANDLE_VALUE, "a temporary file");
    return reinterpret_cast<FileHandle>(handle);
}

void fill_file(FileHandle file, std::string_view bytes) {
    seek(file, 0, FILE_BEGIN);
    require(SetEndOfFile(handle_of(file)) != 0, "emptying the input");
    DWORD put = 0;
    require(bytes.empty() || (WriteFile(handle_of(file), bytes.data(),
                                        static_cast<DWORD>(bytes.size()), &put, nullptr) &&
                              put == bytes.size()),
            "filling the input");
    seek(file, 0, FILE_BEGIN);
}

std::string file_contents(FileHandle file) {
    const LONGLONG position = seek(file, 0, FILE_CURRENT);
    const LONGLONG size = seek(file, 0, FILE_END);
    std::string text(static_cast<std::size_t>(size), '\0');
    seek(file, 0, FILE_BEGIN);
    DWORD got = 0;
    require(text.empty() ||
                (ReadFile(handle_of(file), text.data(), static_cast<DWORD>(size), &got, nullptr) &&
                 got == text.size()),
            "reading the output back");
    seek(file, position, FILE_BEGIN);
    return text;
}

std::uint64_t file_position(FileHandle file) {
    return static_cast<std::uint64_t>(seek(file, 0, FILE_CURRENT));
}
