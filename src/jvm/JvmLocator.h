#pragma once
// Finding jvm.dll when the service names none: JAVA_HOME's JDK, then the JDKs
// and JREs that installers registered, the highest version first.
#include "common/CTextBuilder.h"

class CLogger;

class CJvmLocator {
public:
    explicit CJvmLocator(CLogger* logger) : logger(logger) {}
    CJvmLocator(const CJvmLocator&) = delete;
    CJvmLocator& operator=(const CJvmLocator&) = delete;

    // The first jvm.dll that exists below %JAVA_HOME% (bin\server, bin\client,
    // jre\bin\server), then below the folders the installers' registry keys
    // name, in the registry view of this program's bitness (free() it). Null
    // when there is none: the caller loads "jvm.dll" through the safe search path.
    wchar_t* find();
    // Every place looked at, "; "-separated, for the message when nothing loads.
    const wchar_t* placesTried() const { return tried.text(); }

private:
    // The file when it exists (taking ownership), else null after noting it.
    wchar_t* existing(wchar_t* path);
    // The first layout below home that exists.
    wchar_t* belowHome(const wchar_t* home);
    wchar_t* fromEnvironment();
    wchar_t* fromRegistry();
    void noteTried(const wchar_t* place, const wchar_t* remark);

    CLogger* logger;
    CTextBuilder tried;
};
