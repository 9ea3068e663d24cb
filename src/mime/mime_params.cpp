#include "mime/mime_params.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <vector>

#include "mime/mime_charset.h"
#include "mime/mime_header_text.h"

namespace tsubame {
namespace {

struct RawParameter {
    std::string attribute;  // lower case
    std::string value;      // unquoted
};

bool isBlank(char c) { return c == ' ' || c == '\t'; }

std::string lowerCase(std::string_view text) {
    std::string out;
    for (char c : text)
        out.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
    return out;
}

// Splits "type; a=1; b="x;y"" into its parameters, leniently: unquoted values run to the
// next ";" and may hold blanks or 8-bit bytes.
std::vector<RawParameter> splitParameters(std::string_view value) {
    std::vector<RawParameter> out;
    std::size_t i = value.find(';');
    while (i != std::string_view::npos && i < value.size()) {
        ++i;  // past ';'
        while (i < value.size() && isBlank(value[i])) ++i;
        std::size_t nameEnd = i;
        while (nameEnd < value.size() && value[nameEnd] != '=' && value[nameEnd] != ';') ++nameEnd;
        if (nameEnd >= value.size() || value[nameEnd] == ';') {
            i = nameEnd;
            continue;
        }
        std::string_view attribute = value.substr(i, nameEnd - i);
        while (!attribute.empty() && isBlank(attribute.back())) attribute.remove_suffix(1);
        std::size_t j = nameEnd + 1;
        while (j < value.size() && isBlank(value[j])) ++j;
        std::string text;
        if (j < value.size() && value[j] == '"') {
            ++j;
            while (j < value.size() && value[j] != '"') {
                if (value[j] == '\\' && j + 1 < value.size()) ++j;
                text.push_back(value[j]);
                ++j;
            }
            // Skip the closing quote and anything up to the next parameter.
            j = value.find(';', j);
        } else {
            std::size_t end = value.find(';', j);
            std::string_view raw = value.substr(j, end == std::string_view::npos ? end : end - j);
            while (!raw.empty() && isBlank(raw.back())) raw.remove_suffix(1);
            text = std::string(raw);
            j = end;
        }
        out.push_back({lowerCase(attribute), std::move(text)});
        i = j;
    }
    return out;
}

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::string percentDecode(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && hexValue(text[i + 1]) >= 0 &&
            hexValue(text[i + 2]) >= 0) {
            out.push_back(static_cast<char>(hexValue(text[i + 1]) * 16 + hexValue(text[i + 2])));
            i += 2;
        } else {
            out.push_back(text[i]);
        }
    }
    return out;
}

struct Section {
    std::string value;
    bool encoded = false;
};

// Joins the RFC 2231 sections (name*, name*0, name*1* ...) into code page 932 or UTF-8;
// false when there are none.
bool joinExtendedValue(const std::vector<RawParameter>& parameters, const std::string& name,
                       bool utf8, std::string& result) {
    std::map<int, Section> sections;
    const std::string prefix = name + "*";
    for (const RawParameter& p : parameters) {
        if (p.attribute.compare(0, prefix.size(), prefix) != 0) continue;
        std::string_view rest = std::string_view(p.attribute).substr(prefix.size());
        if (rest.empty()) {
            sections[0] = {p.value, true};
            continue;
        }
        bool encoded = rest.back() == '*';
        if (encoded) rest.remove_suffix(1);
        if (rest.empty() || rest.size() > 3 ||
            !std::all_of(rest.begin(), rest.end(), [](char c) { return c >= '0' && c <= '9'; }))
            continue;
        sections.emplace(std::stoi(std::string(rest)), Section{p.value, encoded});
    }
    if (sections.empty()) return false;
    std::string charset;
    std::string bytes;
    bool first = true;
    for (auto& [index, section] : sections) {
        std::string_view value = section.value;
        if (first && section.encoded) {
            std::size_t q1 = value.find('\'');
            std::size_t q2 = q1 == std::string_view::npos ? q1 : value.find('\'', q1 + 1);
            if (q2 != std::string_view::npos) {
                charset = std::string(value.substr(0, q1));
                value = value.substr(q2 + 1);
            }
        }
        first = false;
        bytes += section.encoded ? percentDecode(value) : std::string(value);
    }
    result = utf8 ? charsetToUtf8(bytes, charset) : charsetToCp932(bytes, charset);
    return true;
}

std::string findParameter(std::string_view rawHeaderValue, std::string_view name, bool utf8) {
    const std::string unfolded = unfoldHeader(rawHeaderValue);
    const std::vector<RawParameter> parameters = splitParameters(unfolded);
    const std::string wanted = lowerCase(name);
    std::string result;
    if (joinExtendedValue(parameters, wanted, utf8, result)) return result;
    for (const RawParameter& p : parameters) {
        if (p.attribute == wanted)
            return utf8 ? decodeHeaderTextUtf8(p.value) : decodeHeaderText(p.value);
    }
    return {};
}

}  // namespace

std::string findParameterCp932(std::string_view rawHeaderValue, std::string_view name) {
    return findParameter(rawHeaderValue, name, false);
}

std::string findParameterUtf8(std::string_view rawHeaderValue, std::string_view name) {
    return findParameter(rawHeaderValue, name, true);
}

}  // namespace tsubame
