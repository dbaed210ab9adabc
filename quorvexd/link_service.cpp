#include "link_service.h"

#include <unistd.h>

#include <algorithm>

#include "gadget_usb/bridge_framing.h"
#include "gadget_usb/link.h"
#include "gadget_usb/link_wire.h"
#include "protocol/command_kinds.h"
#include "sim/sim_bus.h"
#include "sim/virtual_clock.h"

namespace quorvexd {

extern const char* const kLinkDescription;

namespace {

constexpr ConnId kBroker = ~ConnId{0};  // the daemon itself, reading a reply nobody waits for
constexpr auto kSequenceIdle = std::chrono::seconds(1);
// A client that leaves an exchange open this long (it neither reads on nor ends it) loses it: the
// library pauses a second between its read attempts, never longer. On the virtual clock the time
// that counts is the displays' (other clients' pauses), on top of the real time.
constexpr auto kExchangeIdle = std::chrono::seconds(5);
constexpr uint64_t kExchangeIdleUs = std::chrono::duration_cast<std::chrono::microseconds>(kExchangeIdle).count();
constexpr uint64_t kAttemptPauseUs = 1000000;

using link_error::kNoSuchHandle;
using link_error::kNoSuchLock;
using link_error::kVersionMismatch;

// An integer parameter; false when it is missing (unless optional) or not an integer in range.
bool integer(const Json& p, const char* name, long lo, long hi, long* out, bool optional = false) {
    const auto it = p.find(name);
    if (it == p.end() || it->is_null()) return optional;
    if (!it->is_number_integer()) return false;
    const long v = it->get<long>();
    if (v < lo || v > hi) return false;
    *out = v;
    return true;
}

std::string base64(const std::vector<uint8_t>& bytes) {
    std::string text(qv::link::base64_size(bytes.size()), '\0');
    qv::link::base64_encode(bytes.data(), bytes.size(), text.data());
    return text;
}

bool unbase64(const std::string& text, std::vector<uint8_t>* bytes) {
    bytes->resize(text.size() / 4 * 3);
    const long n = qv::link::base64_decode(text.data(), text.size(), bytes->data(), bytes->size());
    if (n < 0) return false;
    bytes->resize(static_cast<std::size_t>(n));
    return true;
}

// The bytes as the bridge moves them to the host: each 62 data bytes behind two status bytes.
std::vector<uint8_t> bridge_framed(const std::vector<uint8_t>& data) {
    std::vector<uint8_t> out;
    for (std::size_t at = 0; at < data.size() || at == 0; at += qv::kBridgeData) {
        out.push_back(0x01);
        out.push_back(0x60);
        const std::size_t n = std::min<std::size_t>(data.size() - at, qv::kBridgeData);
        out.insert(out.end(), data.begin() + static_cast<std::ptrdiff_t>(at),
                   data.begin() + static_cast<std::ptrdiff_t>(at + n));
        if (data.empty()) break;
    }
    return out;
}

}  // namespace

void Bus::pass_time(uint64_t microseconds) {
    if (virtual_clock_ == nullptr) return;
    with([&](qv::UsbBackend&) {
        virtual_clock_->advance_us(microseconds);
        return 0;
    });
}

uint64_t Bus::virtual_now_us() {
    if (virtual_clock_ == nullptr) return 0;
    return with([&](qv::UsbBackend&) { return virtual_clock_->now_us(); });
}

void Bus::wait_for_held_reply(qv::UsbHandle* handle, unsigned timeout_ms) {
    if (!serialize_ || virtual_clock_ != nullptr) return;
    auto* simulated = dynamic_cast<qv::sim::SimBus*>(&backend_);
    if (simulated == nullptr) return;
    const uint64_t wait = with([&](qv::UsbBackend&) { return simulated->in_hold_us(handle, timeout_ms); });
    if (wait > 0) std::this_thread::sleep_for(std::chrono::microseconds(wait));
}

Worker::Worker() {
    thread_ = std::thread([this] {
        std::unique_lock<std::mutex> lock(mutex_);
        for (;;) {
            ready_.wait(lock, [this] { return stopping_ || !jobs_.empty(); });
            if (jobs_.empty()) return;
            auto job = std::move(jobs_.front());
            jobs_.pop_front();
            lock.unlock();
            job();
            lock.lock();
        }
    });
}

Worker::~Worker() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    ready_.notify_one();
    thread_.join();
}

