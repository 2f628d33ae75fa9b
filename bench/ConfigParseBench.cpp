// The configuration parser, natively: the time for 10,000 and for 100,000
// lines of key=value, which must grow linearly (a ratio near 10).
//
// Argument: the number of runs.
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "config/CConfigFile.h"
#include "log/CLogger.h"

namespace {

std::wstring configText(int lines) {
    std::wstring text;
    wchar_t line[96];
    for (int index = 0; index < lines; ++index) {
        std::swprintf(line, 96, L"jvmOption%d = -Dbench.property.%d=some value of a line\r\n", index, index);
        text += line;
    }
    return text;
}

double parseMs(const std::wstring& text) {
    std::vector<wchar_t> buffer(text.begin(), text.end());
    buffer.push_back(L'\0');
    // Standard output and the trace off: every logger call returns at once.
    CLogger logger{CLogSink{}, nullptr};
    const double began = nowMs();
    int options = 0;
    {
        CConfigFile config(&logger);
        if (config.parseBuffer(buffer.data()) != 0) {
            return -1;
        }
        options = config.getOptionCount();
    }
    const double elapsed = nowMs() - began;
    return options > 0 ? elapsed : -1;
}

}  // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::atoi(argv[1]) : 7;
    const std::wstring small = configText(10000);
    const std::wstring large = configText(100000);
    std::vector<double> smallTimes, largeTimes;
    for (int run = 0; run < runs; ++run) {
        smallTimes.push_back(parseMs(small));
        largeTimes.push_back(parseMs(large));
    }
    printFigure("config parse, 10,000 lines vs 100,000 lines (ms)", median(smallTimes), median(largeTimes), "ms");
    return 0;
}
