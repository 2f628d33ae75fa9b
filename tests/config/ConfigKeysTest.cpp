// README's "Configuration keys" table lists the keys of the code's table, in
// its order, with their defaults.
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "config/ConfigKeys.h"

namespace {

using CKeyRow = std::pair<std::string, std::string>;

std::string trimmed(const std::string& text) {
    const std::size_t first = text.find_first_not_of(' ');
    return first == std::string::npos ? std::string() : text.substr(first, text.find_last_not_of(' ') - first + 1);
}

// The first and third cells of each row under "## Configuration keys".
std::vector<CKeyRow> readmeRows() {
    std::ifstream readme(PRAVIK_README_PATH);
    std::vector<CKeyRow> rows;
    bool inSection = false;
    for (std::string line; std::getline(readme, line);) {
        if (line.rfind("## ", 0) == 0) {
            inSection = line == "## Configuration keys";
        } else if (inSection && line.rfind("| `", 0) == 0) {
            std::vector<std::string> cells;
            for (std::size_t at = 1, bar = line.find('|', at); bar != std::string::npos; bar = line.find('|', at)) {
                cells.push_back(trimmed(line.substr(at, bar - at)));
                at = bar + 1;
            }
            rows.emplace_back(cells.at(0), cells.at(2));
        }
    }
    return rows;
}

// The template ends some of its default phrases in a full stop; the README does not.
std::string readmeDefault(const CConfigKey& key) {
    if (key.required) {
        return "required";
    }
    if (key.defaultText == nullptr) {
        return std::to_string(key.defaultNumber);
    }
    std::string text = key.defaultText;
    if (text.back() == '.') {
        text.pop_back();
    }
    return text;
}

}  // namespace

TEST(ConfigKeys, ReadmeTableHasEveryKeyInOrderWithItsDefault) {
    std::vector<CKeyRow> expected;
    for (const CConfigKey& key : kConfigKeys) {
        const std::wstring name = key.name;
        const char* suffix = key.numbered ? "N" : key.prefixed ? "NAME" : "";
        expected.emplace_back("`" + std::string(name.begin(), name.end()) + suffix + "`", readmeDefault(key));
    }
    EXPECT_EQ(readmeRows(), expected);
}

TEST(ConfigKeys, VariableKeysAreFoundWhateverTheirPrefixsCaseAndNeedAName) {
    const wchar_t* variable = nullptr;
    EXPECT_EQ(prefixedKeyOf(L"ENV.Path", &variable), &configKey(EConfigKey::environment));
    EXPECT_STREQ(variable, L"Path");
    EXPECT_EQ(prefixedKeyOf(L"Secret.DB", &variable), &configKey(EConfigKey::secret));
    EXPECT_STREQ(variable, L"DB");
    EXPECT_EQ(prefixedKeyOf(L"environment", &variable), nullptr);
    EXPECT_EQ(prefixedKeyOf(L"env", &variable), nullptr);
    EXPECT_EQ(prefixedKeyOf(L"jvmOption1", &variable), nullptr);
    EXPECT_TRUE(isVariableName(L"ProgramFiles(x86)"));
    EXPECT_FALSE(isVariableName(L""));
    EXPECT_FALSE(isVariableName(L"A=B"));
}