void Worker::submit(std::function<void()> job) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        jobs_.push_back(std::move(job));
    }
    ready_.notify_one();
}

// ---- what the service keeps

struct LinkService::Op {
    enum class Kind { bulk, control, discard } kind = Kind::bulk;
    ConnId conn = 0;
    long handle = 0;
    uint8_t endpoint = 0;
    int length = 0;
    unsigned timeout = 0;
    std::vector<uint8_t> data;  // OUT: what is sent; IN: what came
    bool read_ahead = false;
    unsigned ahead_timeout = 0;
    uint8_t request_type = 0, request = 0;
    uint16_t value = 0, index = 0;
    int attempts = 0;  // discard: read attempts, a second apart
    // results
    int rc = 0;
    int transferred = 0;
    int ahead_rc = 0;
    int ahead_transferred = 0;
    std::vector<uint8_t> ahead_data;

    bool out() const { return kind == Kind::bulk && (endpoint & 0x80) == 0; }
};

struct LinkService::Display {
    DisplayId id;
    qv::UsbHandle* handle = nullptr;  // the daemon's own, with interface 0 claimed
    bool claimed = false;
    bool gone = false;
    bool removal_told = false;  // missing from a walk of the bus: gone for good
    bool held_elsewhere_reported = false;
    Worker worker;
    // Who has the display now, and why.
    enum class Hold { none, exchange, sequence, long_command } hold = Hold::none;
    ConnId holder = 0;
    uint64_t sequence_epoch = 0;
    uint64_t turns = 0;  // operations finished so far
    uint64_t idle_turn = 0, idle_since_us = 0;  // the holder's last turn, on the virtual clock
    bool in_flight = false;
    std::deque<std::unique_ptr<Op>> queue;  // arrival order
    // The last command written and whether its reply is still to come.
    std::vector<uint8_t> request;
    bool reply_owed = false;
    ConnId owed_by = 0;
    unsigned owed_timeout = 0;
};

LinkService::LinkService(Server& server, Bus& bus) : server_(server), bus_(bus) {}

LinkService::~LinkService() {
    bus_.with([&](qv::UsbBackend& b) {
        for (auto& d : displays_) {
            if (d->handle == nullptr) continue;
            if (d->claimed) b.release_interface(d->handle, qv::kInterface);
            b.close(d->handle);
        }
        return 0;
    });
}

const char* LinkService::name() const { return qv::link::kInterface; }
const char* LinkService::description() const { return kLinkDescription; }

LinkService::Display* LinkService::find(uint8_t bus, uint8_t address) {
    for (auto& d : displays_)
        if (!d->gone && d->id.bus == bus && d->id.address == address) return d.get();
    return nullptr;
}

Json LinkService::rescan() {
    Json devices = Json::array();
    std::vector<Display*> seen;
    std::vector<std::pair<DisplayId, bool>> changes;
    bus_.with([&](qv::UsbBackend& b) {
        qv::UsbDevice** list = nullptr;
        const ssize_t n = b.get_device_list(&list);
        for (ssize_t i = 0; i < n; ++i) {
            qv::UsbDevice* dev = list[i];
            uint16_t vendor = 0, product = 0;
            const int rc = b.get_device_descriptor(dev, &vendor, &product);
            const uint8_t bus = b.get_bus_number(dev);
            const uint8_t address = b.get_device_address(dev);
            devices.push_back({{"descriptor", rc}, {"vendor", rc == 0 ? vendor : 0}, {"product", rc == 0 ? product : 0},
                               {"bus", bus}, {"address", address}});
            if (rc != 0 || vendor != QUORVEX_USB_VID || product != QUORVEX_USB_PID) continue;
            Display* d = find(bus, address);
            if (d == nullptr) {
                displays_.push_back(std::make_unique<Display>());
                d = displays_.back().get();
                d->id = DisplayId{bus, address};
            }
            seen.push_back(d);
            if (d->claimed) continue;
            // A display not served yet: opened and claimed for good (tried again at every walk
            // while another program holds it).
            qv::UsbHandle* handle = nullptr;
            int claim_rc = b.open(dev, &handle);
            if (claim_rc == 0) {
                if (b.kernel_driver_active(handle, qv::kInterface) == 1) b.detach_kernel_driver(handle, qv::kInterface);
                claim_rc = b.claim_interface(handle, qv::kInterface);
                if (claim_rc != 0) b.close(handle);
            }
            if (claim_rc == 0) {
                d->handle = handle;
                d->claimed = true;
                changes.emplace_back(d->id, true);
                log_info("serving the display at bus %03u address %03u", bus, address);
            } else if (!d->held_elsewhere_reported) {
                d->held_elsewhere_reported = true;
                log_info("cannot claim the display at bus %03u address %03u (%d): another program holds it; trying again",
                         bus, address, claim_rc);
            }
        }
        if (list != nullptr) b.free_device_list(list);
        for (auto& d : displays_) {
            // A transfer may have found it gone first: its removal is told all the same.
            if (d->removal_told || std::find(seen.begin(), seen.end(), d.get()) != seen.end()) continue;
            d->removal_told = true;
            d->gone = true;
            if (d->claimed) changes.emplace_back(d->id, false);
            log_info("the display at bus %03u address %03u is gone", d->id.bus, d->id.address);
            if (d->handle != nullptr && !d->in_flight) {
                b.close(d->handle);
                d->handle = nullptr;
            }
        }
        return 0;
    });
    for (auto& d : displays_)
        if (d->gone) schedule(*d);
    if (display_change_)
        for (const auto& [id, served] : changes) display_change_(id, served);
    return devices;
}

