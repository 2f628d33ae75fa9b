#include "main/CParameters.h"

#include <cstdio>
#include <cwchar>

#include "common/BuildInfo.h"
#include "common/ExitCodes.h"
#include "log/CLogger.h"
#include "log/TraceScope.h"

namespace {

// The switch texts: the parser compares against these and the usage text prints
// them, so the two cannot disagree.
const wchar_t kHelp[] = L"-?";
const wchar_t kInstall[] = L"-i";
const wchar_t kUninstall[] = L"-u";
const wchar_t kRemove[] = L"-r";
const wchar_t kAccount[] = L"-a";
const wchar_t kPassword[] = L"-p";
const wchar_t kScm[] = L"-Z";
const wchar_t kConsole[] = L"-x";
const wchar_t kUnicode[] = L"-w";
const wchar_t kSkeleton[] = L"-c";
const wchar_t kDisplayAll[] = L"-b";
const wchar_t kTrace[] = L"-t";
const wchar_t kDisplay[] = L"-d";
const wchar_t kExport[] = L"-e";
const wchar_t kSignal[] = L"-s";
const wchar_t kStatus[] = L"-q";
const wchar_t kApply[] = L"-U";
const wchar_t kDryRun[] = L"-n";

enum class EValues { none, one, trace, two };

struct CSwitch {
    const wchar_t* text;
    EValues values;
    int CParameters::*flag;
    const wchar_t* CParameters::*first;
    const wchar_t* CParameters::*second;
    bool consoleOff;
    const wchar_t* missingMessage;
};

}  // namespace

CParameters::CParameters(CLogger* logger, TraceSwitchFunction traceSwitch)
    : logger(logger), traceSwitch(traceSwitch) {}

CInstallRequest CParameters::installRequest() const {
    return CInstallRequest{configFileName, unicodeFlag, serviceName, accountName, accountPassword, dryRunFlag};
}

const wchar_t* CParameters::getBuildDate() const { return T_PRAVIK_BUILD_DATE; }

const wchar_t* CParameters::getBuildTime() const { return T_PRAVIK_BUILD_TIME; }

int CParameters::parseCommandLine(int argc, wchar_t** argv) {
    static const CSwitch switches[] = {
        {kHelp, EValues::none, &CParameters::helpFlag, nullptr, nullptr, false, nullptr},
        {kUnicode, EValues::none, &CParameters::unicodeFlag, nullptr, nullptr, false, nullptr},
        {kDisplayAll, EValues::none, &CParameters::displayAllFlag, nullptr, nullptr, false, nullptr},
        {kInstall, EValues::one, &CParameters::installFlag, &CParameters::configFileName, nullptr, false,
         L" option requires config file name"},
        {kUninstall, EValues::one, &CParameters::uninstallFlag, &CParameters::configFileName, nullptr, false,
         L" option requires config file name"},
        {kRemove, EValues::one, &CParameters::uninstallFlag, &CParameters::serviceName, nullptr, false,
         L" option requires the service name"},
        {kAccount, EValues::one, nullptr, &CParameters::accountName, nullptr, false,
         L" option requires an account name"},
        {kPassword, EValues::one, nullptr, &CParameters::accountPassword, nullptr, false,
         L" option requires a password"},
        {kScm, EValues::one, &CParameters::scmFlag, &CParameters::serviceName, nullptr, true,
         L" option requires the service name"},
        {kConsole, EValues::one, &CParameters::consoleFlag, &CParameters::serviceName, nullptr, true,
         L" option requires the service name"},
        {kSkeleton, EValues::one, &CParameters::skeletonFlag, &CParameters::configFileName, nullptr, false,
         L" option requires config file name"},
        {kTrace, EValues::trace, nullptr, nullptr, nullptr, false, L" option requires log file name, or OFF"},
        {kDisplay, EValues::one, &CParameters::displayFlag, &CParameters::serviceName, nullptr, false,
         L" option requires service name."},
        {kExport, EValues::two, &CParameters::displayFlag, &CParameters::serviceName, &CParameters::configFileName,
         false, L" option requires service name and output file name."},
        {kSignal, EValues::two, &CParameters::signalFlag, &CParameters::serviceName, &CParameters::signal, false,
         L" option requires service name and signal."},
        {kStatus, EValues::one, &CParameters::statusFlag, &CParameters::serviceName, nullptr, false,
         L" option requires the service name"},
        {kApply, EValues::one, &CParameters::applyFlag, &CParameters::configFileName, nullptr, false,
         L" option requires config file name"},
        {kDryRun, EValues::none, &CParameters::dryRunFlag, nullptr, nullptr, false, nullptr},
    };

    CTraceScope trace(logger, L"CParameters::parseCommandLine", argc);
    if (argc < 2) {
        return trace.exit(kUsageShown);
    }
    logger->enableStdout(1);
    for (int index = 1; index < argc; ++index) {
        const CSwitch* matched = nullptr;
        for (const CSwitch& candidate : switches) {
            if (std::wcscmp(argv[index], candidate.text) == 0) {
                matched = &candidate;
                break;
            }
        }
        if (matched == nullptr) {
            continue;
        }
        // The effects that need no value come first, so that they hold even
        // when the value is missing (and "-Z"/"-x" silence their own message).
        if (matched->flag != nullptr) {
            this->*(matched->flag) = 1;
        }
        if (matched->consoleOff) {
            logger->enableStdout(0);
        }
        const int needed = matched->values == EValues::none ? 0 : matched->values == EValues::two ? 2 : 1;
        if (index + needed >= argc) {
            logger->logMessage(matched->text, matched->missingMessage);
            return trace.exit(kSwitchError);
        }
        if (matched->values == EValues::trace) {
            traceSwitch(argv[index + 1], logger);
        } else {
            if (matched->first != nullptr) {
                this->*(matched->first) = argv[index + 1];
            }
            if (matched->second != nullptr) {
                this->*(matched->second) = argv[index + 2];
            }
        }
        index += needed;
    }
    return trace.exit(0);
}

