#include "jvm/CJvm.h"

#include <cstring>

#include "common/CTextBuilder.h"
#include "common/MbcsConversion.h"
#include "common/OwnProgramPath.h"
#include "common/OwnedFile.h"
#include "common/RegistryLayout.h"
#include "jvm/JvmInitArgs.h"
#include "jvm/JvmLocator.h"
#include "jvm/JvmOutputTrace.h"
#include "jvm/JvmOwner.h"
#include "jvm/JvmThreadDump.h"
#include "jvm/LibraryBitness.h"
#include "jvm/LibraryLoad.h"
#include "log/CLogger.h"
#include "log/TraceScope.h"
#include "registry/StartSettings.h"

namespace {

// The entry point, or null after reporting its absence with the system's reason.
template <typename Proc>
Proc requireEntryPoint(CLogger* logger, HMODULE library, const char* name, const wchar_t* missingMessage,
                       const wchar_t* path) {
    const Proc found = reinterpret_cast<Proc>(reinterpret_cast<void (*)()>(GetProcAddress(library, name)));
    if (found == nullptr) {
        const DWORD error = GetLastError();
        logger->logMessage(missingMessage, path);
        logger->logSystemError(error);
    }
    return found;
}

CHeapPtr<char> copyNarrow(const char* text) {
    const std::size_t length = std::strlen(text);
    CHeapPtr<char> copy = allocateZeroed<char>(length + 1);
    if (copy) {
        std::memcpy(copy.get(), text, length);
    }
    return copy;
}

}  // namespace

CJvm::CJvm(CLogger* logger) : logger(logger) {}

CJvm::~CJvm() {
    destroyJVM();
    setJvmOutputTrace(nullptr);
    // The JVM and its threads keep running in the library until the process ends.
    jvmLibrary.detach();
}

void CJvm::destroyJVM() {
    if (jvm != nullptr) {
        // On the creating thread, which may attach: HotSpot waits for Java's
        // non-daemon threads and runs the shutdown hooks; the executor's stop
        // budget bounds the wait.
        jvm->DestroyJavaVM();
        rememberJvmForDumps(nullptr, nullptr);
    }
    jvm = nullptr;
}

int CJvm::initialize(const CStartSettings& settings) {
    CTraceScope trace(logger, L"CJvm::initialize");
    const wchar_t* verboseFile = settings.verboseFile.get();
    setJvmVerboseFile(duplicateText(verboseFile));
    // The file opens at the JVM's first output, where nothing can say why it is refused: said here.
    if (verboseFile != nullptr && !isOwnableFile(verboseFile) && GetLastError() == kFileNotOwnable) {
        logger->logMessage(kRefusedFileMessage, verboseFile);
    }
    int result = loadJVMDll(settings);
    if (result == 0) {
        result = getDefaultArgs();
    }
    if (result != 0) {
        return trace.exit(result);
    }
    setJvmOutputTrace(logger);
    CJvmInitArgs args;
    if (!createInitArgs(settings, &args)) {
        return trace.exit(kJvmCreationFailed);
    }
    const jint status = createJavaVm(&jvm, reinterpret_cast<void**>(&environment), args.get());
    if (status < 0) {
        jvm = nullptr;
        environment = nullptr;
        logger->logMessage(L"Failed to create Java VM rc=", static_cast<unsigned long>(status));
        return trace.exit(kJvmCreationFailed);
    }
    rememberJvmForDumps(jvm, jvmLibrary.get());
    return trace.exit(0);
}

CHeapText CJvm::libraryPath() const {
    DWORD error = 0;
    return jvmLibrary ? modulePath(jvmLibrary.get(), &error) : nullptr;
}

