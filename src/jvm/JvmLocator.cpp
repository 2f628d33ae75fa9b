#include "jvm/JvmLocator.h"

#include <windows.h>

#include <utility>

#include "common/HeapText.h"
#include "common/RegistryReaders.h"
#include "common/Win32Handle.h"
#include "jvm/JdkLayout.h"
#include "log/CLogger.h"

namespace {

// One registry key under which an installer records each version it installed
// as a subkey: <key>\<version>[\<below>] holds the library's path, the home
// folder, or both.
struct CRegisteredJvms {
    const wchar_t* key;
    const wchar_t* below;         // between the version subkey and the values; null for none
    const wchar_t* libraryValue;  // full path of jvm.dll; null for none
    const wchar_t* homeValue;     // the JDK's or JRE's folder; null for none
};

// Oracle's installers and most OpenJDK builds write the JavaSoft keys with
// CurrentVersion and per version JavaHome and RuntimeLib (Red Hat build of
// OpenJDK, "MSI installer components": docs.redhat.com). Eclipse Temurin and
// its predecessor AdoptOpenJDK: <key>\<version>\hotspot\MSI, value Path
// (github.com/adoptium/installer, wix). Azul Zulu: Zulu\zulu-<n>, value
// InstallationPath; Microsoft Build of OpenJDK: JDK\<version>\hotspot\MSI,
// value Path (both as github.com/dotnet/android-tools reads them, Jdks/).
const CRegisteredJvms kRegisteredJvms[] = {
    {L"SOFTWARE\\JavaSoft\\JDK", nullptr, L"RuntimeLib", L"JavaHome"},
    {L"SOFTWARE\\JavaSoft\\Java Development Kit", nullptr, L"RuntimeLib", L"JavaHome"},
    {L"SOFTWARE\\JavaSoft\\JRE", nullptr, L"RuntimeLib", L"JavaHome"},
    {L"SOFTWARE\\JavaSoft\\Java Runtime Environment", nullptr, L"RuntimeLib", L"JavaHome"},
    {L"SOFTWARE\\Eclipse Adoptium\\JDK", L"hotspot\\MSI", nullptr, L"Path"},
    {L"SOFTWARE\\Eclipse Adoptium\\JRE", L"hotspot\\MSI", nullptr, L"Path"},
    {L"SOFTWARE\\AdoptOpenJDK\\JDK", L"hotspot\\MSI", nullptr, L"Path"},
    {L"SOFTWARE\\AdoptOpenJDK\\JRE", L"hotspot\\MSI", nullptr, L"Path"},
    {L"SOFTWARE\\Azul Systems\\Zulu", nullptr, nullptr, L"InstallationPath"},
    {L"SOFTWARE\\Microsoft\\JDK", L"hotspot\\MSI", nullptr, L"Path"},
};

// A library of the other bitness cannot be loaded: read the keys that
// installers of this program's bitness write.
constexpr REGSAM kOwnView = sizeof(void*) == 8 ? KEY_WOW64_64KEY : KEY_WOW64_32KEY;

// The names of key's subkeys, owned by the result, and their number.
CHeapPtr<CVersionName> subkeyNames(HKEY key, std::size_t* count) {
    *count = 0;
    DWORD subkeys = 0;
    if (RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, nullptr, nullptr, nullptr,
                         nullptr, nullptr) != ERROR_SUCCESS) {
        return nullptr;
    }
    CHeapPtr<CVersionName> names = allocateZeroed<CVersionName>(subkeys);
    if (!names) {
        return nullptr;
    }
    // Subkeys added meanwhile are left out; removed ones end the listing early.
    for (DWORD index = 0; index < subkeys; ++index) {
        DWORD length = 256;
        if (RegEnumKeyExW(key, index, names.get()[*count].text, &length, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS) {
            break;
        }
        ++*count;
    }
    return names;
}

}  // namespace

void CJvmLocator::noteTried(const wchar_t* place, const wchar_t* remark) {
    if (tried.length() != 0) {
        tried.append(L"; ");
    }
    tried.append(place).append(remark);
}

