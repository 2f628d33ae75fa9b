// The command line as a user meets it: usage text, missing values, exit codes
// and which single action a command line gets.
#include <gtest/gtest.h>

#include <windows.h>

#include "common/BuildInfo.h"
#include "support/PravikRunner.h"

namespace {

std::string narrow(const wchar_t* text) {
    std::string result;
    for (; *text != L'\0'; ++text) {
        result += static_cast<char>(*text);
    }
    return result;
}

std::string usageText() {
    return crlf(
        "pravik                       (build " + narrow(T_PRAVIK_BUILD_DATE) + " " + narrow(T_PRAVIK_BUILD_TIME) +
        ")\n"
        "Usage: pravik [options]\n"
        "options:\n"
        "-? : returns this help\n"
        "-i configfile : installs a service using the specified config file\n"
        "-u configfile : Uninstalls a service using the specified config file\n"
        "-r serviceName : Uninstalls a service using the specified service name\n"
        "-a account : Installs a service which logs on as this account\n"
        "             This option is only valid with the -i option\n"
        "-p password : Used with the -a parameter to specify the account password\n"
        "-c configfile : Generates a skeleton config file that can be filled in with\n"
        "                actual values for your application\n"
        "-b : Displays all the services currently installed that are \n"
        "     powered by Pravik.\n"
        "-t {logfile|OFF} : Turns the trace on.  Trace is written to the specified file.\n"
        "   Specify OFF when you want to turn tracing off.\n"
        "-d serviceName : Displays information about the installed service. \n"
        "-e serviceName configfile : Saves information about the installed service to a file. \n"
        "-x serviceName : Executes the service without using the service control manager. \n"
        "                 This is handy for development because you can view stdout on the console.\n"
        "-s serviceName signal : Sends the specified signal to the service. \n"
        "                 signal can be a number or a SERVICE_CONTROL_* constant.\n"
        "                 signal can also be CTRL_C_EVENT or CTRL_BREAK_EVENT.\n"
        "-w : Indicates that the config file is a unicode file\n"
        "-q serviceName : Prints the status of the service as one line of JSON. \n"
        "                 serviceName can be * for every service powered by Pravik.\n"
        "-p - : Reads the password for the -a parameter from standard input\n"
        "-U configfile : Installs the service, or changes the installed service to match the\n"
        "                 config file, printing each change\n"
        "-n : Used with the -U option to print the changes without making them\n");
}

}  // namespace

TEST(CommandLine, NoArgumentsPrintsUsageAndExitsWith2) {
    const CRunResult run = runPravik({});
    EXPECT_EQ(run.exitCode, 2u);
    EXPECT_EQ(run.output, usageText());
}

TEST(CommandLine, HelpWinsOverEveryAction) {
    const CRunResult run = runPravik({L"-i", L"some.cfg", L"-?", L"-r", L"svc"});
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_EQ(run.output, usageText());
}

// Each switch that takes a value, given without it: its own message, exit code 1.
TEST(CommandLine, SwitchWithoutValueReportsItselfAndExitsWith1) {
    const std::pair<const wchar_t*, const char*> cases[] = {
        {L"-i", "-i option requires config file name"},
        {L"-u", "-u option requires config file name"},
        {L"-r", "-r option requires the service name"},
        {L"-a", "-a option requires an account name"},
        {L"-p", "-p option requires a password"},
        {L"-c", "-c option requires config file name"},
        {L"-t", "-t option requires log file name, or OFF"},
        {L"-d", "-d option requires service name."},
        {L"-e", "-e option requires service name and output file name."},
        {L"-s", "-s option requires service name and signal."},
        {L"-q", "-q option requires the service name"},
        {L"-U", "-U option requires config file name"},
    };
    for (const auto& [option, message] : cases) {
        const CRunResult run = runPravik({option});
        EXPECT_EQ(run.exitCode, 1u) << message;
        EXPECT_EQ(run.output, crlf(std::string(message) + "\n"));
    }
}

TEST(CommandLine, TwoValueSwitchWithOneValueFails) {
    for (const wchar_t* option : {L"-e", L"-s"}) {
        const CRunResult run = runPravik({L"-?", option, L"OnlyAName"});
        EXPECT_EQ(run.exitCode, 1u);
        EXPECT_NE(run.output.find(" option requires service name and "), std::string::npos);
        // The parse stopped: the help asked for before it is not acted on.
        EXPECT_EQ(run.output.find("Usage:"), std::string::npos);
    }
}

TEST(CommandLine, ServiceSwitchesSilenceTheirOwnMissingValueMessage) {
    for (const wchar_t* option : {L"-Z", L"-x"}) {
        const CRunResult run = runPravik({option});
        EXPECT_EQ(run.exitCode, 1u);
        EXPECT_EQ(run.output, "");
    }
}

TEST(CommandLine, WordsThatAreNoActionDoNothing) {
    const std::vector<std::vector<std::wstring>> lines = {
        {L"-w"},
        {L"-n"},
        {L"hello", L"world"},
        {L"-a", L"account", L"-p", L"secret"},
        {L"-I", L"file.cfg"},
        {L"/i", L"file.cfg"},
    };
    for (size_t index = 0; index < lines.size(); ++index) {
        const CRunResult run = runPravik(lines[index]);
        EXPECT_EQ(run.exitCode, 0u) << index;
        EXPECT_EQ(run.output, "") << index;
    }
}

// The status query comes after the display and export, before the listing.
TEST(CommandLine, StatusQueryComesAfterTheDisplayAndBeforeTheListing) {
    const std::wstring missing = L"PravikNoSuchService" + std::to_wstring(GetCurrentProcessId());
    const CRunResult status = runPravik({L"-b", L"-q", missing});
    EXPECT_EQ(status.exitCode, 4u);
    EXPECT_EQ(status.output, "{\"name\":\"" + narrow(missing.c_str()) + "\",\"installed\":false}\r\n");
    const CRunResult display = runPravik({L"-q", missing, L"-d", missing});
    EXPECT_EQ(display.exitCode, 0u);
    EXPECT_EQ(display.output.find("\"installed\""), std::string::npos) << display.output;
}