std::vector<DisplayId> LinkService::unclaimed() const {
    std::vector<DisplayId> held;
    for (const auto& d : displays_)
        if (!d->gone && !d->claimed) held.push_back(d->id);
    return held;
}

// ---- calls

void LinkService::call(ConnId conn, const Call& call) {
    const std::string_view method = std::string_view(call.method).substr(std::string_view(qv::link::kInterface).size() + 1);
    if (method == "Transfer") return transfer(conn, call);
    if (method == "End") return end(conn, call);
    if (method == "Hello") return hello(conn, call);
    if (method == "Devices") {
        Json devices = rescan();
        const Peer* peer = server_.peer(conn);
        if (view_ && peer != nullptr) {
            Json shown = Json::array();
            for (Json& d : devices)
                if (d["vendor"] != QUORVEX_USB_VID || d["product"] != QUORVEX_USB_PID ||
                    view_(*peer, DisplayId{d["bus"].get<uint8_t>(), d["address"].get<uint8_t>()}))
                    shown.push_back(std::move(d));
            devices = std::move(shown);
        }
        if (!call.oneway) server_.reply(conn, {{"devices", devices}});
        return;
    }
    if (method == "Open") return open(conn, call);
    if (method == "Close") {
        if (ClientHandle* h = handle_of(conn, call)) {
            close(conn, call.parameters["handle"].get<long>());
            (void)h;
            server_.reply(conn, Json::object());
        }
        return;
    }
    if (method == "Claim" || method == "Release") return claim(conn, call, method == "Claim");
    if (method == "KernelDriverActive" || method == "DetachKernelDriver") {
        // quorvexd took the display from any kernel driver when it claimed it.
        if (handle_of(conn, call) != nullptr)
            server_.reply(conn, {{"result", method == "KernelDriverActive" ? 0 : qv::USB_ERROR_NOT_FOUND}});
        return;
    }
    if (method == "Control") return control(conn, call);
    if (!call.oneway) server_.error(conn, kMethodNotFound, {{"method", call.method}});
}

LinkService::ClientHandle* LinkService::handle_of(ConnId conn, const Call& call) {
    long id = 0;
    if (!integer(call.parameters, "handle", 0, 1L << 40, &id)) {
        if (!call.oneway) server_.error(conn, kInvalidParameter, {{"parameter", "handle"}});
        return nullptr;
    }
    auto& handles = clients_[conn].handles;
    const auto it = handles.find(id);
    if (it == handles.end()) {
        if (!call.oneway) server_.error(conn, kNoSuchHandle, {{"handle", id}});
        return nullptr;
    }
    return &it->second;
}

