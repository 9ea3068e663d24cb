#include "mime/mime_gmime.h"

#include <algorithm>
#include <mutex>

#include "mime/base64_decode.h"

namespace tsubame {
namespace {

constexpr std::size_t kPieceBytes = 64 * 1024;

std::string bytesOf(GMimeStream* stream) {
    GByteArray* array = g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(stream));
    if (!array || array->len == 0) return {};
    return std::string(reinterpret_cast<const char*>(array->data), array->len);
}

// A write-only GMime stream that hands every piece written to a ContentSink.
struct TsubameSinkStream {
    GMimeStream parent;
    ContentSink* sink;
};
struct TsubameSinkStreamClass {
    GMimeStreamClass parent_class;
};

G_DEFINE_TYPE(TsubameSinkStream, tsubame_sink_stream, GMIME_TYPE_STREAM)

ssize_t sinkStreamWrite(GMimeStream* stream, const char* buffer, size_t length) {
    ContentSink* sink = reinterpret_cast<TsubameSinkStream*>(stream)->sink;
    if (!sink->put(std::string_view(buffer, length))) return -1;
    stream->position += static_cast<gint64>(length);
    return static_cast<ssize_t>(length);
}

ssize_t sinkStreamRead(GMimeStream*, char*, size_t) { return -1; }
int sinkStreamDone(GMimeStream*) { return 0; }
gboolean sinkStreamEos(GMimeStream*) { return TRUE; }
gint64 sinkStreamSeek(GMimeStream*, gint64, GMimeSeekWhence) { return -1; }
gint64 sinkStreamTell(GMimeStream* stream) { return stream->position; }
gint64 sinkStreamLength(GMimeStream*) { return -1; }
GMimeStream* sinkStreamSubstream(GMimeStream*, gint64, gint64) { return nullptr; }

void tsubame_sink_stream_class_init(TsubameSinkStreamClass* klass) {
    GMimeStreamClass* stream = GMIME_STREAM_CLASS(klass);
    stream->read = sinkStreamRead;
    stream->write = sinkStreamWrite;
    stream->flush = sinkStreamDone;
    stream->close = sinkStreamDone;
    stream->eos = sinkStreamEos;
    stream->reset = sinkStreamDone;
    stream->seek = sinkStreamSeek;
    stream->tell = sinkStreamTell;
    stream->length = sinkStreamLength;
    stream->substream = sinkStreamSubstream;
}

void tsubame_sink_stream_init(TsubameSinkStream* stream) { stream->sink = nullptr; }

GObjectPtr<GMimeStream> newSinkStream(ContentSink& sink) {
    auto* stream =
        static_cast<TsubameSinkStream*>(g_object_new(tsubame_sink_stream_get_type(), nullptr));
    g_mime_stream_construct(&stream->parent, 0, -1);
    stream->sink = &sink;
    return GObjectPtr<GMimeStream>(&stream->parent);
}

// Copies stream to sink in bounded pieces, through decoder when one is given.
bool copyInPieces(GMimeStream* stream, ContentSink& sink, LenientBase64Decoder* decoder) {
    std::string piece(kPieceBytes, '\0');
    std::string decoded;
    // Some streams (the joined ones) fail a read at their end instead of giving 0 bytes.
    while (!g_mime_stream_eos(stream)) {
        const ssize_t got = g_mime_stream_read(stream, piece.data(), piece.size());
        if (got < 0) return false;
        if (got == 0) break;
        const std::string_view read(piece.data(), static_cast<std::size_t>(got));
        if (decoder == nullptr) {
            if (!sink.put(read)) return false;
            continue;
        }
        decoded.clear();
        decoder->decode(read, decoded);
        if (!decoded.empty() && !sink.put(decoded)) return false;
    }
    if (decoder == nullptr) return true;
    decoded.clear();
    decoder->finish(decoded);
    return decoded.empty() || sink.put(decoded);
}

}  // namespace

