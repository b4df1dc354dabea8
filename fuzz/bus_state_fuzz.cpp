#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <stdexcept>
#include <string>

#include "sim/BusState.h"

using namespace zm880::sim;

// A state file is written by hand as often as by the program. Whatever loads must save to a text
// that loads into the same bus: saving that bus again gives the same text. A file that does not
// load must be refused the way the simulator expects (a JSON error or a runtime_error naming the
// key); any other exception would escape the simulator's error handling.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const StateJson document = StateJson::parse(data, data + size, nullptr, false);
    if (document.is_discarded()) {
        return 0;
    }
    BusState first;
    try {
        first = BusStateFromJson(document);
    } catch (const nlohmann::json::exception&) {
        return 0;
    } catch (const std::runtime_error&) {
        return 0;
    }
    const std::string saved = ToJson(first).dump(2);
    const BusState second = BusStateFromJson(StateJson::parse(saved));
    if (ToJson(second).dump(2) != saved) {
        std::abort();
    }
    return 0;
}
