#pragma once
// The signal texts of "-s": SERVICE_CONTROL_* names, the two console events,
// or a number.

enum class ESignalText { code, unknownServiceControl, unknownControlSignal };

// Turns the text into a control code; names are matched without regard to case.
ESignalText parseSignalText(const wchar_t* text, unsigned long* code);
