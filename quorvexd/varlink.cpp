#include "varlink.h"

#include <cstring>

namespace quorvexd {

std::string_view Call::interface() const {
    const std::size_t dot = method.rfind('.');
    return dot == std::string::npos ? std::string_view() : std::string_view(method).substr(0, dot);
}

bool MessageReader::next(std::string* message, bool* too_large) {
    *too_large = false;
    const std::size_t nul = buffer_.find('\0', scanned_);
    if (nul == std::string::npos) {
        scanned_ = buffer_.size();
        *too_large = buffer_.size() - start_ >= limit_;
        // What was consumed goes, so the buffer holds at most one message and a bit.
        if (start_ > 0) {
            buffer_.erase(0, start_);
            scanned_ -= start_;
            start_ = 0;
        }
        return false;
    }
    if (nul + 1 - start_ > limit_) {
        *too_large = true;
        return false;
    }
    message->assign(buffer_, start_, nul - start_);
    start_ = scanned_ = nul + 1;
    return true;
}

std::string parse_call(std::string_view message, Call* call) {
    Json j = Json::parse(message, nullptr, false);
    if (j.is_discarded() || !j.is_object()) return "message";
    const auto method = j.find("method");
    if (method == j.end() || !method->is_string()) return "method";
    call->method = method->get<std::string>();
    const std::size_t dot = call->method.rfind('.');
    if (dot == std::string::npos || dot == 0 || dot + 1 == call->method.size()) return "method";
    if (const auto p = j.find("parameters"); p != j.end()) {
        if (!p->is_object()) return "parameters";
        call->parameters = std::move(*p);
    }
    for (const char* flag : {"more", "oneway"}) {
        const auto f = j.find(flag);
        if (f == j.end() || f->is_null()) continue;
        if (!f->is_boolean()) return flag;
        (std::strcmp(flag, "more") == 0 ? call->more : call->oneway) = f->get<bool>();
    }
    if (call->more && call->oneway) return "oneway";
    return {};
}

// The envelope is written around the parameters' own text (no copy of them into a document of
// its own), its members in the order a JSON object of them would be written.
std::string reply_message(const Json& parameters, bool continues) {
    std::string text = continues ? "{\"continues\":true,\"parameters\":" : "{\"parameters\":";
    text += parameters.dump(-1, ' ', false, Json::error_handler_t::replace);
    text += '}';
    text.push_back('\0');
    return text;
}

std::string error_message(std::string_view error, const Json& parameters) {
    std::string text = "{\"error\":";
    text += Json(error).dump(-1, ' ', false, Json::error_handler_t::replace);
    text += ",\"parameters\":";
    text += parameters.dump(-1, ' ', false, Json::error_handler_t::replace);
    text += '}';
    text.push_back('\0');
    return text;
}

}  // namespace quorvexd
