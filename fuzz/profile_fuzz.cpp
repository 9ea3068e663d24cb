// Profile-file reader and writer on arbitrary file contents. After a key is set, reading it
// back must give the value written, and every other section's keys must read as before.
#include <fuzzer/FuzzedDataProvider.h>
#include <strings.h>

#include <cstdint>
#include <cstdlib>
#include <string>

#include "settings/profile_file.h"

using tsubame::profileLookup;
using tsubame::profileSet;

namespace {

// Names as the program uses them: letters and digits only.
std::string name(FuzzedDataProvider& data) {
    std::string s = data.ConsumeRandomLengthString(8);
    for (char& c : s)
        c = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789"
            [static_cast<unsigned char>(c) % 62];
    return s.empty() ? "EXEINI" : s;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    FuzzedDataProvider data(bytes, size);
    const std::string section = name(data);
    const std::string key = name(data);
    const std::string otherSection = name(data);
    const std::string otherKey = name(data);
    // Values as a dialog would store them: one line, no blanks or quotes at the ends.
    std::string value = data.ConsumeRandomLengthString(64);
    for (char& c : value)
        if (c == '\r' || c == '\n' || c == '\0') c = 'x';
    while (!value.empty() && (value.front() == ' ' || value.front() == '\t' ||
                              value.front() == '"' || value.front() == '\''))
        value.erase(0, 1);
    while (!value.empty() && (value.back() == ' ' || value.back() == '\t' || value.back() == '"' ||
                              value.back() == '\''))
        value.pop_back();
    const std::string content = data.ConsumeRemainingBytesAsString();

    bool found = false;
    profileLookup(content, section, key, &found);
    bool otherFound = false;
    const std::string otherBefore = profileLookup(content, otherSection, otherKey, &otherFound);

    const std::string written = profileSet(content, section, key, value);
    const std::string readBack = profileLookup(written, section, key, &found);
    if (!found || readBack != value) std::abort();

    const bool sameKey = (otherSection.size() == section.size() &&
                          strncasecmp(otherSection.c_str(), section.c_str(), section.size()) == 0 &&
                          otherKey.size() == key.size() &&
                          strncasecmp(otherKey.c_str(), key.c_str(), key.size()) == 0);
    if (!sameKey) {
        bool stillFound = false;
        const std::string otherAfter = profileLookup(written, otherSection, otherKey, &stillFound);
        if (stillFound != otherFound || otherAfter != otherBefore) std::abort();
    }
    return 0;
}
