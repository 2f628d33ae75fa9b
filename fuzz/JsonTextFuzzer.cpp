// Any wide text, as a JSON string inside an array, is JSON on one line that
// parses back as the UTF-8 the independent model makes of it.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include <nlohmann/json.hpp>

#include "common/JsonText.h"
#include "fuzz/FuzzInput.h"
#include "support/Utf8Model.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::wstring text = wideFromUtf16Bytes(data, size);
    text = text.substr(0, text.find(L'\0'));
    CJsonText json;
    json.beginArray().string(text.c_str()).number(static_cast<long long>(size)).endArray();
    if (json.failed() || std::memchr(json.text(), '\n', json.length()) != nullptr) {
        __builtin_trap();
    }
    // Without exceptions: an invalid text parses as "discarded".
    const auto parsed = nlohmann::json::parse(json.text(), nullptr, false);
    if (!parsed.is_array() || parsed.size() != 2 || !parsed[0].is_string() ||
        parsed[0].get<std::string>() != utf8Model(text) || parsed[1] != size) {
        __builtin_trap();
    }
    return 0;
}
