// A pre-initialisation command for the tests: writes its current directory
// and its arguments after the second to the file named first, then waits
// until the file named second exists (at most two minutes).
#include <windows.h>

#include <cstdio>
#include <string>

namespace {

std::string utf8(const std::wstring& text) {
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string result(size > 0 ? size - 1 : 0, '\0');
    if (size > 1) {
        WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, result.data(), size, nullptr, nullptr);
    }
    return result;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 3) {
        return 2;
    }
    wchar_t directory[MAX_PATH + 1] = {};
    GetCurrentDirectoryW(MAX_PATH, directory);
    std::string text = "cwd=" + utf8(directory) + "\n";
    for (int index = 3; index < argc; ++index) {
        text += "arg=" + utf8(argv[index]) + "\n";
    }
    const std::wstring temporary = std::wstring(argv[1]) + L".part";
    if (FILE* out = _wfopen(temporary.c_str(), L"wb")) {
        std::fwrite(text.data(), 1, text.size(), out);
        std::fclose(out);
        MoveFileW(temporary.c_str(), argv[1]);
    }
    for (int round = 0; round < 6000; ++round) {
        if (GetFileAttributesW(argv[2]) != INVALID_FILE_ATTRIBUTES) {
            break;
        }
        Sleep(20);
    }
    return 3;
}
