#include "config/SkeletonTemplate.h"

#include <charconv>
#include <cstring>

#include "common/BuildInfo.h"
#include "config/ConfigKeys.h"

namespace {

// The first line up to the build date.
const char kHead[] = "# Pravik Configuration file               (build ";
// The rest of the first line and the introduction; each key's block follows,
// after an empty line.
const char kIntro[] =
    ")\r\n"
    "# \r\n"
    "# This is a configuration file for installing a service with Pravik.\r\n"
    "# Pravik is a Windows service adpater for Java: it runs a Java\r\n"
    "# application as a Windows NT service.\r\n"
    "#\r\n"
    "# This file was generated as a template. Insert real values for the keys\r\n"
    "# below, or the installation of the service will not succeed.\r\n";

// Counts the template's bytes, and writes them too once it has a buffer.
class CTemplateWriter {
public:
    explicit CTemplateWriter(char* buffer) : buffer(buffer) {}

    std::size_t length() const { return written; }

    CTemplateWriter& put(const char* text) {
        for (; *text != '\0'; ++text) {
            putChar(*text);
        }
        return *this;
    }

    // The key names are plain ASCII.
    CTemplateWriter& put(const wchar_t* name) {
        for (; *name != L'\0'; ++name) {
            putChar(static_cast<char>(*name));
        }
        return *this;
    }

private:
    void putChar(char character) {
        if (buffer != nullptr) {
            buffer[written] = character;
        }
        ++written;
    }

    char* buffer;
    std::size_t written = 0;
};

void writeKeyLine(CTemplateWriter& out, const CConfigKey& key, const char* number) {
    out.put(key.required ? "" : "#").put(key.name).put(number).put("=$$").put(key.placeholder).put(number);
    out.put("$$\r\n");
}

void writeKeyBlock(CTemplateWriter& out, const CConfigKey& key) {
    out.put("\r\n").put(key.help);
    if (key.required) {
        out.put("# This is a required config parameter.\r\n");
    } else {
        out.put("# This is an optional config parameter.\r\n# The default value is ");
        if (key.defaultText != nullptr) {
            out.put(key.defaultText);
        } else {
            char digits[24] = {};
            std::to_chars(digits, digits + sizeof(digits) - 1, key.defaultNumber);
            out.put(digits).put(".");
        }
        out.put("\r\n");
    }
    if (key.numbered) {
        // Two numbered lines show how the numbering goes on.
        writeKeyLine(out, key, "1");
        writeKeyLine(out, key, "2");
    } else if (key.prefixed) {
        out.put("#").put(key.name).put("NAME=$$").put(key.placeholder).put("$$\r\n");
    } else {
        writeKeyLine(out, key, "");
    }
}

void writeTemplate(CTemplateWriter& out) {
    out.put(kHead).put(PRAVIK_BUILD_DATE).put(kIntro);
    for (std::size_t position = 0; position < kConfigKeyCount; ++position) {
        writeKeyBlock(out, skeletonKey(position));
    }
}

}  // namespace

CHeapPtr<char> composeSkeletonText(std::size_t* length) {
    CTemplateWriter counter(nullptr);
    writeTemplate(counter);
    CHeapPtr<char> text = allocateZeroed<char>(counter.length() + 1);
    *length = 0;
    if (text) {
        CTemplateWriter writer(text.get());
        writeTemplate(writer);
        *length = writer.length();
    }
    return text;
}
