#include "sim/BusState.h"

#include <algorithm>
#include <cctype>
#include <initializer_list>
#include <span>
#include <stdexcept>
#include <unordered_map>

#include "sim/PlainHidDevice.h"
#include "sim/ReaderModel.h"

namespace zm880::sim {
namespace {

using json = StateJson;

constexpr const char* kReaderKind = "reader";
constexpr const char* kPlainKind = "hid";

[[noreturn]] void Fail(const std::string& where, const std::string& why) {
    throw std::runtime_error(where + ": " + why);
}

constexpr char kDigits[] = "0123456789ABCDEF";

std::string Hex(std::span<const std::uint8_t> bytes, bool spaced) {
    std::string text;
    text.reserve(bytes.size() * 3);
    for (std::uint8_t byte : bytes) {
        if (spaced && !text.empty()) {
            text += ' ';
        }
        text += kDigits[byte >> 4];
        text += kDigits[byte & 0xF];
    }
    return text;
}

std::string HexWord(std::uint16_t value) {
    const std::uint8_t bytes[] = {static_cast<std::uint8_t>(value >> 8),
                                  static_cast<std::uint8_t>(value)};
    return "0x" + Hex(bytes, false);
}

int DigitValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    const char upper = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (upper >= 'A' && upper <= 'F') {
        return upper - 'A' + 10;
    }
    return -1;
}

// Hex digits in pairs; blanks between pairs are allowed for readability.
std::vector<std::uint8_t> ParseHex(const json& value, const std::string& where) {
    if (!value.is_string()) {
        Fail(where, "expected a string of hexadecimal digits");
    }
    std::vector<std::uint8_t> bytes;
    int high = -1;
    for (char c : value.get<std::string>()) {
        if (c == ' ' && high < 0) {
            continue;
        }
        const int digit = DigitValue(c);
        if (digit < 0) {
            Fail(where, std::string("'") + c + "' is not a hexadecimal digit");
        }
        if (high < 0) {
            high = digit;
        } else {
            bytes.push_back(static_cast<std::uint8_t>(high * 16 + digit));
            high = -1;
        }
    }
    if (high >= 0) {
        Fail(where, "odd number of hexadecimal digits");
    }
    return bytes;
}

template <std::size_t N>
std::array<std::uint8_t, N> ParseHexArray(const json& value, const std::string& where) {
    const std::vector<std::uint8_t> bytes = ParseHex(value, where);
    if (bytes.size() != N) {
        Fail(where,
             "expected " + std::to_string(N) + " bytes, found " + std::to_string(bytes.size()));
    }
    std::array<std::uint8_t, N> out;
    std::copy(bytes.begin(), bytes.end(), out.begin());
    return out;
}

// A whole number, written as a JSON number or as a "0x" hexadecimal string.
std::uint64_t ParseNumber(const json& value, const std::string& where, std::uint64_t max) {
    std::uint64_t number = 0;
    if (value.is_number_unsigned()) {
        number = value.get<std::uint64_t>();
    } else if (value.is_string()) {
        const std::string text = value.get<std::string>();
        if (text.size() < 3 || text.size() > 18 || text[0] != '0' ||
            (text[1] != 'x' && text[1] != 'X')) {
            Fail(where, "expected a number or a \"0x\" hexadecimal string, found \"" + text + '"');
        }
        for (char c : text.substr(2)) {
            const int digit = DigitValue(c);
            if (digit < 0) {
                Fail(where, "\"" + text + "\" is not a hexadecimal number");
            }
            number = number * 16 + static_cast<std::uint64_t>(digit);
        }
    } else {
        Fail(where, "expected a non-negative whole number");
    }
    if (number > max) {
        Fail(where, std::to_string(number) + " is above " + std::to_string(max));
    }
    return number;
}

template <typename T>
T ParseAs(const json& value, const std::string& where, std::uint64_t max) {
    return static_cast<T>(ParseNumber(value, where, max));
}

// An object whose keys are checked against the ones it may have, so that a misspelt key is
// reported instead of silently ignored.
class Fields {
  public:
    Fields(const json& object, std::string where, std::initializer_list<const char*> allowed)
        : object_(object), where_(std::move(where)) {
        if (!object_.is_object()) {
            Fail(where_, "expected an object");
        }
        for (const auto& item : object_.items()) {
            const bool known = std::any_of(allowed.begin(), allowed.end(),
                                           [&](const char* key) { return item.key() == key; });
            if (!known) {
                Fail(Where(item.key()), "unknown key");
            }
        }
    }

