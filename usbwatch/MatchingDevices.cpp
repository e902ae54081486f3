#include "usbwatch/MatchingDevices.h"

#include <plist/plist.h>

#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>

namespace orv::usb {

namespace {

struct PlistFree {
    void operator()(plist_t node) const { plist_free(node); }
};
using PlistPtr = std::unique_ptr<void, PlistFree>;

std::string stringValue(plist_t node) {
    char* raw = nullptr;
    plist_get_string_val(node, &raw);
    std::string value = raw ? raw : "";
    std::free(raw);
    return value;
}

std::optional<uint16_t> uint16Value(plist_t node) {
    if (!node || plist_get_node_type(node) != PLIST_UINT) return std::nullopt;
    uint64_t value = 0;
    plist_get_uint_val(node, &value);
    if (value > 0xFFFF) return std::nullopt;
    return static_cast<uint16_t>(value);
}

// A short rendering in the "{key = value; ...}" style of the log lines.
std::string describe(plist_t node) {
    if (!node) return "(null)";
    switch (plist_get_node_type(node)) {
    case PLIST_STRING: return "\"" + stringValue(node) + "\"";
    case PLIST_UINT: {
        uint64_t value = 0;
        plist_get_uint_val(node, &value);
        return std::to_string(value);
    }
    case PLIST_BOOLEAN: {
        uint8_t value = 0;
        plist_get_bool_val(node, &value);
        return value ? "1" : "0";
    }
    case PLIST_ARRAY: {
        std::string text = "(";
        for (uint32_t i = 0; i < plist_array_get_size(node); ++i)
            text += (i ? ", " : "") + describe(plist_array_get_item(node, i));
        return text + ")";
    }
    case PLIST_DICT: {
        std::string text = "{";
        plist_dict_iter iter = nullptr;
        plist_dict_new_iter(node, &iter);
        for (;;) {
            char* key = nullptr;
            plist_t value = nullptr;
            plist_dict_next_item(node, iter, &key, &value);
            if (!key) break;
            text += std::string(key) + " = " + describe(value) + "; ";
            std::free(key);
        }
        std::free(iter);
        if (text.size() > 1) text.pop_back();
        return text + "}";
    }
    default: return "<?>";
    }
}

std::optional<MatchSpec> specOf(plist_t dict) {
    if (!dict || plist_get_node_type(dict) != PLIST_DICT) return std::nullopt;
    plist_t providerClass = plist_dict_get_item(dict, "IOProviderClass");
    plist_t vendor = plist_dict_get_item(dict, "idVendor");
    plist_t product = plist_dict_get_item(dict, "idProduct");
    if (!providerClass || !vendor || !product) return std::nullopt;
    MatchSpec spec;
    auto vendorId = uint16Value(vendor);
    if (!vendorId) return std::nullopt;
    spec.vendorId = *vendorId;
    if (plist_get_node_type(product) == PLIST_STRING && stringValue(product) == "*") {
        spec.productId = std::nullopt;
    } else {
        auto productId = uint16Value(product);
        if (!productId) return std::nullopt;
        spec.productId = *productId;
    }
    return spec;
}

}  // namespace

MatchingDevices MatchingDevices::parse(std::string_view data) {
    MatchingDevices result;
    plist_t raw = nullptr;
    if (!data.empty()) plist_from_memory(data.data(), static_cast<uint32_t>(data.size()), &raw);
    PlistPtr root(raw);
    if (!root || plist_get_node_type(raw) != PLIST_ARRAY) {
        result.problem = "not a property list with an array at its root";
        return result;
    }
    for (uint32_t i = 0; i < plist_array_get_size(raw); ++i) {
        plist_t element = plist_array_get_item(raw, i);
        bool isDict = plist_get_node_type(element) == PLIST_DICT;
        plist_t makers = isDict ? plist_dict_get_item(element, "makerVendorIds") : nullptr;
        if (makers && plist_get_node_type(makers) == PLIST_ARRAY) {
            for (uint32_t j = 0; j < plist_array_get_size(makers); ++j)
                if (auto id = uint16Value(plist_array_get_item(makers, j))) result.makerVendorIds.insert(*id);
            continue;
        }
        plist_t matching = isDict ? plist_dict_get_item(element, "matchingDictionary") : nullptr;
        result.entries.push_back({describe(matching), specOf(matching)});
    }
    return result;
}

MatchingDevices MatchingDevices::load(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        MatchingDevices result;
        result.problem = "cannot read " + file.string();
        return result;
    }
    std::ostringstream contents;
    contents << in.rdbuf();
    MatchingDevices result = parse(contents.str());
    if (!result.problem.empty()) result.problem = file.string() + ": " + result.problem;
    return result;
}

}  // namespace orv::usb
