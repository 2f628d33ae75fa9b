#pragma once
// What a service's start reads from its Parameters key, read at once on the
// service thread (one open of the key) and handed to the steps that use it:
// the working directory, the pre-initialisation command, the output capture,
// the JVM start and the run's watch. Each value is the text stored, null when
// absent, until its %NAME% references are replaced: the working directory's
// and the stop timeout's at once (they are used before the service's own
// variables are set), the others' once those are set. The command line's
// never: it reaches Java as written.
#include <windows.h>

#include <vector>

#include "common/HeapText.h"
#include "registry/ServiceParameters.h"

class CStartSettings {
public:
    // Reads the service's values; none when its key cannot be opened.
    explicit CStartSettings(const wchar_t* serviceName);
    CStartSettings(CStartSettings&&) = default;
    CStartSettings(const CStartSettings&) = delete;
    CStartSettings& operator=(const CStartSettings&) = delete;

    // Replaces %NAME% references with the process's variables as they are now:
    // in the working directory and the stop timeout.
    void expandEarlyReferences();
    // In the others but the command line.
    void expandReferences();

    const wchar_t* serviceName;
    CHeapText workingDirectory;
    CHeapText preinitCommand;
    CHeapText preinitWaitHint;
    CHeapText standardOutput;
    CHeapText standardError;
    CHeapText logRotateSize;
    CHeapText logKeep;
    CHeapText verboseFile;
    // Its failure is said when the JVM library is looked for.
    CParameterRead jvmLibrary;
    // JVMOption1, JVMOption2, ... up to the first one missing.
    std::vector<CHeapText> jvmOptions;
    CHeapText preshutdownTimeout;
    CHeapText commandLine;
    // Its failure is said when the class is looked for.
    CParameterRead serviceClass;
    CHeapText stopTimeout;
};
