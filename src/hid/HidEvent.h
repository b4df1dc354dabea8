#pragma once

#include <functional>
#include <memory>
#include <type_traits>
#include <utility>

namespace zm880::hid {

// An event slot value: a callable with an identity. Two handlers are equal exactly when one is a
// copy of the other (or both are empty); wrapping the same lambda twice gives two different
// handlers. The transport needs that to tell whether a device still carries the controller's
// current handler, which a bare std::function cannot answer.
template <typename Signature>
class HidEvent {
  public:
    HidEvent() = default;
    HidEvent(std::nullptr_t) {}

    template <typename Callable>
    requires(!std::is_same_v<std::decay_t<Callable>, HidEvent> &&
             std::is_constructible_v<std::function<Signature>, Callable>)
        HidEvent(Callable&& callable)
        : function_(
              std::make_shared<const std::function<Signature>>(std::forward<Callable>(callable))) {
        if (!*function_) {
            function_.reset();
        }
    }

    explicit operator bool() const { return function_ != nullptr; }

    template <typename... Args>
    decltype(auto) operator()(Args&&... args) const {
        return (*function_)(std::forward<Args>(args)...);
    }

    bool operator==(const HidEvent&) const = default;

  private:
    std::shared_ptr<const std::function<Signature>> function_;
};

}  // namespace zm880::hid
