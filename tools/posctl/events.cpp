// Event lines: "event NAME ARG..." in the order of the event's arguments.
#include "tools/posctl/events.h"

#include <string>

#include "tools/posctl/script.h"
#include "tools/posctl/value.h"

namespace posctl {

namespace {

constexpr DISPID kErrorEvent = 3;
constexpr size_t kErrorResponseArg = 3;

// The argument count each event has; a control sending fewer prints "?" for the rest.
constexpr size_t kArgCounts[] = {1, 3, 4, 1, 1};

}  // namespace

void Output::Line(std::string_view text) {
    std::lock_guard<std::mutex> lock(mu_);
    fwrite(text.data(), 1, text.size(), f_);
    fputc('\n', f_);
    fflush(f_);
}

HRESULT EventPrinter::OnEvent(DISPID id, plat::DispParams& args) {
    std::string line = "event ";
    size_t expected = args.size();
    if (id >= 1 && id <= 5) {
        line += kEventNames[id - 1];
        expected = kArgCounts[id - 1];
    } else {
        line += std::to_string(id);
    }
    {
        std::lock_guard<std::mutex> lock(mu_);
        if (id == kErrorEvent) {
            int32_t* response =
                args.size() > kErrorResponseArg ? args[kErrorResponseArg].GetLongRef() : nullptr;
            if (response && response_) *response = *response_;
            response_.reset();
        }
        if (id >= 1 && id <= 5) ++arrived_[id - 1];
    }
    for (size_t i = 0; i < expected || i < args.size(); ++i)
        line += " " + (i < args.size() ? FormatVariant(args[i]) : std::string("?"));
    out_.Line(line);
    return S_OK;
}

void EventPrinter::SetResponse(int32_t response) {
    std::lock_guard<std::mutex> lock(mu_);
    response_ = response;
}

bool EventPrinter::Take(DISPID id) {
    if (id < 1 || id > 5) return false;
    std::lock_guard<std::mutex> lock(mu_);
    if (taken_[id - 1] == arrived_[id - 1]) return false;
    ++taken_[id - 1];
    return true;
}

plat::ComPtr<> CreateSink(std::shared_ptr<EventPrinter> printer) {
    std::vector<std::string> names(std::begin(kEventNames), std::end(kEventNames));
    return plat::LambdaDispatch::Create(
        [printer](DISPID id, uint16_t, plat::DispParams& args, plat::Variant*) {
            return printer->OnEvent(id, args);
        },
        std::move(names));
}

}  // namespace posctl
