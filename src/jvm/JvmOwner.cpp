#include "jvm/JvmOwner.h"

#include "common/SrwLockGuard.h"
#include "jvm/JvmProcessState.h"

void registerJvmOwner(const CJvmOwner& owner) {
    CJvmProcessState& state = jvmProcessState();
    CSrwLockGuard held(&state.ownerLock);
    state.owner = owner;
}

void clearJvmOwner() {
    CJvmProcessState& state = jvmProcessState();
    CSrwLockGuard held(&state.ownerLock);
    state.owner = CJvmOwner{};
}

void reportStatusToOwner(DWORD currentState, DWORD controlsAccepted, DWORD serviceSpecificExitCode,
                         DWORD checkPoint, DWORD waitHint) {
    CJvmProcessState& state = jvmProcessState();
    CSrwSharedGuard held(&state.ownerLock);
    const CJvmOwner& owner = state.owner;
    if (owner.reportStatus != nullptr) {
        owner.reportStatus(owner.context, currentState, controlsAccepted, serviceSpecificExitCode, checkPoint,
                           waitHint);
    }
}

int sendControlThroughOwner(const wchar_t* serviceName, DWORD code) {
    CJvmProcessState& state = jvmProcessState();
    CSrwSharedGuard held(&state.ownerLock);
    const CJvmOwner& owner = state.owner;
    return owner.sendControl != nullptr ? owner.sendControl(owner.context, serviceName, code) : 0;
}

void JNICALL jvmExitHook(jint code) {
    CJvmProcessState& state = jvmProcessState();
    CSrwSharedGuard held(&state.ownerLock);
    const CJvmOwner& owner = state.owner;
    if (owner.exiting != nullptr) {
        owner.exiting(owner.context, static_cast<int>(code));
    }
}
