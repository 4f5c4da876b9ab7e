#include "core/ServiceOperations.h"

#include <algorithm>

namespace vkr {

std::optional<std::vector<std::uint32_t>> parseRestartDelays(std::string_view text) {
    std::vector<std::uint32_t> delays;
    if (text.empty()) return std::nullopt;
    std::size_t start = 0;
    for (;;) {
        const std::size_t comma = text.find(',', start);
        const std::string_view piece = text.substr(start, comma == std::string_view::npos ? text.npos : comma - start);
        if (piece.empty() || piece.size() > 9) return std::nullopt;
        std::uint32_t value = 0;
        for (char c : piece) {
            if (c < '0' || c > '9') return std::nullopt;
            value = value * 10 + static_cast<std::uint32_t>(c - '0');
        }
        if (value > kMaxRestartDelayMs || delays.size() == kMaxRestartSteps) return std::nullopt;
        delays.push_back(value);
        if (comma == std::string_view::npos) return delays;
        start = comma + 1;
    }
}

std::string restartDelaysText(const std::vector<std::uint32_t>& delays) {
    std::string text;
    for (std::uint32_t delay : delays) {
        if (!text.empty()) text += ',';
        text += std::to_string(delay);
    }
    return text;
}

std::uint32_t failureResetSeconds(std::string_view text) {
    if (text.empty() || text.size() > 10) return kDefaultFailureResetSeconds;
    std::uint64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return kDefaultFailureResetSeconds;
        value = value * 10 + static_cast<std::uint64_t>(c - '0');
    }
    // INFINITE (never reset) is not the period's to say: beyond 32 bits is malformed.
    return value >= 0xFFFFFFFFu ? kDefaultFailureResetSeconds : static_cast<std::uint32_t>(value);
}

std::vector<RecoveryStep> recoverySteps(const std::vector<std::uint32_t>& delays) {
    std::vector<RecoveryStep> steps;
    for (std::uint32_t delay : delays) steps.push_back({true, delay});
    steps.push_back({false, 0});
    return steps;
}

std::optional<std::wstring> serviceAccountName(std::int32_t account, std::wstring_view serviceName) {
    switch (static_cast<ServiceAccount>(account)) {
    case ServiceAccount::LocalService:
        return std::wstring(L"NT AUTHORITY\\LocalService");
    case ServiceAccount::NetworkService:
        return std::wstring(L"NT AUTHORITY\\NetworkService");
    case ServiceAccount::Virtual:
        return L"NT SERVICE\\" + std::wstring(serviceName);
    case ServiceAccount::LocalSystem:
        break;
    }
    return std::nullopt;
}

void OutputTail::append(const char* data, std::size_t size) {
    if (size >= kCapacity) {
        dropped_ = dropped_ || kept_ > 0 || size > kCapacity;
        data += size - kCapacity;
        size = kCapacity;
        next_ = 0;
        kept_ = 0;
    }
    for (std::size_t i = 0; i < size; ++i) {
        ring_[next_] = data[i];
        next_ = (next_ + 1) % kCapacity;
    }
    if (kept_ + size > kCapacity) dropped_ = true;
    kept_ = std::min(kCapacity, kept_ + size);
}

std::string OutputTail::text() const {
    std::string kept;
    kept.reserve(kept_);
    const std::size_t first = (next_ + kCapacity - kept_) % kCapacity;
    for (std::size_t i = 0; i < kept_; ++i) kept.push_back(ring_[(first + i) % kCapacity]);
    if (dropped_) {
        const std::size_t lineEnd = kept.find('\n');
        if (lineEnd != std::string::npos && lineEnd + 1 < kept.size()) {
            kept.erase(0, lineEnd + 1);
        } else {
            // Cut inside a line, perhaps inside a character: the rest of a UTF-8 sequence
            // would make the whole text read as ANSI (found with a one-line CJK output).
            std::size_t partial = 0;
            while (partial < 3 && partial < kept.size() && (static_cast<unsigned char>(kept[partial]) & 0xC0) == 0x80)
                ++partial;
            kept.erase(0, partial);
        }
    }
    return kept;
}

bool isWellFormedUtf8(std::string_view bytes) noexcept {
    std::size_t i = 0;
    while (i < bytes.size()) {
        const auto lead = static_cast<unsigned char>(bytes[i]);
        std::size_t length = 0;
        std::uint32_t minimum = 0;
        if ((lead & 0xE0) == 0xC0) {
            length = 2;
            minimum = 0x80;
        } else if ((lead & 0xF0) == 0xE0) {
            length = 3;
            minimum = 0x800;
        } else if ((lead & 0xF8) == 0xF0) {
            length = 4;
            minimum = 0x10000;
        } else if (lead >= 0x80) {
            return false;
        } else {
            ++i;
            continue;
        }
        std::uint32_t value = lead & (0x7Fu >> length);
        if (i + length > bytes.size()) return false;
        for (std::size_t k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(bytes[i + k]);
            if ((next & 0xC0) != 0x80) return false;
            value = (value << 6) | (next & 0x3Fu);
        }
        // Overlong forms, surrogates and values beyond Unicode are not UTF-8.
        if (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return false;
        i += length;
    }
    return true;
}

} // namespace vkr
