#pragma once
// Where a JDK or JRE keeps its jvm.dll, and which of several installed
// versions comes first. Portable: the Windows side (JvmLocator) asks the file
// system and the registry.
#include <cstddef>

#include "common/HeapText.h"

// The layouts of jvm.dll below a JDK or JRE folder, most common first:
// bin\server (JDK 9 on, and the JRE of 8), bin\client (32-bit JREs), then
// jre\bin\server (a JDK 8 and older).
extern const wchar_t* const kJdkLibraryLayouts[];
extern const std::size_t kJdkLibraryLayoutCount;

// Whether a folder named by JAVA_HOME or an installer's key can be trusted to
// mean one place: "X:\..." (or "X:/...") or "\\server\share...". "C:jdk" and
// "\jdk" would depend on the current folder or drive, "jdk" on the working directory.
bool isAbsoluteWindowsPath(const wchar_t* path);

// home joined to the layout's relative path with one backslash, owned by the
// result; null when memory ran out.
CHeapText jdkLibraryPath(const wchar_t* home, std::size_t layout);

// The folder whose runtime DLLs a JVM library imports: for ...\bin\server\jvm.dll
// or ...\bin\client\jvm.dll the ...\bin above it, owned by the result. Null for
// a library in any other folder, and when memory ran out.
CHeapText jdkImportFolder(const wchar_t* libraryPath);

// Orders version names as installers write them ("1.8", "1.8.0_392", "17.0.9.9",
// "zulu-21"): the numbers in them compared one by one, a name with more numbers
// higher when the shared ones are equal, other characters only breaking ties.
// Negative, 0 or positive like wcscmp.
int compareJavaVersions(const wchar_t* left, const wchar_t* right);

// A subkey name of the registry (at most 255 characters).
struct CVersionName {
    wchar_t text[256];
};

// Sorts the names highest first; a name equal to current (the installer's
// CurrentVersion, may be null) goes before all others.
void sortVersionsHighestFirst(CVersionName* names, std::size_t count, const wchar_t* current);