void LinkService::hello(ConnId conn, const Call& call) {
    long version = 0;
    if (!integer(call.parameters, "version", 0, 1L << 30, &version))
        return server_.error(conn, kInvalidParameter, {{"parameter", "version"}});
    if (version != qv::link::kVersion) {
        const Peer* p = server_.peer(conn);
        log_info("refused a client (uid %u pid %d) of version %ld of " QV_LINK_INTERFACE "; this is version %d",
                 p ? p->uid : 0, p ? p->pid : 0, version, qv::link::kVersion);
        return server_.error(conn, kVersionMismatch, {{"served", qv::link::kVersion}, {"asked", version}});
    }
    if (const auto lock = call.parameters.find("lock"); lock != call.parameters.end() && !lock->is_null()) {
        const Peer* p = server_.peer(conn);
        const std::string token = lock->is_string() ? lock->get<std::string>() : "";
        bool known = false;
        for (ExchangeObserver* o : observers_) known = o->lock_presented(conn, p ? *p : Peer{}, token) || known;
        if (!known) {
            log_info("refused a client (uid %u pid %d): the lock it presented is not held", p ? p->uid : 0, p ? p->pid : 0);
            return server_.error(conn, kNoSuchLock);
        }
    }
    server_.reply(conn, {{"version", qv::link::kVersion}, {"virtualClock", bus_.virtual_clock()}});
}

void LinkService::open(ConnId conn, const Call& call) {
    long bus = 0, address = 0;
    if (!integer(call.parameters, "bus", 0, 255, &bus) || !integer(call.parameters, "address", 0, 255, &address))
        return server_.error(conn, kInvalidParameter, {{"parameter", "bus"}});
    Display* d = find(static_cast<uint8_t>(bus), static_cast<uint8_t>(address));
    if (d == nullptr) return server_.reply(conn, {{"result", qv::USB_ERROR_NO_DEVICE}, {"handle", 0}});
    Client& c = clients_[conn];
    const long id = c.next_handle++;
    c.handles[id].display = d;
    server_.reply(conn, {{"result", 0}, {"handle", id}});
}

void LinkService::close(ConnId conn, long handle) {
    Client& c = clients_[conn];
    const auto it = c.handles.find(handle);
    if (it == c.handles.end()) return;
    Display* d = it->second.display;
    c.handles.erase(it);
    let_go(*d, conn);
}

void LinkService::claim(ConnId conn, const Call& call, bool claim) {
    ClientHandle* h = handle_of(conn, call);
    if (h == nullptr) return;
    Display& d = *h->display;
    int rc = 0;
    if (!claim) {
        rc = h->claimed ? 0 : qv::USB_ERROR_NOT_FOUND;
        h->claimed = false;
    } else if (d.gone) {
        rc = qv::USB_ERROR_NO_DEVICE;
    } else if (!d.claimed || (d.hold == Display::Hold::long_command && d.holder != conn)) {
        // Held by a program that opened it directly, or busy with a long command.
        rc = qv::USB_ERROR_BUSY;
    } else {
        h->claimed = true;
    }
    server_.reply(conn, {{"result", rc}});
}

void LinkService::control(ConnId conn, const Call& call) {
    ClientHandle* h = handle_of(conn, call);
    if (h == nullptr) return;
    auto op = std::make_unique<Op>();
    long v[7] = {};
    const char* names[7] = {"requestType", "request", "value", "index", "length", "timeout", nullptr};
    const long hi[6] = {255, 255, 65535, 65535, qv::kInTransferSize, 1L << 32};
    for (int i = 0; i < 6; ++i)
        if (!integer(call.parameters, names[i], 0, hi[i], &v[i]))
            return server_.error(conn, kInvalidParameter, {{"parameter", names[i]}});
    op->kind = Op::Kind::control;
    op->conn = conn;
    op->handle = call.parameters["handle"].get<long>();
    op->request_type = static_cast<uint8_t>(v[0]);
    op->request = static_cast<uint8_t>(v[1]);
    op->value = static_cast<uint16_t>(v[2]);
    op->index = static_cast<uint16_t>(v[3]);
    op->length = static_cast<int>(v[4]);
    op->timeout = static_cast<unsigned>(v[5]);
    const bool in = (op->request_type & 0x80) != 0;
    if (!in && op->length > 0) {
        const auto data = call.parameters.find("data");
        if (data == call.parameters.end() || !data->is_string() || !unbase64(data->get<std::string>(), &op->data) ||
            op->data.size() != static_cast<std::size_t>(op->length))
            return server_.error(conn, kInvalidParameter, {{"parameter", "data"}});
    }
    op->data.resize(static_cast<std::size_t>(op->length));
    Display& d = *h->display;
    if (d.gone) return server_.reply(conn, {{"result", qv::USB_ERROR_NO_DEVICE}});
    if (d.hold == Display::Hold::long_command && d.holder != conn) return server_.reply(conn, {{"result", qv::USB_ERROR_BUSY}});
    if (op->request_type == qv::kBaudRequestType && op->request == qv::kBaudRequest) {
        // One bridge rate at a time: another client using the display at another rate keeps it.
        for (auto& [other, client] : clients_) {
            if (other == conn) continue;
            for (auto& [id, oh] : client.handles) {
                if (oh.display != &d || !oh.rate_set || (oh.rate_value == op->value && oh.rate_index == op->index)) continue;
                const Peer* p = server_.peer(conn);
                log_info("refused uid %u pid %d another bridge rate on the display at bus %03u address %03u: in use at another",
                         p ? p->uid : 0, p ? p->pid : 0, d.id.bus, d.id.address);
                return server_.reply(conn, {{"result", qv::USB_ERROR_BUSY}});
            }
        }
    }
    d.queue.push_back(std::move(op));
    schedule(d);
}

