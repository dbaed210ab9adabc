#include "locks.h"

#include <grp.h>
#include <pwd.h>
#include <sys/random.h>
#include <unistd.h>

#include <algorithm>
#include <vector>

#include "display_worker.h"
#include "gadget_usb/link_wire.h"
#include "protocol/command_kinds.h"

namespace quorvexd {

namespace {

std::string new_token() {
    uint8_t bytes[qv::link::kLockTokenChars / 2];
    std::size_t got = 0;
    while (got < sizeof bytes) {
        const ssize_t n = getrandom(bytes + got, sizeof bytes - got, 0);
        if (n > 0) got += static_cast<std::size_t>(n);
    }
    static constexpr char kHex[] = "0123456789abcdef";
    std::string token;
    for (const uint8_t b : bytes) {
        token += kHex[b >> 4];
        token += kHex[b & 15];
    }
    return token;
}

Json holder_json(const Peer& p) { return {{"uid", p.uid}, {"pid", p.pid}}; }

}  // namespace

bool member_of(const Peer& peer, gid_t group) {
    if (peer.gid == group) return true;
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* found = nullptr;
    if (getpwuid_r(peer.uid, &entry, buffer.data(), buffer.size(), &found) != 0 || found == nullptr) return false;
    int count = 32;
    std::vector<gid_t> groups(static_cast<std::size_t>(count));
    if (getgrouplist(entry.pw_name, peer.gid, groups.data(), &count) < 0) {
        groups.resize(static_cast<std::size_t>(count));
        if (getgrouplist(entry.pw_name, peer.gid, groups.data(), &count) < 0) return false;
    }
    groups.resize(static_cast<std::size_t>(count));
    return std::find(groups.begin(), groups.end(), group) != groups.end();
}

Locks::Locks(Server& server, DisplayService& displays, Events& events, Policy policy)
    : server_(server), displays_(displays), events_(events), policy_(std::move(policy)) {}

bool Locks::reads_only(ConnId conn, const Peer& peer) const {
    if (policy_.read_only) return true;
    if (!policy_.read_only_group) return false;
    const auto it = in_group_.find(conn);
    if (it != in_group_.end()) return it->second;
    return in_group_[conn] = member_of(peer, *policy_.read_only_group);
}

bool Locks::read_only(ConnId conn) const {
    const Peer* p = server_.peer(conn);
    return p != nullptr && reads_only(conn, *p);
}

void Locks::lock(ConnId conn, const std::string& serial) {
    const Peer* p = server_.peer(conn);
    const Peer peer = p ? *p : Peer{};
    // A client that may change nothing holds nothing either.
    if (reads_only(conn, peer)) return server_.error(conn, display_error::kReadOnly);
    const auto it = locks_.find(serial);
    if (it != locks_.end()) {
        if (it->second.holder == conn) return server_.reply(conn, {{"token", it->second.token}});
        return server_.error(conn, display_error::kLocked, holder_json(it->second.peer));
    }
    Lock& l = locks_[serial];
    l.token = new_token();
    l.holder = conn;
    l.peer = peer;
    log_info("uid %u pid %d locked the display %s", peer.uid, peer.pid, serial.c_str());
    events_.publish({{"type", "lock-taken"}, {"serial", serial}, {"uid", peer.uid}, {"pid", peer.pid}});
    server_.reply(conn, {{"token", l.token}});
}

void Locks::unlock(ConnId conn, const std::string& serial, bool force) {
    const auto it = locks_.find(serial);
    if (it == locks_.end()) return server_.reply(conn, Json::object());
    if (it->second.holder != conn) {
        const Peer* p = server_.peer(conn);
        if (!force) return server_.error(conn, display_error::kLocked, holder_json(it->second.peer));
        if (p == nullptr || p->uid != 0)
            return server_.error(conn, display_error::kNotAllowed,
                                 {{"name", nullptr}, {"needs", "root (uid 0) to end another client's lock"}});
        log_info("uid 0 pid %d forced the lock of uid %u pid %d on the display %s open", p->pid, it->second.peer.uid,
                 it->second.peer.pid, serial.c_str());
    }
    release(serial, force && it->second.holder != conn ? "forced open" : "unlocked");
    server_.reply(conn, Json::object());
}

void Locks::use_lock(ConnId conn, const std::string& token) {
    for (auto& [serial, l] : locks_)
        if (l.token == token) {
            l.sharers.insert(conn);
            return server_.reply(conn, {{"serial", serial}});
        }
    server_.error(conn, display_error::kNoSuchLock);
}

std::optional<Json> Locks::refused(ConnId conn, const std::string& serial) const {
    const auto it = locks_.find(serial);
    if (it == locks_.end() || it->second.holder == conn || it->second.sharers.count(conn) != 0) return std::nullopt;
    return holder_json(it->second.peer);
}

std::optional<Json> Locks::holder(const std::string& serial) const {
    const auto it = locks_.find(serial);
    if (it == locks_.end()) return std::nullopt;
    return holder_json(it->second.peer);
}

void Locks::release(const std::string& serial, const char* why) {
    const auto it = locks_.find(serial);
    if (it == locks_.end()) return;
    const Peer holder = it->second.peer;
    locks_.erase(it);
    log_info("the lock of uid %u pid %d on the display %s ended: %s", holder.uid, holder.pid, serial.c_str(), why);
    events_.publish({{"type", "lock-released"}, {"serial", serial}, {"uid", holder.uid}, {"pid", holder.pid}});
}

void Locks::disconnected(ConnId conn) {
    std::vector<std::string> held;
    for (auto& [serial, l] : locks_) {
        l.sharers.erase(conn);
        if (l.holder == conn) held.push_back(serial);
    }
    for (const std::string& serial : held) release(serial, "its holder disconnected");
    in_group_.erase(conn);
}

bool Locks::lock_presented(ConnId conn, const Peer&, const std::string& token) {
    for (const auto& [serial, l] : locks_)
        if (l.token == token) {
            presented_[conn] = token;
            return true;
        }
    return false;
}

uint8_t Locks::refusal(ConnId conn, const Peer& peer, DisplayId display, const std::vector<uint8_t>& request) {
    if (request.empty() || qv::command_only_reads(request[0]) || displays_.is_worker(peer.pid)) return 0;
    if (reads_only(conn, peer)) {
        if (policy_.read_only)
            log_info("refused command %u to uid %u pid %d on the display at bus %03u address %03u: read-only",
                     request[0], peer.uid, peer.pid, display.bus, display.address);
        else
            log_info("refused command %u to uid %u pid %d on the display at bus %03u address %03u: group %s reads only",
                     request[0], peer.uid, peer.pid, display.bus, display.address, policy_.group_name.c_str());
        return kRefusedStatus;
    }
    const auto serial = displays_.serial_of(display);
    if (!serial) return 0;
    const auto it = locks_.find(*serial);
    if (it == locks_.end()) return 0;
    const auto presented = presented_.find(conn);
    if (presented != presented_.end() && presented->second == it->second.token) return 0;
    log_info("refused command %u to uid %u pid %d on the display %s: locked by uid %u pid %d", request[0], peer.uid,
             peer.pid, serial->c_str(), it->second.peer.uid, it->second.peer.pid);
    return kRefusedStatus;
}

void Locks::link_closed(ConnId conn) {
    presented_.erase(conn);
    in_group_.erase(conn);
}

}  // namespace quorvexd
