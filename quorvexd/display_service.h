// io.quorvex.Display: the displays by setting name. Each display the link service serves gets
// a worker process of its own (display_worker.h) that runs the settings layer on it; this
// service names the displays by serial, hands each call to its display's worker in arrival
// order, runs the long actions as jobs, and publishes what happens through Events.
#pragma once

#include <sys/types.h>

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "events.h"
#include "link_service.h"
#include "server.h"
#include "varlink.h"

namespace quorvexd {

class LockHandler {  // set by the daemon's main once the locks exist
public:
    virtual ~LockHandler() = default;
    virtual void lock(ConnId conn, const std::string& serial) = 0;                // answers the call
    virtual void unlock(ConnId conn, const std::string& serial, bool force) = 0;  // answers
    virtual void use_lock(ConnId conn, const std::string& token) = 0;             // answers
    // null when `conn` may change the display, else the Locked error's parameters
    virtual std::optional<Json> refused(ConnId conn, const std::string& serial) const = 0;
    // Whether `conn` may read but change nothing (ReadOnly).
    virtual bool read_only(ConnId /*conn*/) const { return false; }
    virtual void disconnected(ConnId conn) = 0;
};

class DisplayService final : public Interface {
public:
    struct Options {
        std::string socket_path;  // the daemon's own socket, where workers connect
        std::string program;      // the daemon's executable, started with --worker FD
        bool read_only = false;   // changes are refused with ReadOnly
    };
    // How long ended jobs stay listed, and how many at most; how often a running job tells
    // its progress.
    static constexpr auto kJobKept = std::chrono::minutes(10);
    static constexpr std::size_t kJobsKept = 100;
    static constexpr auto kProgressEvery = std::chrono::seconds(5);
    // A worker that ended or could not reach its display is started again after this.
    static constexpr auto kRestartAfter = std::chrono::seconds(1);

    DisplayService(Server& server, LinkService& link, Events& events, Options options);
    ~DisplayService() override;

    const char* name() const override;
    const char* description() const override;
    void call(ConnId conn, const Call& call) override;
    void disconnected(ConnId conn) override;

    // Lock, Unlock and UseLock answer org.varlink.service.MethodNotImplemented while none is set.
    void set_locks(LockHandler* locks) { locks_ = locks; }

    std::optional<std::string> serial_of(DisplayId display) const;
    std::optional<DisplayId> display_of(const std::string& serial) const;
    // Whom a worker's current call is for.
    struct Acting {
        Peer caller;
        ConnId conn;
        std::string context;
    };
    const Acting* acting(pid_t worker_pid) const;
    bool is_worker(pid_t pid) const;
    // The serial of the display a call names (or of the one display served when it names
    // none); otherwise answers the call with NoSuchDisplay and returns null.
    std::optional<std::string> resolve(ConnId conn, const std::optional<std::string>& serial);

    // The displays served, as the metrics show them: named ones only.
    struct State {
        std::string serial, monitor_type, firmware;
        bool ready = false;
        std::string job_action;  // the running or queued job's, else ""
    };
    std::vector<State> states() const;
    // Asks the display's worker for one reading round (its Readings request) behind the calls
    // already waiting, unless the display is in a job or its worker not ready: then false.
    // `done` gets the worker's answer: {"parameters"} or {"error", "parameters"}.
    bool request_readings(const std::string& serial, const Json& parameters, std::function<void(const Json&)> done);

private:
    struct Request;
    struct Served;
    struct Job;

    // The link service claimed a display, or lost one.
    void display_changed(DisplayId id, bool served);
    void start_worker(Served& d);
    void stop_worker(Served& d, bool restart);
    void from_worker(Served& d);
    void worker_message(Served& d, const Json& message);
    void submit(Served& d, std::unique_ptr<Request> request);
    void send_next(Served& d);
    void answer(Served& d, std::unique_ptr<Request> request, const Json& reply);
    void hand_out_files(ConnId conn, std::shared_ptr<std::deque<Json>> files);
    void job_ended(Job& job, int result, const std::string& message);
    void progress(const std::string& job_id);
    void forget_old_jobs();

    Served* served(const std::string& serial);
    const Served* served(const std::string& serial) const;
    Json display_json(const Served& d) const;
    Json job_json(const Job& job) const;
    void list(ConnId conn);
    void jobs(ConnId conn);
    // A call on one display, after its checks: handed to the display's worker.
    // The display a call's optional `serial` names; when there is none, the call is answered
    // with the error.
    std::optional<std::string> serial_of_call(ConnId conn, const Json& parameters);
    void on_display(ConnId conn, const Call& call, bool changes);

    Server& server_;
    LinkService& link_;
    Events& events_;
    Options options_;
    LockHandler* locks_ = nullptr;
    std::vector<std::unique_ptr<Served>> displays_;
    std::set<std::string> seen_serials_;  // every serial served since the daemon started
    std::map<uint64_t, std::unique_ptr<Job>> jobs_;  // by number, the order they started in
    Job* job(const std::string& id);
    uint64_t next_job_ = 1;
    uint64_t next_request_ = 1;
};

}  // namespace quorvexd
