#pragma once
// How the C runtime's start-up code splits a command line into arguments
// (backslashes are literal except before a double quote; 2n backslashes and a
// quote give n backslashes and toggle quoting; 2n+1 give n and a literal
// quote). The reference against which the program's own quoting is checked.
#include <string>
#include <vector>

inline std::vector<std::wstring> splitLikeTheRuntime(const std::wstring& line) {
    std::vector<std::wstring> arguments;
    size_t at = 0;
    for (;;) {
        while (at < line.size() && (line[at] == L' ' || line[at] == L'\t')) {
            ++at;
        }
        if (at == line.size()) {
            return arguments;
        }
        std::wstring argument;
        bool inQuotes = false;
        while (at < line.size() && (inQuotes || (line[at] != L' ' && line[at] != L'\t'))) {
            size_t backslashes = 0;
            while (at < line.size() && line[at] == L'\\') {
                ++backslashes;
                ++at;
            }
            if (at < line.size() && line[at] == L'"') {
                argument.append(backslashes / 2, L'\\');
                if (backslashes % 2 == 1) {
                    argument.push_back(L'"');
                } else {
                    inQuotes = !inQuotes;
                }
                ++at;
            } else {
                argument.append(backslashes, L'\\');
                if (at < line.size() && (inQuotes || (line[at] != L' ' && line[at] != L'\t'))) {
                    argument.push_back(line[at++]);
                }
            }
        }
        arguments.push_back(argument);
    }
}
