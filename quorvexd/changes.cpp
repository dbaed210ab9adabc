#include "changes.h"

#include "settings/decode.h"

namespace quorvexd {

void Changes::exchanged(ConnId, const Peer& peer, DisplayId display, const std::vector<uint8_t>& request,
                        const std::vector<uint8_t>& reply) {
    const auto serial = displays_.serial_of(display);
    if (!serial) return;
    const std::vector<uint8_t> answer = qv::settings::reply_bytes(reply);
    const auto got = qv::settings::decode_get(request, answer);
    const auto set = got ? std::nullopt : qv::settings::decode_set(request, answer);
    const auto& d = got ? got : set;
    if (!d) return;
    // The settings layer's JSON is ordered; events are plain JSON.
    const Json value = Json::parse(d->value.dump());
    const std::string key = d->setting->name + (d->entry.is_null() ? "" : "/" + d->entry.dump());
    auto& values = known_[*serial];
    const auto old = values.find(key);
    if (set) {
        Json event = {{"type", "setting-changed"}, {"serial", *serial}, {"name", d->setting->name}, {"value", value}};
        if (old != values.end()) event["old"] = old->second;
        // A display worker acts for the client whose call it runs.
        if (const DisplayService::Acting* acting = displays_.acting(peer.pid)) {
            event["uid"] = acting->caller.uid;
            event["pid"] = acting->caller.pid;
            if (!acting->context.empty()) event["context"] = acting->context;
        } else {
            event["uid"] = peer.uid;
            event["pid"] = peer.pid;
        }
        events_.publish(event);
    }
    // A set carries a record's writable fields: the others stay as last read.
    if (set && old != values.end() && old->second.is_object() && value.is_object())
        old->second.update(value);
    else
        values[key] = value;
}

}  // namespace quorvexd
