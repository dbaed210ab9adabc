// Varlink's wire format: NUL-terminated JSON messages on a stream socket. A call names its
// `method` (interface.Method) with `parameters`, and may ask for `more` replies or none
// (`oneway`); a reply carries `parameters` and `continues` while more follow, or an `error`
// named like an interface's member with its own parameters.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "interface_errors.h"

namespace quorvexd {

using Json = nlohmann::json;

struct Call {
    std::string method;  // interface.Method
    Json parameters = Json::object();
    bool more = false;
    bool oneway = false;

    std::string_view interface() const;  // the method's interface: all before the last '.'
};

// Splits a byte stream into messages, each at most `limit` bytes with its NUL.
class MessageReader {
public:
    explicit MessageReader(std::size_t limit) : limit_(limit) {}

    // Takes bytes as they arrive.
    void feed(const char* data, std::size_t size) { buffer_.append(data, size); }
    // The next whole message (without its NUL) into *message: true. False when none is whole
    // yet; *too_large is then set when the message being gathered is already over the limit.
    bool next(std::string* message, bool* too_large);

private:
    std::size_t limit_;
    std::string buffer_;
    std::size_t start_ = 0;    // where the next message begins
    std::size_t scanned_ = 0;  // how far a NUL was looked for
};

// A message read as a call: an empty string, or what is wrong with it (its parameter name for
// org.varlink.service.InvalidParameter).
std::string parse_call(std::string_view message, Call* call);

// The messages a service sends, each with its NUL.
std::string reply_message(const Json& parameters, bool continues);
std::string error_message(std::string_view error, const Json& parameters);

// The errors org.varlink.service defines, which every service answers with: kMethodNotFound...
using namespace service_error;

}  // namespace quorvexd
