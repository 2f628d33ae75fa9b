#include "jvm/JvmOwner.h"

#include "common/SrwLockGuard.h"

namespace {

// Natives on Java threads call the owner while it may be going away.
SRWLOCK g_ownerLock = SRWLOCK_INIT;
CJvmOwner g_owner;

}  // namespace

void registerJvmOwner(const CJvmOwner& owner) {
    CSrwLockGuard held(&g_ownerLock);
    g_owner = owner;
}

void clearJvmOwner() {
    CSrwLockGuard held(&g_ownerLock);
    g_owner = CJvmOwner{};
}

void reportStatusToOwner(DWORD currentState, DWORD controlsAccepted, DWORD serviceSpecificExitCode,
                         DWORD checkPoint, DWORD waitHint) {
    CSrwSharedGuard held(&g_ownerLock);
    if (g_owner.reportStatus != nullptr) {
        g_owner.reportStatus(g_owner.context, currentState, controlsAccepted, serviceSpecificExitCode, checkPoint,
                             waitHint);
    }
}

int sendControlThroughOwner(const wchar_t* serviceName, DWORD code) {
    CSrwSharedGuard held(&g_ownerLock);
    return g_owner.sendControl != nullptr ? g_owner.sendControl(g_owner.context, serviceName, code) : 0;
}

void JNICALL jvmExitHook(jint code) {
    CSrwSharedGuard held(&g_ownerLock);
    if (g_owner.exiting != nullptr) {
        g_owner.exiting(g_owner.context, static_cast<int>(code));
    }
}