void LinkService::transfer(ConnId conn, const Call& call) {
    ClientHandle* h = handle_of(conn, call);
    if (h == nullptr) return;
    const Json& p = call.parameters;
    long endpoint = 0, length = 0, timeout = 0, ahead = -1, paused = 0;
    if (!integer(p, "endpoint", 0, 255, &endpoint)) return server_.error(conn, kInvalidParameter, {{"parameter", "endpoint"}});
    if (!integer(p, "length", 0, qv::kInTransferSize, &length))
        return server_.error(conn, kInvalidParameter, {{"parameter", "length"}});
    if (!integer(p, "timeout", 0, 1L << 32, &timeout)) return server_.error(conn, kInvalidParameter, {{"parameter", "timeout"}});
    if (!integer(p, "readAhead", 0, 1L << 32, &ahead, true))
        return server_.error(conn, kInvalidParameter, {{"parameter", "readAhead"}});
    if (!integer(p, "paused", 0, 1L << 50, &paused, true)) return server_.error(conn, kInvalidParameter, {{"parameter", "paused"}});
    auto op = std::make_unique<Op>();
    op->conn = conn;
    op->handle = p["handle"].get<long>();
    op->endpoint = static_cast<uint8_t>(endpoint);
    op->length = static_cast<int>(length);
    op->timeout = static_cast<unsigned>(timeout);
    const bool out = op->out();
    if (out) {
        const auto data = p.find("data");
        if (data == p.end() || !data->is_string() || !unbase64(data->get<std::string>(), &op->data) ||
            op->data.size() != static_cast<std::size_t>(length))
            return server_.error(conn, kInvalidParameter, {{"parameter", "data"}});
        op->read_ahead = ahead >= 0 && server_.wants_more(conn);
        op->ahead_timeout = static_cast<unsigned>(ahead < 0 ? 0 : ahead);
    }
    if (paused > 0) {
        bus_.pass_time(static_cast<uint64_t>(paused));
        if (bus_.virtual_clock()) expire_idle_exchanges_virtual();
    }

    Display& d = *h->display;
    if (d.gone) return server_.reply(conn, {{"result", qv::USB_ERROR_NO_DEVICE}, {"transferred", 0}});
    if (!h->claimed) return server_.reply(conn, {{"result", qv::USB_ERROR_IO}, {"transferred", 0}});
    if (!out && !h->refused_reply.empty()) {
        // The answer to a refused command.
        std::vector<uint8_t> reply = std::move(h->refused_reply);
        h->refused_reply.clear();
        reply.resize(std::min<std::size_t>(reply.size(), static_cast<std::size_t>(length)));
        return server_.reply(conn, {{"result", 0}, {"transferred", reply.size()}, {"data", base64(reply)}});
    }
    uint8_t status = 0;
    if (out && !op->data.empty()) {
        const Peer* peer = server_.peer(conn);
        for (ExchangeObserver* o : observers_)
            if (status == 0) status = o->refusal(conn, peer ? *peer : Peer{}, d.id, op->data);
    }
    if (status != 0) {
        std::vector<uint8_t> packet = op->data;
        packet[std::min(qv::reply_status_at(packet[0], packet.size()), packet.size() - 1)] = status;
        std::vector<uint8_t> reply = bridge_framed(packet);
        if (op->read_ahead) {
            server_.reply(conn, {{"result", 0}, {"transferred", length}}, true);
            return server_.reply(conn, {{"result", 0}, {"transferred", reply.size()}, {"data", base64(reply)}});
        }
        h->refused_reply = std::move(reply);
        return server_.reply(conn, {{"result", 0}, {"transferred", length}});
    }
    if (d.hold == Display::Hold::long_command && d.holder != conn)
        return server_.reply(conn, {{"result", qv::USB_ERROR_BUSY}, {"transferred", 0}});
    d.queue.push_back(std::move(op));
    schedule(d);
}

