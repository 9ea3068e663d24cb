#include "mime/mime_gmime.h"

#include <mutex>

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
    GObjectPtr<GMimeStream> stream(g_mime_stream_mem_new());
    if (g_mime_data_wrapper_write_to_stream(content, stream.get()) < 0) return {};
    return bytesOf(stream.get());
}

}  // namespace tsubame
