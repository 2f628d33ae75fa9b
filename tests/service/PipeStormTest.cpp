// Hundreds of control codes through the control pipe of a console-mode
// instance while its service stops: no crash, no hang, the process ends and
// nothing reaches Java after the JVM host is gone.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "ConsoleTestSupport.h"
#include "support/PravikRunner.h"
#include "support/TestRegistry.h"

namespace {

// One connection, one four-byte code; false when the pipe is missing or busy.
bool writeCode(const std::wstring& pipe, DWORD code) {
    HANDLE handle = CreateFileW(pipe.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return false;
    }
    DWORD written = 0;
    const BOOL sent = WriteFile(handle, &code, sizeof code, &written, nullptr);
    CloseHandle(handle);
    return sent && written == sizeof code;
}

}  // namespace

TEST(PipeStorm, CodesKeepComingWhileTheConsoleModeServiceStops) {
    CTestService service(L"PravikStormPipe");
    CTraceSetting trace(service.dir().file(L"trace.log"));
    ConfigKeys keys = service.baseConfig(L"com.velsor.test.FaultyService");
    const std::wstring recordFile = service.dir().file(L"record.txt");
    keys.push_back({L"commandLineParms", unixPathOf(recordFile)});
    ASSERT_EQ(service.install(keys), 0u);
    CConsoleInstance console(pravikExe(), service.name());
    ASSERT_TRUE(console.started());
    const std::wstring pipe = pipeNameOf(service.name());
    waitUntil([&] { return contains(readFileBytes(recordFile), "started \n"); }, "the service's start");
    // Java runs; the pipe is up once a code gets through.
    waitUntil([&] { return writeCode(pipe, 128) && contains(readFileBytes(recordFile), "control 128\n"); },
              "the first code through the pipe");

    std::atomic<bool> stormOver{false};
    std::atomic<int> delivered{0};
    std::vector<std::thread> storm;
    for (int sender = 0; sender < 2; ++sender) {
        storm.emplace_back([&, sender] {
            for (DWORD code = 129 + sender; !stormOver.load(); code = code >= 247 ? 129 + sender : code + 2) {
                if (writeCode(pipe, code)) {
                    ++delivered;
                } else {
                    Sleep(1);
                }
            }
        });
    }
    waitUntil([&] { return delivered.load() >= 200 || console.ended(); }, "200 codes through the pipe");
    waitUntil([&] { return writeCode(pipe, SERVICE_CONTROL_STOP) || console.ended(); }, "the stop code");
    const DWORD exitCode = console.waitForEnd();
    stormOver = true;
    for (std::thread& sender : storm) {
        sender.join();
    }

    EXPECT_EQ(exitCode, 0u);
    EXPECT_GE(delivered.load(), 200);
    const std::string record = readFileBytes(recordFile);
    EXPECT_TRUE(inOrder(record, "control 1\n", "stopping\n")) << record;
    const std::string lines = stripThreadIds(readFileBytes(service.dir().file(L"trace.log")));
    const std::size_t taskEnd = lines.find("CExecutor::startServiceTask Exit 0\n");
    ASSERT_NE(taskEnd, std::string::npos) << lines;
    EXPECT_EQ(lines.find("CJvm::sendControlCommand Entry", taskEnd), std::string::npos);
}
