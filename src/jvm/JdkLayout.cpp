#include "jvm/JdkLayout.h"

#include <algorithm>
#include <cwchar>

#include "common/AsciiCase.h"
#include "common/CTextBuilder.h"

const wchar_t* const kJdkLibraryLayouts[] = {L"bin\\server\\jvm.dll", L"bin\\client\\jvm.dll",
                                             L"jre\\bin\\server\\jvm.dll"};
const std::size_t kJdkLibraryLayoutCount = sizeof(kJdkLibraryLayouts) / sizeof(kJdkLibraryLayouts[0]);

namespace {

bool isSeparator(wchar_t character) { return character == L'\\' || character == L'/'; }

bool isDigit(wchar_t character) { return character >= L'0' && character <= L'9'; }

// The next number at or after *position (advanced past it); false when none is left.
bool nextNumber(const wchar_t** position, const wchar_t** digits, std::size_t* length) {
    const wchar_t* cursor = *position;
    while (*cursor != L'\0' && !isDigit(*cursor)) {
        ++cursor;
    }
    if (*cursor == L'\0') {
        *position = cursor;
        return false;
    }
    while (*cursor == L'0' && isDigit(cursor[1])) {
        ++cursor;
    }
    *digits = cursor;
    while (isDigit(*cursor)) {
        ++cursor;
    }
    *length = static_cast<std::size_t>(cursor - *digits);
    *position = cursor;
    return true;
}

// Numbers of any length compare without overflow: by length, then digit by digit.
int compareNumbers(const wchar_t* left, std::size_t leftLength, const wchar_t* right, std::size_t rightLength) {
    if (leftLength != rightLength) {
        return leftLength < rightLength ? -1 : 1;
    }
    return std::wcsncmp(left, right, leftLength);
}

bool isAsciiLetter(wchar_t character) {
    return (character >= L'A' && character <= L'Z') || (character >= L'a' && character <= L'z');
}

}  // namespace

bool isAbsoluteWindowsPath(const wchar_t* path) {
    if (isAsciiLetter(path[0]) && path[1] == L':') {
        return isSeparator(path[2]);
    }
    return isSeparator(path[0]) && isSeparator(path[1]) && path[2] != L'\0' && !isSeparator(path[2]);
}

CHeapText jdkLibraryPath(const wchar_t* home, std::size_t layout) {
    CTextBuilder path;
    path.append(home);
    if (path.length() == 0 || !isSeparator(path.text()[path.length() - 1])) {
        path.appendChar(L'\\');
    }
    path.append(kJdkLibraryLayouts[layout]);
    return CHeapText(path.release());
}

CHeapText jdkImportFolder(const wchar_t* libraryPath) {
    // The ends of the file name, of its folder and of the folder above.
    const wchar_t* fileStart = nullptr;
    const wchar_t* folderStart = nullptr;
    for (const wchar_t* cursor = libraryPath; *cursor != L'\0'; ++cursor) {
        if (isSeparator(*cursor)) {
            folderStart = fileStart;
            fileStart = cursor + 1;
        }
    }
    // A folder above the library's own, and a name before it.
    if (folderStart == nullptr || folderStart - 1 == libraryPath) {
        return nullptr;
    }
    CTextBuilder folder;
    folder.append(folderStart, static_cast<std::size_t>(fileStart - 1 - folderStart));
    if (!equalsIgnoringAsciiCase(folder.text(), L"server") && !equalsIgnoringAsciiCase(folder.text(), L"client")) {
        return nullptr;
    }
    CTextBuilder above;
    above.append(libraryPath, static_cast<std::size_t>(folderStart - 1 - libraryPath));
    return CHeapText(above.release());
}

int compareJavaVersions(const wchar_t* left, const wchar_t* right) {
    const wchar_t* leftCursor = left;
    const wchar_t* rightCursor = right;
    for (;;) {
        const wchar_t* leftDigits = nullptr;
        const wchar_t* rightDigits = nullptr;
        std::size_t leftLength = 0;
        std::size_t rightLength = 0;
        const bool leftHas = nextNumber(&leftCursor, &leftDigits, &leftLength);
        const bool rightHas = nextNumber(&rightCursor, &rightDigits, &rightLength);
        if (!leftHas || !rightHas) {
            if (leftHas != rightHas) {
                return leftHas ? 1 : -1;
            }
            const int tie = std::wcscmp(left, right);
            return tie < 0 ? -1 : (tie > 0 ? 1 : 0);
        }
        const int order = compareNumbers(leftDigits, leftLength, rightDigits, rightLength);
        if (order != 0) {
            return order < 0 ? -1 : 1;
        }
    }
}

void sortVersionsHighestFirst(CVersionName* names, std::size_t count, const wchar_t* current) {
    std::sort(names, names + count, [current](const CVersionName& left, const CVersionName& right) {
        const bool leftCurrent = current != nullptr && std::wcscmp(left.text, current) == 0;
        const bool rightCurrent = current != nullptr && std::wcscmp(right.text, current) == 0;
        if (leftCurrent != rightCurrent) {
            return leftCurrent;
        }
        return compareJavaVersions(left.text, right.text) > 0;
    });
}
