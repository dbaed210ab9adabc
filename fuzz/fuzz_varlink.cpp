// quorvexd's message reader: a client's bytes, cut into reads of any size, split into messages
// and read as calls, each answered as the daemon answers it. Nothing a client sends may crash
// it, and no message over the bound is ever gathered.
#include <cstddef>
#include <cstdint>
#include <string>

#include "gadget_usb/link_wire.h"
#include "varlink.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    // The first byte chooses the size of the reads; the rest is the stream.
    const std::size_t step = 1 + data[0] % 64;
    const char* stream = reinterpret_cast<const char*>(data + 1);
    const std::size_t length = size - 1;
    quorvexd::MessageReader reader(512);  // a small bound, so that inputs reach it
    std::string message;
    for (std::size_t at = 0; at < length; at += step) {
        reader.feed(stream + at, at + step < length ? step : length - at);
        bool too_large = false;
        while (reader.next(&message, &too_large)) {
            if (message.size() >= 512) __builtin_trap();
            quorvexd::Call call;
            const std::string wrong = quorvexd::parse_call(message, &call);
            if (wrong.empty()) {
                (void)call.interface();
                (void)quorvexd::reply_message(call.parameters, call.more);
            } else {
                (void)quorvexd::error_message(quorvexd::kInvalidParameter, {{"parameter", wrong}});
            }
        }
        if (too_large) return 0;  // the daemon answers with an error and closes
    }
    return 0;
}
