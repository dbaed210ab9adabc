#include "events.h"

namespace quorvexd {

void Events::subscribe(ConnId conn) {
    if (!server_.wants_more(conn)) {
        server_.error(conn, kInvalidParameter, {{"parameter", "more"}});
        return;
    }
    subscribers_.insert(conn);
}

void Events::publish(const Json& event) {
    // A reply may close a connection (its peer gone, or its output full): the set is walked
    // over a copy.
    const std::set<ConnId> now = subscribers_;
    for (ConnId conn : now) {
        if (!server_.connected(conn)) {
            subscribers_.erase(conn);
            continue;
        }
        server_.reply(conn, {{"event", event}}, true);
    }
}

}  // namespace quorvexd
