// Who may change a display: locks, and clients served read-only.
//
// A client of io.quorvex.Display takes a display's lock for a session of work: other clients may
// read it, their changes are refused (through io.quorvex.Display with Locked naming the holder,
// through the link as a refused command). The lock ends with Unlock, when the holder's
// connection closes, or when root forces it open. Programs the holder starts share the lock by
// presenting its token: link clients in their Hello (QUORVEX_LOCK), Display clients with
// UseLock. Members of the read-only group (and everyone, with --read-only) read but change
// nothing.
//
// The daemon's own display workers are not checked at the link: DisplayService checks the
// client a worker acts for before it hands the change on.
#pragma once

#include <sys/types.h>

#include <map>
#include <optional>
#include <set>
#include <string>

#include "display_service.h"
#include "events.h"
#include "link_service.h"

namespace quorvexd {

class Locks final : public LockHandler, public ExchangeObserver {
public:
    struct Policy {
        bool read_only = false;               // every client reads only
        std::optional<gid_t> read_only_group;  // this group's members read only
        std::string group_name;
    };
    Locks(Server& server, DisplayService& displays, Events& events, Policy policy);

    // io.quorvex.Display
    void lock(ConnId conn, const std::string& serial) override;
    void unlock(ConnId conn, const std::string& serial, bool force) override;
    void use_lock(ConnId conn, const std::string& token) override;
    std::optional<Json> refused(ConnId conn, const std::string& serial) const override;
    std::optional<Json> holder(const std::string& serial) const override;
    bool read_only(ConnId conn) const override;
    void disconnected(ConnId conn) override;

    // io.quorvex.Link
    bool lock_presented(ConnId conn, const Peer& peer, const std::string& token) override;
    uint8_t refusal(ConnId conn, const Peer& peer, DisplayId display, const std::vector<uint8_t>& request) override;
    void link_closed(ConnId conn) override;

private:
    struct Lock {
        std::string token;
        ConnId holder = 0;
        Peer peer;
        std::set<ConnId> sharers;  // Display clients that presented the token
    };
    bool reads_only(ConnId conn, const Peer& peer) const;
    void release(const std::string& serial, const char* why);

    Server& server_;
    DisplayService& displays_;
    Events& events_;
    Policy policy_;
    std::map<std::string, Lock> locks_;         // by serial
    std::map<ConnId, std::string> presented_;   // link clients: the token they presented
    mutable std::map<ConnId, bool> in_group_;  // a connection's peer is in the read-only group
};

// Whether the user `peer` runs as is in the group, as its primary group or one of its others.
bool member_of(const Peer& peer, gid_t group);

}  // namespace quorvexd
