#pragma once
// Where a logger's lines go: plain functions and a context. The process's
// logger prints to the console and writes its trace file; native tests record
// the lines instead. Each line comes as up to three parts (null parts are
// empty), without the line end.
class CTextBuilder;

struct CLogSink {
    void* context = nullptr;
    // One message for standard output.
    void (*print)(void* context, const wchar_t* text, const wchar_t* text2, const wchar_t* text3) = nullptr;
    // Closes the trace, then opens it at path unless path is null or empty:
    // 0, or the system's code for the failure.
    unsigned long (*openTrace)(void* context, const wchar_t* path) = nullptr;
    // One line appended to the open trace.
    void (*trace)(void* context, const wchar_t* text, const wchar_t* text2, const wchar_t* text3) = nullptr;
    // Appends the system's wording for an error code; false when it has none.
    bool (*describeError)(void* context, unsigned long code, CTextBuilder& text) = nullptr;
};
