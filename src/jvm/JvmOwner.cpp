#include "jvm/JvmOwner.h"

namespace {

CJvmOwner g_owner;

}  // namespace

void registerJvmOwner(const CJvmOwner& owner) { g_owner = owner; }

const CJvmOwner& jvmOwner() { return g_owner; }
