#include "common/FailureActionsText.h"

#include <cwchar>
#include <utility>

#include "common/CTextBuilder.h"
#include "common/DecimalText.h"

namespace {

CHeapText copyOf(const wchar_t* start, const wchar_t* end) {
    CTextBuilder piece;
    piece.append(start, static_cast<std::size_t>(end - start));
    return CHeapText(piece.release());
}

// One "word/delay" item between start and end into action; refused gets what was wrong.
int parseItem(const wchar_t* start, const wchar_t* end, CFailureAction* action, CHeapText* refused) {
    const wchar_t* slash = start;
    while (slash != end && *slash != L'/') {
        ++slash;
    }
    CHeapText word = copyOf(start, slash);
    if (!word) {
        return kFailureActionsMemory;
    }
    const CNamedValue* entry = findNamedValue(kFailureActionNames, word.get());
    if (entry == nullptr) {
        *refused = std::move(word);
        return kUnknownFailureAction;
    }
    CHeapText delay = slash != end ? copyOf(slash + 1, end) : copyOf(start, end);
    if (!delay) {
        return kFailureActionsMemory;
    }
    if (slash == end || !parseDecimalDword(delay.get(), &action->delay)) {
        *refused = std::move(delay);
        return kMalformedFailureDelay;
    }
    action->type = entry->value;
    return 0;
}

}  // namespace

const CNamedValue kFailureActionNames[4] = {
    {L"none", kActionNone},
    {L"restart", kActionRestart},
    {L"reboot", kActionReboot},
    {L"run", kActionRunCommand},
};

int parseFailureActions(const wchar_t* text, CFailureActionList* list) {
    unsigned long count = 1;
    for (const wchar_t* at = text; *at != L'\0'; ++at) {
        count += *at == L',' ? 1 : 0;
    }
    list->actions = allocateZeroed<CFailureAction>(count);
    list->count = 0;
    if (!list->actions) {
        return kFailureActionsMemory;
    }
    const wchar_t* start = text;
    for (unsigned long index = 0; index < count; ++index) {
        const wchar_t* end = std::wcschr(start, L',');
        if (end == nullptr) {
            end = start + std::wcslen(start);
        }
        const int result = parseItem(start, end, &list->actions.get()[index], &list->refused);
        if (result != 0) {
            return result;
        }
        start = end + 1;
    }
    list->count = count;
    return 0;
}

CHeapText formatFailureActions(const CFailureAction* actions, unsigned long count) {
    CTextBuilder text;
    for (unsigned long index = 0; index < count; ++index) {
        const CNamedValue* entry = findValue(kFailureActionNames, actions[index].type);
        if (entry == nullptr) {
            return CHeapText();
        }
        if (index != 0) {
            text.appendChar(L',');
        }
        text.append(entry->name).appendChar(L'/').appendDecimal(actions[index].delay);
    }
    return CHeapText(text.release());
}