BorrowedBytes::BorrowedBytes(std::string_view bytes) : array_(g_byte_array_new()) {
    // Only data and len are read by the memory stream; the array never grows, as the
    // stream is only read.
    array_->data = reinterpret_cast<guint8*>(const_cast<char*>(bytes.data()));
    array_->len = static_cast<guint>(bytes.size());
}

BorrowedBytes::~BorrowedBytes() {
    array_->data = nullptr;
    array_->len = 0;
    g_byte_array_free(array_, TRUE);
}

GMimeStream* BorrowedBytes::newStream() const {
    GMimeStream* stream = g_mime_stream_mem_new_with_byte_array(array_);
    g_mime_stream_mem_set_owner(GMIME_STREAM_MEM(stream), FALSE);
    return stream;
}

void ensureGMimeInitialized() {
    static std::once_flag once;
    std::call_once(once, [] { g_mime_init(); });
}

std::string writeMimeObject(GMimeObject* object, GMimeFormatOptions* options) {
    GObjectPtr<GMimeStream> stream(g_mime_stream_mem_new());
    if (g_mime_object_write_to_stream(object, options, stream.get()) < 0) return {};
    return bytesOf(stream.get());
}

bool writeMimeObject(GMimeObject* object, ContentSink& sink) {
    GObjectPtr<GMimeStream> stream = newSinkStream(sink);
    return g_mime_object_write_to_stream(object, nullptr, stream.get()) >= 0;
}

std::string decodedContent(GMimeDataWrapper* content) {
    StringSink sink;
    if (!writeDecodedContent(content, sink)) return {};
    return std::move(sink.text);
}

bool contentInPlace(GMimeDataWrapper* content, std::string_view& bytes) {
    GMimeStream* stream = content ? g_mime_data_wrapper_get_stream(content) : nullptr;
    if (!stream || !GMIME_IS_STREAM_MEM(stream)) return false;
    switch (g_mime_data_wrapper_get_encoding(content)) {
        case GMIME_CONTENT_ENCODING_DEFAULT:
        case GMIME_CONTENT_ENCODING_7BIT:
        case GMIME_CONTENT_ENCODING_8BIT:
        case GMIME_CONTENT_ENCODING_BINARY:
            break;
        default:
            return false;
    }
    GByteArray* array = g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(stream));
    if (!array) return false;
    const auto length = static_cast<gint64>(array->len);
    const gint64 end = stream->bound_end < 0 ? length : std::min(stream->bound_end, length);
    const gint64 start = std::clamp<gint64>(stream->bound_start, 0, end);
    bytes = std::string_view(reinterpret_cast<const char*>(array->data) + start,
                             static_cast<std::size_t>(end - start));
    return true;
}

bool writeDecodedContent(GMimeDataWrapper* content, ContentSink& sink) {
    if (!content) return true;
    GMimeStream* encoded = g_mime_data_wrapper_get_stream(content);
    if (!encoded) return true;
    if (g_mime_stream_reset(encoded) < 0) return false;
    const GMimeContentEncoding encoding = g_mime_data_wrapper_get_encoding(content);
    if (encoding == GMIME_CONTENT_ENCODING_BASE64) {
        // GMime drops a last group that lacks its "=" padding; other readers keep its bytes.
        LenientBase64Decoder decoder;
        return copyInPieces(encoded, sink, &decoder);
    }
    if (encoding != GMIME_CONTENT_ENCODING_QUOTEDPRINTABLE &&
        encoding != GMIME_CONTENT_ENCODING_UUENCODE)
        return copyInPieces(encoded, sink, nullptr);
    GObjectPtr<GMimeStream> filtered(g_mime_stream_filter_new(encoded));
    GObjectPtr<GMimeFilter> filter(g_mime_filter_basic_new(encoding, FALSE));
    g_mime_stream_filter_add(GMIME_STREAM_FILTER(filtered.get()), filter.get());
    return copyInPieces(filtered.get(), sink, nullptr);
}

}  // namespace tsubame
