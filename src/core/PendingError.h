#pragma once
// The pending error of a procedure running "resume-next".
//
// Entering the mode clears it. Each step is written so that its assignment
// happens only when the value was obtained; a step that fails records its
// error here and the procedure carries on with the next step. Callers test
// pending() at the fixed points their procedure names. A procedure that leaves
// an error for its caller returns its PendingError.
//
// Like the classic runtime's error object, the pending error is the one most
// recently raised; sources() additionally remembers what every failing step
// since the last clear was about, so a report can name all of them.

#include <cmath>
#include <string>
#include <vector>

#include "Error.h"

namespace tessik {

class PendingError {
public:
    bool pending() const { return error_.number != 0; }
    explicit operator bool() const { return pending(); }
    const Error& error() const { return error_; }
    const std::vector<std::string>& sources() const { return sources_; }

    void clear()
    {
        error_ = Error{};
        sources_.clear();
    }

    void raise(Error error)
    {
        sources_.push_back(error.source);
        error_ = std::move(error);
    }

    // Assigns the value when the step obtained one; otherwise the target keeps
    // what it held and the step's error becomes pending.
    template <class T, class U>
    bool assign(T& target, Result<U> result)
    {
        if (!result.ok()) {
            raise(result.error());
            return false;
        }
        target = std::move(result).value();
        return true;
    }

    // Records a failed step, passes a successful one through.
    template <class T>
    bool check(const Result<T>& result)
    {
        if (!result.ok()) raise(result.error());
        return result.ok();
    }

    // Floating-point results are stored first and tested afterwards: a
    // non-finite value stays stored and the step counts as failed.
    bool storeFinite(double& target, double value, const Error& ifNonFinite)
    {
        target = value;
        if (std::isfinite(value)) return true;
        raise(ifNonFinite);
        return false;
    }

private:
    Error error_;
    std::vector<std::string> sources_;
};

}  // namespace tessik
