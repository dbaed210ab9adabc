// setting-changed events: every command and reply on the link is looked at, and a set the
// display accepted becomes an event, whoever sent it (a client of io.quorvex.Display through its
// display's worker, or any program linked to the library). The values gets bring back are kept,
// so an event can tell the value a set replaced, never at the price of an exchange of its own.
#pragma once

#include <map>
#include <string>

#include "display_service.h"
#include "events.h"
#include "link_service.h"

namespace quorvexd {

class Changes final : public ExchangeObserver {
public:
    Changes(DisplayService& displays, Events& events) : displays_(displays), events_(events) {}

    void exchanged(ConnId conn, const Peer& peer, DisplayId display, const std::vector<uint8_t>& request,
                   const std::vector<uint8_t>& reply) override;

private:
    DisplayService& displays_;
    Events& events_;
    // The last value seen of each setting, by display serial and setting (an entry of a record
    // list on its own: "input-name/2").
    std::map<std::string, std::map<std::string, Json>> known_;
};

}  // namespace quorvexd
