#include "config/ConfigKeys.h"

#include "common/AsciiCase.h"
#include "common/LogRotation.h"
#include "common/RegistryLayout.h"
#include "config/ServiceSettingsText.h"

#include <cwchar>

constexpr CConfigKey kConfigKeys[kConfigKeyCount] = {
    {.id = EConfigKey::serviceDisplayName,
     .name = L"serviceDisplayName",
     .place = EKeyPlace::serviceManager,
     .valueName = kDisplayNameValue,
     .required = true,
     .help = "# The display name of the service: the name shown for the service in the\r\n"
             "# Services control panel.\r\n",
     .placeholder = "DISPLAYNAME",
     .exportedText = &CServiceSettings::displayName,
     .skeletonPosition = 0,
     .exportPosition = 0},
    {.id = EConfigKey::serviceName,
     .name = L"serviceName",
     .place = EKeyPlace::serviceManager,
     .required = true,
     .help = "# The name by which Windows knows the service. It is not shown to the end\r\n"
             "# user. A simple name without spaces or non-alphanumeric characters is\r\n"
             "# advised.\r\n",
     .placeholder = "SERVICENAME",
     .exportedText = &CServiceSettings::serviceName,
     .skeletonPosition = 1,
     .exportPosition = 1},
    {.id = EConfigKey::interactiveService,
     .name = L"interactiveService",
     .place = EKeyPlace::serviceManager,
     .valueName = kTypeValue,
     .defaultText = "FALSE",
     .help = "# Indicates whether the service is an interactive service.\r\n"
             "# This is an optional config parameter.\r\n"
             "# Interactive services have restrictions, for example on the account\r\n"
             "# they run under. Consult the Windows documentation before using one.\r\n",
     .placeholder = "TRUE | FALSE",
     .skeletonPosition = 3,
     .exportPosition = 2},
    {.id = EConfigKey::startType,
     .name = L"startType",
     .place = EKeyPlace::serviceManager,
     .valueName = kStartValue,
     .defaultText = "SERVICE_DEMAND_START",
     .help = "# How the service is started:\r\n"
             "# SERVICE_AUTO_START   - started by the service control manager during\r\n"
             "#                        system startup.\r\n"
             "# SERVICE_DEMAND_START - started by a user or a program, for example from\r\n"
             "#                        the Services control panel.\r\n"
             "# SERVICE_DISABLED     - the service cannot be started.\r\n",
     .placeholder = "SERVICE_AUTO_START | SERVICE_DEMAND_START | SERVICE_DISABLED",
     .skeletonPosition = 4,
     .exportPosition = 3},
    {.id = EConfigKey::errorControl,
     .name = L"errorControl",
     .place = EKeyPlace::serviceManager,
     .valueName = kErrorControlValue,
     .defaultText = "SERVICE_ERROR_NORMAL",
     .help = "# How the startup program of the system handles a failure of this service:\r\n"
             "# SERVICE_ERROR_IGNORE   - logs the error and continues the startup.\r\n"
             "# SERVICE_ERROR_NORMAL   - logs the error, displays a message box and\r\n"
             "#                          continues the startup.\r\n"
             "# SERVICE_ERROR_SEVERE   - logs the error. If the last known good\r\n"
             "#                          configuration is being started, the startup\r\n"
             "#                          continues; otherwise the system is restarted\r\n"
             "#                          with the last known good configuration.\r\n"
             "# SERVICE_ERROR_CRITICAL - logs the error if possible. If the last known\r\n"
             "#                          good configuration is being started, the\r\n"
             "#                          startup fails; otherwise the system is\r\n"
             "#                          restarted with the last known good configuration.\r\n",
     .placeholder = "SERVICE_ERROR_IGNORE | SERVICE_ERROR_NORMAL | SERVICE_ERROR_SEVERE | SERVICE_ERROR_CRITICAL",
     .skeletonPosition = 5,
     .exportPosition = 4},
    {.id = EConfigKey::binaryPath,
     .name = L"binaryPath",
     .place = EKeyPlace::serviceManager,
     .valueName = kImagePathValue,
     .defaultText = "the binary that is run when installing the service",
     .help = "# The full path of the executable of this program (pravik.exe).\r\n"
             "# This is an optional config parameter.\r\n"
             "# Interactive services have restrictions, for example on the account\r\n"
             "# they run under. Consult the Windows documentation before using one.\r\n",
     .placeholder = "BINARYPATH",
     .skeletonPosition = 6,
     .exportPosition = 5},
    {.id = EConfigKey::serviceDependencies,
     .name = L"serviceDependencies",
     .place = EKeyPlace::serviceManager,
     .valueName = kDependOnServiceValue,
     .defaultText = "no dependencies for this service",
     .help = "# The services that must have started before this service starts: a\r\n"
             "# comma-separated list of service names (not display names), with no\r\n"
             "# spaces next to the commas.\r\n",
     .placeholder = "DEPENDENCIES",
     .exportedText = &CServiceSettings::dependencies,
     .skeletonPosition = 7,
     .exportPosition = 6},
    {.id = EConfigKey::description,
     .name = L"description",
     .place = EKeyPlace::serviceKey,
     .valueName = kDescriptionValue,
     .defaultText = "no description",
     .help = "# A short text about the service, shown in the Description column of the\r\n"
             "# Services control panel.\r\n",
     .placeholder = "DESCRIPTION",
     .exportedText = &CServiceSettings::description,
     .skeletonPosition = 8,
     .exportPosition = 7},
    {.id = EConfigKey::jvmDll,
     .name = L"jvmDLL",
     .place = EKeyPlace::parameters,
     .valueName = kJvmDllValue,
     .defaultText = "jvm.dll",
     .help = "# The JVM library to load, typically found in the jre/bin/classic\r\n"
             "# subdirectory of a Java installation. A name without a path is looked\r\n"
             "# up by the library search rules of Windows.\r\n",
     .placeholder = "DLL",
     .exportedText = &CServiceSettings::jvmDll,
     .skeletonPosition = 9,
     .exportPosition = 8},
    {.id = EConfigKey::jvmOption,
     .name = L"jvmOption",
     .place = EKeyPlace::parameters,
     .valueName = kJvmOptionValuePrefix,
     .numbered = true,
     .defaultText = "no options.",
     .help = "# Options passed to the JVM, one option per key, numbered jvmOption1,\r\n"
             "# jvmOption2 and so on through jvmOptionN. For example:\r\n"
             "#jvmOption1=-Djava.class.path=.;C:\\myJavaClasses\r\n"
             "#jvmOption2=-Djava.compiler=NONE\r\n"
             "# \r\n",
     .placeholder = "OPTION",
     .skeletonPosition = 10,
     .exportPosition = 29},
    {.id = EConfigKey::commandLineParms,
     .name = L"commandLineParms",
     .place = EKeyPlace::parameters,
     .valueName = kCommandLineValue,
     .defaultText = "no command line parameters",
     .help = "# The command line parameters handed to the serviceMain method of the\r\n"
             "# Java service class.\r\n",
     .placeholder = "COMMAND_LINE",
     .exportedText = &CServiceSettings::commandLine,
     .skeletonPosition = 11,
     .exportPosition = 10},
    {.id = EConfigKey::ipravikClass,
     .name = L"ipravikClass",
     .place = EKeyPlace::parameters,
     .valueName = kPravikClassValue,
     .required = true,
     .help = "# The name of the Java class that implements the IPravik interface.\r\n",
     .placeholder = "SERVICECLASSNAME",
     .exportedText = &CServiceSettings::pravikClass,
     .skeletonPosition = 2,
     .exportPosition = 9},
    {.id = EConfigKey::verboseOutput,
     .name = L"verboseOutput",
     .place = EKeyPlace::parameters,
     .valueName = kVerboseFileValue,
     .defaultText = "no file for verbose output",
     .help = "# The file that receives the verbose output of the JVM, for example the\r\n"
             "# output of the JVM option -verbose:class.\r\n",
     .placeholder = "FILENAME",
     .exportedText = &CServiceSettings::verboseFile,
     .skeletonPosition = 12,
     .exportPosition = 11},
    {.id = EConfigKey::preinitCommand,
     .name = L"preinitCommand",
     .place = EKeyPlace::parameters,
     .valueName = kPreInitCmdValue,
     .defaultText = "no preinitalization command.",
     .help = "# A command that is run before the JVM is initialized. A batch file is\r\n"
             "# run through the command interpreter, for example:\r\n"
             "#   cmd.exe /c mycommand.bat\r\n"
             "# Give preinitWaitHint together with this parameter.\r\n",
     .placeholder = "COMMAND",
     .exportedText = &CServiceSettings::preInitCommand,
     .skeletonPosition = 13,
     .exportPosition = 12},
    {.id = EConfigKey::preinitWaitHint,
     .name = L"preinitWaitHint",
     .place = EKeyPlace::parameters,
     .valueName = kPreInitHintValue,
     .defaultNumber = kDefaultPreinitWaitHintMs,
     .help = "# The wait hint, in milliseconds, reported to the system while the\r\n"
             "# preinitialization command runs.\r\n",
     .placeholder = "HINTMILLISECONDS",
     .exportedText = &CServiceSettings::preInitHint,
     .skeletonPosition = 14,
     .exportPosition = 13},
    {.id = EConfigKey::stopTimeout,
     .name = L"stopTimeout",
     .place = EKeyPlace::parameters,
     .valueName = kStopTimeoutValue,
     .defaultNumber = kDefaultStopTimeoutMs,
     .help = "# The time, in milliseconds, the Java service has to stop once it is told\r\n"
             "# to, and for the JVM's shutdown. Then a thread dump is taken and the\r\n"
             "# service stops with exit code 26. 0 means no limit.\r\n",
     .placeholder = "STOPMILLISECONDS",
     .exportedText = &CServiceSettings::stopTimeout,
     .skeletonPosition = 15,
     .exportPosition = 14},
    // Also set as the manager's preshutdown timeout; the export takes it from here.
    {.id = EConfigKey::preshutdownTimeout,
     .name = L"preshutdownTimeout",
     .place = EKeyPlace::parameters,
     .valueName = kPreshutdownTimeoutValue,
     .defaultText = "no preshutdown control.",
     .help = "# The time, in milliseconds, the system waits at shutdown for the service,\r\n"
             "# which is told first with control 15 (SERVICE_CONTROL_PRESHUTDOWN)\r\n"
             "# before the short SERVICE_CONTROL_SHUTDOWN. Only with this key does the\r\n"
             "# service accept that control.\r\n",
     .placeholder = "PRESHUTDOWNMILLISECONDS",
     .exportedText = &CServiceSettings::preshutdownTimeout,
     .skeletonPosition = 25,
     .exportPosition = 15},
    {.id = EConfigKey::workingDirectory,
     .name = L"workingDirectory",
     .place = EKeyPlace::parameters,
     .valueName = kWorkingDirectoryValue,
     .defaultText = "the windows system directory such as c:\\windows\\system32.",
     .help = "# The current working directory of the Java service application, given\r\n"
             "# as a fully qualified path.\r\n",
     .placeholder = "WORKINGPATHNAME",
     .exportedText = &CServiceSettings::workingDirectory,
     .skeletonPosition = 16,
     .exportPosition = 16},
    {.id = EConfigKey::standardOutput,
     .name = L"standardOutput",
     .place = EKeyPlace::parameters,
     .valueName = kStandardOutputValue,
     .defaultText = "no file: the output is lost.",
     .help = "# The file that receives what the Java service application writes to\r\n"
             "# System.out when it runs as a service; appended to, created if missing.\r\n"
             "# It may name the same file as standardError.\r\n",
     .placeholder = "FILENAME",
     .exportedText = &CServiceSettings::standardOutput,
     .skeletonPosition = 17,
     .exportPosition = 17},
    {.id = EConfigKey::standardError,
     .name = L"standardError",
     .place = EKeyPlace::parameters,
     .valueName = kStandardErrorValue,
     .defaultText = "no file: the output is lost.",
     .help = "# The file that receives what the Java service application writes to\r\n"
             "# System.err when it runs as a service, stack traces among it.\r\n",
     .placeholder = "FILENAME",
     .exportedText = &CServiceSettings::standardError,
     .skeletonPosition = 18,
     .exportPosition = 18},
    {.id = EConfigKey::logRotateSize,
     .name = L"logRotateSize",
     .place = EKeyPlace::parameters,
     .valueName = kLogRotateSizeValue,
     .defaultNumber = kDefaultLogRotateMiB,
     .help = "# The size, in MiB, past which the standardOutput and standardError files\r\n"
             "# rotate, between lines: <name> becomes <name>.1, <name>.1 becomes\r\n"
             "# <name>.2, and so on. 0 means never.\r\n",
     .placeholder = "MEBIBYTES",
     .exportedText = &CServiceSettings::logRotateSize,
     .skeletonPosition = 26,
     .exportPosition = 27},
    {.id = EConfigKey::logKeep,
     .name = L"logKeep",
     .place = EKeyPlace::parameters,
     .valueName = kLogKeepValue,
     .defaultNumber = kDefaultLogKeep,
     .help = "# How many rotated files of each are kept; the oldest beyond them is deleted.\r\n",
     .placeholder = "COUNT",
     .exportedText = &CServiceSettings::logKeep,
     .skeletonPosition = 27,
     .exportPosition = 28},
    {.id = EConfigKey::environment,
     .name = L"env.",
     .place = EKeyPlace::parameters,
     .valueName = kEnvironmentValuePrefix,
     .prefixed = true,
     .defaultText = "no variables.",
     .help = "# An environment variable of the service, one key each: env. and the\r\n"
             "# variable's name. Set before the preinitialization command and the JVM\r\n"
             "# start, with %VAR% references expanded then. For example:\r\n"
             "#env.JAVA_TOOL_OPTIONS=-Xmx512m\r\n"
             "# \r\n",
     .placeholder = "VALUE",
     .skeletonPosition = 28,
     .exportPosition = 19},
    {.id = EConfigKey::secret,
     .name = L"secret.",
     .place = EKeyPlace::parameters,
     .valueName = kSecretValuePrefix,
     .prefixed = true,
     .defaultText = "no secrets.",
     .help = "# An environment variable whose value is kept encrypted for this computer\r\n"
             "# (DPAPI) and shown nowhere, one key each: secret. and the variable's name.\r\n"
             "# It wins over an env. key of the same name; it is not expanded. For example:\r\n"
             "#secret.DB_PASSWORD=s3cr3t\r\n"
             "# \r\n",
     .placeholder = "VALUE",
     .skeletonPosition = 29,
     .exportPosition = 20},
    {.id = EConfigKey::delayedAutoStart,
     .name = L"delayedAutoStart",
     .place = EKeyPlace::managerSetting,
     .defaultText = "FALSE",
     .help = "# TRUE: the service is started a while after the other automatic services,\r\n"
             "# so that it does not slow the system's startup. Only with\r\n"
             "# startType=SERVICE_AUTO_START; with another start type it is stored and\r\n"
             "# takes effect once the start type is SERVICE_AUTO_START.\r\n",
     .placeholder = "TRUE | FALSE",
     .skeletonPosition = 19,
     .exportPosition = 21},
    {.id = EConfigKey::failureActions,
     .name = L"failureActions",
     .place = EKeyPlace::managerSetting,
     .defaultText = "no action.",
     .help = "# What the service control manager does after the first, second and\r\n"
             "# later failures of the service: comma-separated actions, each an action\r\n"
             "# (restart, reboot, run or none), a slash and its delay in milliseconds,\r\n"
             "# for example restart/60000,restart/60000,none/0\r\n",
     .placeholder = "ACTION/MILLISECONDS,...",
     .exportedText = &CServiceSettings::failureActions,
     .skeletonPosition = 20,
     .exportPosition = 22},
    {.id = EConfigKey::failureResetPeriod,
     .name = L"failureResetPeriod",
     .place = EKeyPlace::managerSetting,
     .defaultNumber = kDefaultFailureResetSeconds,
     .help = "# The time, in seconds, without a failure after which the failure count\r\n"
             "# starts again at the first action.\r\n",
     .placeholder = "SECONDS",
     .exportedText = &CServiceSettings::failureResetPeriod,
     .skeletonPosition = 21,
     .exportPosition = 23},
    {.id = EConfigKey::failureCommand,
     .name = L"failureCommand",
     .place = EKeyPlace::managerSetting,
     .defaultText = "no command.",
     .help = "# The command line that the run action of failureActions runs; needed\r\n"
             "# when failureActions has a run action.\r\n",
     .placeholder = "COMMAND",
     .exportedText = &CServiceSettings::failureCommand,
     .skeletonPosition = 22,
     .exportPosition = 24},
    {.id = EConfigKey::failureActionsOnNonCrashFailures,
     .name = L"failureActionsOnNonCrashFailures",
     .place = EKeyPlace::managerSetting,
     .defaultText = "FALSE",
     .help = "# TRUE: a stop with a nonzero exit code counts as a failure and runs the\r\n"
             "# failure actions too, not only a service process that ends unexpectedly.\r\n",
     .placeholder = "TRUE | FALSE",
     .skeletonPosition = 23,
     .exportPosition = 25},
    {.id = EConfigKey::serviceSidType,
     .name = L"serviceSidType",
     .place = EKeyPlace::managerSetting,
     .defaultText = "NONE",
     .help = "# The service SID of the service's process: NONE, UNRESTRICTED (the\r\n"
             "# service SID is added to its token) or RESTRICTED (added as a restricted\r\n"
             "# SID as well, so that it reaches only what is granted to it).\r\n",
     .placeholder = "NONE | UNRESTRICTED | RESTRICTED",
     .exportedText = &CServiceSettings::serviceSidType,
     .skeletonPosition = 24,
     .exportPosition = 26},
};

