#pragma once
// Runs pravik.exe as a user would: a command line in; exit code and the bytes
// of standard output out.
#include <string>
#include <vector>

struct CRunResult {
    unsigned long exitCode = 0;
    std::string output;  // raw bytes of standard output (CR LF line ends)
};

// The product under test, as a Windows path.
std::wstring pravikExe();

// Quotes one argument by the rules the runtime uses to split a command line.
std::wstring quoteArgument(const std::wstring& argument);

// Starts `program args...` with standard output captured; waits up to timeoutMs.
CRunResult runProgram(const std::wstring& program, const std::vector<std::wstring>& args,
                      unsigned long timeoutMs = 60000);
CRunResult runPravik(const std::vector<std::wstring>& args, unsigned long timeoutMs = 60000);
// The same with these bytes as standard input, a pipe that ends after them.
CRunResult runPravikWithInput(const std::vector<std::wstring>& args, const std::string& input);

// "a\n" "b\n" -> "a\r\nb\r\n": what a console program's standard output carries.
std::string crlf(const std::string& text);

// Standard output split at CR LF (the last, empty piece dropped).
std::vector<std::string> outputLines(const std::string& output);
// The same without empty lines: the system's wording of an error code, which
// tests never compare, brings its own line end.
std::vector<std::string> nonEmptyLines(const std::string& output);
