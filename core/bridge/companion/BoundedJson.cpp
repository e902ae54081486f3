#include "core/bridge/companion/BoundedJson.h"

namespace orv {

bool jsonNestingWithin(std::string_view text, int limit)
{
    int depth = 0;
    bool inString = false;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (inString) {
            if (c == '\\')
                ++i;
            else if (c == '"')
                inString = false;
            continue;
        }
        if (c == '"') {
            inString = true;
        } else if (c == '[' || c == '{') {
            if (++depth > limit)
                return false;
        } else if ((c == ']' || c == '}') && depth > 0) {
            --depth;
        }
    }
    return true;
}

nlohmann::json parseBoundedJson(std::string_view text, int limit)
{
    if (!jsonNestingWithin(text, limit))
        return nlohmann::json::value_t::discarded;
    return nlohmann::json::parse(text.begin(), text.end(), nullptr, false);
}

nlohmann::json parseBoundedJson(const uint8_t* data, size_t size, int limit)
{
    return parseBoundedJson(std::string_view(reinterpret_cast<const char*>(data), size), limit);
}

}  // namespace orv
