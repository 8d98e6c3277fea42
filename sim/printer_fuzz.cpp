// Fuzz target: arbitrary bytes received by the simulated printer, in pieces chosen by the
// input. Any input must be taken without a crash, and the answers must not depend on
// where it was cut.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "sim/printer.h"

namespace {

class Collect : public sim::Sink {
  public:
    void Send(const uint8_t* data, size_t length) override {
        out.append(reinterpret_cast<const char*>(data), length);
    }
    void PowerChanged(bool) override {}
    std::string out;
};

std::string Answers(const uint8_t* data, size_t size, size_t piece) {
    sim::Printer printer;
    Collect sink;
    printer.Attach(&sink);
    for (size_t i = 0; i < size; i += piece) {
        printer.Receive(data + i, size - i < piece ? size - i : piece);
    }
    printer.Detach(&sink);
    return sink.out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const size_t piece = 1 + data[0] % 16;
    if (Answers(data + 1, size - 1, size) != Answers(data + 1, size - 1, piece)) std::abort();
    return 0;
}
