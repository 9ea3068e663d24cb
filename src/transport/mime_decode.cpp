#include "transport/mime_decode.h"

namespace tsubame {

// Placeholder until the GMime decoder lands.
DecodedHeaders decodeHeaders(std::string_view) { return {}; }

int decodeMailAndSaveAttachments(std::string_view rawMail, const std::filesystem::path&,
                                 DecodedMail& out, std::string&) {
    out.body = std::string(rawMail);
    return 0;
}

}  // namespace tsubame