    // nullptr when absent or null: the default applies.
    const json* Find(const char* key) const {
        const auto it = object_.find(key);
        return it == object_.end() || it->is_null() ? nullptr : &*it;
    }
    std::string Where(const std::string& key) const { return where_ + "." + key; }

    bool Bool(const char* key, bool fallback) const {
        const json* value = Find(key);
        if (value == nullptr) {
            return fallback;
        }
        if (!value->is_boolean()) {
            Fail(Where(key), "expected true or false");
        }
        return value->get<bool>();
    }

    std::string String(const char* key, std::string fallback) const {
        const json* value = Find(key);
        if (value == nullptr) {
            return fallback;
        }
        if (!value->is_string()) {
            Fail(Where(key), "expected a string");
        }
        return value->get<std::string>();
    }

    template <typename T>
    T Number(const char* key, T fallback, std::uint64_t max) const {
        const json* value = Find(key);
        return value == nullptr ? fallback : ParseAs<T>(*value, Where(key), max);
    }

    template <typename T>
    std::optional<T> OptionalNumber(const char* key, std::uint64_t max) const {
        const json* value = Find(key);
        if (value == nullptr) {
            return std::nullopt;
        }
        return ParseAs<T>(*value, Where(key), max);
    }

  private:
    const json& object_;
    std::string where_;
};

constexpr std::array<std::pair<OpenFault, const char*>, 4> kOpenFaultNames = {{
    {OpenFault::None, "none"},
    {OpenFault::Refused, "refused"},
    {OpenFault::QueryOnly, "queryOnly"},
    {OpenFault::AccessDenied, "accessDenied"},
}};

const char* OpenFaultName(OpenFault fault) {
    for (const auto& [value, name] : kOpenFaultNames) {
        if (value == fault) {
            return name;
        }
    }
    return "none";
}

OpenFault ParseOpenFault(const std::string& text, const std::string& where) {
    for (const auto& [value, name] : kOpenFaultNames) {
        if (text == name) {
            return value;
        }
    }
    Fail(where, "\"" + text + "\" is none of none, refused, queryOnly, accessDenied");
}

constexpr std::uint64_t kMaxImagePage = flasher::kPageCount - 1;

json LinkFaultsToJson(const LinkFaults& link) {
    return {
        {"open", OpenFaultName(link.open)},
        {"unplugAfterTransfers",
         link.unplugAfterTransfers ? json(*link.unplugAfterTransfers) : json(nullptr)},
        {"latencyMs", link.latency.count()},
    };
}

void ReaderFaultsToJson(const ReaderFaults& faults, json& out) {
    out["failGet"] = faults.failGet;
    out["failSet"] = faults.failSet;
    out["wrongChecksumPage"] =
        faults.wrongChecksumPage ? json(*faults.wrongChecksumPage) : json(nullptr);
    json answers = json::array();
    for (const StatusAnswer& answer : faults.statusAnswers) {
        answers.push_back({{"command", answer.command},
                           {"page", answer.page ? json(*answer.page) : json(nullptr)},
                           {"status", answer.status}});
    }
    out["statusAnswers"] = answers;
}

LinkFaults ParseLinkFaults(const Fields& fields) {
    LinkFaults link;
    link.open = ParseOpenFault(fields.String("open", "none"), fields.Where("open"));
    link.unplugAfterTransfers = fields.OptionalNumber<int>("unplugAfterTransfers", 1'000'000'000);
    link.latency = std::chrono::milliseconds(fields.Number<int>("latencyMs", 0, 60'000));
    return link;
}

std::set<std::uint8_t> ParseReportIds(const Fields& fields, const char* key) {
    std::set<std::uint8_t> ids;
    const json* list = fields.Find(key);
    if (list == nullptr) {
        return ids;
    }
    if (!list->is_array()) {
        Fail(fields.Where(key), "expected a list of report IDs");
    }
    for (std::size_t i = 0; i < list->size(); ++i) {
        ids.insert(ParseAs<std::uint8_t>((*list)[i],
                                         fields.Where(key) + "[" + std::to_string(i) + "]", 0xFF));
    }
    return ids;
}

ReaderFaults ParseReaderFaults(const Fields& fields) {
    ReaderFaults faults;
    faults.failGet = ParseReportIds(fields, "failGet");
    faults.failSet = ParseReportIds(fields, "failSet");
    faults.wrongChecksumPage = fields.OptionalNumber<int>("wrongChecksumPage", kMaxImagePage);
    if (const json* list = fields.Find("statusAnswers")) {
        if (!list->is_array()) {
            Fail(fields.Where("statusAnswers"), "expected a list");
        }
        for (std::size_t i = 0; i < list->size(); ++i) {
            const Fields answer((*list)[i],
                                fields.Where("statusAnswers") + "[" + std::to_string(i) + "]",
                                {"command", "page", "status"});
            if (answer.Find("command") == nullptr || answer.Find("status") == nullptr) {
                Fail(fields.Where("statusAnswers") + "[" + std::to_string(i) + "]",
                     "needs a command and a status");
            }
            faults.statusAnswers.push_back({answer.Number<std::uint8_t>("command", 0, 0xFF),
                                            answer.OptionalNumber<int>("page", kMaxImagePage),
                                            answer.Number<std::uint8_t>("status", 0, 0xFF)});
        }
    }
    return faults;
}

// Only the pages that differ from erased flash, the others null; nothing when all are erased.
json FlashToJson(const FlashImage& flash) {
    constexpr auto kErased = ErasedPage();
    json pages = json::array();
    bool any = false;
    for (std::size_t page = 0; page < flasher::kPageCount; ++page) {
        const auto bytes = flasher::ImagePage(flash, page);
        if (std::equal(bytes.begin(), bytes.end(), kErased.begin())) {
            pages.push_back(nullptr);
        } else {
            pages.push_back(Hex(bytes, false));
            any = true;
        }
    }
    return any ? pages : json();
}

// A null page is erased flash.
FlashImage ParseFlash(const json& value, const std::string& where) {
    if (!value.is_array() || value.size() != flasher::kPageCount) {
        Fail(where, "expected a list of " + std::to_string(flasher::kPageCount) + " pages");
    }
    FlashImage flash;
    flash.fill(0xFF);
    for (std::size_t page = 0; page < flasher::kPageCount; ++page) {
        if (value[page].is_null()) {
            continue;
        }
        const auto bytes = ParseHexArray<flasher::kPageSize>(
            value[page], where + "[" + std::to_string(page) + "]");
        std::copy(bytes.begin(), bytes.end(),
                  flash.begin() + static_cast<std::ptrdiff_t>(page * flasher::kPageSize));
    }
    return flash;
}

json LoaderToJson(const LoaderState& loader) {
    return {
        {"active", loader.active},
        {"status", loader.status},
        {"checksum", loader.checksum},
        {"writePage", loader.writePage ? json(*loader.writePage) : json(nullptr)},
        {"received", loader.received},
        {"page", Hex(loader.page.View(), false)},
    };
}

LoaderState ParseLoader(const Fields& fields) {
    LoaderState loader;
    loader.active = fields.Bool("active", false);
    loader.status = fields.Number<std::uint8_t>("status", kStatusRefused, 0xFF);
    loader.checksum = fields.Number<std::uint16_t>("checksum", 0, 0xFFFF);
    loader.writePage = fields.OptionalNumber<int>("writePage", kMaxImagePage);
    loader.received = fields.Number<std::size_t>("received", 0, flasher::kPageSize);
    if (const json* page = fields.Find("page")) {
        loader.page = ParseHexArray<flasher::kPageSize>(*page, fields.Where("page"));
    }
    return loader;
}

// Adds `value` under `key` unless it equals what a missing key stands for, so that a state file
// stays as small as what differs from default devices.
void PutIfNotDefault(json& out, const char* key, json value, const json& fallback) {
    if (value != fallback) {
        out[key] = std::move(value);
    }
}

void IdentityToJson(const DeviceIdentity& id, const DeviceIdentity& fallback, json& out) {
    PutIfNotDefault(out, "vendorId", HexWord(id.vendorId), HexWord(fallback.vendorId));
    PutIfNotDefault(out, "productId", HexWord(id.productId), HexWord(fallback.productId));
    PutIfNotDefault(out, "versionNumber", HexWord(id.versionNumber),
                    HexWord(fallback.versionNumber));
    PutIfNotDefault(out, "manufacturer", id.manufacturer, fallback.manufacturer);
    PutIfNotDefault(out, "product", id.product, fallback.product);
}

json DeviceToJson(const BusDevice& device) {
    const DeviceModel& model = *device.model;
    const auto* reader = dynamic_cast<const ReaderModel*>(&model);
    json out = json::object();
    if (reader == nullptr) {
        out["kind"] = kPlainKind;
    }
    out["identity"] = device.identity;
    out["plugged"] = device.plugged;
    json faults = json::object();
    if (model.Link() != LinkFaults{}) {
        faults = LinkFaultsToJson(model.Link());
    }
    if (reader != nullptr) {
        const ReaderModel fresh;
        IdentityToJson(model.Identity(), fresh.Identity(), out);
        PutIfNotDefault(out, "featureReportLength", reader->FeatureReportLength(),
                        kDefaultFeatureReportLength);
        if (reader->Settings() != ReaderModel::DefaultSettings()) {
            out["settings"] = Hex(reader->Settings(), true);
        }
        if (json flash = FlashToJson(reader->Flash()); !flash.is_null()) {
            out["flash"] = std::move(flash);
        }
        if (reader->Loader() != LoaderState{}) {
            out["loader"] = LoaderToJson(reader->Loader());
        }
        if (reader->Faults() != ReaderFaults{}) {
            ReaderFaultsToJson(reader->Faults(), faults);
        }
    } else {
        const PlainHidDevice keyboard = MakeKeyboard();
        IdentityToJson(model.Identity(), keyboard.Identity(), out);
        if (model.ReportDescriptor() != keyboard.ReportDescriptor()) {
            out["descriptor"] = Hex(model.ReportDescriptor(), true);
        }
    }
    if (!faults.empty()) {
        out["faults"] = faults;
    }
    return out;
}

void ParseIdentity(const Fields& fields, DeviceIdentity& id) {
    id.vendorId = fields.Number<std::uint16_t>("vendorId", id.vendorId, 0xFFFF);
    id.productId = fields.Number<std::uint16_t>("productId", id.productId, 0xFFFF);
    id.versionNumber = fields.Number<std::uint16_t>("versionNumber", id.versionNumber, 0xFFFF);
    id.manufacturer = fields.String("manufacturer", id.manufacturer);
    id.product = fields.String("product", id.product);
}

std::unique_ptr<DeviceModel> ParseReader(const Fields& fields) {
    auto reader = std::make_unique<ReaderModel>();
    ParseIdentity(fields, reader->Identity());
    reader->SetFeatureReportLength(fields.Number<std::size_t>(
        "featureReportLength", kDefaultFeatureReportLength, kMaxFeatureReportLength));
    if (const json* settings = fields.Find("settings")) {
        reader->Settings() =
            ParseHexArray<kSettingsRecordSize>(*settings, fields.Where("settings"));
        if (reader->Settings()[0] != report::Data) {
            Fail(fields.Where("settings"), "the record starts with its report ID 03");
        }
    }
    if (const json* flash = fields.Find("flash")) {
        reader->Flash() = ParseFlash(*flash, fields.Where("flash"));
    }
    if (const json* loader = fields.Find("loader")) {
        reader->Loader() =
            ParseLoader(Fields(*loader, fields.Where("loader"),
                               {"active", "status", "checksum", "writePage", "received", "page"}));
    }
    if (const json* faults = fields.Find("faults")) {
        const Fields faultFields(*faults, fields.Where("faults"),
                                 {"open", "unplugAfterTransfers", "latencyMs", "failGet", "failSet",
                                  "wrongChecksumPage", "statusAnswers"});
        reader->Link() = ParseLinkFaults(faultFields);
        reader->Faults() = ParseReaderFaults(faultFields);
    }
    return reader;
}

std::unique_ptr<DeviceModel> ParsePlain(const Fields& fields) {
    PlainHidDevice keyboard = MakeKeyboard();
    DeviceIdentity id = keyboard.Identity();
    ParseIdentity(fields, id);
    std::vector<std::uint8_t> descriptor = keyboard.ReportDescriptor();
    if (const json* value = fields.Find("descriptor")) {
        descriptor = ParseHex(*value, fields.Where("descriptor"));
    }
    auto device = std::make_unique<PlainHidDevice>(std::move(id), std::move(descriptor));
    if (const json* faults = fields.Find("faults")) {
        device->Link() = ParseLinkFaults(
            Fields(*faults, fields.Where("faults"), {"open", "unplugAfterTransfers", "latencyMs"}));
    }
    return device;
}

BusDevice ParseDevice(const json& value, const std::string& where) {
    const Fields fields(
        value, where,
        {"kind", "identity", "plugged", "vendorId", "productId", "versionNumber", "manufacturer",
         "product", "featureReportLength", "settings", "flash", "loader", "descriptor", "faults"});
    const std::string kind = fields.String("kind", kReaderKind);
    BusDevice device;
    if (kind == kReaderKind) {
        if (fields.Find("descriptor") != nullptr) {
            Fail(fields.Where("descriptor"), "a reader builds its own descriptor");
        }
        device.model = ParseReader(fields);
    } else if (kind == kPlainKind) {
        for (const char* key : {"featureReportLength", "settings", "flash", "loader"}) {
            if (fields.Find(key) != nullptr) {
                Fail(fields.Where(key), "only a reader has this");
            }
        }
        device.model = ParsePlain(fields);
    } else {
        Fail(fields.Where("kind"), "\"" + kind + "\" is neither \"reader\" nor \"hid\"");
    }
    device.plugged = fields.Bool("plugged", true);
    device.identity = fields.String("identity", "");
    return device;
}

}  // namespace

BusState DefaultBusState() {
    BusState state;
    state.devices.push_back({std::make_unique<ReaderModel>(), true, ""});
    return state;
}

json ToJson(const BusState& state) {
    json devices = json::array();
    for (const BusDevice& device : state.devices) {
        devices.push_back(DeviceToJson(device));
    }
    return {{"nextIdentity", state.nextIdentity}, {"devices", devices}};
}

BusState BusStateFromJson(const json& document) {
    const Fields fields(document, "state", {"nextIdentity", "devices"});
    BusState state;
    state.nextIdentity = fields.Number<std::uint64_t>("nextIdentity", 1, kMaxIdentity);
    if (const json* devices = fields.Find("devices")) {
        if (!devices->is_array()) {
            Fail(fields.Where("devices"), "expected a list of devices");
        }
        // Two devices under one identity would be one device to every host.
        std::unordered_map<std::string, std::size_t> owners;
        for (std::size_t i = 0; i < devices->size(); ++i) {
            const std::string where = fields.Where("devices") + "[" + std::to_string(i) + "]";
            BusDevice device = ParseDevice((*devices)[i], where);
            if (!device.identity.empty()) {
                const auto [owner, fresh] = owners.emplace(device.identity, i);
                if (!fresh) {
                    Fail(where + ".identity", "\"" + device.identity +
                                                  "\" is also the identity of devices[" +
                                                  std::to_string(owner->second) + "]");
                }
            }
            state.devices.push_back(std::move(device));
        }
    }
    return state;
}

}  // namespace zm880::sim
