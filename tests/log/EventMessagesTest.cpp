// pravik.exe carries the texts of its events: the event log finds them in its
// message table by event ID, with the inserts in place (without them it shows
// "the description cannot be found").
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "common/Win32Handle.h"
#include "log/EventMessages.h"
#include "support/PravikRunner.h"

namespace {

// The text of an event as the event log formats it, without its line end.
std::wstring eventText(HMODULE exe, DWORD eventId) {
    const DWORD_PTR inserts[] = {reinterpret_cast<DWORD_PTR>(L"<1>"), reinterpret_cast<DWORD_PTR>(L"<2>")};
    wchar_t* buffer = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_ARGUMENT_ARRAY, exe, eventId,
        MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), reinterpret_cast<wchar_t*>(&buffer), 0,
        reinterpret_cast<va_list*>(const_cast<DWORD_PTR*>(inserts)));
    const CLocalMemory owned(buffer);
    std::wstring text(buffer != nullptr ? buffer : L"", length);
    while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r')) {
        text.pop_back();
    }
    return text;
}

}  // namespace

TEST(EventMessages, EveryEventHasItsTextInPravikExe) {
    const CModule exe(LoadLibraryExW(pravikExe().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
    ASSERT_TRUE(exe) << GetLastError();
    EXPECT_EQ(eventText(exe.get(), EVENT_SERVICE_STARTED), L"The service is running. JVM library: <1>");
    EXPECT_EQ(eventText(exe.get(), EVENT_START_FAILED), L"The service could not start: <2> (exit code <1>).");
    EXPECT_EQ(eventText(exe.get(), EVENT_STOPPED_WITH_CODE), L"The service stopped with exit code <1>.");
    EXPECT_EQ(eventText(exe.get(), EVENT_JAVA_EXIT),
              L"Java called System.exit(<1>): the service process ends with exit code <1>.");
    EXPECT_EQ(eventText(exe.get(), EVENT_STOP_TIMED_OUT),
              L"The service did not stop within its stopTimeout and was ended with exit code 26.");
    EXPECT_EQ(eventText(exe.get(), EVENT_ROTATION_BLOCKED),
              L"An output file was not rotated: <1> cannot be moved. Nothing was replaced, and output goes on to "
              L"the current file.");
    EXPECT_EQ(eventText(exe.get(), EVENT_FILE_REFUSED),
              L"The output file <1> is not used: it is a link or has another name. The service runs on without it.");
}
