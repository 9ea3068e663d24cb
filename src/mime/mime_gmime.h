#pragma once

#include <gmime/gmime.h>

#include <memory>
#include <string>

namespace tsubame {

// Small owners for the GMime objects this library uses.
struct GObjectUnref {
    void operator()(void* object) const {
        if (object) g_object_unref(object);
    }
};
template <typename T>
using GObjectPtr = std::unique_ptr<T, GObjectUnref>;

struct GMimeFormatOptionsFree {
    void operator()(GMimeFormatOptions* options) const { g_mime_format_options_free(options); }
};
using FormatOptionsPtr = std::unique_ptr<GMimeFormatOptions, GMimeFormatOptionsFree>;

struct GMimeParserOptionsFree {
    void operator()(GMimeParserOptions* options) const { g_mime_parser_options_free(options); }
};
using ParserOptionsPtr = std::unique_ptr<GMimeParserOptions, GMimeParserOptionsFree>;

struct GFreeDeleter {
    void operator()(void* memory) const { g_free(memory); }
};
using GCharPtr = std::unique_ptr<char, GFreeDeleter>;

// Initialises GMime once for the whole program.
void ensureGMimeInitialized();

// Writes a GMime object to a string with the given options (nullptr: defaults).
std::string writeMimeObject(GMimeObject* object, GMimeFormatOptions* options);

// Writes the decoded content (transfer encoding removed) of a data wrapper to a string.
std::string decodedContent(GMimeDataWrapper* content);

}  // namespace tsubame
