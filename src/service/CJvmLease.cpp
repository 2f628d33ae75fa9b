#include "service/CJvmLease.h"

#include "service/CJvmHostSlot.h"

CJvmLease::~CJvmLease() {
    if (slot != nullptr) {
        slot->release();
    }
}
