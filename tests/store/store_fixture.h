#pragma once

#include <string>
#include <vector>

#include "store/address_store.h"
#include "store/received_mail_store.h"

namespace tsubame::testing {

// A received-mail store image of count records, every third one (1, 4, 7 ...) marked for
// removal, and the image that a compaction must leave.
struct StoreImages {
    std::string before;
    std::string after;
};

inline StoreImages receivedStoreImages(int count) {
    StoreImages images;
    for (int i = 1; i <= count; ++i) {
        ReceivedMailRecord record;
        const std::string n = std::to_string(i);
        record.fill("subject " + n, "date " + n, "from" + n + "@example.jp",
                    std::string(1000 + i * 37 % 20000, static_cast<char>('a' + i % 26)));
        if (i % 3 == 1) record.setInUse(0);
        images.before.append(record.bytes.data(), record.bytes.size());
        if (record.inUse() != 0) images.after.append(record.bytes.data(), record.bytes.size());
    }
    return images;
}

inline StoreImages addressStoreImages(int count) {
    StoreImages images;
    for (int i = 1; i <= count; ++i) {
        const std::string number = std::to_string(i);
        AddressRecord record("name " + number, "a" + number + "@example.jp");
        if (i % 3 == 1) record.setInUse(0);
        images.before.append(record.bytes.data(), record.bytes.size());
        if (record.inUse() != 0) images.after.append(record.bytes.data(), record.bytes.size());
    }
    return images;
}

}  // namespace tsubame::testing
