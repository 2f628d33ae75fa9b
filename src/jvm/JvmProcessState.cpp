#include "jvm/JvmProcessState.h"

namespace {

// A union does not destroy its member. Constant-initialized: there before any
// code runs, whichever thread asks first.
union CNeverDestroyed {
    constexpr CNeverDestroyed() : state() {}
    ~CNeverDestroyed() {}
    CJvmProcessState state;
};

constinit CNeverDestroyed processState;

}  // namespace

CJvmProcessState& jvmProcessState() { return processState.state; }