void LinkService::end(ConnId conn, const Call& call) {
    ClientHandle* h = handle_of(conn, call);
    if (h != nullptr) end_exchange(*h->display, conn);
    if (h != nullptr && !call.oneway) server_.reply(conn, Json::object());
    if (h != nullptr) schedule(*h->display);
}

// ---- the display's turns

void LinkService::schedule(Display& d) {
    if (d.in_flight) return;
    if (d.gone) {
        for (auto& op : d.queue) {
            if (op->conn == kBroker) continue;
            server_.reply(op->conn, {{"result", qv::USB_ERROR_NO_DEVICE}, {"transferred", 0}});
        }
        d.queue.clear();
        d.holder = 0;
        d.hold = Display::Hold::none;
        if (d.handle != nullptr) {
            bus_.with([&](qv::UsbBackend& b) {
                b.close(d.handle);
                return 0;
            });
            d.handle = nullptr;
        }
        return;
    }
    auto it = d.queue.begin();
    while (it != d.queue.end() && d.holder != 0 && (*it)->conn != d.holder) ++it;
    if (it == d.queue.end()) return;
    if ((*it)->out() && d.reply_owed && d.owed_by != (*it)->conn && d.holder == 0) {
        // Another client's exchange begins while a reply nobody reads may still come: it is read
        // and dropped first.
        auto discard = std::make_unique<Op>();
        discard->kind = Op::Kind::discard;
        discard->conn = kBroker;
        discard->attempts = 1;
        discard->timeout = 100;
        return run(d, std::move(discard));
    }
    std::unique_ptr<Op> op = std::move(*it);
    d.queue.erase(it);
    run(d, std::move(op));
}

void LinkService::run(Display& d, std::unique_ptr<Op> op) {
    d.in_flight = true;
    // Shared by the transfer and its completion on the loop, so that an operation still pending
    // when the daemon stops is freed with whichever of the two is dropped last.
    std::shared_ptr<Op> shared(std::move(op));
    qv::UsbHandle* handle = d.handle;
    // A transfer that may wait runs on the display's worker and hands its result back through
    // the loop's wake-up; one that answers at once runs here, and its result is taken in this
    // turn of the loop.
    const bool waits = bus_.transfers_wait();
    auto job = [this, &d, shared, handle, waits] {
        Op& o = *shared;
        auto bulk = [&](uint8_t endpoint, uint8_t* data, int length, int* transferred, unsigned timeout) {
            if ((endpoint & 0x80) != 0) bus_.wait_for_held_reply(handle, timeout);
            return bus_.with(
                [&](qv::UsbBackend& b) { return b.bulk_transfer(handle, endpoint, data, length, transferred, timeout); });
        };
        switch (o.kind) {
            case Op::Kind::bulk:
                if (!o.out()) o.data.resize(static_cast<std::size_t>(o.length));
                o.rc = bulk(o.endpoint, o.data.data(), o.length, &o.transferred, o.timeout);
                if (!o.out()) o.data.resize(static_cast<std::size_t>(std::clamp(o.transferred, 0, o.length)));
                if (o.out() && o.rc == 0 && o.read_ahead) {
                    o.ahead_data.resize(qv::kInTransferSize);
                    o.ahead_rc = bulk(qv::kEndpointIn, o.ahead_data.data(), qv::kInTransferSize, &o.ahead_transferred,
                                      o.ahead_timeout);
                    o.ahead_data.resize(static_cast<std::size_t>(std::clamp(o.ahead_transferred, 0, qv::kInTransferSize)));
                }
                break;
            case Op::Kind::control:
                o.rc = bus_.with([&](qv::UsbBackend& b) {
                    return b.control_transfer(handle, o.request_type, o.request, o.value, o.index,
                                              o.length > 0 ? o.data.data() : nullptr, static_cast<uint16_t>(o.length),
                                              o.timeout);
                });
                break;
            case Op::Kind::discard: {
                std::vector<uint8_t> scratch(qv::kInTransferSize);
                for (int attempt = 0; attempt < o.attempts; ++attempt) {
                    int got = 0;
                    const int rc = bulk(qv::kEndpointIn, scratch.data(), qv::kInTransferSize, &got, o.timeout);
                    if (qv::brings_data(rc, scratch.data(), got) || rc == qv::USB_ERROR_NO_DEVICE) break;
                    if (attempt + 1 == o.attempts) break;
                    if (bus_.virtual_clock())
                        bus_.pass_time(kAttemptPauseUs);
                    else
                        usleep(static_cast<useconds_t>(kAttemptPauseUs));
                }
                break;
            }
        }
        auto completion = [this, &d, shared] {
            Op* done = shared.get();
            d.in_flight = false;
            const uint64_t turn = ++d.turns;
            finished(d, *done);
            if (d.holder == done->conn &&
                (d.hold == Display::Hold::exchange || d.hold == Display::Hold::long_command)) {
                const ConnId holder = d.holder;
                d.idle_turn = turn;
                d.idle_since_us = bus_.virtual_now_us();
                server_.at(Clock::now() + kExchangeIdle, [this, &d, turn, holder] {
                    if (d.turns == turn) expire_exchange(d, holder);
                });
            }
            if (done->conn != kBroker && !server_.connected(done->conn)) let_go(d, done->conn);
            schedule(d);
        };
        if (waits)
            server_.post(std::move(completion));
        else
            server_.soon(std::move(completion));
    };
    if (waits)
        d.worker.submit(std::move(job));
    else
        job();
}

