#include "mime/mime_part_bounds.h"

#include <algorithm>
#include <string_view>

#include "mime/mime_gmime.h"
#include "mime/mime_header_block.h"

namespace tsubame {
namespace {

bool isBlank(char c) { return c == ' ' || c == '\t'; }

struct Line {
    gint64 start = 0;    // where the line begins
    gint64 textEnd = 0;  // where its line end begins
    std::string text;    // its first bytes, without the line end
};

// Reads a stream line by line from an offset, keeping only the start of each line: enough
// to tell a field, a blank line or a delimiter.
class LineReader {
  public:
    LineReader(GMimeStream* stream, gint64 from) : stream_(stream), offset_(from) {
        ok_ = g_mime_stream_seek(stream, from, GMIME_STREAM_SEEK_SET) == from;
    }
    bool next(Line& line) {
        line.text.clear();
        line.start = offset_;
        bool any = false;
        bool ended = false;
        while (!ended) {
            if (pos_ == buffer_.size() && !fill()) break;
            const std::size_t newline = buffer_.find('\n', pos_);
            ended = newline != std::string::npos;
            const std::size_t stop = ended ? newline + 1 : buffer_.size();
            if (line.text.size() < kKept)
                line.text.append(buffer_, pos_, std::min(kKept - line.text.size(), stop - pos_));
            offset_ += static_cast<gint64>(stop - pos_);
            pos_ = stop;
            any = true;
        }
        line.textEnd = offset_;
        if (ended) {
            --line.textEnd;
            if (line.text.ends_with('\n')) line.text.pop_back();
            if (line.text.ends_with('\r')) {
                line.text.pop_back();
                --line.textEnd;
            }
        }
        return any;
    }