bool CJvmLocator::absolute(const wchar_t* path, const wchar_t* key, const wchar_t* version) {
    if (isAbsoluteWindowsPath(path)) {
        return true;
    }
    // It would mean a folder below wherever the service runs, which anyone
    // who may write there could fill: not a place that names one JDK.
    CTextBuilder text;
    text.append(L"Looking for the JVM DLL: skipped ").append(path).append(L", not an absolute path, of ");
    if (version != nullptr) {
        text.append(L"HKLM\\").append(key).appendChar(L'\\').append(version);
    } else {
        text.append(key);
    }
    logger->logMessage(text.failed() ? L"Memory error." : text.text());
    noteTried(path, L" (not an absolute path)");
    return false;
}

CHeapText CJvmLocator::existing(CHeapText path) {
    if (!path) {
        return nullptr;
    }
    logger->logMessage(L"Looking for the JVM DLL at ", path.get());
    const DWORD attributes = GetFileAttributesW(path.get());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        return path;
    }
    noteTried(path.get(), nullptr);
    return nullptr;
}

CHeapText CJvmLocator::belowHome(const wchar_t* home) {
    for (std::size_t layout = 0; layout < kJdkLibraryLayoutCount; ++layout) {
        CHeapText found = existing(jdkLibraryPath(home, layout));
        if (found) {
            return found;
        }
    }
    return nullptr;
}

CHeapText CJvmLocator::fromEnvironment() {
    const DWORD needed = GetEnvironmentVariableW(L"JAVA_HOME", nullptr, 0);
    CHeapText home = allocateZeroed<wchar_t>(needed);
    const DWORD length = home ? GetEnvironmentVariableW(L"JAVA_HOME", home.get(), needed) : 0;
    if (needed == 0 || length == 0 || length >= needed) {
        logger->logMessage(L"Looking for the JVM DLL: JAVA_HOME is not set");
        noteTried(L"%JAVA_HOME%", L" (not set)");
        return nullptr;
    }
    return absolute(home.get(), L"JAVA_HOME", nullptr) ? belowHome(home.get()) : nullptr;
}

CHeapText CJvmLocator::fromRegistry() {
    for (const CRegisteredJvms& source : kRegisteredJvms) {
        CRegKey key;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, source.key, 0, KEY_READ | kOwnView, key.put()) != ERROR_SUCCESS) {
            logger->logMessage(L"Looking for the JVM DLL: no registry key HKLM\\", source.key);
            noteTried(L"HKLM\\", source.key);
            continue;
        }
        logger->logMessage(L"Looking for the JVM DLL in HKLM\\", source.key);
        const CHeapText current = readRegString(key.get(), nullptr, L"CurrentVersion");
        std::size_t count = 0;
        const CHeapPtr<CVersionName> versions = subkeyNames(key.get(), &count);
        if (count == 0) {
            noteTried(L"HKLM\\", source.key);
        }
        sortVersionsHighestFirst(versions.get(), count, current.get());
        for (std::size_t index = 0; index < count; ++index) {
            CRegKey version;
            if (RegOpenKeyExW(key.get(), versions.get()[index].text, 0, KEY_READ | kOwnView, version.put()) !=
                ERROR_SUCCESS) {
                continue;
            }
            const wchar_t* versionName = versions.get()[index].text;
            if (source.libraryValue != nullptr) {
                CHeapText library = readRegString(version.get(), source.below, source.libraryValue);
                const bool usable = library && absolute(library.get(), source.key, versionName);
                CHeapText found = usable ? existing(std::move(library)) : nullptr;
                if (found) {
                    return found;
                }
            }
            const CHeapText home = readRegString(version.get(), source.below, source.homeValue);
            CHeapText found = home && absolute(home.get(), source.key, versionName) ? belowHome(home.get()) : nullptr;
            if (found) {
                return found;
            }
        }
    }
    return nullptr;
}

CHeapText CJvmLocator::find() {
    CHeapText found = fromEnvironment();
    if (!found) {
        found = fromRegistry();
    }
    if (!found) {
        noteTried(L"jvm.dll", L" on the safe DLL search path");
    }
    return found;
}