void LinkService::finished(Display& d, Op& op) {
    if (op.kind == Op::Kind::discard) {
        d.reply_owed = false;
        if (d.holder == kBroker) {
            d.holder = 0;
            d.hold = Display::Hold::none;
        }
        return;
    }
    if (op.rc == qv::USB_ERROR_NO_DEVICE) {
        // Pulled out: found missing at the next walk of the bus.
        d.gone = true;
    }
    if (op.kind == Op::Kind::control) {
        Json reply = {{"result", op.rc}};
        if ((op.request_type & 0x80) != 0 && op.rc >= 0) {
            op.data.resize(static_cast<std::size_t>(std::min(op.rc, op.length)));
            reply["data"] = base64(op.data);
        }
        if (op.rc >= 0 && op.request_type == qv::kBaudRequestType && op.request == qv::kBaudRequest) {
            auto& handles = clients_[op.conn].handles;
            if (const auto it = handles.find(op.handle); it != handles.end()) {
                it->second.rate_set = true;
                it->second.rate_value = op.value;
                it->second.rate_index = op.index;
            }
        }
        server_.reply(op.conn, reply);
        return;
    }
    auto in_result = [&](int rc, const std::vector<uint8_t>& data, int transferred) {
        if (!qv::brings_data(rc, data.data(), transferred)) return;
        if (d.reply_owed && d.owed_by == op.conn) {
            d.reply_owed = false;
            const Peer* peer = server_.peer(op.conn);
            for (ExchangeObserver* o : observers_) o->exchanged(op.conn, peer ? *peer : Peer{}, d.id, d.request, data);
        }
        end_exchange(d, op.conn);
    };
    if (op.out()) {
        if (op.rc == 0) {
            if (d.holder != op.conn) d.holder = op.conn;
            const uint8_t opcode = op.data.empty() ? 0 : op.data[0];
            d.request = op.data;
            d.reply_owed = true;
            d.owed_by = op.conn;
            d.owed_timeout = op.read_ahead ? op.ahead_timeout : static_cast<unsigned>(qv::read_timeout(opcode));
            ++d.sequence_epoch;
            d.hold = qv::command_is_long(opcode) ? Display::Hold::long_command : Display::Hold::exchange;
            if (d.hold == Display::Hold::long_command) fail_others(d, op.conn, qv::USB_ERROR_BUSY);
            const Peer* peer = server_.peer(op.conn);
            log_debug("command %u from uid %u pid %d to the display at bus %03u address %03u", opcode, peer ? peer->uid : 0,
                      peer ? peer->pid : 0, d.id.bus, d.id.address);
        } else {
            end_exchange(d, op.conn);
        }
        const bool pushed = op.read_ahead && op.rc == 0;
        server_.reply(op.conn, {{"result", op.rc}, {"transferred", op.transferred}}, pushed);
        if (pushed) {
            in_result(op.ahead_rc, op.ahead_data, op.ahead_transferred);
            server_.reply(op.conn, {{"result", op.ahead_rc}, {"transferred", op.ahead_transferred}, {"data", base64(op.ahead_data)}});
        }
        return;
    }
    in_result(op.rc, op.data, op.transferred);
    server_.reply(op.conn, {{"result", op.rc}, {"transferred", op.transferred}, {"data", base64(op.data)}});
}