int CJvm::loadJVMDll(const CStartSettings& settings) {
    CTraceScope trace(logger, L"CJvm::loadJVMDll");
    logParameterReadFailure(logger, settings.serviceName, kJvmDllValue, settings.jvmLibrary);
    const wchar_t* configured = settings.jvmLibrary.text.get();
    CJvmLocator locator(logger);
    const CHeapText found = configured ? CHeapText() : locator.find();
    const wchar_t* path = configured ? configured : (found ? found.get() : L"jvm.dll");
    if (reportOtherBitness(path, logger)) {
        return trace.exit(kJvmLibraryNotLoaded);
    }
    jvmLibrary.reset(loadLibraryOutsideCurrentDirectory(path));
    if (!jvmLibrary) {
        const DWORD error = GetLastError();
        logger->logMessage(L"Cannot load the JVM DLL : ", path);
        logger->logSystemError(error);
        logger->logMessage(L"The JVM DLL should be located in your jre/bin/classic subdirectory.");
        if (!configured && !found) {
            logger->logMessage(L"No JVM DLL was found at: ", locator.placesTried());
            logger->logMessage(L"Set jvmDLL to the path of jvm.dll, or JAVA_HOME to the folder of a JDK.");
        }
        return trace.exit(kJvmLibraryNotLoaded);
    }
    createJavaVm = requireEntryPoint<JniCreateJavaVmProc>(
        logger, jvmLibrary.get(), "JNI_CreateJavaVM", L"Cannot load JNI_CreateJavaVM from the JVM DLL : ", path);
    if (createJavaVm == nullptr) {
        return trace.exit(kJvmEntryPointMissing);
    }
    getDefaultJavaVmInitArgs = requireEntryPoint<JniGetDefaultJavaVmInitArgsProc>(
        logger, jvmLibrary.get(), "JNI_GetDefaultJavaVMInitArgs",
        L"Cannot load JNI_GetDefaultJavaVMInitArgs from the JVM DLL : ", path);
    if (getDefaultJavaVmInitArgs == nullptr) {
        return trace.exit(kJvmEntryPointMissing);
    }
    logger->logMessage(L"JVM DLL ", path, L" loaded successfully.");
    return trace.exit(0);
}

int CJvm::getDefaultArgs() {
    CTraceScope trace(logger, L"CJvm::getDefaultArgs");
    JavaVMInitArgs probe = {};
    probe.version = JNI_VERSION_1_2;
    probe.nOptions = 0;
    probe.options = nullptr;
    probe.ignoreUnrecognized = JNI_FALSE;
    const jint status = getDefaultJavaVmInitArgs(&probe);
    if (status != 0) {
        logger->logMessage(L"JNI_GetDefaultJavaVMInitArgs failed!", static_cast<unsigned long>(status));
        return trace.exit(kJvmDefaultArgsFailed);
    }
    return trace.exit(0);
}

bool CJvm::createInitArgs(const CStartSettings& settings, CJvmInitArgs* args) {
    CTraceScope trace(logger, L"CJvm::createInitArgs");
    bool complete = true;
    for (const CHeapText& option : settings.jvmOptions) {
        // One whose references could not be expanded ends the list.
        if (!complete || !option) {
            break;
        }
        complete = args->add(convertToMBCS(option.get()), nullptr);
    }
    // pravik.jar's service classes accept preshutdown when it is configured.
    const CHeapText& preshutdown = settings.preshutdownTimeout;
    if (complete && preshutdown) {
        CTextBuilder option;
        option.append(L"-Dpravik.preshutdown=").append(preshutdown.get());
        complete = !option.failed() && args->add(convertToMBCS(option.text()), nullptr);
    }
    // The output hook also without a verbose file: HotSpot's own output, thread dumps among it, then reaches the trace.
    if (complete) {
        complete = args->add(copyNarrow("vfprintf"), reinterpret_cast<void*>(&jvmOutputHook));
    }
    if (complete) {
        complete = args->add(copyNarrow("exit"), reinterpret_cast<void*>(&jvmExitHook));
    }
    if (!complete) {
        logger->logMessage(L"Memory error in CJvm::createInitArgs");
    }
    return complete;
}
