// What an operation that can fail gives back: its value, or why it failed, as a sentence the
// user can read and a detail for the log (a library's message, an error code). One shape for
// every engine's public functions, instead of codes with out-parameters or bools with a reason
// beside them.
#pragma once

#include <QString>

#include <string>
#include <utility>
#include <variant>

namespace nimbara {

struct Failure {
    QString sentence;    // for the user: a whole sentence
    std::string detail;  // for the log; may be empty
};

inline Failure fail(QString sentence, std::string detail = {}) {
    return Failure{std::move(sentence), std::move(detail)};
}

template <class T>
class [[nodiscard]] Result {
  public:
    Result(T value) : state_(std::in_place_index<0>, std::move(value)) {}
    Result(Failure failure) : state_(std::in_place_index<1>, std::move(failure)) {}

    bool ok() const { return state_.index() == 0; }
    explicit operator bool() const { return ok(); }

    // The value; only when ok().
    const T& value() const& { return std::get<0>(state_); }
    T& value() & { return std::get<0>(state_); }
    T&& value() && { return std::get<0>(std::move(state_)); }
    const T* operator->() const { return &value(); }
    const T& operator*() const& { return value(); }

    // Why it failed; only when !ok().
    const Failure& failure() const { return std::get<1>(state_); }
    const QString& sentence() const { return failure().sentence; }
    const std::string& detail() const { return failure().detail; }

  private:
    std::variant<T, Failure> state_;
};

template <>
class [[nodiscard]] Result<void> {
  public:
    Result() = default;
    Result(Failure failure) : failure_(std::move(failure)), ok_(false) {}

    bool ok() const { return ok_; }
    explicit operator bool() const { return ok_; }
    const Failure& failure() const { return failure_; }
    const QString& sentence() const { return failure_.sentence; }
    const std::string& detail() const { return failure_.detail; }

  private:
    Failure failure_;
    bool ok_ = true;
};

}  // namespace nimbara
