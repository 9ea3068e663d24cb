#pragma once

#include <gmime/gmime.h>

#include <memory>
#include <string>
#include <string_view>

#include "core/content_sink.h"

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

class StringSink : public ContentSink {
  public:
    bool put(std::string_view piece) override {
        text.append(piece);
        return true;
    }
    std::string text;
};

// A GMime stream over bytes that stay where they are (GMime's own memory streams copy them).
// The bytes must outlive the stream and every stream the parser makes from it, that is every
// object parsed from it.
class BorrowedBytes {
  public:
    explicit BorrowedBytes(std::string_view bytes);
    ~BorrowedBytes();
    BorrowedBytes(const BorrowedBytes&) = delete;
    BorrowedBytes& operator=(const BorrowedBytes&) = delete;
    // A new stream reading the bytes; the caller owns it.
    GMimeStream* newStream() const;

  private:
    GByteArray* array_;
};

// Writes a GMime object to a string with the given options (nullptr: defaults).
std::string writeMimeObject(GMimeObject* object, GMimeFormatOptions* options);
// The same into a sink, a piece at a time (default options).
bool writeMimeObject(GMimeObject* object, ContentSink& sink);

// Writes the decoded content (transfer encoding removed) of a data wrapper to a string.
std::string decodedContent(GMimeDataWrapper* content);
// The same into a sink in bounded pieces.
bool writeDecodedContent(GMimeDataWrapper* content, ContentSink& sink);
// The content's bytes where they lie, when they need no decoding and are read from memory
// (a mail parsed from a memory stream); false otherwise.
bool contentInPlace(GMimeDataWrapper* content, std::string_view& bytes);

}  // namespace tsubame