void CParameters::showParameterHelp() {
    std::wprintf(L"pravik                       (build %ls %ls)\n", getBuildDate(), getBuildTime());
    std::wprintf(L"Usage: pravik [options]\n");
    std::wprintf(L"options:\n");
    std::wprintf(L"%ls : returns this help\n", kHelp);
    std::wprintf(L"%ls configfile : installs a service using the specified config file\n", kInstall);
    std::wprintf(L"%ls configfile : Uninstalls a service using the specified config file\n", kUninstall);
    std::wprintf(L"%ls serviceName : Uninstalls a service using the specified service name\n", kRemove);
    std::wprintf(L"%ls account : Installs a service which logs on as this account\n", kAccount);
    std::wprintf(L"             This option is only valid with the %ls option\n", kInstall);
    std::wprintf(L"%ls password : Used with the %ls parameter to specify the account password\n", kPassword, kAccount);
    std::wprintf(L"%ls configfile : Generates a skeleton config file that can be filled in with\n", kSkeleton);
    std::wprintf(L"                actual values for your application\n");
    std::wprintf(L"%ls : Displays all the services currently installed that are \n", kDisplayAll);
    std::wprintf(L"     powered by Pravik.\n");
    std::wprintf(L"%ls {logfile|OFF} : Turns the trace on.  Trace is written to the specified file.\n", kTrace);
    std::wprintf(L"   Specify OFF when you want to turn tracing off.\n");
    std::wprintf(L"%ls serviceName : Displays information about the installed service. \n", kDisplay);
    std::wprintf(L"%ls serviceName configfile : Saves information about the installed service to a file. \n", kExport);
    std::wprintf(L"%ls serviceName : Executes the service without using the service control manager. \n", kConsole);
    std::wprintf(L"                 This is handy for development because you can view stdout on the console.\n");
    std::wprintf(L"%ls serviceName signal : Sends the specified signal to the service. \n", kSignal);
    std::wprintf(L"                 signal can be a number or a SERVICE_CONTROL_* constant.\n");
    std::wprintf(L"                 signal can also be CTRL_C_EVENT or CTRL_BREAK_EVENT.\n");
    std::wprintf(L"%ls : Indicates that the config file is a unicode file\n", kUnicode);
    std::wprintf(L"%ls serviceName : Prints the status of the service as one line of JSON. \n", kStatus);
    std::wprintf(L"                 serviceName can be * for every service powered by Pravik.\n");
    std::wprintf(L"%ls - : Reads the password for the %ls parameter from standard input\n", kPassword, kAccount);
    std::wprintf(L"%ls configfile : Installs the service, or changes the installed service to match the\n", kApply);
    std::wprintf(L"                 config file, printing each change\n");
    std::wprintf(L"%ls : Used with the %ls option to print the changes without making them\n", kDryRun, kApply);
}
