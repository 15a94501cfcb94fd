// bitCast: the bits of one trivially copyable value as another type, in constant expressions too.
// It is std::bit_cast where the standard library has it; the libc++ that Emscripten ships lacks it,
// and there clang's builtin, which std::bit_cast is built on, does the same.
#pragma once

#include <bit>

namespace korvana {

template <typename To, typename From>
constexpr To bitCast(const From& from) noexcept {
    static_assert(sizeof(To) == sizeof(From));
#if defined(__cpp_lib_bit_cast)
    return std::bit_cast<To>(from);
#else
    return __builtin_bit_cast(To, from);
#endif
}

}  // namespace korvana
