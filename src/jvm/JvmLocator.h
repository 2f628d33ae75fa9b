#pragma once
// Finding jvm.dll when the service names none: JAVA_HOME's JDK, then the JDKs
// and JREs that installers registered, the highest version first; a relative
// path of either is skipped.
#include "common/CTextBuilder.h"
#include "common/HeapText.h"

class CLogger;

class CJvmLocator {
public:
    explicit CJvmLocator(CLogger* logger) : logger(logger) {}
    CJvmLocator(const CJvmLocator&) = delete;
    CJvmLocator& operator=(const CJvmLocator&) = delete;

    // The first jvm.dll that exists below %JAVA_HOME% (bin\server, bin\client,
    // jre\bin\server), then below the folders the installers' registry keys
    // name, in the registry view of this program's bitness, owned by the result.
    // Null when there is none: the caller loads "jvm.dll" through the safe search path.
    CHeapText find();
    // Every place looked at, "; "-separated, for the message when nothing loads.
    const wchar_t* placesTried() const { return tried.text(); }

private:
    // Whether path (of JAVA_HOME, or of key\version) is absolute; else noted
    // and reported as skipped. version is null for JAVA_HOME.
    bool absolute(const wchar_t* path, const wchar_t* key, const wchar_t* version);
    // The file when it exists, else null after noting it.
    CHeapText existing(CHeapText path);
    // The first layout below home that exists.
    CHeapText belowHome(const wchar_t* home);
    CHeapText fromEnvironment();
    CHeapText fromRegistry();
    void noteTried(const wchar_t* place, const wchar_t* remark);

    CLogger* logger;
    CTextBuilder tried;
};
