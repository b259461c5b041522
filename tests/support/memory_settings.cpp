#include "support/memory_settings.h"

#include "text/text.h"

namespace zelvane {

void MemorySettingsBackend::open(std::u16string_view subkey) {
    events.push_back({Event::Kind::Open, std::u16string(subkey), Unreadable{}});
    open_ = !broken_;
}

void MemorySettingsBackend::close() {
    events.push_back({Event::Kind::Close, std::u16string(), Unreadable{}});
    open_ = false;
}

std::optional<std::u16string> MemorySettingsBackend::readText(std::u16string_view name) {
    const auto found = values.find(name);
    if (!open_ || found == values.end()) {
        return std::nullopt;
    }
    if (const auto* number = std::get_if<std::uint32_t>(&found->second)) {
        return decimalText(*number);
    }
    const auto* text = std::get_if<std::u16string>(&found->second);
    return text ? std::optional(*text) : std::nullopt;
}

std::optional<long long> MemorySettingsBackend::readNumber(std::u16string_view name) {
    const std::optional<std::u16string> text = readText(name);
    if (!text || text->empty()) {
        return std::nullopt;
    }
    // Decimal digits only; a huge number saturates, so that it counts as too big.
    long long n = 0;
    for (char16_t c : *text) {
        if (c < u'0' || c > u'9') {
            return std::nullopt;
        }
        n = n > (1LL << 40) ? n : n * 10 + (c - u'0');
    }
    return n;
}

void MemorySettingsBackend::writeText(std::u16string_view name, std::u16string_view text) {
    events.push_back({Event::Kind::WriteText, std::u16string(name), std::u16string(text)});
    if (open_) {
        values.insert_or_assign(std::u16string(name), std::u16string(text));
    }
}

void MemorySettingsBackend::writeNumber(std::u16string_view name, std::uint32_t number) {
    events.push_back({Event::Kind::WriteNumber, std::u16string(name), number});
    if (open_) {
        values.insert_or_assign(std::u16string(name), number);
    }
}

} // namespace zelvane
