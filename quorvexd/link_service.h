// io.quorvex.Link: the displays' USB link, lent to clients. quorvexd holds the claim of every
// display it finds and carries out each client's USB calls on it, one exchange at a time; each
// display has a worker thread of its own for its blocking transfers, so displays never wait
// for one another.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "gadget_usb/clock.h"
#include "gadget_usb/usb_backend.h"
#include "server.h"

namespace qv::sim {
class VirtualClock;
}

namespace quorvexd {

// The bus the daemon drives. The simulated bus is not made for several threads: its calls then
// take turns (`serialize`), but a call waiting for a simulated display's slow answer in real time
// lets the others run meanwhile, as displays on a real bus do. The real bus (libusb) is safe to
// call from several threads.
class Bus : private qv::PauseListener {
public:
    Bus(qv::UsbBackend& backend, bool serialize, qv::sim::VirtualClock* virtual_clock)
        : backend_(backend), serialize_(serialize), virtual_clock_(virtual_clock) {}

    template <class F>
    auto with(F f) {
        if (!serialize_) return f(backend_);
        mutex_.lock();
        qv::listen_to_pauses(this);
        auto result = f(backend_);
        qv::listen_to_pauses(nullptr);
        mutex_.unlock();
        return result;
    }
    bool virtual_clock() const { return virtual_clock_ != nullptr; }
    // Whether a transfer may wait for the display. Simulated displays on the virtual clock
    // answer every transfer at once: their transfers run on the event loop, with no thread to
    // hand them to and back.
    bool transfers_wait() const { return !(serialize_ && virtual_clock_ != nullptr); }
    // Simulated time passes: a client's pause, or the daemon's own between read attempts.
    void pass_time(uint64_t microseconds);
    // The simulated time (0 on the real clock).
    uint64_t virtual_now_us();
    // Before an IN transfer: simulated displays on the real clock make a transfer wait for a
    // reply that holds it (a calibration's). That wait happens here, outside the turns, so the
    // other displays go on meanwhile.
    void wait_for_held_reply(qv::UsbHandle* handle, unsigned timeout_ms);

private:
    void pausing() override { mutex_.unlock(); }
    void resuming() override { mutex_.lock(); }

    qv::UsbBackend& backend_;
    bool serialize_;
    qv::sim::VirtualClock* virtual_clock_;
    std::mutex mutex_;
};

// Runs one display's transfers, one after another, off the event loop.
class Worker {
public:
    Worker();
    ~Worker();
    void submit(std::function<void()> job);

private:
    std::mutex mutex_;
    std::condition_variable ready_;
    std::deque<std::function<void()>> jobs_;
    bool stopping_ = false;
    std::thread thread_;
};

// A display as the broker serves it.
struct DisplayId {
    uint8_t bus = 0, address = 0;
};

// Where a command and the display's reply are seen, and where a command can be refused before
// it reaches the display. `conn` is the client's connection.
class ExchangeObserver {
public:
    virtual ~ExchangeObserver() = default;
    // A client starting its session presents a lock's token: true when the observer knows it.
    virtual bool lock_presented(ConnId /*conn*/, const Peer& /*peer*/, const std::string& /*token*/) { return false; }
    // A non-zero status refuses the command: the display does not see it, and the client reads
    // its request back with that status as the reply.
    virtual uint8_t refusal(ConnId /*conn*/, const Peer& /*peer*/, DisplayId /*display*/,
                            const std::vector<uint8_t>& /*request*/) {
        return 0;
    }
    // A command and the display's reply as the IN transfer that brought it moved it (bridge
    // status bytes included).
    virtual void exchanged(ConnId /*conn*/, const Peer& /*peer*/, DisplayId /*display*/,
                           const std::vector<uint8_t>& /*request*/, const std::vector<uint8_t>& /*reply*/) {}
    // The client's connection is gone.
    virtual void link_closed(ConnId /*conn*/) {}
};

// The status of a refused command's reply.
inline constexpr uint8_t kRefusedStatus = 0xFF;

class LinkService final : public Interface {
public:
    LinkService(Server& server, Bus& bus);
    ~LinkService() override;
    // Sees every client's commands, and may refuse them (the first refusal counts).
    void add_observer(ExchangeObserver* observer) { observers_.push_back(observer); }

    const char* name() const override;
    const char* description() const override;
    void call(ConnId conn, const Call& call) override;
    void disconnected(ConnId conn) override;

    // Walks the bus: claims displays found since the last walk (or not claimed then), forgets
    // those gone. Returns the whole device list for clients.
    Json rescan();

    // Displays on the bus the last walk could not claim (another program holds them).
    std::vector<DisplayId> unclaimed() const;

    // Told after a walk that claimed a display (`served`) or found one gone.
    using DisplayChange = std::function<void(DisplayId display, bool served)>;
    void on_display_change(DisplayChange change) { display_change_ = std::move(change); }
    // Which displays a client's device list shows (all when unset): quorvexd's own display
    // workers each see the one display they serve.
    using View = std::function<bool(const Peer& peer, DisplayId display)>;
    void set_view(View view) { view_ = std::move(view); }

private:
    struct Display;
    struct Op;
    struct ClientHandle {
        Display* display = nullptr;
        bool claimed = false;
        bool rate_set = false;
        uint16_t rate_value = 0, rate_index = 0;
        std::vector<uint8_t> refused_reply;  // the reply the client reads next, when refused
    };
    struct Client {
        std::map<long, ClientHandle> handles;
        long next_handle = 1;
    };

    ClientHandle* handle_of(ConnId conn, const Call& call);
    void hello(ConnId conn, const Call& call);
    void open(ConnId conn, const Call& call);
    void close(ConnId conn, long handle);
    void claim(ConnId conn, const Call& call, bool claim);
    void control(ConnId conn, const Call& call);
    void transfer(ConnId conn, const Call& call);
    void end(ConnId conn, const Call& call);

    void schedule(Display& d);
    void run(Display& d, std::unique_ptr<Op> op);
    void finished(Display& d, Op& op);
    void end_exchange(Display& d, ConnId conn);
    void let_go(Display& d, ConnId conn);  // a client done with the display (closed or gone)
    void discard_owed(Display& d, int attempts);
    void fail_others(Display& d, ConnId holder, int result);
    // The holder of an exchange left idle too long loses it.
    void expire_exchange(Display& d, ConnId holder);
    void expire_idle_exchanges_virtual();
    Display* find(uint8_t bus, uint8_t address);

    Server& server_;
    Bus& bus_;
    std::vector<ExchangeObserver*> observers_;
    std::vector<std::unique_ptr<Display>> displays_;
    std::map<ConnId, Client> clients_;
    DisplayChange display_change_;
    View view_;
};

}  // namespace quorvexd