namespace {

// The row at each position of the template and of the export; whole when each
// row stands at its enumerator's index and takes each of its positions alone.
struct CKeyOrders {
    unsigned char skeleton[kConfigKeyCount] = {};
    unsigned char exported[kConfigKeyCount] = {};
    bool whole = true;
};

constexpr CKeyOrders ordersOf(const CConfigKey (&keys)[kConfigKeyCount]) {
    CKeyOrders orders;
    bool skeletonTaken[kConfigKeyCount] = {};
    bool exportTaken[kConfigKeyCount] = {};
    for (std::size_t index = 0; index < kConfigKeyCount && orders.whole; ++index) {
        const CConfigKey& key = keys[index];
        orders.whole = static_cast<std::size_t>(key.id) == index && key.skeletonPosition < kConfigKeyCount &&
                       key.exportPosition < kConfigKeyCount && !skeletonTaken[key.skeletonPosition] &&
                       !exportTaken[key.exportPosition];
        if (orders.whole) {
            skeletonTaken[key.skeletonPosition] = exportTaken[key.exportPosition] = true;
            orders.skeleton[key.skeletonPosition] = static_cast<unsigned char>(index);
            orders.exported[key.exportPosition] = static_cast<unsigned char>(index);
        }
    }
    return orders;
}

constexpr CKeyOrders kOrders = ordersOf(kConfigKeys);
static_assert(kOrders.whole, "a row away from its enumerator's index, or two rows at one position");

}  // namespace

const CConfigKey* prefixedKeyOf(const wchar_t* key, const wchar_t** variable) {
    for (const CConfigKey& row : kConfigKeys) {
        const wchar_t* rest = row.prefixed ? afterPrefixIgnoringAsciiCase(key, row.name) : nullptr;
        if (rest != nullptr) {
            *variable = rest;
            return &row;
        }
    }
    return nullptr;
}

bool isVariableName(const wchar_t* variable) { return variable[0] != L'\0' && std::wcschr(variable, L'=') == nullptr; }

const CConfigKey& skeletonKey(std::size_t position) { return kConfigKeys[kOrders.skeleton[position]]; }

const CConfigKey& exportedKey(std::size_t position) { return kConfigKeys[kOrders.exported[position]]; }
