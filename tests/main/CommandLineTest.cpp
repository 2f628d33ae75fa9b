// The command line as a user meets it: usage text, missing values, exit codes
// and which single action a command line gets.
#include <gtest/gtest.h>

#include "main/BuildInfo.h"
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
        "-w : Indicates that the config file is a unicode file\n");
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
