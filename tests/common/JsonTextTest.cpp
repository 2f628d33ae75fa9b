#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <string>

#include "common/JsonText.h"
#include "support/Utf8Model.h"

namespace {

std::string jsonString(const std::wstring& text) {
    CJsonText json;
    json.string(text.c_str());
    return json.text();
}

}  // namespace

TEST(JsonText, EscapesQuotesBackslashesAndControlCharacters) {
    EXPECT_EQ(jsonString(L"say \"hi\" C:\\dir"), "\"say \\\"hi\\\" C:\\\\dir\"");
    EXPECT_EQ(jsonString(L"\n\r\t\b\f"), "\"\\n\\r\\t\\b\\f\"");
    EXPECT_EQ(jsonString(std::wstring(L"\x01\x1f\x7f/", 4)), "\"\\u0001\\u001f\x7f/\"");
}

TEST(JsonText, WritesNonAsciiAsUtf8AndHalfPairsAsReplacementCharacters) {
    EXPECT_EQ(jsonString(L"\u00e9\u20ac"), "\"\xc3\xa9\xe2\x82\xac\"");
    EXPECT_EQ(jsonString(std::wstring{0xD83D, 0xDE00}), "\"\xf0\x9f\x98\x80\"");
    EXPECT_EQ(jsonString(std::wstring{L'a', 0xD83D, L'b', 0xDE00}), "\"a\xef\xbf\xbd" "b\xef\xbf\xbd\"");
}

// Every UTF-16 code unit, pairs and halves of pairs among them, parses back
// as the model's UTF-8: valid JSON on one line.
TEST(JsonText, EveryCodeUnitParsesBackAsTheModelSays) {
    std::wstring text;
    for (wchar_t unit = 1; unit != 0; ++unit) {
        text.push_back(unit);
        if (unit == 0xFFFF) {
            break;
        }
    }
    text += std::wstring{0xDBFF, 0xDFFF, 0xD800};
    const std::string line = jsonString(text);
    EXPECT_EQ(line.find('\n'), std::string::npos);
    const auto parsed = nlohmann::json::parse(line, nullptr, false);
    ASSERT_TRUE(parsed.is_string());
    EXPECT_EQ(parsed.get<std::string>(), utf8Model(text));
}

TEST(JsonText, SeparatesMembersAndElements) {
    CJsonText json;
    json.beginArray();
    json.beginObject().key("name").string(L"A").key("pid").number(-4294967296LL).key("up").boolean(true).endObject();
    json.beginObject().key("account").string(nullptr).key("down").boolean(false).endObject();
    json.endArray();
    ASSERT_FALSE(json.failed());
    EXPECT_EQ(std::string(json.text()),
              "[{\"name\":\"A\",\"pid\":-4294967296,\"up\":true},{\"account\":null,\"down\":false}]");
    EXPECT_EQ(nlohmann::json::parse(json.text(), nullptr, false)[1]["down"], false);
}
