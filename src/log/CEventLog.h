#pragma once
// The service's entries in the Application event log, under the service's name
// as the event source (install registers it, with pravik.exe's message table;
// log/EventMessages.mc holds the IDs and their texts). An entry is a courtesy
// to whoever watches the machine: writing one never fails its caller and waits
// on nothing but the event log itself.
#include <windows.h>

#include <initializer_list>

#include "common/Win32Handle.h"

class CLogger;

class CEventLog {
public:
    // sourceName must outlive this object.
    CEventLog(CLogger* logger, const wchar_t* sourceName);
    ~CEventLog() = default;
    CEventLog(const CEventLog&) = delete;
    CEventLog& operator=(const CEventLog&) = delete;

    // One entry of type (EVENTLOG_ERROR_TYPE, ...) with the inserts of the
    // event's text, in order. A failure is one trace line, then forgotten.
    void write(WORD type, DWORD eventId, std::initializer_list<const wchar_t*> inserts);

private:
    static BOOL CALLBACK openSource(PINIT_ONCE once, PVOID self, PVOID* unused);

    CLogger* logger;
    const wchar_t* sourceName;
    // The source is opened by the first entry, on whichever thread writes it,
    // and then only read: a service that writes none never opens it.
    INIT_ONCE opened = INIT_ONCE_STATIC_INIT;
    CEventSourceHandle source;
};
