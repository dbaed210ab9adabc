// The daemon's events: every subscriber (a Subscribe call with "more") gets each event as one
// reply that continues. A subscriber that does not read is dropped once its replies fill the
// connection's output bound; the others never wait for it.
#pragma once

#include <set>

#include "server.h"

namespace quorvexd {

class Events {
public:
    explicit Events(Server& server) : server_(server) {}

    // The connection's call in progress subscribes; answers at once with an error when it did
    // not ask for more replies.
    void subscribe(ConnId conn);
    // Sends `event` (an object with "type") to every subscriber. From the loop's thread.
    void publish(const Json& event);
    // The connection is gone.
    void disconnected(ConnId conn) { subscribers_.erase(conn); }
    std::size_t subscribers() const { return subscribers_.size(); }

private:
    Server& server_;
    std::set<ConnId> subscribers_;
};

}  // namespace quorvexd
