#include "mime/mime_gmime.h"

#include <mutex>

#include "mime/base64_decode.h"

namespace tsubame {
namespace {

std::string bytesOf(GMimeStream* stream) {
    GByteArray* array = g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(stream));
    if (!array || array->len == 0) return {};
    return std::string(reinterpret_cast<const char*>(array->data), array->len);
}

}  // namespace

void ensureGMimeInitialized() {
    static std::once_flag once;
    std::call_once(once, [] { g_mime_init(); });
}

std::string writeMimeObject(GMimeObject* object, GMimeFormatOptions* options) {
    GObjectPtr<GMimeStream> stream(g_mime_stream_mem_new());
    if (g_mime_object_write_to_stream(object, options, stream.get()) < 0) return {};
    return bytesOf(stream.get());
}

std::string decodedContent(GMimeDataWrapper* content) {
    if (!content) return {};
    if (g_mime_data_wrapper_get_encoding(content) == GMIME_CONTENT_ENCODING_BASE64) {
        // GMime drops a last group that lacks its "=" padding; other readers keep its bytes.
        GMimeStream* encoded = g_mime_data_wrapper_get_stream(content);
        if (!encoded) return {};
        GObjectPtr<GMimeStream> stream(g_mime_stream_mem_new());
        if (g_mime_stream_reset(encoded) < 0 ||
            g_mime_stream_write_to_stream(encoded, stream.get()) < 0)
            return {};
        return decodeBase64Leniently(bytesOf(stream.get()));
    }
    GObjectPtr<GMimeStream> stream(g_mime_stream_mem_new());
    if (g_mime_data_wrapper_write_to_stream(content, stream.get()) < 0) return {};
    return bytesOf(stream.get());
}

}  // namespace tsubame
