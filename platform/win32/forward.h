// How a ce call reaches the Win32 call of the same name: each argument becomes
// the system's parameter type and the result the ce return type. The ce types
// have the SDK's layouts and wchar_t is 16 bits here, so text and structure
// pointers convert by reinterpret_cast; integers and enumerations by
// static_cast; small records passed by value (an IN_ADDR) by bit_cast.
#pragma once

#include <bit>
#include <type_traits>

namespace ce::win32 {

template <class To, class From>
To Cast(From value) {
  if constexpr (std::is_same_v<To, From>) {
    return value;
  } else if constexpr (std::is_pointer_v<To> && std::is_pointer_v<From>) {
    // Some SDK declarations leave out a const that the call honours (select's
    // time-out): the ce side's promise is kept by the call itself.
    using Mutable = std::remove_const_t<std::remove_pointer_t<From>>*;
    return reinterpret_cast<To>(const_cast<Mutable>(value));
  } else if constexpr ((std::is_integral_v<To> || std::is_enum_v<To>)&&(std::is_integral_v<From> ||
                                                                        std::is_enum_v<From>)) {
    return static_cast<To>(value);
  } else {
    static_assert(sizeof(To) == sizeof(From), "a value passed across must keep its size");
    return std::bit_cast<To>(value);
  }
}

// Takes whatever type the system's parameter has: the conversion operator's
// target is deduced from the call.
template <class From>
struct Arg {
  From value;
  template <class To>
  operator To() const {
    return Cast<To>(value);
  }
};

template <class R, class Fn, class... A>
R Forward(Fn* fn, A... args) {
  if constexpr (std::is_void_v<R>) {
    fn(Arg<A>{args}...);
  } else {
    return Cast<R>(fn(Arg<A>{args}...));
  }
}

}  // namespace ce::win32