void LinkService::end_exchange(Display& d, ConnId conn) {
    if (d.holder != conn) return;
    if (!d.request.empty() && qv::command_in_sequence(d.request[0])) {
        // The display treats the chunks as one: kept for this client until it sends another
        // command, lets go or is idle for a second.
        d.hold = Display::Hold::sequence;
        const uint64_t epoch = ++d.sequence_epoch;
        server_.at(Clock::now() + kSequenceIdle, [this, &d, epoch] {
            if (d.hold != Display::Hold::sequence || d.sequence_epoch != epoch) return;
            d.holder = 0;
            d.hold = Display::Hold::none;
            schedule(d);
        });
        return;
    }
    d.holder = 0;
    d.hold = Display::Hold::none;
}

void LinkService::expire_exchange(Display& d, ConnId holder) {
    if (d.holder != holder || d.in_flight) return;
    if (d.hold != Display::Hold::exchange && d.hold != Display::Hold::long_command) return;
    const Peer* p = server_.peer(holder);
    log_info("uid %u pid %d left an exchange with the display at bus %03u address %03u open; it is free again",
             p ? p->uid : 0, p ? p->pid : 0, d.id.bus, d.id.address);
    end_exchange(d, holder);
    schedule(d);
}

void LinkService::expire_idle_exchanges_virtual() {
    const uint64_t now = bus_.virtual_now_us();
    for (auto& d : displays_)
        if (d->holder != 0 && d->turns == d->idle_turn && now - d->idle_since_us >= kExchangeIdleUs)
            expire_exchange(*d, d->holder);
}

void LinkService::fail_others(Display& d, ConnId holder, int result) {
    for (auto it = d.queue.begin(); it != d.queue.end();) {
        if ((*it)->conn == holder || (*it)->conn == kBroker) {
            ++it;
            continue;
        }
        server_.reply((*it)->conn, {{"result", result}, {"transferred", 0}});
        it = d.queue.erase(it);
    }
}

void LinkService::let_go(Display& d, ConnId conn) {
    d.queue.erase(std::remove_if(d.queue.begin(), d.queue.end(), [&](const std::unique_ptr<Op>& op) { return op->conn == conn; }),
                  d.queue.end());
    if (d.holder == conn && !d.in_flight) {
        ++d.sequence_epoch;
        if (d.reply_owed && d.owed_by == conn && !d.gone) {
            // The reply still owed is read and dropped; the display stays out of others' reach
            // meanwhile.
            d.holder = kBroker;
            auto discard = std::make_unique<Op>();
            discard->kind = Op::Kind::discard;
            discard->conn = kBroker;
            discard->timeout = d.owed_timeout;
            discard->attempts = std::max(1, static_cast<int>(d.owed_timeout / 1000));
            d.queue.push_front(std::move(discard));
        } else {
            d.holder = 0;
            d.hold = Display::Hold::none;
        }
    }
    schedule(d);
}

void LinkService::disconnected(ConnId conn) {
    for (ExchangeObserver* o : observers_) o->link_closed(conn);
    const auto it = clients_.find(conn);
    std::vector<Display*> touched;
    if (it != clients_.end()) {
        for (auto& [id, h] : it->second.handles) touched.push_back(h.display);
        clients_.erase(it);
    }
    for (auto& d : displays_)
        if (d->holder == conn) touched.push_back(d.get());
    for (Display* d : touched) let_go(*d, conn);
}

}  // namespace quorvexd
