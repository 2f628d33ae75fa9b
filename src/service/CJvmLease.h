#pragma once
// A loan of the ready JVM host (service/CJvmHostSlot.h): the host is not
// destroyed while the lease lives; its destructor gives it back. Empty when
// the host was not ready.
class CJvm;
class CJvmHostSlot;

class CJvmLease {
public:
    CJvmLease() = default;
    CJvmLease(CJvmHostSlot* slot, CJvm* host) : slot(slot), host(host) {}
    ~CJvmLease();
    CJvmLease(CJvmLease&& other) noexcept : slot(other.slot), host(other.host) {
        other.slot = nullptr;
        other.host = nullptr;
    }
    CJvmLease(const CJvmLease&) = delete;
    CJvmLease& operator=(const CJvmLease&) = delete;
    CJvmLease& operator=(CJvmLease&&) = delete;

    explicit operator bool() const { return host != nullptr; }
    CJvm* operator->() const { return host; }

private:
    CJvmHostSlot* slot = nullptr;
    CJvm* host = nullptr;
};
