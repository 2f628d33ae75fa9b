#include "support/Polling.h"

#include <windows.h>

namespace {

const DWORD kPollMs = 50;
const DWORD kPatienceMs = 60000;

}  // namespace

bool pollUntil(const std::function<bool()>& done) {
    for (DWORD waited = 0; waited < kPatienceMs; waited += kPollMs) {
        if (done()) {
            return true;
        }
        Sleep(kPollMs);
    }
    return done();
}
