// The start-failed event's reason: one of its own for each code that ends a start.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "common/ExitCodes.h"
#include "common/StartFailureReason.h"

TEST(StartFailureReason, EachStartFailureHasItsOwnReasonAndOtherCodesPointToTheTrace) {
    std::set<std::wstring> reasons;
    for (int code = kJvmLibraryNotLoaded; code <= kControlHandlerNotRegistered; ++code) {
        reasons.insert(startFailureReason(code));
    }
    reasons.insert(startFailureReason(kSecretNotReadable));
    reasons.insert(startFailureReason(kStopTimedOut));
    EXPECT_EQ(reasons.size(), 13u);
    EXPECT_EQ(std::wstring(startFailureReason(kStopTimedOut)), L"see the trace file");
}