  private:
    static constexpr std::size_t kKept = 1024;
    // Reads start small, as a header is short, and grow for the content behind it.
    static constexpr std::size_t kLargestChunk = 64 * 1024;
    bool fill() {
        if (!ok_) return false;
        buffer_.resize(chunk_);
        // Joined streams fail a read at their end instead of giving 0 bytes.
        const ssize_t got = g_mime_stream_read(stream_, buffer_.data(), chunk_);
        chunk_ = std::min(chunk_ * 2, kLargestChunk);
        buffer_.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
        pos_ = 0;
        return got > 0;
    }
    GMimeStream* stream_;
    gint64 offset_;
    bool ok_ = false;
    std::string buffer_;
    std::size_t pos_ = 0;
    std::size_t chunk_ = 512;
};

enum class Delimiter { None, Part, Close };

Delimiter delimiterOf(std::string_view line, const std::vector<std::string>& boundaries) {
    if (!line.starts_with("--")) return Delimiter::None;
    for (const std::string& boundary : boundaries) {
        std::string_view rest = line.substr(2);
        if (boundary.empty() || !rest.starts_with(boundary)) continue;
        rest.remove_prefix(boundary.size());
        if (rest.starts_with("--")) return Delimiter::Close;
        if (rest.find_first_not_of(" \t") == std::string_view::npos) return Delimiter::Part;
    }
    return Delimiter::None;
}

void setContent(GMimePart* part, GMimeStream* from, gint64 start, gint64 end,
                GMimeContentEncoding encoding) {
    GObjectPtr<GMimeStream> bytes(g_mime_stream_substream(from, start, end));
    GObjectPtr<GMimeDataWrapper> content(
        g_mime_data_wrapper_new_with_stream(bytes.get(), encoding));
    g_mime_part_set_content(part, content.get());
}

gint64 firstHeaderOffset(GMimeObject* object) {
    GMimeHeaderList* list = g_mime_object_get_header_list(object);
    const int count = list ? g_mime_header_list_get_count(list) : 0;
    gint64 first = -1;
    for (int i = 0; i < count; ++i) {
        const gint64 offset = g_mime_header_get_offset(g_mime_header_list_get_header_at(list, i));
        if (offset >= 0 && (first < 0 || offset < first)) first = offset;
    }
    return first;
}

// The parser left out the lines between the fields and the next blank line; they are the
// start of the content.
void startBelowTheFields(GMimePart* part, GMimeStream* parsed,
                         const std::vector<std::string>& boundaries,
                         const ParseWarnings& warnings) {
    const gint64 first = firstHeaderOffset(GMIME_OBJECT(part));
    if (first < 0) return;
    LineReader lines(parsed, first);
    Line line;
    while (lines.next(line) && !line.text.empty() &&
           (isBlank(line.text[0]) || isFieldLine(line.text))) {
    }
    if (line.text.empty() || !warnings.droppedHeaderLines.contains(line.start)) return;
    const gint64 start = line.start;
    gint64 end = line.textEnd;
    // The content runs to the line end before the next delimiter, as GMime's own does.
    while (lines.next(line) && delimiterOf(line.text, boundaries) == Delimiter::None)
        end = line.textEnd;
    setContent(part, parsed, start, end, g_mime_part_get_content_encoding(part));
}

void endAtACloseDelimiter(GMimePart* part, const std::vector<std::string>& boundaries) {
    GMimeDataWrapper* content = g_mime_part_get_content(part);
    GMimeStream* stream = content ? g_mime_data_wrapper_get_stream(content) : nullptr;
    if (!stream) return;
    const gint64 start = stream->bound_start;
    LineReader lines(stream, start);
    Line line;
    gint64 end = start;
    while (lines.next(line)) {
        if (delimiterOf(line.text, boundaries) == Delimiter::Close) {
            setContent(part, stream, start, end, g_mime_data_wrapper_get_encoding(content));
            return;
        }
        end = line.textEnd;
    }
}

void noteWarning(gint64 offset, GMimeParserWarning code, const gchar*, gpointer data) {
    auto* warnings = static_cast<ParseWarnings*>(data);
    if (code == GMIME_CRIT_INVALID_HEADER_NAME) warnings->droppedHeaderLines.insert(offset);
    if (code == GMIME_WARN_TRUNCATED_MESSAGE) warnings->unclosedMultipart = true;
}

}  // namespace

std::vector<std::size_t> linesBelowTheFields(std::string_view text,
                                             const std::vector<std::string>& boundaries) {
    std::vector<std::size_t> lines;
    bool inFields = false;
    bool sawField = false;
    for (std::size_t start = 0; start < text.size();) {
        const std::size_t newline = text.find('\n', start);
        const std::size_t next = newline == std::string_view::npos ? text.size() : newline + 1;
        std::string_view line = text.substr(start, std::min(newline, text.size()) - start);
        if (line.ends_with('\r')) line.remove_suffix(1);
        const Delimiter delimiter = delimiterOf(line, boundaries);
        if (delimiter != Delimiter::None) {
            inFields = delimiter == Delimiter::Part;
            sawField = false;
        } else if (inFields) {
            if (line.find_first_not_of(" \t") == std::string_view::npos) {
                inFields = false;
            } else if (isFieldLine(line) || (sawField && isBlank(line[0]))) {
                sawField = true;
            } else {
                if (sawField) lines.push_back(start);
                inFields = false;
            }
        }
        start = next;
    }
    return lines;
}

void ParseWarnings::listenTo(GMimeParserOptions* options) {
    g_mime_parser_options_set_warning_callback(options, noteWarning, this);
}

void mendPartContent(GMimePart* part, GMimeStream* parsed,
                     const std::vector<std::string>& boundaries, const ParseWarnings& warnings,
                     bool lastInMultipart) {
    if (!warnings.droppedHeaderLines.empty())
        startBelowTheFields(part, parsed, boundaries, warnings);
    if (warnings.unclosedMultipart && lastInMultipart) endAtACloseDelimiter(part, boundaries);
}

}  // namespace tsubame
